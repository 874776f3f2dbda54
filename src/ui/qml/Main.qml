import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Dialogs
// Qt's own file and folder dialogs (QtQuick.Dialogs' QML implementation)
// import Qt.labs.folderlistmodel, but Debian's dialogs package does not
// depend on it; importing it here puts its package into ours, which is made
// from this file's imports.
import Qt.labs.folderlistmodel
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
    readonly property CaptureModel capture: view.capture

    MainPanelModel {
        id: tips
        view: root.view
    }

    Shortcut {
        objectName: "settingsShortcut"
        enabled: !root.view.show_config && !root.view.replaying
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

    // Recording and replay. Ctrl+R is the magnetometer panel's; Shift
    // makes the recording's its own.
    Shortcut {
        objectName: "recordShortcut"
        enabled: !root.view.replaying
        sequence: "Ctrl+Shift+R"
        onActivated: root.capture.toggle_recording()
    }
    Shortcut {
        objectName: "openShortcut"
        sequence: "Ctrl+O"
        onActivated: openDialog.open()
    }
    Shortcut {
        objectName: "playShortcut"
        enabled: root.view.replaying && !root.editingText
        sequence: "Space"
        onActivated: root.capture.play_pause()
    }

    FileDialog {
        id: openDialog
        objectName: "openDialog"
        title: "Open recording"
        nameFilters: root.capture.file_filters
        currentFolder: root.capture.recordings_url
        onAccepted: root.capture.open_url(selectedFile)
    }
    FolderDialog {
        id: exportDialog
        objectName: "exportDialog"
        title: "Export CSV tables into"
        onAccepted: root.capture.export_csv(selectedFolder)
    }

    // A capture dropped anywhere on the window replays.
    DropArea {
        objectName: "dropArea"
        anchors.fill: parent
        onEntered: (drag) => { drag.accepted = drag.hasUrls }
        onDropped: (drop) => {
            if (drop.hasUrls && drop.urls.length > 0) {
                root.capture.open_url(drop.urls[0])
                drop.accept()
            }
        }
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
                    enabled: !root.view.replaying
                    focusPolicy: Qt.NoFocus
                    hoverEnabled: true
                    implicitWidth: 36
                    implicitHeight: 32
                    contentItem: SlidersIcon { colour: Theme.secondary }
                    opacity: enabled ? 1 : 0.4
                    onClicked: root.view.toggle_config()
                    ToolTip.visible: hovered
                    ToolTip.delay: Theme.tooltipDelay
                    ToolTip.text: tips.tooltips.settings
                    property string tip: tips.tooltips.settings
                }

                Button {
                    id: connectionButton
                    objectName: "connectionButton"
                    // The replay bar says what is shown while a capture replays.
                    visible: !root.view.replaying
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

                // Records the live session; red while it does, with the time
                // and the file's size beside it.
                Button {
                    id: recordButton
                    objectName: "recordButton"
                    visible: !root.view.replaying
                    enabled: root.capture.can_record || root.capture.recording
                    focusPolicy: Qt.NoFocus
                    flat: true
                    hoverEnabled: true
                    implicitHeight: 32
                    text: root.capture.recording ? "Stop" : "Record"
                    onClicked: root.capture.toggle_recording()
                    ToolTip.visible: hovered
                    ToolTip.delay: Theme.tooltipDelay
                    ToolTip.text: tip
                    property string tip: root.capture.tooltips.record
                    contentItem: Row {
                        spacing: 6
                        Rectangle {
                            objectName: "recordDot"
                            anchors.verticalCenter: parent.verticalCenter
                            width: 12
                            height: 12
                            radius: 6
                            color: root.capture.recording ? Theme.red : Theme.clear
                            border.color: Theme.red
                            border.width: 2
                        }
                        Text {
                            text: recordButton.text
                            color: Theme.link
                            opacity: recordButton.enabled ? 1 : 0.4
                            font.pixelSize: Theme.fontToolbar
                        }
                    }
                    background: Rectangle { color: recordButton.down ? Theme.systemFill : Theme.clear; radius: 6 }
                }
                Text {
                    objectName: "recordStatus"
                    visible: root.capture.recording
                    height: 32
                    verticalAlignment: Text.AlignVCenter
                    text: "REC " + root.capture.record_time + " · " + root.capture.record_size
                    color: Theme.red
                    font.family: Theme.monospace
                    font.pixelSize: Theme.fontFootnote
                }
                // Captures: open one, the recordings folder, export.
                Button {
                    id: capturesButton
                    objectName: "capturesButton"
                    focusPolicy: Qt.NoFocus
                    flat: true
                    hoverEnabled: true
                    implicitHeight: 32
                    text: "Recordings ▾"
                    font.pixelSize: Theme.fontToolbar
                    onClicked: capturesMenu.popup()
                    ToolTip.visible: hovered
                    ToolTip.delay: Theme.tooltipDelay
                    ToolTip.text: tip
                    property string tip: root.capture.tooltips.captures
                    contentItem: Text {
                        text: capturesButton.text
                        font: capturesButton.font
                        color: Theme.link
                        verticalAlignment: Text.AlignVCenter
                    }
                    background: Rectangle { color: capturesButton.down ? Theme.systemFill : Theme.clear; radius: 6 }
                    Menu {
                        id: capturesMenu
                        objectName: "capturesMenu"
                        MenuItem {
                            objectName: "openMenuItem"
                            text: "Open recording… (Ctrl+O)"
                            onTriggered: openDialog.open()
                        }
                        MenuItem {
                            objectName: "showRecordingsMenuItem"
                            text: "Show recordings"
                            onTriggered: root.capture.show_recordings()
                        }
                        MenuItem {
                            objectName: "exportMenuItem"
                            text: "Export CSV…"
                            enabled: root.view.replaying && !root.capture.busy
                            onTriggered: exportDialog.open()
                        }
                        MenuItem {
                            objectName: "backToLiveMenuItem"
                            text: "Back to live"
                            enabled: root.view.replaying
                            onTriggered: root.capture.back_to_live()
                        }
                    }
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

            CaptureBar {
                Layout.fillWidth: true
                view: root.view
                onExportRequested: exportDialog.open()
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
