#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/timing.hpp"
#include "model/records.hpp"
#include "orientation/calibration_state.hpp"
#include "platform/clock.hpp"
#include "platform/observable.hpp"

namespace plimsy {

// Follows the calibration that runs on the board: which step it is in, the
// extremes it has measured so far, and the warnings it raises. The board
// decides the steps; this object only mirrors them and derives what the
// calibration panel shows.
class compass_c_t : public observable_t {
public:
    static constexpr double change_lock = change_lock_seconds;
    static constexpr double anim_limit = anim_limit_seconds;

    static constexpr const calibration_texts_t& calibration_arr_tilt = plimsy::calibration_arr_tilt;
    static constexpr const calibration_texts_t& calibration_arr_angle = plimsy::calibration_arr_angle;
    static constexpr const calibration_texts_t& calibration_arr = plimsy::calibration_arr;
    static constexpr const calibration_texts_t& calibration_btn_arr = plimsy::calibration_btn_arr;

    // A point in screen orientation (y grows downward).
    struct point_t {
        double x = 0;
        double y = 0;
    };

    explicit compass_c_t(const clock_t& clock);

    void update(const compass_c_str_t& record);
    // Absent or any word other than the four step names means complete.
    void set_calibration(const std::optional<std::string>& c);
    // Reads the event bits for the current step.
    void set_event(std::uint32_t event);

    // The event word in hexadecimal; 0 for anything that is not one
    // (empty, other characters, more than 32 bits).
    static std::uint32_t parse_event(std::string_view text);

    float x_n() const;
    float y_n() const;
    float z_n() const;

    float dir_px() const;
    float dir_py() const;
    float dir_mx() const;
    float dir_my() const;
    std::string dir_x_s() const;
    std::string dir_y_s() const;
    point_t dir_point() const;

    std::string calibration_s() const;
    std::string calibration_btn_s() const;
    std::string calibration_tilt_s() const;
    std::string calibration_angle_s() const;
    std::string z_ang_s() const;

    time_point_t change_time;
    double anim_time = anim_limit;
    time_point_t update_date;
    std::string overflow_s;
    bool overflow = false;
    bool valid_raw = false;  // the sensors model clears it for records without raw values
    bool valid = false;
    bool event_tilt = false;
    bool event_angle = false;
    bool event_min = false;
    bool event_max = false;
    std::uint32_t event = 0;
    std::int16_t x_raw = 0, y_raw = 0, z_raw = 0;
    std::int16_t x_min = -1, y_min = -1, z_min = -1;
    std::int16_t x_max = 1, y_max = 1, z_max = 1;
    std::int16_t xv_min = -1, yv_min = -1;
    std::int16_t xv_max = 1, yv_max = 1;
    std::optional<std::int16_t> z_ang = 0;
    // Additive offsets of the normalised components; kept at 0.
    float x_a = 0, y_a = 0, z_a = 0;
    calibration_state_t calibration = calibration_state_t::complete;

private:
    const clock_t* clock_;
};

}  // namespace plimsy
