pragma Singleton
import QtQuick

// The system colours and fonts the views share. Role colours that the logic
// names (status, log, tables) come from the view models instead.
QtObject {
    readonly property color primary: "#000000"
    readonly property color secondary: "#993c3c43"
    readonly property color tertiary: "#4c3c3c43"
    readonly property color accent: "#007aff"
    readonly property color blue: "#007aff"
    readonly property color green: "#28b446"
    readonly property color red: "#ff3b30"
    readonly property color orange: "#ff9500"
    readonly property color link: "#007aff"
    readonly property color systemBackground: "#ffffff"
    readonly property color secondarySystemBackground: "#f2f2f7"
    readonly property color systemFill: "#33787880"
    readonly property color destructive: Qt.rgba(0.8874509803921569, 0.14745098039215687, 0.1596078431372549, 1)
    readonly property string monospace: "DejaVu Sans Mono"
    readonly property int fontSize: 18
    // How long the pointer rests on a button before its tooltip shows.
    readonly property int tooltipDelay: 500
}
