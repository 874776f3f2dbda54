#include "session/session.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "platform/manual_main_queue.hpp"
#include "sim/simulated_central.hpp"
#include "sim/simulated_peripheral.hpp"
#include "transport/test_server.hpp"

using namespace plimsy;

namespace {

struct session_fixture : ::testing::Test {
    manual_clock_t clock;
    manual_main_queue_t queue{clock};
    memory_settings_store_t store;
    captured_console_t console;
    counting_haptics_t haptics;
    manual_altimeter_t altimeter{false};
    std::unique_ptr<session_t> session;

    session_t& build(session_options_t o = {}) {
        if (!o.store && o.settings_file.empty()) o.store = &store;
        session = std::make_unique<session_t>(
            session_services_t{
                .clock = clock, .main = queue, .console = &console, .haptics = &haptics, .altimeter = &altimeter},
            std::move(o));
        return *session;
    }

    // Runs the main queue and the simulated radio until done() holds; the
    // wall clock only bounds a broken test.
    bool pump_until(const std::function<bool()>& done) {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::duration<double>(test_patience);
        while (!done()) {
            if (std::chrono::steady_clock::now() > give_up) return false;
            queue.wait_for_work(0.005);
            queue.run_pending();
            if (session) session->poll_simulation();
        }
        return true;
    }
    // Moves the manual clock in steps of 10 ms, as the board's time passes,
    // until done() holds or `seconds` have passed.
    bool run_board(double seconds, const std::function<bool()>& done = [] { return false; }) {
        for (double t = 0; t < seconds; t += 0.01) {
            clock.advance(0.01);
            queue.run_pending();
            session->poll_simulation();
            if (done()) return true;
        }
        return done();
    }
    // Accepts the session's connection while the main queue keeps running:
    // the client may need the main thread before it connects again (its
    // previous connection's loop hands over its end).
    bool accept(test_server_t& server) {
        auto accepted = std::async(std::launch::async, [&] { return server.accept_peer(); });
        pump_until([&] { return accepted.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
        return accepted.get();
    }
    bool console_has(std::string_view text) const {
        for (const auto& l : console.lines())
            if (l.find(text) != std::string::npos) return true;
        return false;
    }
    void store_tcp(std::uint16_t port) {
        store.write("enable_ble", false);
        store.write("history_host", std::vector<std::string>{"127.0.0.1"});
        store.write("history_port", std::vector<std::int64_t>{port});
    }
};

// What a recorder would keep, in order: "rx:", "tx:" or "act:" and the bytes
// or the action's name.
struct tap_log_t final : session_tap_t {
    std::vector<std::string> seen;
    std::string all(std::string_view kind) const {
        std::string out;
        for (const auto& e : seen)
            if (e.starts_with(kind)) out += e.substr(kind.size());
        return out;
    }
    void board_rx(std::span<const std::uint8_t> b) override { seen.push_back("rx:" + std::string(b.begin(), b.end())); }
    void board_tx(std::span<const std::uint8_t> b) override { seen.push_back("tx:" + std::string(b.begin(), b.end())); }
    void local_action(std::string_view name, const capture_arg_t&) override { seen.push_back("act:" + std::string(name)); }
};

}  // namespace

TEST_F(session_fixture, stored_tcp_settings_connect_and_the_lines_reach_the_sensors) {
    test_server_t server;
    store_tcp(server.port());
    session_t& s = build();

    // What was stored decided the link; nothing asked for it by name.
    EXPECT_FALSE(s.cfg().enable_ble());
    EXPECT_EQ(s.cfg().host(), "127.0.0.1");
    EXPECT_FALSE(s.cnc().has_ble());
    ASSERT_TRUE(accept(server));
    const std::string connected = "connected to 127.0.0.1:" + std::to_string(server.port());
    ASSERT_TRUE(pump_until([&] { return console_has(connected); }));
    EXPECT_TRUE(s.link_up());
    EXPECT_TRUE(s.links_wanted());

    server.send("gravity={\"x\":0,\"y\":0.5,\"z\":9.8}\ncompass={\"h\":123.5,\"x\":0,\"y\":0.5,\"z\":9.8}\n");
    // The first line after a connection only arms the counters.
    ASSERT_TRUE(pump_until([&] { return s.pipeline().msg_good >= 1; }));
    EXPECT_FLOAT_EQ(s.sensors().gravity.y, 0.5f);
    EXPECT_NEAR(s.sensors().compass.heading * 57.29577951308232, 123.5, 1e-3);
    EXPECT_EQ(s.sensors().device_model, device_model_t::compass_gravity);

    // A command leaves over TCP bare, exactly as given.
    EXPECT_TRUE(s.send("C\n"));
    EXPECT_EQ(server.receive_exactly(2), "C\n");

    // The connection button disconnects while a link is wanted, and
    // connects again as configured when none is, even while the worker of
    // the last attempt is still winding up.
    s.connection_button();
    EXPECT_FALSE(s.links_wanted());
    EXPECT_FALSE(s.link_up());
    EXPECT_EQ(server.receive(), "");  // the peer sees the end of the stream
    EXPECT_FALSE(s.send("D\n"));
    EXPECT_EQ(s.cnc().command_note(), "D not delivered: no connection to the board");
    s.connection_button();
    EXPECT_TRUE(s.links_wanted());
    ASSERT_TRUE(accept(server));
    ASSERT_TRUE(pump_until([&] { return s.link_up(); }));
    EXPECT_TRUE(s.send("R\n"));
    EXPECT_EQ(server.receive_exactly(2), "R\n");
    // The session's actions are logic only; the touch feedback is the
    // window's.
    EXPECT_EQ(haptics.selections, 0);
}

TEST_F(session_fixture, stored_ble_name_finds_the_simulated_board_and_commands_reach_it_as_bytes) {
    store.write("history_ble_name", std::vector<std::string>{"brambleA1 UART", "Plimsy:91 UART"});
    session_options_t o;
    o.simulate = session_simulation_t{.board = device_model_t::compass_gravity, .rate = 50};
    session_t& s = build(o);

    ASSERT_NE(s.simulated_board(), nullptr);
    ASSERT_NE(s.simulated_peripheral(), nullptr);
    EXPECT_EQ(s.simulated_peripheral()->name(), "brambleA1 UART");
    ASSERT_TRUE(pump_until([&] { return s.simulated_peripheral()->notifying(); }));
    EXPECT_TRUE(s.link_up());
    EXPECT_EQ(s.cnc().status_ble(), "brambleA1 UART");

    // The board's time is the manual clock: half a second gives 25 lines
    // (the first only arms the counters).
    ASSERT_TRUE(run_board(0.5, [&] { return s.pipeline().msg_good >= 24; }));
    EXPECT_EQ(s.pipeline().msg_count, s.pipeline().msg_good);
    EXPECT_EQ(s.sensors().device_model, s.simulated_board()->host_model());

    // Over BLE a command gets the CR LF postfix; the board takes the "C"
    // and its calibration starts, which its next lines report. A tap sees
    // the command as the panel sent it, and the board's notifications.
    tap_log_t tap;
    s.add_tap(&tap);
    s.simulated_peripheral()->clear_writes();
    EXPECT_TRUE(s.send("C\n"));
    EXPECT_EQ(tap.all("tx:"), "C\n");
    ASSERT_TRUE(pump_until([&] { return !s.simulated_peripheral()->written().empty(); }));
    EXPECT_EQ(s.simulated_peripheral()->written(), "C\n\r\n");
    EXPECT_EQ(s.simulated_board()->received_commands(), "C");
    EXPECT_EQ(s.simulated_board()->calibration(), calibration_state_t::xy);
    EXPECT_TRUE(run_board(1.0, [&] { return s.sensors().compass_c.calibration == calibration_state_t::xy; }));
    EXPECT_EQ(tap.all("rx:").rfind("compass_c={", 0), 0u) << tap.all("rx:");

    // Local actions reach the model and the taps; a refused one reaches neither.
    s.sensors().update_bh1749(100, 50, 25, 10);
    EXPECT_TRUE(s.act(local_action_t::bh1749_white_balance));
    EXPECT_NE(s.sensors().bh1749.b_c, 1.0f);
    std::string error;
    EXPECT_FALSE(s.act("hmc5883.compensate", {}, error));
    EXPECT_TRUE(s.act(local_action_t::bh1749_reset_corrections));
    EXPECT_EQ(s.sensors().bh1749.b_c, 1.0f);
    EXPECT_EQ(tap.all("act:"), "bh1749.white_balancebh1749.reset_corrections");
    s.remove_tap(&tap);
    EXPECT_TRUE(s.act(local_action_t::trace_toggle_hold));
    EXPECT_EQ(tap.all("act:"), "bh1749.white_balancebh1749.reset_corrections");

    // The log and its switch are the session's too.
    s.set_log_enable(true);
    ASSERT_TRUE(run_board(0.2, [&] { return !s.pipeline().arr_rx().empty(); }));
    s.clear_log();
    EXPECT_TRUE(s.pipeline().arr_rx().empty());
    EXPECT_EQ(s.pipeline().msg_count, 0u);
    s.toggle_log();
    EXPECT_FALSE(s.pipeline().log_enable());
}

TEST_F(session_fixture, links_from_a_command_line_make_a_bridge_between_board_and_tcp_peer) {
    test_server_t peer;
    session_options_t o;
    o.simulate = session_simulation_t{.board = device_model_t::gravity, .rate = 100};
    o.links = session_links_t{.ble_name = "sim board", .tcp_host = "127.0.0.1", .tcp_port = peer.port()};
    session_t& s = build(o);

    // Chosen links go through the settings like a choice in the sheet.
    EXPECT_TRUE(s.cfg().enable_bridge());
    EXPECT_EQ(s.cfg().ble_name(), "sim board");
    EXPECT_EQ(store.read_bool("enable_bridge"), true);
    EXPECT_EQ(store.read_string_array("history_host")->front(), "127.0.0.1");
    tap_log_t tap;
    s.add_tap(&tap);
    ASSERT_TRUE(accept(peer));
    ASSERT_TRUE(pump_until([&] { return s.simulated_peripheral()->notifying() && s.cnc().tcp_client().valid(); }));

    // The board's bytes go to the peer as they come...
    ASSERT_TRUE(run_board(0.2, [&] { return s.pipeline().msg_good >= 5; }));
    pump_until([&] { return !s.sending(); });
    const std::string relayed = peer.receive();
    EXPECT_EQ(relayed.rfind("gravity={", 0), 0u) << relayed;
    // ...and the peer's bytes to the board: "R" restarts it.
    peer.send("R\n");
    ASSERT_TRUE(pump_until([&] { return s.simulated_board()->restarts() == 1; }));
    EXPECT_EQ(s.simulated_board()->received_commands(), "R");
    // For a recording the board's bytes came in and the peer's went to it.
    EXPECT_NE(tap.all("rx:").find(relayed), std::string::npos) << relayed;
    EXPECT_EQ(tap.all("tx:"), "R\n");
    s.remove_tap(&tap);
}

// Built exactly as plimsy-cli decode builds its session.
TEST_F(session_fixture, a_session_for_decoding_starts_nothing_and_takes_lines_directly) {
    store.write("hmc5883.0.x_min", std::int64_t{-5});  // what a capture's header would seed
    session_t s({.clock = clock, .main = queue, .console = &console}, {.store = &store, .start_connection = false});

    EXPECT_FALSE(s.cnc().has_tcp_client());
    EXPECT_FALSE(s.cnc().has_ble());
    EXPECT_FALSE(s.cnc().has_serial());
    EXPECT_FALSE(s.links_wanted());
    EXPECT_FALSE(console_has("Connect"));
    EXPECT_EQ(queue.pending(), 0u);
    EXPECT_EQ(queue.timers(), 0u);
    EXPECT_EQ(store.read_int("hmc5883.0.x_min"), -5);

    int announced = 0;
    auto sub = s.subscribe([&] { ++announced; });
    s.pipeline().receive_line("gyroscope={\"x\":1,\"y\":2,\"z\":3}");
    s.pipeline().receive_line("gyroscope={\"x\":1,\"y\":2,\"z\":4}");
    EXPECT_EQ(s.sensors().device_model, device_model_t::gyroscope);
    EXPECT_EQ(s.pipeline().msg_good, 1u);
    EXPECT_GT(announced, 0);
    // Time is the caller's: the manual clock, never the wall clock.
    EXPECT_EQ(s.clock().now(), clock.now());
    EXPECT_EQ(queue.timers(), 0u);
}

TEST_F(session_fixture, the_connection_button_also_stops_a_serial_port_that_keeps_retrying) {
    store.write("enable_serial", true);
    store.write("history_serial_port", std::vector<std::string>{"/dev/ttyPLIMSYNONE"});
    session_t& s = build();
    // No serial ports on this host: the port is refused, and tried again.
    ASSERT_TRUE(pump_until([&] { return s.cnc().link_serial().kind == link_kind_t::failed; }));
    EXPECT_TRUE(s.links_wanted());
    EXPECT_FALSE(s.link_up());
    s.connection_button();
    EXPECT_FALSE(s.links_wanted());
    EXPECT_EQ(s.cnc().status_serial(), "offline");
}

// Teardown: every case ends with the session destroyed in the middle of
// something, then whatever it left on the main queue runs; AddressSanitizer
// reports any use of the freed session.
TEST_F(session_fixture, destroyed_while_a_tcp_peer_streams_lines) {
    test_server_t server;
    store_tcp(server.port());
    build();
    ASSERT_TRUE(accept(server));
    ASSERT_TRUE(pump_until([&] { return session->link_up(); }));
    std::atomic<bool> stop{false};
    std::thread streaming([&] {
        while (!stop) server.send("gravity={\"x\":0,\"y\":0.5,\"z\":9.8}\n");
    });
    ASSERT_TRUE(pump_until([&] { return session->pipeline().msg_good >= 100; }));
    session.reset();
    stop = true;
    streaming.join();
    clock.advance(10);
    queue.run_pending();
    EXPECT_TRUE(console_has("connected to 127.0.0.1"));
}

TEST_F(session_fixture, destroyed_while_a_refused_connection_waits_for_its_retry) {
    test_server_t refusing(false);
    store_tcp(refusing.port());
    build();
    ASSERT_TRUE(pump_until([&] { return session->cnc().link_tcp().kind == link_kind_t::failed; }));
    ASSERT_TRUE(pump_until([&] { return !session->cnc().tcp_client().connecting(); }));
    EXPECT_GE(queue.timers(), 1u);
    session.reset();
    // The retry comes due after its owner is gone and must do nothing.
    clock.advance(connection_t::reconnect_delay + 1);
    EXPECT_GE(queue.run_pending(), 1u);
}

TEST_F(session_fixture, destroyed_while_the_simulated_board_sends_and_a_command_is_on_its_way) {
    session_options_t o;
    o.simulate = session_simulation_t{.board = device_model_t::hmc5883, .rate = 1000};
    build(o);
    ASSERT_TRUE(pump_until([&] { return session->simulated_peripheral()->notifying(); }));
    ASSERT_TRUE(run_board(0.05, [&] { return session->pipeline().msg_good >= 10; }));
    // Notifications and a write sit in the radio, undelivered.
    clock.advance(0.05);
    session->simulated_central()->poll();
    session->send("R\n");
    EXPECT_GT(session->simulated_central()->pending(), 0u);
    session.reset();
    queue.run_pending();
}

TEST_F(session_fixture, a_settings_file_of_its_own_is_written_when_the_session_ends) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("plimsy_session_" + std::to_string(::getpid()) + "_" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const auto file = dir / "Plimsy_sensors.json";
    {
        session_options_t o;
        o.settings_file = file;
        o.start_connection = false;
        session_t& s = build(o);
        s.cfg().commit_host("127.0.0.2");
        s.cfg().set_enable_bridge(true);
        session.reset();
    }
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("\"127.0.0.2\""), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("\"enable_bridge\": true"), std::string::npos) << text.str();
    // Read again by the next session, which then wants the bridge.
    {
        session_options_t o;
        o.settings_file = file;
        o.start_connection = false;
        session_t& s = build(o);
        EXPECT_TRUE(s.cfg().enable_bridge());
        EXPECT_EQ(s.cfg().host(), "127.0.0.2");
        session.reset();
    }
    std::filesystem::remove_all(dir);
}
