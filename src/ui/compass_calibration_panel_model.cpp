#include "ui/compass_calibration_panel_model.hpp"

#include <QVariantMap>

#include "model/sensors.hpp"
#include "ui/shown_colour.hpp"
#include "ui/tooltip_text.hpp"

namespace plimsy {

compass_c_shown_t compass_calibration_panel_model_t::shown() const {
    return sensors() ? shown_compass_c(sensors()->compass_c) : compass_c_shown_t{};
}

QString compass_calibration_panel_model_t::calibration_s() const { return qs(shown().calibration_s); }
// Before the view is set the board is taken to be idle.
QString compass_calibration_panel_model_t::calibration_btn_s() const { return qs(shown().calibration_btn_s); }
QString compass_calibration_panel_model_t::tilt_s() const { return qs(shown().tilt_s); }
QString compass_calibration_panel_model_t::angle_s() const { return qs(shown().angle_s); }
QColor compass_calibration_panel_model_t::min_colour() const { return shown_colour(shown().min_colour); }
QColor compass_calibration_panel_model_t::max_colour() const { return shown_colour(shown().max_colour); }

QVariantList compass_calibration_panel_model_t::table() const {
    QVariantList rows;
    for (const auto& row : shown().table) {
        QVariantList cells;
        for (const auto& cell : row)
            cells.push_back(QVariantMap{{"text", qs(cell.text)}, {"colour", shown_colour(cell.colour)}});
        rows.push_back(cells);
    }
    return rows;
}

QStringList compass_calibration_panel_model_t::table_lines() const {
    QStringList lines;
    for (const auto& line : shown().table_lines()) lines.push_back(qs(line));
    return lines;
}

bool compass_calibration_panel_model_t::overflow() const { return shown().overflow; }
QString compass_calibration_panel_model_t::overflow_s() const { return qs(shown().overflow_s); }
bool compass_calibration_panel_model_t::show_direction() const { return shown().show_direction; }
double compass_calibration_panel_model_t::dir_x() const { return shown().dir_x; }
double compass_calibration_panel_model_t::dir_y() const { return shown().dir_y; }
QString compass_calibration_panel_model_t::dir_x_s() const { return qs(shown().dir_x_s); }
QString compass_calibration_panel_model_t::dir_y_s() const { return qs(shown().dir_y_s); }
QString compass_calibration_panel_model_t::z_ang_s() const { return qs(shown().z_ang_s); }
double compass_calibration_panel_model_t::anim_time() const { return shown().anim_time; }

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
