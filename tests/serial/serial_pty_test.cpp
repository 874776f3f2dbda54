#include <sys/fsuid.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/manual_main_queue.hpp"
#include "qt/qt_main_queue.hpp"
#include "qt/qt_serial_port.hpp"
#include "serial/pty_board.hpp"
#include "transport/connection.hpp"
#include "transport/test_server.hpp"

using namespace plimsy;

namespace {

struct recorder_t final : serial_delegate_t {
    std::vector<std::string> lines;
    std::size_t frames = 0;
    std::string forwarded;
    int connects = 0;
    std::vector<std::string> failures;

    void serial_connected(const std::string&, std::uint32_t) override { ++connects; }
    void serial_failed(const std::string&, const std::string& message) override { failures.push_back(message); }
    void forward_to_tcp(std::span<const std::uint8_t> b) override {
        forwarded.append(reinterpret_cast<const char*>(b.data()), b.size());
    }
    void receive_line(std::string_view line) override { lines.emplace_back(line); }
    bool receive_arr(std::span<const std::uint8_t>) override {
        ++frames;
        return false;
    }
};

struct serial_pty : ::testing::Test {
    temp_dir_t dir;
    pty_board_t board{dir / "board"};
    qt_main_queue_t queue;
    null_console_t console;
    qt_serial_port_t port;
    recorder_t rec;
    serial_t serial{rec, port, queue, console};
};

}  // namespace

TEST_F(serial_pty, lines_both_ways_at_115200_and_1000000_baud) {
    for (const auto& [baud, code] : {std::pair{115200u, B115200}, std::pair{1'000'000u, B1000000}}) {
        SCOPED_TRACE(baud);
        rec.lines.clear();
        serial.connect(board.link(), baud);
        ASSERT_TRUE(serial.connected()) << serial.message();
        EXPECT_EQ(board.speed(), code) << "the port was set to the speed asked for";

        // A line cut in two writes, CR LF and LF ends, a multi-byte character.
        ASSERT_TRUE(board.send("bme680={\"t\":21.5,"));
        ASSERT_TRUE(pump_until([&] { return !rec.forwarded.empty(); }));
        ASSERT_TRUE(board.send("\"h\":40}\r\nboot °C\n"));
        ASSERT_TRUE(pump_until([&] { return rec.lines.size() >= 2; })) << rec.lines.size();
        EXPECT_EQ(rec.lines, (std::vector<std::string>{"bme680={\"t\":21.5,\"h\":40}", "boot °C"}));
        EXPECT_EQ(rec.frames, 0u);

        // A command reaches the board as it was given.
        ASSERT_TRUE(serial.write(std::span(reinterpret_cast<const std::uint8_t*>("C\n"), 2)));
        std::string got;
        ASSERT_TRUE(pump_until([&] {
            got += board.take();
            return got.size() >= 2;
        }));
        EXPECT_EQ(got, "C\n");
        rec.forwarded.clear();
    }
}

TEST_F(serial_pty, a_board_sending_without_pause_loses_nothing) {
    serial.connect(board.link(), 1'000'000);
    ASSERT_TRUE(serial.connected()) << serial.message();
    constexpr int count = 20000;
    // The board writes as fast as the pseudo-terminal takes it; the writes
    // block whenever the application falls behind, as a UART's FIFO would
    // overflow instead.
    std::thread writer([&] {
        std::string burst;
        for (int i = 0; i < count; ++i)
            burst += "gyro={\"x\":" + std::to_string(i) + ",\"y\":-0.25,\"z\":0.125}\n";
        board.send(burst);
    });
    const auto start = std::chrono::steady_clock::now();
    const bool all = pump_until([&] { return rec.lines.size() >= static_cast<std::size_t>(count); }, 60);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    writer.join();
    ASSERT_TRUE(all) << rec.lines.size() << " of " << count;
    ASSERT_EQ(rec.lines.size(), static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(rec.lines[static_cast<std::size_t>(i)], "gyro={\"x\":" + std::to_string(i) + ",\"y\":-0.25,\"z\":0.125}");
    EXPECT_EQ(rec.frames, 0u);
    std::printf("[ figure ] %d lines over a pseudo-terminal in %.3f s (%.0f lines/s)\n", count, seconds,
                count / seconds);
}

TEST_F(serial_pty, unplugged_shows_why_and_the_board_is_reopened_when_it_comes_back) {
    // Holding the first device open keeps its number taken, so the replug
    // surely comes back under another one, whatever else runs meanwhile.
    const int hold = ::open(board.device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(hold, 0);
    serial.connect(board.link(), 115200);
    ASSERT_TRUE(serial.connected()) << serial.message();
    const std::string first_device = board.device();
    board.send("rtc={\"y\":2026}\n");
    ASSERT_TRUE(pump_until([&] { return rec.lines.size() == 1; }));

    board.unplug();
    ASSERT_TRUE(pump_until([&] { return serial.state() == serial_t::state_t::lost; }));
    ASSERT_FALSE(rec.failures.empty());
    EXPECT_EQ(rec.failures.front(), board.link() + " was unplugged: waiting for the board to come back");

    // Absent for a while: the retries find nothing.
    ASSERT_TRUE(pump_until([&] { return serial.error() == serial_error_t::not_found; }));
    EXPECT_FALSE(serial.connected());

    // Back, under the same name but another device.
    board.plug();
    EXPECT_NE(board.device(), first_device);
    ASSERT_TRUE(pump_until([&] { return serial.connected(); }));
    EXPECT_EQ(rec.connects, 2);
    board.send("rtc={\"y\":2027}\n");
    ASSERT_TRUE(pump_until([&] { return rec.lines.size() == 2; }));
    EXPECT_EQ(rec.lines[1], "rtc={\"y\":2027}");
    ::close(hold);
}

TEST_F(serial_pty, ports_that_cannot_be_opened_say_why) {
    serial.connect(dir / "nothing-here", 115200);
    EXPECT_EQ(serial.error(), serial_error_t::not_found);
    EXPECT_EQ(serial.message(), dir / "nothing-here" + " not found: is the board plugged in? Waiting for it");

    // A device the user may not open. Root opens anything, so the test gives
    // up root's file access for the attempt (setfsuid drops the override).
    ASSERT_EQ(::chmod(board.device().c_str(), 0600), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ::setfsuid(65534);
    } else {
        ASSERT_EQ(::chmod(board.device().c_str(), 0), 0);
    }
    serial.connect(board.link(), 115200);
    if (root) ::setfsuid(0);
    EXPECT_EQ(serial.error(), serial_error_t::permission_denied);
    EXPECT_EQ(serial.message(), "Permission denied opening " + board.link() +
                                    ": add yourself to the dialout group (sudo adduser $USER dialout) and log in again");
    serial.disconnect();

    // A port another program holds.
    ::chmod(board.device().c_str(), 0600);
    qt_serial_port_t other;
    ASSERT_TRUE(other.open(board.link(), 115200).ok());
    const serial_result_t second = port.open(board.link(), 115200);
    EXPECT_NE(second.error, serial_error_t::none) << "a held port is not opened twice";
    if (second.error != serial_error_t::none) {
        EXPECT_EQ(second.error, serial_error_t::busy) << second.text;
    }
}

TEST(serial_bridge, raw_bytes_go_between_the_board_and_the_tcp_peer_both_ways) {
    temp_dir_t dir;
    pty_board_t board{dir / "board"};
    qt_main_queue_t queue;
    system_clock_t& clock = system_clock_t::instance();
    memory_settings_store_t store;
    null_console_t console;
    manual_altimeter_t altimeter;
    counting_haptics_t haptics;
    connection_t c{{clock, store, console, queue, altimeter, haptics, nullptr}};
    c.set_serial_factory([] { return std::make_unique<qt_serial_port_t>(); });
    test_server_t peer;

    c.connect_serial(board.link(), 115200);
    c.connect_tcp("127.0.0.1", peer.port());
    ASSERT_TRUE(peer.accept_peer());
    ASSERT_TRUE(pump_until([&] { return c.link_serial().up() && c.link_tcp().up(); }))
        << c.status_serial() << " / " << c.status_tcp();

    // Board to peer: the bytes as they came, line ends and all.
    const std::string from_board = "gravity={\"x\":0,\"y\":0,\"z\":9.8}\r\n\xff";
    board.send(from_board);
    ASSERT_TRUE(pump_until([&] { return c.bytes_received >= from_board.size(); }));
    std::string at_peer;
    while (at_peer.size() < from_board.size()) {
        const std::string got = peer.receive();
        if (got.empty() || got == "<timeout>") break;
        at_peer += got;
    }
    EXPECT_EQ(at_peer, from_board);

    // Peer to board, after the one 0x00 byte that answers the board's first
    // binary frame (the 0xFF above).
    peer.send("R\n\x01\x02");
    std::string at_board;
    ASSERT_TRUE(pump_until([&] {
        at_board += board.take();
        return at_board.size() >= 5;
    }));
    EXPECT_EQ(at_board, std::string("\0R\n\x01\x02", 5));

    c.disconnect();
}
