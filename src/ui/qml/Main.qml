import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Plimsy

// The one window: signal gauge, toolbar, the panels of the connected kind of
// board, the receive log, and the configuration sheet on demand.
ApplicationWindow {
    id: root
    required property ContentViewModel view

    visible: true
    width: 1024
    height: 800
    minimumWidth: 360
    minimumHeight: 480
    title: "Plimsy sensors"
    color: Theme.systemBackground

    onWidthChanged: view.set_window_size(width, height)
    onHeightChanged: view.set_window_size(width, height)
    Component.onCompleted: view.set_window_size(width, height)

    // A text field is being edited: single keys are its text, never a
    // command. Fields take printable keys and Delete before any shortcut
    // already; this keeps it so whatever the platform's key handling.
    readonly property bool editingText: activeFocusItem !== null && activeFocusItem.cursorPosition !== undefined

    MainPanelModel {
        id: tips
        view: root.view
    }

    Shortcut {
        objectName: "settingsShortcut"
        enabled: !root.view.show_config
        sequence: "Ctrl+,"
        onActivated: root.view.toggle_config()
    }
    Shortcut {
        objectName: "logShortcut"
        enabled: !root.editingText
        sequence: "L"
        onActivated: root.view.toggle_log()
    }
    Shortcut {
        objectName: "clearShortcut"
        enabled: !root.editingText
        sequence: "Delete"
        onActivated: root.view.clear_log()
    }

    ScrollView {
        id: scroll
        anchors.fill: parent
        contentWidth: availableWidth
        clip: true

        ColumnLayout {
            id: column
            x: 8
            y: 1
            width: scroll.availableWidth - 16
            spacing: 16

            ProgressView {
                objectName: "signalGauge"
                Layout.fillWidth: true
                Layout.topMargin: 4
                gaugeHeight: 2
                cornerRadius: 4
                progress: root.view.rssi_progress
                colour: root.view.rssi_colour
                opacity: root.view.rssi_opacity
                track: Theme.systemFill
            }

            // A row that wraps: on a phone the board's clock goes under the
            // buttons rather than off the edge.
            Flow {
                id: toolbar
                objectName: "toolbar"
                Layout.fillWidth: true
                spacing: 12

                ToolButton {
                    objectName: "settingsButton"
                    focusPolicy: Qt.NoFocus
                    hoverEnabled: true
                    implicitWidth: 36
                    implicitHeight: 32
                    contentItem: SlidersIcon { colour: Theme.secondary }
                    onClicked: root.view.toggle_config()
                    ToolTip.visible: hovered
                    ToolTip.delay: Theme.tooltipDelay
                    ToolTip.text: tips.tooltips.settings
                    property string tip: tips.tooltips.settings
                }

                Button {
                    id: connectionButton
                    objectName: "connectionButton"
                    focusPolicy: Qt.NoFocus
                    flat: true
                    hoverEnabled: true
                    implicitHeight: 32
                    onClicked: root.view.connection_button()
                    ToolTip.visible: hovered
                    ToolTip.delay: Theme.tooltipDelay
                    ToolTip.text: tips.tooltips.connection
                    property string tip: tips.tooltips.connection
                    contentItem: Row {
                        spacing: 0
                        Text {
                            objectName: "errorRateText"
                            visible: root.view.error_rate !== ""
                            text: root.view.error_rate
                            color: Theme.secondary
                            font.pixelSize: Theme.fontToolbar
                        }
                        Text {
                            objectName: "statusTcpText"
                            visible: root.view.show_tcp_status
                            text: root.view.status_tcp
                            color: root.view.status_tcp_colour
                            font.pixelSize: Theme.fontToolbar
                        }
                        Text {
                            objectName: "statusGapText"
                            visible: root.view.show_status_gap
                            text: " "
                            font.pixelSize: Theme.fontToolbar
                        }
                        Text {
                            objectName: "statusBleText"
                            visible: root.view.show_ble_status
                            text: root.view.status_ble
                            color: root.view.status_ble_colour
                            font.pixelSize: Theme.fontToolbar
                        }
                        Text {
                            objectName: "statusSerialText"
                            visible: root.view.show_serial_status
                            text: root.view.status_serial
                            color: root.view.status_serial_colour
                            font.pixelSize: Theme.fontToolbar
                        }
                        Text {
                            objectName: "statusMqttText"
                            visible: root.view.show_mqtt_status
                            text: root.view.status_mqtt
                            color: root.view.status_mqtt_colour
                            font.pixelSize: Theme.fontToolbar
                        }
                    }
                    background: Rectangle { color: connectionButton.down ? Theme.systemFill : Theme.clear; radius: 6 }
                }

                // A command that no transport took: the board did not get it.
                // In the wrapping toolbar it takes its own line on a phone
                // and wraps rather than being cut.
                Text {
                    objectName: "commandNoteText"
                    visible: root.view.command_note !== ""
                    text: root.view.command_note
                    color: Theme.red
                    font.pixelSize: Theme.fontFootnote
                    height: Math.max(32, implicitHeight)
                    verticalAlignment: Text.AlignVCenter
                    width: Math.min(implicitWidth, toolbar.width)
                    wrapMode: Text.Wrap
                }

                Text {
                    objectName: "boardClock"
                    visible: root.view.show_clock
                    height: 32
                    verticalAlignment: Text.AlignVCenter
                    text: root.view.clock_text
                    color: Theme.secondary
                    font.family: Theme.monospace
                    font.pixelSize: Theme.fontFootnote
                }
            }

            // Said once at start when the settings file was damaged: what was
            // recovered and where the damaged copy was kept. It stays until
            // the user has read it, since the connection may differ from
            // what they saved.
            Rectangle {
                id: settingsBanner
                objectName: "settingsNotice"
                property bool dismissed: false
                visible: root.view.settings_notice !== "" && !dismissed
                Layout.fillWidth: true
                implicitHeight: bannerRow.implicitHeight + 16
                radius: 6
                color: Theme.secondarySystemBackground
                border.color: Theme.orange
                RowLayout {
                    id: bannerRow
                    anchors.fill: parent
                    anchors.margins: 8
                    spacing: 8
                    Text {
                        objectName: "settingsNoticeText"
                        Layout.fillWidth: true
                        wrapMode: Text.Wrap
                        text: root.view.settings_notice
                        color: Theme.primary
                        font.pixelSize: Theme.fontFootnote
                    }
                    Button {
                        objectName: "settingsNoticeOk"
                        focusPolicy: Qt.NoFocus
                        text: "OK"
                        onClicked: settingsBanner.dismissed = true
                    }
                }
            }

            // First group of panels, by the kind of board.
            Loader {
                objectName: "compassGroup"
                Layout.fillWidth: true
                active: root.view.panel_group === "compass"
                visible: active
                sourceComponent: ColumnLayout {
                    spacing: 16
                    CompassPanel { view: root.view; Layout.fillWidth: true }
                    CompassCalibrationPanel { view: root.view; Layout.fillWidth: true }
                }
            }
            Loader {
                objectName: "gyroscopeGroup"
                Layout.fillWidth: true
                active: root.view.panel_group === "gyroscope"
                visible: active
                sourceComponent: GyroscopePanel { view: root.view }
            }
            Loader {
                objectName: "hmc5883Group"
                Layout.fillWidth: true
                active: root.view.panel_group === "hmc5883"
                visible: active
                sourceComponent: ColumnLayout {
                    spacing: 16
                    Hmc5883Panel { view: root.view; Layout.fillWidth: true }
                    Hmc5883CalibrationPanel { view: root.view; Layout.fillWidth: true }
                }
            }
            Loader {
                objectName: "hmc5883nGroup"
                Layout.fillWidth: true
                active: root.view.panel_group === "hmc5883n"
                visible: active
                sourceComponent: Hmc5883nPanel { view: root.view }
            }
            Loader {
                objectName: "gavrin3Group"
                Layout.fillWidth: true
                active: root.view.panel_group === "gavrin3"
                visible: active
                sourceComponent: Gavrin3Panel { view: root.view }
            }
            Loader {
                objectName: "plimsy91Group"
                Layout.fillWidth: true
                active: root.view.panel_group === "plimsy91"
                visible: active
                sourceComponent: ColumnLayout {
                    spacing: 16
                    EnvironmentPanel { view: root.view; Layout.fillWidth: true }
                    ColourPanel { view: root.view; Layout.fillWidth: true }
                }
            }
            // Second group.
            Loader {
                objectName: "accelerometerGroup"
                Layout.fillWidth: true
                active: root.view.show_accelerometer
                visible: active
                sourceComponent: AccelerometerPanel { view: root.view }
            }

            LogSection {
                Layout.fillWidth: true
                Layout.bottomMargin: 16
                view: root.view
            }
        }
    }

    ConfigSheet {
        id: sheet
        view: root.view
        editing: root.editingText
    }
}
