import QtQuick
import QtQuick.Shapes
import Plimsy

// A straight line whose end is given relative to the area it is drawn in:
// end (1, 0) reaches the middle of the right edge, (0, -1) the middle of the
// top edge, (-1, 1) the bottom-left corner, so a needle or an axis scales
// with whatever holds it. The start is an offset from the centre in pixels,
// not scaled; (0, 0) is the usual needle from the centre.
Shape {
    id: line
    property real startX: 0
    property real startY: 0
    property real endX: 0
    property real endY: 0
    property real lineWidth: 1
    property color colour: Theme.black
    property int capStyle: ShapePath.RoundCap
    // Milliseconds over which a new end slides into place; 0 jumps. Set it
    // before the end changes: the animation reads it when it starts.
    property int duration: 0

    Behavior on endX {
        enabled: line.duration > 0
        NumberAnimation { duration: line.duration }
    }
    Behavior on endY {
        enabled: line.duration > 0
        NumberAnimation { duration: line.duration }
    }

    antialiasing: true

    ShapePath {
        strokeColor: line.colour
        strokeWidth: line.lineWidth
        capStyle: line.capStyle
        fillColor: Theme.clear
        startX: line.width / 2 + line.startX
        startY: line.height / 2 + line.startY
        PathLine {
            x: line.width / 2 + line.width * line.endX * 0.5
            y: line.height / 2 + line.height * line.endY * 0.5
        }
    }
}
