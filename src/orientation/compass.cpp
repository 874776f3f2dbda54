#include "orientation/compass.hpp"

#include "common/angles.hpp"
#include "orientation/heading.hpp"

namespace plimsy {

compass_t::compass_t(const clock_t& clock)
    : change_time(clock.now()), anim_date(change_time), update_date(change_time), clock_(&clock) {}

void compass_t::update(float heading_degrees) {
    const time_point_t now = clock_->now();
    const double old_degrees = heading * deg_per_rad;
    // Written so that NaN falls to 360 too.
    const float accepted = heading_degrees < 360.0f ? (heading_degrees < -180.0f ? -180.0f : heading_degrees) : 360.0f;
    const double new_degrees = accepted;
    heading = new_degrees * rad_per_deg;
    heading_anim_step(old_degrees, new_degrees, now, update_date, anim_time, anim_date, anim_limit);
    update_date = now;
    if (change_throttle(change_time, now)) will_change();
}

std::string compass_t::heading_s() const { return heading_text(heading); }

}  // namespace plimsy
