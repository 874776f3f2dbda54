#include "ui/accelerometer_panel_model.hpp"

#include "model/sensors.hpp"
#include "shown/panels.hpp"
#include "ui/shown_colour.hpp"

namespace plimsy {

namespace {
accelerometer_shown_t shown(const sensors_t* s) { return s ? shown_accelerometer(*s) : accelerometer_shown_t{}; }
}  // namespace

bool accelerometer_panel_model_t::high_g() const { return shown(sensors()).high_g; }
QString accelerometer_panel_model_t::title() const { return qs(shown(sensors()).title); }
double accelerometer_panel_model_t::x_neg() const { return shown(sensors()).x_neg; }
double accelerometer_panel_model_t::x_pos() const { return shown(sensors()).x_pos; }
double accelerometer_panel_model_t::y_neg() const { return shown(sensors()).y_neg; }
double accelerometer_panel_model_t::y_pos() const { return shown(sensors()).y_pos; }
double accelerometer_panel_model_t::z_neg() const { return shown(sensors()).z_neg; }
double accelerometer_panel_model_t::z_pos() const { return shown(sensors()).z_pos; }
QString accelerometer_panel_model_t::x_text() const { return qs(shown(sensors()).x_text); }
QString accelerometer_panel_model_t::y_text() const { return qs(shown(sensors()).y_text); }
QString accelerometer_panel_model_t::z_text() const { return qs(shown(sensors()).z_text); }
double accelerometer_panel_model_t::point_x() const { return shown(sensors()).point_x; }
double accelerometer_panel_model_t::point_y() const { return shown(sensors()).point_y; }

}  // namespace plimsy
