#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "config/config_connection.hpp"
#include "model/device_model.hpp"
#include "qt/qt_settings_store.hpp"
#include "ui/ui_fixture.hpp"

namespace plimsy::test {
namespace {

using no_board = ui_fixture_t::no_board_t;

bool loader_shows(const ui_fixture_t& f, const char* name) {
    QObject* loader = f.object(name);
    return loader && loader->property("active").toBool() && loader->property("item").value<QObject*>() != nullptr;
}

// The texts of the connection button as a person reads them.
QString shown_label(const ui_fixture_t& f) {
    QString label;
    for (const char* name : {"errorRateText", "statusTcpText", "statusGapText", "statusBleText"}) {
        QQuickItem* t = f.item(name);
        if (t && t->isVisible()) label += t->property("text").toString();
    }
    return label;
}

TEST(main_screen, panels_follow_the_kind_of_board) {
    ui_fixture_t f{no_board{}};
    ASSERT_TRUE(f.ok());
    // Before any board reports, the start value chooses the panels.
    EXPECT_EQ(f.view->device_model(), "plimsy91");
    EXPECT_TRUE(loader_shows(f, "plimsy91Group"));
    EXPECT_TRUE(loader_shows(f, "accelerometerGroup"));

    struct case_t {
        const char* line;
        const char* group;
        bool accelerometer;
        bool clock;
    };
    const case_t cases[] = {
        {R"(compass_c={"h":3.0,"x":0.03,"y":0.2,"z":9.78,"x_raw":296,"y_raw":42,"z_raw":-120,"x_min":-412,"y_min":-398,"z_min":-377,"x_max":405,"y_max":420,"z_max":388,"xv_min":-210,"yv_min":-201,"xv_max":215,"yv_max":199,"z_ang":0,"c":"xy","e":"80"})",
         "compassGroup", false, false},
        {R"(gyroscope={"x":4.91,"y":9.63,"z":-168.00})", "gyroscopeGroup", false, false},
        {R"(hmc5883={"x":202,"y":146,"z":-310})", "hmc5883Group", false, false},
        {R"(hmc5883n={"x":0.2,"y":0.1,"z":-0.3})", "hmc5883nGroup", false, false},
        {R"(shtc3={"temp":22.1,"humidity":45.0})", "gavrin3Group", true, true},
        {R"(bme680={"temp":21.56,"pressure":1013.20,"humidity":41.5,"gas":52006})", "plimsy91Group", true, false},
        {R"(gravity={"x":0.06,"y":0.198,"z":9.78})", "compassGroup", false, false},
    };
    const char* groups[] = {"compassGroup", "gyroscopeGroup", "hmc5883Group", "hmc5883nGroup", "gavrin3Group",
                            "plimsy91Group"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        f.receive(c.line);
        for (const char* g : groups) EXPECT_EQ(loader_shows(f, g), std::string(g) == c.group) << g;
        EXPECT_EQ(loader_shows(f, "accelerometerGroup"), c.accelerometer);
        EXPECT_EQ(f.visible("boardClock"), c.clock);
    }
    // The board's clock text, in the toolbar only for that board.
    f.receive(R"(rtc={"y":2026,"m":12,"d":5,"hh":14,"mm":0,"ss":10})");
    EXPECT_TRUE(f.visible("boardClock"));
    EXPECT_FALSE(f.text("boardClock").isEmpty());

    // No board sends compass_bearing on its own line kinds, so the rule is
    // checked where it lives: it shows the plimsy91 panels without the
    // accelerometer.
    EXPECT_EQ(content_view_model_t::panel_group_for(device_model_t::compass_bearing), "plimsy91");
    EXPECT_EQ(content_view_model_t::panel_group_for(device_model_t::gyroscope), "gyroscope");
}

TEST(main_screen, toolbar_and_log_shortcuts) {
    ui_fixture_t f{no_board{}};
    ASSERT_TRUE(f.ok());
    const int ticks = f.haptics.selections;

    f.key(Qt::Key_Comma, Qt::ControlModifier);
    EXPECT_TRUE(f.view->cfg().show_config());
    f.key(Qt::Key_Comma, Qt::ControlModifier);
    EXPECT_FALSE(f.view->cfg().show_config());
    ASSERT_TRUE(f.click("settingsButton"));
    EXPECT_TRUE(f.view->cfg().show_config());
    f.view->cfg().set_show_config(false);
    f.pump();

    // "l" turns logging on: lines reach the log and the title takes the
    // log's colour; "l" again turns it off.
    EXPECT_FALSE(f.view->cnc().pipeline.log_enable());
    f.key(Qt::Key_L);
    EXPECT_TRUE(f.view->cnc().pipeline.log_enable());
    f.receive(R"(gravity={"x":0.06,"y":0.198,"z":9.78})");
    f.receive("not a message");
    EXPECT_EQ(f.view->cnc().pipeline.arr_rx().size(), 2u);
    EXPECT_TRUE(f.text("logText").contains("gravity="));
    EXPECT_EQ(f.item("clearButton")->property("textColour").value<QColor>(), f.view->clear_colour());
    EXPECT_NE(f.view->clear_colour(), palette_colour(colour_t::secondary));

    // Delete empties the log and the counters.
    EXPECT_GT(f.view->cnc().pipeline.msg_count, 0u);
    f.key(Qt::Key_Delete);
    EXPECT_TRUE(f.view->cnc().pipeline.arr_rx().empty());
    EXPECT_EQ(f.view->cnc().pipeline.msg_count, 0u);
    EXPECT_EQ(f.view->cnc().pipeline.msg_good, 0u);
    EXPECT_EQ(f.text("logText"), "");

    ASSERT_TRUE(f.click("logButton"));
    EXPECT_FALSE(f.view->cnc().pipeline.log_enable());
    EXPECT_EQ(f.item("logButton")->property("textColour").value<QColor>(), palette_colour(colour_t::secondary));
    ASSERT_TRUE(f.click("logButton"));
    EXPECT_TRUE(f.view->cnc().pipeline.log_enable());
    EXPECT_EQ(f.view->log_menu_text(), "Disable");
    // The title's context menu offers the same toggle under its own name.
    QObject* menu_item = f.object("logMenuItem");
    ASSERT_NE(menu_item, nullptr);
    EXPECT_EQ(menu_item->property("text").toString(), "Disable");
    QMetaObject::invokeMethod(menu_item, "triggered");
    f.pump();
    EXPECT_FALSE(f.view->cnc().pipeline.log_enable());
    EXPECT_EQ(menu_item->property("text").toString(), "Enable");
    QMetaObject::invokeMethod(menu_item, "triggered");
    f.pump();
    EXPECT_TRUE(f.view->cnc().pipeline.log_enable());

    // Every action began with a selection tick.
    EXPECT_GE(f.haptics.selections - ticks, 9);

    // A single-key shortcut does not fire while the user types in a field.
    f.view->cfg().set_show_config(true);
    f.pump();
    QQuickItem* field = f.item("bleNameField");
    ASSERT_NE(field, nullptr);
    field->forceActiveFocus();
    f.type("l");
    EXPECT_TRUE(f.view->cnc().pipeline.log_enable());
}

TEST(main_screen, connection_button_label_and_action) {
    ui_fixture_t f{no_board{}};
    ASSERT_TRUE(f.ok());
    auto& cfg = f.view->cfg();
    auto& cnc = f.view->cnc();
    f.pump();

    // BLE mode (the default): only the BLE status.
    ASSERT_TRUE(cfg.enable_ble());
    EXPECT_EQ(shown_label(f), QString::fromStdString(cnc.status_ble()));
    EXPECT_EQ(shown_label(f), "BLE scanning...");
    EXPECT_EQ(f.item("statusBleText")->property("color").value<QColor>(), palette_colour(cnc.sta_fg_ble()));

    // The button disconnects while a transport is enabled ...
    ASSERT_TRUE(f.click("connectionButton"));
    EXPECT_FALSE(cnc.ble().enabled());
    EXPECT_EQ(shown_label(f), "offline");
    // ... and connects with the stored settings when none is.
    ASSERT_TRUE(f.click("connectionButton"));
    EXPECT_TRUE(cnc.ble().enabled());

    // TCP mode: only the TCP status. Port 9 on this machine refuses.
    cnc.disconnect();
    cfg.set_enable_ble(false);
    cfg.set_host_bind("127.0.0.1");
    cfg.set_port_bind("9");
    // The refusal may land at any moment: wait until the label shows what
    // the coordinator holds then.
    EXPECT_TRUE(f.wait_for([&] { return shown_label(f) == QString::fromStdString(cnc.status_tcp()); }))
        << shown_label(f).toStdString();
    EXPECT_FALSE(shown_label(f).contains("BLE"));

    // Bridge mode: TCP status, a blank, BLE status.
    cfg.set_enable_bridge(true);
    f.view->connect_from_config();
    const auto bridge_label = [&] {
        return QString::fromStdString(cnc.status_tcp()) + " " + QString::fromStdString(cnc.status_ble());
    };
    EXPECT_TRUE(f.wait_for([&] { return shown_label(f) == bridge_label(); })) << shown_label(f).toStdString();
    EXPECT_TRUE(f.wait_for([&] { return f.view->connection_label() == shown_label(f); }));
    cnc.disconnect();
}

TEST(main_screen, portrait_follows_the_window_shape) {
    ui_fixture_t f{no_board{}, 1024, 700};
    ASSERT_TRUE(f.ok());
    f.pump();
    EXPECT_FALSE(f.view->portrait());
    QSignalSpy spy(f.view.get(), &content_view_model_t::portrait_changed);
    f.window->resize(600, 900);
    f.pump();
    EXPECT_TRUE(f.view->portrait());
    EXPECT_EQ(spy.count(), 1);
    // Still taller than wide: nothing to tell.
    f.window->resize(650, 1000);
    f.pump();
    EXPECT_EQ(spy.count(), 1);
    f.window->resize(1000, 650);
    f.pump();
    EXPECT_FALSE(f.view->portrait());
    EXPECT_EQ(spy.count(), 2);
}

// The README's table of panels by board kind says what each simulated board
// actually shows: one row per kind, built here from the loaded panels.
TEST(main_screen, readme_table_of_panels_matches_every_board) {
    QFile readme(QStringLiteral(PLIMSY_TEST_DATA_DIR "/../../README.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    const std::pair<const char*, const char*> groups[] = {
        {"compassGroup", "compass dial and gravity, compass calibration"},
        {"gyroscopeGroup", "gyroscope angles with the live trace plot"},
        {"hmc5883Group", "magnetometer compass and motion values, magnetometer calibration"},
        {"hmc5883nGroup", "normalised compass"},
        {"gavrin3Group", "temperature, humidity, battery, events"},
        {"plimsy91Group", "environment, colour light and swatch"},
    };
    for (int k = 0; k < device_model_count; ++k) {
        const auto kind = static_cast<device_model_t>(k);
        SCOPED_TRACE(std::string(device_model_name(kind)));
        ui_fixture_t f{kind};
        ASSERT_TRUE(f.ok());
        ASSERT_TRUE(f.wait_connected());
        ASSERT_TRUE(f.wait_lines(60));
        QStringList shown;
        for (const auto& [group, words] : groups)
            if (loader_shows(f, group)) shown << QString::fromLatin1(words);
        ASSERT_EQ(shown.size(), 1);
        QString row = QStringLiteral("| `%1` | %2").arg(QString::fromLatin1(device_model_name(kind)), shown[0]);
        if (loader_shows(f, "accelerometerGroup")) row += QStringLiteral("; accelerometer");
        if (f.visible("boardClock")) row += QStringLiteral("; the board's clock in the toolbar");
        row += QStringLiteral(" |");
        EXPECT_TRUE(text.contains(row)) << row.toStdString();
    }
}

// The settings file is real: a temporary XDG_CONFIG_HOME holds it.
TEST(settings_file, keeps_types_across_stores_and_restores_the_connection) {
    const QString home = empty_config_home();
    {
        qt_settings_store_t store;
        EXPECT_EQ(store.file_name(), home + "/Plimsy/Plimsy_sensors.json");
        store.write("flag", true);
        store.write("number", std::int64_t{-42});
        store.write("text", std::string("Plimsy:91 UART"));
        store.write("names", std::vector<std::string>{"a", "b"});
        store.write("ports", std::vector<std::int64_t>{81, 8080});
        store.write("gone", std::string("x"));
        store.remove("gone");
    }
    {
        QFile file(home + "/Plimsy/Plimsy_sensors.json");
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray json = file.readAll();
        EXPECT_TRUE(json.contains("\"flag\": true"));
        EXPECT_TRUE(json.contains("\"number\": -42"));
        EXPECT_FALSE(json.contains("gone"));
    }
    {
        qt_settings_store_t store;
        EXPECT_EQ(store.read_bool("flag"), true);
        EXPECT_EQ(store.read_int("number"), -42);
        EXPECT_EQ(store.read_string("text"), "Plimsy:91 UART");
        EXPECT_EQ(store.read_string_array("names"), (std::vector<std::string>{"a", "b"}));
        EXPECT_EQ(store.read_int_array("ports"), (std::vector<std::int64_t>{81, 8080}));
        // Typed reads refuse another type instead of converting.
        EXPECT_FALSE(store.read_string("flag"));
        EXPECT_FALSE(store.read_bool("text"));
        EXPECT_FALSE(store.read_int("gone"));
    }
    // The application's settings survive a restart through the file.
    {
        qt_settings_store_t store;
        captured_console_t console;
        config_connection_t cfg(store, console);
        cfg.set_enable_bridge(true);
        cfg.set_enable_ble(false);
        cfg.commit_host("10.0.0.7");
        cfg.commit_port(8080);
        cfg.commit_ble_name("Other board");
    }
    {
        qt_settings_store_t store;
        captured_console_t console;
        config_connection_t cfg(store, console);
        EXPECT_TRUE(cfg.enable_bridge());
        EXPECT_FALSE(cfg.enable_ble());
        ASSERT_FALSE(cfg.history_host().empty());
        EXPECT_EQ(cfg.history_host()[0], "10.0.0.7");
        EXPECT_EQ(cfg.history_port()[0], 8080);
        EXPECT_EQ(cfg.history_ble_name()[0], "Other board");
    }
    // A damaged file does not stop the application: it starts from the
    // defaults.
    {
        QFile file(home + "/Plimsy/Plimsy_sensors.json");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("{ not json");
    }
    {
        qt_settings_store_t store;
        captured_console_t console;
        config_connection_t cfg(store, console);
        EXPECT_FALSE(cfg.enable_bridge());
    }
}

}  // namespace
}  // namespace plimsy::test

namespace plimsy::test {
namespace {

// A button pressed while no link is up: the board never gets the command,
// and the person who pressed it reads that next to the connection button.
TEST(main_screen, a_command_without_a_link_is_reported_by_the_button) {
    ui_fixture_t f{no_board{}};
    ASSERT_TRUE(f.ok());
    f.receive(R"(compass_c={"h":3.0,"x":0.03,"y":0.2,"z":9.78,"x_raw":296,"y_raw":42,"z_raw":-120,"x_min":-412,"y_min":-398,"z_min":-377,"x_max":405,"y_max":420,"z_max":388,"xv_min":-210,"yv_min":-201,"xv_max":215,"yv_max":199,"z_ang":0,"c":"xy","e":"80"})");
    ASSERT_TRUE(f.wait_for([&] { return f.item("rebootButton") && f.item("rebootButton")->isVisible(); }));
    EXPECT_FALSE(f.visible("commandNoteText"));
    ASSERT_TRUE(f.click("rebootButton"));
    ASSERT_TRUE(f.wait_for([&] { return f.visible("commandNoteText"); }));
    const QString note = f.item("commandNoteText")->property("text").toString();
    EXPECT_TRUE(note.startsWith("R not delivered")) << note.toStdString();
    EXPECT_TRUE(note.contains("no connection")) << note.toStdString();
    bool logged = false;
    for (const auto& line : f.console.lines())
        logged = logged || line.find("command not delivered (no connection to the board): R") != std::string::npos;
    EXPECT_TRUE(logged);
}

// A damaged settings file: the window says what was recovered and where the
// damaged copy is, until the user has read it.
TEST(main_screen, a_damaged_settings_file_is_reported_in_the_window) {
    const QString home = empty_config_home();
    {
        qt_settings_store_t store;
        captured_console_t console;
        config_connection_t cfg(store, console);
        cfg.commit_host("127.0.0.1");
        cfg.commit_port(8081);
    }
    const QString file_name = home + "/Plimsy/Plimsy_sensors.json";
    {
        QFile file(file_name);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        const QByteArray whole = file.readAll();
        ASSERT_GT(whole.size(), 3);
        file.resize(whole.size() - 3);
    }
    qt_settings_store_t store;
    ui_fixture_t f{no_board{}, 1024, 800, &store};
    ASSERT_TRUE(f.ok());
    ASSERT_TRUE(f.visible("settingsNotice"));
    const QString text = f.item("settingsNoticeText")->property("text").toString();
    EXPECT_TRUE(text.contains(".corrupt-")) << text.toStdString();
    EXPECT_EQ(f.view->cfg().history_port().front(), 8081);
    ASSERT_TRUE(f.click("settingsNoticeOk"));
    EXPECT_TRUE(f.wait_for([&] { return !f.visible("settingsNotice"); }));
}

}  // namespace
}  // namespace plimsy::test
