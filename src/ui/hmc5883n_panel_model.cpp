#include "ui/hmc5883n_panel_model.hpp"

#include "common/angles.hpp"
#include "common/text.hpp"
#include "model/sensors.hpp"

namespace plimsy {

namespace {

QString number(float v) { return QString::fromStdString(cformat("%.2f", static_cast<double>(v))); }

}  // namespace

double hmc5883n_panel_model_t::heading() const { return sensors() ? sensors()->hmc5883n.heading() * deg_per_rad : 0.0; }
double hmc5883n_panel_model_t::anim_time() const { return sensors() ? sensors()->hmc5883n.anim_time : 0.0; }
QString hmc5883n_panel_model_t::heading_text() const {
    return sensors() ? QString::fromStdString(sensors()->hmc5883n.heading_s()) + QStringLiteral("\u00BA") : QString();
}

QString hmc5883n_panel_model_t::field_x() const { return sensors() ? number(sensors()->hmc5883n.x) : QString(); }
QString hmc5883n_panel_model_t::field_y() const { return sensors() ? number(sensors()->hmc5883n.y) : QString(); }
QString hmc5883n_panel_model_t::field_z() const { return sensors() ? number(sensors()->hmc5883n.z) : QString(); }

double hmc5883n_panel_model_t::dir_px() const { return sensors() ? sensors()->hmc5883n.dir_px() : 0.0; }
double hmc5883n_panel_model_t::dir_py() const { return sensors() ? sensors()->hmc5883n.dir_py() : 0.0; }
double hmc5883n_panel_model_t::dir_mx() const { return sensors() ? sensors()->hmc5883n.dir_mx() : 0.0; }
double hmc5883n_panel_model_t::dir_my() const { return sensors() ? sensors()->hmc5883n.dir_my() : 0.0; }

}  // namespace plimsy
