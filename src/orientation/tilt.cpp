#include "orientation/tilt.hpp"

#include <cmath>

#include "common/angles.hpp"

namespace plimsy {

namespace {

// Mirrors the plain angle `a` through the reflection angle `b` and moves the
// result back into the half turn opposite to it.
double reflected(float a, float b) {
    const float twice_b = 2.0f * b;
    const double d = static_cast<double>(twice_b) - static_cast<double>(a);
    return d > 0 ? d - pi : d + pi;
}

}  // namespace

void tilt_latch(float x, float y, float z, bool& positive_rax, bool& positive_ray) {
    if (z >= 0) {
        positive_rax = true;
        positive_ray = true;
    } else if (positive_rax && positive_ray) {
        positive_rax = std::fabs(y) <= std::fabs(x);
        positive_ray = std::fabs(y) > std::fabs(x);
    }
}

double tilt_rax(float x, float y, float z, bool positive_rax) {
    const float a = std::atan2(y, std::sqrt(x * x + z * z));
    if (positive_rax) return a;
    const float b = std::atan2(-std::fabs(x), std::sqrt(y * y + z * z));
    return reflected(a, b);
}

double tilt_ray(float x, float y, float z, bool positive_ray) {
    const float a = std::atan2(-x, std::sqrt(y * y + z * z));
    if (positive_ray) return a;
    const float b = std::atan2(-std::fabs(y), std::sqrt(x * x + z * z));
    return reflected(a, b);
}

double tilt_raz(float x, float y, float z) { return std::atan2(std::sqrt(x * x + y * y), z); }

}  // namespace plimsy
