import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Plimsy

// Under the toolbar: the replay's controls while a capture replays (file
// and position, play/pause, speed, timeline, export, back to live), the
// progress of long work (opening, seeking, exporting) with its cancel
// button, and the capture model's last message. Each row wraps on a
// narrow window.
ColumnLayout {
    id: bar
    property ContentViewModel view
    readonly property CaptureModel capture: view ? view.capture : null
    signal exportRequested()
    spacing: 8

    Rectangle {
        objectName: "replayBar"
        visible: bar.capture !== null && bar.capture.replaying
        Layout.fillWidth: true
        implicitHeight: replayFlow.implicitHeight + 12
        radius: 6
        color: Theme.secondarySystemBackground
        border.color: Theme.orange

        Flow {
            id: replayFlow
            x: 8
            y: 6
            width: parent.width - 16
            spacing: 10

            Text {
                objectName: "replayTitle"
                // A long file name wraps on a phone rather than being cut.
                width: Math.min(implicitWidth, replayFlow.width)
                height: Math.max(32, implicitHeight)
                verticalAlignment: Text.AlignVCenter
                wrapMode: Text.Wrap
                text: bar.capture ? "Replay (live paused): " + bar.capture.replay_file : ""
                color: Theme.primary
                font.pixelSize: Theme.fontToolbar
            }
            RoundedButton {
                objectName: "playButton"
                text: bar.capture && bar.capture.playing ? "Pause" : "Play"
                tip: bar.capture ? bar.capture.tooltips.play : ""
                enabled: bar.capture !== null && !(bar.capture.busy && !bar.capture.exporting)
                onActivated: bar.capture.play_pause()
            }
            ComboBox {
                id: speedBox
                objectName: "speedBox"
                implicitHeight: 32
                implicitWidth: 96
                focusPolicy: Qt.NoFocus
                model: bar.capture ? bar.capture.speeds : []
                currentIndex: bar.capture ? bar.capture.speed_index : 0
                onActivated: (index) => bar.capture.set_speed_index(index)
                indicator: ComboIndicator { control: speedBox }
                rightPadding: 24
                font.pixelSize: Theme.fontButton
                ToolTip.visible: hovered
                ToolTip.delay: Theme.tooltipDelay
                ToolTip.text: tip
                property string tip: bar.capture ? bar.capture.tooltips.speed : ""
            }
            Slider {
                id: timeline
                objectName: "timeline"
                width: Math.min(420, replayFlow.width)
                height: 32
                focusPolicy: Qt.NoFocus
                from: 0
                to: bar.capture ? Math.max(bar.capture.duration, 0.001) : 1
                enabled: bar.capture !== null && !(bar.capture.busy && bar.capture.exporting)
                // Follows the replay except while the user holds it.
                Binding on value {
                    when: !timeline.pressed
                    value: bar.capture ? bar.capture.position : 0
                }
                onPressedChanged: if (!pressed) bar.capture.seek(value)
                hoverEnabled: true
                ToolTip.visible: hovered && !pressed
                ToolTip.delay: Theme.tooltipDelay
                ToolTip.text: tip
                property string tip: bar.capture ? bar.capture.tooltips.timeline : ""
            }
            Text {
                objectName: "positionText"
                height: 32
                verticalAlignment: Text.AlignVCenter
                text: bar.capture ? bar.capture.position_text : ""
                color: Theme.secondary
                font.family: Theme.monospace
                font.pixelSize: Theme.fontFootnote
            }
            RoundedButton {
                objectName: "exportButton"
                text: "Export CSV…"
                tip: bar.capture ? bar.capture.tooltips.export : ""
                enabled: bar.capture !== null && !bar.capture.busy
                onActivated: bar.exportRequested()
            }
            RoundedButton {
                objectName: "liveButton"
                text: "Back to live"
                tip: bar.capture ? bar.capture.tooltips.live : ""
                onActivated: bar.capture.back_to_live()
            }
        }
    }

    RowLayout {
        objectName: "busyBar"
        visible: bar.capture !== null && bar.capture.busy
        Layout.fillWidth: true
        spacing: 10
        Text {
            objectName: "busyText"
            text: bar.capture ? bar.capture.busy_text + " " + Math.round(bar.capture.progress * 100) + " %" : ""
            color: Theme.secondary
            font.pixelSize: Theme.fontFootnote
        }
        ProgressView {
            objectName: "busyProgress"
            Layout.fillWidth: true
            animated: false
            progress: bar.capture ? bar.capture.progress : 0
        }
        RoundedButton {
            objectName: "cancelButton"
            text: "Cancel"
            tip: bar.capture ? bar.capture.tooltips.cancel : ""
            onActivated: bar.capture.cancel()
        }
    }

    Rectangle {
        objectName: "captureMessage"
        visible: bar.capture !== null && bar.capture.message !== ""
        Layout.fillWidth: true
        implicitHeight: messageRow.implicitHeight + 16
        radius: 6
        color: Theme.secondarySystemBackground
        border.color: bar.capture && bar.capture.message_is_error ? Theme.red : Theme.green
        RowLayout {
            id: messageRow
            anchors.fill: parent
            anchors.margins: 8
            spacing: 8
            Text {
                objectName: "captureMessageText"
                Layout.fillWidth: true
                wrapMode: Text.Wrap
                text: bar.capture ? bar.capture.message : ""
                color: Theme.primary
                font.pixelSize: Theme.fontFootnote
            }
            Button {
                objectName: "captureMessageOk"
                focusPolicy: Qt.NoFocus
                text: "OK"
                property string tip: "Hides this message"
                hoverEnabled: true
                ToolTip.visible: hovered
                ToolTip.delay: Theme.tooltipDelay
                ToolTip.text: tip
                onClicked: bar.capture.dismiss_message()
            }
        }
    }
}
