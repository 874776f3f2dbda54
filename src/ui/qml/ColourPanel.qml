import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Plimsy

// The colour sensor: the infrared light (a tap drops every correction),
// then a swatch in the colour of the light with its three channels (a tap
// takes the light as white).
ColumnLayout {
    id: panel
    property ContentViewModel view

    spacing: 16

    ColourPanelModel {
        id: m
        objectName: "colourModel"
        view: panel.view
    }

    // Infrared.
    Item {
        objectName: "colourLightPanel"
        // A tap acts here though nothing looks like a button: the tooltip
        // says what it does.
        property string tip: m.tooltips.light
        Layout.fillWidth: true
        implicitHeight: light.implicitHeight

        ColumnLayout {
            id: light
            width: parent.width
            spacing: 4
            RowLayout {
                Layout.fillWidth: true
                spacing: 10
                Rectangle {
                    objectName: "infraredSwatch"
                    implicitWidth: Theme.fontSize + 4
                    implicitHeight: Theme.fontSize + 4
                    radius: 5
                    color: m.infrared_colour
                    border.color: Theme.systemFill
                }
                Text {
                    objectName: "infraredTitle"
                    Layout.fillWidth: true
                    text: "Infrared"
                    color: Theme.secondary
                    font.pixelSize: Theme.fontSize
                }
                Text {
                    objectName: "infraredValue"
                    text: m.infrared + m.infrared_factor
                    color: Theme.primary
                    font.pixelSize: Theme.fontSize
                }
                // Lines up with the values of the reading rows above.
                Item { Layout.preferredWidth: Theme.unitWidth }
            }
            ProgressView {
                objectName: "infraredGauge"
                Layout.fillWidth: true
                gaugeHeight: 6
                cornerRadius: 3
                progress: m.infrared_fraction
                colour: Theme.secondary
                track: Theme.systemFill
            }
        }
        TapHandler {
            onTapped: m.reset_factors()
        }
        HoverHandler { id: lightHover }
        ToolTip.visible: lightHover.hovered
        ToolTip.delay: Theme.tooltipDelay
        ToolTip.text: tip
    }

    // The light's colour and channels.
    Item {
        objectName: "colourSwatchPanel"
        property string tip: m.tooltips.swatch
        Layout.fillWidth: true
        implicitHeight: swatchRow.implicitHeight

        RowLayout {
            id: swatchRow
            width: parent.width
            spacing: 16

            Rectangle {
                objectName: "colourSwatch"
                Layout.alignment: Qt.AlignTop
                implicitWidth: 3 * Theme.fontSize + 36
                implicitHeight: implicitWidth
                radius: 12
                color: m.swatch
                border.color: Theme.systemFill
                border.width: 1
            }

            ColumnLayout {
                Layout.fillWidth: true
                Layout.alignment: Qt.AlignVCenter
                spacing: 6
                Repeater {
                    model: [
                        { key: "red", title: "Red" },
                        { key: "green", title: "Green" },
                        { key: "blue", title: "Blue" }
                    ]
                    delegate: ColumnLayout {
                        required property var modelData
                        Layout.fillWidth: true
                        spacing: 2
                        RowLayout {
                            Layout.fillWidth: true
                            spacing: 6
                            Text {
                                Layout.fillWidth: true
                                text: modelData.title
                                color: m[modelData.key + "_colour"]
                                font.pixelSize: Theme.fontSize
                            }
                            Text {
                                objectName: modelData.key + "Value"
                                text: m[modelData.key] + m[modelData.key + "_factor"]
                                color: Theme.primary
                                font.pixelSize: Theme.fontSize
                            }
                            Item { Layout.preferredWidth: Theme.unitWidth }
                        }
                        ProgressView {
                            objectName: modelData.key + "Gauge"
                            Layout.fillWidth: true
                            gaugeHeight: 4
                            cornerRadius: 2
                            progress: m[modelData.key + "_fraction"]
                            colour: m[modelData.key + "_colour"]
                            track: Theme.systemFill
                        }
                    }
                }
            }
        }
        TapHandler {
            onTapped: m.white_balance()
        }
        HoverHandler { id: swatchHover }
        ToolTip.visible: swatchHover.hovered
        ToolTip.delay: Theme.tooltipDelay
        ToolTip.text: tip
    }
}
