#include "orientation/gravity.hpp"

#include "orientation/tilt.hpp"

namespace plimsy {

gravity_t::gravity_t(const clock_t& clock) : change_time(clock.now()), update_date(change_time), clock_(&clock) {}

void gravity_t::update() {
    tilt_latch(x, y, z, positive_rax, positive_ray);
    rax_r = tilt_rax(x, y, z, positive_rax);
    ray_r = tilt_ray(x, y, z, positive_ray);
    raz_r = tilt_raz(x, y, z);

    // Tilt angles do not wrap, so there is no jump test here.
    const time_point_t now = clock_->now();
    smooth_anim_time(anim_time, now - update_date, anim_limit);
    update_date = now;
    if (change_throttle(change_time, now)) will_change();
}

}  // namespace plimsy
