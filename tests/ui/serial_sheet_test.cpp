#include "config/config_connection.hpp"
#include "serial/pty_board.hpp"
#include "ui/ui_fixture.hpp"

namespace plimsy::test {
namespace {

TEST(serial_sheet, a_board_on_a_cable_is_chosen_in_the_sheet_and_shown_in_the_toolbar) {
    temp_dir_t dir;
    pty_board_t board{dir / "board"};
    ui_fixture_t f{ui_fixture_t::no_board_t{}};
    ASSERT_TRUE(f.ok());
    auto& cfg = f.view->cfg();
    f.key(Qt::Key_Comma, Qt::ControlModifier);
    ASSERT_TRUE(f.wait_for([&] { return f.visible("serialPortField"); }));
    EXPECT_EQ(f.text("serialPortField"), "/dev/ttyACM0");
    EXPECT_TRUE(f.visible("availablePortsBox"));

    // Clearing the port offers "Revert", which brings back the newest entry.
    QQuickItem* field = f.item("serialPortField");
    field->forceActiveFocus();
    QMetaObject::invokeMethod(field, "selectAll");
    f.key(Qt::Key_Backspace);
    EXPECT_TRUE(f.visible("serialRevertButton"));
    EXPECT_FALSE(f.visible("serialConnectButton"));
    ASSERT_TRUE(f.click("serialRevertButton"));
    EXPECT_EQ(f.text("serialPortField"), "/dev/ttyACM0");

    // The pseudo-terminal's path typed in, 1,000,000 baud picked, Connect.
    field->forceActiveFocus();
    QMetaObject::invokeMethod(field, "selectAll");
    f.key(Qt::Key_Backspace);
    f.type(QString::fromStdString(board.link()));
    QObject* baud = f.item("baudBox");
    ASSERT_NE(baud, nullptr);
    const int fastest = static_cast<int>(config_connection_t::common_bauds.size()) - 1;
    QMetaObject::invokeMethod(baud, "activated", Q_ARG(int, fastest));
    EXPECT_EQ(cfg.serial_baud(), 1'000'000u);
    ASSERT_TRUE(f.click("serialConnectButton"));
    EXPECT_FALSE(cfg.show_config());
    EXPECT_TRUE(cfg.enable_serial());
    EXPECT_EQ(cfg.history_serial_port().front(), board.link());

    const QString connected = QString::fromStdString(board.link() + " 1000000");
    ASSERT_TRUE(f.wait_for([&] { return f.text("statusSerialText") == connected; })) << f.text("statusSerialText").toStdString();
    EXPECT_TRUE(f.visible("statusSerialText"));
    EXPECT_FALSE(f.visible("statusBleText"));
    EXPECT_FALSE(f.visible("statusTcpText"));

    // A board line reaches the model; a command reaches the board bare.
    board.send("gravity={\"x\":0.5,\"y\":0,\"z\":9.75}\n");
    ASSERT_TRUE(f.wait_for([&] { return f.view->cnc().pipeline.sensors.device_model == device_model_t::gravity; }));
    f.view->cnc().send("C\n");
    std::string got;
    ASSERT_TRUE(f.wait_for([&] {
        got += board.take();
        return got.size() >= 2;
    }));
    EXPECT_EQ(got, "C\n");

    // Unplugged: the toolbar says so in red.
    board.unplug();
    ASSERT_TRUE(f.wait_for([&] { return f.text("statusSerialText").contains("unplugged"); }));
    EXPECT_EQ(f.item("statusSerialText")->property("color").value<QColor>(), palette_colour(colour_t::red));
}

}  // namespace
}  // namespace plimsy::test
