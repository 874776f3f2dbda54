import QtQuick
import QtQuick.Layouts
import Plimsy

// Temperature, pressure, humidity and air resistance of the board's
// environment sensor.
ColumnLayout {
    id: panel
    property ContentViewModel view

    spacing: 10

    EnvironmentPanelModel {
        id: m
        objectName: "environmentModel"
        view: panel.view
    }

    ValueRow {
        objectName: "environmentTemperature"
        Layout.fillWidth: true
        reading: m.temperature
    }
    ValueRow {
        objectName: "environmentPressure"
        Layout.fillWidth: true
        reading: m.pressure
    }
    ValueRow {
        objectName: "environmentHumidity"
        Layout.fillWidth: true
        reading: m.humidity
    }
    ValueRow {
        objectName: "environmentAirResistance"
        Layout.fillWidth: true
        reading: m.air_resistance
    }
}
