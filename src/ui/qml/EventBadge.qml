import QtQuick
import Plimsy

// The label of one event on its own background.
Rectangle {
    id: badge
    property string label
    property color textColour
    property color backgroundColour

    implicitWidth: text.implicitWidth + 2 * Theme.paddingEvent
    implicitHeight: text.implicitHeight + Theme.paddingEvent
    radius: 8
    color: backgroundColour

    Text {
        id: text
        objectName: badge.objectName + "Text"
        anchors.centerIn: parent
        text: badge.label
        color: badge.textColour
        font.pixelSize: Theme.fontSize
        font.bold: true
    }
}
