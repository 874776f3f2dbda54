#include "ui/hmc5883_panel_model.hpp"

#include <cmath>

#include "common/angles.hpp"
#include "common/text.hpp"
#include "model/sensors.hpp"
#include "orientation/heading.hpp"

namespace plimsy {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }
QString number(const char* format, double v) { return qs(cformat(format, v)); }
// A component of a degenerate calibration is not a number: a dash, never "nan".
QString component(double v) { return std::isfinite(v) ? number("%.2f", v) : qs(std::string(no_heading_text)); }

}  // namespace

double hmc5883_panel_model_t::heading() const {
    const double degrees = sensors() ? sensors()->hmc5883.heading() * deg_per_rad : 0.0;
    return std::isfinite(degrees) ? degrees : 0.0;  // the dial rests at north
}
double hmc5883_panel_model_t::anim_time() const { return sensors() ? sensors()->hmc5883.anim_time : 0.0; }
QString hmc5883_panel_model_t::heading_text() const {
    if (!sensors()) return {};
    const std::string text = sensors()->hmc5883.heading_s();
    return text == no_heading_text ? qs(text) : qs(text) + QStringLiteral("\u00BA");
}

QString hmc5883_panel_model_t::field_x() const { return sensors() ? component(sensors()->hmc5883.x_n()) : QString(); }
QString hmc5883_panel_model_t::field_y() const { return sensors() ? component(sensors()->hmc5883.y_n()) : QString(); }
QString hmc5883_panel_model_t::field_z() const { return sensors() ? qs(sensors()->hmc5883.z_n_s()) : QString(); }

QString hmc5883_panel_model_t::roll() const {
    return sensors() ? number("%.1f\u00BA", sensors()->mpu6050.sgx) : QString();
}
QString hmc5883_panel_model_t::pitch() const {
    return sensors() ? number("%.1f\u00BA", sensors()->mpu6050.sgy) : QString();
}
QString hmc5883_panel_model_t::yaw() const {
    return sensors() ? number("%.1f\u00BA", sensors()->mpu6050.gz) : QString();
}

QString hmc5883_panel_model_t::compensation() const {
    if (!sensors()) return {};
    const hmc5883_t& m = sensors()->hmc5883;
    if (m.calibration != calibration_state_t::complete) return QStringLiteral("calibrating");
    if (!m.compensate) return QStringLiteral("off");
    return m.compensate_3d ? QStringLiteral("3D") : QStringLiteral("2D");
}

}  // namespace plimsy
