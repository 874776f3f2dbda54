import QtQuick
import QtQuick.Layouts
import Plimsy

// The compass of the raw-count magnetometer, its normalised field and the
// motion of the board that the tilt correction follows.
ColumnLayout {
    id: panel
    property ContentViewModel view

    spacing: 8

    Hmc5883PanelModel {
        id: m
        objectName: "hmc5883Model"
        view: panel.view
    }

    readonly property bool wide: width >= 640
    readonly property real dialSide: Math.max(160, Math.min(320, (wide ? width / 2 : width) - 2 * Theme.paddingCompass))

    Text {
        objectName: "hmc5883Title"
        text: "Compass"
        font.pixelSize: Theme.fontTitle
        font.bold: true
        color: Theme.primary
    }

    GridLayout {
        Layout.fillWidth: true
        columns: panel.wide ? 2 : 1
        columnSpacing: Theme.paddingCompass
        rowSpacing: 16

        CompassDial {
            objectName: "hmc5883Dial"
            Layout.preferredWidth: panel.dialSide
            Layout.preferredHeight: panel.dialSide
            Layout.topMargin: Theme.paddingCompassTop
            Layout.leftMargin: panel.wide ? Theme.paddingCompass : 0
            Layout.alignment: Qt.AlignHCenter
            heading: m.heading
            animTime: m.anim_time
            centreText: m.heading_text
        }

        // The two groups of values wrap under each other on a phone.
        Flow {
            Layout.fillWidth: true
            Layout.alignment: Qt.AlignVCenter
            spacing: panel.wide ? 2 * Theme.paddingCompass : Theme.paddingCompass

            ValueGrid {
                entries: [
                    { name: "hmc5883FieldX", label: "x", value: m.field_x },
                    { name: "hmc5883FieldY", label: "y", value: m.field_y },
                    { name: "hmc5883FieldZ", label: "z", value: m.field_z },
                    { name: "hmc5883Compensation", label: "tilt", value: m.compensation }
                ]
            }
            ValueGrid {
                entries: [
                    { name: "hmc5883Roll", label: "roll", value: m.roll },
                    { name: "hmc5883Pitch", label: "pitch", value: m.pitch },
                    { name: "hmc5883Yaw", label: "yaw", value: m.yaw }
                ]
            }
        }
    }
}
