#include <gtest/gtest.h>

#include <cmath>

#include "orientation/compass.hpp"

namespace plimsy {
namespace {

TEST(compass, anim_time_settles_with_the_message_rate) {
    manual_clock_t clock(0.0);
    compass_t c(clock);
    // At 50 messages a second the rule rests at 4 frames coming from above,
    // and at 2 frames climbing from a jump.
    auto fifty_per_second = [&](float heading) {
        for (int k = 0; k < 20; ++k) {
            clock.advance(0.02);
            c.update(heading);
        }
    };
    fifty_per_second(10.0f);
    EXPECT_DOUBLE_EQ(c.anim_time, 4.0 / 60);
    fifty_per_second(200.0f);
    EXPECT_DOUBLE_EQ(c.anim_time, 2.0 / 60);
}

TEST(compass, smoothing_waits_until_after_creation) {
    manual_clock_t clock;
    compass_t at_creation(clock);
    at_creation.update(10.0f);  // not later than anim_date
    EXPECT_DOUBLE_EQ(at_creation.anim_time, 0.4);
    clock.advance(0.001);
    at_creation.update(10.0f);
    EXPECT_DOUBLE_EQ(at_creation.anim_time, 17.0 / 60);
}

TEST(compass, clamps_input_and_formats_heading) {
    manual_clock_t clock;
    compass_t c(clock);
    const auto shown = [&](float h) {
        c.update(h);
        return c.heading_s();
    };
    EXPECT_EQ(shown(400.0f), "360");
    EXPECT_EQ(c.heading, 6.283185307179586);
    EXPECT_EQ(shown(std::nanf("")), "360");
    EXPECT_EQ(shown(-200.0f), "180");
    EXPECT_DOUBLE_EQ(c.heading, -3.141592653589793);
    EXPECT_EQ(shown(-90.0f), "270");
    EXPECT_EQ(shown(359.6f), "360");
    EXPECT_EQ(shown(-0.4f), "0");
}

}  // namespace
}  // namespace plimsy
