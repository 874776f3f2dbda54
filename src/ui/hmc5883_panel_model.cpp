#include "ui/hmc5883_panel_model.hpp"

#include "common/angles.hpp"
#include "common/text.hpp"
#include "model/sensors.hpp"

namespace plimsy {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }
QString number(const char* format, double v) { return qs(cformat(format, v)); }

}  // namespace

double hmc5883_panel_model_t::heading() const { return sensors() ? sensors()->hmc5883.heading() * deg_per_rad : 0.0; }
double hmc5883_panel_model_t::anim_time() const { return sensors() ? sensors()->hmc5883.anim_time : 0.0; }
QString hmc5883_panel_model_t::heading_text() const {
    return sensors() ? qs(sensors()->hmc5883.heading_s()) + QStringLiteral("\u00BA") : QString();
}

QString hmc5883_panel_model_t::field_x() const { return sensors() ? number("%.2f", sensors()->hmc5883.x_n()) : QString(); }
QString hmc5883_panel_model_t::field_y() const { return sensors() ? number("%.2f", sensors()->hmc5883.y_n()) : QString(); }
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
