import QtQuick
import QtQuick.Shapes
import Plimsy

// A compass card that turns so the heading stands under the mark at the
// top. It takes the shorter way round to each new heading, over animTime
// seconds, and jumps when animTime is 0 (a step the model calls a jump).
Item {
    id: dial
    // Degrees, any range.
    property real heading: 0
    // Seconds for the turn to the newest heading.
    property real animTime: 0
    // Shown in the middle of the card.
    property string centreText
    property color markColour: Theme.red

    // The angle the card shows, unwrapped so the turn never goes the long
    // way across north; `target` is where it is going.
    property real shown: 0
    property real target: 0

    implicitWidth: 280
    implicitHeight: implicitWidth

    readonly property real side: Math.min(width, height)
    readonly property real ring: side / 2 - 14

    function follow() {
        const delta = (((heading - target) % 360) + 540) % 360 - 180;
        target = target + delta;
        turn.stop();
        if (animTime <= 0) {
            shown = target;
        } else {
            turn.from = shown;
            turn.to = target;
            turn.duration = animTime * 1000;
            turn.start();
        }
    }

    // Heading and animation time arrive together but their bindings update
    // in no fixed order; act once both are in.
    onHeadingChanged: Qt.callLater(dial.follow)
    Component.onCompleted: {
        target = heading;
        shown = heading;
    }

    NumberAnimation {
        id: turn
        target: dial
        property: "shown"
        easing.type: Easing.InOutQuad
    }

    Rectangle {
        anchors.centerIn: parent
        width: dial.ring * 2
        height: width
        radius: width / 2
        color: Theme.secondarySystemBackground
        border.color: Theme.systemFill
        border.width: 1
    }

    Item {
        id: card
        objectName: "compassCard"
        anchors.centerIn: parent
        width: dial.ring * 2
        height: width
        rotation: -dial.shown

        Repeater {
            model: 72
            delegate: Rectangle {
                required property int index
                readonly property bool major: index % 6 === 0
                x: card.width / 2 - width / 2
                y: 2
                width: major ? 2 : 1
                height: major ? dial.ring * 0.1 : dial.ring * 0.05
                color: major ? Theme.primary : Theme.secondary
                antialiasing: true
                transform: Rotation {
                    origin.x: width / 2
                    origin.y: card.height / 2 - 2
                    angle: index * 5
                }
            }
        }

        Repeater {
            model: ["N", "30", "60", "E", "120", "150", "S", "210", "240", "W", "300", "330"]
            delegate: Text {
                required property int index
                required property string modelData
                readonly property bool cardinal: index % 3 === 0
                readonly property real angle: index * 30
                readonly property real radius: dial.ring * (cardinal ? 0.72 : 0.74)
                x: card.width / 2 + radius * Math.sin(angle * Math.PI / 180) - width / 2
                y: card.height / 2 - radius * Math.cos(angle * Math.PI / 180) - height / 2
                rotation: angle
                text: modelData
                color: index === 0 ? dial.markColour : (cardinal ? Theme.primary : Theme.secondary)
                font.pixelSize: cardinal ? Math.max(Theme.fontDialCardinal, dial.ring * 0.16) : Math.max(Theme.fontDialDegrees, dial.ring * 0.08)
                font.bold: cardinal
            }
        }
    }

    // The mark the heading is read against.
    Shape {
        anchors.horizontalCenter: parent.horizontalCenter
        y: dial.height / 2 - dial.ring - 12
        width: 16
        height: 16
        ShapePath {
            strokeWidth: 0
            strokeColor: Theme.clear
            fillColor: dial.markColour
            startX: 0; startY: 0
            PathLine { x: 16; y: 0 }
            PathLine { x: 8; y: 16 }
            PathLine { x: 0; y: 0 }
        }
    }

    Text {
        objectName: dial.objectName + "Text"
        anchors.centerIn: parent
        text: dial.centreText
        color: Theme.primary
        font.pixelSize: Math.max(Theme.fontSize, dial.ring * 0.22)
        font.bold: true
    }
}
