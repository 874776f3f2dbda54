import QtQuick
import QtQuick.Layouts
import Plimsy

// Placeholder until the panel is built.
ColumnLayout {
    property ContentViewModel view
    Text { text: "Hmc5883nPanel"; font.pixelSize: 18 }
}
