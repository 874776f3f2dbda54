#pragma once

#include <string>

#include "platform/clock.hpp"

namespace plimsy {

// The high-g accelerometer with a peak hold: a shock stays on screen for
// time_hold seconds after its last increase, per axis at its largest
// magnitude; afterwards the reading follows the live samples again.
class adxl372_t {
public:
    static constexpr double time_hold = 10.0;

    explicit adxl372_t(const clock_t& clock) : date_hold(clock.now()), clock_(&clock) {}

    void update(float new_x, float new_y, float new_z);

    // True when nothing is held: all axes exactly 0, or the hold has run out.
    bool hold_expired() const;

    std::string debug_description() const;

    // Held acceleration per axis, sign kept.
    float x = 0;
    float y = 0;
    float z = 0;
    // The hold ends at this instant.
    time_point_t date_hold;

private:
    const clock_t* clock_;
};

}  // namespace plimsy
