import QtQuick
import QtQuick.Controls
import Plimsy

// The drop-down mark of a ComboBox, drawn as text: the style's own mark is
// an image that Qt's pixmap cache keeps past the end of the process, which
// the leak checker of the test builds reports as a leak.
Text {
    property Item control
    parent: control
    anchors.right: control ? control.right : undefined
    anchors.rightMargin: 8
    anchors.verticalCenter: control ? control.verticalCenter : undefined
    text: "\u25BE"
    color: control && control.enabled ? Theme.primary : Theme.tertiary
    font.pixelSize: Theme.fontLog
}
