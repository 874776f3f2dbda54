#include "capture/actions.hpp"

#include <array>
#include <cmath>
#include <limits>

#include "model/sensors.hpp"

namespace plimsy {

namespace {

using arg_t = local_action_info_t::arg_t;

const std::array<local_action_info_t, 10> table = {{
    {local_action_t::hmc5883_calibration_next, "hmc5883.calibration_next", arg_t::none, {}},
    {local_action_t::hmc5883_calibration_save, "hmc5883.calibration_save", arg_t::slot, std::int64_t{1}},
    {local_action_t::hmc5883_calibration_load, "hmc5883.calibration_load", arg_t::slot, std::int64_t{1}},
    {local_action_t::hmc5883_compensate, "hmc5883.compensate", arg_t::flag, {}},
    {local_action_t::hmc5883_compensate_3d, "hmc5883.compensate_3d", arg_t::flag, {}},
    {local_action_t::mpu6050_reset_gyro, "mpu6050.reset_gyro", arg_t::none, {}},
    {local_action_t::bh1749_white_balance, "bh1749.white_balance", arg_t::none, {}},
    {local_action_t::bh1749_reset_corrections, "bh1749.reset_corrections", arg_t::none, {}},
    {local_action_t::trace_reset, "trace.reset", arg_t::flag, true},
    {local_action_t::trace_toggle_hold, "trace.toggle_hold", arg_t::none, {}},
}};

// Slots name store keys ("hmc5883.1.x_min"); a negative or huge one is a
// damaged capture, not a slot.
constexpr std::int64_t max_slot = 1000;

}  // namespace

std::span<const local_action_info_t> local_actions() { return table; }

std::string_view local_action_name(local_action_t action) {
    for (const auto& a : table)
        if (a.action == action) return a.name;
    return {};
}

const local_action_info_t* find_local_action(std::string_view name) {
    for (const auto& a : table)
        if (a.name == name) return &a;
    return nullptr;
}

bool apply_local_action(sensors_t& s, std::string_view name, const capture_arg_t& given, std::string& error) {
    const local_action_info_t* info = find_local_action(name);
    if (!info) {
        error = "unknown action";
        return false;
    }
    const capture_arg_t& arg = std::holds_alternative<std::monostate>(given) ? info->default_arg : given;
    int slot = 0;
    bool flag = false;
    switch (info->arg) {
        case arg_t::none:
            // An argument where none is taken is what a later version may add: ignored.
            break;
        case arg_t::slot: {
            std::int64_t v = -1;
            if (const auto* i = std::get_if<std::int64_t>(&arg)) v = *i;
            else if (const auto* d = std::get_if<double>(&arg); d && std::trunc(*d) == *d && std::abs(*d) <= 1e9)
                v = static_cast<std::int64_t>(*d);  // "1.0" from a writer that prints numbers as floats
            else {
                error = "\"arg\" must be a slot number";
                return false;
            }
            if (v < 0 || v > max_slot) {
                error = "slot out of range 0..1000";
                return false;
            }
            slot = static_cast<int>(v);
            break;
        }
        case arg_t::flag:
            if (const auto* b = std::get_if<bool>(&arg)) {
                flag = *b;
            } else {
                error = "\"arg\" must be true or false";
                return false;
            }
            break;
    }
    switch (info->action) {
        case local_action_t::hmc5883_calibration_next: s.hmc5883_calibration_next(); break;
        case local_action_t::hmc5883_calibration_save: s.hmc5883_calibration_save(slot); break;
        case local_action_t::hmc5883_calibration_load: s.hmc5883_calibration_load(slot); break;
        case local_action_t::hmc5883_compensate: s.set_hmc5883_compensate(flag); break;
        case local_action_t::hmc5883_compensate_3d: s.set_hmc5883_compensate_3d(flag); break;
        case local_action_t::mpu6050_reset_gyro: s.mpu6050_reset_gyro(); break;
        case local_action_t::bh1749_white_balance: s.bh1749_white_balance(); break;
        case local_action_t::bh1749_reset_corrections: s.bh1749_reset_corrections(); break;
        case local_action_t::trace_reset: s.trace.reset(flag); break;
        case local_action_t::trace_toggle_hold: s.trace.toggle_hold(); break;
    }
    error.clear();
    return true;
}

}  // namespace plimsy
