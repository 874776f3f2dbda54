// Stored connection settings are checked on load like typed ones: what a
// hand-edited or foreign file holds must neither be used when unusable nor
// grow the histories without bound, and the console says what was dropped.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/config_connection.hpp"

namespace plimsy {
namespace {

using strings = std::vector<std::string>;
using ::testing::HasSubstr;

std::size_t lines_with(const captured_console_t& console, const std::string& part) {
    const auto lines = console.lines();
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != l.npos; }));
}

TEST(stored_settings, unusable_entries_are_dropped_and_said) {
    memory_settings_store_t store;
    captured_console_t console;
    store.write("history_host", strings{"bridge.local", "010.000.000.007", "10.0.0.7", "", "10.0.0.8"});
    store.write("history_ble_name", strings{"", std::string(300, 'n'), "tab\there", "Plimsy:91 UART"});
    store.write("history_port", std::vector<std::int64_t>{0, 70000, -5, 8081, 8081, 81});
    config_connection_t cfg(store, console, "mine UART", "10.2.3.4", 4321);

    // A name is never used as an address: the first good entry, normalised,
    // is the host, and its duplicate after normalisation goes.
    EXPECT_EQ(cfg.host(), "10.0.0.7");
    EXPECT_EQ(cfg.history_host(), (strings{"10.0.0.7", "10.0.0.8"}));
    EXPECT_EQ(cfg.ble_name(), "Plimsy:91 UART");
    EXPECT_EQ(cfg.history_ble_name(), strings{"Plimsy:91 UART"});
    EXPECT_EQ(cfg.port(), 8081);
    EXPECT_EQ(cfg.history_port(), (std::vector<std::uint16_t>{8081, 81}));
    // The cleaned histories replace the stored ones.
    EXPECT_EQ(store.read_string_array("history_host"), cfg.history_host());
    EXPECT_EQ(store.read_int_array("history_port"), (std::vector<std::int64_t>{8081, 81}));

    EXPECT_EQ(lines_with(console, "history_host: dropped \"bridge.local\" (not an IPv4 address)"), 1u);
    EXPECT_EQ(lines_with(console, "history_host: dropped 1 repeated"), 1u);
    EXPECT_EQ(lines_with(console, "history_ble_name: dropped \"tab?here\" (holds control characters)"), 1u);
    EXPECT_EQ(lines_with(console, "longer than 248 bytes"), 1u);
    EXPECT_EQ(lines_with(console, "history_port: dropped 70000"), 1u);
}

TEST(stored_settings, long_histories_are_cut_with_one_line_each) {
    memory_settings_store_t store;
    captured_console_t console;
    strings hosts;
    for (int i = 1; i <= 250; ++i) hosts.push_back("10.0." + std::to_string(i) + ".1");
    for (int i = 0; i < 50; ++i) hosts.push_back("host" + std::to_string(i));
    store.write("history_host", hosts);
    config_connection_t cfg(store, console);

    ASSERT_EQ(cfg.history_host().size(), 10u);
    EXPECT_EQ(cfg.history_host().front(), "10.0.1.1");
    EXPECT_EQ(cfg.history_host().back(), "10.0.10.1");
    EXPECT_EQ(store.read_string_array("history_host")->size(), 10u);
    // A summary, not a line per entry: three examples of unusable ones,
    // then counts.
    EXPECT_EQ(lines_with(console, "history_host"), 5u);
    EXPECT_EQ(lines_with(console, "dropped 47 more unusable entries"), 1u);
    EXPECT_EQ(lines_with(console, "kept the newest 10, dropped 240 older entries"), 1u);

    // A clean history is neither rewritten nor commented on.
    console.clear();
    memory_settings_store_t clean;
    clean.write("history_host", strings{"10.0.0.1", "10.0.0.2"});
    config_connection_t again(clean, console);
    EXPECT_EQ(again.history_host(), (strings{"10.0.0.1", "10.0.0.2"}));
    EXPECT_THAT(console.lines(), ::testing::Not(::testing::Contains(HasSubstr("history"))));
}

TEST(stored_settings, mistyped_values_are_said) {
    memory_settings_store_t store;
    captured_console_t console;
    store.write("enable_ble", std::string("yes"));
    store.write("history_port", strings{"8080"});
    config_connection_t cfg(store, console, "a UART", "10.2.3.4", 4321);
    EXPECT_TRUE(cfg.enable_ble());
    EXPECT_EQ(cfg.port(), 4321);
    EXPECT_EQ(lines_with(console, "enable_ble is not a Boolean; ignored"), 1u);
    EXPECT_EQ(lines_with(console, "history_port is not an array of port numbers; ignored"), 1u);
}

}  // namespace
}  // namespace plimsy
