#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include "ui/panel_model.hpp"

namespace plimsy {

// The compass of the raw-count magnetometer with the motion values of the
// MPU6050 whose gravity direction corrects it for tilt.
class hmc5883_panel_model_t : public panel_model_t {
    Q_OBJECT
    QML_NAMED_ELEMENT(Hmc5883PanelModel)
    Q_PROPERTY(double heading READ heading NOTIFY changed)
    Q_PROPERTY(double anim_time READ anim_time NOTIFY changed)
    Q_PROPERTY(QString heading_text READ heading_text NOTIFY changed)
    Q_PROPERTY(QString field_x READ field_x NOTIFY changed)
    Q_PROPERTY(QString field_y READ field_y NOTIFY changed)
    Q_PROPERTY(QString field_z READ field_z NOTIFY changed)
    Q_PROPERTY(QString roll READ roll NOTIFY changed)
    Q_PROPERTY(QString pitch READ pitch NOTIFY changed)
    Q_PROPERTY(QString yaw READ yaw NOTIFY changed)
    Q_PROPERTY(QString compensation READ compensation NOTIFY changed)

public:
    using panel_model_t::panel_model_t;

    // Degrees, as the dial turns.
    double heading() const;
    double anim_time() const;
    QString heading_text() const;
    // The normalised field, about -1 ... 1 over the calibrated range.
    QString field_x() const;
    QString field_y() const;
    QString field_z() const;
    // The fused angles about x and y and the integrated turn about z, degrees.
    QString roll() const;
    QString pitch() const;
    QString yaw() const;
    // What the heading is corrected with: "off", "2D", "3D", or the
    // calibration running (no correction while the ranges are measured).
    QString compensation() const;
};

}  // namespace plimsy
