#include <gtest/gtest.h>

#include <cmath>

#include "orientation/gravity.hpp"

namespace plimsy {
namespace {

constexpr double half_pi = 1.5707963267948966;

void set(gravity_t& g, float x, float y, float z) {
    g.x = x;
    g.y = y;
    g.z = z;
    g.update();
}

TEST(gravity, angles_of_the_axes) {
    manual_clock_t clock;
    gravity_t g(clock);
    set(g, 0, 0, 1);
    EXPECT_EQ(g.rax_r + g.ray_r + g.raz_r, 0);
    set(g, 0, 1, 0);
    // Single precision widened, not the double value of pi/2.
    EXPECT_EQ(g.rax_r, static_cast<double>(std::atan2(1.0f, 0.0f)));
    EXPECT_TRUE(g.ray_r == 0 && std::signbit(g.ray_r));
    EXPECT_NEAR(g.raz_r, half_pi, 1e-6);
    set(g, 1, 0, 0);
    EXPECT_EQ(g.rax_r, 0);
    EXPECT_NEAR(g.ray_r, -half_pi, 1e-6);
}

TEST(gravity, upside_down_latch) {
    manual_clock_t clock;
    gravity_t g(clock);
    set(g, 0, 0, 1);
    set(g, 0, 0.5f, -0.8f);  // over about x
    EXPECT_FALSE(g.positive_rax);
    EXPECT_TRUE(g.positive_ray);
    EXPECT_NEAR(g.rax_r, 2.583, 1e-3);

    set(g, 0.9f, 0.1f, -0.5f);
    EXPECT_FALSE(g.positive_rax) << "latched while z stays negative";
    set(g, 0.9f, 0.1f, 0.0f);
    EXPECT_TRUE(g.positive_rax && g.positive_ray);

    set(g, 0.3f, -0.3f, -0.9f);  // a tie goes to x
    EXPECT_TRUE(g.positive_rax);
    EXPECT_FALSE(g.positive_ray);
    EXPECT_GT(std::fabs(g.ray_r), half_pi) << "continued beyond a quarter turn";
}

}  // namespace
}  // namespace plimsy
