#include "config/config_connection.hpp"
#include "ui/ui_fixture.hpp"

namespace plimsy::test {
namespace {

using no_board = ui_fixture_t::no_board_t;

// Replaces a field's text the way a user does: focus, select all, type.
void retype(ui_fixture_t& f, const char* field, const QString& text) {
    QQuickItem* i = f.item(field);
    ASSERT_NE(i, nullptr) << field;
    i->forceActiveFocus();
    QMetaObject::invokeMethod(i, "selectAll");
    f.key(Qt::Key_Backspace);
    f.type(text);
}

void open_sheet(ui_fixture_t& f) {
    f.key(Qt::Key_Comma, Qt::ControlModifier);
    ASSERT_TRUE(f.view->cfg().show_config());
    ASSERT_TRUE(f.wait_for([&] { return f.visible("bleNameField"); }));
}

TEST(config_sheet, host_and_port_validation_and_revert) {
    ui_fixture_t f{no_board{}};
    ASSERT_TRUE(f.ok());
    open_sheet(f);
    auto& cfg = f.view->cfg();
    const std::string host_before = cfg.host();

    // A fourth octet out of range: red text, "Revert" instead of "Connect",
    // and the current host keeps the last valid text typed on the way.
    retype(f, "hostField", "192.168.1.300");
    EXPECT_EQ(f.text("hostField"), "192.168.1.300");
    EXPECT_FALSE(cfg.host_valid());
    EXPECT_EQ(f.item("hostField")->property("color").value<QColor>(), palette_colour(colour_t::red));
    EXPECT_FALSE(f.visible("tcpConnectButton"));
    EXPECT_TRUE(f.visible("tcpRevertButton"));
    EXPECT_EQ(cfg.host(), "192.168.1.30");
    EXPECT_NE(cfg.host(), host_before);

    // Revert fills only the invalid field, from the newest history entry.
    retype(f, "portField", "8081");
    ASSERT_TRUE(cfg.port_valid());
    ASSERT_TRUE(f.click("tcpRevertButton"));
    EXPECT_EQ(f.text("hostField").toStdString(), cfg.history_host()[0]);
    EXPECT_EQ(f.text("portField"), "8081");
    EXPECT_TRUE(f.visible("tcpConnectButton"));
    EXPECT_EQ(f.item("hostField")->property("color").value<QColor>(), palette_colour(colour_t::primary));

    // A comma typed on a numeric keypad becomes a dot.
    retype(f, "hostField", "10,0,0,7");
    EXPECT_EQ(f.text("hostField"), "10.0.0.7");
    EXPECT_EQ(cfg.host(), "10.0.0.7");

    // Port 0 and letters are invalid; both fields invalid revert together.
    retype(f, "portField", "0");
    EXPECT_FALSE(cfg.port_valid());
    retype(f, "hostField", "1.2.3");
    ASSERT_TRUE(f.click("tcpRevertButton"));
    EXPECT_TRUE(cfg.host_valid());
    EXPECT_TRUE(cfg.port_valid());
    EXPECT_EQ(f.text("portField").toStdString(), std::to_string(cfg.history_port()[0]));

    // An empty BLE name offers "Revert", which restores the newest name.
    retype(f, "bleNameField", "");
    EXPECT_EQ(cfg.ble_name(), "");
    EXPECT_TRUE(f.visible("bleRevertButton"));
    EXPECT_FALSE(f.visible("bleConnectButton"));
    ASSERT_TRUE(f.click("bleRevertButton"));
    EXPECT_EQ(cfg.ble_name(), cfg.history_ble_name()[0]);
    EXPECT_EQ(f.text("bleNameField").toStdString(), cfg.history_ble_name()[0]);

    // Closing drops uncommitted edits of host and port.
    retype(f, "hostField", "10.0.0.300");
    f.key(Qt::Key_Escape);
    EXPECT_FALSE(cfg.show_config());
    EXPECT_EQ(cfg.host_bind(), cfg.host());
    EXPECT_TRUE(cfg.host_valid());
}

TEST(config_sheet, history_taps_fill_fields_without_connecting) {
    ui_fixture_t f{no_board{}};
    ASSERT_TRUE(f.ok());
    auto& cfg = f.view->cfg();
    cfg.commit_port(8080);
    cfg.commit_port(81);
    f.view->cnc().disconnect();
    open_sheet(f);
    ASSERT_EQ(cfg.history_port()[1], 8080);

    ASSERT_TRUE(f.click("portHistory1"));
    EXPECT_EQ(f.text("portField"), "8080");
    EXPECT_EQ(cfg.port(), 8080);
    ASSERT_TRUE(f.click("hostHistory1"));
    EXPECT_EQ(f.text("hostField").toStdString(), cfg.history_host()[1]);
    EXPECT_EQ(cfg.host(), cfg.history_host()[1]);
    ASSERT_TRUE(f.click("bleHistory1"));
    EXPECT_EQ(cfg.ble_name(), cfg.history_ble_name()[1]);
    // Nothing connected, the sheet stays open and says so.
    EXPECT_FALSE(f.view->cnc().has_tcp_client() && f.view->cnc().tcp_client().enabled());
    EXPECT_FALSE(f.view->cnc().ble().enabled());
    EXPECT_TRUE(cfg.show_config());
    EXPECT_TRUE(f.visible("offlineLine"));
    EXPECT_FALSE(f.visible("disconnectButton"));

    // The context menu's item forgets the saved configuration: the
    // histories are the defaults again.
    QObject* item = f.object("deleteConfigItem");
    ASSERT_NE(item, nullptr);
    QMetaObject::invokeMethod(item, "triggered");
    f.pump();
    EXPECT_EQ(cfg.history_port(), config_connection_t::default_port);
    EXPECT_EQ(cfg.history_ble_name(), config_connection_t::default_ble_name);
}

TEST(config_sheet, connect_bridge_and_disconnect) {
    ui_fixture_t f{no_board{}};
    ASSERT_TRUE(f.ok());
    auto& cfg = f.view->cfg();
    auto& cnc = f.view->cnc();
    open_sheet(f);

    // BLE is on at start: the status line names the board, "Disconnect"
    // shows, and "d" disconnects without closing the sheet.
    EXPECT_TRUE(f.visible("statusBleLine"));
    EXPECT_EQ(f.text("statusBleLine").toStdString(), cfg.ble_name());
    EXPECT_TRUE(f.visible("disconnectButton"));
    f.key(Qt::Key_D);
    EXPECT_FALSE(cnc.ble().enabled());
    EXPECT_TRUE(cfg.show_config());
    EXPECT_TRUE(f.visible("offlineLine"));
    EXPECT_FALSE(f.visible("disconnectButton"));

    // TCP "Connect": BLE off and saved, sheet closed, TCP started. Port 9
    // on this machine refuses, which is enough to see the attempt.
    retype(f, "hostField", "127.0.0.1");
    retype(f, "portField", "9");
    ASSERT_TRUE(f.click("tcpConnectButton"));
    EXPECT_FALSE(cfg.enable_ble());
    EXPECT_FALSE(cfg.show_config());
    EXPECT_TRUE(cnc.tcp_client().enabled());
    EXPECT_FALSE(cnc.ble().enabled());
    EXPECT_EQ(cfg.history_host()[0], "127.0.0.1");

    // "b" turns bridge mode on: both transports, sheet closed.
    open_sheet(f);
    EXPECT_EQ(f.text("statusTcpLine"), "127.0.0.1:9");
    EXPECT_EQ(f.item("bridgeButton")->property("textColour").value<QColor>(), palette_colour(colour_t::secondary));
    f.key(Qt::Key_B);
    EXPECT_TRUE(cfg.enable_bridge());
    EXPECT_FALSE(cfg.show_config());
    EXPECT_TRUE(cnc.tcp_client().enabled());
    EXPECT_TRUE(cnc.ble().enabled());

    // "Bridge" again: off, and only the transport chosen by enable_ble (TCP).
    open_sheet(f);
    EXPECT_EQ(f.item("bridgeButton")->property("textColour").value<QColor>(), palette_colour(colour_t::orange));
    ASSERT_TRUE(f.click("bridgeButton"));
    EXPECT_FALSE(cfg.enable_bridge());
    EXPECT_TRUE(cnc.tcp_client().enabled());
    EXPECT_FALSE(cnc.ble().enabled());

    // BLE "Connect": back to BLE alone.
    open_sheet(f);
    ASSERT_TRUE(f.click("bleConnectButton"));
    EXPECT_TRUE(cfg.enable_ble());
    EXPECT_TRUE(cnc.ble().enabled());
    EXPECT_FALSE(cnc.tcp_client().enabled());
    cnc.disconnect();
}

}  // namespace
}  // namespace plimsy::test
