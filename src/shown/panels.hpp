#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/colour.hpp"
#include "shown/shown_value.hpp"

namespace plimsy {

class sensors_t;
class compass_t;
class compass_c_t;
class gravity_t;
class gyroscope_t;
class hmc5883n_t;
class trace_t;
class rtc_t;
class gavrin3_events_t;
struct bh1749_t;
struct bme680_t;
struct shtc3_t;
struct adp536x_t;

// What the panels show of each object of the sensors model, computed here
// so that the window, `plimsy-cli decode --state` and the tests all read
// the same values. Every struct starts out as a panel shows before any
// board is known. Colours are the names of colour_t ("red", "primary"),
// plus the system colour "secondary_system_background"; the window's
// palette turns a name into paint. `object()` lists the values under the
// names the screen gives them, always the same names in the same order.

// One reading line: title, value and unit texts, and the fill of its bar.
struct shown_row_t {
    std::string title;
    std::string value;
    std::string unit;
    double fraction = 0;  // 0 ... 1
    bool gauge = true;
};

// A run of equally coloured text in a table row.
struct shown_cell_t {
    std::string text;
    std::string colour = "primary";
};
using shown_cells_t = std::vector<shown_cell_t>;

// The compass dial.
struct compass_shown_t {
    double heading = 0;  // degrees, as the board sent it
    double anim_time;    // seconds; 0 means the dial jumps
    std::string heading_s;
    compass_shown_t();
    shown_object_t object() const;
};
compass_shown_t shown_compass(const compass_t& c);

// Gravity under the compass dial, with the tilt drawing's angles.
struct gravity_shown_t {
    std::string x_s, y_s, z_s;
    double rax = 0, ray = 0, raz = 0;  // radians
    double anim_time;
    gravity_shown_t();
    shown_object_t object() const;
};
gravity_shown_t shown_gravity(const gravity_t& g);

// The compass calibration that runs on the board.
struct compass_c_shown_t {
    std::string calibration_s;
    std::string calibration_btn_s = "Calibrate";
    // The warnings only while the board raises them.
    std::string tilt_s, angle_s;
    // The "min max" label's words light up at the board's marks.
    std::string min_colour = "primary", max_colour = "primary";
    // Header and the x, y, z rows, split where the colour may change.
    std::vector<shown_cells_t> table;
    bool overflow = false;
    std::string overflow_s;
    // The field direction means something only while raw readings come.
    bool show_direction = false;
    double dir_x = 0, dir_y = 0;
    std::string dir_x_s, dir_y_s;
    std::string z_ang_s;
    double anim_time;
    compass_c_shown_t();
    // The rows as plain lines.
    std::vector<std::string> table_lines() const;
    shown_object_t object() const;
};
compass_c_shown_t shown_compass_c(const compass_c_t& c);

// The raw-count magnetometer: its dial and values, and the calibration
// panel this program runs (table of ranges and tilt corrections, switches).
struct hmc5883_shown_t {
    static constexpr int table_rows = 8;
    static constexpr int table_columns = 5;
    double heading = 0;  // degrees; 0 (north) when there is none
    double anim_time;
    // The model's own text ("96") and the panel's, with its degree sign.
    std::string heading_s;
    std::string heading_text;
    std::string field_x, field_y, field_z;
    // "off", "2D", "3D", or "calibrating" while the ranges are measured.
    std::string compensation;
    std::string step_text, step_button;
    std::string compensate_button, compensate_colour;
    std::string mode_button;
    std::string table_header = "axis  raw  offset  [  min   max]  offset    div";
    std::string header_colour = "secondary";
    // Rows x, y, z, ax, ay, az, xy, aa; the second cell is the raw input.
    std::vector<shown_cells_t> table;
    hmc5883_shown_t();
    shown_object_t object() const;
};
hmc5883_shown_t shown_hmc5883(const sensors_t& s);

// The motion values beside the magnetometer.
struct mpu6050_shown_t {
    std::string roll, pitch, yaw;
    shown_object_t object() const;
};
mpu6050_shown_t shown_mpu6050(const sensors_t& s);

// The compass of a normalised magnetometer vector.
struct hmc5883n_shown_t {
    double heading = 0;
    double anim_time;
    // The model's own text ("96") and the panel's, with its degree sign.
    std::string heading_s;
    std::string heading_text;
    std::string field_x, field_y, field_z;
    double dir_px = 0, dir_py = 0, dir_mx = 0, dir_my = 0;
    hmc5883n_shown_t();
    shown_object_t object() const;
};
hmc5883n_shown_t shown_hmc5883n(const hmc5883n_t& m);

// The gyroscope panel's angles.
struct gyroscope_shown_t {
    std::string x_text, y_text, z_text;
    double anim_time;
    gyroscope_shown_t();
    shown_object_t object() const;
};
gyroscope_shown_t shown_gyroscope(const gyroscope_t& g);

// The traces plot's controls: hold, reset and the legend.
struct trace_shown_t {
    // At most four series at a time; the object always lists four.
    static constexpr int legend_slots = 4;
    std::string hold_text = "Hold";
    bool held = false;
    bool show_reset = false;
    std::vector<std::string> legend;
    // Per entry the series colour while drawn, tertiary while hidden.
    std::vector<std::string> legend_colours;
    double count = 0, count_valid = 0;
    shown_object_t object() const;
};
trace_shown_t shown_trace(const trace_t& t);

// The colour light panel and the swatch.
struct bh1749_shown_t {
    std::string infrared, infrared_factor;
    double infrared_fraction = 0;
    rgb_t infrared_colour;
    std::string red, green, blue;
    std::string red_factor, green_factor, blue_factor;
    double red_fraction = 0, green_fraction = 0, blue_fraction = 0;
    std::string red_colour = "red", green_colour = "green", blue_colour = "blue";
    rgb_t swatch;
    shown_object_t object() const;
};
bh1749_shown_t shown_bh1749(const bh1749_t& c);
// " * 1.25" for a correction in force, nothing for 1.
std::string factor_text(float factor);

// The environment panel; the pressure gauge follows the host's barometer.
struct bme680_shown_t {
    shown_row_t temperature, pressure, humidity, air_resistance;
    shown_object_t object() const;
};
bme680_shown_t shown_bme680(const bme680_t& r, double host_pascals);
double temperature_fraction(float celsius);
double humidity_fraction(float percent);
// 950 hPa empty, 1050 hPa full; the host reports pascals.
double pressure_fraction(double host_pascals);
// 100 kΩ empty, 800 kΩ full; the board reports ohms.
double air_resistance_fraction(std::uint32_t ohms);

// Temperature and humidity of the alarm unit.
struct shtc3_shown_t {
    shown_row_t temperature, humidity;
    shown_object_t object() const;
};
shtc3_shown_t shown_shtc3(const shtc3_t& r);

// Its battery.
struct adp536x_shown_t {
    shown_row_t battery;
    shown_object_t object() const;
};
adp536x_shown_t shown_adp536x(const adp536x_t& r);

// Its two events: white on red while showing, receding otherwise.
struct gavrin3_events_shown_t {
    bool pir = false, alarm = false;
    std::string pir_text_colour, pir_background, alarm_text_colour, alarm_background;
    gavrin3_events_shown_t();
    shown_object_t object() const;
};
gavrin3_events_shown_t shown_gavrin3_events(const gavrin3_events_t& e);
std::string event_text_colour(bool on);
std::string event_background(bool on);

// The board's clock, as the toolbar shows it.
struct rtc_shown_t {
    std::string format_s;
    shown_object_t object() const;
};
rtc_shown_t shown_rtc(const rtc_t& r);

// The three accelerometers as one drawing.
struct accelerometer_shown_t {
    std::string title = "Accelerometer";  // "high-g" while a shock is held
    bool high_g = false;
    // Which sensor is drawn: "iis2dlpc", "adxl372" or "adxl362".
    std::string source = "adxl362";
    double x_neg = 0, x_pos = 0, y_neg = 0, y_pos = 0, z_neg = 0, z_pos = 0;
    std::string x_text, y_text, z_text;
    // Unit square, y downwards; beyond full scale lies outside.
    double point_x = 0, point_y = 0;
    shown_object_t object() const;
};
accelerometer_shown_t shown_accelerometer(const sensors_t& s);

}  // namespace plimsy
