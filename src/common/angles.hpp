#pragma once

#include <cmath>

namespace plimsy {

inline constexpr double deg_per_rad = 57.29577951308232;
inline constexpr double rad_per_deg = 0.017453292519943295;
inline constexpr double pi = 3.141592653589793;

// Wraps into [-180, 180], both bounds inclusive, by whole multiples of 360.
// Uses a remainder so that huge inputs cannot stall; non-finite values pass.
template <typename T>
T wrap180(T v) {
    if (!std::isfinite(v)) return v;
    if (v > T(180)) {
        T r = std::fmod(v - T(180), T(360));  // in [0, 360)
        v = (r == T(0)) ? T(180) : T(-180) + r;
    } else if (v < T(-180)) {
        T r = std::fmod(v + T(180), T(360));  // in (-360, 0]
        v = (r == T(0)) ? T(-180) : T(180) + r;
    }
    return v;
}

template <typename T>
T clamp01(T v) {
    if (v > T(1)) v = T(1);
    if (v < T(0)) v = T(0);
    return v;
}

template <typename T>
T clamp_pm1(T v) {
    if (v > T(1)) v = T(1);
    if (v < T(-1)) v = T(-1);
    return v;
}

}  // namespace plimsy
