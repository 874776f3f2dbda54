#include <gtest/gtest.h>

#include <cmath>

#include "orientation/hmc5883.hpp"
#include "orientation/hmc5883n.hpp"
#include "orientation/mpu6050.hpp"

namespace plimsy {
namespace {

struct hmc5883_fixture : ::testing::Test {
    manual_clock_t clock;
    memory_settings_store_t store;
    captured_console_t console;
    std::optional<std::int64_t> stored(const std::string& field, int slot = 0) const {
        return store.read_int("hmc5883." + std::to_string(slot) + "." + field);
    }
};

TEST_F(hmc5883_fixture, calibration_starts_by_itself_and_tracks_by_step) {
    hmc5883_t m(clock, store, console);
    m.update(100, -50, 300);
    EXPECT_EQ(m.calibration_s(), "1/4  xy: rotate horizontally on a flat surface");
    EXPECT_EQ(std::tuple(m.x_min, m.x_max, m.xv_min, m.yv_max), std::tuple(99, 101, 99, -49));
    EXPECT_EQ(store.values().size(), 10u);
    EXPECT_EQ(std::tuple(stored("z_min"), stored("z_max")), std::tuple(299, 301));

    store.remove("hmc5883.0.x_min");
    m.update(99, -50, 301);  // equal to an extreme: nothing to save
    EXPECT_FALSE(stored("x_min"));
    m.update(98, -50, 300);
    EXPECT_EQ(stored("x_min"), 98);

    m.calibration_next();
    m.update(200, -500, 900);  // xv: only x, and into the vertical pair
    EXPECT_EQ(std::tuple(m.xv_max, m.x_max, m.y_min, m.z_max), std::tuple(200, 101, -51, 301));

    m.calibration_next();
    m.update(-700, -600, 800);  // yv: only y, into its vertical pair
    EXPECT_EQ(std::tuple(m.yv_min, m.y_min, m.xv_min, m.z_max), std::tuple(-600, -51, 99, 301));
    m.calibration_next();
    EXPECT_EQ(m.calibration_btn_s(), "Finish");
    m.update(-800, -900, -400);  // z: only z
    EXPECT_EQ(std::tuple(m.z_min, m.y_min, m.yv_min, m.x_min), std::tuple(-400, -51, -600, 98));
    EXPECT_EQ(stored("z_min"), -400);
    m.calibration_next();
    m.update(-3000, -3000, -3000);
    EXPECT_EQ(m.x_min, 98) << "no tracking once complete";

    m.calibration_next();  // "Calibrate" discards the saved values and starts over
    EXPECT_EQ(m.calibration, calibration_state_t::xy);
    EXPECT_TRUE(store.values().empty());
    EXPECT_EQ(m.x_min, -3001);
}

TEST_F(hmc5883_fixture, overflow_guard_keeps_only_the_counts) {
    hmc5883_t m(clock, store, console);
    clock.advance(1);
    m.update(16384, 0, 0);
    EXPECT_EQ(console.lines(), std::vector<std::string>{"hmc5883_t.update: possible arithmetic overflow\nx = 16384, y = 0, z = 0"});
    EXPECT_EQ(m.x, 16384);
    EXPECT_EQ(std::tuple(m.x_min, m.x_max, m.calibration), std::tuple(-1, 1, calibration_state_t::complete));
    EXPECT_EQ(std::pair(m.anim_time, m.update_date), std::pair(0.4, clock.now() - 1));
    EXPECT_TRUE(store.values().empty());
    m.update(0, -32768, 0);
    m.update(0, 0, 16384);
    m.update(16383, -16383, -16383);
    EXPECT_EQ(console.lines().size(), 3u);
}

TEST_F(hmc5883_fixture, slots_load_and_save) {
    store.write("hmc5883.0.x_max", std::int64_t{400});
    store.write("hmc5883.0.y_min", std::int64_t{40000});  // beyond 16 bits: missing
    store.write("hmc5883.0.z_min", std::string("-5"));     // another type: missing
    hmc5883_t m(clock, store, console);
    EXPECT_EQ(std::tuple(m.x_max, m.y_min, m.z_min), std::tuple(400, -1, -1));

    store.write("hmc5883.1.x_min", std::int64_t{-500});
    m.calibration = calibration_state_t::yv;
    m.xv_max = 77;
    m.calibration_load(1);
    EXPECT_EQ(m.calibration, calibration_state_t::complete);
    EXPECT_EQ(std::tuple(m.x_min, m.x_max, m.xv_max), std::tuple(-500, 400, 77));
    EXPECT_EQ(std::tuple(stored("x_min"), stored("xv_max"), stored("y_min")), std::tuple(-500, 77, -1));

    m.calibration_save(1);
    for (const char* f : {"x_min", "y_min", "z_min", "x_max", "y_max", "z_max", "xv_min", "yv_min", "xv_max", "yv_max"})
        EXPECT_EQ(stored(f, 1), stored(f, 0)) << f;
}

TEST_F(hmc5883_fixture, tilt_compensation_and_axis_values) {
    hmc5883_t m(clock, store, console);
    mpu6050_t mpu(clock);
    m.compensate_3d = false;
    m.x_min = -200;
    m.x_max = 200;
    for (auto [gax, x_a] : {std::pair(0.5, 250.0f), std::pair(1.7, 500.0f), std::pair(-3.0, -500.0f)}) {
        mpu.gax = gax;
        m.apply_tilt(mpu);
        EXPECT_EQ(m.x_a, x_a) << gax;
    }
    m.compensate_3d = true;
    m.yv_min = -300;
    m.yv_max = 300;
    mpu.gay = -0.25;
    m.apply_tilt(mpu);
    EXPECT_EQ(m.y_a, -75.0f);
    m.calibration = calibration_state_t::xv;
    m.apply_tilt(mpu);
    EXPECT_EQ(std::pair(m.x_a, m.y_a), std::pair(0.0f, 0.0f));

    m.x = 150;
    m.x_a = 10;
    m.x_min = -100;
    m.x_max = 300;
    const auto a = m.x_axis();
    EXPECT_EQ(std::tuple(a.offset, a.divisor, a.centred), std::tuple(100.0f, 200.0f, 60.0f));
    EXPECT_EQ(m.x_n(), 0.3f);
    m.x_min = -32768;
    m.x_max = 32767;  // formed in 32 bits: no wrap to a negative divisor
    EXPECT_EQ(m.x_axis().divisor, 32767.5f);
}

TEST_F(hmc5883_fixture, headings_and_direction_marks) {
    hmc5883n_t n(clock);
    n.update(0, 1, 0);
    EXPECT_NEAR(n.heading() * 57.29577951308232, 95.633333, 1e-5);
    EXPECT_EQ(n.heading_s(), "96");
    n.update(0, -1, 0);
    EXPECT_EQ(n.heading_s(), "276");
    EXPECT_EQ(n.anim_time, 0) << "a half turn jumps";
    EXPECT_EQ(n.debug_description(), "{ x: 0.0, y: -1.0, z: 0.0 }");
    n.update(-0.3f, 0.4f, 0);  // the marks of -x and +y, by their share
    EXPECT_EQ(std::vector<float>({n.dir_px(), n.dir_py(), n.dir_mx(), n.dir_my()}),
              std::vector<float>({0, 0.8f, 0.6f, 0}));
    n.update(0, 0, 0);
    EXPECT_EQ(n.dir_px() + n.dir_py() + n.dir_mx() + n.dir_my(), 0.0f);

    hmc5883_t m(clock, store, console);
    m.update(-100, -5, 0);
    EXPECT_EQ(m.debug_description(), "{ x: -100, y: -5, z: 0 }");
}

}  // namespace
}  // namespace plimsy
