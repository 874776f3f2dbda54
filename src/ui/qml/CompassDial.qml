import QtQuick
import QtQuick.Shapes
import Plimsy

// A heading indicator: the compass card turns under a fixed mark at the
// top, so the mark reads the heading off the card, and the heading itself
// stands in figures in the middle. The card keeps its rotation unwrapped and
// always turns the short way, also across north.
Item {
    id: dial
    // The panel model: heading in degrees and the time to get there.
    property CompassPanelModel compass
    property string headingText: ""

    readonly property real radius: Math.min(width, height) / 2
    readonly property real fontSize: Math.max(11, radius * 0.11)

    implicitWidth: 300
    implicitHeight: 300

    function follow() {
        if (!dial.compass) return;
        // Turning the card by minus the heading brings that heading under the mark.
        const target = dial.compass.nearest_turn(card.target, -dial.compass.heading);
        const seconds = dial.compass.anim_time;
        turn.stop();
        card.target = target;
        if (seconds > 0) {
            turn.from = card.rotation;
            turn.to = target;
            turn.duration = Math.round(seconds * 1000);
            turn.start();
        } else {
            card.rotation = target;
        }
    }

    Connections {
        target: dial.compass
        function onChanged() {
            // The panel model tells of every sensor change; only a new
            // heading moves the card.
            if (dial.compass.heading !== card.heading) {
                card.heading = dial.compass.heading;
                dial.follow();
            }
        }
    }
    Component.onCompleted: {
        if (dial.compass) {
            card.heading = dial.compass.heading;
            card.target = -card.heading;
            card.rotation = card.target;
        }
    }

    // The face.
    Rectangle {
        anchors.centerIn: parent
        width: dial.radius * 2
        height: width
        radius: width / 2
        color: Theme.secondarySystemBackground
        border.color: Theme.tertiary
        border.width: 1
        antialiasing: true
    }

    Item {
        id: card
        objectName: "compassCard"
        anchors.centerIn: parent
        width: dial.radius * 2
        height: width
        // The heading this card shows and the rotation it is heading for.
        property real heading: 0
        property real target: 0

        NumberAnimation {
            id: turn
            target: card
            property: "rotation"
            easing.type: Easing.Linear
        }

        // Ticks every 5 degrees, longer every 10, longest every 30.
        Repeater {
            model: 72
            Item {
                required property int index
                anchors.fill: parent
                rotation: index * 5
                readonly property bool major: index % 6 === 0
                readonly property bool middle: index % 2 === 0
                Rectangle {
                    x: (parent.width - width) / 2
                    y: dial.radius * 0.04
                    width: parent.major ? 2.5 : 1.2
                    height: dial.radius * (parent.major ? 0.13 : parent.middle ? 0.09 : 0.05)
                    color: parent.major ? Theme.primary : Theme.secondary
                    antialiasing: true
                }
            }
        }

        // North: a slender red arrowhead on the rim of the card, pointing out.
        Shape {
            anchors.fill: parent
            antialiasing: true
            ShapePath {
                strokeColor: "transparent"
                fillColor: Theme.red
                startX: card.width / 2
                startY: dial.radius * 0.2
                PathLine { x: card.width / 2 - dial.radius * 0.06; y: dial.radius * 0.4 }
                PathLine { x: card.width / 2 + dial.radius * 0.06; y: dial.radius * 0.4 }
                PathLine { x: card.width / 2; y: dial.radius * 0.2 }
            }
        }

        // Cardinal letters and the degrees between them, kept upright so
        // they read at a glance whatever the heading.
        Repeater {
            model: 12
            Item {
                required property int index
                readonly property real angle: index * 30
                readonly property bool cardinal: index % 3 === 0
                readonly property real distance: dial.radius * (cardinal ? 0.5 : 0.66)
                x: card.width / 2 + distance * Math.sin(angle * Math.PI / 180)
                y: card.height / 2 - distance * Math.cos(angle * Math.PI / 180)
                Text {
                    anchors.centerIn: parent
                    rotation: -card.rotation
                    text: parent.cardinal ? ["N", "E", "S", "W"][parent.index / 3] : String(parent.angle)
                    color: parent.index === 0 ? Theme.red : parent.cardinal ? Theme.primary : Theme.secondary
                    font.pixelSize: parent.cardinal ? dial.fontSize * 1.5 : dial.fontSize
                    font.bold: parent.cardinal
                }
            }
        }
    }

    // The fixed mark the heading is read against: from inside the ticks
    // out past the rim.
    LineNormalized {
        objectName: "headingMark"
        anchors.centerIn: parent
        width: dial.radius * 2 + 12
        height: width
        startX: 0
        startY: -dial.radius * 0.8
        endX: 0
        endY: -1
        lineWidth: 4
        colour: Theme.orange
        capStyle: ShapePath.RoundCap
    }

    // The heading in figures, in the middle of the card; the degree sign
    // hangs off to the right so the figures themselves stay centred.
    Text {
        id: headingFigures
        objectName: "headingText"
        anchors.centerIn: parent
        text: dial.headingText
        color: Theme.primary
        font.pixelSize: dial.radius * 0.3
        font.weight: Font.DemiBold
    }
    Text {
        anchors.left: headingFigures.right
        anchors.top: headingFigures.top
        text: "\u00BA"
        color: Theme.primary
        font: headingFigures.font
    }
}
