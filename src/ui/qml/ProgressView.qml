import QtQuick

// A horizontal bar gauge: a track and a fill scaled from the leading edge
// (or the trailing edge when reversed), clipped to a rounded rectangle.
// Progress outside 0..1 is clamped when drawn.
Item {
    id: gauge
    property real progress: 0
    property real gaugeWidth: -1          // below 0: the width the layout offers
    property real gaugeHeight: 4
    property real cornerRadius: 2
    property color colour: "#007aff"
    property color track: "#33787880"
    property bool animated: true
    property int duration: 800
    property bool reverse: false

    readonly property real fraction: Math.max(0, Math.min(1, progress))

    implicitWidth: gaugeWidth >= 0 ? gaugeWidth : 100
    implicitHeight: gaugeHeight

    Rectangle {
        id: clip
        anchors.centerIn: parent
        width: gauge.gaugeWidth >= 0 ? gauge.gaugeWidth : gauge.width
        height: gauge.gaugeHeight
        radius: gauge.cornerRadius
        color: gauge.track
        clip: true
        antialiasing: true

        Rectangle {
            id: fill
            height: parent.height
            width: parent.width * gauge.fraction
            x: gauge.reverse ? parent.width - width : 0
            radius: gauge.cornerRadius
            color: gauge.colour
            Behavior on width {
                enabled: gauge.animated
                NumberAnimation { duration: gauge.duration; easing.type: Easing.InOutQuad }
            }
        }
    }
}
