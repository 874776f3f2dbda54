#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/timing.hpp"
#include "orientation/axis_values.hpp"
#include "orientation/calibration_state.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/settings_store.hpp"

namespace plimsy {

class mpu6050_t;

// Compass from the raw counts of an HMC5883 magnetometer. This program runs
// the calibration itself: it records the extremes per axis (and of the
// vertical field) in four guided steps, keeps them in the settings store,
// and corrects the horizontal components for tilt with the gravity
// direction of the MPU6050 fusion. A value type held by the sensors model.
class hmc5883_t {
public:
    static constexpr double anim_limit = anim_limit_seconds;
    static constexpr const calibration_texts_t& calibration_arr = plimsy::calibration_arr;
    static constexpr const calibration_texts_t& calibration_btn_arr = plimsy::calibration_btn_arr;

    // Loads the calibration in use (slot 0), so it is in force from the start.
    hmc5883_t(const clock_t& clock, settings_store_t& store, console_t& console);

    void update(std::int16_t x, std::int16_t y, std::int16_t z);
    // Takes the tilt corrections from the fused gravity direction.
    void apply_tilt(const mpu6050_t& mpu);

    // The panel's calibration button: from complete it discards the saved
    // calibration and starts over, otherwise it moves to the next step.
    void calibration_next();
    // Slot 0 is the calibration in use, slot 1 a spare copy.
    void calibration_save(int slot);
    // Fields whose key is missing (or not a 16-bit value) keep their value.
    void calibration_load(int slot);
    void calibration_start();
    void calibration_remove(int slot);
    // The settings keys of a slot ("hmc5883.0.x_min", ...), in the order saved.
    static std::vector<std::string> calibration_keys(int slot);

    axis_values_t x_axis() const;
    axis_values_t y_axis() const;
    axis_values_t z_axis() const;

    float x_n() const;
    float y_n() const;
    float z_n() const;
    std::string z_n_s() const;
    // Half the vertical field per axis, the amplitude of the tilt correction.
    float xv_half() const;
    float yv_half() const;
    float xy_scale() const;
    double heading() const;  // radians, declination included
    std::string heading_s() const;
    std::string calibration_s() const;
    std::string calibration_btn_s() const;
    std::string debug_description() const;

    calibration_state_t calibration = calibration_state_t::complete;
    bool compensate = true;
    bool compensate_3d = true;  // use the measured vertical field, not an estimate
    // Called "update" on the board's side; renamed because a C++ class cannot
    // have a data member and a member function of the same name. Set when a
    // tracked extreme improved and the calibration is still to be saved;
    // starts true so the first accepted message saves what was loaded.
    bool update_pending = true;
    std::int16_t x = 0, y = 0, z = 0;
    float x_a = 0, y_a = 0, z_a = 0;  // tilt corrections; z_a stays 0
    std::int16_t x_min = -1, y_min = -1, z_min = -1;
    std::int16_t x_max = 1, y_max = 1, z_max = 1;
    std::int16_t xv_min = -1, yv_min = -1;
    std::int16_t xv_max = 1, yv_max = 1;
    double anim_time = anim_limit;
    time_point_t anim_date;
    time_point_t update_date;

private:
    const clock_t* clock_;
    settings_store_t* store_;
    console_t* console_;
};

}  // namespace plimsy
