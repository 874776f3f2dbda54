#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <QVariantMap>

#include "ui/panel_model.hpp"

namespace plimsy {

// The colour sensor: the infrared reading, and a swatch in the colour of
// the light with the corrected red, green and blue counts. Each count is
// followed by its correction factor when one is in force.
class colour_panel_model_t : public panel_model_t {
    Q_OBJECT
    QML_NAMED_ELEMENT(ColourPanelModel)
    // What each button does and its key, by button.
    Q_PROPERTY(QVariantMap tooltips READ tooltips NOTIFY changed)
    Q_PROPERTY(QString infrared READ infrared NOTIFY changed)
    Q_PROPERTY(QString infrared_factor READ infrared_factor NOTIFY changed)
    Q_PROPERTY(double infrared_fraction READ infrared_fraction NOTIFY changed)
    Q_PROPERTY(QColor infrared_colour READ infrared_colour NOTIFY changed)
    Q_PROPERTY(QString red READ red NOTIFY changed)
    Q_PROPERTY(QString green READ green NOTIFY changed)
    Q_PROPERTY(QString blue READ blue NOTIFY changed)
    Q_PROPERTY(QString red_factor READ red_factor NOTIFY changed)
    Q_PROPERTY(QString green_factor READ green_factor NOTIFY changed)
    Q_PROPERTY(QString blue_factor READ blue_factor NOTIFY changed)
    Q_PROPERTY(double red_fraction READ red_fraction NOTIFY changed)
    Q_PROPERTY(double green_fraction READ green_fraction NOTIFY changed)
    Q_PROPERTY(double blue_fraction READ blue_fraction NOTIFY changed)
    Q_PROPERTY(QColor red_colour READ red_colour CONSTANT)
    Q_PROPERTY(QColor green_colour READ green_colour CONSTANT)
    Q_PROPERTY(QColor blue_colour READ blue_colour CONSTANT)
    Q_PROPERTY(QColor swatch READ swatch NOTIFY changed)

public:
    using panel_model_t::panel_model_t;

    QVariantMap tooltips() const;

    QString infrared() const;
    QString infrared_factor() const;
    double infrared_fraction() const;
    QColor infrared_colour() const;
    QString red() const;
    QString green() const;
    QString blue() const;
    QString red_factor() const;
    QString green_factor() const;
    QString blue_factor() const;
    double red_fraction() const;
    double green_fraction() const;
    double blue_fraction() const;
    QColor red_colour() const;
    QColor green_colour() const;
    QColor blue_colour() const;
    QColor swatch() const;

public slots:
    // The light panel's tap: back to the counts as the sensor gives them.
    void reset_factors();
    // The swatch's tap: the light that falls now is taken as white.
    void white_balance();
};

}  // namespace plimsy
