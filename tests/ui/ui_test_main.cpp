// Runs the interface tests on Qt's offscreen platform with the software
// renderer, so they need no display and draw the same everywhere.
#include <QGuiApplication>
#include <QtQml/qqmlextensionplugin.h>
#include <gtest/gtest.h>

#include "ui/window.hpp"

Q_IMPORT_QML_PLUGIN(PlimsyPlugin)

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_BACKEND", "software");
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    plimsy::prepare_qml();
    return RUN_ALL_TESTS();
}
