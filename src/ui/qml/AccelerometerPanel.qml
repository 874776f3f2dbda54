import QtQuick
import QtQuick.Layouts
import Plimsy

// Acceleration per axis as a bar to either side of zero with its value,
// and the x-y plane as a dot in a square; the title says when a high-g
// shock is being held.
ColumnLayout {
    id: panel
    property ContentViewModel view

    spacing: 10

    AccelerometerPanelModel {
        id: m
        objectName: "accelerometerModel"
        view: panel.view
    }

    // Side by side when there is room for both, else the plot goes below.
    readonly property bool wide: width >= Theme.accelSize + 320
    readonly property real plotSide: Math.max(120, Math.min(Theme.accelSize, wide ? width - 320 : width))

    Text {
        objectName: "accelerometerTitle"
        text: m.title
        font.pixelSize: Theme.fontTitle
        font.bold: true
        color: m.high_g ? Theme.red : Theme.primary
    }

    GridLayout {
        Layout.fillWidth: true
        columns: panel.wide ? 2 : 1
        columnSpacing: 24
        rowSpacing: 16

        ColumnLayout {
            Layout.fillWidth: true
            Layout.alignment: Qt.AlignVCenter
            spacing: 14
            Repeater {
                model: ["x", "y", "z"]
                delegate: RowLayout {
                    required property string modelData
                    Layout.fillWidth: true
                    spacing: 0
                    Text {
                        Layout.preferredWidth: Theme.fontSize + 6
                        text: modelData
                        color: Theme.secondary
                        font.pixelSize: Theme.fontSize
                    }
                    ProgressView {
                        objectName: "accel" + modelData.toUpperCase() + "Neg"
                        Layout.fillWidth: true
                        gaugeHeight: 8
                        cornerRadius: 4
                        reverse: true
                        animated: false
                        progress: m[modelData + "_neg"]
                        colour: Theme.link
                        track: Theme.systemFill
                    }
                    Rectangle {
                        Layout.preferredWidth: 2
                        Layout.preferredHeight: 16
                        Layout.leftMargin: 2
                        Layout.rightMargin: 2
                        color: Theme.secondary
                    }
                    ProgressView {
                        objectName: "accel" + modelData.toUpperCase() + "Pos"
                        Layout.fillWidth: true
                        gaugeHeight: 8
                        cornerRadius: 4
                        animated: false
                        progress: m[modelData + "_pos"]
                        colour: Theme.link
                        track: Theme.systemFill
                    }
                    Text {
                        objectName: "accel" + modelData.toUpperCase() + "Text"
                        Layout.preferredWidth: 4 * Theme.fontSize
                        horizontalAlignment: Text.AlignRight
                        text: m[modelData + "_text"]
                        color: Theme.primary
                        font.pixelSize: Theme.fontSize
                        font.family: Theme.monospace
                    }
                }
            }
        }

        Rectangle {
            id: plot
            objectName: "accelPlot"
            Layout.preferredWidth: panel.plotSide
            Layout.preferredHeight: panel.plotSide
            Layout.alignment: panel.wide ? Qt.AlignRight : Qt.AlignHCenter
            radius: 8
            color: Theme.secondarySystemBackground
            clip: true

            Rectangle {
                anchors.verticalCenter: parent.verticalCenter
                width: parent.width
                height: 1
                color: Theme.systemFill
            }
            Rectangle {
                anchors.horizontalCenter: parent.horizontalCenter
                width: 1
                height: parent.height
                color: Theme.systemFill
            }
            // Full scale.
            Rectangle {
                anchors.fill: parent
                anchors.margins: 0
                radius: width / 2
                color: Theme.clear
                border.color: Theme.systemFill
            }
            Rectangle {
                objectName: "accelDot"
                width: Theme.iconSize
                height: Theme.iconSize
                radius: width / 2
                color: m.high_g ? Theme.red : Theme.link
                x: plot.width / 2 * (1 + m.point_x) - width / 2
                y: plot.height / 2 * (1 + m.point_y) - height / 2
            }
        }
    }
}
