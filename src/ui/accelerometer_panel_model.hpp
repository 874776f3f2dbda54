#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include "ui/panel_model.hpp"

namespace plimsy {

// The board's accelerometers as one drawing: per axis a bar to each side
// of zero and the value as text, and a dot for the x-y plane.
class accelerometer_panel_model_t : public panel_model_t {
    Q_OBJECT
    QML_NAMED_ELEMENT(AccelerometerPanelModel)
    Q_PROPERTY(QString title READ title NOTIFY changed)
    Q_PROPERTY(bool high_g READ high_g NOTIFY changed)
    Q_PROPERTY(double x_neg READ x_neg NOTIFY changed)
    Q_PROPERTY(double x_pos READ x_pos NOTIFY changed)
    Q_PROPERTY(double y_neg READ y_neg NOTIFY changed)
    Q_PROPERTY(double y_pos READ y_pos NOTIFY changed)
    Q_PROPERTY(double z_neg READ z_neg NOTIFY changed)
    Q_PROPERTY(double z_pos READ z_pos NOTIFY changed)
    Q_PROPERTY(QString x_text READ x_text NOTIFY changed)
    Q_PROPERTY(QString y_text READ y_text NOTIFY changed)
    Q_PROPERTY(QString z_text READ z_text NOTIFY changed)
    Q_PROPERTY(double point_x READ point_x NOTIFY changed)
    Q_PROPERTY(double point_y READ point_y NOTIFY changed)

public:
    using panel_model_t::panel_model_t;

    // "high-g" while the high-g sensor holds a shock, "Accelerometer" otherwise.
    QString title() const;
    bool high_g() const;
    double x_neg() const;
    double x_pos() const;
    double y_neg() const;
    double y_pos() const;
    double z_neg() const;
    double z_pos() const;
    QString x_text() const;
    QString y_text() const;
    QString z_text() const;
    // Unit square, y downwards; a reading beyond full scale lies outside.
    double point_x() const;
    double point_y() const;
};

}  // namespace plimsy
