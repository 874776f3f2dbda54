#pragma once

#include "common/timing.hpp"
#include "platform/clock.hpp"
#include "platform/observable.hpp"

namespace plimsy {

// Tilt of the board from the gravity vector it reports, for the tilt
// drawing. The sensors model sets x, y, z and then calls update().
class gravity_t : public observable_t {
public:
    static constexpr double change_lock = change_lock_seconds;
    static constexpr double anim_limit = anim_limit_seconds;

    explicit gravity_t(const clock_t& clock);

    void update();

    time_point_t change_time;
    double anim_time = anim_limit;
    time_point_t update_date;
    float x = 0, y = 0, z = 0;  // any unit; only the ratios matter
    bool positive_rax = true;
    bool positive_ray = true;
    double rax_r = 0;  // about x, radians
    double ray_r = 0;  // about y, radians
    double raz_r = 0;  // from +z, radians

private:
    const clock_t* clock_;
};

}  // namespace plimsy
