import QtQuick
import QtQuick.Layouts
import Plimsy

// Temperature, humidity and battery of the alarm unit, and under them its
// motion and alarm events, each lit while it holds.
ColumnLayout {
    id: panel
    property ContentViewModel view

    spacing: 10

    Gavrin3PanelModel {
        id: m
        objectName: "gavrin3Model"
        view: panel.view
    }

    ValueRow {
        objectName: "gavrin3Temperature"
        Layout.fillWidth: true
        reading: m.temperature
    }
    ValueRow {
        objectName: "gavrin3Humidity"
        Layout.fillWidth: true
        reading: m.humidity
    }
    ValueRow {
        objectName: "gavrin3Battery"
        Layout.fillWidth: true
        reading: m.battery
    }

    RowLayout {
        Layout.fillWidth: true
        Layout.topMargin: 6
        spacing: Theme.paddingEvent

        Text {
            objectName: "eventsTitle"
            text: "Events"
            font.pixelSize: Theme.fontTitle
            font.bold: true
            color: Theme.primary
        }
        EventBadge {
            objectName: "pirBadge"
            label: "PIR"
            textColour: m.pir_text_colour
            backgroundColour: m.pir_background
        }
        EventBadge {
            objectName: "alarmBadge"
            label: "Alarm"
            textColour: m.alarm_text_colour
            backgroundColour: m.alarm_background
        }
        Item { Layout.fillWidth: true }
    }
}
