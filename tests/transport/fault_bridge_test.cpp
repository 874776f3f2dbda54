// The coordinator with a hostile board or peer: floods through the bridge in
// both directions, a board that stops answering writes, notifications that
// cut characters and lines at every byte, keep-alives and endless lines
// over BLE, and commands that no link takes.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "platform/manual_main_queue.hpp"
#include "sim/simulated_central.hpp"
#include "transport/connection.hpp"
#include "transport/test_server.hpp"

namespace plimsy {
namespace {

constexpr const char* board_name = "Plimsy:91 UART";
using lines_t = std::vector<std::string>;

struct bridge_fixture : ::testing::Test {
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

    // Pumps the main queue and, unless told not to, the simulated radio.
    bool pump_until(const std::function<bool()>& done, bool radio = true) {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::duration<double>(test_patience);
        while (!done()) {
            if (std::chrono::steady_clock::now() > give_up) return false;
            queue.wait_for_work(0.005);
            queue.run_pending();
            if (central && radio) central->run_pending();
        }
        return true;
    }
    bool console_has(std::string_view text) const {
        for (const auto& l : console.lines())
            if (l.find(text) != std::string::npos) return true;
        return false;
    }
    simulated_peripheral_t& board() {
        c.ble();
        return central->add_peripheral(board_name);
    }
    bool ble_up() {
        c.connect_ble(board_name);
        return pump_until([&] { return c.link_ble().up(); });
    }
};

TEST_F(bridge_fixture, a_tcp_peer_flooding_a_board_that_stops_answering_is_bounded) {
    auto& p = board();
    test_server_t peer;
    ASSERT_TRUE(ble_up());
    c.connect_tcp("127.0.0.1", peer.port());
    ASSERT_TRUE(peer.accept_peer());
    ASSERT_TRUE(pump_until([&] { return c.link_tcp().up(); }));

    // 4 MB while the board answers no write: the radio's queue stays within
    // the limit and the rest is refused with a console line, not kept.
    const std::string flood(4 * 1024 * 1024, 'f');
    std::thread sender([&] { peer.send(flood); });
    ASSERT_TRUE(pump_until([&] { return c.bytes_received >= flood.size(); }, false));
    sender.join();
    // What waits in the radio is what is in flight: one write may exceed
    // the limit, no more.
    EXPECT_LE(c.ble().bytes_in_flight(), ble_t::write_limit + tcp_client_t::buffer_size);
    EXPECT_TRUE(console_has("BLE: the board is not keeping up"));

    // Once it answers, writes resume, and what the board keeps of them is
    // bounded too.
    central->run_pending();
    EXPECT_EQ(c.ble().bytes_in_flight(), 0u);
    for (int i = 0; i < 200 && p.writes_received() <= simulated_peripheral_t::write_history; ++i) {
        const std::uint64_t before = c.bytes_received;
        peer.send(std::string(16 * 1024, 'm'));
        ASSERT_TRUE(pump_until([&] { return c.bytes_received >= before + 16 * 1024 && c.ble().bytes_in_flight() == 0; }));
    }
    EXPECT_GT(p.writes_received(), simulated_peripheral_t::write_history);
    EXPECT_TRUE(console_has("BLE: writes resumed"));
    EXPECT_LE(p.writes().size(), simulated_peripheral_t::write_history);
}

TEST_F(bridge_fixture, a_board_flooding_a_tcp_peer_that_reads_arrives_whole_and_in_order) {
    auto& p = board();
    test_server_t peer;
    ASSERT_TRUE(ble_up());
    c.connect_tcp("127.0.0.1", peer.port());
    ASSERT_TRUE(peer.accept_peer());
    ASSERT_TRUE(pump_until([&] { return c.link_tcp().up(); }));

    std::string sent;
    for (int i = 0; i < 4000; ++i) sent += "gravity={\"x\":" + std::to_string(i) + ",\"y\":0,\"z\":9.8}\n";
    ASSERT_TRUE(p.notify(sent));  // 20-byte notifications, each relayed from the main thread
    std::string got;
    std::thread reader([&] { got = peer.receive_exactly(sent.size()); });
    ASSERT_TRUE(pump_until([&] { return central->pending() == 0 && c.tcp_client().unsent() == 0; }));
    reader.join();
    EXPECT_TRUE(got == sent) << got.size() << " of " << sent.size() << " bytes";
    EXPECT_EQ(c.pipeline.sensors.gravity.x, 3999.0f);
}

TEST_F(bridge_fixture, notifications_cut_at_every_size_keep_characters_and_lines) {
    auto& p = board();
    ASSERT_TRUE(ble_up());
    c.pipeline.set_log_enable(true);
    const std::string line = "bme680={\"t\":21.5,\"name\":\"K\xC3\xBC" "che \xE2\x82\xAC \xF0\x9F\x8C\xA1\"}";
    for (std::size_t size = 1; size <= 24; ++size) {
        central->notify_size = size;
        c.pipeline.clear_log();
        ASSERT_TRUE(p.notify(line + "\r\n"));
        ASSERT_TRUE(pump_until([&] { return central->pending() == 0; }));
        EXPECT_EQ(lines_t(c.pipeline.arr_rx().begin(), c.pipeline.arr_rx().end()), lines_t{line}) << "notifications of " << size;
        EXPECT_FALSE(c.pipeline.binary);
    }
    // A keep-alive between two pieces of a line.
    central->notify_size = 20;
    c.pipeline.clear_log();
    p.notify("gravity={\"x\":1,");
    p.notify(std::string_view("\0", 1));
    p.notify("\"y\":0,\"z\":9.8}\n");
    ASSERT_TRUE(pump_until([&] { return central->pending() == 0; }));
    EXPECT_EQ(lines_t(c.pipeline.arr_rx().begin(), c.pipeline.arr_rx().end()), lines_t{"gravity={\"x\":1,\"y\":0,\"z\":9.8}"});
    EXPECT_EQ(c.pipeline.sensors.gravity.x, 1.0f);
}

TEST_F(bridge_fixture, an_endless_line_over_ble_is_dropped_and_reported_like_tcp) {
    auto& p = board();
    ASSERT_TRUE(ble_up());
    c.pipeline.set_log_enable(true);
    const std::string junk(67581, 'j');
    p.notify(junk + "gravity={\"x\":5,\"y\":0,\"z\":9.8}\nok\n");
    ASSERT_TRUE(pump_until([&] { return central->pending() == 0; }));
    EXPECT_TRUE(lines_t(c.pipeline.arr_rx().begin(), c.pipeline.arr_rx().end()) == lines_t{"ok"}) << c.pipeline.arr_rx().size() << " lines";
    EXPECT_NE(c.pipeline.sensors.gravity.x, 5.0f) << "the tail of the junk was decoded";
    EXPECT_TRUE(console_has("BLE: dropped an incomplete line of "));
}

TEST_F(bridge_fixture, a_command_no_link_takes_is_reported_and_noted) {
    EXPECT_FALSE(c.send("C\n"));
    EXPECT_TRUE(console_has("command not delivered (no connection to the board): C"));
    EXPECT_EQ(c.command_note(), "C not delivered: no connection to the board");

    // A board that stops answering writes refuses commands too.
    auto& p = board();
    ASSERT_TRUE(ble_up());
    EXPECT_TRUE(c.command_note().empty()) << "a new link clears the note";
    const std::string big(ble_t::write_limit, 'b');
    EXPECT_TRUE(c.send(big));
    EXPECT_FALSE(c.send("R\n"));
    EXPECT_EQ(c.command_note(), "R not delivered: the link is not taking writes");
    ASSERT_TRUE(pump_until([&] { return c.ble().bytes_in_flight() == 0; }));
    EXPECT_TRUE(c.send("R\n"));
    EXPECT_TRUE(c.command_note().empty());
    ASSERT_TRUE(pump_until([&] { return p.writes_received() == 2; }));
}

}  // namespace
}  // namespace plimsy
