#include <gtest/gtest.h>

#include <cmath>

#include "common/angles.hpp"
#include "orientation/gyroscope.hpp"
#include "orientation/mpu6050.hpp"

namespace plimsy {
namespace {

TEST(gyroscope, angles_wrap_into_a_half_turn) {
    manual_clock_t clock;
    gyroscope_t g(clock);
    g.update(190, -190, 540);
    EXPECT_DOUBLE_EQ(g.x, -170 * rad_per_deg);
    EXPECT_DOUBLE_EQ(g.y, 170 * rad_per_deg);
    EXPECT_DOUBLE_EQ(g.z, pi);
    g.update(-180, 180, 0);
    EXPECT_DOUBLE_EQ(g.x, -pi);
    EXPECT_DOUBLE_EQ(g.y, pi);
}

TEST(mpu6050, filter_converges_to_the_accelerometer_at_rest) {
    manual_clock_t clock;
    mpu6050_t m(clock);
    const auto run = [&](int n, mpu6050_str_t s) {
        for (int i = 0; i < n; ++i) {
            clock.advance(0.02);
            m.update(s);
        }
    };
    clock.advance(5);
    m.update({0, 0, 1, 0, 0, 0});
    EXPECT_EQ(std::pair(m.wmin, m.wmax), std::pair(0.4, 0.5)) << "first sample after a long pause";
    run(10, {0, 0, 1, 0, 0, 0});
    EXPECT_NEAR(m.gmax, 1.2, 1e-5);
    EXPECT_NEAR(m.wmin, 0.8884, 1e-5);
    EXPECT_NEAR(m.wmax, 0.9258, 1e-5);
    EXPECT_EQ(std::tuple(m.gax, m.gay, m.gaz), std::tuple(0.0, 0.0, 1.0));

    // Tilted 30 degrees about x: closes in at the rate wmin.
    const mpu6050_str_t tilted{0, 0.5f, std::sqrt(0.75f), 0, 0, 0};
    run(1, tilted);
    EXPECT_NEAR(m.sgx, (1 - m.wmin) * 30, 1e-3);
    run(300, tilted);
    EXPECT_NEAR(m.sgx, 30, 1e-4);
    EXPECT_NEAR(m.gay, 0.5, 1e-5);

    // A rate halfway to gmax weighs halfway; beyond it, wmax.
    m.reset_gyro();
    run(1, {0, 0, 1, -0.6f, 5.0f, 0});  // the weight goes by the speed, either way
    EXPECT_NEAR(m.sgx, -0.6 * (m.wmin + m.wmax) / 2, 1e-6);
    EXPECT_NEAR(m.sgy, 5.0 * m.wmax, 1e-6);
    m.update({0, 0, 1, 0.6f, 0, 0});  // same instant: no NaN from td = 0
    EXPECT_FALSE(std::isnan(m.sgx) || std::isnan(m.gax));
}

TEST(mpu6050, z_integration_wraps_and_resets) {
    manual_clock_t clock;
    mpu6050_t m(clock);
    for (int i = 0; i < 91; ++i) {
        clock.advance(0.02);
        m.update({0.25f, 0, 1, 1, -1, 2});
        if (i == 89) {
            EXPECT_EQ(m.gz, 180);
        }
    }
    EXPECT_EQ(m.sgz, 182);
    EXPECT_EQ(m.gz, -178);
    EXPECT_EQ(m.debug_description(), "{ ax: 0.25, ay: 0.0, az: 1.0, gx: 1.0, gy: -1.0, gz: -178.0 }");

    m.reset_gyro();
    EXPECT_EQ(std::tuple(m.sgx, m.sgy, m.sgz), std::tuple(0.0, 0.0, 0.0));
    EXPECT_EQ(m.agx, mpu6050_t::window_t{});
    EXPECT_EQ(m.agz, mpu6050_t::window_t{});
    EXPECT_EQ(m.aax, mpu6050_t::window_t{0.25f});
    EXPECT_EQ(m.sax, 0.25f);
}

TEST(mpu6050, upside_down_pulls_toward_the_reflected_angle) {
    manual_clock_t clock;
    mpu6050_t m(clock);
    m.update({0, 0, 1, 0, 0, 0});
    for (int i = 0; i < 200; ++i) {
        clock.advance(0.02);
        m.update({0, 0.5f, -0.8f, 0, 0, 0});
    }
    EXPECT_FALSE(m.positive_rax);
    EXPECT_NEAR(m.rax_r, 2.583, 1e-3);
    EXPECT_NEAR(m.sgx, m.rax_r * deg_per_rad, 1e-3);
}

}  // namespace
}  // namespace plimsy
