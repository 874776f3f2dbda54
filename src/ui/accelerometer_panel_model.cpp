#include "ui/accelerometer_panel_model.hpp"

#include "model/accelerometer.hpp"
#include "model/sensors.hpp"

namespace plimsy {

// The sensors model makes its accelerometer view on first use, hence the
// non-const access behind a const read.
accelerometer_t* accelerometer_panel_model_t::accelerometer() const {
    sensors_t* s = sensors();
    return s ? &s->accelerometer() : nullptr;
}

bool accelerometer_panel_model_t::high_g() const { return sensors() && !sensors()->adxl372.hold_expired(); }
QString accelerometer_panel_model_t::title() const {
    return high_g() ? QStringLiteral("high-g") : QStringLiteral("Accelerometer");
}

double accelerometer_panel_model_t::x_neg() const { return accelerometer() ? accelerometer()->x_neg() : 0.0; }
double accelerometer_panel_model_t::x_pos() const { return accelerometer() ? accelerometer()->x_pos() : 0.0; }
double accelerometer_panel_model_t::y_neg() const { return accelerometer() ? accelerometer()->y_neg() : 0.0; }
double accelerometer_panel_model_t::y_pos() const { return accelerometer() ? accelerometer()->y_pos() : 0.0; }
double accelerometer_panel_model_t::z_neg() const { return accelerometer() ? accelerometer()->z_neg() : 0.0; }
double accelerometer_panel_model_t::z_pos() const { return accelerometer() ? accelerometer()->z_pos() : 0.0; }

QString accelerometer_panel_model_t::x_text() const {
    return accelerometer() ? QString::fromStdString(accelerometer()->x_s()) : QString();
}
QString accelerometer_panel_model_t::y_text() const {
    return accelerometer() ? QString::fromStdString(accelerometer()->y_s()) : QString();
}
QString accelerometer_panel_model_t::z_text() const {
    return accelerometer() ? QString::fromStdString(accelerometer()->z_s()) : QString();
}

double accelerometer_panel_model_t::point_x() const { return accelerometer() ? accelerometer()->xy_point().x : 0.0; }
double accelerometer_panel_model_t::point_y() const { return accelerometer() ? accelerometer()->xy_point().y : 0.0; }

}  // namespace plimsy
