#include "orientation/compass_c.hpp"

#include <charconv>
#include <cstdlib>

#include "common/text.hpp"
#include "orientation/axis_values.hpp"
#include "orientation/direction.hpp"

namespace plimsy {

namespace {

// Values this close to the 16-bit limit leave no head room for the board's
// own sums and differences.
bool near_limit(std::int16_t v) { return std::abs(static_cast<int>(v)) >= 16384; }

// "{ heading: 12.5, x_min: -1, ... }": the record as the overflow report
// quotes it.
std::string record_text(const compass_c_str_t& r) {
    std::string out = "{ heading: ";
    append_shortest(out, r.heading().value_or(0.0f));
    const std::pair<const char*, std::int16_t> fields[] = {
        {"x_min", r.x_min},   {"y_min", r.y_min},   {"z_min", r.z_min},   {"x_max", r.x_max},   {"y_max", r.y_max},
        {"z_max", r.z_max},   {"xv_min", r.xv_min}, {"yv_min", r.yv_min}, {"xv_max", r.xv_max}, {"yv_max", r.yv_max},
    };
    for (const auto& [name, value] : fields) {
        out += ", ";
        out += name;
        out += ": ";
        out += std::to_string(value);
    }
    out += " }";
    return out;
}

}  // namespace

compass_c_t::compass_c_t(const clock_t& clock) : change_time(clock.now()), update_date(change_time), clock_(&clock) {}

std::uint32_t compass_c_t::parse_event(std::string_view text) {
    std::uint32_t value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    // from_chars takes neither a sign nor a "0x" prefix, which is what we want.
    const auto [end, ec] = std::from_chars(first, last, value, 16);
    if (ec != std::errc() || end != last) return 0;
    return value;
}

void compass_c_t::set_calibration(const std::optional<std::string>& c) {
    if (!c) {
        calibration = calibration_state_t::complete;
    } else if (*c == "xy") {
        calibration = calibration_state_t::xy;
    } else if (*c == "xv") {
        calibration = calibration_state_t::xv;
    } else if (*c == "yv") {
        calibration = calibration_state_t::yv;
    } else if (*c == "z") {
        calibration = calibration_state_t::z;
    } else {
        calibration = calibration_state_t::complete;
    }
}

void compass_c_t::set_event(std::uint32_t e) {
    event = e;
    const auto bit = [e](int n) { return (e >> n & 1u) != 0; };
    event_tilt = event_angle = event_min = event_max = false;
    switch (calibration) {
        case calibration_state_t::xy:
            event_tilt = (e & 0xC0u) != 0;
            break;
        case calibration_state_t::xv:
            event_tilt = bit(7);
            event_angle = bit(5);
            event_min = bit(0);
            event_max = bit(1);
            break;
        case calibration_state_t::yv:
            event_tilt = bit(6);
            event_angle = bit(5);
            event_min = bit(2);
            event_max = bit(3);
            break;
        case calibration_state_t::complete:
        case calibration_state_t::z:
            break;
    }
}

void compass_c_t::update(const compass_c_str_t& r) {
    valid_raw = false;
    overflow = near_limit(r.x_min) || near_limit(r.y_min) || near_limit(r.z_min) || near_limit(r.x_max) ||
               near_limit(r.y_max) || near_limit(r.z_max) || near_limit(r.xv_min) || near_limit(r.yv_min) ||
               near_limit(r.xv_max) || near_limit(r.yv_max);
    overflow_s = overflow ? "compass_c_t.update: possible arithmetic overflow\ncompass_c = " + record_text(r) : "";

    // Raw values only mean something while the board is calibrating.
    if (r.c && r.x_raw && r.y_raw && r.z_raw) {
        x_raw = *r.x_raw;
        y_raw = *r.y_raw;
        z_raw = *r.z_raw;
        valid_raw = true;
    } else {
        x_raw = y_raw = z_raw = 0;
    }

    // Stored even when near the limit: the panel shows them with the warning.
    x_min = r.x_min;
    y_min = r.y_min;
    z_min = r.z_min;
    x_max = r.x_max;
    y_max = r.y_max;
    z_max = r.z_max;
    xv_min = r.xv_min;
    yv_min = r.yv_min;
    xv_max = r.xv_max;
    yv_max = r.yv_max;
    z_ang = r.z_ang;
    valid = true;

    // The step first: the event bits mean different things in each step.
    set_calibration(r.c);
    set_event(parse_event(r.e));

    const time_point_t now = clock_->now();
    smooth_anim_time(anim_time, now - update_date, anim_limit);
    update_date = now;
    if (change_throttle(change_time, now)) will_change();
}

float compass_c_t::x_n() const { return axis_values_t::make(x_raw, x_a, x_min, x_max).normalised(); }
float compass_c_t::y_n() const { return axis_values_t::make(y_raw, y_a, y_min, y_max).normalised(); }
float compass_c_t::z_n() const { return axis_values_t::make(z_raw, z_a, z_min, z_max).normalised(); }

float compass_c_t::dir_px() const { return direction_t::of(x_n(), y_n()).px(); }
float compass_c_t::dir_py() const { return direction_t::of(x_n(), y_n()).py(); }
float compass_c_t::dir_mx() const { return direction_t::of(x_n(), y_n()).mx(); }
float compass_c_t::dir_my() const { return direction_t::of(x_n(), y_n()).my(); }

std::string compass_c_t::dir_x_s() const { return cformat("%.1f", static_cast<double>(direction_t::of(x_n(), y_n()).ux)); }
std::string compass_c_t::dir_y_s() const { return cformat("%.1f", static_cast<double>(direction_t::of(x_n(), y_n()).uy)); }

compass_c_t::point_t compass_c_t::dir_point() const {
    const auto d = direction_t::of(x_n(), y_n());
    return {static_cast<double>(d.ux), -static_cast<double>(d.uy)};
}

std::string compass_c_t::calibration_s() const { return calibration_text(calibration_arr, calibration); }
std::string compass_c_t::calibration_btn_s() const { return calibration_text(calibration_btn_arr, calibration); }
std::string compass_c_t::calibration_tilt_s() const { return calibration_text(calibration_arr_tilt, calibration); }
std::string compass_c_t::calibration_angle_s() const { return calibration_text(calibration_arr_angle, calibration); }

std::string compass_c_t::z_ang_s() const {
    if (!calibration_state_from_raw(raw_value(calibration))) return unknown_calibration_text(calibration);
    if (!z_ang) return "";
    return std::to_string(*z_ang) + "\u00BA";
}

}  // namespace plimsy
