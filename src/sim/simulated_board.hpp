#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "model/device_model.hpp"
#include "orientation/calibration_state.hpp"
#include "platform/clock.hpp"

namespace plimsy {

// A board that exists only in software: it produces the text lines a real
// board of the given kind would send, paced by the clock, and answers the
// one-character commands the panels send. It knows nothing of transports;
// whoever owns it pulls the due lines and pushes the host's bytes in.
//
// The motion behind the readings is one slowly turning, gently rocking
// board, so heading, gravity, magnetometer and gyroscope agree with each
// other. During a calibration the motion follows what each step asks the
// user to do, so the limits widen the way they would in someone's hands.
class simulated_board_t {
public:
    static constexpr double default_rate = 50.0;
    // A long pause (debugger, sleeping laptop) yields at most this much
    // backlog instead of a flood of stale lines.
    static constexpr double max_backlog_seconds = 1.0;
    // Silence after "R" while the board restarts.
    static constexpr double reboot_seconds = 0.5;

    // A rate that is not a positive finite number falls back to the default;
    // rates are kept within 0.1 ... 10000 lines per second.
    simulated_board_t(device_model_t kind, const clock_t& clock, double rate = default_rate, std::uint32_t seed = 1);

    // Appends every line due by clock.now() since the last call, each ending
    // in CR LF; returns how many were appended.
    std::size_t due_lines(std::vector<std::string>& out);

    // Bytes from the host, in any split. A command is a line of exactly one
    // character; CR, LF and NUL only delimit, so "C\n\r\n" is one "C".
    void command(std::string_view bytes);

    device_model_t kind() const { return kind_; }
    double rate() const { return rate_; }
    // The model a host settles on for this stream. A compass_bearing board
    // sends "compass" lines with a bearing, and no message selects
    // compass_bearing, so it shows as compass.
    device_model_t host_model() const;
    // Whether "C" runs a calibration on this kind (the three compass kinds).
    bool calibrates() const;
    calibration_state_t calibration() const { return calibration_; }
    // Every command character received, in order.
    const std::string& received_commands() const { return received_; }
    std::uint64_t lines_sent() const { return lines_sent_; }
    std::uint32_t restarts() const { return restarts_; }

private:
    struct vec3 {
        double x = 0, y = 0, z = 0;
    };
    // Extremes seen during one calibration step; the first reading of the
    // step sets them, until then they hold the board's idle -1 / 1.
    struct limits_t {
        int min = -1, max = 1;
        bool started = false;
        void widen(int v);
        bool near_min(int v) const;
        bool near_max(int v) const;
    };

    void restart_state();
    void execute(char c);
    void next_step();
    void advance(double dt);
    void sample();
    std::string make_line(std::uint64_t n, time_point_t wall);

    // Body-frame readings of the current pose.
    vec3 gravity() const;
    vec3 field() const;  // magnetometer counts, without noise or offset
    double heading_deg() const;
    double bearing_deg() const;
    std::int16_t raw(double v, double offset);
    double noisy(double v, double sigma);

    std::string event_bits() const;
    void compass_line(std::string& s, bool with_bearing);
    void compass_c_line(std::string& s);
    void plimsy91_line(std::string& s, std::uint64_t n);
    void gavrin3_line(std::string& s, std::uint64_t n, time_point_t wall);
    void hmc5883_line(std::string& s, std::uint64_t n);

    device_model_t kind_;
    const clock_t& clock_;
    double rate_;
    std::mt19937 rng_;
    std::normal_distribution<double> unit_noise_{0.0, 1.0};
    std::uniform_real_distribution<double> uniform_{0.0, 1.0};

    // Pacing: line n after a boot is due at boot_time_ + n / rate_.
    time_point_t boot_time_;
    std::uint64_t next_index_ = 0;
    std::uint64_t lines_sent_ = 0;
    std::uint32_t restarts_ = 0;

    // Motion since boot.
    double t_ = 0;       // board time of the latest line, seconds since boot
    double step_t_ = 0;  // seconds since the current calibration step began
    double yaw_ = 0, pitch_ = 0, roll_ = 0;  // radians
    double yaw0_ = 0;                        // heading at boot, for the gyroscope
    double prev_yaw_ = 0, prev_pitch_ = 0, prev_roll_ = 0;
    double last_dt_ = 0;
    vec3 hard_iron_;  // the board's own magnetic offset, counts
    // The readings of the current line, shared by every message built from it.
    std::int16_t raw_x_ = 0, raw_y_ = 0, raw_z_ = 0;
    vec3 grav_;

    // Board-run calibration.
    calibration_state_t calibration_ = calibration_state_t::complete;
    bool report_end_ = false;  // one closing compass_c without a step word
    limits_t x_, y_, z_, xv_, yv_;

    // Event schedules, in board time.
    double next_shock_ = 0;
    double next_alarm_ = 0;
    double next_motion_ = 0;

    std::string pending_;  // command bytes up to their line end
    std::string received_;
};

}  // namespace plimsy
