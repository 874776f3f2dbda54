#pragma once

#include "common/timing.hpp"
#include "platform/clock.hpp"
#include "platform/observable.hpp"

namespace plimsy {

// Three rotation angles the board has computed itself, prepared for an
// animated drawing.
class gyroscope_t : public observable_t {
public:
    static constexpr double change_lock = change_lock_seconds;
    static constexpr double anim_limit = anim_limit_seconds;

    explicit gyroscope_t(const clock_t& clock);

    // Angles in degrees, any range; stored wrapped into [-pi, pi].
    void update(float x_degrees, float y_degrees, float z_degrees);

    time_point_t change_time;
    double anim_time = anim_limit;
    time_point_t update_date;
    double x = 0, y = 0, z = 0;  // radians

private:
    const clock_t* clock_;
};

}  // namespace plimsy
