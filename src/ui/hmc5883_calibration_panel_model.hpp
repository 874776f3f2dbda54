#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>
#include <vector>

#include "shown/panels.hpp"
#include <QVariantMap>

#include "ui/panel_model.hpp"

namespace plimsy {

// The magnetometer calibration that this program runs itself: the step
// buttons, the calibration store, the table of ranges and corrections, and
// the tilt-compensation switches. Everything here acts on the local
// model; nothing goes to the board.
class hmc5883_calibration_panel_model_t : public panel_model_t {
    Q_OBJECT
    QML_NAMED_ELEMENT(Hmc5883CalibrationPanelModel)
    // What each button does and its key, by button.
    Q_PROPERTY(QVariantMap tooltips READ tooltips NOTIFY changed)
    Q_PROPERTY(QString step_text READ step_text NOTIFY changed)
    Q_PROPERTY(QString step_button READ step_button NOTIFY changed)
    Q_PROPERTY(QString compensate_button READ compensate_button NOTIFY changed)
    Q_PROPERTY(QColor compensate_colour READ compensate_colour NOTIFY changed)
    Q_PROPERTY(QString mode_button READ mode_button NOTIFY changed)
    Q_PROPERTY(QString table_header READ table_header CONSTANT)
    Q_PROPERTY(QColor header_colour READ header_colour CONSTANT)
    Q_PROPERTY(QVariantList table READ table NOTIFY changed)

public:
    using panel_model_t::panel_model_t;

    QVariantMap tooltips() const;

    // Cells per row of `table`; short rows are padded with empty cells.
    static constexpr int columns = hmc5883_shown_t::table_columns;

    QString step_text() const;
    QString step_button() const;
    QString compensate_button() const;
    QColor compensate_colour() const;
    QString mode_button() const;
    QString table_header() const;
    QColor header_colour() const;
    // Rows x, y, z, ax, ay, az, xy, aa; each a list of `columns` maps with
    // "text" and "colour" (short rows padded with empty cells).
    QVariantList table() const;

public slots:
    void save();
    void load();
    void next_step();
    void toggle_compensate();
    void toggle_3d();
    void reset_gyro();

private:
    hmc5883_shown_t shown() const;
};

}  // namespace plimsy
