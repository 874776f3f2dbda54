#include "transport/ble.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sim/simulated_central.hpp"
#include "transport/link_print.hpp"

using namespace plimsy;

namespace {

using bytes_t = std::vector<std::uint8_t>;
using lines = std::vector<std::string>;

bytes_t bytes(std::string_view s) { return bytes_t(s.begin(), s.end()); }

// Stands in for the coordinator: records everything the transport hands over.
struct owner_t : ble_delegate_t {
    void ble_connected(const std::string& name) override { connected.push_back(name); }
    void ble_disconnected(const std::string& name) override { disconnected.push_back(name); }
    void forward_to_tcp(std::span<const std::uint8_t> b) override { forwarded.emplace_back(b.begin(), b.end()); }
    void receive_line(std::string_view line) override { received.emplace_back(line); }
    bool receive_arr(std::span<const std::uint8_t> b) override {
        frames.emplace_back(b.begin(), b.end());
        return first_frame;
    }

    lines connected, disconnected, received;
    std::vector<bytes_t> forwarded, frames;
    bool first_frame = false;
};

constexpr const char* board_name = "Plimsy:91 UART";

struct ble_fixture : ::testing::Test {
    simulated_central_t central;
    captured_console_t console;
    counting_haptics_t haptics;
    owner_t owner;
    ble_t ble{owner, &central, console, haptics};

    bool has_line(std::string_view text) const {
        const auto all = console.lines();
        return std::find(all.begin(), all.end(), text) != all.end();
    }
    // What the coordinator does for connect_ble.
    void connect_ble(std::string name = board_name) {
        ble.set_name_connect(std::move(name));
        ble.set_enabled(true);
        ble.start_scan();
        central.run_pending();
    }
    // What the coordinator does for disconnect.
    void user_disconnect() {
        ble.set_enabled(false);
        if (ble.powered_on()) central.stop_scan();
        ble.disconnect_peripheral();
        central.run_pending();
    }
};

}  // namespace

TEST_F(ble_fixture, connects_only_to_the_exact_advertised_name) {
    ble.set_dbg_scan(true);
    auto& capitals = central.add_peripheral("plimsy:91 uart");
    auto& longer = central.add_peripheral("Plimsy:91 UART 2");
    auto& unnamed = central.add_peripheral(std::nullopt);
    connect_ble();

    EXPECT_FALSE(capitals.connected() || longer.connected() || unnamed.connected());
    EXPECT_TRUE(central.scanning());
    EXPECT_EQ(ble.status(), "BLE scanning...");
    EXPECT_EQ(ble.sta_fg(), colour_t::blue);
    EXPECT_TRUE(has_line("BLE found: " + central.description(unnamed.id())));
    EXPECT_TRUE(has_line("BLE found: " + central.description(capitals.id())));
    EXPECT_TRUE(owner.connected.empty());

    auto& board = central.add_peripheral(board_name);
    central.run_pending();
    EXPECT_TRUE(board.connected());
    EXPECT_TRUE(board.notifying());
    EXPECT_FALSE(central.scanning());
    EXPECT_EQ(owner.connected, lines{board_name});
    EXPECT_TRUE(ble.ready());
    EXPECT_EQ(ble.status(), board_name);
    EXPECT_EQ(ble.sta_fg(), colour_t::secondary);
    EXPECT_EQ(ble.rssi.rssi(), -60);
    EXPECT_TRUE(has_line("BLE connected: " + central.description(board.id())));
}

TEST_F(ble_fixture, ready_once_in_either_discovery_order_and_dropped_when_no_longer_wanted) {
    auto& board = central.add_peripheral(board_name);
    board.report_rx_first = true;
    connect_ble();
    EXPECT_EQ(owner.connected, lines{board_name});
    user_disconnect();
    EXPECT_FALSE(board.connected());

    // The user turns BLE off while discovery is still running: the board is
    // let go as soon as it becomes ready, and the owner hears nothing.
    ble.set_enabled(true);
    ble.start_scan();
    while (!board.connected() && central.run_pending(1) == 1) {
    }
    ASSERT_TRUE(board.connected());
    ble.set_enabled(false);
    central.run_pending();
    EXPECT_FALSE(board.connected());
    EXPECT_FALSE(ble.ready());
    EXPECT_EQ(owner.connected.size(), 1u);
}

TEST_F(ble_fixture, notifications_are_cut_into_lines_across_pieces) {
    auto& board = central.add_peripheral(board_name);
    board.add_characteristic("2A26", bytes("fw=1.2\n"));
    connect_ble();
    // Other characteristics are read once and their values read as lines.
    EXPECT_EQ(owner.received, lines{"fw=1.2"});
    owner.received.clear();
    owner.forwarded.clear();

    const std::string a = R"(compass_c={"h":123.5,"c":0,"x":0.01,"y":-0.02,"z":0.99})";
    const std::string b = R"(gravity={"x":0,"y":1,"z":0})";
    const std::string sent = a + "\r\n" + b + "\r\n" + "bme680={\"t\":2";
    board.rssi = -75;
    ASSERT_TRUE(board.notify(sent));
    central.run_pending();

    EXPECT_EQ(owner.received, (lines{a, b}));
    EXPECT_EQ(ble.msg_rem(), "bme680={\"t\":2");
    // Every piece went to the bridge as it came, in link-sized pieces.
    std::string joined;
    for (const auto& f : owner.forwarded) {
        EXPECT_LE(f.size(), 20u);
        joined.append(f.begin(), f.end());
    }
    EXPECT_EQ(joined, sent);
    EXPECT_EQ(ble.rssi.rssi(), -75);

    board.notify("3}\n");
    central.run_pending();
    EXPECT_EQ(owner.received.back(), "bme680={\"t\":23}");
    EXPECT_TRUE(ble.msg_rem().empty());
    EXPECT_TRUE(owner.frames.empty());
}

TEST_F(ble_fixture, binary_notifications_become_frames) {
    auto& board = central.add_peripheral(board_name);
    connect_ble();

    // A keep-alive byte is a frame but does not switch to binary.
    board.notify(bytes_t{0xFF});
    central.run_pending();
    EXPECT_EQ(owner.frames, std::vector<bytes_t>{bytes_t{0xFF}});
    EXPECT_FALSE(ble.binary());

    // Bytes that are invalid wherever the piece ends switch to binary.
    owner.frames.clear();
    board.notify(bytes_t{'a', 0xC0, 0xAF});
    central.run_pending();
    EXPECT_EQ(owner.frames, std::vector<bytes_t>{bytes("a\xC0\xAF")});
    EXPECT_TRUE(ble.binary());

    // While binary, text that completes no line is a frame too, and the
    // line it starts still arrives whole.
    board.notify("x=");
    central.run_pending();
    EXPECT_TRUE(ble.binary());
    EXPECT_EQ(owner.frames.size(), 2u);
    board.notify("1\n");
    central.run_pending();
    EXPECT_EQ(owner.received, lines{"x=1"});
    EXPECT_FALSE(ble.binary());

    // The first frame after text is answered with a single zero byte.
    owner.first_frame = true;
    board.clear_writes();
    board.notify(bytes_t{0x01, 0x80});
    central.run_pending();
    ASSERT_EQ(board.writes().size(), 1u);
    EXPECT_EQ(board.writes()[0], bytes_t{0x00});
}

TEST(ble, without_force_text_binary_mode_keeps_text_as_frames) {
    simulated_central_t central;
    captured_console_t console;
    counting_haptics_t haptics;
    owner_t owner;
    ble_t ble{owner, &central, console, haptics, {.force_text = false}};
    auto& board = central.add_peripheral(board_name);
    ble.set_enabled(true);
    central.run_pending();
    ASSERT_TRUE(board.notifying());

    board.notify(bytes_t{0x80});
    board.notify("a=1\n");
    central.run_pending();
    EXPECT_TRUE(ble.binary());
    EXPECT_TRUE(owner.received.empty());
    EXPECT_EQ(owner.frames.size(), 2u);
}

TEST_F(ble_fixture, commands_carry_the_postfix_and_are_logged) {
    auto& board = central.add_peripheral(board_name);
    std::string heard;
    board.on_write = [&](std::span<const std::uint8_t> b) { heard.append(b.begin(), b.end()); };

    // Not connected yet: refused with a tap, nothing sent.
    ble.write_text("C\n");
    EXPECT_EQ(haptics.heavies, 1);
    EXPECT_TRUE(ble.log_rx().empty());

    connect_ble();
    ble.write_text("C\n");
    central.run_pending();
    EXPECT_EQ(heard, "C\n\r\n");
    ASSERT_EQ(board.writes().size(), 1u);
    EXPECT_EQ(board.writes()[0], (bytes_t{'C', '\n', '\r', '\n'}));
    EXPECT_EQ(ble.log_rx(), "➤ C\n\n");
    EXPECT_TRUE(has_line("➤ C\n"));

    const bytes_t raw{0x00, 0x41};
    ble.write_data(raw);
    ble.set_log_enable(false);
    ble.write_text("D\n");
    central.run_pending();
    EXPECT_EQ(board.writes().size(), 3u);
    EXPECT_EQ(board.writes()[1], raw);
    EXPECT_EQ(ble.log_rx(), "➤ C\n\n");  // not logged while logging is off
    EXPECT_EQ(haptics.heavies, 1);

    board.fail_writes = true;
    ble.write_text("L\n");
    central.run_pending();
    EXPECT_TRUE(has_line("BLE write: Unlikely error."));

    user_disconnect();
    ble.write_data(raw);
    EXPECT_EQ(haptics.heavies, 2);
    central.run_pending();
    EXPECT_EQ(board.writes().size(), 3u);
}

TEST_F(ble_fixture, log_keeps_the_newest_whole_lines_within_its_character_limit) {
    central.add_peripheral(board_name);
    connect_ble();
    // Each entry is "➤ " (two characters, four bytes), eight letters and
    // two line feeds: 12 characters, 14 bytes.
    for (int i = 0; i < 3000; ++i) {
        EXPECT_TRUE(ble.write_text(i == 2999 ? "LASTLAST\n" : "ABCDEFGH\n"));
        central.run_pending();  // the board answers each write
    }

    const std::string& log = ble.log_rx();
    std::size_t chars = 0;
    for (unsigned char c : log) chars += (c & 0xC0) != 0x80;
    EXPECT_LE(chars, ble_t::log_rx_max_size);
    EXPECT_GT(chars, ble_t::log_rx_max_size - 12);
    EXPECT_GT(log.size(), ble_t::log_rx_max_size);  // the limit counts characters
    EXPECT_EQ(log.rfind("➤ LASTLAST\n\n"), log.size() - 14);
    // Trimmed at a line end: only the blank second line of an entry or the
    // start of the next may lead.
    EXPECT_TRUE(log.starts_with("➤ ") || log.starts_with("\n➤ "));

    // A new connection starts an empty log.
    user_disconnect();
    connect_ble();
    EXPECT_TRUE(ble.log_rx().empty());
}

TEST_F(ble_fixture, reconnects_after_a_loss_but_not_after_the_user_disconnects) {
    auto& board = central.add_peripheral(board_name);
    connect_ble();
    ASSERT_EQ(owner.connected.size(), 1u);

    board.lose();
    central.run_pending();
    EXPECT_EQ(owner.disconnected, lines{board_name});
    EXPECT_TRUE(has_line(std::string("disconnected: ") + board_name + " -----------------"));
    EXPECT_TRUE(has_line("The connection has timed out unexpectedly."));
    EXPECT_EQ(ble.rssi.rssi(), 0);
    EXPECT_FALSE(ble.ready());
    EXPECT_TRUE(central.scanning());
    EXPECT_EQ(ble.status(), "BLE scanning...");
    EXPECT_EQ(ble.name_peripheral_reconnect(), board_name);

    board.reappear();
    central.run_pending();
    EXPECT_TRUE(board.connected());
    EXPECT_EQ(owner.connected.size(), 2u);
    EXPECT_FALSE(ble.name_peripheral_reconnect());

    // Lines keep flowing over the new connection.
    board.notify("a=1\n");
    central.run_pending();
    EXPECT_EQ(owner.received, lines{"a=1"});

    user_disconnect();
    EXPECT_FALSE(board.connected());
    EXPECT_EQ(ble.rssi.rssi(), 0);
    const int scans = central.scans_started();
    board.lose();
    board.reappear();
    central.run_pending();
    EXPECT_FALSE(board.connected());
    EXPECT_EQ(central.scans_started(), scans);
    EXPECT_EQ(owner.disconnected.size(), 1u);
    EXPECT_EQ(owner.connected.size(), 2u);
}

// The link as a value, through every stage the radio and the board take it.
TEST_F(ble_fixture, link_state_follows_the_radio_and_the_board) {
    central.run_pending();
    EXPECT_EQ(ble.link(), link_state_t{}) << "never asked for";
    connect_ble();
    EXPECT_EQ(ble.link(), (link_state_t{link_kind_t::scanning, board_name, "", false}));

    auto& board = central.add_peripheral(board_name);
    central.run_pending(1);  // the advertisement: found, and asked to connect
    EXPECT_EQ(ble.link(), (link_state_t{link_kind_t::connecting, board_name, "", false}));
    central.run_pending();
    EXPECT_EQ(ble.link(), (link_state_t{link_kind_t::connected, board_name, "", false}));

    board.lose();
    central.run_pending();
    EXPECT_EQ(ble.link(), (link_state_t{link_kind_t::lost, board_name, "The connection has timed out unexpectedly.", false}));
    EXPECT_FALSE(ble.link().up());

    // A radio that cannot scan outranks the search for the board.
    central.set_power(ble_power_t::powered_off);
    central.run_pending();
    EXPECT_EQ(ble.link(), (link_state_t{link_kind_t::failed, board_name, "BLE 4 powered OFF", false}));
    central.set_power(ble_power_t::unauthorized);
    central.run_pending();
    EXPECT_EQ(ble.link().error, "BLE 3 unauthorized");
    // Resetting passes: the scan starts as soon as the radio is on.
    central.set_power(ble_power_t::resetting);
    central.run_pending();
    EXPECT_NE(ble.link().kind, link_kind_t::failed);

    board.reappear();
    central.set_power(ble_power_t::powered_on);
    central.run_pending();
    EXPECT_TRUE(ble.link().up());
    EXPECT_EQ(ble.link().peer, board_name);

    user_disconnect();
    EXPECT_EQ(ble.link(), (link_state_t{link_kind_t::offline, "", "", true}));
    // Switched off while not wanted: still simply offline.
    central.set_power(ble_power_t::powered_off);
    central.run_pending();
    EXPECT_EQ(ble.link().kind, link_kind_t::offline);
}

TEST_F(ble_fixture, power_states_show_their_texts_and_powering_on_reconnects) {
    central.run_pending();
    EXPECT_EQ(ble.status(), "BLE 5 powered on");
    EXPECT_EQ(ble.sta_fg(), colour_t::primary);
    EXPECT_TRUE(console.lines().empty());

    struct row {
        ble_power_t state;
        const char* console;
        const char* status;
    };
    for (const row& r : {row{ble_power_t::unknown, "ble_manager.state: 0 unknown", "BLE 0 unknown"},
                         row{ble_power_t::resetting, "ble_manager.state: 1 resetting", "BLE 1 resetting"},
                         row{ble_power_t::unsupported, "ble_manager.state: 2 unsupported", "BLE 2 unsupported"},
                         row{ble_power_t::unauthorized, "ble_manager.state: 3 unauthorized", "BLE 3 unauthorized"},
                         row{ble_power_t::powered_off, "ble_manager.state: 4 powered OFF", "BLE 4 powered OFF"}}) {
        console.clear();
        central.set_power(r.state);
        central.run_pending();
        EXPECT_EQ(console.lines(), lines{r.console});
        EXPECT_EQ(ble.status(), r.status);
        EXPECT_EQ(ble.sta_fg(), colour_t::red);
    }
    console.clear();
    central.set_power(static_cast<ble_power_t>(9));
    central.run_pending();
    EXPECT_EQ(console.lines(), lines{"ble_manager.state: 9 default?"});
    EXPECT_EQ(ble.status(), "BLE 4 powered OFF");

    // Scanning waits for the radio; it starts when the radio comes on.
    auto& board = central.add_peripheral(board_name);
    central.set_power(ble_power_t::powered_off);
    connect_ble();
    EXPECT_FALSE(central.scanning());
    EXPECT_FALSE(board.connected());
    central.set_power(ble_power_t::powered_on);
    central.run_pending();
    EXPECT_TRUE(board.connected());
    EXPECT_EQ(owner.connected, lines{board_name});

    // The radio going off and on again while connected: the host drops the
    // link silently; powering on drops the stale peripheral and finds the
    // board again.
    central.set_power(ble_power_t::powered_off);
    central.run_pending();
    central.set_power(ble_power_t::powered_on);
    central.run_pending();
    EXPECT_TRUE(has_line(std::string("reconnect: ") + board_name));
    EXPECT_TRUE(board.connected());
    EXPECT_EQ(owner.connected.size(), 2u);
}
