#pragma once

#include <string>

#include "common/timing.hpp"
#include "platform/clock.hpp"

namespace plimsy {

// Compass from a magnetometer vector the board has already normalised; no
// calibration needed. A value type held by the sensors model.
class hmc5883n_t {
public:
    static constexpr double anim_limit = anim_limit_seconds;

    explicit hmc5883n_t(const clock_t& clock);

    void update(float x, float y, float z);

    double heading() const;  // radians, declination included
    std::string heading_s() const;
    // Strengths of the four direction marks of the panel.
    float dir_px() const;
    float dir_py() const;
    float dir_mx() const;
    float dir_my() const;
    std::string debug_description() const;

    float x = 0, y = 0, z = 0;
    double anim_time = anim_limit;
    time_point_t anim_date;
    time_point_t update_date;

private:
    const clock_t* clock_;
};

}  // namespace plimsy
