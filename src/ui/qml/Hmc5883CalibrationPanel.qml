import QtQuick
import QtQuick.Layouts
import Plimsy

// The magnetometer calibration this program runs: store and restore a
// spare copy, step through the calibration, read the ranges and the tilt
// correction, and switch the correction. Nothing here goes to the board.
ColumnLayout {
    id: panel
    property ContentViewModel view

    spacing: 10

    Hmc5883CalibrationPanelModel {
        id: m
        objectName: "hmc5883CalibrationModel"
        view: panel.view
    }

    // Read once per change; every cell takes its piece from here.
    readonly property var table: m.table

    Flow {
        Layout.fillWidth: true
        spacing: 8

        RoundedButton {
            objectName: "hmcSaveButton"
            text: "Save"
            tip: m.tooltips.save
            textColour: Theme.accent
            backgroundColour: Theme.secondarySystemBackground
            onActivated: m.save()
        }
        RoundedButton {
            objectName: "hmcLoadButton"
            text: "Load"
            tip: m.tooltips.load
            textColour: Theme.accent
            backgroundColour: Theme.secondarySystemBackground
            onActivated: m.load()
        }
        RoundedButton {
            objectName: "hmcStepButton"
            text: m.step_button
            tip: m.tooltips.step
            textColour: Theme.accent
            backgroundColour: Theme.secondarySystemBackground
            onActivated: m.next_step()
        }
    }

    // Wraps to the panel's width rather than widening it (as does the table).
    Text {
        objectName: "hmcStepText"
        Layout.fillWidth: true
        Layout.preferredWidth: 0
        visible: text !== ""
        text: m.step_text
        color: Theme.primary
        font.pixelSize: Theme.fontButton
        wrapMode: Text.WordWrap
    }

    // The table keeps its columns by shrinking its font until the widest
    // row fits, as on a phone held upright.
    TextMetrics {
        id: tableMetrics
        font.family: Theme.monospace
        font.pixelSize: Theme.fontButton
        text: m.table_header
    }
    readonly property int tableFont: Math.max(Theme.fontTableMin, Math.floor(Theme.fontButton * Math.min(1, width / (tableMetrics.advanceWidth + 2))))

    Column {
        objectName: "hmcTable"
        Layout.fillWidth: true
        Layout.preferredWidth: 0
        spacing: 2
        clip: true

        Text {
            objectName: "hmcTableHeader"
            text: m.table_header
            color: m.header_colour
            font.family: Theme.monospace
            font.pixelSize: panel.tableFont
        }
        Repeater {
            model: 8
            delegate: Row {
                id: tableRow
                required property int index
                readonly property var cells: panel.table.length > index ? panel.table[index] : []
                Repeater {
                    model: 5
                    delegate: Text {
                        required property int index
                        readonly property var cell: tableRow.cells.length > index ? tableRow.cells[index] : null
                        objectName: "hmcCell_" + tableRow.index + "_" + index
                        text: cell ? cell.text : ""
                        color: cell ? cell.colour : Theme.clear
                        font.family: Theme.monospace
                        font.pixelSize: panel.tableFont
                        textFormat: Text.PlainText
                    }
                }
            }
        }
    }

    Flow {
        Layout.fillWidth: true
        spacing: 8

        RoundedButton {
            objectName: "hmcCompensateButton"
            text: m.compensate_button
            tip: m.tooltips.compensate
            textColour: m.compensate_colour
            backgroundColour: Theme.secondarySystemBackground
            onActivated: m.toggle_compensate()
        }
        RoundedButton {
            objectName: "hmcModeButton"
            text: m.mode_button
            tip: m.tooltips.mode
            textColour: Theme.accent
            backgroundColour: Theme.secondarySystemBackground
            onActivated: m.toggle_3d()
        }
        RoundedButton {
            objectName: "hmcResetGyroButton"
            text: "reset-gyroscope"
            tip: m.tooltips.reset_gyro
            textColour: Theme.accent
            backgroundColour: Theme.secondarySystemBackground
            onActivated: m.reset_gyro()
        }
    }

    Shortcut {
        objectName: "hmcSaveShortcut"
        sequence: "Ctrl+S"
        onActivated: m.save()
    }
    Shortcut {
        objectName: "hmcLoadShortcut"
        sequence: "Ctrl+L"
        onActivated: m.load()
    }
    Shortcut {
        objectName: "hmcStepShortcut"
        sequence: "Ctrl+C"
        onActivated: m.next_step()
    }
    Shortcut {
        objectName: "hmcCompensateShortcut"
        sequence: "C"
        onActivated: m.toggle_compensate()
    }
    Shortcut {
        objectName: "hmcModeShortcut"
        sequence: "3"
        onActivated: m.toggle_3d()
    }
    Shortcut {
        objectName: "hmcResetGyroShortcut"
        sequence: "Ctrl+R"
        onActivated: m.reset_gyro()
    }
}
