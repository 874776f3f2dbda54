#pragma once

#include <string>
#include <string_view>

#include "platform/clock.hpp"

namespace plimsy {

// Fixed magnetic declination added to every heading this program derives
// from magnetometer data (5.633333 degrees). Headings the board computes
// itself already include it.
inline constexpr double magnetic_declination = 0.09832021452901389;

// After a jump the dial shows the new heading at once and the smoothing
// rests for this long, so the next small step does not animate from a
// stale interval.
inline constexpr double heading_jump_hold_seconds = 0.02;

// Animation timing of a heading dial. A step of more than 90 degrees (as
// when the heading wraps between 359 and 0) must not animate the long way
// round: it jumps and holds the smoothing. Otherwise the usual smoothing
// applies once the hold is over. The caller sets its update date afterwards.
void heading_anim_step(double old_degrees, double new_degrees, time_point_t now, time_point_t update_date,
                       double& anim_time, time_point_t& anim_date, double anim_limit);

// Shown instead of a heading that is not a number.
inline constexpr std::string_view no_heading_text = "--";

// Whole degrees in [0, 360] for a heading in radians: rounded half away
// from zero, negatives moved up by a turn. A heading that is not finite
// (a degenerate calibration) shows no_heading_text.
std::string heading_text(double radians);

}  // namespace plimsy
