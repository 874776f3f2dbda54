#include "model/sensors.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "model/accelerometer.hpp"

using namespace plimsy;

namespace {
struct sensors_fixture : ::testing::Test {
    manual_clock_t clock;
    memory_settings_store_t store;
    captured_console_t console;
    sensors_t s{clock, store, console};

    compass_c_str_t calibrating(std::optional<std::string> c, bool with_xyz) {
        compass_c_str_t r;
        r.h = 45;
        r.c = std::move(c);
        r.e = "0";
        if (with_xyz) {
            r.x = 0;
            r.y = 0;
            r.z = 1;
        }
        return r;
    }
};
}  // namespace

TEST_F(sensors_fixture, layout_follows_the_last_message) {
    EXPECT_EQ(s.device_model, device_model_t::plimsy91);
    s.update_mpu6050({});
    EXPECT_EQ(s.device_model, device_model_t::hmc5883);  // shares the magnetometer's layout
    s.update_shtc3(20, 50);
    EXPECT_EQ(s.device_model, device_model_t::gavrin3);
    s.update_bh1749(1, 2, 3, 4);
    EXPECT_EQ(s.device_model, device_model_t::plimsy91);
    s.update_gyroscope(1, 2, 3);
    EXPECT_EQ(s.device_model, device_model_t::gyroscope);
    s.update_hmc5883n(0, 1, 0);
    EXPECT_EQ(s.device_model, device_model_t::hmc5883n);
}

TEST_F(sensors_fixture, selecting_the_same_layout_announces_nothing_for_it) {
    s.update_gravity(0, 0, 1);
    int changes = 0;
    auto sub = s.subscribe([&] { ++changes; });
    // Within the children's 1/60 s throttle, only the layout could announce.
    s.update_gravity(0, 0, 1);
    EXPECT_EQ(changes, 0);
    s.update_compass({}, {}, {});
    EXPECT_EQ(changes, 1);
}

TEST_F(sensors_fixture, calibrating_compass_keeps_a_compass_layout_without_a_step) {
    // From the start layout, a record without a step picks by its vector.
    s.update_compass_c(calibrating(std::nullopt, false));
    EXPECT_EQ(s.device_model, device_model_t::compass);
    s.update_compass_gravity({.h = 1, .H = {}, .x = 0, .y = 0, .z = 1, .c = {}});
    EXPECT_EQ(s.device_model, device_model_t::compass_gravity);
    s.update_compass_c(calibrating(std::nullopt, false));
    EXPECT_EQ(s.device_model, device_model_t::compass_gravity);
    // With a step the record decides: no vector means the plain compass.
    s.update_compass_c(calibrating("xy", false));
    EXPECT_EQ(s.device_model, device_model_t::compass);
    EXPECT_EQ(s.compass_c.calibration, calibration_state_t::xy);
    s.update_compass_c(calibrating("xv", true));
    EXPECT_EQ(s.device_model, device_model_t::compass_gravity);
    EXPECT_FLOAT_EQ(s.gravity.z, 1.0f);
    // Nothing goes to the trace from a calibrating compass.
    EXPECT_EQ(s.trace.count(), 1);
}

TEST_F(sensors_fixture, compass_without_heading_only_clears_raw_values) {
    compass_c_str_t r = calibrating("xy", false);
    r.x_raw = 1;
    r.y_raw = 2;
    r.z_raw = 3;
    s.update_compass_c(r);
    ASSERT_TRUE(s.compass_c.valid_raw);
    const double heading = s.compass.heading;
    s.update_compass({}, {}, {});
    EXPECT_FALSE(s.compass_c.valid_raw);
    EXPECT_EQ(s.compass.heading, heading);
    EXPECT_EQ(s.trace.count(), 0);
    EXPECT_EQ(s.device_model, device_model_t::compass);
    // With a bearing the trace shows bearing and heading.
    s.update_compass(10.0f, {}, 200.0f);
    EXPECT_EQ(s.trace.model(), device_model_t::compass_bearing);
    EXPECT_DOUBLE_EQ(s.trace.heading()[0], -160.0);
}

TEST_F(sensors_fixture, replaced_and_in_place_children) {
    s.update_adp536x({"0x02", "0x80", "0x1f", 4100, 87});
    EXPECT_EQ(s.adp536x.cs2, 0x80);
    EXPECT_EQ(s.adp536x.level, 87);
    s.update_adp536x({"2", "0x80", "0x1f", 4100, 87});  // no "0x" prefix: all zero, still this layout
    EXPECT_EQ(s.adp536x.voltage, 0);
    EXPECT_EQ(s.device_model, device_model_t::gavrin3);

    s.bh1749_white_balance();
    s.update_bh1749(100, 50, 25, 0);
    s.bh1749_white_balance();
    s.update_bh1749(10, 10, 10, 0);  // factors survive new counts
    EXPECT_FLOAT_EQ(s.bh1749.g_c, 2.0f);

    EXPECT_EQ(&s.accelerometer(), &s.accelerometer());
}

TEST_F(sensors_fixture, accelerometer_picks_the_live_sensor) {
    auto& a = s.accelerometer();
    s.update_iis2dlpc(0, 0, 3);
    EXPECT_FLOAT_EQ(a.z_pos(), 0.3f);
    EXPECT_EQ(a.x_pos() + a.x_neg(), 0.0f);
    EXPECT_EQ(a.x_s(), "0.0");

    s.update_iis2dlpc(0, 0, 0);
    s.update_adxl372(-250, 40, 0);
    EXPECT_FLOAT_EQ(a.x_neg(), 0.5f);
    EXPECT_FLOAT_EQ(a.x_pos(), 0.0f);
    EXPECT_NEAR(a.y_pos(), 0.2f, 1e-6);
    EXPECT_EQ(a.x_s(), "-250");
    EXPECT_NEAR(a.xy_point().x, -0.5, 1e-6);
    EXPECT_NEAR(a.xy_point().y, -0.2, 1e-6);

    clock.advance(10.0);  // the shock's hold ends
    s.update_adxl362(12, -3, 9.81f);
    EXPECT_FLOAT_EQ(a.x_pos(), 1.0f);
    EXPECT_FLOAT_EQ(a.y_neg(), 0.3f);
    EXPECT_NEAR(a.xy_point().x, 1.2, 1e-6);
    EXPECT_NEAR(a.xy_point().y, 0.3, 1e-6);
    EXPECT_EQ(a.z_s(), "9.8");
}
