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

    Shortcut {
        objectName: "settingsShortcut"
        enabled: !root.view.show_config
        sequence: "Ctrl+,"
        onActivated: root.view.toggle_config()
    }
    Shortcut {
        objectName: "logShortcut"
        sequence: "L"
        onActivated: root.view.toggle_log()
    }
    Shortcut {
        objectName: "clearShortcut"
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

            RowLayout {
                id: toolbar
                Layout.fillWidth: true
                spacing: 12

                ToolButton {
                    objectName: "settingsButton"
                    focusPolicy: Qt.NoFocus
                    implicitWidth: 36
                    implicitHeight: 32
                    contentItem: SlidersIcon { colour: Theme.secondary }
                    onClicked: root.view.toggle_config()
                    ToolTip.visible: hovered
                    ToolTip.text: "Connection settings (Ctrl+,)"
                }

                Button {
                    id: connectionButton
                    objectName: "connectionButton"
                    focusPolicy: Qt.NoFocus
                    flat: true
                    onClicked: root.view.connection_button()
                    contentItem: Row {
                        spacing: 0
                        Text {
                            objectName: "errorRateText"
                            visible: root.view.error_rate !== ""
                            text: root.view.error_rate
                            color: Theme.secondary
                            font.pixelSize: 16
                        }
                        Text {
                            objectName: "statusTcpText"
                            visible: root.view.show_tcp_status
                            text: root.view.status_tcp
                            color: root.view.status_tcp_colour
                            font.pixelSize: 16
                        }
                        Text {
                            objectName: "statusGapText"
                            visible: root.view.show_status_gap
                            text: " "
                            font.pixelSize: 16
                        }
                        Text {
                            objectName: "statusBleText"
                            visible: root.view.show_ble_status
                            text: root.view.status_ble
                            color: root.view.status_ble_colour
                            font.pixelSize: 16
                        }
                        Text {
                            objectName: "statusSerialText"
                            visible: root.view.show_serial_status
                            text: root.view.status_serial
                            color: root.view.status_serial_colour
                            font.pixelSize: 16
                        }
                    }
                    background: Rectangle { color: connectionButton.down ? Theme.systemFill : "transparent"; radius: 6 }
                }

                Item { Layout.fillWidth: true }

                Text {
                    objectName: "boardClock"
                    visible: root.view.show_clock
                    text: root.view.clock_text
                    color: Theme.secondary
                    font.family: Theme.monospace
                    font.pixelSize: 13
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
    }
}
