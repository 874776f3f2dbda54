import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Plimsy

// The receive log: "Log" toggles logging (its colour follows the log's
// state), "Clear" empties it and resets the counters.
ColumnLayout {
    id: section
    property ContentViewModel view
    spacing: 8

    RowLayout {
        spacing: 12
        RoundedButton {
            id: logButton
            objectName: "logButton"
            text: "Log"
            bold: true
            fontSize: 17
            textColour: section.view ? section.view.log_title_colour : Theme.secondary
            backgroundColour: "transparent"
            leftPadding: 0
            onActivated: section.view.toggle_log()
            // A right-button handler of its own: a TapHandler would let the
            // button see the release as well and toggle the log too.
            MouseArea {
                anchors.fill: parent
                acceptedButtons: Qt.RightButton
                onClicked: logMenu.popup()
                onPressAndHold: logMenu.popup()
            }
            Menu {
                id: logMenu
                objectName: "logMenu"
                MenuItem {
                    objectName: "logMenuItem"
                    text: section.view ? section.view.log_menu_text : ""
                    onTriggered: section.view.toggle_log()
                }
            }
        }
        RoundedButton {
            objectName: "clearButton"
            text: "Clear"
            textColour: section.view ? section.view.clear_colour : Theme.secondary
            backgroundColour: "transparent"
            onActivated: section.view.clear_log()
        }
    }

    Text {
        objectName: "logText"
        Layout.fillWidth: true
        Layout.preferredHeight: 308
        verticalAlignment: Text.AlignTop
        horizontalAlignment: Text.AlignLeft
        clip: true
        text: section.view ? section.view.log_text : ""
        font.family: Theme.monospace
        font.pixelSize: 14
        color: Theme.primary
        wrapMode: Text.NoWrap
        textFormat: Text.PlainText
    }
}
