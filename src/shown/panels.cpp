#include "shown/panels.hpp"

#include <cmath>
#include <cstdlib>

#include "common/angles.hpp"
#include "common/text.hpp"
#include "model/accelerometer.hpp"
#include "model/sensors.hpp"
#include "orientation/heading.hpp"

namespace plimsy {

namespace {

// Builds an object's value list in the order the values are added.
struct values_t {
    shown_object_t out;
    explicit values_t(const char* name) { out.name = name; }
    values_t& add(std::string name, double v) {
        out.values.push_back({std::move(name), v});
        return *this;
    }
    values_t& add(std::string name, bool v) {
        out.values.push_back({std::move(name), v});
        return *this;
    }
    values_t& add(std::string name, std::string v) {
        out.values.push_back({std::move(name), std::move(v)});
        return *this;
    }
    values_t& add(std::string name, const char* v) { return add(std::move(name), std::string(v)); }
    // A reading line: its texts and its bar.
    values_t& add(const std::string& name, const shown_row_t& r) {
        add(name + "_title", r.title);
        add(name, r.value);
        add(name + "_unit", r.unit);
        add(name + "_fraction", r.fraction);
        return *this;
    }
    // A table of `rows` rows of `columns` cells: per row its line, then the
    // colour of each cell ("clear" where a short row has no cell), so the
    // columns stay the same whatever the rows hold.
    values_t& add_table(const std::string& name, const std::vector<shown_cells_t>& table, int rows, int columns) {
        for (int r = 0; r < rows; ++r) {
            const shown_cells_t* row = r < static_cast<int>(table.size()) ? &table[static_cast<std::size_t>(r)] : nullptr;
            std::string line;
            if (row)
                for (const auto& cell : *row) line += cell.text;
            const std::string prefix = name + "_" + std::to_string(r);
            add(prefix, line);
            for (int c = 0; c < columns; ++c) {
                const bool has = row && c < static_cast<int>(row->size());
                add(prefix + "_colour_" + std::to_string(c), has ? (*row)[static_cast<std::size_t>(c)].colour : "clear");
            }
        }
        return *this;
    }
};

std::string hex(const rgb_t& c) {
    auto byte = [](double v) { return static_cast<int>(std::lround(clamp01(v) * 255.0)); };
    return cformat("#%02x%02x%02x", byte(c.r), byte(c.g), byte(c.b));
}

std::string one_decimal(double v) { return cformat("%.1f", v); }

// A component of a degenerate calibration is not a number: a dash, never "nan".
std::string component(double v) { return std::isfinite(v) ? cformat("%.2f", v) : std::string(no_heading_text); }

// Counts this large could overflow the magnetometer's 16-bit range
// arithmetic, so its calibration refuses them; the table shows that they came.
bool near_limit(std::int16_t v) { return std::abs(static_cast<int>(v)) >= 16384; }

float degrees(double radians) { return static_cast<float>(radians * deg_per_rad); }
float asin_degrees(double v) { return degrees(std::asin(clamp_pm1(v))); }

}  // namespace

// --- compass and gravity ---------------------------------------------------

compass_shown_t::compass_shown_t() : anim_time(compass_t::anim_limit) {}

compass_shown_t shown_compass(const compass_t& c) {
    compass_shown_t s;
    s.heading = c.heading * deg_per_rad;
    s.anim_time = c.anim_time;
    s.heading_s = c.heading_s();
    return s;
}

shown_object_t compass_shown_t::object() const {
    return values_t("compass").add("heading", heading).add("anim_time", anim_time).add("heading_s", heading_s).out;
}

gravity_shown_t::gravity_shown_t() : anim_time(gravity_t::anim_limit) {}

gravity_shown_t shown_gravity(const gravity_t& g) {
    gravity_shown_t s;
    s.x_s = one_decimal(g.x);
    s.y_s = one_decimal(g.y);
    s.z_s = one_decimal(g.z);
    s.rax = g.rax_r;
    s.ray = g.ray_r;
    s.raz = g.raz_r;
    s.anim_time = g.anim_time;
    return s;
}

shown_object_t gravity_shown_t::object() const {
    return values_t("gravity")
        .add("x_s", x_s)
        .add("y_s", y_s)
        .add("z_s", z_s)
        .add("rax", rax)
        .add("ray", ray)
        .add("raz", raz)
        .add("anim_time", anim_time)
        .out;
}

// --- compass calibration ---------------------------------------------------

compass_c_shown_t::compass_c_shown_t() : anim_time(compass_c_t::anim_limit) {}

compass_c_shown_t shown_compass_c(const compass_c_t& c) {
    compass_c_shown_t s;
    s.calibration_s = c.calibration_s();
    s.calibration_btn_s = c.calibration_btn_s();
    if (c.event_tilt) s.tilt_s = c.calibration_tilt_s();
    if (c.event_angle) s.angle_s = c.calibration_angle_s();
    s.min_colour = c.event_min ? "green" : "primary";
    s.max_colour = c.event_max ? "green" : "primary";

    // Raw readings are context, never a result, so they stay muted. An
    // overflow makes every extreme suspect; otherwise the extremes the
    // current step is measuring are picked out.
    const auto step = c.calibration;
    const auto column = [&](bool measuring) -> std::string {
        if (c.overflow) return "orange";
        return measuring ? "red" : "primary";
    };
    const std::string plain = column(false);
    using cs = calibration_state_t;
    // The header split at the same columns as the rows below it.
    s.table.push_back({{"axis", plain}, {"  raw   ", "secondary"}, {"  min   max   ", plain}, {"v-min  v-max", plain}});
    s.table.push_back({{"x   ", plain},
                       {cformat("%5i   ", c.x_raw), "secondary"},
                       {cformat("%5i %5i   ", c.x_min, c.x_max), column(step == cs::xy)},
                       {cformat("%5i  %5i", c.xv_min, c.xv_max), column(step == cs::xv)}});
    s.table.push_back({{"y   ", plain},
                       {cformat("%5i   ", c.y_raw), "secondary"},
                       {cformat("%5i %5i   ", c.y_min, c.y_max), column(step == cs::xy)},
                       {cformat("%5i  %5i", c.yv_min, c.yv_max), column(step == cs::yv)}});
    s.table.push_back({{"z   ", plain},
                       {cformat("%5i   ", c.z_raw), "secondary"},
                       {cformat("%5i %5i", c.z_min, c.z_max), column(step == cs::z)}});

    s.overflow = c.overflow;
    s.overflow_s = c.overflow_s;
    s.show_direction = c.valid_raw;
    const auto dir = c.dir_point();
    s.dir_x = dir.x;
    s.dir_y = dir.y;
    s.dir_x_s = c.dir_x_s();
    s.dir_y_s = c.dir_y_s();
    s.z_ang_s = c.z_ang_s();
    s.anim_time = c.anim_time;
    return s;
}

std::vector<std::string> compass_c_shown_t::table_lines() const {
    std::vector<std::string> lines;
    for (const auto& row : table) {
        std::string line;
        for (const auto& cell : row) line += cell.text;
        lines.push_back(std::move(line));
    }
    return lines;
}

shown_object_t compass_c_shown_t::object() const {
    return values_t("compass_c")
        .add("calibration_s", calibration_s)
        .add("calibration_btn_s", calibration_btn_s)
        .add("tilt_s", tilt_s)
        .add("angle_s", angle_s)
        .add("min_colour", min_colour)
        .add("max_colour", max_colour)
        .add_table("table", table, 4, 4)
        .add("overflow", overflow)
        .add("overflow_s", overflow_s)
        .add("show_direction", show_direction)
        .add("dir_x", dir_x)
        .add("dir_y", dir_y)
        .add("dir_x_s", dir_x_s)
        .add("dir_y_s", dir_y_s)
        .add("z_ang_s", z_ang_s)
        .add("anim_time", anim_time)
        .out;
}

// --- HMC5883 and MPU6050 ---------------------------------------------------

hmc5883_shown_t::hmc5883_shown_t() : anim_time(hmc5883_t::anim_limit) {}

hmc5883_shown_t shown_hmc5883(const sensors_t& sensors) {
    const hmc5883_t& m = sensors.hmc5883;
    const mpu6050_t& mpu = sensors.mpu6050;
    hmc5883_shown_t s;
    const double dial = m.heading() * deg_per_rad;
    s.heading = std::isfinite(dial) ? dial : 0.0;  // the dial rests at north
    s.anim_time = m.anim_time;
    s.heading_s = m.heading_s();
    s.heading_text = s.heading_s == no_heading_text ? s.heading_s : s.heading_s + "\u00BA";
    s.field_x = component(m.x_n());
    s.field_y = component(m.y_n());
    s.field_z = m.z_n_s();
    if (m.calibration != calibration_state_t::complete)
        s.compensation = "calibrating";
    else if (!m.compensate)
        s.compensation = "off";
    else
        s.compensation = m.compensate_3d ? "3D" : "2D";
    s.step_text = m.calibration_s();
    s.step_button = m.calibration_btn_s();
    s.compensate_button = m.compensate ? "compensate" : "disabled";
    s.compensate_colour = m.compensate ? "accent" : "secondary";
    s.mode_button = m.compensate_3d ? "3D" : "2D";

    // Colours by what a cell shows: the raw input recedes, the range that
    // the current step is recording is red, and everything but the raw
    // input turns orange while the counts are out of range.
    const bool overflow = near_limit(m.x) || near_limit(m.y) || near_limit(m.z);
    const std::string raw = "secondary";
    const std::string plain = overflow ? "orange" : "primary";
    const auto range = [&](bool measuring) -> std::string {
        if (overflow) return "orange";
        return measuring ? "red" : "primary";
    };
    const calibration_state_t step = m.calibration;
    const bool xy_step = step == calibration_state_t::xy;

    const auto axis_row = [&](const char* label, const axis_values_t& v, bool measuring) {
        s.table.push_back({
            {label, plain},
            {cformat("%6i", v.raw), raw},
            {cformat(" %7.1f", static_cast<double>(v.centred)), plain},
            {cformat("  [%5i  %4i]", v.min, v.max), range(measuring)},
            {cformat(" %7.1f %6.1f", static_cast<double>(v.offset), static_cast<double>(v.divisor)), plain},
        });
    };
    // The first step records every axis's range, the last one z's again
    // with the board upside down.
    axis_row("x  ", m.x_axis(), xy_step);
    axis_row("y  ", m.y_axis(), xy_step);
    axis_row("z  ", m.z_axis(), xy_step || step == calibration_state_t::z);

    // Tilt rows: the tilt about the axis from the fused gravity direction
    // (degrees), the correction it adds to the count, the vertical-field
    // range measured for the axis, and the half field the correction
    // scales with. Degrees read better than the sine the filter yields.
    const auto tilt_row = [&](const char* label, double gravity, float correction, std::int16_t v_min,
                              std::int16_t v_max, float half, bool measuring) {
        s.table.push_back({
            {label, plain},
            {cformat("%5.1f", static_cast<double>(asin_degrees(gravity))), raw},
            {cformat("  %6.1f", static_cast<double>(correction)), plain},
            {cformat("  [%5i  %4i]", v_min, v_max), range(measuring)},
            {cformat(" %7.1f", static_cast<double>(half)), plain},
        });
    };
    tilt_row("ax  ", mpu.gax, m.x_a, m.xv_min, m.xv_max, m.xv_half(), step == calibration_state_t::xv);
    tilt_row("ay  ", mpu.gay, m.y_a, m.yv_min, m.yv_max, m.yv_half(), step == calibration_state_t::yv);
    // z is never corrected; its row shows how far the board is off level
    // in all (the angle between its z axis and the vertical) next to the
    // correction that stays 0, so a large tilt explains a drifting heading.
    s.table.push_back({
        {"az  ", plain},
        {cformat("%5.1f", static_cast<double>(degrees(std::acos(clamp_pm1(mpu.gaz))))), raw},
        {cformat("  %6.1f", static_cast<double>(m.z_a)), plain},
    });

    // Summary of the horizontal plane: the heading, and the strength of the
    // horizontal field in percent of the calibrated range (near 100 when
    // the calibration and the tilt correction fit).
    float heading = degrees(m.heading());
    if (heading < 0) heading += 360.0f;
    const float strength = std::hypot(m.x_n(), m.y_n()) * 100.0f;
    // A degenerate range gives no number: a dash, never "nan" or "inf".
    const auto number = [](const char* format, const char* blank, float v) {
        return std::isfinite(v) ? cformat(format, static_cast<double>(v)) : std::string(blank);
    };
    s.table.push_back({
        {"xy ", plain},
        {number("%6.1f", "    --", heading), raw},
        {number("  %6.1f", "      --", strength), plain},
    });
    // The accelerometer's own tilt angles about x and y, before the
    // gyroscope filter; against the ax and ay rows they show its lag.
    s.table.push_back({
        {"aa ", plain},
        {cformat("%6.1f", static_cast<double>(degrees(mpu.rax_r))), raw},
        {cformat("  %6.1f", static_cast<double>(degrees(mpu.ray_r))), plain},
    });
    return s;
}

shown_object_t hmc5883_shown_t::object() const {
    return values_t("hmc5883")
        .add("heading", heading)
        .add("anim_time", anim_time)
        .add("heading_s", heading_s)
        .add("heading_text", heading_text)
        .add("field_x", field_x)
        .add("field_y", field_y)
        .add("field_z", field_z)
        .add("compensation", compensation)
        .add("step_text", step_text)
        .add("step_button", step_button)
        .add("compensate_button", compensate_button)
        .add("compensate_colour", compensate_colour)
        .add("mode_button", mode_button)
        .add("table_header", table_header)
        .add("header_colour", header_colour)
        .add_table("table", table, table_rows, table_columns)
        .out;
}

mpu6050_shown_t shown_mpu6050(const sensors_t& sensors) {
    const mpu6050_t& mpu = sensors.mpu6050;
    mpu6050_shown_t s;
    s.roll = cformat("%.1f\u00BA", mpu.sgx);
    s.pitch = cformat("%.1f\u00BA", mpu.sgy);
    s.yaw = cformat("%.1f\u00BA", static_cast<double>(mpu.gz));
    return s;
}

shown_object_t mpu6050_shown_t::object() const {
    return values_t("mpu6050").add("roll", roll).add("pitch", pitch).add("yaw", yaw).out;
}

hmc5883n_shown_t::hmc5883n_shown_t() : anim_time(hmc5883n_t::anim_limit) {}

hmc5883n_shown_t shown_hmc5883n(const hmc5883n_t& m) {
    hmc5883n_shown_t s;
    s.heading = m.heading() * deg_per_rad;
    s.anim_time = m.anim_time;
    s.heading_s = m.heading_s();
    s.heading_text = s.heading_s + "\u00BA";
    s.field_x = cformat("%.2f", static_cast<double>(m.x));
    s.field_y = cformat("%.2f", static_cast<double>(m.y));
    s.field_z = cformat("%.2f", static_cast<double>(m.z));
    s.dir_px = m.dir_px();
    s.dir_py = m.dir_py();
    s.dir_mx = m.dir_mx();
    s.dir_my = m.dir_my();
    return s;
}

shown_object_t hmc5883n_shown_t::object() const {
    return values_t("hmc5883n")
        .add("heading", heading)
        .add("anim_time", anim_time)
        .add("heading_s", heading_s)
        .add("heading_text", heading_text)
        .add("field_x", field_x)
        .add("field_y", field_y)
        .add("field_z", field_z)
        .add("dir_px", dir_px)
        .add("dir_py", dir_py)
        .add("dir_mx", dir_mx)
        .add("dir_my", dir_my)
        .out;
}

// --- gyroscope and traces --------------------------------------------------

gyroscope_shown_t::gyroscope_shown_t() : anim_time(gyroscope_t::anim_limit) {}

gyroscope_shown_t shown_gyroscope(const gyroscope_t& g) {
    gyroscope_shown_t s;
    s.x_text = one_decimal(g.x * 180.0 / pi);
    s.y_text = one_decimal(g.y * 180.0 / pi);
    s.z_text = one_decimal(g.z * 180.0 / pi);
    s.anim_time = g.anim_time;
    return s;
}

shown_object_t gyroscope_shown_t::object() const {
    return values_t("gyroscope")
        .add("x_text", x_text)
        .add("y_text", y_text)
        .add("z_text", z_text)
        .add("anim_time", anim_time)
        .out;
}

trace_shown_t shown_trace(const trace_t& t) {
    trace_shown_t s;
    s.hold_text = t.hold_label();
    s.held = t.hold();
    s.show_reset = t.show_reset();
    const auto series = t.series();
    for (std::size_t i = 0; i < series.size(); ++i) {
        s.legend.push_back(series[i].name);
        s.legend_colours.push_back(colour_name(t.enabled(static_cast<int>(i)) ? series[i].colour : colour_t::tertiary));
    }
    s.count = t.count();
    s.count_valid = t.count_valid();
    return s;
}

shown_object_t trace_shown_t::object() const {
    values_t v("trace");
    v.add("hold_text", hold_text).add("held", held).add("show_reset", show_reset);
    for (int i = 0; i < legend_slots; ++i) {
        const auto k = static_cast<std::size_t>(i);
        v.add("legend_" + std::to_string(i), k < legend.size() ? legend[k] : std::string());
        v.add("legend_colour_" + std::to_string(i), k < legend_colours.size() ? legend_colours[k] : "clear");
    }
    v.add("count", count).add("count_valid", count_valid);
    return v.out;
}

// --- colour light ----------------------------------------------------------

std::string factor_text(float factor) {
    if (factor == 1.0f) return {};
    return cformat(" * %.2f", static_cast<double>(factor));
}

bh1749_shown_t shown_bh1749(const bh1749_t& c) {
    bh1749_shown_t s;
    s.infrared = c.i_s();
    s.infrared_factor = factor_text(c.i_c);
    s.infrared_fraction = clamp01(c.i_n());
    s.infrared_colour = c.colour_i();
    s.red = c.r_s();
    s.green = c.g_s();
    s.blue = c.b_s();
    s.red_factor = factor_text(c.r_c);
    s.green_factor = factor_text(c.g_c);
    s.blue_factor = factor_text(c.b_c);
    s.red_fraction = clamp01(c.r_n());
    s.green_fraction = clamp01(c.g_n());
    s.blue_fraction = clamp01(c.b_n());
    s.swatch = c.colour();
    return s;
}

shown_object_t bh1749_shown_t::object() const {
    return values_t("bh1749")
        .add("infrared", infrared)
        .add("infrared_factor", infrared_factor)
        .add("infrared_fraction", infrared_fraction)
        .add("infrared_colour", hex(infrared_colour))
        .add("red", red)
        .add("red_factor", red_factor)
        .add("red_fraction", red_fraction)
        .add("red_colour", red_colour)
        .add("green", green)
        .add("green_factor", green_factor)
        .add("green_fraction", green_fraction)
        .add("green_colour", green_colour)
        .add("blue", blue)
        .add("blue_factor", blue_factor)
        .add("blue_fraction", blue_fraction)
        .add("blue_colour", blue_colour)
        .add("swatch", hex(swatch))
        .out;
}

// --- environment -----------------------------------------------------------

double temperature_fraction(float celsius) { return clamp01(celsius / 50.0); }
double humidity_fraction(float percent) { return clamp01(percent / 100.0); }
double pressure_fraction(double host_pascals) { return clamp01(host_pascals / 10000.0 - 9.5); }
double air_resistance_fraction(std::uint32_t ohms) { return clamp01((ohms / 1000.0 - 100.0) / 700.0); }

bme680_shown_t shown_bme680(const bme680_t& r, double host_pascals) {
    bme680_shown_t s;
    s.temperature = {"Temperature", cformat("%.2f", static_cast<double>(r.temp)), "\u00BAC", temperature_fraction(r.temp)};
    // The board reports kilopascals; people read hectopascals.
    s.pressure = {"Pressure", cformat("%.2f", static_cast<double>(r.pressure * 10)), "hPa",
                  pressure_fraction(host_pascals)};
    s.humidity = {"Humidity", cformat("%.2f", static_cast<double>(r.humidity)), "%", humidity_fraction(r.humidity)};
    s.air_resistance = {"Air resistance", cformat("%.2f", r.gas / 1000.0), "k\u2126", air_resistance_fraction(r.gas)};
    return s;
}

shown_object_t bme680_shown_t::object() const {
    return values_t("bme680")
        .add("temperature", temperature)
        .add("pressure", pressure)
        .add("humidity", humidity)
        .add("air_resistance", air_resistance)
        .out;
}

shtc3_shown_t shown_shtc3(const shtc3_t& r) {
    shtc3_shown_t s;
    s.temperature = {"Temperature", cformat("%.2f", static_cast<double>(r.temp)), "\u00BAC", temperature_fraction(r.temp)};
    s.humidity = {"Humidity", cformat("%.2f", static_cast<double>(r.humidity)), "%", humidity_fraction(r.humidity)};
    return s;
}

shown_object_t shtc3_shown_t::object() const {
    return values_t("shtc3").add("temperature", temperature).add("humidity", humidity).out;
}

adp536x_shown_t shown_adp536x(const adp536x_t& r) {
    adp536x_shown_t s;
    s.battery = {"Battery", std::to_string(r.level), cformat("%.2f", r.voltage / 1000.0) + " V",
                 clamp01(r.level / 100.0)};
    return s;
}

shown_object_t adp536x_shown_t::object() const { return values_t("adp536x").add("battery", battery).out; }

// --- events, clock ---------------------------------------------------------

std::string event_text_colour(bool on) { return on ? "white" : "tertiary"; }
std::string event_background(bool on) { return on ? "red" : "secondary_system_background"; }

gavrin3_events_shown_t::gavrin3_events_shown_t()
    : pir_text_colour(event_text_colour(false)),
      pir_background(event_background(false)),
      alarm_text_colour(event_text_colour(false)),
      alarm_background(event_background(false)) {}

gavrin3_events_shown_t shown_gavrin3_events(const gavrin3_events_t& e) {
    gavrin3_events_shown_t s;
    // Reading the flags lets an event whose hold time is over go out.
    s.pir = e.PIR();
    s.alarm = e.alarm();
    s.pir_text_colour = event_text_colour(s.pir);
    s.pir_background = event_background(s.pir);
    s.alarm_text_colour = event_text_colour(s.alarm);
    s.alarm_background = event_background(s.alarm);
    return s;
}

shown_object_t gavrin3_events_shown_t::object() const {
    return values_t("gavrin3_events")
        .add("pir", pir)
        .add("pir_text_colour", pir_text_colour)
        .add("pir_background", pir_background)
        .add("alarm", alarm)
        .add("alarm_text_colour", alarm_text_colour)
        .add("alarm_background", alarm_background)
        .out;
}

rtc_shown_t shown_rtc(const rtc_t& r) { return {r.format_s()}; }

shown_object_t rtc_shown_t::object() const { return values_t("rtc").add("format_s", format_s).out; }

// --- accelerometer ---------------------------------------------------------

accelerometer_shown_t shown_accelerometer(const sensors_t& sensors) {
    // The model's own view is made on first use; an equal one on the stack
    // reads the same values without changing the model.
    const accelerometer_t a(sensors);
    accelerometer_shown_t s;
    s.high_g = !sensors.adxl372.hold_expired();
    s.title = s.high_g ? "high-g" : "Accelerometer";
    switch (a.source()) {
        case accelerometer_t::source_t::iis2dlpc: s.source = "iis2dlpc"; break;
        case accelerometer_t::source_t::adxl372: s.source = "adxl372"; break;
        case accelerometer_t::source_t::adxl362: s.source = "adxl362"; break;
    }
    s.x_neg = a.x_neg();
    s.x_pos = a.x_pos();
    s.y_neg = a.y_neg();
    s.y_pos = a.y_pos();
    s.z_neg = a.z_neg();
    s.z_pos = a.z_pos();
    s.x_text = a.x_s();
    s.y_text = a.y_s();
    s.z_text = a.z_s();
    const auto p = a.xy_point();
    s.point_x = p.x;
    s.point_y = p.y;
    return s;
}

shown_object_t accelerometer_shown_t::object() const {
    return values_t("accelerometer")
        .add("title", title)
        .add("high_g", high_g)
        .add("source", source)
        .add("x_neg", x_neg)
        .add("x_pos", x_pos)
        .add("y_neg", y_neg)
        .add("y_pos", y_pos)
        .add("z_neg", z_neg)
        .add("z_pos", z_pos)
        .add("x_text", x_text)
        .add("y_text", y_text)
        .add("z_text", z_text)
        .add("point_x", point_x)
        .add("point_y", point_y)
        .out;
}

}  // namespace plimsy
