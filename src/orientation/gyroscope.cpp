#include "orientation/gyroscope.hpp"

#include "common/angles.hpp"

namespace plimsy {

gyroscope_t::gyroscope_t(const clock_t& clock) : change_time(clock.now()), update_date(change_time), clock_(&clock) {}

void gyroscope_t::update(float x_degrees, float y_degrees, float z_degrees) {
    x = wrap180(static_cast<double>(x_degrees)) * rad_per_deg;
    y = wrap180(static_cast<double>(y_degrees)) * rad_per_deg;
    z = wrap180(static_cast<double>(z_degrees)) * rad_per_deg;

    const time_point_t now = clock_->now();
    smooth_anim_time(anim_time, now - update_date, anim_limit);
    update_date = now;
    if (change_throttle(change_time, now)) will_change();
}

}  // namespace plimsy
