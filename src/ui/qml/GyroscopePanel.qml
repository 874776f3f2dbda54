import QtQuick
import QtQuick.Layouts
import Plimsy

// The board's gyroscope angles and the live traces plot. The title resets
// the board's gyroscope; the legend switches series, "Hold" freezes the
// plot while lines keep arriving.
ColumnLayout {
    id: panel
    property ContentViewModel view
    spacing: 8

    GyroscopePanelModel {
        id: gyro
        view: panel.view
    }

    Shortcut {
        objectName: "gyroscopeShortcut"
        enabled: panel.view ? panel.view.can_send : false
        sequence: "R"
        onActivated: gyro.command("reboot")
    }

    RoundedButton {
        objectName: "gyroscopeButton"
        // Restarts the board: off while a capture replays.
        enabled: panel.view ? panel.view.can_send : false
        text: "Gyroscope"
        tip: gyro.tooltips.title
        bold: true
        fontSize: Theme.fontTitle
        textColour: Theme.primary
        backgroundColour: Theme.clear
        leftPadding: 0
        onActivated: gyro.command("reboot")
    }

    TextMetrics {
        id: digitWidth
        font.pixelSize: Theme.fontSize
        font.family: Theme.monospace
        text: "0"
    }

    RowLayout {
        spacing: 20
        Repeater {
            model: [
                { axis: "X", name: "gyroscopeX" },
                { axis: "Y", name: "gyroscopeY" },
                { axis: "Z", name: "gyroscopeZ" }
            ]
            Row {
                required property var modelData
                Text {
                    width: 22
                    text: modelData.axis
                    color: Theme.secondary
                    font.pixelSize: Theme.fontSize
                }
                Text {
                    id: value
                    objectName: modelData.name
                    text: modelData.axis === "X" ? gyro.x_text : modelData.axis === "Y" ? gyro.y_text : gyro.z_text
                    color: Theme.primary
                    font.pixelSize: Theme.fontSize
                    font.family: Theme.monospace
                }
                Text {
                    // Room for "-180.0" in any row, so the row does not
                    // jitter while the angles change.
                    width: 12 + Math.max(0, digitWidth.advanceWidth * 6 - value.implicitWidth)
                    text: "°"
                    color: Theme.secondary
                    font.pixelSize: Theme.fontSize
                }
            }
        }
    }

    TracePlot {
        objectName: "tracePlot"
        view: panel.view
        Layout.fillWidth: true
        Layout.preferredHeight: 260
        // Room for the outer edges' strokes, which straddle the border.
        Layout.leftMargin: 1
        Layout.rightMargin: 1
    }

    // The legend and the plot's buttons wrap onto a second line on a phone.
    Flow {
        Layout.fillWidth: true
        spacing: 4

        Repeater {
            objectName: "legend"
            model: gyro.legend
            RoundedButton {
                id: entry
                required property string modelData
                required property int index
                objectName: "legend_" + modelData
                text: modelData
                tip: gyro.tooltips.legend
                textColour: gyro.legend_colours[index] ?? Theme.tertiary
                backgroundColour: Theme.clear
                leftPadding: 28
                onActivated: gyro.toggle_series(index)
                // A short stroke of the series, so the entry reads as its key.
                Rectangle {
                    x: 8
                    anchors.verticalCenter: parent.verticalCenter
                    width: 16
                    height: 2
                    color: entry.textColour
                }
            }
        }

        RoundedButton {
            objectName: "holdButton"
            text: gyro.hold_text
            tip: gyro.tooltips.hold
            onActivated: gyro.toggle_hold()
        }
        RoundedButton {
            objectName: "resetButton"
            visible: gyro.show_reset
            text: "Reset"
            tip: gyro.tooltips.reset
            onActivated: gyro.reset()
        }
    }
}
