#include "orientation/hmc5883n.hpp"

#include <cmath>

#include "common/angles.hpp"
#include "common/text.hpp"
#include "orientation/direction.hpp"
#include "orientation/heading.hpp"

namespace plimsy {

hmc5883n_t::hmc5883n_t(const clock_t& clock) : anim_date(clock.now()), update_date(anim_date), clock_(&clock) {}

void hmc5883n_t::update(float new_x, float new_y, float new_z) {
    const double old_degrees = heading() * deg_per_rad;
    x = new_x;
    y = new_y;
    z = new_z;
    const time_point_t now = clock_->now();
    heading_anim_step(old_degrees, heading() * deg_per_rad, now, update_date, anim_time, anim_date, anim_limit);
    update_date = now;
}

double hmc5883n_t::heading() const {
    return std::atan2(static_cast<double>(y), static_cast<double>(x)) + magnetic_declination;
}

std::string hmc5883n_t::heading_s() const { return heading_text(heading()); }

float hmc5883n_t::dir_px() const { return direction_t::of(x, y).px(); }
float hmc5883n_t::dir_py() const { return direction_t::of(x, y).py(); }
float hmc5883n_t::dir_mx() const { return direction_t::of(x, y).mx(); }
float hmc5883n_t::dir_my() const { return direction_t::of(x, y).my(); }

std::string hmc5883n_t::debug_description() const {
    return xyz_debug_text(x, y, z);
}

}  // namespace plimsy
