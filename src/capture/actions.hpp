#pragma once

// The local actions: what the user does on the panels that changes
// processing without sending the board anything. A capture names them
// "<member of the sensors model>.<operation>"; the recorder and the replay
// both take the names from the one table here.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "capture/capture.hpp"

namespace plimsy {

class sensors_t;

enum class local_action_t {
    hmc5883_calibration_next,
    hmc5883_calibration_save,  // arg: slot (the panel's Save uses 1)
    hmc5883_calibration_load,  // arg: slot (the panel's Load uses 1)
    hmc5883_compensate,        // arg: the switch's new value
    hmc5883_compensate_3d,     // arg: the switch's new value
    mpu6050_reset_gyro,
    bh1749_white_balance,
    bh1749_reset_corrections,
    trace_reset,               // arg: force (the panel's button forces)
    trace_toggle_hold,
};

struct local_action_info_t {
    local_action_t action;
    std::string_view name;  // "hmc5883.calibration_save"
    enum class arg_t { none, slot, flag } arg;
    // What a capture that leaves "arg" out means: what the panel's button
    // passes. Switches have none: a switch entry without its new value
    // could mean either.
    capture_arg_t default_arg;
};

std::span<const local_action_info_t> local_actions();
std::string_view local_action_name(local_action_t action);
const local_action_info_t* find_local_action(std::string_view name);

// Applies one action to the model. On a name it does not know or an
// argument that does not fit it returns false with the reason in `error`
// and leaves the model alone.
bool apply_local_action(sensors_t& sensors, std::string_view name, const capture_arg_t& arg, std::string& error);

}  // namespace plimsy
