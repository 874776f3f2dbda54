#include "transport/connection.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>

#include "platform/manual_main_queue.hpp"
#include "sim/simulated_central.hpp"
#include "transport/link_print.hpp"
#include "transport/test_server.hpp"

using namespace plimsy;

namespace {

constexpr const char* board_name = "Plimsy:91 UART";

struct connection_fixture : ::testing::Test {
    manual_clock_t clock;
    memory_settings_store_t store;
    captured_console_t console;
    manual_main_queue_t queue{clock};
    manual_altimeter_t altimeter;
    counting_haptics_t haptics;
    simulated_central_t* central = nullptr;
    connection_t c{{clock, store, console, queue, altimeter, haptics, [this] {
                        auto made = std::make_unique<simulated_central_t>();
                        central = made.get();
                        return made;
                    }}};

    // Pumps the main queue (and the simulated radio) until done() holds.
    bool pump_until(const std::function<bool()>& done) {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::duration<double>(test_patience);
        while (!done()) {
            if (std::chrono::steady_clock::now() > give_up) return false;
            queue.wait_for_work(0.005);
            queue.run_pending();
            if (central) central->run_pending();
        }
        return true;
    }
    bool console_has(std::string_view text) const {
        for (const auto& l : console.lines())
            if (l.find(text) != std::string::npos) return true;
        return false;
    }
    simulated_peripheral_t& board() {
        c.ble();  // makes the central
        return central->add_peripheral(board_name);
    }
};

}  // namespace

TEST_F(connection_fixture, refused_tcp_shows_the_error_and_retries_until_disconnected) {
    EXPECT_EQ(c.link_tcp(), link_state_t{});
    EXPECT_EQ(c.status_tcp(), "offline");
    EXPECT_EQ(c.sta_fg_tcp(), colour_t::primary);
    test_server_t refusing(false);
    const std::string where = "127.0.0.1:" + std::to_string(refusing.port());
    const link_state_t refused{link_kind_t::failed, where, std::strerror(ECONNREFUSED), false};

    c.connect_tcp("127.0.0.1", refusing.port());
    EXPECT_EQ(c.link_tcp(), (link_state_t{link_kind_t::connecting, where, "", false}));
    EXPECT_EQ(c.status_tcp(), "Connect " + where);
    EXPECT_EQ(c.sta_fg_tcp(), colour_t::green);
    ASSERT_TRUE(pump_until([&] { return c.link_tcp().kind == link_kind_t::failed; }));
    EXPECT_EQ(c.link_tcp(), refused);
    EXPECT_EQ(c.link_tcp(), c.tcp_client().link()) << "the coordinator and its client agree";
    EXPECT_EQ(c.status_tcp(), std::strerror(ECONNREFUSED));
    EXPECT_EQ(c.sta_fg_tcp(), colour_t::red);
    EXPECT_TRUE(console_has("  connect " + where + "  " + std::to_string(ECONNREFUSED) + " " +
                            std::strerror(ECONNREFUSED)));

    // The attempt's worker finishes after handing its failure over.
    ASSERT_TRUE(pump_until([&] { return !c.tcp_client().connecting(); }));
    // Nothing happens before the delay; after it, a new attempt.
    clock.advance(3.9);
    queue.run_due();
    EXPECT_EQ(c.link_tcp(), refused);
    clock.advance(0.2);
    queue.run_due();
    EXPECT_EQ(c.link_tcp().kind, link_kind_t::connecting);
    ASSERT_TRUE(pump_until([&] { return c.link_tcp().kind == link_kind_t::failed; }));

    // A disconnect in between stops the retries: the timer finds nothing to do.
    c.disconnect();
    const link_state_t stopped{link_kind_t::offline, "", "", true};
    EXPECT_EQ(c.link_tcp(), stopped);
    EXPECT_EQ(c.status_tcp(), "offline");
    EXPECT_EQ(c.sta_fg_tcp(), colour_t::accent);
    clock.advance(5);
    queue.run_due();
    queue.run_pending();
    EXPECT_EQ(c.link_tcp(), stopped);
    EXPECT_FALSE(c.any_link_up());
}

TEST_F(connection_fixture, tcp_connection_resets_the_log_counts_lines_and_is_lost_when_the_peer_closes) {
    test_server_t server;
    const std::string where = "127.0.0.1:" + std::to_string(server.port());
    c.pipeline.set_log_enable(true);
    c.pipeline.receive_line("old line");
    c.pipeline.receive_line("older line");
    c.connect_tcp("127.0.0.1", server.port());
    ASSERT_TRUE(server.accept_peer());
    ASSERT_TRUE(pump_until([&] { return c.link_tcp().up(); }));
    EXPECT_EQ(c.link_tcp(), (link_state_t{link_kind_t::connected, where, "", false}));
    EXPECT_TRUE(c.any_link_up());
    EXPECT_EQ(c.status_tcp(), where);
    EXPECT_EQ(c.sta_fg_tcp(), colour_t::secondary);
    EXPECT_TRUE(c.pipeline.arr_rx().empty());
    EXPECT_EQ(c.pipeline.msg_count, 0u);

    server.send("gravity={\"x\":0,\"y\":0,\"z\":1}\ngravity={\"x\":0,\"y\":1,\"z\":0}\n");
    ASSERT_TRUE(pump_until([&] { return c.pipeline.arr_rx().size() == 2; }));
    EXPECT_EQ(c.pipeline.sensors.device_model, device_model_t::gravity);
    EXPECT_EQ(c.pipeline.msg_count, 1u);  // the first line only arms the counting

    // Asked again while up: the link stays up and says so.
    c.connect_tcp("127.0.0.1", server.port());
    EXPECT_TRUE(console_has("already connected"));
    EXPECT_EQ(c.link_tcp(), (link_state_t{link_kind_t::connected, where, "", false}));
    EXPECT_EQ(c.status_tcp(), where);

    // The bridge goes away: lost, in red, with what happened.
    server.close_peer();
    ASSERT_TRUE(pump_until([&] { return !c.link_tcp().up(); }));
    EXPECT_EQ(c.link_tcp(), (link_state_t{link_kind_t::lost, where, "Connection closed by peer", false}));
    EXPECT_EQ(c.status_tcp(), "Connection closed by peer");
    EXPECT_EQ(c.sta_fg_tcp(), colour_t::red);
    EXPECT_FALSE(c.any_link_up());

    c.disconnect();
    EXPECT_EQ(c.pipeline.arr_rx().size(), 2u);  // a disconnect keeps the log
    EXPECT_EQ(c.link_tcp(), (link_state_t{link_kind_t::offline, "", "", true}));
}

TEST_F(connection_fixture, ble_statuses_and_commands) {
    auto& p = board();
    c.connect_ble(board_name);
    EXPECT_EQ(c.link_ble(), (link_state_t{link_kind_t::scanning, board_name, "", false}));
    EXPECT_EQ(c.status_ble(), "BLE scanning...");
    EXPECT_EQ(c.sta_fg_ble(), colour_t::green);
    ASSERT_TRUE(pump_until([&] { return c.link_ble().up(); }));
    EXPECT_EQ(c.link_ble(), (link_state_t{link_kind_t::connected, board_name, "", false}));
    EXPECT_EQ(c.status_ble(), board_name);
    EXPECT_EQ(c.sta_fg_ble(), colour_t::secondary);

    p.notify("compass={\"h\":90.5,\"x\":0,\"y\":0,\"z\":9.8}\n");
    ASSERT_TRUE(pump_until([&] { return c.pipeline.sensors.device_model == device_model_t::compass_gravity; }));

    c.send("C\n");
    ASSERT_TRUE(pump_until([&] { return !p.writes().empty(); }));
    EXPECT_EQ(p.writes().back(), (std::vector<std::uint8_t>{'C', '\n', '\r', '\n'}));

    // An unexpected loss: scanning again, in red, and back by itself.
    p.lose();
    ASSERT_TRUE(pump_until([&] { return c.link_ble().kind == link_kind_t::lost; }));
    EXPECT_EQ(c.link_ble().peer, board_name);
    EXPECT_EQ(c.status_ble(), "BLE scanning...");
    EXPECT_EQ(c.sta_fg_ble(), colour_t::red);
    EXPECT_FALSE(c.any_link_up());
    p.reappear();
    ASSERT_TRUE(pump_until([&] { return c.link_ble().up(); }));
    EXPECT_EQ(c.sta_fg_ble(), colour_t::secondary);

    c.disconnect();
    EXPECT_EQ(c.link_ble(), (link_state_t{link_kind_t::offline, "", "", true}));
    EXPECT_EQ(c.status_ble(), "offline");
    EXPECT_EQ(c.sta_fg_ble(), colour_t::accent);
    central->run_pending();
    EXPECT_FALSE(p.connected());
}

TEST_F(connection_fixture, bridge_relays_bytes_both_ways) {
    auto& p = board();
    test_server_t peer;
    c.connect_ble(board_name);
    c.connect_tcp("127.0.0.1", peer.port());
    ASSERT_TRUE(peer.accept_peer());
    ASSERT_TRUE(pump_until([&] {
        return c.link_ble().up() && c.link_tcp().up();
    }));

    // Board to peer: the raw notification bytes.
    p.notify("gyro={\"x\":1,\"y\":2,\"z\":3}\n");
    pump_until([&] { return c.pipeline.sensors.device_model == device_model_t::gyroscope; });
    // Relayed as the 20-byte notifications came, so perhaps in two writes.
    const std::string relayed = "gyro={\"x\":1,\"y\":2,\"z\":3}\n";
    EXPECT_EQ(peer.receive_exactly(relayed.size()), relayed);

    // Peer to board: written as they came.
    p.clear_writes();
    peer.send("M\n");
    ASSERT_TRUE(pump_until([&] { return !p.writes().empty(); }));
    EXPECT_EQ(p.written(), "M\n");

    // A command goes to the board with CR LF and to the peer bare.
    p.clear_writes();
    c.send("D\n");
    pump_until([&] { return !p.writes().empty(); });
    EXPECT_EQ(p.written(), "D\n\r\n");
    EXPECT_EQ(peer.receive_exactly(2), "D\n");
    c.disconnect();
}

TEST_F(connection_fixture, first_binary_frame_over_tcp_alone_only_taps) {
    test_server_t server;
    c.connect_tcp("127.0.0.1", server.port());
    ASSERT_TRUE(server.accept_peer());
    ASSERT_TRUE(pump_until([&] { return c.link_tcp().up(); }));
    server.send("text\n");
    ASSERT_TRUE(pump_until([&] { return c.pipeline.msg_ack; }));
    server.send("\x01\x02\xFE\xFD");
    ASSERT_TRUE(pump_until([&] { return haptics.heavies == 1; }));
    EXPECT_TRUE(c.pipeline.binary);
    EXPECT_FALSE(c.has_ble());  // the board link was never made up for it
    c.disconnect();
}

TEST_F(connection_fixture, barometer_reaches_observers_of_the_connection) {
    int changes = 0;
    auto sub = c.subscribe([&] { ++changes; });
    altimeter.deliver(101.325);
    EXPECT_DOUBLE_EQ(c.gps_data.pressure(), 101325.0);
    EXPECT_GT(changes, 0);
}

// A radio that cannot scan is what the toolbar shows, not a search that
// never happens; once it can, the coordinator's own state comes back.
TEST_F(connection_fixture, toolbar_shows_a_radio_that_cannot_scan) {
    c.ble();
    central->set_power(ble_power_t::powered_off);
    c.connect_ble(board_name);
    ASSERT_TRUE(pump_until([&] { return c.link_ble().kind == link_kind_t::failed; }));
    EXPECT_EQ(c.link_ble(), (link_state_t{link_kind_t::failed, board_name, "BLE 4 powered OFF", false}));
    EXPECT_EQ(c.status_ble(), "BLE 4 powered OFF");
    EXPECT_EQ(c.sta_fg_ble(), colour_t::red);

    central->set_power(ble_power_t::unauthorized);
    ASSERT_TRUE(pump_until([&] { return c.link_ble().error == "BLE 3 unauthorized"; }));
    EXPECT_EQ(c.status_ble(), "BLE 3 unauthorized");
    central->set_power(ble_power_t::unsupported);
    ASSERT_TRUE(pump_until([&] { return c.link_ble().error == "BLE 2 unsupported"; }));
    EXPECT_EQ(c.status_ble(), "BLE 2 unsupported");

    // Switched on: the board is found and its name is shown as usual.
    board();
    central->set_power(ble_power_t::powered_on);
    ASSERT_TRUE(pump_until([&] { return c.link_ble().up(); }));
    EXPECT_EQ(c.status_ble(), board_name);
    EXPECT_EQ(c.sta_fg_ble(), colour_t::secondary);

    // After the user disconnects, the radio's state is no concern of the toolbar.
    central->set_power(ble_power_t::powered_off);
    c.disconnect();
    EXPECT_EQ(c.link_ble(), (link_state_t{link_kind_t::offline, "", "", true}));
    EXPECT_EQ(c.status_ble(), "offline");
}

// A host without Bluetooth: BLE asked for says so, rather than "offline".
TEST(connection, ble_without_a_radio_fails_with_the_reason) {
    manual_clock_t clock;
    memory_settings_store_t store;
    captured_console_t console;
    manual_main_queue_t queue{clock};
    manual_altimeter_t altimeter;
    counting_haptics_t haptics;
    connection_t c{{clock, store, console, queue, altimeter, haptics, [] { return nullptr; }}};
    c.connect_ble(board_name);
    EXPECT_EQ(c.link_ble(), (link_state_t{link_kind_t::failed, board_name, "BLE 2 unsupported", false}));
    EXPECT_EQ(c.status_ble(), "BLE 2 unsupported");
    EXPECT_EQ(c.sta_fg_ble(), colour_t::red);
}
