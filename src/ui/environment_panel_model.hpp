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

    // Gauge fills, clamped to 0 ... 1.
    static double temperature_fraction(float celsius);
    static double humidity_fraction(float percent);
    // 950 hPa empty, 1050 hPa full; the host reports pascals.
    static double pressure_fraction(double host_pascals);
    // 100 kΩ empty, 800 kΩ full; the board reports ohms.
    static double air_resistance_fraction(std::uint32_t ohms);
};

}  // namespace plimsy
