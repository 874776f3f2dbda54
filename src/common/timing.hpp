#pragma once

#include <cmath>
#include <cstdint>

#include "platform/clock.hpp"

namespace plimsy {

inline constexpr double change_lock_seconds = 1.0 / 60.0;
inline constexpr double anim_limit_seconds = 0.4;

// Animation-time smoothing shared by every animated reading: a blend of the
// previous animation time (2/3) and the message interval (1/3), cut to whole
// 1/60 s frames plus one, capped. Leaves anim_time alone when the blend is
// not finite or not representable as a 64-bit integer (a huge clock step).
inline void smooth_anim_time(double& anim_time, double dt, double anim_limit = anim_limit_seconds) {
    const double blend = anim_time * 40.0 + dt * 20.0;
    // 2^63 is exactly representable; anything at or beyond it cannot convert.
    if (!std::isfinite(blend) || blend >= 9223372036854775808.0 || blend < -9223372036854775808.0) return;
    const double t = static_cast<double>(static_cast<std::int64_t>(blend) + 1) / 60.0;
    anim_time = t < anim_limit ? t : anim_limit;
}

// Change throttle: at most one announcement per change_lock seconds.
// Returns true (and moves change_time on) when an announcement may go out.
// `inclusive` decides whether now == change_time already qualifies.
inline bool change_throttle(time_point_t& change_time, time_point_t now, bool inclusive = false,
                            double lock = change_lock_seconds) {
    if (inclusive ? now >= change_time : now > change_time) {
        change_time = now + lock;
        return true;
    }
    return false;
}

}  // namespace plimsy
