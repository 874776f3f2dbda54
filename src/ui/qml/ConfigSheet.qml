import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Plimsy

// The connection settings as a modal sheet: BLE name, bridge address and
// port, serial port, the histories, an MQTT broker with its boards, the
// status line and Close / Bridge / Disconnect.
Popup {
    id: sheet
    property ContentViewModel view
    // A field of the sheet has the keys: B and D are letters then.
    property bool editing: false
    // The MQTT block is unfolded (at each opening: when MQTT is the link
    // chosen).
    property bool mqttShown: false
    // For controls whose own "model" property hides the id below.
    readonly property ConfigViewModel settings: model

    ConfigViewModel {
        id: model
        objectName: "configViewModel"
        view: sheet.view
    }

    modal: true
    // Tapping outside is the desktop's dismissal gesture; Escape is a
    // shortcut of its own so that it gives the selection tick.
    closePolicy: Popup.CloseOnPressOutside
    visible: view ? view.show_config : false
    anchors.centerIn: Overlay.overlay
    width: Math.min(600, (parent ? parent.width : 600) - 24)
    height: Math.min(form.implicitHeight + 2 * padding, (parent ? parent.height : 700) - 24)
    padding: 8
    background: Rectangle { color: Theme.systemBackground; radius: 12; border.color: Theme.systemFill }

    onAboutToShow: {
        model.begin_edit()
        mqttShown = model.mqtt_chosen
    }
    // The serial ports present now, listed once per opening.
    onOpened: model.refresh_ports()
    onClosed: {
        if (view && view.show_config) view.show_config = false
        model.reset_fields()
    }

    Shortcut {
        objectName: "closeShortcut"
        enabled: sheet.opened
        sequence: "Escape"
        onActivated: model.close()
    }
    Shortcut {
        objectName: "sheetToggleShortcut"
        enabled: sheet.opened
        sequence: "Ctrl+,"
        onActivated: sheet.view.toggle_config()
    }
    Shortcut {
        objectName: "bridgeShortcut"
        enabled: sheet.opened && !sheet.editing
        sequence: "B"
        onActivated: model.bridge()
    }
    Shortcut {
        objectName: "disconnectShortcut"
        enabled: sheet.opened && !sheet.editing && model.show_disconnect
        sequence: "D"
        onActivated: model.disconnect()
    }

    ScrollView {
        anchors.fill: parent
        contentWidth: availableWidth
        clip: true

        ColumnLayout {
            id: form
            width: parent.width
            spacing: 0

            // Blocks 1 to 3 share one context menu.
            ColumnLayout {
                id: editable
                Layout.fillWidth: true
                spacing: 0

                TapHandler {
                    acceptedButtons: Qt.RightButton
                    onTapped: formMenu.popup()
                }
                Menu {
                    id: formMenu
                    objectName: "formMenu"
                    MenuItem {
                        objectName: "deleteConfigItem"
                        text: "Delete saved configuration"
                        onTriggered: model.delete_config()
                    }
                }

                Text {
                    text: "BLE peripheral name"
                    font.pixelSize: Theme.fontTitle
                    font.bold: true
                    color: Theme.blue
                    Layout.bottomMargin: 6
                }
                RowLayout {
                    Layout.fillWidth: true
                    Layout.bottomMargin: 16
                    spacing: 8
                    TextField {
                        id: bleField
                        objectName: "bleNameField"
                        Layout.fillWidth: true
                        placeholderText: "BLE name"
                        text: model.ble_name
                        color: Theme.primary
                        onTextEdited: model.ble_name = text
                        onAccepted: focus = false
                    }
                    RoundedButton {
                        objectName: "bleRevertButton"
                        tip: model.tooltips.ble_revert
                        visible: model.ble_name_empty
                        text: "Revert"
                        textColour: Theme.secondary
                        backgroundColour: Theme.secondarySystemBackground
                        onActivated: model.ble_revert()
                    }
                    RoundedButton {
                        objectName: "bleConnectButton"
                        tip: model.tooltips.ble_connect
                        visible: !model.ble_name_empty
                        text: "Connect"
                        textColour: Theme.blue
                        backgroundColour: Theme.secondarySystemBackground
                        onActivated: model.ble_connect()
                    }
                }

                Text {
                    text: "IP address and port"
                    font.pixelSize: Theme.fontTitle
                    font.bold: true
                    color: Theme.blue
                    Layout.bottomMargin: 6
                }
                RowLayout {
                    Layout.fillWidth: true
                    Layout.bottomMargin: 16
                    spacing: 8
                    TextField {
                        objectName: "hostField"
                        Layout.fillWidth: true
                        placeholderText: "host"
                        inputMethodHints: Qt.ImhFormattedNumbersOnly
                        text: model.host_text
                        color: model.host_colour
                        onTextEdited: model.host_text = text
                        onAccepted: focus = false
                    }
                    TextField {
                        objectName: "portField"
                        Layout.preferredWidth: 80
                        placeholderText: "port"
                        inputMethodHints: Qt.ImhDigitsOnly
                        text: model.port_text
                        color: model.port_colour
                        onTextEdited: model.port_text = text
                        onAccepted: focus = false
                    }
                    RoundedButton {
                        objectName: "tcpConnectButton"
                        tip: model.tooltips.tcp_connect
                        visible: model.tcp_usable
                        text: "Connect"
                        textColour: Theme.green
                        backgroundColour: Theme.secondarySystemBackground
                        onActivated: model.tcp_connect()
                    }
                    RoundedButton {
                        objectName: "tcpRevertButton"
                        tip: model.tooltips.tcp_revert
                        visible: !model.tcp_usable
                        text: "Revert"
                        textColour: Theme.secondary
                        backgroundColour: Theme.secondarySystemBackground
                        onActivated: model.tcp_revert()
                    }
                }

                Text {
                    text: "Serial port and speed"
                    font.pixelSize: Theme.fontTitle
                    font.bold: true
                    color: Theme.blue
                    Layout.bottomMargin: 6
                }
                // The path and its button on one line, the speed and the ports
                // present on the next: a phone-wide sheet holds both.
                RowLayout {
                    Layout.fillWidth: true
                    Layout.bottomMargin: 6
                    spacing: 8
                    TextField {
                        objectName: "serialPortField"
                        Layout.fillWidth: true
                        placeholderText: "/dev/ttyACM0"
                        text: model.serial_port
                        color: Theme.primary
                        onTextEdited: model.serial_port = text
                        onAccepted: focus = false
                    }
                    RoundedButton {
                        objectName: "serialRevertButton"
                        visible: model.serial_port_empty
                        text: "Revert"
                        textColour: Theme.secondary
                        backgroundColour: Theme.secondarySystemBackground
                        onActivated: model.serial_revert()
                    }
                    RoundedButton {
                        objectName: "serialConnectButton"
                        visible: !model.serial_port_empty
                        text: "Connect"
                        textColour: Theme.orange
                        backgroundColour: Theme.secondarySystemBackground
                        onActivated: model.serial_connect()
                    }
                }
                RowLayout {
                    Layout.fillWidth: true
                    Layout.bottomMargin: 16
                    spacing: 8
                    ComboBox {
                        id: baudBox
                        objectName: "baudBox"
                        Layout.preferredWidth: 120
                        focusPolicy: Qt.NoFocus
                        model: sheet.settings.bauds
                        currentIndex: sheet.settings.baud_index
                        onActivated: index => sheet.settings.pick_baud(index)
                        indicator: ComboIndicator { control: baudBox }
                        rightPadding: 24
                    }
                    ComboBox {
                        id: portsBox
                        objectName: "availablePortsBox"
                        Layout.fillWidth: true
                        focusPolicy: Qt.NoFocus
                        model: sheet.settings.available_ports
                        displayText: count > 0 ? "Ports present" : "No ports"
                        enabled: count > 0
                        onActivated: index => sheet.settings.pick_available_port(index)
                        indicator: ComboIndicator { control: portsBox }
                        rightPadding: 24
                    }
                }

                // Four histories side by side where there is room, two by two
                // on a phone.
                GridLayout {
                    Layout.fillWidth: true
                    Layout.bottomMargin: 16
                    columns: sheet.width < 480 ? 2 : 4
                    columnSpacing: 16
                    rowSpacing: 8
                    HistoryColumn {
                        objectName: "bleHistory"
                        title: "BLE"
                        Layout.alignment: Qt.AlignTop
                        entries: model.history_ble_name
                        Layout.fillWidth: true
                        onPicked: index => model.pick_ble_name(index)
                    }
                    HistoryColumn {
                        objectName: "hostHistory"
                        title: "IP"
                        Layout.alignment: Qt.AlignTop
                        entries: model.history_host
                        Layout.fillWidth: true
                        onPicked: index => model.pick_host(index)
                    }
                    HistoryColumn {
                        objectName: "portHistory"
                        title: "port"
                        Layout.alignment: Qt.AlignTop
                        trailing: true
                        entries: model.history_port
                        onPicked: index => model.pick_port(index)
                    }
                    HistoryColumn {
                        objectName: "serialHistory"
                        title: "serial"
                        Layout.alignment: Qt.AlignTop
                        entries: model.history_serial_port
                        onPicked: index => model.pick_serial_port(index)
                    }
                }

                // A board elsewhere, through the broker its gateway
                // publishes to: the broker first, then a board of its list.
                // Folded away unless it is the link chosen, so the sheet of
                // a board on the desk stays as short as it was.
                RowLayout {
                    Layout.fillWidth: true
                    Layout.bottomMargin: sheet.mqttShown ? 6 : 16
                    spacing: 8
                    Text {
                        text: "MQTT broker"
                        font.pixelSize: Theme.fontTitle
                        font.bold: true
                        color: Theme.blue
                    }
                    Item { Layout.fillWidth: true }
                    RoundedButton {
                        objectName: "mqttToggleButton"
                        text: sheet.mqttShown ? "Hide" : "Show"
                        textColour: Theme.secondary
                        backgroundColour: Theme.clear
                        topPadding: 2
                        bottomPadding: 2
                        onActivated: sheet.mqttShown = !sheet.mqttShown
                    }
                }
                ColumnLayout {
                    Layout.fillWidth: true
                    visible: sheet.mqttShown
                    spacing: 0
                    RowLayout {
                        Layout.fillWidth: true
                        spacing: 8
                        TextField {
                            objectName: "mqttUrlField"
                            Layout.fillWidth: true
                            placeholderText: "mqtts://broker:8883"
                            inputMethodHints: Qt.ImhUrlCharactersOnly | Qt.ImhNoAutoUppercase
                            text: model.mqtt_url
                            color: model.mqtt_url_colour
                            onTextEdited: model.mqtt_url = text
                            onAccepted: focus = false
                        }
                        RoundedButton {
                            objectName: "mqttConnectButton"
                            tip: model.tooltips.mqtt_connect
                            enabled: model.mqtt_url_valid
                            text: "Connect"
                            textColour: Theme.accent
                            backgroundColour: Theme.secondarySystemBackground
                            onActivated: model.mqtt_connect()
                        }
                    }
                    Text {
                        objectName: "mqttUrlError"
                        visible: text !== ""
                        text: model.mqtt_url_error
                        color: Theme.red
                        font.pixelSize: Theme.fontFootnote
                        wrapMode: Text.Wrap
                        Layout.fillWidth: true
                    }
                    // User and password side by side where there is room.
                    GridLayout {
                        Layout.fillWidth: true
                        Layout.topMargin: 6
                        columns: sheet.width < 480 ? 1 : 2
                        columnSpacing: 8
                        rowSpacing: 6
                        TextField {
                            objectName: "mqttUserField"
                            Layout.fillWidth: true
                            placeholderText: "user name"
                            inputMethodHints: Qt.ImhNoAutoUppercase | Qt.ImhNoPredictiveText
                            text: model.mqtt_user
                            color: Theme.primary
                            onTextEdited: model.mqtt_user = text
                            onAccepted: focus = false
                        }
                        TextField {
                            objectName: "mqttPasswordField"
                            Layout.fillWidth: true
                            placeholderText: model.mqtt_password_placeholder
                            echoMode: TextInput.Password
                            inputMethodHints: Qt.ImhHiddenText | Qt.ImhSensitiveData | Qt.ImhNoPredictiveText
                            text: model.mqtt_password
                            color: Theme.primary
                            onTextEdited: model.mqtt_password = text
                            onAccepted: focus = false
                        }
                    }
                    TextField {
                        objectName: "mqttCaFileField"
                        Layout.fillWidth: true
                        Layout.topMargin: 6
                        placeholderText: "CA file (optional)"
                        text: model.mqtt_ca_file
                        color: Theme.primary
                        onTextEdited: model.mqtt_ca_file = text
                        onAccepted: focus = false
                    }
                    Text {
                        objectName: "keyringNote"
                        visible: text !== ""
                        text: model.keyring_note
                        color: Theme.orange
                        font.pixelSize: Theme.fontFootnote
                        wrapMode: Text.Wrap
                        Layout.fillWidth: true
                        Layout.topMargin: 4
                    }
                    RowLayout {
                        Layout.fillWidth: true
                        Layout.topMargin: 6
                        spacing: 8
                        TextField {
                            objectName: "mqttBoardField"
                            Layout.fillWidth: true
                            placeholderText: "board"
                            inputMethodHints: Qt.ImhNoAutoUppercase | Qt.ImhNoPredictiveText
                            text: model.mqtt_board
                            color: Theme.primary
                            onTextEdited: model.mqtt_board = text
                            onAccepted: focus = false
                        }
                        ComboBox {
                            id: boardsBox
                            objectName: "mqttBoardsBox"
                            Layout.fillWidth: true
                            focusPolicy: Qt.NoFocus
                            model: sheet.settings.mqtt_boards
                            displayText: sheet.settings.mqtt_boards_title
                            enabled: count > 0
                            onActivated: index => sheet.settings.pick_mqtt_board(index)
                            indicator: ComboIndicator { control: boardsBox }
                            rightPadding: 24
                        }
                    }
                    Text {
                        objectName: "mqttStatusText"
                        text: model.mqtt_status
                        color: model.mqtt_status_colour
                        font.pixelSize: Theme.fontButton
                        wrapMode: Text.Wrap
                        Layout.fillWidth: true
                        Layout.topMargin: 4
                        Layout.bottomMargin: 16
                    }
                }
            }

            // Status line.
            Row {
                Layout.fillWidth: true
                Layout.bottomMargin: 12
                spacing: 12
                Text {
                    objectName: "statusTcpLine"
                    visible: model.status_tcp !== ""
                    text: model.status_tcp
                    color: Theme.secondary
                    font.pixelSize: Theme.fontButton
                }
                Text {
                    objectName: "statusBleLine"
                    visible: model.status_ble !== ""
                    text: model.status_ble
                    color: Theme.secondary
                    font.pixelSize: Theme.fontButton
                }
                Text {
                    objectName: "statusMqttLine"
                    visible: model.status_mqtt !== ""
                    text: model.status_mqtt
                    color: Theme.secondary
                    font.pixelSize: Theme.fontButton
                }
                Text {
                    objectName: "statusSerialLine"
                    visible: model.status_serial !== ""
                    text: model.status_serial
                    color: Theme.secondary
                    font.pixelSize: Theme.fontButton
                }
                Text {
                    objectName: "offlineLine"
                    visible: model.offline
                    text: "offline"
                    color: Theme.tertiary
                    font.pixelSize: Theme.fontButton
                }
            }

            RowLayout {
                spacing: 12
                RoundedButton {
                    objectName: "closeButton"
                    tip: model.tooltips.close
                    text: "Close"
                    textColour: Theme.secondary
                    backgroundColour: Theme.systemBackground
                    onActivated: model.close()
                }
                RoundedButton {
                    objectName: "bridgeButton"
                    tip: model.tooltips.bridge
                    text: "Bridge"
                    textColour: model.bridge_colour
                    backgroundColour: Theme.secondarySystemBackground
                    onActivated: model.bridge()
                }
                RoundedButton {
                    objectName: "disconnectButton"
                    tip: model.tooltips.disconnect
                    visible: model.show_disconnect
                    text: "Disconnect"
                    textColour: Theme.white
                    backgroundColour: Theme.destructive
                    onActivated: model.disconnect()
                }
            }
        }
    }
}
