#include "ui/hmc5883_calibration_panel_model.hpp"

#include <cmath>
#include <cstdlib>
#include <QVariantMap>

#include "common/angles.hpp"
#include "common/text.hpp"
#include "model/sensors.hpp"
#include "ui/tooltip_text.hpp"
#include "ui/palette.hpp"

namespace plimsy {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

// The magnetometer refuses to calibrate on counts this large (they could
// overflow its 16-bit range arithmetic); the table shows that they came.
bool near_limit(std::int16_t v) { return std::abs(static_cast<int>(v)) >= 16384; }

float degrees(double radians) { return static_cast<float>(radians * deg_per_rad); }
float asin_degrees(double v) { return degrees(std::asin(clamp_pm1(v))); }

// Colours by what a cell shows: the raw input recedes, the range that the
// current step is recording is red, and everything but the raw input turns
// orange while the counts are out of range.
struct painter_t {
    bool overflow;
    colour_t raw() const { return colour_t::secondary; }
    colour_t plain() const { return overflow ? colour_t::orange : colour_t::primary; }
    colour_t range(bool measuring) const {
        if (overflow) return colour_t::orange;
        return measuring ? colour_t::red : colour_t::primary;
    }
};

}  // namespace

QString hmc5883_calibration_panel_model_t::step_text() const {
    return sensors() ? qs(sensors()->hmc5883.calibration_s()) : QString();
}
QString hmc5883_calibration_panel_model_t::step_button() const {
    return sensors() ? qs(sensors()->hmc5883.calibration_btn_s()) : QString();
}
QString hmc5883_calibration_panel_model_t::compensate_button() const {
    return sensors() && sensors()->hmc5883.compensate ? QStringLiteral("compensate") : QStringLiteral("disabled");
}
QColor hmc5883_calibration_panel_model_t::compensate_colour() const {
    return palette_colour(sensors() && sensors()->hmc5883.compensate ? colour_t::accent : colour_t::secondary);
}
QString hmc5883_calibration_panel_model_t::mode_button() const {
    return sensors() && sensors()->hmc5883.compensate_3d ? QStringLiteral("3D") : QStringLiteral("2D");
}
QString hmc5883_calibration_panel_model_t::table_header() const {
    return QStringLiteral("axis  raw  offset  [  min   max]  offset    div");
}
QColor hmc5883_calibration_panel_model_t::header_colour() const { return palette_colour(colour_t::secondary); }

std::vector<hmc5883_calibration_panel_model_t::row_t> hmc5883_calibration_panel_model_t::rows() const {
    const sensors_t* s = sensors();
    if (!s) return {};
    const hmc5883_t& m = s->hmc5883;
    const mpu6050_t& mpu = s->mpu6050;
    const painter_t paint{near_limit(m.x) || near_limit(m.y) || near_limit(m.z)};
    const calibration_state_t step = m.calibration;
    const bool xy_step = step == calibration_state_t::xy;

    std::vector<row_t> rows;
    const auto axis_row = [&](const char* label, const axis_values_t& v, bool measuring) {
        rows.push_back({
            {label, paint.plain()},
            {cformat("%6i", v.raw), paint.raw()},
            {cformat(" %7.1f", static_cast<double>(v.centred)), paint.plain()},
            {cformat("  [%5i  %4i]", v.min, v.max), paint.range(measuring)},
            {cformat(" %7.1f %6.1f", static_cast<double>(v.offset), static_cast<double>(v.divisor)), paint.plain()},
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
        rows.push_back({
            {label, paint.plain()},
            {cformat("%5.1f", static_cast<double>(asin_degrees(gravity))), paint.raw()},
            {cformat("  %6.1f", static_cast<double>(correction)), paint.plain()},
            {cformat("  [%5i  %4i]", v_min, v_max), paint.range(measuring)},
            {cformat(" %7.1f", static_cast<double>(half)), paint.plain()},
        });
    };
    tilt_row("ax  ", mpu.gax, m.x_a, m.xv_min, m.xv_max, m.xv_half(), step == calibration_state_t::xv);
    tilt_row("ay  ", mpu.gay, m.y_a, m.yv_min, m.yv_max, m.yv_half(), step == calibration_state_t::yv);
    // z is never corrected; its row shows how far the board is off level
    // in all (the angle between its z axis and the vertical) next to the
    // correction that stays 0, so a large tilt explains a drifting heading.
    rows.push_back({
        {"az  ", paint.plain()},
        {cformat("%5.1f", static_cast<double>(degrees(std::acos(clamp_pm1(mpu.gaz))))), paint.raw()},
        {cformat("  %6.1f", static_cast<double>(m.z_a)), paint.plain()},
    });

    // Summary of the horizontal plane: the heading, and the strength of the
    // horizontal field in percent of the calibrated range (near 100 when
    // the calibration and the tilt correction fit).
    float heading = degrees(m.heading());
    if (heading < 0) heading += 360.0f;
    const float strength = std::hypot(m.x_n(), m.y_n()) * 100.0f;
    // A degenerate range gives no number: a dash, never "nan" or "inf".
    const auto shown = [](const char* format, const char* blank, float v) {
        return std::isfinite(v) ? cformat(format, static_cast<double>(v)) : std::string(blank);
    };
    rows.push_back({
        {"xy ", paint.plain()},
        {shown("%6.1f", "    --", heading), paint.raw()},
        {shown("  %6.1f", "      --", strength), paint.plain()},
    });
    // The accelerometer's own tilt angles about x and y, before the
    // gyroscope filter; against the ax and ay rows they show its lag.
    rows.push_back({
        {"aa ", paint.plain()},
        {cformat("%6.1f", static_cast<double>(degrees(mpu.rax_r))), paint.raw()},
        {cformat("  %6.1f", static_cast<double>(degrees(mpu.ray_r))), paint.plain()},
    });
    return rows;
}

QVariantList hmc5883_calibration_panel_model_t::table() const {
    QVariantList out;
    for (const row_t& r : rows()) {
        QVariantList cells;
        for (int c = 0; c < columns; ++c) {
            QVariantMap cell;
            if (c < static_cast<int>(r.size())) {
                cell.insert(QStringLiteral("text"), qs(r[c].text));
                cell.insert(QStringLiteral("colour"), palette_colour(r[c].colour));
            } else {
                cell.insert(QStringLiteral("text"), QString());
                cell.insert(QStringLiteral("colour"), palette_colour(colour_t::clear));
            }
            cells.append(cell);
        }
        out.append(QVariant(cells));
    }
    return out;
}

void hmc5883_calibration_panel_model_t::save() {
    if (!sensors()) return;
    view()->tick();
    sensors()->hmc5883_calibration_save(1);
}

void hmc5883_calibration_panel_model_t::load() {
    if (!sensors()) return;
    view()->tick();
    sensors()->hmc5883_calibration_load(1);
}

void hmc5883_calibration_panel_model_t::next_step() {
    if (!sensors()) return;
    view()->tick();
    sensors()->hmc5883_calibration_next();
}

void hmc5883_calibration_panel_model_t::toggle_compensate() {
    if (!sensors()) return;
    view()->tick();
    sensors()->set_hmc5883_compensate(!sensors()->hmc5883.compensate);
}

void hmc5883_calibration_panel_model_t::toggle_3d() {
    if (!sensors()) return;
    view()->tick();
    sensors()->set_hmc5883_compensate_3d(!sensors()->hmc5883.compensate_3d);
}

void hmc5883_calibration_panel_model_t::reset_gyro() {
    if (!sensors()) return;
    view()->tick();
    sensors()->mpu6050_reset_gyro();
}

QVariantMap hmc5883_calibration_panel_model_t::tooltips() const {
    const bool complete = sensors() && sensors()->hmc5883.calibration == calibration_state_t::complete;
    return {
        {QStringLiteral("save"), tooltip_text("Keeps this calibration as the spare copy", "Ctrl+S")},
        {QStringLiteral("load"), tooltip_text("Restores the spare copy of the calibration", "Ctrl+L")},
        {QStringLiteral("step"), tooltip_text(complete ? "Discards the calibration and starts it again"
                                                       : "Moves the calibration to its next step",
                                              "Ctrl+C")},
        {QStringLiteral("compensate"), tooltip_text("Tilt compensation on or off", "C")},
        {QStringLiteral("mode"), tooltip_text("Tilt compensation in 2D or in 3D", "3")},
        {QStringLiteral("reset_gyro"), tooltip_text("Resets the motion sensor's gyroscope", "Ctrl+R")},
    };
}

}  // namespace plimsy
