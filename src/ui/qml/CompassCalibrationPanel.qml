import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Plimsy

// The board's own compass calibration: what to do in the current step and
// the warnings the board raises, the commands that drive the calibration
// and the board, and the extremes measured so far. The board runs the
// steps; this panel only follows them.
ColumnLayout {
    id: panel
    property ContentViewModel view
    spacing: 10

    readonly property bool portrait: panel.view ? panel.view.portrait : false
    // Every button here sends a board command: off while a capture replays.
    readonly property bool canSend: panel.view ? panel.view.can_send : false
    readonly property real fontSize: Theme.fontSize
    // The table is 38 characters wide; it shrinks rather than clip on a
    // narrow window.
    readonly property real tableFontSize: Math.max(Theme.fontMin, Math.min(Theme.fontTableMax, panel.width / (38 * 0.62)))

    CompassCalibrationPanelModel {
        id: panelModel
        objectName: "compassCalibrationPanelModel"
        view: panel.view
    }

    // The board commands: label, the command by name, keyboard shortcut.
    readonly property var commands: ({
        calibrate: { name: "calibrateButton", command: "calibrate", shortcut: "Ctrl+C" },
        defaults: { name: "defaultButton", label: "Default", command: "defaults", shortcut: "Ctrl+D" },
        load: { name: "loadButton", label: "Load", command: "load", shortcut: "Ctrl+L" },
        reboot: { name: "rebootButton", label: "Reboot", command: "reboot", shortcut: "R" },
        mag: { name: "magButton", label: "Mag", command: "mag", shortcut: "M" },
        twoD: { name: "twoDButton", label: "2D", command: "two_d", shortcut: "2" },
        threeD: { name: "threeDButton", label: "3D", command: "three_d", shortcut: "3" },
        compensate: { name: "compensateButton", label: "Compensate", command: "compensate", shortcut: "C" }
    })
    // One row in landscape; in portrait the calibration commands above and
    // the mode commands below.
    readonly property var buttonRows: panel.portrait
        ? [["calibrate", "defaults", "load", "reboot"], ["compensate", "twoD", "threeD", "mag"]]
        : [["calibrate", "defaults", "load", "reboot", "mag", "twoD", "threeD", "compensate"]]

    function label(key) {
        return key === "calibrate" ? panelModel.calibration_btn_s : panel.commands[key].label;
    }

    Shortcut {
        enabled: panel.canSend
        objectName: "calibrateShortcut"
        sequence: panel.commands.calibrate.shortcut
        onActivated: panelModel.command(panel.commands.calibrate.command)
    }
    Shortcut {
        enabled: panel.canSend
        objectName: "defaultShortcut"
        sequence: panel.commands.defaults.shortcut
        onActivated: panelModel.command(panel.commands.defaults.command)
    }
    Shortcut {
        enabled: panel.canSend
        objectName: "loadShortcut"
        sequence: panel.commands.load.shortcut
        onActivated: panelModel.command(panel.commands.load.command)
    }
    Shortcut {
        enabled: panel.canSend
        objectName: "rebootShortcut"
        sequence: panel.commands.reboot.shortcut
        onActivated: panelModel.command(panel.commands.reboot.command)
    }
    Shortcut {
        enabled: panel.canSend
        objectName: "magShortcut"
        sequence: panel.commands.mag.shortcut
        onActivated: panelModel.command(panel.commands.mag.command)
    }
    Shortcut {
        enabled: panel.canSend
        objectName: "twoDShortcut"
        sequence: panel.commands.twoD.shortcut
        onActivated: panelModel.command(panel.commands.twoD.command)
    }
    Shortcut {
        enabled: panel.canSend
        objectName: "threeDShortcut"
        sequence: panel.commands.threeD.shortcut
        onActivated: panelModel.command(panel.commands.threeD.command)
    }
    Shortcut {
        enabled: panel.canSend
        objectName: "compensateShortcut"
        sequence: panel.commands.compensate.shortcut
        onActivated: panelModel.command(panel.commands.compensate.command)
    }

    Text {
        objectName: "calibrationText"
        Layout.fillWidth: true
        visible: text !== ""
        text: panelModel.calibration_s
        color: Theme.primary
        font.pixelSize: panel.fontSize
        wrapMode: Text.Wrap
    }
    Text {
        objectName: "calibrationTiltText"
        Layout.fillWidth: true
        visible: text !== ""
        text: panelModel.tilt_s
        color: Theme.red
        font.pixelSize: panel.fontSize
        wrapMode: Text.Wrap
    }
    Text {
        objectName: "calibrationAngleText"
        Layout.fillWidth: true
        visible: text !== ""
        text: panelModel.angle_s
        color: Theme.red
        font.pixelSize: panel.fontSize
        wrapMode: Text.Wrap
    }

    // A row wraps rather than cut its buttons when even the portrait split
    // does not fit (a phone); the buttons keep their whole labels.
    readonly property real buttonPadding: panel.width < 420 ? 8 : 12
    Repeater {
        model: panel.buttonRows
        Flow {
            id: buttonRow
            required property var modelData
            required property int index
            objectName: "calibrationButtonRow" + index
            Layout.fillWidth: true
            spacing: 8
            Repeater {
                model: buttonRow.modelData
                RoundedButton {
                    required property string modelData
                    objectName: panel.commands[modelData].name
                    enabled: panel.canSend
                    text: panel.label(modelData)
                    tip: panelModel.tooltips[modelData] ?? ""
                    fontSize: panel.fontSize * 0.9
                    leftPadding: panel.buttonPadding
                    rightPadding: panel.buttonPadding
                    textColour: Theme.link
                    backgroundColour: Theme.secondarySystemBackground
                    onActivated: panelModel.command(panel.commands[modelData].command)
                }
            }
        }
    }

    // The table and the field's direction side by side when there is room,
    // the direction under the table on a phone.
    Flow {
        Layout.fillWidth: true
        Layout.topMargin: 6
        spacing: 24

        ColumnLayout {
            spacing: 4

            // The words light up when the board marks the step's minimum or
            // maximum as reached.
            Row {
                objectName: "minMaxLabel"
                property string text: minWord.text + " " + maxWord.text
                spacing: 0
                Text {
                    id: minWord
                    objectName: "minLabel"
                    text: "min"
                    color: panelModel.min_colour
                    font.pixelSize: panel.fontSize
                    font.bold: true
                }
                Text {
                    text: " "
                    font.pixelSize: panel.fontSize
                }
                Text {
                    id: maxWord
                    objectName: "maxLabel"
                    text: "max"
                    color: panelModel.max_colour
                    font.pixelSize: panel.fontSize
                    font.bold: true
                }
            }

            Column {
                objectName: "rawTable"
                spacing: 2
                Repeater {
                    model: panelModel.table
                    Row {
                        id: tableRow
                        required property var modelData
                        required property int index
                        objectName: "rawTableRow" + index
                        Repeater {
                            model: tableRow.modelData
                            Text {
                                required property var modelData
                                required property int index
                                objectName: "rawTableCell" + tableRow.index + "_" + index
                                text: modelData.text
                                color: modelData.colour
                                font.family: Theme.monospace
                                font.pixelSize: panel.tableFontSize
                                textFormat: Text.PlainText
                            }
                        }
                    }
                }
            }

            Text {
                objectName: "overflowText"
                Layout.fillWidth: true
                Layout.maximumWidth: panel.width
                visible: panelModel.overflow
                text: panelModel.overflow_s
                color: Theme.orange
                font.family: Theme.monospace
                font.pixelSize: Math.max(Theme.fontMin, panel.tableFontSize * 0.8)
                wrapMode: Text.WrapAnywhere
                textFormat: Text.PlainText
            }
        }

        // Where the horizontal field points, from the raw reading within
        // the extremes so far: while the board turns on the table the line
        // should sweep a full circle.
        RowLayout {
            objectName: "fieldDirection"
            visible: panelModel.show_direction
            spacing: 12

            Item {
                Layout.preferredWidth: 96
                Layout.preferredHeight: 96
                Rectangle {
                    anchors.fill: parent
                    radius: width / 2
                    color: Theme.secondarySystemBackground
                    border.color: Theme.tertiary
                    antialiasing: true
                }
                Rectangle { anchors.centerIn: parent; width: parent.width; height: 1; color: Theme.tertiary }
                Rectangle { anchors.centerIn: parent; width: 1; height: parent.height; color: Theme.tertiary }
                LineNormalized {
                    objectName: "fieldLine"
                    anchors.fill: parent
                    endX: panelModel.dir_x * 0.9
                    endY: panelModel.dir_y * 0.9
                    duration: Math.round(panelModel.anim_time * 1000)
                    lineWidth: 3
                    colour: Theme.blue
                }
            }
            ColumnLayout {
                spacing: 2
                Layout.alignment: Qt.AlignVCenter
                Repeater {
                    model: [
                        { label: "x", name: "dirXText" },
                        { label: "y", name: "dirYText" },
                        { label: "z", name: "zAngleText" }
                    ]
                    RowLayout {
                        required property var modelData
                        spacing: 8
                        Text {
                            text: modelData.label
                            color: Theme.secondary
                            font.pixelSize: panel.tableFontSize
                        }
                        Text {
                            objectName: modelData.name
                            text: modelData.name === "dirXText" ? panelModel.dir_x_s
                                : modelData.name === "dirYText" ? panelModel.dir_y_s : panelModel.z_ang_s
                            color: Theme.primary
                            font.family: Theme.monospace
                            font.pixelSize: panel.tableFontSize
                        }
                    }
                }
            }
        }
    }
}
