import QtQuick
import QtQuick.Layouts
import Plimsy

// The compass of the normalised magnetometer: the dial with four marks
// around it that light up towards the field's direction, and the field.
ColumnLayout {
    id: panel
    property ContentViewModel view

    spacing: 8

    Hmc5883nPanelModel {
        id: m
        objectName: "hmc5883nModel"
        view: panel.view
    }

    readonly property bool wide: width >= 640
    readonly property real dialSide: Math.max(160, Math.min(320, (wide ? width / 2 : width) - 2 * Theme.paddingCompass))

    Text {
        objectName: "hmc5883nTitle"
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

        Item {
            Layout.preferredWidth: panel.dialSide + 2 * Theme.paddingCompass
            Layout.preferredHeight: panel.dialSide + Theme.paddingCompass + Theme.paddingCompassTop
            Layout.alignment: Qt.AlignHCenter

            CompassDial {
                id: dial
                objectName: "hmc5883nDial"
                x: Theme.paddingCompass
                y: Theme.paddingCompassTop
                width: panel.dialSide
                height: panel.dialSide
                heading: m.heading
                animTime: m.anim_time
                centreText: m.heading_text
            }

            // The four direction marks, fixed to the board: +x ahead, +y to
            // the right.
            Repeater {
                model: [
                    { name: "dirPx", dx: 0, dy: -1 },
                    { name: "dirPy", dx: 1, dy: 0 },
                    { name: "dirMx", dx: 0, dy: 1 },
                    { name: "dirMy", dx: -1, dy: 0 }
                ]
                delegate: Rectangle {
                    required property var modelData
                    readonly property real strength: [m.dir_px, m.dir_py, m.dir_mx, m.dir_my][
                        ["dirPx", "dirPy", "dirMx", "dirMy"].indexOf(modelData.name)]
                    objectName: modelData.name
                    width: Theme.iconSize
                    height: Theme.iconSize
                    radius: width / 2
                    color: Theme.link
                    opacity: 0.12 + 0.88 * strength
                    x: dial.x + dial.width / 2 + modelData.dx * (dial.width / 2 + Theme.paddingCompass / 2) - width / 2
                    y: dial.y + dial.height / 2 + modelData.dy * (dial.height / 2 + Theme.paddingCompass / 2) - height / 2
                }
            }
        }

        ValueGrid {
            Layout.alignment: panel.wide ? Qt.AlignVCenter | Qt.AlignLeft : Qt.AlignHCenter
            entries: [
                { name: "hmc5883nFieldX", label: "x", value: m.field_x },
                { name: "hmc5883nFieldY", label: "y", value: m.field_y },
                { name: "hmc5883nFieldZ", label: "z", value: m.field_z }
            ]
        }
    }
}
