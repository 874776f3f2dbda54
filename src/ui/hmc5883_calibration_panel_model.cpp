#include "ui/hmc5883_calibration_panel_model.hpp"

#include <QVariantMap>

#include "model/sensors.hpp"
#include "ui/shown_colour.hpp"
#include "ui/tooltip_text.hpp"

namespace plimsy {

hmc5883_shown_t hmc5883_calibration_panel_model_t::shown() const {
    return sensors() ? shown_hmc5883(*sensors()) : hmc5883_shown_t{};
}

QString hmc5883_calibration_panel_model_t::step_text() const { return qs(shown().step_text); }
QString hmc5883_calibration_panel_model_t::step_button() const { return qs(shown().step_button); }
QString hmc5883_calibration_panel_model_t::compensate_button() const { return qs(shown().compensate_button); }
QColor hmc5883_calibration_panel_model_t::compensate_colour() const { return shown_colour(shown().compensate_colour); }
QString hmc5883_calibration_panel_model_t::mode_button() const { return qs(shown().mode_button); }
QString hmc5883_calibration_panel_model_t::table_header() const { return qs(hmc5883_shown_t{}.table_header); }
QColor hmc5883_calibration_panel_model_t::header_colour() const { return shown_colour(hmc5883_shown_t{}.header_colour); }

QVariantList hmc5883_calibration_panel_model_t::table() const {
    QVariantList out;
    for (const shown_cells_t& r : shown().table) {
        QVariantList cells;
        for (int c = 0; c < columns; ++c) {
            const bool has = c < static_cast<int>(r.size());
            QVariantMap cell;
            cell.insert(QStringLiteral("text"), has ? qs(r[static_cast<std::size_t>(c)].text) : QString());
            cell.insert(QStringLiteral("colour"), shown_colour(has ? r[static_cast<std::size_t>(c)].colour : "clear"));
            cells.append(cell);
        }
        out.append(QVariant(cells));
    }
    return out;
}

void hmc5883_calibration_panel_model_t::save() {
    if (!sensors()) return;
    view()->act(local_action_t::hmc5883_calibration_save, std::int64_t{1});
}

void hmc5883_calibration_panel_model_t::load() {
    if (!sensors()) return;
    view()->act(local_action_t::hmc5883_calibration_load, std::int64_t{1});
}

void hmc5883_calibration_panel_model_t::next_step() {
    if (!sensors()) return;
    view()->act(local_action_t::hmc5883_calibration_next);
}

void hmc5883_calibration_panel_model_t::toggle_compensate() {
    if (!sensors()) return;
    view()->act(local_action_t::hmc5883_compensate, !sensors()->hmc5883.compensate);
}

void hmc5883_calibration_panel_model_t::toggle_3d() {
    if (!sensors()) return;
    view()->act(local_action_t::hmc5883_compensate_3d, !sensors()->hmc5883.compensate_3d);
}

void hmc5883_calibration_panel_model_t::reset_gyro() {
    if (!sensors()) return;
    view()->act(local_action_t::mpu6050_reset_gyro);
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
