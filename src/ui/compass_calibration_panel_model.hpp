#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <string>
#include <vector>

#include "shown/panels.hpp"
#include <QVariantMap>

#include "ui/panel_model.hpp"

namespace plimsy {

// The compass calibration panel: the step the board is in, its warnings,
// the label of the button that moves on, and the table of raw values and
// extremes with the columns the current step measures picked out.
class compass_calibration_panel_model_t : public panel_model_t {
    Q_OBJECT
    QML_NAMED_ELEMENT(CompassCalibrationPanelModel)

    // What each button does and its key, by button.
    Q_PROPERTY(QVariantMap tooltips READ tooltips NOTIFY changed)
    Q_PROPERTY(QString calibration_s READ calibration_s NOTIFY changed)
    Q_PROPERTY(QString calibration_btn_s READ calibration_btn_s NOTIFY changed)
    Q_PROPERTY(QString tilt_s READ tilt_s NOTIFY changed)
    Q_PROPERTY(QString angle_s READ angle_s NOTIFY changed)
    Q_PROPERTY(QColor min_colour READ min_colour NOTIFY changed)
    Q_PROPERTY(QColor max_colour READ max_colour NOTIFY changed)
    Q_PROPERTY(QVariantList table READ table NOTIFY changed)
    Q_PROPERTY(QStringList table_lines READ table_lines NOTIFY changed)
    Q_PROPERTY(bool overflow READ overflow NOTIFY changed)
    Q_PROPERTY(QString overflow_s READ overflow_s NOTIFY changed)
    Q_PROPERTY(bool show_direction READ show_direction NOTIFY changed)
    Q_PROPERTY(double dir_x READ dir_x NOTIFY changed)
    Q_PROPERTY(double dir_y READ dir_y NOTIFY changed)
    Q_PROPERTY(QString dir_x_s READ dir_x_s NOTIFY changed)
    Q_PROPERTY(QString dir_y_s READ dir_y_s NOTIFY changed)
    Q_PROPERTY(QString z_ang_s READ z_ang_s NOTIFY changed)
    Q_PROPERTY(double anim_time READ anim_time NOTIFY changed)

public:
    using panel_model_t::panel_model_t;

    QVariantMap tooltips() const;

    QString calibration_s() const;
    QString calibration_btn_s() const;
    // The warnings only while the board raises them; empty otherwise.
    QString tilt_s() const;
    QString angle_s() const;
    // The board's marks that the current step has reached a minimum or a
    // maximum light up the matching word of the "min max" label.
    QColor min_colour() const;
    QColor max_colour() const;
    // Header and the x, y, z rows; each row a list of {text, colour}.
    QVariantList table() const;
    // The same rows as plain lines.
    QStringList table_lines() const;
    bool overflow() const;
    QString overflow_s() const;
    // The horizontal field direction means something only while the board
    // sends raw readings, that is while it calibrates.
    bool show_direction() const;
    double dir_x() const;
    double dir_y() const;
    QString dir_x_s() const;
    QString dir_y_s() const;
    QString z_ang_s() const;
    double anim_time() const;

private:
    compass_c_shown_t shown() const;
};

}  // namespace plimsy
