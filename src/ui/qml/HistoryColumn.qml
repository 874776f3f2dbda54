import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Plimsy

// One history of the configuration sheet: a heading and one button per
// entry; tapping an entry fills its field without connecting.
ColumnLayout {
    id: column
    property string title
    property var entries: []
    property bool trailing: false
    signal picked(int index)
    spacing: 4

    Text {
        text: column.title
        font.pixelSize: Theme.fontTitle
        font.bold: true
        color: Theme.blue
        Layout.alignment: column.trailing ? Qt.AlignRight : Qt.AlignLeft
    }
    Repeater {
        model: column.entries
        delegate: RoundedButton {
            required property string modelData
            required property int index
            objectName: column.objectName + index
            text: modelData
            textColour: Theme.accent
            backgroundColour: Theme.clear
            topPadding: 2
            bottomPadding: 2
            leftPadding: 0
            rightPadding: 0
            Layout.alignment: column.trailing ? Qt.AlignRight : Qt.AlignLeft
            onActivated: column.picked(index)
        }
    }
}
