// The end-to-end tests run on Qt's event loop, as the application does:
// Qt Bluetooth and Qt D-Bus deliver everything through it.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
