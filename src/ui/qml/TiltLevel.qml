import QtQuick
import QtQuick.Shapes
import Plimsy

// A bubble level of the board seen from above: the bubble drifts to the
// high side, as far out as the board is tilted (the rim is a board on its
// edge), and a line from the centre shows the way down the slope. A board
// lying on its face has no bubble to speak of; the bubble then turns
// hollow and orange.
Item {
    id: level
    // Radians: about the x axis, about the y axis, away from the vertical.
    property real rax: 0
    property real ray: 0
    property real raz: 0
    // Seconds over which the bubble moves to a new reading; 0 jumps.
    property real animTime: 0

    readonly property bool faceDown: raz > Math.PI / 2
    readonly property real radius: Math.min(width, height) / 2

    implicitWidth: 140
    implicitHeight: 140

    Rectangle {
        id: face
        anchors.centerIn: parent
        width: level.radius * 2
        height: width
        radius: width / 2
        color: Theme.secondarySystemBackground
        border.color: Theme.tertiary
        antialiasing: true
    }
    // Ten and thirty degrees of tilt.
    Repeater {
        model: [Math.sin(10 * Math.PI / 180), Math.sin(30 * Math.PI / 180)]
        Rectangle {
            required property real modelData
            anchors.centerIn: parent
            width: level.radius * 2 * modelData
            height: width
            radius: width / 2
            color: Theme.clear
            border.color: Theme.tertiary
            antialiasing: true
        }
    }
    Rectangle {
        anchors.centerIn: parent
        width: face.width
        height: 1
        color: Theme.tertiary
    }
    Rectangle {
        anchors.centerIn: parent
        width: 1
        height: face.height
        color: Theme.tertiary
    }
    Text {
        anchors.right: face.right
        anchors.rightMargin: 4
        anchors.bottom: face.verticalCenter
        text: "x"
        color: Theme.secondary
        font.pixelSize: Math.max(Theme.fontMin, level.radius * 0.14)
    }
    Text {
        anchors.left: face.horizontalCenter
        anchors.leftMargin: 4
        anchors.top: face.top
        text: "y"
        color: Theme.secondary
        font.pixelSize: Math.max(Theme.fontMin, level.radius * 0.14)
    }

    // The level sits in the board's plane with x to the right and y up, so
    // the bubble goes to (-sin ray, -sin rax) on the screen.
    LineNormalized {
        id: slope
        objectName: "tiltLine"
        anchors.centerIn: parent
        width: face.width
        height: face.height
        endX: -Math.sin(level.ray)
        endY: -Math.sin(level.rax)
        duration: Math.round(level.animTime * 1000)
        lineWidth: 2
        colour: level.faceDown ? Theme.orange : Theme.blue
    }
    Rectangle {
        objectName: "tiltBubble"
        readonly property real size: Math.max(Theme.fontMin, level.radius * 0.26)
        width: size
        height: size
        radius: size / 2
        x: level.width / 2 + slope.endX * level.radius - size / 2
        y: level.height / 2 + slope.endY * level.radius - size / 2
        color: level.faceDown ? Theme.clear : Theme.blue
        border.color: level.faceDown ? Theme.orange : Theme.blue
        border.width: 2
        antialiasing: true
    }
}
