// The magnetometer calibration and the settings store: what a stored
// calibration may do to the heading, and what saving one costs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <string>
#include <tuple>

#include "orientation/hmc5883.hpp"
#include "platform/settings_file.hpp"
#include "transport/receive_pipeline.hpp"

namespace plimsy {
namespace {

using ::testing::HasSubstr;

const char* const fields[] = {"x_min", "y_min", "z_min", "x_max", "y_max", "z_max",
                              "xv_min", "yv_min", "xv_max", "yv_max"};

void store_calibration(settings_store_t& store, int slot, std::array<std::int64_t, 10> values) {
    for (std::size_t i = 0; i < values.size(); ++i)
        store.write("hmc5883." + std::to_string(slot) + "." + fields[i], values[i]);
}

// A stored calibration whose x range has no width: the normalised x is
// 0/0 for a count in its middle, and the heading was shown as "-nan".
TEST(hmc5883_store, a_calibration_with_an_empty_range_is_not_used) {
    manual_clock_t clock;
    memory_settings_store_t store;
    captured_console_t console;
    store_calibration(store, 0, {5, -200, -300, 5, 200, 300, -50, -60, 50, 60});
    receive_pipeline_t pipeline(clock, store, console);
    const hmc5883_t& m = pipeline.sensors.hmc5883;
    EXPECT_THAT(console.lines(), ::testing::Contains("hmc5883_t.calibration_load: the calibration in slot 0 has an "
                                                     "empty x range (minimum 5, maximum 5); not used, calibrate again"));
    pipeline.receive_line(R"(hmc5883={"x":5,"y":100,"z":0})");
    // Nothing of the broken calibration is in force: the first message
    // starts a new one, as on a fresh start, and replaces the stored one.
    EXPECT_EQ(m.calibration, calibration_state_t::xy);
    EXPECT_EQ(std::tuple(m.x_min, m.x_max, m.y_min), std::tuple(4, 6, 99));
    EXPECT_EQ(store.read_int("hmc5883.0.x_max"), 6);
    EXPECT_EQ(m.heading_s(), "6");
    EXPECT_EQ(m.z_n_s(), "0.0");

    // The spare slot is checked the same way: "Load" of a spare with an
    // inverted y range keeps the calibration in use.
    store_calibration(store, 1, {-100, 50, -100, 100, -50, 100, -1, -1, 1, 1});
    pipeline.sensors.hmc5883_calibration_load(1);
    EXPECT_EQ(std::tuple(m.x_min, m.y_min, m.y_max), std::tuple(4, 99, 101));
    EXPECT_EQ(store.read_int("hmc5883.0.y_min"), 99);
    EXPECT_THAT(console.lines().back(), HasSubstr("slot 1 has an empty y range (minimum 50, maximum -50)"));

    // A sound spare is loaded, and a value of another type is said.
    store_calibration(store, 1, {-100, -100, -100, 100, 100, 100, -40, -40, 40, 40});
    store.write("hmc5883.1.z_max", std::int64_t{40000});
    pipeline.sensors.hmc5883_calibration_load(1);
    EXPECT_EQ(std::tuple(m.x_min, m.y_max, m.z_max), std::tuple(-100, 100, 1));
    EXPECT_THAT(console.lines(), ::testing::Contains("hmc5883_t.calibration_load: hmc5883.1.z_max is not a 16-bit "
                                                     "count; ignored"));
}

// However a range comes to have no width, the texts show a dash rather
// than "nan" or "inf".
TEST(hmc5883_store, a_heading_that_is_not_a_number_shows_a_dash) {
    manual_clock_t clock;
    memory_settings_store_t store;
    captured_console_t console;
    hmc5883_t m(clock, store, console);
    m.x_min = m.x_max = 5;
    m.z_min = m.z_max = 7;
    m.x = 5;
    m.z = 7;
    ASSERT_TRUE(std::isnan(m.heading()));
    EXPECT_EQ(m.heading_s(), "--");
    EXPECT_EQ(m.z_n_s(), "--");
    m.z = 8;  // inf
    EXPECT_EQ(m.z_n_s(), "--");
}

// Saving a calibration hands one change to the store, not ten, and what
// reaches the file is the whole calibration.
TEST(hmc5883_store, a_calibration_is_saved_as_one_change) {
    char templ[] = "/tmp/hmc5883_store_test.XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    const std::filesystem::path file = std::filesystem::path(templ) / "settings.json";
    manual_clock_t clock;
    captured_console_t console;
    {
        file_settings_store_t store(file, console);
        hmc5883_t m(clock, store, console);
        m.update(100, -50, 300);  // starts the calibration and saves it
        EXPECT_EQ(store.changes_posted(), 1u);
        m.update(100, -50, 300);  // nothing widened: nothing to save
        EXPECT_EQ(store.changes_posted(), 1u);
        for (int i = 2; i <= 21; ++i) m.update(static_cast<std::int16_t>(100 - i), -50, 300);
        EXPECT_EQ(store.changes_posted(), 21u);
        m.calibration_save(1);
        EXPECT_EQ(store.changes_posted(), 22u);
    }
    {
        file_settings_store_t again(file, console);
        for (const char* f : fields) {
            EXPECT_TRUE(again.read_int(std::string("hmc5883.0.") + f)) << f;
            EXPECT_EQ(again.read_int(std::string("hmc5883.1.") + f), again.read_int(std::string("hmc5883.0.") + f)) << f;
        }
        EXPECT_EQ(again.read_int("hmc5883.0.x_min"), 79);
        hmc5883_t m(clock, again, console);
        m.calibration_next();  // "Calibrate": the ten slot-0 keys go at once
        EXPECT_EQ(again.changes_posted(), 1u);
        EXPECT_FALSE(again.read("hmc5883.0.x_min"));
    }
    std::filesystem::remove_all(templ);
}

}  // namespace
}  // namespace plimsy
