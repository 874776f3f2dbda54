#include <QFile>
#include <fstream>

#include "qt/qt_settings_store.hpp"

#include "config/config_connection.hpp"
#include "transport/scripted_broker.hpp"
#include "ui/config_view_model.hpp"
#include "ui/keyring.hpp"
#include "ui/ui_fixture.hpp"

namespace plimsy::test {
namespace {

// The window's keyring, seen by the test after the window has it.
struct forwarding_keyring_t final : keyring_backend_t {
    explicit forwarding_keyring_t(memory_keyring_t& k) : real(k) {}
    void read(const QString& key, done_t done) override { real.read(key, std::move(done)); }
    void write(const QString& key, const QString& s, done_t done) override { real.write(key, s, std::move(done)); }
    void remove(const QString& key, done_t done) override { real.remove(key, std::move(done)); }
    memory_keyring_t& real;
};

struct mqtt_window_t {
    scripted_brokers_t brokers;
    memory_keyring_t keyring;
    memory_settings_store_t store;
    std::unique_ptr<ui_fixture_t> f;

    explicit mqtt_window_t(bool keyring_available = true) : keyring(keyring_available) {}
    ui_fixture_t& open() {
        f.reset();
        content_options_t o;
        o.make_central = [] { return std::make_unique<simulated_central_t>(); };
        o.make_broker = brokers.factory();
        o.make_keyring = [this] { return std::make_unique<forwarding_keyring_t>(keyring); };
        f = std::make_unique<ui_fixture_t>(o, 1024, 900, &store);
        return *f;
    }
    config_view_model_t* sheet() const {
        return f->engine->rootObjects().first()->findChild<config_view_model_t*>("configViewModel");
    }
    // Replaces a field's text by typing, as a user does.
    void retype(const char* field, const QString& text) {
        QQuickItem* i = f->item(field);
        ASSERT_NE(i, nullptr) << field;
        i->forceActiveFocus();
        QMetaObject::invokeMethod(i, "selectAll");
        f->key(Qt::Key_Backspace);
        for (QChar c : text) QTest::keyClick(f->window, c.toLatin1());
        f->pump(20);
    }
    // Opens the sheet with its MQTT block unfolded.
    bool open_sheet() {
        f->key(Qt::Key_Comma, Qt::ControlModifier);
        if (!f->wait_for([&] { return f->visible("mqttToggleButton"); })) return false;
        if (!f->visible("mqttUrlField") && !f->click("mqttToggleButton")) return false;
        return f->wait_for([&] { return f->visible("mqttUrlField"); });
    }
    bool settings_hold(const std::string& text) const {
        for (const auto& [key, value] : store.values()) {
            if (key.find(text) != std::string::npos) return true;
            if (const auto* s = std::get_if<std::string>(&value); s && s->find(text) != std::string::npos) return true;
            if (const auto* a = std::get_if<std::vector<std::string>>(&value))
                for (const auto& e : *a)
                    if (e.find(text) != std::string::npos) return true;
        }
        return false;
    }
};

TEST(mqtt_sheet, broker_fields_boards_and_the_password_in_the_keyring) {
    mqtt_window_t w;
    ui_fixture_t& f = w.open();
    ASSERT_TRUE(f.ok());
    auto& cfg = f.view->cfg();
    f.key(Qt::Key_Comma, Qt::ControlModifier);
    ASSERT_TRUE(f.wait_for([&] { return f.visible("mqttToggleButton"); }));
    EXPECT_FALSE(f.visible("mqttUrlField")) << "folded while another link is chosen";
    f.key(Qt::Key_Escape);
    ASSERT_TRUE(f.wait_for([&] { return !cfg.show_config(); }));
    ASSERT_TRUE(w.open_sheet());
    config_view_model_t* sheet = w.sheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->mqtt_url_error(), "") << "an empty field is not shown as an error";
    EXPECT_FALSE(f.item("mqttConnectButton")->isEnabled());
    EXPECT_EQ(sheet->mqtt_boards_title(), "Connect to list the boards");
    EXPECT_EQ(f.item("mqttPasswordField")->property("echoMode").toInt(), 2) << "TextInput.Password";

    // A URL with a password in it is refused in words, and in red.
    w.retype("mqttUrlField", "mqtt://ann:pw@127.0.0.1");
    EXPECT_TRUE(f.visible("mqttUrlError"));
    EXPECT_EQ(f.text("mqttUrlError"), "Put the user name and password in their own fields, not in the URL");
    EXPECT_EQ(sheet->mqtt_url_colour(), palette_colour(colour_t::red));
    EXPECT_FALSE(f.item("mqttConnectButton")->isEnabled());

    w.retype("mqttUrlField", "mqtt://127.0.0.1:18830");
    EXPECT_FALSE(f.visible("mqttUrlError"));
    EXPECT_TRUE(f.item("mqttConnectButton")->isEnabled());
    w.retype("mqttUserField", "ann");
    w.retype("mqttPasswordField", "hunter2");
    EXPECT_EQ(sheet->mqtt_password(), "hunter2");
    EXPECT_EQ(sheet->mqtt_password_placeholder(), "password (kept in the keyring)");

    // No board yet: Connect lists the broker's boards and the sheet stays.
    ASSERT_TRUE(f.click("mqttConnectButton"));
    EXPECT_TRUE(cfg.show_config());
    EXPECT_TRUE(cfg.enable_mqtt());
    ASSERT_NE(w.brokers.last, nullptr);
    EXPECT_EQ(w.brokers.calls.back(), "connect mqtt://127.0.0.1:18830 ann:hunter2 ca=");
    EXPECT_EQ(sheet->mqtt_password(), "") << "the field does not keep it after use";
    ASSERT_TRUE(f.wait_for([&] { return !w.keyring.secrets.empty(); }));
    EXPECT_EQ(w.keyring.secrets.begin()->second, "hunter2");
    EXPECT_EQ(sheet->mqtt_status(), "MQTT connect 127.0.0.1:18830");

    w.brokers.last->events.broker_connected();
    EXPECT_EQ(sheet->mqtt_status(), "MQTT: choose a board");
    w.brokers.last->status("field-7", R"({"online":false,"kind":"gavrin3"})");
    w.brokers.last->status("desk-1", R"({"online":true,"kind":"compass_gravity","commands":true})");
    f.pump();
    EXPECT_EQ(sheet->mqtt_boards(), (QStringList{"desk-1  online  compass_gravity  commands", "field-7  offline  gavrin3"}));
    EXPECT_EQ(f.item("mqttBoardsBox")->property("displayText").toString(), "Boards (2)");
    EXPECT_EQ(f.text("statusMqttLine"), "mqtt://127.0.0.1:18830");

    // Choosing a board of the list watches it at once, on the same connection.
    QMetaObject::invokeMethod(f.item("mqttBoardsBox"), "activated", Q_ARG(int, 0));
    EXPECT_EQ(cfg.mqtt_board(), "desk-1");
    EXPECT_FALSE(cfg.show_config());
    EXPECT_EQ(w.brokers.made, 1);
    EXPECT_TRUE(w.brokers.last->subscribed.count("plimsy/desk-1/raw"));
    ASSERT_TRUE(f.wait_for([&] { return f.text("statusMqttText") == "MQTT desk-1"; }));
    EXPECT_FALSE(f.visible("statusBleText"));
    EXPECT_FALSE(f.visible("statusTcpText"));
    EXPECT_EQ(f.item("statusMqttText")->property("color").value<QColor>(), palette_colour(colour_t::secondary));

    // Its lines reach the panels; the calibration buttons follow whether
    // the gateway takes commands.
    w.brokers.last->message("plimsy/desk-1/raw", "compass={\"h\":12.5,\"x\":0,\"y\":0.2,\"z\":9.8,\"c\":\"xy\"}\n");
    ASSERT_TRUE(f.wait_for([&] { return f.item("calibrateButton") && f.item("calibrateButton")->isVisible(); }));
    EXPECT_TRUE(f.item("calibrateButton")->isEnabled());
    w.brokers.last->status("desk-1", R"({"online":true,"kind":"compass_gravity","commands":false})");
    ASSERT_TRUE(f.wait_for([&] { return !f.item("calibrateButton")->isEnabled(); }));
    EXPECT_FALSE(f.item("compassButton")->isEnabled());
    EXPECT_FALSE(f.item("headingButton")->isEnabled());
    EXPECT_NE(f.view->commands_note().indexOf("does not take commands"), -1);

    // A wrong password is said plainly in the sheet.
    w.brokers.last->events.broker_failed(broker_failure_t::bad_login, "not authorised");
    f.pump();
    EXPECT_EQ(sheet->mqtt_status(), "MQTT broker refused the user name or password: correct them in the settings");
    EXPECT_EQ(sheet->mqtt_status_colour(), palette_colour(colour_t::red));

    EXPECT_FALSE(w.settings_hold("hunter2")) << "never in the settings";
    EXPECT_EQ(w.store.read_string("mqtt_url"), "mqtt://127.0.0.1:18830");
    EXPECT_EQ(w.store.read_string("mqtt_board"), "desk-1");

    // The next start takes the password from the keyring, without waiting on it.
    const int keyring_calls = w.keyring.calls;
    ui_fixture_t& again = w.open();
    ASSERT_TRUE(again.ok());
    ASSERT_TRUE(again.wait_for([&] { return w.brokers.made == 2 && w.brokers.last; }));
    EXPECT_EQ(w.brokers.calls.back(), "connect mqtt://127.0.0.1:18830 ann:hunter2 ca=");
    EXPECT_GT(w.keyring.calls, keyring_calls);
    EXPECT_TRUE(w.brokers.last->subscribed.count("plimsy/desk-1/raw"));
}

TEST(mqtt_sheet, without_a_keyring_the_password_lives_for_this_run_only) {
    mqtt_window_t w{false};
    ui_fixture_t& f = w.open();
    ASSERT_TRUE(f.ok());
    ASSERT_TRUE(w.open_sheet());
    config_view_model_t* sheet = w.sheet();
    ASSERT_NE(sheet, nullptr);
    w.retype("mqttUrlField", "mqtts://127.0.0.1:18831");
    w.retype("mqttUserField", "ann");
    w.retype("mqttPasswordField", "s3cret");
    w.retype("mqttCaFileField", "/tmp/private-ca.pem");
    w.retype("mqttBoardField", "desk-1");
    ASSERT_TRUE(f.click("mqttConnectButton"));
    EXPECT_FALSE(f.view->cfg().show_config()) << "a board was chosen: the sheet closes";
    EXPECT_EQ(w.brokers.calls.back(), "connect mqtts://127.0.0.1:18831 ann:s3cret ca=/tmp/private-ca.pem");
    ASSERT_TRUE(f.wait_for([&] { return !sheet->keyring_note().isEmpty(); }));
    EXPECT_NE(sheet->keyring_note().indexOf("kept for this run only, never saved"), -1) << sheet->keyring_note().toStdString();
    EXPECT_EQ(sheet->mqtt_password_placeholder(), "password (this run only)");
    EXPECT_TRUE(w.keyring.secrets.empty());
    EXPECT_FALSE(w.settings_hold("s3cret"));
    EXPECT_EQ(w.store.read_string("mqtt_ca_file"), "/tmp/private-ca.pem");

    // Connecting again in this run still has it; the keyring is not asked.
    f.key(Qt::Key_Comma, Qt::ControlModifier);
    ASSERT_TRUE(f.wait_for([&] { return f.visible("mqttUrlField"); })) << "unfolded: MQTT is the link chosen";
    EXPECT_TRUE(f.visible("keyringNote"));
    const int calls = w.keyring.calls;
    ASSERT_TRUE(f.click("disconnectButton"));
    EXPECT_EQ(f.view->status_mqtt(), "offline");
    ASSERT_TRUE(f.click("mqttConnectButton"));
    EXPECT_EQ(w.brokers.calls.back(), "connect mqtts://127.0.0.1:18831 ann:s3cret ca=/tmp/private-ca.pem");
    EXPECT_EQ(w.keyring.calls, calls);

    // Closing the sheet drops what was typed and not connected with.
    ASSERT_TRUE(w.open_sheet());
    w.retype("mqttUrlField", "mqtt://127.0.0.1:1");
    w.retype("mqttPasswordField", "typo");
    f.key(Qt::Key_Escape);
    ASSERT_TRUE(f.wait_for([&] { return !f.view->cfg().show_config(); }));
    f.pump();
    EXPECT_EQ(f.view->cfg().mqtt_url(), "mqtts://127.0.0.1:18831");
    EXPECT_EQ(sheet->mqtt_password(), "");
}

// The sheet's model over the application's real settings file (in a
// private XDG_CONFIG_HOME), with no keyring service: the file gets the
// broker, user, board and CA file, never the password.
TEST(mqtt_sheet, the_settings_file_never_holds_the_password) {
    const QString home = empty_config_home();
    scripted_brokers_t brokers;
    memory_keyring_t keyring{false};
    {
        content_options_t o;
        o.make_central = [] { return std::make_unique<simulated_central_t>(); };
        o.make_broker = brokers.factory();
        o.make_keyring = [&] { return std::make_unique<forwarding_keyring_t>(keyring); };
        captured_console_t console;
        o.console = &console;
        content_view_model_t view(o);
        config_view_model_t sheet;
        sheet.set_view(&view);
        sheet.begin_edit();
        sheet.set_mqtt_url("mqtt://127.0.0.1:18830");
        sheet.set_mqtt_user("ann");
        sheet.set_mqtt_password("correct horse");
        sheet.set_mqtt_board("desk-1");
        EXPECT_TRUE(sheet.mqtt_url_valid());
        sheet.mqtt_connect();
        EXPECT_EQ(brokers.calls.back(), "connect mqtt://127.0.0.1:18830 ann:correct horse ca=");
        ASSERT_TRUE(QTest::qWaitFor([&] { return !sheet.keyring_note().isEmpty(); }, 5000));
        EXPECT_TRUE(sheet.keyring_note().startsWith("No keyring available")) << sheet.keyring_note().toStdString();
    }
    const auto file = qt_settings_store_t::user_file();
    EXPECT_EQ(QString::fromStdString(file.string()).left(home.size()), home);
    std::ifstream in(file);
    const std::string saved{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(saved.find("\"mqtt_board\": \"desk-1\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("mqtt://127.0.0.1:18830"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("correct horse"), std::string::npos) << saved;
}

}  // namespace
}  // namespace plimsy::test
