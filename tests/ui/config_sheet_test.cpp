#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "config/config_connection.hpp"
#include "qt/qt_settings_store.hpp"
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

// The settings file is real, in a temporary XDG_CONFIG_HOME. Every address
// is a loopback one, so whatever a fault made the application connect to
// stays on this machine.
TEST(config_sheet, closing_without_connecting_changes_neither_connection_nor_file) {
    const QString file_name = empty_config_home() + "/Plimsy/Plimsy_sensors.json";
    auto file_bytes = [&] {
        QFile file(file_name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    {
        qt_settings_store_t store;
        captured_console_t console;
        config_connection_t seed(store, console);
        seed.set_enable_ble(false);
        seed.commit_host("127.0.0.2");
        seed.commit_host("127.0.0.1");
        seed.commit_port(9);
        seed.commit_port(7);
        seed.commit_ble_name("Other board");
        seed.commit_ble_name("Plimsy:91 UART");
    }
    {
        qt_settings_store_t store;
        ui_fixture_t f{no_board{}, 1024, 800, &store};
        ASSERT_TRUE(f.ok());
        auto& cfg = f.view->cfg();
        auto& cnc = f.view->cnc();
        ASSERT_TRUE(cnc.has_tcp_client() && cnc.tcp_client().enabled());
        auto target = [&] { return cnc.tcp_client().host() + ":" + std::to_string(cnc.tcp_client().port()); };
        ASSERT_EQ(target(), "127.0.0.1:7");
        const QByteArray saved = file_bytes();
        ASSERT_FALSE(saved.isEmpty());
        // The toolbar's status follows the coordinator (connecting, refused),
        // but it stays on TCP and on the same target.
        auto toolbar_ok = [&] {
            const QString shown = f.text("statusTcpText");
            return f.visible("statusTcpText") && !f.visible("statusBleText") && !shown.contains("127.0.0.2") &&
                   !shown.contains(":9");
        };
        ASSERT_TRUE(toolbar_ok());

        // History taps and typing fill the fields, and each way of closing
        // without connecting puts the values back: Esc, "Close", Ctrl+,.
        struct way_t {
            const char* name;
            std::function<void()> close;
        };
        const way_t ways[] = {
            {"Esc", [&] { f.key(Qt::Key_Escape); }},
            {"Close", [&] { ASSERT_TRUE(f.click("closeButton")); }},
            {"Ctrl+,", [&] { f.key(Qt::Key_Comma, Qt::ControlModifier); }},
        };
        for (const auto& way : ways) {
            SCOPED_TRACE(way.name);
            open_sheet(f);
            ASSERT_TRUE(f.click("portHistory1"));
            ASSERT_TRUE(f.click("hostHistory1"));
            ASSERT_TRUE(f.click("bleHistory1"));
            ASSERT_EQ(cfg.port(), 9);
            ASSERT_EQ(cfg.host(), "127.0.0.2");
            ASSERT_EQ(cfg.ble_name(), "Other board");
            way.close();
            ASSERT_TRUE(f.wait_for([&] { return !f.visible("bleNameField"); }));
            EXPECT_FALSE(cfg.show_config());
            EXPECT_EQ(cfg.port(), 7);
            EXPECT_EQ(cfg.host(), "127.0.0.1");
            EXPECT_EQ(cfg.ble_name(), "Plimsy:91 UART");
            EXPECT_TRUE(cfg.host_valid() && cfg.port_valid());
            EXPECT_EQ(target(), "127.0.0.1:7");
            EXPECT_TRUE(toolbar_ok()) << f.text("statusTcpText").toStdString();
            EXPECT_EQ(file_bytes(), saved);
        }
        // An invalid text typed and left behind goes the same way.
        open_sheet(f);
        retype(f, "portField", "70000");
        f.key(Qt::Key_Escape);
        EXPECT_EQ(cfg.port(), 7);
        EXPECT_TRUE(cfg.port_valid());
        EXPECT_EQ(f.text("portField"), "7");

        // The next reconnect from the toolbar uses what was there before.
        ASSERT_TRUE(f.click("connectionButton"));
        ASSERT_FALSE(cnc.tcp_client().enabled());
        ASSERT_TRUE(f.click("connectionButton"));
        EXPECT_TRUE(cnc.tcp_client().enabled());
        EXPECT_EQ(target(), "127.0.0.1:7");

        // Connecting is what keeps a history pick, and saves it.
        open_sheet(f);
        ASSERT_TRUE(f.click("portHistory1"));
        ASSERT_TRUE(f.click("tcpConnectButton"));
        EXPECT_EQ(target(), "127.0.0.1:9");
        EXPECT_EQ(cfg.history_port()[0], 9);
        cnc.disconnect();
    }
    {
        qt_settings_store_t store;
        const auto ports = store.read_int_array("history_port").value_or(std::vector<std::int64_t>{});
        ASSERT_GE(ports.size(), 2u);
        EXPECT_EQ(ports[0], 9);
        EXPECT_EQ(ports[1], 7);
        EXPECT_EQ(store.read_string_array("history_host").value_or(std::vector<std::string>{}).at(0), "127.0.0.1");
    }
}

// Letters and Delete typed into a field are text: the sheet's single-key
// shortcuts (B bridge, D disconnect) and the main screen's (L log, Delete
// clear) wait until no field is being edited.
TEST(config_sheet, typing_in_a_field_runs_no_shortcut) {
    ui_fixture_t f{no_board{}};
    ASSERT_TRUE(f.ok());
    auto& cfg = f.view->cfg();
    auto& cnc = f.view->cnc();
    f.view->toggle_log();
    ASSERT_TRUE(f.view->log_enable());
    f.receive(R"(shtc3={"temp":22.1,"humidity":45.0})");
    ASSERT_FALSE(cnc.pipeline.arr_rx().empty());
    open_sheet(f);
    ASSERT_TRUE(cnc.ble().enabled());

    // Focus by a click, as a user does, then select all and type.
    for (const char* field : {"bleNameField", "hostField", "portField"}) {
        SCOPED_TRACE(field);
        ASSERT_TRUE(f.click(field));
        ASSERT_TRUE(f.item(field)->hasActiveFocus());
        f.key(Qt::Key_A, Qt::ControlModifier);
        f.type("bdl BDL");
        EXPECT_EQ(f.text(field), "bdl BDL");
        // Delete at the start removes a character, nothing else.
        f.key(Qt::Key_Home);
        f.key(Qt::Key_Delete);
        EXPECT_EQ(f.text(field), "dl BDL");
        EXPECT_FALSE(cfg.enable_bridge());
        EXPECT_TRUE(cnc.ble().enabled());
        EXPECT_TRUE(f.view->log_enable());
        EXPECT_FALSE(cnc.pipeline.arr_rx().empty());
        EXPECT_TRUE(cfg.show_config());
    }
    EXPECT_EQ(cfg.ble_name(), "dl BDL");

    // Once the field lets go of the keys, they act again: Return ends the
    // edit, "d" disconnects.
    f.key(Qt::Key_Return);
    f.key(Qt::Key_D);
    EXPECT_FALSE(cnc.ble().enabled());
    EXPECT_TRUE(cfg.show_config());
}

}  // namespace
}  // namespace plimsy::test
