#include "ui/hmc5883_panel_model.hpp"

#include "model/sensors.hpp"
#include "shown/panels.hpp"
#include "ui/shown_colour.hpp"

namespace plimsy {

namespace {
hmc5883_shown_t magnetometer(const sensors_t* s) { return s ? shown_hmc5883(*s) : hmc5883_shown_t{}; }
mpu6050_shown_t motion(const sensors_t* s) { return s ? shown_mpu6050(*s) : mpu6050_shown_t{}; }
}  // namespace

double hmc5883_panel_model_t::heading() const { return magnetometer(sensors()).heading; }
double hmc5883_panel_model_t::anim_time() const { return sensors() ? magnetometer(sensors()).anim_time : 0.0; }
QString hmc5883_panel_model_t::heading_text() const { return qs(magnetometer(sensors()).heading_text); }
QString hmc5883_panel_model_t::field_x() const { return qs(magnetometer(sensors()).field_x); }
QString hmc5883_panel_model_t::field_y() const { return qs(magnetometer(sensors()).field_y); }
QString hmc5883_panel_model_t::field_z() const { return qs(magnetometer(sensors()).field_z); }
QString hmc5883_panel_model_t::roll() const { return qs(motion(sensors()).roll); }
QString hmc5883_panel_model_t::pitch() const { return qs(motion(sensors()).pitch); }
QString hmc5883_panel_model_t::yaw() const { return qs(motion(sensors()).yaw); }
QString hmc5883_panel_model_t::compensation() const { return qs(magnetometer(sensors()).compensation); }

}  // namespace plimsy
