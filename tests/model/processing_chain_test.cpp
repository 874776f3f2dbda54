// Lines as a board sends them, through the receive pipeline into the
// sensors model, checked by what the panels show. The timing rules are
// tried on every model that has them.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "common/text.hpp"
#include "orientation/heading.hpp"
#include "transport/receive_pipeline.hpp"

namespace plimsy {
namespace {

constexpr double degree = 0.017453292519943295;

// A pipeline on a manual clock that starts at 0, so that steps of 0.1 s
// stay as exact as doubles allow.
struct board_t {
    // The magnetometer can start calibrated: ±400 counts horizontally, half
    // vertical fields of 300 (x) and 200 (y).
    explicit board_t(bool calibrated = true) {
        if (calibrated) {
            const std::pair<const char*, std::int64_t> saved[] = {
                {"x_min", -400}, {"y_min", -400}, {"z_min", -400}, {"x_max", 400},  {"y_max", 400},
                {"z_max", 400},  {"xv_min", -300}, {"yv_min", -200}, {"xv_max", 300}, {"yv_max", 200},
            };
            for (const auto& [field, value] : saved) store.write(std::string("hmc5883.0.") + field, value);
        }
        pipeline = std::make_unique<receive_pipeline_t>(clock, store, console);
        pipeline->line_observer = [this](const line_result_t& r) { decoded = r.kind == line_result_t::kind_t::ok; };
    }
    void send(const std::string& line) {
        decoded = false;
        pipeline->receive_line(line);
        EXPECT_TRUE(decoded) << line;
    }
    void send_at(double t, const std::string& line) {
        clock.set(t);
        send(line);
    }
    sensors_t& s() { return pipeline->sensors; }

    manual_clock_t clock{0.0};
    memory_settings_store_t store;
    captured_console_t console;
    std::unique_ptr<receive_pipeline_t> pipeline;
    bool decoded = false;
};

// A reading of each kind for an angle v in degrees: the compasses point
// there, the tilts lean by it, the gyroscope turns by it.
std::string compass_line(double v) { return cformat(R"(compass={"h":%.3f})", v); }
std::string compass_c_line(double v) {
    return cformat(R"(compass_c={"h":%.3f,"x_raw":%d,"y_raw":0,"z_raw":0,"x_min":-400,"y_min":-400,"z_min":-400,)"
                   R"("x_max":400,"y_max":400,"z_max":400,"xv_min":-300,"yv_min":-200,"xv_max":300,"yv_max":200,)"
                   R"("z_ang":%d,"c":"xy","e":"0"})",
                   v, static_cast<int>(v), static_cast<int>(v));
}
std::string gravity_line(double v) {
    return cformat(R"(gravity={"x":%.4f,"y":0,"z":%.4f})", 9.8 * std::sin(v * degree), 9.8 * std::cos(v * degree));
}
std::string gyroscope_line(double v) { return cformat(R"(gyroscope={"x":%.3f,"y":0,"z":0})", v); }
std::string hmc5883_line(double v) {
    return cformat(R"(hmc5883={"x":%ld,"y":%ld,"z":0})", std::lround(200 * std::cos(v * degree)),
                   std::lround(200 * std::sin(v * degree)));
}
std::string hmc5883n_line(double v) {
    return cformat(R"(hmc5883n={"x":%.4f,"y":%.4f,"z":0})", std::cos(v * degree), std::sin(v * degree));
}
std::string mpu6050_line(double v) {
    return cformat(R"(mpu6050={"ax":%.4f,"ay":0,"az":%.4f,"gx":0,"gy":0,"gz":0})", std::sin(v * degree),
                   std::cos(v * degree));
}

struct animated_t {
    const char* name;
    std::string (*line)(double);
    double (*anim_time)(sensors_t&);
};

const animated_t animated[] = {
    {"compass", compass_line, [](sensors_t& s) { return s.compass.anim_time; }},
    {"compass_c", compass_c_line, [](sensors_t& s) { return s.compass_c.anim_time; }},
    {"gravity", gravity_line, [](sensors_t& s) { return s.gravity.anim_time; }},
    {"gyroscope", gyroscope_line, [](sensors_t& s) { return s.gyroscope.anim_time; }},
    {"hmc5883", hmc5883_line, [](sensors_t& s) { return s.hmc5883.anim_time; }},
    {"hmc5883n", hmc5883n_line, [](sensors_t& s) { return s.hmc5883n.anim_time; }},
    {"mpu6050", mpu6050_line, [](sensors_t& s) { return s.mpu6050.anim_time; }},
};

int frames(double seconds) { return static_cast<int>(std::lround(seconds * 60)); }

TEST(processing_chain, animation_time_follows_the_message_spacing_in_every_model) {
    for (const auto& m : animated) {
        SCOPED_TRACE(m.name);
        board_t b;
        // Every 0.1 s, small steps: two thirds of the last time and a third
        // of the interval, in whole frames plus one, from the 0.4 s start.
        std::vector<int> seen;
        for (int k = 1; k <= 8; ++k) {
            b.send_at(k * 0.1, m.line(10 + k));
            seen.push_back(frames(m.anim_time(b.s())));
        }
        EXPECT_EQ(seen, (std::vector<int>{19, 15, 13, 11, 10, 9, 9, 9}));
        // A pause is capped at 0.4 s.
        b.send_at(2.0, m.line(20));
        EXPECT_EQ(m.anim_time(b.s()), 0.4);
    }
}

TEST(processing_chain, heading_jumps_show_at_once_and_rest_the_animation) {
    for (const auto& m : {animated[0], animated[4], animated[5]}) {
        SCOPED_TRACE(m.name);
        board_t b;
        for (int k = 1; k <= 3; ++k) b.send_at(k * 0.1, m.line(10 + k));
        ASSERT_EQ(frames(m.anim_time(b.s())), 13);

        b.send_at(1.0, m.line(200));  // a half turn
        EXPECT_EQ(m.anim_time(b.s()), 0);
        b.send_at(1.005, m.line(201));  // within the rest: stays a jump
        EXPECT_EQ(m.anim_time(b.s()), 0);
        // After the rest, the interval since the previous message counts:
        // 0.105 s gives 2 whole frames plus one.
        b.send_at(1.11, m.line(202));
        EXPECT_EQ(frames(m.anim_time(b.s())), 3);

        b.send_at(2.0, m.line(10));  // back again: the other direction jumps too
        EXPECT_EQ(m.anim_time(b.s()), 0);
        b.send_at(2.0 + heading_jump_hold_seconds, m.line(11));  // the rest ends after, not at, 0.02 s
        EXPECT_EQ(m.anim_time(b.s()), 0);
    }

    board_t b;
    b.send_at(1.0, compass_line(90));  // a quarter turn exactly still animates
    EXPECT_EQ(b.s().compass.anim_time, 0.4);
}

TEST(processing_chain, throttled_announcements_in_every_model_that_has_them) {
    struct throttled_t {
        const char* name;
        std::string (*line)(double);
        observable_t& (*of)(sensors_t&);
        bool due_at_change_time;
    };
    const throttled_t models[] = {
        {"compass", compass_line, [](sensors_t& s) -> observable_t& { return s.compass; }, false},
        {"compass_c", compass_c_line, [](sensors_t& s) -> observable_t& { return s.compass_c; }, false},
        {"gravity", gravity_line, [](sensors_t& s) -> observable_t& { return s.gravity; }, false},
        {"gyroscope", gyroscope_line, [](sensors_t& s) -> observable_t& { return s.gyroscope; }, false},
        {"trace", gyroscope_line, [](sensors_t& s) -> observable_t& { return s.trace; }, true},
    };
    for (const auto& m : models) {
        SCOPED_TRACE(m.name);
        board_t b;
        int signals = 0;
        auto sub = m.of(b.s()).subscribe([&] { ++signals; });
        b.send_at(1.0, m.line(10));
        EXPECT_EQ(signals, 1);
        b.send_at(1.01, m.line(11));
        EXPECT_EQ(signals, 1) << "at most one per 1/60 s";
        b.send_at(1.0 + change_lock_seconds, m.line(12));
        EXPECT_EQ(signals, m.due_at_change_time ? 2 : 1);
        b.send_at(1.0 + change_lock_seconds + 0.001, m.line(13));
        EXPECT_EQ(signals, 2);
    }

    // Throttled readings are still taken.
    board_t b;
    b.send_at(1.0, compass_line(10));
    b.send_at(1.001, compass_line(33));
    EXPECT_EQ(b.s().compass.heading_s(), "33");
    EXPECT_EQ(b.s().trace.heading()[1], 33);
}

// MPU6050 samples tilt the board; the magnetometer's heading is corrected
// by the fused gravity direction, scaled by the vertical field.
TEST(processing_chain, tilt_corrects_the_magnetometer_heading) {
    board_t b;
    double t = 1;
    const auto samples = [&](int n, double ax, double ay) {
        const double az = std::sqrt(1 - ax * ax - ay * ay);
        for (int i = 0; i < n; ++i) {
            t += 0.02;
            b.send_at(t, cformat(R"(mpu6050={"ax":%.6f,"ay":%.6f,"az":%.6f,"gx":0,"gy":0,"gz":0})", ax, ay, az));
        }
    };
    const auto& m = b.s().hmc5883;

    samples(50, 0, 0);  // flat: nothing to correct
    b.send(R"(hmc5883={"x":50,"y":-50,"z":0})");
    EXPECT_EQ(b.s().device_model, device_model_t::hmc5883);
    EXPECT_EQ(m.heading_s(), "321");  // -45 degrees plus the declination

    // Leaning 30 degrees toward +x and 14.5 toward -y: the fused direction
    // settles at (0.5, -0.25), which adds 0.5 x 300 to x and -0.25 x 200 to y.
    samples(200, 0.5, -0.25);
    EXPECT_NEAR(b.s().mpu6050.gax, 0.5, 1e-4);
    EXPECT_NEAR(b.s().mpu6050.gay, -0.25, 1e-4);
    EXPECT_NEAR(b.s().mpu6050.gaz, 0.8385, 1e-4);  // cos 30° × cos 14.5°
    b.send(R"(hmc5883={"x":50,"y":-50,"z":0})");
    EXPECT_NEAR(m.x_n(), 0.5, 1e-3);
    EXPECT_NEAR(m.y_n(), -0.25, 1e-3);
    EXPECT_EQ(m.heading_s(), "339");

    // Switched off, the next sample takes the correction away.
    b.s().hmc5883.compensate = false;
    samples(1, 0.5, -0.25);
    EXPECT_EQ(std::pair(m.x_a, m.y_a), std::pair(0.0f, 0.0f));
    EXPECT_EQ(m.heading_s(), "321");

    // Without the measured vertical field it is estimated as 2.5 times the
    // horizontal half range: 1000 on both axes.
    b.s().hmc5883.compensate = true;
    b.s().hmc5883.compensate_3d = false;
    samples(1, 0.5, -0.25);
    EXPECT_NEAR(m.x_a, 500, 0.5);
    EXPECT_NEAR(m.y_a, -250, 0.5);
    EXPECT_EQ(m.heading_s(), "337");
}

// Upside down, the axis about which the board went over keeps a continuous
// angle beyond a quarter turn.
TEST(processing_chain, gravity_lines_turn_over_about_either_axis) {
    board_t b;
    const auto& g = b.s().gravity;
    b.send_at(1, R"(gravity={"x":0,"y":0,"z":9.8})");
    b.send_at(2, R"(gravity={"x":5,"y":1,"z":-8})");  // over about y
    EXPECT_TRUE(g.positive_rax);
    EXPECT_FALSE(g.positive_ray);
    EXPECT_NEAR(g.rax_r, std::atan2(1, std::sqrt(89.0)), 1e-6);
    EXPECT_NEAR(g.ray_r, -2.7977, 1e-4);
    EXPECT_NEAR(g.raz_r, 2.5741, 1e-4);

    b.send_at(3, R"(gravity={"x":0,"y":0,"z":9.8})");
    b.send_at(4, R"(gravity={"x":2,"y":5,"z":-8})");  // over about x
    EXPECT_FALSE(g.positive_rax);
    EXPECT_TRUE(g.positive_ray);
    EXPECT_NEAR(g.rax_r, 2.1787, 1e-4);
    EXPECT_NEAR(g.ray_r, std::atan2(-2, std::sqrt(89.0)), 1e-6);

    // The trace plots 18 times each component.
    const auto& tr = b.s().trace;
    EXPECT_EQ(std::vector<double>({tr.gx()[3], tr.gy()[3], tr.gz()[3]}), std::vector<double>({36, 90, -144}));
}

// Each kind of line writes its own columns of the trace and chooses the
// series the plot shows.
TEST(processing_chain, lines_feed_the_trace) {
    board_t b;
    const auto& tr = b.s().trace;
    const auto column = [&](int i) {
        return std::vector<double>({tr.heading()[i], tr.bearing()[i], tr.gx()[i], tr.gy()[i], tr.gz()[i]});
    };
    b.send(R"(compass={"h":12.5,"x":1,"y":-2,"z":9})");
    EXPECT_EQ(column(0), std::vector<double>({12.5, 0, 18, -36, 162}));
    b.send(R"(compass={"b":370,"heading":-190})");
    EXPECT_EQ(column(1), std::vector<double>({170, 10, 0, 0, 0}));
    EXPECT_EQ(tr.model(), device_model_t::compass_bearing);
    EXPECT_EQ((*tr.series()[0].item)[1], 10) << "bearing";
    b.send(R"(gyroscope={"x":190,"y":-540,"z":45})");
    EXPECT_EQ(column(2), std::vector<double>({0, 0, -170, -180, 45}));
    EXPECT_EQ(tr.series()[1].name, "gyro.y");
    EXPECT_EQ((*tr.series()[1].item)[2], -180);
    b.send(R"(gravity={"x":0.5,"y":-0.5,"z":2})");
    EXPECT_EQ(column(3), std::vector<double>({0, 0, 9, -9, 36}));
    b.send(R"(compass_c={"h":300,"x_min":-1,"y_min":-1,"z_min":-1,"x_max":1,"y_max":1,"z_max":1,)"
           R"("xv_min":-1,"yv_min":-1,"xv_max":1,"yv_max":1,"e":"0"})");
    EXPECT_EQ(tr.count(), 4) << "a calibrating compass is not traced";
    EXPECT_EQ(b.s().compass.heading_s(), "300");
}

// The calibration panel's view of a calibrating board.
TEST(processing_chain, calibrating_compass_as_the_panel_shows_it) {
    board_t b;
    const auto& cc = b.s().compass_c;
    b.send(R"(compass_c={"h":3.0,"x_raw":296,"y_raw":42,"z_raw":-120,"x_min":-412,"y_min":-398,"z_min":-377,)"
           R"("x_max":405,"y_max":420,"z_max":388,"xv_min":-210,"yv_min":-201,"xv_max":215,"yv_max":199,)"
           R"("z_ang":7,"c":"yv","e":"6c"})");
    EXPECT_EQ(std::vector<int>({cc.x_min, cc.y_min, cc.z_min, cc.x_max, cc.y_max, cc.z_max, cc.xv_min, cc.yv_min,
                                cc.xv_max, cc.yv_max}),
              std::vector<int>({-412, -398, -377, 405, 420, 388, -210, -201, 215, 199}));
    // 6c: bits 2, 3, 5, 6; in step yv the y tilt, angle, y minimum and maximum.
    EXPECT_TRUE(cc.event_tilt && cc.event_angle && cc.event_min && cc.event_max);
    EXPECT_EQ(cc.calibration_s(), "3/4  y=0 on a flat surface: rotate \xC2\xB1" "90\xC2\xBA EW to measure the vertical field");
    EXPECT_EQ(cc.z_ang_s(), "7\xC2\xBA");
    // x: (296 + 3.5) / 408.5, y: (42 - 11) / 409, pointing mostly +x.
    EXPECT_NEAR(cc.x_n(), 0.7332, 1e-4);
    EXPECT_NEAR(cc.y_n(), 0.0758, 1e-4);
    EXPECT_EQ(cc.dir_x_s() + " " + cc.dir_y_s(), "1.0 0.1");
    EXPECT_NEAR(cc.dir_point().y, -0.1028, 1e-4);
    EXPECT_NEAR(cc.dir_py(), 0.1028, 1e-4);
    EXPECT_EQ(cc.dir_mx() + cc.dir_my(), 0.0f);

    // A step word the board does not use means complete, whatever the bits.
    b.send(R"(compass_c={"x_raw":1,"y_raw":2,"z_raw":3,"x_min":-1,"y_min":-1,"z_min":-1,"x_max":1,"y_max":1,)"
           R"("z_max":1,"xv_min":-1,"yv_min":-1,"xv_max":1,"yv_max":16384,"c":"XY","e":"ff"})");
    EXPECT_EQ(cc.calibration_btn_s(), "Calibrate");
    EXPECT_FALSE(cc.event_tilt || cc.event_angle || cc.event_min || cc.event_max);
    EXPECT_TRUE(cc.overflow);
}

}  // namespace
}  // namespace plimsy
