#include "sim/simulated_board.hpp"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>

#include "common/angles.hpp"
#include "model/board_commands.hpp"

namespace plimsy {

namespace {

constexpr double standard_gravity = 9.80665;
// Earth's field as the magnetometer counts it (about 0.2 G horizontal and
// 0.4 G vertical at mid northern latitudes), pointing north and down.
constexpr double field_horizontal = 220.0;
constexpr double field_vertical = 420.0;
// A steadier board than this draws the tilt warnings of the calibration.
constexpr double tilt_limit_deg = 5.0;

// Builds `key={...}\r\n` one field at a time. Numbers go through to_chars so
// a locale set by the host program can never turn the point into a comma.
class json_line_t {
public:
    json_line_t(std::string& out, std::string_view key) : out_(out) {
        out_.append(key);
        out_.append("={");
    }
    json_line_t& number(std::string_view name, double v, int decimals) {
        field(name);
        if (!std::isfinite(v)) v = 0;
        char buf[64];
        const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
        out_.append(buf, r.ec == std::errc() ? r.ptr : buf);
        return *this;
    }
    json_line_t& integer(std::string_view name, long long v) {
        field(name);
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, v);
        out_.append(buf, r.ptr);
        return *this;
    }
    json_line_t& text(std::string_view name, std::string_view v) {
        field(name);
        out_ += '"';
        out_.append(v);
        out_ += '"';
        return *this;
    }
    void close() { out_.append("}\r\n"); }

private:
    void field(std::string_view name) {
        if (!first_) out_ += ',';
        first_ = false;
        out_ += '"';
        out_.append(name);
        out_.append("\":");
    }
    std::string& out_;
    bool first_ = true;
};

std::string_view step_word(calibration_state_t s) {
    switch (s) {
        case calibration_state_t::xy: return "xy";
        case calibration_state_t::xv: return "xv";
        case calibration_state_t::yv: return "yv";
        case calibration_state_t::z: return "z";
        case calibration_state_t::complete: break;
    }
    return {};
}

double wrap360(double deg) {
    deg = std::fmod(deg, 360.0);
    return deg < 0 ? deg + 360.0 : deg;
}

std::int16_t to_i16(double v) {
    if (!std::isfinite(v)) return 0;
    return static_cast<std::int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
}

}  // namespace

void simulated_board_t::limits_t::widen(int v) {
    if (!started) {
        // A span of zero would make the host's normalised field infinite.
        min = v - 1;
        max = v + 1;
        started = true;
        return;
    }
    min = std::min(min, v);
    max = std::max(max, v);
}

bool simulated_board_t::limits_t::near_min(int v) const {
    return started && v <= min + std::max(3.0, (max - min) * 0.03);
}

bool simulated_board_t::limits_t::near_max(int v) const {
    return started && v >= max - std::max(3.0, (max - min) * 0.03);
}

simulated_board_t::simulated_board_t(device_model_t kind, const clock_t& clock, double rate, std::uint32_t seed)
    : kind_(kind), clock_(clock), rate_(rate), rng_(seed), boot_time_(clock.now()) {
    if (!std::isfinite(rate_) || rate_ <= 0) rate_ = default_rate;
    rate_ = std::clamp(rate_, 0.1, 10000.0);
    hard_iron_ = {60.0 * (uniform_(rng_) - 0.5), 60.0 * (uniform_(rng_) - 0.5), 40.0 * (uniform_(rng_) - 0.5)};
    restart_state();
}

device_model_t simulated_board_t::host_model() const {
    return kind_ == device_model_t::compass_bearing ? device_model_t::compass : kind_;
}

bool simulated_board_t::calibrates() const {
    return kind_ == device_model_t::compass || kind_ == device_model_t::compass_bearing ||
           kind_ == device_model_t::compass_gravity;
}

void simulated_board_t::restart_state() {
    t_ = 0;
    step_t_ = 0;
    yaw_ = 2 * pi * uniform_(rng_);
    yaw0_ = yaw_;
    pitch_ = roll_ = 0;
    prev_yaw_ = yaw_;
    prev_pitch_ = prev_roll_ = 0;
    last_dt_ = 0;
    // A restart abandons a calibration; the closing report tells the host.
    if (calibration_ != calibration_state_t::complete) report_end_ = true;
    calibration_ = calibration_state_t::complete;
    next_shock_ = 10.0 + 5.0 * uniform_(rng_);
    next_alarm_ = 5.0 + 10.0 * uniform_(rng_);
    next_motion_ = 2.0 + 6.0 * uniform_(rng_);
}

std::size_t simulated_board_t::due_lines(std::vector<std::string>& out) {
    const time_point_t now = clock_.now();
    if (!std::isfinite(now) || now < boot_time_) return 0;
    // The epsilon keeps a clock stepped by exactly 1/rate from landing a
    // hair short of the next line.
    const double elapsed = (now - boot_time_) * rate_ + 1e-6;
    if (elapsed > 1e15) return 0;
    const auto due = static_cast<std::uint64_t>(std::floor(elapsed)) + 1;
    const auto max_backlog = static_cast<std::uint64_t>(std::ceil(rate_ * max_backlog_seconds));
    if (due > next_index_ + max_backlog) next_index_ = due - max_backlog;
    std::size_t count = 0;
    for (; next_index_ < due; ++next_index_, ++count) {
        const double t = static_cast<double>(next_index_) / rate_;
        out.push_back(make_line(next_index_, boot_time_ + t));
    }
    lines_sent_ += count;
    return count;
}

void simulated_board_t::command(std::string_view bytes) {
    for (const char b : bytes) {
        if (b == '\n' || b == '\r') {
            if (pending_.size() == 1) execute(pending_[0]);
            pending_.clear();
        } else if (b != '\0' && pending_.size() < 16) {
            // Longer lines are no command; the cap only bounds the memory.
            pending_ += b;
        }
    }
}

void simulated_board_t::execute(char c) {
    received_ += c;
    if (c == board_command_char(board_command_t::reboot)) {
        boot_time_ = clock_.now() + reboot_seconds;
        next_index_ = 0;
        ++restarts_;
        restart_state();
    } else if (c == board_command_char(board_command_t::calibrate) && calibrates()) {
        next_step();
    }
    // The others change settings inside the firmware that no reading shows.
}

void simulated_board_t::next_step() {
    step_t_ = 0;
    switch (calibration_) {
        case calibration_state_t::complete:
            calibration_ = calibration_state_t::xy;
            x_ = y_ = z_ = xv_ = yv_ = limits_t{};
            break;
        case calibration_state_t::xy: calibration_ = calibration_state_t::xv; break;
        case calibration_state_t::xv: calibration_ = calibration_state_t::yv; break;
        case calibration_state_t::yv: calibration_ = calibration_state_t::z; break;
        case calibration_state_t::z:
            calibration_ = calibration_state_t::complete;
            report_end_ = true;
            break;
    }
}

void simulated_board_t::advance(double dt) {
    t_ += dt;
    step_t_ += dt;
    last_dt_ = dt;
    prev_yaw_ = yaw_;
    prev_pitch_ = pitch_;
    prev_roll_ = roll_;
    const double s = step_t_;
    double yaw_rate = 6.0;  // degrees per second: one turn a minute
    // Each step moves the board the way its instruction asks.
    switch (calibration_) {
        case calibration_state_t::complete:
            pitch_ = 6.0 * std::sin(0.31 * s);
            roll_ = 4.0 * std::sin(0.23 * s);
            break;
        case calibration_state_t::xy:
            yaw_rate = 40.0;
            pitch_ = 7.0 * std::sin(0.9 * s);
            roll_ = 6.0 * std::sin(0.7 * s);
            break;
        case calibration_state_t::xv:
            yaw_rate = 0.0;
            pitch_ = 95.0 * std::sin(0.6 * s);
            roll_ = 7.0 * std::sin(0.9 * s);
            break;
        case calibration_state_t::yv:
            yaw_rate = 0.0;
            pitch_ = 7.0 * std::sin(0.9 * s);
            roll_ = 95.0 * std::sin(0.6 * s);
            break;
        case calibration_state_t::z:
            yaw_rate = 10.0;
            pitch_ = 5.0 * std::sin(0.5 * s);
            roll_ = 90.0 * (1.0 - std::cos(0.4 * s));
            break;
    }
    pitch_ *= rad_per_deg;
    roll_ *= rad_per_deg;
    yaw_ = std::fmod(yaw_ + yaw_rate * rad_per_deg * dt, 2 * pi);
}

// World vectors are north-east-down; the board's angles are yaw about down,
// then pitch, then roll, so a level board reads gravity on +z.
simulated_board_t::vec3 simulated_board_t::gravity() const {
    const double cp = std::cos(pitch_), sp = std::sin(pitch_);
    const double cr = std::cos(roll_), sr = std::sin(roll_);
    const double g = standard_gravity;
    return {-sp * g, sr * cp * g, cr * cp * g};
}

simulated_board_t::vec3 simulated_board_t::field() const {
    const double cy = std::cos(yaw_), sy = std::sin(yaw_);
    const double cp = std::cos(pitch_), sp = std::sin(pitch_);
    const double cr = std::cos(roll_), sr = std::sin(roll_);
    const double x1 = cy * field_horizontal, y1 = -sy * field_horizontal, z1 = field_vertical;
    const double x2 = cp * x1 - sp * z1, z2 = sp * x1 + cp * z1;
    return {x2, cr * y1 + sr * z2, -sr * y1 + cr * z2};
}

double simulated_board_t::heading_deg() const { return wrap360(yaw_ * deg_per_rad); }

double simulated_board_t::bearing_deg() const { return wrap360(135.0 + 25.0 * std::sin(0.05 * t_)); }

double simulated_board_t::noisy(double v, double sigma) { return v + sigma * unit_noise_(rng_); }

std::int16_t simulated_board_t::raw(double v, double offset) { return to_i16(noisy(v + offset, 2.0)); }

void simulated_board_t::sample() {
    const vec3 m = field();
    raw_x_ = raw(m.x, hard_iron_.x);
    raw_y_ = raw(m.y, hard_iron_.y);
    raw_z_ = raw(m.z, hard_iron_.z);
    const vec3 g = gravity();
    grav_ = {noisy(g.x, 0.03), noisy(g.y, 0.03), noisy(g.z, 0.03)};
    switch (calibration_) {
        case calibration_state_t::xy:
            x_.widen(raw_x_);
            y_.widen(raw_y_);
            break;
        case calibration_state_t::xv: xv_.widen(raw_x_); break;
        case calibration_state_t::yv: yv_.widen(raw_y_); break;
        case calibration_state_t::z: z_.widen(raw_z_); break;
        case calibration_state_t::complete: break;
    }
}

std::string simulated_board_t::make_line(std::uint64_t n, time_point_t wall) {
    const double t = static_cast<double>(n) / rate_;
    advance(std::max(0.0, t - t_));
    sample();
    std::string s;
    s.reserve(192);
    switch (kind_) {
        case device_model_t::compass_gravity:
        case device_model_t::compass:
        case device_model_t::compass_bearing: {
            const bool calibrating = calibration_ != calibration_state_t::complete;
            if (report_end_ || (calibrating && n % 2 == 1)) {
                compass_c_line(s);
                report_end_ = false;
            } else if (kind_ == device_model_t::compass && n % 25 == 24) {
                json_line_t(s, "gps").number("h", noisy(heading_deg(), 0.3), 1).number("b", bearing_deg(), 1).close();
            } else {
                compass_line(s, kind_ == device_model_t::compass_bearing);
            }
            break;
        }
        case device_model_t::gravity:
            json_line_t(s, "gravity").number("x", grav_.x, 3).number("y", grav_.y, 3).number("z", grav_.z, 3).close();
            break;
        case device_model_t::gyroscope: {
            // The board integrates its rates from power-up, with a little drift.
            const double drift = 0.02 * t_;
            json_line_t(s, "gyroscope")
                .number("x", wrap180(noisy(roll_ * deg_per_rad + drift, 0.05)), 2)
                .number("y", wrap180(noisy(pitch_ * deg_per_rad - drift, 0.05)), 2)
                .number("z", wrap180(noisy((yaw_ - yaw0_) * deg_per_rad + drift, 0.05)), 2)
                .close();
            break;
        }
        case device_model_t::hmc5883: hmc5883_line(s, n); break;
        case device_model_t::hmc5883n: {
            const vec3 m = field();
            const double len = std::sqrt(m.x * m.x + m.y * m.y + m.z * m.z);
            json_line_t(s, "hmc5883n")
                .number("x", noisy(m.x / len, 0.005), 4)
                .number("y", noisy(m.y / len, 0.005), 4)
                .number("z", noisy(m.z / len, 0.005), 4)
                .close();
            break;
        }
        case device_model_t::plimsy91: plimsy91_line(s, n); break;
        case device_model_t::gavrin3: gavrin3_line(s, n, wall); break;
    }
    return s;
}

void simulated_board_t::compass_line(std::string& s, bool with_bearing) {
    json_line_t j(s, "compass");
    j.number("h", noisy(heading_deg(), 0.3), 1);
    if (with_bearing) j.number("b", bearing_deg(), 1);
    if (kind_ == device_model_t::compass_gravity) {
        j.number("x", grav_.x, 3).number("y", grav_.y, 3).number("z", grav_.z, 3);
        if (calibration_ != calibration_state_t::complete) j.text("c", step_word(calibration_));
    }
    j.close();
}

std::string simulated_board_t::event_bits() const {
    const double pitch = std::abs(pitch_ * deg_per_rad);
    const double roll = std::abs(roll_ * deg_per_rad);
    unsigned e = 0;
    switch (calibration_) {
        case calibration_state_t::xy:
            if (pitch > tilt_limit_deg) e |= 0x40;
            if (roll > tilt_limit_deg) e |= 0x80;
            break;
        case calibration_state_t::xv:
            if (roll > tilt_limit_deg) e |= 0x80;
            if (pitch > 90.0) e |= 0x20;
            if (xv_.near_min(raw_x_)) e |= 0x01;
            if (xv_.near_max(raw_x_)) e |= 0x02;
            break;
        case calibration_state_t::yv:
            if (pitch > tilt_limit_deg) e |= 0x40;
            if (roll > 90.0) e |= 0x20;
            if (yv_.near_min(raw_y_)) e |= 0x04;
            if (yv_.near_max(raw_y_)) e |= 0x08;
            break;
        case calibration_state_t::z:
        case calibration_state_t::complete: break;
    }
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, e, 16);
    return std::string(buf, r.ptr);
}

void simulated_board_t::compass_c_line(std::string& s) {
    const bool calibrating = calibration_ != calibration_state_t::complete;
    const bool has_gravity = kind_ == device_model_t::compass_gravity;
    json_line_t j(s, "compass_c");
    j.number("h", noisy(heading_deg(), 0.3), 1);
    if (has_gravity) j.number("x", grav_.x, 3).number("y", grav_.y, 3).number("z", grav_.z, 3);
    if (calibrating) j.integer("x_raw", raw_x_).integer("y_raw", raw_y_).integer("z_raw", raw_z_);
    j.integer("x_min", x_.min).integer("y_min", y_.min).integer("z_min", z_.min);
    j.integer("x_max", x_.max).integer("y_max", y_.max).integer("z_max", z_.max);
    j.integer("xv_min", xv_.min).integer("yv_min", yv_.min).integer("xv_max", xv_.max).integer("yv_max", yv_.max);
    if (has_gravity) {
        const double g = std::sqrt(grav_.x * grav_.x + grav_.y * grav_.y + grav_.z * grav_.z);
        const double c = g > 0 ? std::clamp(grav_.z / g, -1.0, 1.0) : 1.0;
        j.integer("z_ang", std::lround(std::acos(c) * deg_per_rad));
    }
    if (calibrating) j.text("c", step_word(calibration_));
    j.text("e", event_bits());
    j.close();
}

void simulated_board_t::hmc5883_line(std::string& s, std::uint64_t n) {
    if (n % 2 == 0) {
        json_line_t(s, "hmc5883").integer("x", raw_x_).integer("y", raw_y_).integer("z", raw_z_).close();
        return;
    }
    const double dt = last_dt_ > 0 ? last_dt_ : 1.0;
    const double yaw_step = std::remainder(yaw_ - prev_yaw_, 2 * pi);
    // The MPU6050 measures the rates in its own axes; roll, pitch and yaw
    // rates are close enough for a gently moving board.
    json_line_t(s, "mpu6050")
        .number("ax", grav_.x / standard_gravity, 3)
        .number("ay", grav_.y / standard_gravity, 3)
        .number("az", grav_.z / standard_gravity, 3)
        .number("gx", noisy((roll_ - prev_roll_) / dt * deg_per_rad, 0.1), 2)
        .number("gy", noisy((pitch_ - prev_pitch_) / dt * deg_per_rad, 0.1), 2)
        .number("gz", noisy(yaw_step / dt * deg_per_rad, 0.1), 2)
        .close();
}

void simulated_board_t::plimsy91_line(std::string& s, std::uint64_t n) {
    // The slow sensors report about once a second whatever the line rate;
    // the accelerometer fills the rest.
    const auto period = static_cast<std::uint64_t>(std::max(6L, std::lround(rate_)));
    const std::uint64_t k = n % period;
    const double day = 2 * pi * t_;
    if (t_ >= next_shock_) {
        // A knock: hundreds of units on the high-g sensor for one sample.
        next_shock_ = t_ + 15.0 + 10.0 * uniform_(rng_);
        const double size = 200.0 + 400.0 * uniform_(rng_);
        const double az = 2 * pi * uniform_(rng_), el = pi * (uniform_(rng_) - 0.5);
        json_line_t(s, "adxl372")
            .number("x", size * std::cos(el) * std::cos(az), 1)
            .number("y", size * std::cos(el) * std::sin(az), 1)
            .number("z", size * std::sin(el), 1)
            .close();
    } else if (k == 1) {
        json_line_t(s, "bme680")
            .number("temp", noisy(22.0 + 1.5 * std::sin(day / 600.0), 0.02), 2)
            .number("pressure", noisy(101.3 + 0.05 * std::sin(day / 1800.0), 0.002), 3)
            .number("humidity", noisy(45.0 + 5.0 * std::sin(day / 900.0), 0.05), 2)
            .integer("gas", std::lround(noisy(250000.0 + 50000.0 * std::sin(day / 300.0), 500.0)))
            .close();
    } else if (k == 2 || k == period / 2 + 2) {
        const double light = 1.0 + 0.3 * std::sin(day / 120.0);
        const auto count = [&](double v) { return std::max(0L, std::lround(noisy(v * light, 4.0))); };
        json_line_t(s, "bh1749")
            .integer("r", count(820))
            .integer("g", count(960))
            .integer("b", count(610))
            .integer("i", count(310))
            .close();
    } else if (k % 10 == 5) {
        // At rest the high-g sensor sees only gravity, ten units to the g.
        json_line_t(s, "adxl372")
            .number("x", noisy(grav_.x / standard_gravity * 10.0, 0.5), 1)
            .number("y", noisy(grav_.y / standard_gravity * 10.0, 0.5), 1)
            .number("z", noisy(grav_.z / standard_gravity * 10.0, 0.5), 1)
            .close();
    } else {
        json_line_t(s, "adxl362").number("x", grav_.x, 3).number("y", grav_.y, 3).number("z", grav_.z, 3).close();
    }
}

void simulated_board_t::gavrin3_line(std::string& s, std::uint64_t n, time_point_t wall) {
    const auto period = static_cast<std::uint64_t>(std::max(5L, std::lround(rate_)));
    const std::uint64_t k = n % period;
    const double day = 2 * pi * t_;
    if (k == 1) {
        // Slowly discharging, about 0.05 mV a second.
        const double mv = std::clamp(noisy(4050.0 - 0.05 * t_, 3.0), 3300.0, 4200.0);
        const long level = std::clamp(std::lround((mv - 3300.0) / 8.5), 0L, 100L);
        json_line_t(s, "adp536x")
            .text("cs1", "0x02")
            .text("cs2", "0x00")
            .text("pgs", mv > 4150.0 ? "0x09" : "0x01")
            .integer("voltage", std::lround(mv))
            .integer("level", level)
            .close();
    } else if (k == 2) {
        json_line_t(s, "shtc3")
            .number("temp", noisy(23.5 + 1.0 * std::sin(day / 700.0), 0.02), 2)
            .number("humidity", noisy(41.0 + 4.0 * std::sin(day / 1000.0), 0.05), 2)
            .close();
    } else if (k == 3) {
        using namespace std::chrono;
        const sys_seconds secs{seconds{static_cast<long long>(std::floor(wall))}};
        const sys_days day_start = floor<days>(secs);
        const year_month_day ymd{day_start};
        const hh_mm_ss hms{secs - day_start};
        json_line_t(s, "rtc")
            .integer("y", static_cast<int>(ymd.year()))
            .integer("m", static_cast<unsigned>(ymd.month()))
            .integer("d", static_cast<unsigned>(ymd.day()))
            .integer("hh", hms.hours().count())
            .integer("mm", hms.minutes().count())
            .integer("ss", hms.seconds().count())
            .close();
    } else if (k == 4) {
        int alarm = 0, pir = 0;
        if (t_ >= next_alarm_) {
            alarm = 1;
            next_alarm_ = t_ + 40.0 + 40.0 * uniform_(rng_);
        }
        if (t_ >= next_motion_) {
            pir = 1;
            next_motion_ = t_ + 5.0 + 10.0 * uniform_(rng_);
        }
        json_line_t(s, "gavrin3_events").integer("alarm", alarm).integer("PIR", pir).close();
    } else {
        json_line_t(s, "iis2dlpc").number("x", grav_.x, 3).number("y", grav_.y, 3).number("z", grav_.z, 3).close();
    }
}

}  // namespace plimsy
