#include "ui/compass_calibration_panel_model.hpp"

#include <QVariantMap>
#include <cstdio>

#include "model/sensors.hpp"
#include "ui/tooltip_text.hpp"
#include "ui/palette.hpp"

namespace plimsy {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

template <typename... A>
std::string format(const char* f, A... a) {
    char buf[64];
    std::snprintf(buf, sizeof buf, f, a...);
    return buf;
}

}  // namespace

std::vector<table_row_t> compass_calibration_panel_model_t::table_cells(const compass_c_t& c) {
    const auto step = c.calibration;
    // Raw readings are context, never a result, so they stay muted. An
    // overflow makes every extreme suspect; otherwise the extremes the
    // current step is measuring are picked out.
    auto column = [&](bool measuring) {
        if (c.overflow) return colour_t::orange;
        return measuring ? colour_t::red : colour_t::primary;
    };
    const colour_t plain = column(false);
    using cs = calibration_state_t;

    std::vector<table_row_t> rows;
    // The header split at the same columns as the rows below it.
    rows.push_back({{"axis", plain},
                    {"  raw   ", colour_t::secondary},
                    {"  min   max   ", plain},
                    {"v-min  v-max", plain}});
    rows.push_back({{"x   ", plain},
                    {format("%5i   ", c.x_raw), colour_t::secondary},
                    {format("%5i %5i   ", c.x_min, c.x_max), column(step == cs::xy)},
                    {format("%5i  %5i", c.xv_min, c.xv_max), column(step == cs::xv)}});
    rows.push_back({{"y   ", plain},
                    {format("%5i   ", c.y_raw), colour_t::secondary},
                    {format("%5i %5i   ", c.y_min, c.y_max), column(step == cs::xy)},
                    {format("%5i  %5i", c.yv_min, c.yv_max), column(step == cs::yv)}});
    rows.push_back({{"z   ", plain},
                    {format("%5i   ", c.z_raw), colour_t::secondary},
                    {format("%5i %5i", c.z_min, c.z_max), column(step == cs::z)}});
    return rows;
}

QString compass_calibration_panel_model_t::calibration_s() const {
    return sensors() ? qs(sensors()->compass_c.calibration_s()) : QString();
}

QString compass_calibration_panel_model_t::calibration_btn_s() const {
    // Before the view is set the board is taken to be idle.
    return sensors() ? qs(sensors()->compass_c.calibration_btn_s()) : QString::fromLatin1(calibration_btn_arr[0]);
}

QString compass_calibration_panel_model_t::tilt_s() const {
    if (!sensors() || !sensors()->compass_c.event_tilt) return {};
    return qs(sensors()->compass_c.calibration_tilt_s());
}

QString compass_calibration_panel_model_t::angle_s() const {
    if (!sensors() || !sensors()->compass_c.event_angle) return {};
    return qs(sensors()->compass_c.calibration_angle_s());
}

QColor compass_calibration_panel_model_t::min_colour() const {
    const bool mark = sensors() && sensors()->compass_c.event_min;
    return palette_colour(mark ? colour_t::green : colour_t::primary);
}

QColor compass_calibration_panel_model_t::max_colour() const {
    const bool mark = sensors() && sensors()->compass_c.event_max;
    return palette_colour(mark ? colour_t::green : colour_t::primary);
}

QVariantList compass_calibration_panel_model_t::table() const {
    QVariantList rows;
    if (!sensors()) return rows;
    for (const auto& row : table_cells(sensors()->compass_c)) {
        QVariantList cells;
        for (const auto& cell : row)
            cells.push_back(QVariantMap{{"text", qs(cell.text)}, {"colour", palette_colour(cell.colour)}});
        rows.push_back(cells);
    }
    return rows;
}

QStringList compass_calibration_panel_model_t::table_lines() const {
    QStringList lines;
    if (!sensors()) return lines;
    for (const auto& row : table_cells(sensors()->compass_c)) {
        std::string line;
        for (const auto& cell : row) line += cell.text;
        lines.push_back(qs(line));
    }
    return lines;
}

bool compass_calibration_panel_model_t::overflow() const { return sensors() && sensors()->compass_c.overflow; }

QString compass_calibration_panel_model_t::overflow_s() const {
    return sensors() ? qs(sensors()->compass_c.overflow_s) : QString();
}

bool compass_calibration_panel_model_t::show_direction() const {
    return sensors() && sensors()->compass_c.valid_raw;
}

double compass_calibration_panel_model_t::dir_x() const { return sensors() ? sensors()->compass_c.dir_point().x : 0.0; }
double compass_calibration_panel_model_t::dir_y() const { return sensors() ? sensors()->compass_c.dir_point().y : 0.0; }

QString compass_calibration_panel_model_t::dir_x_s() const {
    return sensors() ? qs(sensors()->compass_c.dir_x_s()) : QString();
}

QString compass_calibration_panel_model_t::dir_y_s() const {
    return sensors() ? qs(sensors()->compass_c.dir_y_s()) : QString();
}

QString compass_calibration_panel_model_t::z_ang_s() const {
    return sensors() ? qs(sensors()->compass_c.z_ang_s()) : QString();
}

double compass_calibration_panel_model_t::anim_time() const {
    return sensors() ? sensors()->compass_c.anim_time : compass_c_t::anim_limit;
}

QVariantMap compass_calibration_panel_model_t::tooltips() const {
    const QString step = calibration_btn_s();
    const char* calibrate = step == QLatin1String("Calibrate") ? "Starts the board's compass calibration"
                            : step == QLatin1String("Finish")  ? "Ends the board's compass calibration"
                                                               : "Moves the board's calibration to its next step";
    return {
        {QStringLiteral("calibrate"), tooltip_text(calibrate, "Ctrl+C")},
        {QStringLiteral("defaults"), tooltip_text("Sends D: the board takes its default calibration", "Ctrl+D")},
        {QStringLiteral("load"), tooltip_text("Sends L: the board loads its saved calibration", "Ctrl+L")},
        {QStringLiteral("reboot"), tooltip_text("Reboots the board", "R")},
        {QStringLiteral("mag"), tooltip_text("Sends M to the board: magnetometer", "M")},
        {QStringLiteral("twoD"), tooltip_text("Sends 2 to the board: 2D calibration", "2")},
        {QStringLiteral("threeD"), tooltip_text("Sends 3 to the board: 3D calibration", "3")},
        {QStringLiteral("compensate"), tooltip_text("Sends c to the board: tilt compensation", "C")},
    };
}

}  // namespace plimsy
