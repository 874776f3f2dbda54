#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

#include "ui/panel_model.hpp"
#include "ui/value_row.hpp"

namespace plimsy {

// The environment sensor of the board, with the pressure gauge measured
// against the host's own barometer rather than the board's reading.
class environment_panel_model_t : public panel_model_t {
    Q_OBJECT
    QML_NAMED_ELEMENT(EnvironmentPanelModel)
    Q_PROPERTY(plimsy::value_row_t temperature READ temperature NOTIFY changed)
    Q_PROPERTY(plimsy::value_row_t pressure READ pressure NOTIFY changed)
    Q_PROPERTY(plimsy::value_row_t humidity READ humidity NOTIFY changed)
    Q_PROPERTY(plimsy::value_row_t air_resistance READ air_resistance NOTIFY changed)

public:
    using panel_model_t::panel_model_t;

    value_row_t temperature() const;
    value_row_t pressure() const;
    value_row_t humidity() const;
    value_row_t air_resistance() const;
};

}  // namespace plimsy
