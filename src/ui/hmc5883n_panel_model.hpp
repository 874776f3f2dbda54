#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include "ui/panel_model.hpp"

namespace plimsy {

// The compass of a magnetometer whose vector the board has normalised.
class hmc5883n_panel_model_t : public panel_model_t {
    Q_OBJECT
    QML_NAMED_ELEMENT(Hmc5883nPanelModel)
    Q_PROPERTY(double heading READ heading NOTIFY changed)
    Q_PROPERTY(double anim_time READ anim_time NOTIFY changed)
    Q_PROPERTY(QString heading_text READ heading_text NOTIFY changed)
    Q_PROPERTY(QString field_x READ field_x NOTIFY changed)
    Q_PROPERTY(QString field_y READ field_y NOTIFY changed)
    Q_PROPERTY(QString field_z READ field_z NOTIFY changed)
    Q_PROPERTY(double dir_px READ dir_px NOTIFY changed)
    Q_PROPERTY(double dir_py READ dir_py NOTIFY changed)
    Q_PROPERTY(double dir_mx READ dir_mx NOTIFY changed)
    Q_PROPERTY(double dir_my READ dir_my NOTIFY changed)

public:
    using panel_model_t::panel_model_t;

    // Degrees, as the dial turns.
    double heading() const;
    double anim_time() const;
    QString heading_text() const;
    QString field_x() const;
    QString field_y() const;
    QString field_z() const;
    // Strengths 0 ... 1 of the marks for +x, +y, -x and -y.
    double dir_px() const;
    double dir_py() const;
    double dir_mx() const;
    double dir_my() const;
};

}  // namespace plimsy
