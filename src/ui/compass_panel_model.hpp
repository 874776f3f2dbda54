#pragma once

#include <QString>

#include <QVariantMap>

#include "ui/panel_model.hpp"

namespace plimsy {

// The compass heading and gravity panel: the heading the dial turns to, how
// long it takes to get there, and the gravity vector with its tilt angles.
class compass_panel_model_t : public panel_model_t {
    Q_OBJECT
    QML_NAMED_ELEMENT(CompassPanelModel)

    // What each button does and its key, by button.
    Q_PROPERTY(QVariantMap tooltips READ tooltips NOTIFY changed)
    Q_PROPERTY(double heading READ heading NOTIFY changed)
    Q_PROPERTY(double anim_time READ anim_time NOTIFY changed)
    Q_PROPERTY(QString heading_s READ heading_s NOTIFY changed)
    Q_PROPERTY(QString gravity_x_s READ gravity_x_s NOTIFY changed)
    Q_PROPERTY(QString gravity_y_s READ gravity_y_s NOTIFY changed)
    Q_PROPERTY(QString gravity_z_s READ gravity_z_s NOTIFY changed)
    Q_PROPERTY(double rax READ rax NOTIFY changed)
    Q_PROPERTY(double ray READ ray NOTIFY changed)
    Q_PROPERTY(double raz READ raz NOTIFY changed)
    Q_PROPERTY(double gravity_anim_time READ gravity_anim_time NOTIFY changed)

public:
    using panel_model_t::panel_model_t;

    QVariantMap tooltips() const;

    // Degrees, as the board sent it (within -180 ... 360).
    double heading() const;
    // Seconds; 0 means the dial jumps.
    double anim_time() const;
    QString heading_s() const;
    QString gravity_x_s() const;
    QString gravity_y_s() const;
    QString gravity_z_s() const;
    // Tilt angles in radians: about x, about y, and away from the vertical.
    double rax() const;
    double ray() const;
    double raz() const;
    double gravity_anim_time() const;
};

}  // namespace plimsy
