#include "orientation/heading.hpp"

#include <cmath>

#include "common/angles.hpp"
#include "common/text.hpp"
#include "common/timing.hpp"

namespace plimsy {

void heading_anim_step(double old_degrees, double new_degrees, time_point_t now, time_point_t update_date,
                       double& anim_time, time_point_t& anim_date, double anim_limit) {
    if (std::fabs(new_degrees - old_degrees) > 90.0) {
        anim_time = 0;
        anim_date = now + heading_jump_hold_seconds;
    } else if (now > anim_date) {
        smooth_anim_time(anim_time, now - update_date, anim_limit);
    }
}

std::string heading_text(double radians) {
    const double degrees = radians * deg_per_rad;
    // A heading that cannot be computed (a calibration range of zero width
    // divides by zero) has no number to show; printf would print "-nan".
    if (!std::isfinite(degrees)) return std::string(no_heading_text);
    // Beyond this the rounded value would not fit the 64-bit integer.
    if (std::fabs(degrees) >= 9.2e18) return cformat("%.0f", degrees);
    long long whole = std::llround(degrees);
    if (whole < 0) whole += 360;
    return cformat("%lld", whole);
}

}  // namespace plimsy
