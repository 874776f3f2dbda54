#include "orientation/hmc5883.hpp"

#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <tuple>
#include <vector>

#include "common/angles.hpp"
#include "common/text.hpp"
#include "orientation/heading.hpp"
#include "orientation/mpu6050.hpp"

namespace plimsy {

namespace {

struct stored_field_t {
    const char* name;
    std::int16_t hmc5883_t::* member;
};

// The persisted calibration, in key order.
constexpr std::array<stored_field_t, 10> stored_fields = {{
    {"x_min", &hmc5883_t::x_min},
    {"y_min", &hmc5883_t::y_min},
    {"z_min", &hmc5883_t::z_min},
    {"x_max", &hmc5883_t::x_max},
    {"y_max", &hmc5883_t::y_max},
    {"z_max", &hmc5883_t::z_max},
    {"xv_min", &hmc5883_t::xv_min},
    {"yv_min", &hmc5883_t::yv_min},
    {"xv_max", &hmc5883_t::xv_max},
    {"yv_max", &hmc5883_t::yv_max},
}};

std::string key(int slot, const char* field) { return "hmc5883." + std::to_string(slot) + "." + field; }

// Counts at or beyond this magnitude would let the tracked ranges overflow
// the 16-bit sums and differences.
bool near_limit(std::int16_t v) { return std::abs(static_cast<int>(v)) >= 16384; }

// A count one step away; saturates rather than wrapping at the 16-bit ends.
std::int16_t offset_by(std::int16_t v, int delta) {
    const int r = static_cast<int>(v) + delta;
    if (r > std::numeric_limits<std::int16_t>::max()) return std::numeric_limits<std::int16_t>::max();
    if (r < std::numeric_limits<std::int16_t>::min()) return std::numeric_limits<std::int16_t>::min();
    return static_cast<std::int16_t>(r);
}

// Widens the range [min, max] to take v; true if it moved.
bool track(std::int16_t v, std::int16_t& min, std::int16_t& max) {
    if (v < min) {
        min = v;
        return true;
    }
    if (v > max) {
        max = v;
        return true;
    }
    return false;
}

// hx or hy: half the vertical field, measured or estimated as 2.5 times the
// horizontal half-range.
float vertical_half(bool measured, std::int16_t v_min, std::int16_t v_max, std::int16_t min, std::int16_t max) {
    if (measured) return static_cast<float>(std::int32_t{v_max} - std::int32_t{v_min}) * 0.5f;
    return static_cast<float>(std::int32_t{max} - std::int32_t{min}) * 0.5f * 2.5f;
}

}  // namespace

hmc5883_t::hmc5883_t(const clock_t& clock, settings_store_t& store, console_t& console)
    : anim_date(clock.now()), update_date(anim_date), clock_(&clock), store_(&store), console_(&console) {
    calibration_load(0);
}

void hmc5883_t::update(std::int16_t new_x, std::int16_t new_y, std::int16_t new_z) {
    const double old_degrees = heading() * deg_per_rad;
    x = new_x;
    y = new_y;
    z = new_z;

    if (near_limit(x) || near_limit(y) || near_limit(z)) {
        console_->line(cformat("hmc5883_t.update: possible arithmetic overflow\nx = %d, y = %d, z = %d", x, y, z));
        return;
    }

    // Nothing measured and nothing loaded: start calibrating by ourselves.
    if (x_min == -1 && y_min == -1 && z_min == -1 && x_max == 1 && y_max == 1 && z_max == 1) calibration_start();

    bool moved = false;
    switch (calibration) {
        case calibration_state_t::complete:
            break;
        case calibration_state_t::xy:
            moved = track(x, x_min, x_max);
            moved = track(y, y_min, y_max) || moved;
            moved = track(z, z_min, z_max) || moved;
            break;
        case calibration_state_t::xv:
            moved = track(x, xv_min, xv_max);
            break;
        case calibration_state_t::yv:
            moved = track(y, yv_min, yv_max);
            break;
        case calibration_state_t::z:
            moved = track(z, z_min, z_max);
            break;
    }
    if (moved) update_pending = true;

    // Saved at once, so an interrupted calibration keeps what it measured.
    if (update_pending) {
        update_pending = false;
        calibration_save(0);
    }

    const time_point_t now = clock_->now();
    heading_anim_step(old_degrees, heading() * deg_per_rad, now, update_date, anim_time, anim_date, anim_limit);
    update_date = now;
}

void hmc5883_t::apply_tilt(const mpu6050_t& mpu) {
    // While calibrating the raw counts must stay uncorrected.
    if (!compensate || calibration != calibration_state_t::complete) {
        x_a = 0;
        y_a = 0;
        return;
    }
    x_a = xv_half() * clamp_pm1(static_cast<float>(mpu.gax));
    y_a = yv_half() * clamp_pm1(static_cast<float>(mpu.gay));
}

void hmc5883_t::calibration_next() {
    switch (calibration) {
        case calibration_state_t::complete:
            calibration_remove(0);
            calibration_start();
            break;
        case calibration_state_t::xy:
            calibration = calibration_state_t::xv;
            break;
        case calibration_state_t::xv:
            calibration = calibration_state_t::yv;
            break;
        case calibration_state_t::yv:
            calibration = calibration_state_t::z;
            break;
        case calibration_state_t::z:
            calibration = calibration_state_t::complete;
            break;
    }
}

// One change for the ten values: the store saves them together, and a
// message that widens a range costs the main thread one hand-over.
void hmc5883_t::calibration_save(int slot) {
    std::vector<setting_change_t> changes;
    changes.reserve(stored_fields.size());
    for (const auto& f : stored_fields) changes.push_back({key(slot, f.name), std::int64_t{this->*f.member}});
    store_->apply(changes);
}

std::vector<std::string> hmc5883_t::calibration_keys(int slot) {
    std::vector<std::string> keys;
    for (const auto& f : stored_fields) keys.push_back(key(slot, f.name));
    return keys;
}

void hmc5883_t::calibration_load(int slot) {
    calibration = calibration_state_t::complete;
    hmc5883_t loaded = *this;
    for (const auto& f : stored_fields) {
        const std::string k = key(slot, f.name);
        const auto stored = store_->read(k);
        if (!stored) continue;
        const auto v = store_->read_int(k);
        if (v && *v >= std::numeric_limits<std::int16_t>::min() && *v <= std::numeric_limits<std::int16_t>::max()) {
            loaded.*f.member = static_cast<std::int16_t>(*v);
        } else {
            console_->line("hmc5883_t.calibration_load: " + k + " is not a 16-bit count; ignored");
        }
    }
    // A range whose maximum is not above its minimum divides by zero (or
    // mirrors the axis): the heading would be meaningless. Such a
    // calibration is not used at all; mixing some of its values with the
    // current ones would be no better.
    for (const auto& [name, min, max] : {std::tuple("x", loaded.x_min, loaded.x_max),
                                         std::tuple("y", loaded.y_min, loaded.y_max),
                                         std::tuple("z", loaded.z_min, loaded.z_max)}) {
        if (min < max) continue;
        console_->line(cformat("hmc5883_t.calibration_load: the calibration in slot %d has an empty %s range "
                               "(minimum %d, maximum %d); not used, calibrate again",
                               slot, name, min, max));
        return;
    }
    for (const auto& f : stored_fields) this->*f.member = loaded.*f.member;
    // A restored spare becomes the calibration in use.
    if (slot != 0) calibration_save(0);
}

void hmc5883_t::calibration_start() {
    calibration = calibration_state_t::xy;
    x_min = offset_by(x, -1);
    y_min = offset_by(y, -1);
    z_min = offset_by(z, -1);
    x_max = offset_by(x, 1);
    y_max = offset_by(y, 1);
    z_max = offset_by(z, 1);
    xv_min = offset_by(x, -1);
    yv_min = offset_by(y, -1);
    xv_max = offset_by(x, 1);
    yv_max = offset_by(y, 1);
}

void hmc5883_t::calibration_remove(int slot) {
    std::vector<setting_change_t> changes;
    changes.reserve(stored_fields.size());
    for (const auto& f : stored_fields) changes.push_back({key(slot, f.name), std::nullopt});
    store_->apply(changes);
}

axis_values_t hmc5883_t::x_axis() const { return axis_values_t::make(x, x_a, x_min, x_max); }
axis_values_t hmc5883_t::y_axis() const { return axis_values_t::make(y, y_a, y_min, y_max); }
axis_values_t hmc5883_t::z_axis() const { return axis_values_t::make(z, z_a, z_min, z_max); }

float hmc5883_t::x_n() const { return x_axis().normalised(); }
float hmc5883_t::y_n() const { return y_axis().normalised(); }
float hmc5883_t::z_n() const { return z_axis().normalised(); }

std::string hmc5883_t::z_n_s() const {
    const float v = z_n();
    return std::isfinite(v) ? cformat("%.1f", static_cast<double>(v)) : std::string(no_heading_text);
}

float hmc5883_t::xv_half() const { return vertical_half(compensate_3d, xv_min, xv_max, x_min, x_max); }
float hmc5883_t::yv_half() const { return vertical_half(compensate_3d, yv_min, yv_max, y_min, y_max); }

float hmc5883_t::xy_scale() const {
    const float xn = x_n();
    const float yn = y_n();
    if (xn == 0 && yn == 0) return 1.0f;
    return 1.0f / std::sqrt(xn * xn + yn * yn);
}

double hmc5883_t::heading() const {
    return std::atan2(static_cast<double>(y_n()), static_cast<double>(x_n())) + magnetic_declination;
}

std::string hmc5883_t::heading_s() const { return heading_text(heading()); }

std::string hmc5883_t::calibration_s() const { return calibration_text(calibration_arr, calibration); }
std::string hmc5883_t::calibration_btn_s() const { return calibration_text(calibration_btn_arr, calibration); }

std::string hmc5883_t::debug_description() const { return cformat("{ x: %d, y: %d, z: %d }", x, y, z); }

}  // namespace plimsy
