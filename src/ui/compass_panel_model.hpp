#pragma once

#include <QString>

#include "ui/panel_model.hpp"

namespace plimsy {

// The compass heading and gravity panel: the heading the dial turns to, how
// long it takes to get there, and the gravity vector with its tilt angles.
class compass_panel_model_t : public panel_model_t {
    Q_OBJECT
    QML_NAMED_ELEMENT(CompassPanelModel)

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
    // The main screen's layout constants this panel sizes itself by.
    Q_PROPERTY(double size_padding_compass_top MEMBER size_padding_compass_top CONSTANT)
    Q_PROPERTY(double size_padding_compass MEMBER size_padding_compass CONSTANT)
    Q_PROPERTY(double size_font MEMBER size_font CONSTANT)
    Q_PROPERTY(double size_unit MEMBER size_unit CONSTANT)
    Q_PROPERTY(double size_accel MEMBER size_accel CONSTANT)

public:
    using panel_model_t::panel_model_t;

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

private:
    const double size_padding_compass_top = content_view_model_t::size_padding_compass_top;
    const double size_padding_compass = content_view_model_t::size_padding_compass;
    const double size_font = content_view_model_t::size_font;
    const double size_unit = content_view_model_t::size_unit;
    const double size_accel = content_view_model_t::size_accel;
};

}  // namespace plimsy
