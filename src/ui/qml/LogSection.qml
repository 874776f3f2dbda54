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

    MainPanelModel {
        id: tips
        view: section.view
    }

    RowLayout {
        spacing: 12
        RoundedButton {
            id: logButton
            objectName: "logButton"
            text: "Log"
            tip: tips.tooltips.log
            bold: true
            fontSize: Theme.fontTitle
            textColour: section.view ? section.view.log_title_colour : Theme.secondary
            backgroundColour: Theme.clear
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
            tip: tips.tooltips.clear
            textColour: section.view ? section.view.clear_colour : Theme.secondary
            backgroundColour: Theme.clear
            onActivated: section.view.clear_log()
        }
    }

    // A frame of fixed height; long lines wrap and what does not fit
    // scrolls inside it, so nothing is cut off on a narrow window.
    ScrollView {
        id: logFrame
        objectName: "logFrame"
        Layout.fillWidth: true
        Layout.preferredHeight: 308
        contentWidth: availableWidth
        clip: true

        Text {
            objectName: "logText"
            width: logFrame.availableWidth
            verticalAlignment: Text.AlignTop
            horizontalAlignment: Text.AlignLeft
            text: section.view ? section.view.log_text : ""
            font.family: Theme.monospace
            font.pixelSize: Theme.fontLog
            color: Theme.primary
            wrapMode: Text.WrapAnywhere
            textFormat: Text.PlainText
        }
    }
}
