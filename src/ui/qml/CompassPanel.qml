import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Plimsy

// The compass heading and gravity panel: the dial with the heading, the two
// board commands that switch what the board reports, and the gravity vector
// with a bubble level. Beside each other in landscape, stacked in portrait.
ColumnLayout {
    id: panel
    property ContentViewModel view
    spacing: 0

    readonly property bool portrait: panel.view ? panel.view.portrait : false
    // "Compass" and "Heading" are board commands: off while a capture replays.
    readonly property bool canSend: panel.view ? panel.view.can_send : false
    readonly property real fontSize: Theme.fontSize
    // The dial takes what the window can spare: about half its height, and
    // in landscape half of the width, the rest going to the values. Sized
    // from the window, not from this panel, whose width follows the dial.
    readonly property real windowWidth: panel.Window.width > 0 ? panel.Window.width - 16 : 1000
    readonly property real windowHeight: panel.Window.height > 0 ? panel.Window.height : 800
    readonly property real dialSize: {
        const across = panel.portrait ? panel.windowWidth : panel.windowWidth * 0.5;
        const tall = panel.windowHeight * (panel.portrait ? 0.42 : 0.55);
        return Math.max(160, Math.min(across, tall) - 2 * Theme.paddingCompass);
    }

    CompassPanelModel {
        id: panelModel
        objectName: "compassPanelModel"
        view: panel.view
    }

    function compass() { panelModel.command("compass"); }
    function heading() { panelModel.command("heading"); }

    Shortcut {
        objectName: "compassShortcut"
        enabled: panel.canSend
        sequence: "G"
        onActivated: panel.compass()
    }
    Shortcut {
        objectName: "headingShortcut"
        enabled: panel.canSend
        sequence: "H"
        onActivated: panel.heading()
    }

    GridLayout {
        Layout.fillWidth: true
        columns: panel.portrait ? 1 : 2
        columnSpacing: 24
        rowSpacing: 16

        CompassDial {
            objectName: "compassDial"
            Layout.alignment: Qt.AlignHCenter | Qt.AlignTop
            Layout.preferredWidth: panel.dialSize
            Layout.preferredHeight: panel.dialSize
            Layout.topMargin: Theme.paddingCompassTop
            Layout.leftMargin: Theme.paddingCompass
            Layout.rightMargin: Theme.paddingCompass
            Layout.bottomMargin: panel.portrait ? 0 : Theme.paddingCompass
            heading: panelModel.heading
            animTime: panelModel.anim_time
            centreText: panelModel.heading_s
        }

        ColumnLayout {
            Layout.fillWidth: true
            // A layout caps itself at what its children can use; this one
            // may take the rest of the row, so the panel spans the window.
            Layout.maximumWidth: Number.POSITIVE_INFINITY
            Layout.alignment: panel.portrait ? Qt.AlignHCenter | Qt.AlignTop : Qt.AlignLeft | Qt.AlignVCenter
            Layout.leftMargin: panel.portrait ? Theme.paddingCompass : 0
            Layout.rightMargin: Theme.paddingCompass
            spacing: 16

            RowLayout {
                spacing: 12
                Layout.alignment: panel.portrait ? Qt.AlignHCenter : Qt.AlignLeft
                RoundedButton {
                    id: compassButton
                    objectName: "compassButton"
                    enabled: panel.canSend
                    text: "Compass"
                    tip: panelModel.tooltips.compass
                    fontSize: panel.fontSize
                    textColour: Theme.link
                    backgroundColour: Theme.secondarySystemBackground
                    onActivated: panel.compass()
                    // A MouseArea rather than a TapHandler: it takes the
                    // right button's press for itself, so the button under
                    // it does not also fire on the release.
                    MouseArea {
                        anchors.fill: parent
                        acceptedButtons: Qt.RightButton
                        onClicked: compassMenu.popup()
                    }
                    TapHandler {
                        acceptedDevices: PointerDevice.TouchScreen
                        onLongPressed: compassMenu.popup()
                    }
                    Menu {
                        id: compassMenu
                        objectName: "compassMenu"
                        MenuItem {
                            objectName: "headingMenuItem"
                            text: "Heading"
                            onTriggered: panel.heading()
                        }
                    }
                }
                RoundedButton {
                    objectName: "headingButton"
                    enabled: panel.canSend
                    text: "Heading"
                    tip: panelModel.tooltips.heading
                    fontSize: panel.fontSize
                    textColour: Theme.link
                    backgroundColour: Theme.secondarySystemBackground
                    onActivated: panel.heading()
                }
            }

            RowLayout {
                spacing: 24
                Layout.alignment: panel.portrait ? Qt.AlignHCenter : Qt.AlignLeft

                ColumnLayout {
                    spacing: 6
                    Layout.alignment: Qt.AlignVCenter
                    Text {
                        objectName: "gravityTitle"
                        text: "Gravity"
                        color: Theme.primary
                        font.pixelSize: panel.fontSize
                        font.bold: true
                    }
                    Repeater {
                        model: [
                            { label: "X", name: "gravityX" },
                            { label: "Y", name: "gravityY" },
                            { label: "Z", name: "gravityZ" }
                        ]
                        RowLayout {
                            required property var modelData
                            spacing: 8
                            Text {
                                text: modelData.label
                                color: Theme.secondary
                                font.pixelSize: panel.fontSize
                                Layout.preferredWidth: Theme.unitWidth * 0.75
                            }
                            Text {
                                objectName: modelData.name
                                text: modelData.name === "gravityX" ? panelModel.gravity_x_s
                                    : modelData.name === "gravityY" ? panelModel.gravity_y_s : panelModel.gravity_z_s
                                color: Theme.primary
                                font.family: Theme.monospace
                                font.pixelSize: panel.fontSize
                                horizontalAlignment: Text.AlignRight
                                // Room for "-10.0" so the column does not jitter.
                                Layout.preferredWidth: panel.fontSize * 3.4
                            }
                        }
                    }
                }

                TiltLevel {
                    objectName: "tiltLevel"
                    Layout.preferredWidth: Math.max(110, Math.min(Theme.accelSize * 0.5, panel.dialSize * 0.45))
                    Layout.preferredHeight: Layout.preferredWidth
                    rax: panelModel.rax
                    ray: panelModel.ray
                    raz: panelModel.raz
                    animTime: panelModel.gravity_anim_time
                }
            }
        }
    }
}
