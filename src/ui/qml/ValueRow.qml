import QtQuick
import QtQuick.Layouts
import Plimsy

// One reading: the title, the value with its unit, and a gauge beneath
// when the reading has a range.
ColumnLayout {
    id: row
    // A valueRow from a panel model: title, value, unit, fraction, gauge.
    property var reading
    property real fontSize: Theme.fontSize

    spacing: 4

    RowLayout {
        Layout.fillWidth: true
        spacing: 6
        Text {
            objectName: row.objectName + "Title"
            Layout.fillWidth: true
            text: row.reading ? row.reading.title : ""
            color: Theme.secondary
            font.pixelSize: row.fontSize
            elide: Text.ElideRight
        }
        Text {
            objectName: row.objectName + "Value"
            text: row.reading ? row.reading.value : ""
            color: Theme.primary
            font.pixelSize: row.fontSize
            horizontalAlignment: Text.AlignRight
        }
        Text {
            objectName: row.objectName + "Unit"
            Layout.minimumWidth: Theme.unitWidth
            text: row.reading ? row.reading.unit : ""
            color: Theme.secondary
            font.pixelSize: row.fontSize
        }
    }

    ProgressView {
        objectName: row.objectName + "Gauge"
        Layout.fillWidth: true
        visible: row.reading ? row.reading.gauge : false
        gaugeHeight: 6
        cornerRadius: 3
        progress: row.reading ? row.reading.fraction : 0
        colour: Theme.link
        track: Theme.systemFill
    }
}
