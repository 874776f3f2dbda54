// What every panel shows, driven by lines as a board sends them through the
// receive pipeline, checked without a window: exact texts, fractions,
// colours by name and table rows, per board kind.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "common/text.hpp"
#include "shown/panels.hpp"
#include "shown/screen.hpp"
#include "shown/shown_lookup.hpp"
#include "transport/receive_pipeline.hpp"

namespace plimsy::test {
namespace {

using names_t = std::vector<std::string>;

// A pipeline on a manual clock that starts at 0.
struct board_t {
    board_t() {
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
    std::vector<shown_object_t> state() const { return shown_state(*pipeline); }
    sensors_t& s() { return pipeline->sensors; }

    manual_clock_t clock{0.0};
    memory_settings_store_t store;
    captured_console_t console;
    std::unique_ptr<receive_pipeline_t> pipeline;
    bool decoded = false;
};

const char* calibrating_xv =
    R"(compass_c={"h":10,"x_raw":100,"y_raw":-50,"z_raw":7,"x_min":-200,"y_min":-300,"z_min":-400,)"
    R"("x_max":200,"y_max":300,"z_max":400,"xv_min":-11,"yv_min":-22,"xv_max":33,"yv_max":44,)"
    R"("z_ang":-5,"c":"xv","e":"a1"})";

TEST(shown_state, compass_board_dial_gravity_and_timing) {
    board_t b;
    // Before any board reports, the plimsy91 panels.
    EXPECT_EQ(object_names(b.state()), (names_t{"bh1749", "bme680", "accelerometer", "screen"}));

    b.send_at(1.0, R"(compass={"h":90,"x":3,"y":0,"z":4,"c":"xy"})");
    auto s = b.state();
    EXPECT_EQ(object_names(s), (names_t{"gravity", "compass", "compass_c", "screen"}));
    EXPECT_EQ(text(s, "screen", "device_model"), "compass_gravity");
    EXPECT_EQ(text(s, "screen", "panel_group"), "compass");
    EXPECT_DOUBLE_EQ(number(s, "compass", "heading"), 90.0);
    EXPECT_EQ(text(s, "compass", "heading_s"), "90");
    // A second after creation the smoothing is at its cap.
    EXPECT_DOUBLE_EQ(number(s, "compass", "anim_time"), 0.4);
    // Leaning about y only: the angle about x stays 0, the one from the
    // vertical equals the lean.
    EXPECT_EQ(text(s, "gravity", "x_s"), "3.0");
    EXPECT_EQ(text(s, "gravity", "y_s"), "0.0");
    EXPECT_EQ(text(s, "gravity", "z_s"), "4.0");
    EXPECT_NEAR(number(s, "gravity", "rax"), 0.0, 1e-7);
    EXPECT_NEAR(number(s, "gravity", "ray"), -std::atan2(3.0, 4.0), 1e-6);
    EXPECT_NEAR(number(s, "gravity", "raz"), std::atan2(3.0, 4.0), 1e-6);

    // 0.1 s later: (trunc(0.4 × 40 + 0.1 × 20) + 1) / 60.
    b.send_at(1.1, R"(compass={"h":100,"x":1.25,"y":-0.25,"z":9.81,"c":"xy"})");
    s = b.state();
    EXPECT_DOUBLE_EQ(number(s, "compass", "anim_time"), 19.0 / 60.0);
    EXPECT_DOUBLE_EQ(number(s, "gravity", "anim_time"), 19.0 / 60.0);
    EXPECT_EQ(text(s, "gravity", "x_s"), "1.2");
    EXPECT_EQ(text(s, "gravity", "y_s"), "-0.2");
    EXPECT_EQ(text(s, "gravity", "z_s"), "9.8");

    // A heading alone makes it a compass board; a step over 90º jumps, and
    // a negative heading reads as its positive equivalent.
    b.send_at(1.2, R"(compass={"h":-90})");
    s = b.state();
    EXPECT_EQ(text(s, "screen", "device_model"), "compass");
    EXPECT_DOUBLE_EQ(number(s, "compass", "heading"), -90.0);
    EXPECT_EQ(text(s, "compass", "heading_s"), "270");
    EXPECT_EQ(number(s, "compass", "anim_time"), 0.0);
}

TEST(shown_state, compass_calibration_table_warnings_and_direction) {
    board_t b;
    b.send_at(1.0, calibrating_xv);
    auto s = b.state();
    EXPECT_EQ(text(s, "compass_c", "calibration_s"),
              "2/4  x=0 on a flat surface: rotate \u00B190\u00BA EW to measure the vertical field");
    EXPECT_EQ(text(s, "compass_c", "calibration_btn_s"), "Next");
    // Event word a1 in step xv: y tilt, angle and the x minimum mark.
    EXPECT_EQ(text(s, "compass_c", "tilt_s"), "reduce tilt: y");
    EXPECT_EQ(text(s, "compass_c", "angle_s"), "reduce angle");
    EXPECT_EQ(text(s, "compass_c", "min_colour"), "green");
    EXPECT_EQ(text(s, "compass_c", "max_colour"), "primary");
    EXPECT_EQ(text(s, "compass_c", "z_ang_s"), "-5\u00BA");

    EXPECT_EQ(text(s, "compass_c", "table_0"), "axis  raw     min   max   v-min  v-max");
    EXPECT_EQ(text(s, "compass_c", "table_1"), "x     100    -200   200     -11     33");
    EXPECT_EQ(text(s, "compass_c", "table_2"), "y     -50    -300   300     -22     44");
    EXPECT_EQ(text(s, "compass_c", "table_3"), "z       7    -400   400");
    // Step xv measures x's vertical pair only; the raw column recedes.
    for (int row = 0; row < 4; ++row) {
        for (int cell = 0; cell < 4; ++cell) {
            const std::string name = "table_" + std::to_string(row) + "_colour_" + std::to_string(cell);
            const char* expected = cell == 1 ? "secondary" : (row == 1 && cell == 3) ? "red" : "primary";
            if (row == 3 && cell == 3) expected = "clear";  // z has no vertical pair
            EXPECT_EQ(text(s, "compass_c", name), expected) << name;
        }
    }

    // The field direction: x_n = 100 / 200, y_n = -50 / 300, as a unit
    // vector in screen orientation.
    EXPECT_TRUE(flag(s, "compass_c", "show_direction"));
    EXPECT_NEAR(number(s, "compass_c", "dir_x"), 0.9486833, 1e-6);
    EXPECT_NEAR(number(s, "compass_c", "dir_y"), 0.3162278, 1e-6);
    EXPECT_EQ(text(s, "compass_c", "dir_x_s"), "0.9");
    EXPECT_EQ(text(s, "compass_c", "dir_y_s"), "-0.3");
    EXPECT_FALSE(flag(s, "compass_c", "overflow"));
    EXPECT_EQ(text(s, "compass_c", "overflow_s"), "");

    // Step yv picks out y's pair and reads the y tilt bit.
    std::string yv = calibrating_xv;
    yv.replace(yv.find("\"xv\""), 4, "\"yv\"");
    b.send(yv);
    s = b.state();
    EXPECT_EQ(text(s, "compass_c", "table_1_colour_3"), "primary");
    EXPECT_EQ(text(s, "compass_c", "table_2_colour_3"), "red");
    EXPECT_EQ(text(s, "compass_c", "tilt_s"), "");
    EXPECT_EQ(text(s, "compass_c", "min_colour"), "primary");

    // An extreme at the 16-bit edge turns every column but the raw one orange.
    std::string edge = calibrating_xv;
    edge.replace(edge.find("\"x_max\":200"), 11, "\"x_max\":16384");
    b.send(edge);
    s = b.state();
    EXPECT_TRUE(flag(s, "compass_c", "overflow"));
    EXPECT_EQ(text(s, "compass_c", "overflow_s").rfind("compass_c_t.update: possible arithmetic overflow\n", 0), 0u);
    for (const char* cell : {"table_0_colour_0", "table_1_colour_2", "table_1_colour_3", "table_3_colour_2"})
        EXPECT_EQ(text(s, "compass_c", cell), "orange") << cell;
    EXPECT_EQ(text(s, "compass_c", "table_1_colour_1"), "secondary");

    // One below the edge is no overflow; step xy measures the x and y
    // extremes.
    std::string below = edge;
    below.replace(below.find("16384"), 5, "16383");
    below.replace(below.find("\"xv\""), 4, "\"xy\"");
    b.send(below);
    s = b.state();
    EXPECT_FALSE(flag(s, "compass_c", "overflow"));
    for (const char* cell : {"table_1_colour_2", "table_2_colour_2"}) EXPECT_EQ(text(s, "compass_c", cell), "red");
    for (const char* cell : {"table_1_colour_3", "table_2_colour_3", "table_3_colour_2", "table_0_colour_2"})
        EXPECT_EQ(text(s, "compass_c", cell), "primary");

    // Idle (no step word): raw values are not kept, nothing is picked out.
    std::string idle = calibrating_xv;
    idle.replace(idle.find(",\"c\":\"xv\""), 9, "");
    b.send(idle);
    s = b.state();
    EXPECT_EQ(text(s, "compass_c", "table_3"), "z       0    -400   400");
    EXPECT_EQ(text(s, "compass_c", "calibration_s"), "");
    EXPECT_EQ(text(s, "compass_c", "calibration_btn_s"), "Calibrate");
    EXPECT_EQ(text(s, "compass_c", "tilt_s"), "");
    EXPECT_FALSE(flag(s, "compass_c", "show_direction"));
    for (const char* cell : {"table_1_colour_2", "table_1_colour_3", "table_2_colour_3", "table_3_colour_2"})
        EXPECT_EQ(text(s, "compass_c", cell), "primary");

    // A heading without raw values: no direction.
    b.send(R"(compass={"h":5})");
    s = b.state();
    EXPECT_FALSE(flag(s, "compass_c", "show_direction"));
}

TEST(shown_state, magnetometer_table_steps_and_switches) {
    board_t b;
    b.send_at(1.0, R"(hmc5883={"x":100,"y":-50,"z":300})");
    auto s = b.state();
    EXPECT_EQ(object_names(s), (names_t{"hmc5883", "mpu6050", "screen"}));
    // Nothing stored: the first reading starts the calibration by itself.
    EXPECT_EQ(text(s, "hmc5883", "step_button"), "Next");
    EXPECT_EQ(text(s, "hmc5883", "step_text").rfind("1/4", 0), 0u);
    EXPECT_EQ(text(s, "hmc5883", "compensation"), "calibrating");
    EXPECT_EQ(text(s, "hmc5883", "table_header"), "axis  raw  offset  [  min   max]  offset    div");
    EXPECT_EQ(text(s, "hmc5883", "table_0"), "x     100     0.0  [   99   101]   100.0    1.0");
    EXPECT_EQ(text(s, "hmc5883", "table_1"), "y     -50     0.0  [  -51   -49]   -50.0    1.0");
    EXPECT_EQ(text(s, "hmc5883", "table_2"), "z     300     0.0  [  299   301]   300.0    1.0");
    // Level and still: no tilt, no correction; the half vertical field of
    // a fresh range is 1.
    EXPECT_EQ(text(s, "hmc5883", "table_3"), "ax    0.0     0.0  [   99   101]     1.0");
    EXPECT_EQ(text(s, "hmc5883", "table_4"), "ay    0.0     0.0  [  -51   -49]     1.0");
    // A second reading widens the ranges; each axis at an end of its range.
    {
        board_t wide;
        wide.send_at(1.0, R"(hmc5883={"x":100,"y":-50,"z":300})");
        wide.send(R"(hmc5883={"x":140,"y":-90,"z":310})");
        const auto w = wide.state();
        EXPECT_EQ(text(w, "hmc5883", "field_x"), "1.00");
        EXPECT_EQ(text(w, "hmc5883", "field_y"), "-1.00");
        EXPECT_EQ(text(w, "hmc5883", "field_z"), "1.0");
        EXPECT_EQ(text(w, "hmc5883", "table_0"), "x     140    20.5  [   99   140]   119.5   20.5");
    }

    b.send(R"(mpu6050={"ax":0.0,"ay":0.0,"az":1.0,"gx":0.0,"gy":0.0,"gz":5.0})");
    b.send(R"(mpu6050={"ax":0.0,"ay":0.0,"az":1.0,"gx":0.0,"gy":0.0,"gz":5.0})");
    s = b.state();
    EXPECT_EQ(text(s, "hmc5883", "table_5"), "az    0.0     0.0");
    EXPECT_EQ(text(s, "hmc5883", "table_6"), "xy    5.6     0.0");
    // The turn about z adds up per message; the tilts stay 0.
    EXPECT_EQ(text(s, "mpu6050", "yaw"), "10.0\u00BA");
    EXPECT_EQ(text(s, "mpu6050", "roll"), "0.0\u00BA");
    EXPECT_EQ(text(s, "mpu6050", "pitch"), "0.0\u00BA");
    // The accelerometer's own angles follow the latest reading unfiltered.
    b.send(R"(mpu6050={"ax":1.0,"ay":0.0,"az":0.0,"gx":0.0,"gy":0.0,"gz":0.0})");
    s = b.state();
    EXPECT_EQ(text(s, "hmc5883", "table_7"), "aa    0.0   -90.0");

    // Which rows' ranges each step records: x, y, z in the first, the
    // vertical fields of x and of y next, z again last.
    struct step_t {
        const char* button;
        std::vector<int> red_rows;
    };
    const step_t steps[] = {
        {"Next", {0, 1, 2}}, {"Next", {3}}, {"Next", {4}}, {"Finish", {2}}, {"Calibrate", {}},
    };
    const int row_cells[] = {5, 5, 5, 5, 5, 3, 3, 3};
    for (const auto& step : steps) {
        s = b.state();
        SCOPED_TRACE(text(s, "hmc5883", "step_text"));
        EXPECT_EQ(text(s, "hmc5883", "step_button"), step.button);
        for (int r = 0; r < 8; ++r) {
            for (int c = 0; c < 5; ++c) {
                const std::string name = "table_" + std::to_string(r) + "_colour_" + std::to_string(c);
                const bool red = c == 3 && std::find(step.red_rows.begin(), step.red_rows.end(), r) != step.red_rows.end();
                const char* expected = c >= row_cells[r] ? "clear" : c == 1 ? "secondary" : red ? "red" : "primary";
                EXPECT_EQ(text(s, "hmc5883", name), expected) << name;
            }
        }
        b.s().hmc5883_calibration_next();
    }

    // The last press started over; four steps lead to complete again,
    // where the switches name what is in force.
    for (int i = 0; i < 4; ++i) b.s().hmc5883_calibration_next();
    s = b.state();
    ASSERT_EQ(text(s, "hmc5883", "step_button"), "Calibrate");
    EXPECT_EQ(text(s, "hmc5883", "compensation"), "3D");
    EXPECT_EQ(text(s, "hmc5883", "compensate_button"), "compensate");
    EXPECT_EQ(text(s, "hmc5883", "compensate_colour"), "accent");
    EXPECT_EQ(text(s, "hmc5883", "mode_button"), "3D");
    b.s().set_hmc5883_compensate_3d(false);
    s = b.state();
    EXPECT_EQ(text(s, "hmc5883", "compensation"), "2D");
    EXPECT_EQ(text(s, "hmc5883", "mode_button"), "2D");
    b.s().set_hmc5883_compensate(false);
    s = b.state();
    EXPECT_EQ(text(s, "hmc5883", "compensation"), "off");
    EXPECT_EQ(text(s, "hmc5883", "compensate_button"), "disabled");
    EXPECT_EQ(text(s, "hmc5883", "compensate_colour"), "secondary");

    // Counts the calibration refuses turn all but the raw column orange.
    b.send(R"(hmc5883={"x":16384,"y":0,"z":0})");
    s = b.state();
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < row_cells[r]; ++c)
            EXPECT_EQ(text(s, "hmc5883", "table_" + std::to_string(r) + "_colour_" + std::to_string(c)),
                      c == 1 ? "secondary" : "orange")
                << r << "," << c;
}

TEST(shown_state, normalised_compass_and_gyroscope) {
    board_t b;
    b.send_at(1.0, R"(hmc5883n={"x":1.0,"y":0.0,"z":-0.5})");
    auto s = b.state();
    EXPECT_EQ(object_names(s), (names_t{"hmc5883n", "screen"}));
    // North plus the declination of 5.63º.
    EXPECT_NEAR(number(s, "hmc5883n", "heading"), 5.633333, 1e-5);
    EXPECT_EQ(text(s, "hmc5883n", "heading_text"), "6\u00BA");
    EXPECT_EQ(text(s, "hmc5883n", "field_x"), "1.00");
    EXPECT_EQ(text(s, "hmc5883n", "field_z"), "-0.50");
    EXPECT_EQ(number(s, "hmc5883n", "dir_px"), 1.0);
    EXPECT_EQ(number(s, "hmc5883n", "dir_mx"), 0.0);
    EXPECT_EQ(number(s, "hmc5883n", "dir_py"), 0.0);

    b.send_at(2.0, R"(gyroscope={"x":190,"y":-190,"z":540})");
    s = b.state();
    EXPECT_EQ(object_names(s), (names_t{"trace", "gyroscope", "screen"}));
    EXPECT_EQ(text(s, "gyroscope", "x_text"), "-170.0");
    EXPECT_EQ(text(s, "gyroscope", "y_text"), "170.0");
    EXPECT_EQ(text(s, "gyroscope", "z_text"), "180.0");
    EXPECT_EQ(text(s, "trace", "legend_0"), "gyro.x");
    EXPECT_EQ(text(s, "trace", "legend_2"), "gyro.z");
    EXPECT_EQ(text(s, "trace", "legend_3"), "");
    EXPECT_EQ(text(s, "trace", "legend_colour_0"), "red");
    EXPECT_EQ(text(s, "trace", "legend_colour_1"), "green");
    EXPECT_EQ(text(s, "trace", "legend_colour_2"), "blue");
    EXPECT_EQ(text(s, "trace", "legend_colour_3"), "clear");
    EXPECT_EQ(text(s, "trace", "hold_text"), "Hold");
    EXPECT_FALSE(flag(s, "trace", "held"));
    EXPECT_EQ(number(s, "trace", "count"), 1.0);

    // A hidden series greys out in the legend; held, samples stop.
    b.s().trace.toggle_enable(1);
    b.s().trace.toggle_hold();
    b.send(R"(gyroscope={"x":1,"y":2,"z":3})");
    s = b.state();
    EXPECT_EQ(text(s, "trace", "legend_colour_1"), "tertiary");
    EXPECT_EQ(text(s, "trace", "hold_text"), "Enable");
    EXPECT_TRUE(flag(s, "trace", "held"));
    EXPECT_EQ(number(s, "trace", "count"), 1.0);
    EXPECT_EQ(text(s, "gyroscope", "x_text"), "1.0");
}

TEST(shown_state, plimsy91_environment_colour_and_accelerometer) {
    board_t b;
    b.send_at(1.0, R"(bme680={"temp":25.0,"pressure":101.5,"humidity":50.0,"gas":60000})");
    auto s = b.state();
    EXPECT_EQ(object_names(s), (names_t{"bh1749", "bme680", "accelerometer", "screen"}));
    EXPECT_EQ(text(s, "bme680", "temperature_title"), "Temperature");
    EXPECT_EQ(text(s, "bme680", "temperature"), "25.00");
    EXPECT_EQ(text(s, "bme680", "temperature_unit"), "\u00BAC");
    EXPECT_EQ(text(s, "bme680", "pressure"), "1015.00");
    EXPECT_EQ(text(s, "bme680", "pressure_unit"), "hPa");
    EXPECT_EQ(text(s, "bme680", "humidity"), "50.00");
    EXPECT_EQ(text(s, "bme680", "air_resistance_title"), "Air resistance");
    EXPECT_EQ(text(s, "bme680", "air_resistance"), "60.00");
    EXPECT_EQ(text(s, "bme680", "air_resistance_unit"), "k\u2126");
    // 25 ºC fills half the bar; 60 kΩ lies below the range's 100 kΩ; the
    // pressure bar follows the host's barometer, absent here.
    EXPECT_DOUBLE_EQ(number(s, "bme680", "temperature_fraction"), 0.5);
    EXPECT_DOUBLE_EQ(number(s, "bme680", "humidity_fraction"), 0.5);
    EXPECT_DOUBLE_EQ(number(s, "bme680", "air_resistance_fraction"), 0.0);
    EXPECT_DOUBLE_EQ(number(s, "bme680", "pressure_fraction"), 0.0);
    b.send(R"(bme680={"temp":-5.0,"pressure":101.5,"humidity":120.0,"gas":450000})");
    s = b.state();
    EXPECT_DOUBLE_EQ(number(s, "bme680", "air_resistance_fraction"), 0.5);
    EXPECT_DOUBLE_EQ(number(s, "bme680", "temperature_fraction"), 0.0);
    EXPECT_DOUBLE_EQ(number(s, "bme680", "humidity_fraction"), 1.0);
    // Host pressure in pascals: 1000 hPa is the middle of 950 ... 1050.
    EXPECT_NEAR(shown_bme680(b.s().bme680, 100000.0).pressure.fraction, 0.5, 1e-12);
    EXPECT_EQ(shown_bme680(b.s().bme680, 94000.0).pressure.fraction, 0.0);
    EXPECT_EQ(shown_bme680(b.s().bme680, 106000.0).pressure.fraction, 1.0);

    // White light of unequal channels: after the white balance the three
    // read alike, each with the factor that made it so.
    b.send(R"(bh1749={"r":100,"g":50,"b":25,"i":40})");
    s = b.state();
    EXPECT_EQ(text(s, "bh1749", "green"), "50");
    EXPECT_EQ(text(s, "bh1749", "green_factor"), "");
    const std::string unbalanced = text(s, "bh1749", "swatch");
    b.s().bh1749_white_balance();
    s = b.state();
    EXPECT_EQ(text(s, "bh1749", "red"), "100");
    EXPECT_EQ(text(s, "bh1749", "green"), "100");
    EXPECT_EQ(text(s, "bh1749", "green_factor"), " * 2.00");
    EXPECT_EQ(text(s, "bh1749", "blue_factor"), " * 4.00");
    EXPECT_EQ(text(s, "bh1749", "infrared"), "40");
    EXPECT_EQ(text(s, "bh1749", "infrared_factor"), "");
    const std::string balanced = text(s, "bh1749", "swatch");
    EXPECT_NE(balanced, unbalanced);
    ASSERT_EQ(balanced.size(), 7u);
    EXPECT_EQ(balanced.substr(1, 2), balanced.substr(3, 2));
    EXPECT_EQ(balanced.substr(3, 2), balanced.substr(5, 2));
    EXPECT_EQ(number(s, "bh1749", "red_fraction"), number(s, "bh1749", "blue_fraction"));

    // A shock on the high-g sensor: its held peak on the square-root scale.
    b.send_at(2.0, R"(adxl372={"x":-250.0,"y":40.0,"z":0.0})");
    s = b.state();
    EXPECT_EQ(text(s, "accelerometer", "title"), "high-g");
    EXPECT_EQ(text(s, "accelerometer", "source"), "adxl372");
    EXPECT_NEAR(number(s, "accelerometer", "x_neg"), 0.5, 1e-6);
    EXPECT_EQ(number(s, "accelerometer", "x_pos"), 0.0);
    EXPECT_NEAR(number(s, "accelerometer", "y_pos"), 0.2, 1e-6);
    EXPECT_EQ(text(s, "accelerometer", "x_text"), "-250");
    EXPECT_NEAR(number(s, "accelerometer", "point_x"), -0.5, 1e-6);
    EXPECT_NEAR(number(s, "accelerometer", "point_y"), -0.2, 1e-6);
    // Ten seconds on, the hold is over and the low-g sensor takes over.
    b.send_at(12.5, R"(adxl362={"x":12.0,"y":-3.0,"z":9.81})");
    s = b.state();
    EXPECT_EQ(text(s, "accelerometer", "title"), "Accelerometer");
    EXPECT_FALSE(flag(s, "accelerometer", "high_g"));
    EXPECT_EQ(number(s, "accelerometer", "x_pos"), 1.0);
    EXPECT_NEAR(number(s, "accelerometer", "y_neg"), 0.3, 1e-6);
    EXPECT_NEAR(number(s, "accelerometer", "z_pos"), 0.981, 1e-6);
    EXPECT_EQ(text(s, "accelerometer", "x_text"), "12.0");
    EXPECT_EQ(text(s, "accelerometer", "z_text"), "9.8");
    // Beyond full scale the dot leaves the square.
    EXPECT_NEAR(number(s, "accelerometer", "point_x"), 1.2, 1e-6);
    EXPECT_NEAR(number(s, "accelerometer", "point_y"), 0.3, 1e-6);

    // compass_bearing gets the plimsy91 panels without the accelerometer.
    const auto bearing = shown_object_names(device_model_t::compass_bearing);
    EXPECT_EQ(names_t(bearing.begin(), bearing.end()), (names_t{"bh1749", "bme680"}));
}

TEST(shown_state, gavrin3_rows_events_and_clock) {
    board_t b;
    b.send_at(1.0, R"(shtc3={"temp":12.5,"humidity":75.0})");
    b.send(R"(adp536x={"cs1":"0x02","cs2":"0x00","pgs":"0x01","voltage":4050,"level":88})");
    b.send(R"(rtc={"y":2026,"m":12,"d":7,"hh":4,"mm":5,"ss":6})");
    b.send(R"(iis2dlpc={"x":-2.5,"y":0.0,"z":9.8})");
    auto s = b.state();
    EXPECT_EQ(object_names(s), (names_t{"adp536x", "shtc3", "rtc", "gavrin3_events", "accelerometer", "screen"}));
    EXPECT_EQ(text(s, "shtc3", "temperature"), "12.50");
    EXPECT_DOUBLE_EQ(number(s, "shtc3", "temperature_fraction"), 0.25);
    EXPECT_EQ(text(s, "shtc3", "humidity"), "75.00");
    EXPECT_DOUBLE_EQ(number(s, "shtc3", "humidity_fraction"), 0.75);
    EXPECT_EQ(text(s, "adp536x", "battery_title"), "Battery");
    EXPECT_EQ(text(s, "adp536x", "battery"), "88");
    EXPECT_EQ(text(s, "adp536x", "battery_unit"), "4.05 V");
    EXPECT_NEAR(number(s, "adp536x", "battery_fraction"), 0.88, 1e-12);
    // The board's clock in the toolbar, read and shown in the host's zone.
    EXPECT_EQ(text(s, "rtc", "format_s"), "2026-12-07  04:05:06");
    EXPECT_TRUE(flag(s, "screen", "show_clock"));
    EXPECT_EQ(text(s, "screen", "clock_text"), "2026-12-07  04:05:06");
    EXPECT_TRUE(flag(s, "screen", "show_accelerometer"));
    EXPECT_EQ(text(s, "accelerometer", "source"), "iis2dlpc");
    EXPECT_NEAR(number(s, "accelerometer", "x_neg"), 0.25, 1e-6);

    EXPECT_FALSE(flag(s, "gavrin3_events", "alarm"));
    EXPECT_EQ(text(s, "gavrin3_events", "alarm_background"), "secondary_system_background");
    EXPECT_EQ(text(s, "gavrin3_events", "alarm_text_colour"), "tertiary");
    // An alarm lights only its own label, and goes out by itself after
    // its hold time.
    b.send_at(2.0, R"(gavrin3_events={"alarm":1,"PIR":0})");
    s = b.state();
    EXPECT_TRUE(flag(s, "gavrin3_events", "alarm"));
    EXPECT_EQ(text(s, "gavrin3_events", "alarm_background"), "red");
    EXPECT_EQ(text(s, "gavrin3_events", "alarm_text_colour"), "white");
    EXPECT_FALSE(flag(s, "gavrin3_events", "pir"));
    EXPECT_EQ(text(s, "gavrin3_events", "pir_background"), "secondary_system_background");
    // Motion later lights PIR; a report of 0 clears nothing.
    b.send_at(3.0, R"(gavrin3_events={"alarm":0,"PIR":1})");
    s = b.state();
    EXPECT_TRUE(flag(s, "gavrin3_events", "pir"));
    EXPECT_EQ(text(s, "gavrin3_events", "pir_background"), "red");
    EXPECT_EQ(text(s, "gavrin3_events", "pir_text_colour"), "white");
    EXPECT_TRUE(flag(s, "gavrin3_events", "alarm"));
    b.clock.set(12.5);
    s = b.state();
    EXPECT_TRUE(flag(s, "gavrin3_events", "pir"));
    EXPECT_FALSE(flag(s, "gavrin3_events", "alarm"));
    EXPECT_EQ(text(s, "gavrin3_events", "alarm_background"), "secondary_system_background");

    // Any other board: no clock.
    b.send(R"(bme680={"temp":25.0,"pressure":101.5,"humidity":50.0,"gas":60000})");
    s = b.state();
    EXPECT_FALSE(flag(s, "screen", "show_clock"));
    EXPECT_EQ(text(s, "screen", "clock_text"), "");
}

TEST(shown_state, screen_status_label_and_log) {
    board_t b;
    auto s = b.state();
    // A pipeline alone has no transports: BLE offline, as the defaults say.
    EXPECT_EQ(text(s, "screen", "connection_label"), "offline");
    EXPECT_TRUE(flag(s, "screen", "show_ble_status"));
    EXPECT_FALSE(flag(s, "screen", "show_tcp_status"));
    EXPECT_EQ(text(s, "screen", "rssi_colour"), "blue");
    EXPECT_EQ(text(s, "screen", "log_menu_text"), "Enable");
    EXPECT_EQ(text(s, "screen", "log_title_colour"), "secondary");
    EXPECT_EQ(text(s, "screen", "clear_colour"), "secondary");
    EXPECT_EQ(text(s, "screen", "log_text"), "");

    // Logging: the lines joined, the title in the log colour, which turns
    // red with a line that fails to decode.
    b.pipeline->set_log_enable(true);
    b.send(R"(gravity={"x":0,"y":0,"z":9.8})");
    b.pipeline->receive_line("boot ok");
    s = b.state();
    EXPECT_EQ(text(s, "screen", "log_text"), "gravity={\"x\":0,\"y\":0,\"z\":9.8}\nboot ok");
    EXPECT_EQ(text(s, "screen", "log_menu_text"), "Disable");
    EXPECT_EQ(text(s, "screen", "log_title_colour"), "primary");
    EXPECT_EQ(text(s, "screen", "clear_colour"), "primary");
    b.pipeline->receive_line(R"(rtc={"y":2026,"m":256,"d":1,"hh":1,"mm":1,"ss":1})");
    EXPECT_EQ(text(b.state(), "screen", "log_title_colour"), "red");
    b.pipeline->clear_log();
    EXPECT_EQ(text(b.state(), "screen", "clear_colour"), "secondary");

    // The connection button's label by transport choice: the error rate
    // first, then TCP, a blank in bridge mode, then BLE, or the serial port
    // in BLE's place.
    screen_source_t src;
    src.error_rate = "3%  ";
    src.status_tcp = "127.0.0.1:81 connected";
    src.sta_fg_tcp = colour_t::green;
    src.status_ble = "BLE scanning...";
    src.sta_fg_ble = colour_t::orange;
    src.status_serial = "/dev/ttyACM0 115200";
    const auto label = [&](bool bridge, bool ble, bool serial) {
        src.enable_bridge = bridge;
        src.enable_ble = ble;
        src.enable_serial = serial;
        return shown_screen(b.s(), src).connection_label;
    };
    EXPECT_EQ(label(false, true, false), "3%  BLE scanning...");
    EXPECT_EQ(label(false, false, false), "3%  127.0.0.1:81 connected");
    EXPECT_EQ(label(true, true, false), "3%  127.0.0.1:81 connected BLE scanning...");
    EXPECT_EQ(label(false, false, true), "3%  /dev/ttyACM0 115200");
    EXPECT_EQ(label(true, false, true), "3%  127.0.0.1:81 connected /dev/ttyACM0 115200");
    const screen_shown_t shown = shown_screen(b.s(), src);
    EXPECT_EQ(shown.status_tcp_colour, "green");
    EXPECT_EQ(shown.status_ble_colour, "orange");
    EXPECT_FALSE(shown.show_ble_status);
}

// Logs and tables keep their columns: an object lists the same values in
// the same order whatever data came, for every board kind.
TEST(shown_state, value_names_do_not_depend_on_the_data) {
    const std::vector<std::vector<std::string>> streams = {
        {R"(compass={"h":90,"x":3,"y":0,"z":4,"c":"xy"})", calibrating_xv, R"(compass={"h":-90})"},
        {R"(hmc5883={"x":100,"y":-50,"z":300})", R"(mpu6050={"ax":1.0,"ay":0.0,"az":0.0,"gx":0,"gy":0,"gz":0})",
         R"(hmc5883={"x":16384,"y":0,"z":0})"},
        {R"(hmc5883n={"x":1.0,"y":0.0,"z":-0.5})"},
        {R"(gravity={"x":1,"y":2,"z":3})", R"(gyroscope={"x":1,"y":2,"z":3})"},
        {R"(shtc3={"temp":12.5,"humidity":75.0})", R"(gavrin3_events={"alarm":1,"PIR":1})"},
        {R"(bh1749={"r":100,"g":50,"b":25,"i":40})", R"(adxl372={"x":-250.0,"y":40.0,"z":0.0})"},
    };
    for (const auto& stream : streams) {
        board_t fresh;
        board_t fed;
        double t = 1.0;
        for (const auto& line : stream) fed.send_at(t += 0.1, line);
        // The fresh model shown as if it were of the fed board's kind.
        fresh.s().device_model = fed.s().device_model;
        const auto before = fresh.state();
        const auto after = fed.state();
        ASSERT_EQ(object_names(before), object_names(after));
        for (std::size_t i = 0; i < after.size(); ++i)
            EXPECT_EQ(value_names(before[i]), value_names(after[i])) << after[i].name;
    }
}

}  // namespace
}  // namespace plimsy::test
