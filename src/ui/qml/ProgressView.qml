import QtQuick
import QtQuick.Layouts
import Plimsy

// A horizontal bar gauge: a track and a fill scaled from the leading edge
// (or the trailing edge when reversed), clipped to a rounded rectangle.
// Progress outside 0..1 is clamped when drawn.
Item {
    id: gauge
    property real progress: 0
    property real gaugeWidth: -1          // below 0: the width the layout offers
    property real gaugeHeight: 4
    property real cornerRadius: 2
    property color colour: Theme.link
    property color track: Theme.systemFill
    property bool animated: true
    property int duration: 800
    property bool reverse: false

    readonly property real fraction: Math.max(0, Math.min(1, isNaN(progress) ? 0 : progress))

    // Without a width of its own the gauge takes what the layout offers,
    // like a plain shape would.
    Layout.fillWidth: gaugeWidth < 0
    implicitWidth: gaugeWidth >= 0 ? gaugeWidth : 100
    implicitHeight: gaugeHeight

    Rectangle {
        id: trackShape
        objectName: "progressTrack"
        anchors.centerIn: parent
        width: gauge.gaugeWidth >= 0 ? gauge.gaugeWidth : gauge.width
        height: gauge.gaugeHeight
        radius: Math.min(gauge.cornerRadius, height / 2, width / 2)
        color: gauge.track
        antialiasing: true

        // The fill is the full rounded bar seen through a window as wide as
        // the progress: its outer corners follow the track's rounding and
        // its moving edge stays straight, even for a sliver.
        Item {
            id: fillWindow
            objectName: "progressFill"
            height: parent.height
            width: parent.width * gauge.fraction
            x: gauge.reverse ? parent.width - width : 0
            clip: true
            Behavior on width {
                enabled: gauge.animated
                NumberAnimation { duration: gauge.duration; easing.type: Easing.InOutQuad }
            }

            Rectangle {
                x: -fillWindow.x
                width: trackShape.width
                height: trackShape.height
                radius: trackShape.radius
                color: gauge.colour
                antialiasing: true
            }
        }
    }
}
