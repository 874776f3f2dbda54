// The application's settings file where Qt keeps it, in a temporary
// XDG_CONFIG_HOME: a damaged or outsized file must cost the user nothing
// that can still be read, and say so.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <csignal>

#include <string>
#include <vector>

#include "config/config_connection.hpp"
#include "qt/qt_settings_store.hpp"
#include "qt/quit_on_signals.hpp"

namespace plimsy {
namespace {

using ::testing::HasSubstr;
using strings = std::vector<std::string>;

struct settings_store_fixture : ::testing::Test {
    QTemporaryDir dir;
    QByteArray old_home = qgetenv("XDG_CONFIG_HOME");
    captured_console_t console;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    }
    void TearDown() override {
        if (old_home.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", old_home);
    }
    QString file() const { return dir.path() + "/Plimsy/Plimsy_sensors.json"; }
    QByteArray contents(const QString& name) const {
        QFile f(name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void put(const QByteArray& text) const {
        QDir().mkpath(dir.path() + "/Plimsy");
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    QStringList kept() const {
        return QDir(dir.path() + "/Plimsy").entryList({"Plimsy_sensors.json.corrupt-*"}, QDir::Files);
    }
};

TEST_F(settings_store_fixture, a_damaged_file_keeps_the_connection_and_is_kept_aside) {
    {
        qt_settings_store_t store(console);
        EXPECT_EQ(store.file_name(), file());
        config_connection_t cfg(store, console);
        cfg.set_enable_bridge(true);
        cfg.set_enable_ble(false);
        cfg.commit_ble_name("Board A UART");
        cfg.commit_host("127.0.0.1");
        cfg.commit_port(8081);
    }
    // Three bytes cut off the end, as a full disk or a crash of another
    // writer may leave it.
    QByteArray damaged = contents(file());
    ASSERT_GT(damaged.size(), 3);
    damaged.chop(3);
    put(damaged);

    std::string notice;
    {
        qt_settings_store_t store(console);
        notice = store.notice();
        config_connection_t cfg(store, console);
        EXPECT_TRUE(cfg.enable_bridge());
        EXPECT_FALSE(cfg.enable_ble());
        EXPECT_EQ(cfg.ble_name(), "Board A UART");
        EXPECT_EQ(cfg.host(), "127.0.0.1");
        EXPECT_EQ(cfg.port(), 8081);
    }
    const QStringList aside = kept();
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(contents(dir.path() + "/Plimsy/" + aside[0]), damaged);
    EXPECT_THAT(notice, HasSubstr("was damaged. It was kept as " + aside[0].toStdString()));
    EXPECT_THAT(console.lines(), ::testing::Contains("settings: " + notice));

    // The next start finds a sound file and has nothing to say.
    qt_settings_store_t store(console);
    EXPECT_TRUE(store.notice().empty());
    EXPECT_EQ(store.read_string_array("history_host")->front(), "127.0.0.1");
    EXPECT_EQ(kept().size(), 1);
}

TEST_F(settings_store_fixture, stored_histories_are_checked_and_bounded) {
    // 20,000 hosts, the newest a name; a BLE name of 100 kB.
    QByteArray text = R"({"history_host": ["bridge.local")";
    for (int i = 0; i < 20000; ++i) text += ", \"10.0." + QByteArray::number(i / 250) + "." + QByteArray::number(i % 250 + 1) + "\"";
    text += R"(], "history_ble_name": [")" + QByteArray(100000, 'n') + R"(", "Board B UART"], "history_port": [8081]})";
    put(text);
    {
        qt_settings_store_t store(console);
        EXPECT_TRUE(store.notice().empty());
        config_connection_t cfg(store, console);
        // The name is never tried as an address.
        EXPECT_EQ(cfg.host(), "10.0.0.1");
        EXPECT_EQ(cfg.history_host().size(), 10u);
        EXPECT_EQ(cfg.history_ble_name(), strings{"Board B UART"});
        EXPECT_EQ(cfg.port(), 8081);
    }
    const auto lines = console.lines();
    EXPECT_THAT(lines, ::testing::Contains(HasSubstr("history_host: dropped \"bridge.local\" (not an IPv4 address)")));
    EXPECT_THAT(lines, ::testing::Contains(HasSubstr("\"history_host\": 20001 entries; kept the first 100")));
    EXPECT_THAT(lines, ::testing::Contains(HasSubstr("history_host: kept the newest 10")));
    EXPECT_THAT(lines, ::testing::Contains(HasSubstr("\"history_ble_name\": dropped 1 text(s) longer than 4096")));
    // What is kept is what is written back: the file is small again.
    EXPECT_LT(contents(file()).size(), 2000);
}

TEST_F(settings_store_fixture, an_outsized_file_is_read_only_to_the_limit) {
    // 200,000 ports after the flags: megabytes the window must not load.
    QByteArray text = R"({"enable_ble": false, "history_port": [81)";
    for (int i = 0; i < 200000; ++i) text += ", 8081";
    text += "]}";
    put(text);
    qt_settings_store_t store(console);
    EXPECT_EQ(store.read_bool("enable_ble"), false);
    EXPECT_FALSE(store.read("history_port"));
    EXPECT_THAT(store.notice(), HasSubstr("is larger than 1024 KiB"));
    config_connection_t cfg(store, console);
    EXPECT_EQ(cfg.port(), 81);
    EXPECT_EQ(kept().size(), 1);
}

// The end of a session (SIGTERM) quits like a closed window: the event
// loop returns, the store closes and writes what is pending.
TEST_F(settings_store_fixture, a_termination_signal_quits_in_order_and_the_settings_are_written) {
    int argc = 1;
    char name[] = "test_qt";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    quit_on_termination_signals();
    {
        qt_settings_store_t store(console);
        QTimer::singleShot(0, [&] {
            store.write("enable_ble", false);
            std::raise(SIGTERM);
        });
        EXPECT_EQ(QCoreApplication::exec(), 0);
    }
    qt_settings_store_t again(console);
    EXPECT_EQ(again.read_bool("enable_ble"), false);
}

}  // namespace
}  // namespace plimsy
