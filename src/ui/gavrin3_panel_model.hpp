#pragma once

#include <QColor>
#include <QObject>
#include <QtQml/qqmlregistration.h>

#include "ui/panel_model.hpp"
#include "ui/value_row.hpp"

namespace plimsy {

// Temperature, humidity and battery of the alarm unit, and its two events.
class gavrin3_panel_model_t : public panel_model_t {
    Q_OBJECT
    QML_NAMED_ELEMENT(Gavrin3PanelModel)
    Q_PROPERTY(plimsy::value_row_t temperature READ temperature NOTIFY changed)
    Q_PROPERTY(plimsy::value_row_t humidity READ humidity NOTIFY changed)
    Q_PROPERTY(plimsy::value_row_t battery READ battery NOTIFY changed)
    Q_PROPERTY(bool pir READ pir NOTIFY changed)
    Q_PROPERTY(bool alarm READ alarm NOTIFY changed)
    Q_PROPERTY(QColor pir_text_colour READ pir_text_colour NOTIFY changed)
    Q_PROPERTY(QColor pir_background READ pir_background NOTIFY changed)
    Q_PROPERTY(QColor alarm_text_colour READ alarm_text_colour NOTIFY changed)
    Q_PROPERTY(QColor alarm_background READ alarm_background NOTIFY changed)

public:
    using panel_model_t::panel_model_t;

    value_row_t temperature() const;
    value_row_t humidity() const;
    value_row_t battery() const;

    // Reading these lets an event whose hold time is over go out.
    bool pir() const;
    bool alarm() const;
    // An event that is showing stands out in white on red; a quiet one
    // recedes into the panel.
    QColor pir_text_colour() const;
    QColor pir_background() const;
    QColor alarm_text_colour() const;
    QColor alarm_background() const;
};

}  // namespace plimsy
