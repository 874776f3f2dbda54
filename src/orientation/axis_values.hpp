#pragma once

#include <cstdint>

namespace plimsy {

// One magnetometer axis against its calibration range: the raw count, the
// count centred on the middle of the range (plus an additive correction),
// the range's middle and half width. The normalised component is about
// -1 ... 1 across the calibrated range.
struct axis_values_t {
    std::int16_t raw = 0;
    std::int16_t min = 0;
    std::int16_t max = 0;
    float centred = 0;  // raw + correction - offset
    float offset = 0;   // (min + max) / 2
    float divisor = 0;  // (max - min) / 2

    // Sums and differences of the 16-bit bounds are formed in 32 bits so
    // that they cannot overflow; the rest is single precision.
    static axis_values_t make(std::int16_t raw, float correction, std::int16_t min, std::int16_t max);

    // Not finite when the range is empty (min == max); callers pass it on.
    float normalised() const { return centred / divisor; }
};

}  // namespace plimsy
