import QtQuick
import QtQuick.Layouts
import Plimsy

// Short labelled values in columns: pairs of label and value text.
GridLayout {
    id: grid
    // [{ name, label, value }]; `name` gives the value's objectName.
    property var entries: []

    columns: 2
    columnSpacing: 12
    rowSpacing: 4

    Repeater {
        model: grid.entries.length * 2
        delegate: Text {
            required property int index
            readonly property var entry: grid.entries[Math.floor(index / 2)]
            readonly property bool isValue: index % 2 === 1
            objectName: isValue && entry ? entry.name : ""
            Layout.alignment: isValue ? Qt.AlignRight : Qt.AlignLeft
            text: entry ? (isValue ? entry.value : entry.label) : ""
            color: isValue ? Theme.primary : Theme.secondary
            font.pixelSize: Theme.fontSize
            font.family: isValue ? Theme.monospace : Qt.application.font.family
        }
    }
}
