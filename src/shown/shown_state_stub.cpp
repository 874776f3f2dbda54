// TEMPORARY STAND-IN for shown_state(), so that "plimsy-cli decode --state"
// and its tests can be built before the real computation of what each panel
// shows lands in src/shown/. It reports only a few raw values per board kind
// (no texts as the panels format them). DELETE THIS FILE when the real
// shown_state() is merged.

#include <cmath>

#include "shown/shown_state.hpp"

namespace plimsy {

namespace {
constexpr double degrees_per_radian = 57.29577951308232;
}

std::vector<shown_object_t> shown_state(const connection_t& cnc, const config_connection_t& cfg) {
    const sensors_t& s = cnc.sensors;
    std::vector<shown_object_t> out;
    switch (s.device_model) {
        case device_model_t::hmc5883:
            out.push_back({"hmc5883",
                           {{"heading", s.hmc5883.heading() * degrees_per_radian},
                            {"heading_s", s.hmc5883.heading_s()},
                            {"calibration_s", s.hmc5883.calibration_s()},
                            {"compensate", s.hmc5883.compensate},
                            {"compensate_3d", s.hmc5883.compensate_3d},
                            {"anim_time", s.hmc5883.anim_time}}});
            break;
        case device_model_t::gravity:
        case device_model_t::compass:
        case device_model_t::compass_bearing:
        case device_model_t::compass_gravity:
            out.push_back({"compass",
                           {{"heading", s.compass.heading * degrees_per_radian},
                            {"heading_s", s.compass.heading_s()},
                            {"anim_time", s.compass.anim_time}}});
            out.push_back({"gravity", {{"rax", s.gravity.rax_r * degrees_per_radian},
                                       {"ray", s.gravity.ray_r * degrees_per_radian}}});
            break;
        case device_model_t::gyroscope:
            out.push_back({"gyroscope", {{"x", s.gyroscope.x * degrees_per_radian},
                                         {"y", s.gyroscope.y * degrees_per_radian},
                                         {"z", s.gyroscope.z * degrees_per_radian}}});
            out.push_back({"trace", {{"hold", s.trace.hold()},
                                     {"hold_label", std::string(s.trace.hold_label())},
                                     {"count", static_cast<double>(s.trace.count())}}});
            break;
        default:
            out.push_back({"bh1749", {{"r_c", static_cast<double>(s.bh1749.r_c)},
                                      {"g_c", static_cast<double>(s.bh1749.g_c)},
                                      {"b_c", static_cast<double>(s.bh1749.b_c)}}});
            break;
    }
    out.push_back({"screen",
                   {{"device_model", std::string(device_model_name(s.device_model))},
                    {"error_rate", cnc.error_rate()},
                    {"log_lines", static_cast<double>(cnc.arr_rx().size())},
                    {"enable_ble", cfg.enable_ble()}}});
    return out;
}

}  // namespace plimsy
