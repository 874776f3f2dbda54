import QtQuick
import QtQuick.Controls
import Plimsy

// The rounded button of every panel and the configuration sheet: text in
// one colour on a filled background in another, 7 points of vertical
// padding, corner radius 8.
Button {
    id: button
    property color textColour: Theme.link
    property color backgroundColour: Theme.secondarySystemBackground
    property real fontSize: Theme.fontButton
    property bool bold: false
    // What the button does and its key, shown while the pointer rests on it.
    property string tip: ""
    signal activated()

    // Some platforms turn hover off by default; the tooltip needs it.
    hoverEnabled: true
    ToolTip.visible: hovered && tip !== ""
    ToolTip.delay: Theme.tooltipDelay
    ToolTip.text: tip

    leftPadding: 12
    rightPadding: 12
    topPadding: 7
    bottomPadding: 7
    focusPolicy: Qt.NoFocus
    font.pixelSize: fontSize
    font.bold: bold

    contentItem: Text {
        text: button.text
        font: button.font
        color: button.textColour
        opacity: button.enabled ? 1 : 0.4
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
    background: Rectangle {
        radius: 8
        color: button.backgroundColour
        opacity: button.down ? 0.6 : 1
    }
    onClicked: activated()
}
