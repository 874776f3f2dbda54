import QtQuick
import Plimsy

// Three horizontal sliders: the settings symbol.
Item {
    property color colour: Theme.secondary
    implicitWidth: 20
    implicitHeight: 16
    Repeater {
        model: [0.7, 0.3, 0.55]
        Item {
            required property real modelData
            required property int index
            width: parent.width
            height: 2
            y: 2 + index * 5
            Rectangle { width: parent.width; height: 2; radius: 1; color: colour }
            Rectangle {
                width: 6; height: 6; radius: 3
                x: modelData * (parent.width - width)
                y: -2
                color: colour
            }
        }
    }
}
