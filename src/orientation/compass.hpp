#pragma once

#include <string>

#include "common/timing.hpp"
#include "platform/clock.hpp"
#include "platform/observable.hpp"

namespace plimsy {

// The heading the board reports, prepared for an animated compass dial.
// Announces at most one change per change_lock; values are always stored.
class compass_t : public observable_t {
public:
    static constexpr double change_lock = change_lock_seconds;
    static constexpr double anim_limit = anim_limit_seconds;

    explicit compass_t(const clock_t& clock);

    // Heading in degrees as the board sent it. Accepted range is
    // [-180, 360]; anything at or above 360 (and NaN) becomes 360.
    void update(float heading_degrees);

    // Whole degrees, negatives shown as their positive equivalent.
    std::string heading_s() const;

    time_point_t change_time;
    double anim_time = anim_limit;  // 0 means jump
    time_point_t anim_date;
    time_point_t update_date;
    double heading = 0;  // radians

private:
    const clock_t* clock_;
};

}  // namespace plimsy
