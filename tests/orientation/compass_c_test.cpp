#include <gtest/gtest.h>

#include <cmath>

#include "orientation/compass_c.hpp"

namespace plimsy {
namespace {

compass_c_str_t record(std::optional<std::string> c, std::string e = "0") {
    compass_c_str_t r;
    r.c = std::move(c);
    r.e = std::move(e);
    return r;
}

using flags_t = std::array<bool, 4>;
flags_t flags(const compass_c_t& cc) { return {cc.event_tilt, cc.event_angle, cc.event_min, cc.event_max}; }

TEST(compass_c, event_bits_and_texts_follow_the_new_step) {
    manual_clock_t clock;
    compass_c_t cc(clock);
    cc.update(record("xv", "a1"));
    EXPECT_EQ(flags(cc), (flags_t{true, true, true, false}));
    EXPECT_EQ(cc.calibration_tilt_s(), "reduce tilt: y");
    EXPECT_EQ(cc.calibration_angle_s(), "reduce angle");
    EXPECT_EQ(cc.calibration_s(), "2/4  x=0 on a flat surface: rotate \xC2\xB1" "90\xC2\xBA EW to measure the vertical field");

    cc.update(record("xy", "a1"));
    EXPECT_EQ(flags(cc), (flags_t{true, false, false, false}));
    cc.update(record("xy", "40"));  // the x tilt alone warns too
    EXPECT_EQ(flags(cc), (flags_t{true, false, false, false}));
    cc.update(record("yv", "4c"));  // bits 2, 3, 6
    EXPECT_EQ(flags(cc), (flags_t{true, false, true, true}));

    cc.update(record(std::nullopt, "ff"));
    EXPECT_EQ(cc.calibration, calibration_state_t::complete);
    EXPECT_EQ(flags(cc), (flags_t{}));
    EXPECT_EQ(cc.calibration_s() + cc.calibration_tilt_s() + cc.calibration_angle_s(), "");
    EXPECT_EQ(cc.calibration_btn_s(), "Calibrate");

    cc.set_calibration("Z");
    EXPECT_EQ(cc.calibration, calibration_state_t::complete);
    cc.calibration = static_cast<calibration_state_t>(7);
    EXPECT_EQ(cc.calibration_s(), "Unknown calibration state 7");
    EXPECT_EQ(cc.z_ang_s(), "Unknown calibration state 7");
    EXPECT_FALSE(calibration_state_from_raw(5));

    for (const char* bad : {"100000000", "", "0x1", "-1", "1g", " 1"}) EXPECT_EQ(compass_c_t::parse_event(bad), 0u) << bad;
    EXPECT_EQ(compass_c_t::parse_event("FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(compass_c_t::parse_event("00aB"), 0xABu);
}

TEST(compass_c, raw_values_overflow_and_angle) {
    manual_clock_t clock;
    compass_c_t cc(clock);
    EXPECT_EQ(cc.z_ang_s(), "0\xC2\xBA");
    auto r = record("xy");
    r.x_raw = 5;
    r.y_raw = 6;
    r.z_raw = 7;
    r.x_max = 16383;
    r.z_ang = -5;
    cc.update(r);
    EXPECT_TRUE(cc.valid_raw);
    EXPECT_EQ(cc.y_raw, 6);
    EXPECT_FALSE(cc.overflow);
    EXPECT_EQ(cc.z_ang_s(), "-5\xC2\xBA");

    r.c.reset();  // raw values without a step are not kept
    r.h = 12.5f;
    r.x_max = 16384;
    r.z_ang.reset();
    cc.update(r);
    EXPECT_FALSE(cc.valid_raw);
    EXPECT_EQ(cc.x_raw + cc.y_raw + cc.z_raw, 0);
    EXPECT_EQ(cc.z_ang_s(), "");
    EXPECT_TRUE(cc.overflow);
    EXPECT_EQ(cc.x_max, 16384) << "stored anyway";
    EXPECT_EQ(cc.overflow_s,
              "compass_c_t.update: possible arithmetic overflow\ncompass_c = { heading: 12.5, x_min: 0, y_min: 0, "
              "z_min: 0, x_max: 16384, y_max: 0, z_max: 0, xv_min: 0, yv_min: 0, xv_max: 0, yv_max: 0 }");

    r = record("xy");
    r.yv_max = -32768;
    cc.update(r);
    EXPECT_NE(cc.overflow_s.find("{ heading: 0.0,"), std::string::npos);
}

TEST(compass_c, normalised_components_and_direction) {
    manual_clock_t clock;
    compass_c_t cc(clock);
    cc.x_min = -100;
    cc.x_max = 300;
    cc.x_raw = 100;
    EXPECT_EQ(cc.x_n(), 0.0f);
    EXPECT_EQ(cc.dir_px() + cc.dir_py() + cc.dir_mx() + cc.dir_my(), 0.0f);
    EXPECT_EQ(cc.dir_x_s() + cc.dir_y_s(), "0.00.0");
    EXPECT_EQ(cc.dir_point().x, 0.0);
    EXPECT_TRUE(cc.dir_point().y == 0.0 && std::signbit(cc.dir_point().y));

    cc.x_raw = 300;  // x_n 1
    cc.y_raw = -1;   // y_n -1
    EXPECT_FLOAT_EQ(cc.dir_px(), std::sqrt(0.5f));
    EXPECT_FLOAT_EQ(cc.dir_my(), std::sqrt(0.5f));
    EXPECT_EQ(cc.dir_mx(), 0.0f);
    EXPECT_EQ(cc.dir_y_s(), "-0.7");
    EXPECT_GT(cc.dir_point().y, 0.0) << "screen y grows downward";
}

}  // namespace
}  // namespace plimsy
