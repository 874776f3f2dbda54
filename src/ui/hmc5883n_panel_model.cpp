#include "ui/hmc5883n_panel_model.hpp"

#include "model/sensors.hpp"
#include "shown/panels.hpp"
#include "ui/shown_colour.hpp"

namespace plimsy {

namespace {
hmc5883n_shown_t shown(const sensors_t* s) { return s ? shown_hmc5883n(s->hmc5883n) : hmc5883n_shown_t{}; }
}  // namespace

double hmc5883n_panel_model_t::heading() const { return shown(sensors()).heading; }
double hmc5883n_panel_model_t::anim_time() const { return sensors() ? shown(sensors()).anim_time : 0.0; }
QString hmc5883n_panel_model_t::heading_text() const { return qs(shown(sensors()).heading_text); }
QString hmc5883n_panel_model_t::field_x() const { return qs(shown(sensors()).field_x); }
QString hmc5883n_panel_model_t::field_y() const { return qs(shown(sensors()).field_y); }
QString hmc5883n_panel_model_t::field_z() const { return qs(shown(sensors()).field_z); }
double hmc5883n_panel_model_t::dir_px() const { return shown(sensors()).dir_px; }
double hmc5883n_panel_model_t::dir_py() const { return shown(sensors()).dir_py; }
double hmc5883n_panel_model_t::dir_mx() const { return shown(sensors()).dir_mx; }
double hmc5883n_panel_model_t::dir_my() const { return shown(sensors()).dir_my; }

}  // namespace plimsy
