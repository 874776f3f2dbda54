#include "sim/board_server.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "transport/line_reassembler.hpp"
#include "transport/receive_pipeline.hpp"

using namespace plimsy;

namespace {
int connect_to(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    timeval tv{10, 0};  // a stuck server fails the test instead of hanging it
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}
}  // namespace

TEST(board_server, streams_decodable_lines_and_takes_commands) {
    std::mutex m;
    std::string commands;
    board_server_t server({.kind = device_model_t::compass_gravity, .port = 0, .rate = 200.0},
                          [&](const std::string&, char c) {
                              std::lock_guard lock(m);
                              commands += c;
                          });
    std::string error;
    ASSERT_TRUE(server.start(error)) << error;
    const int fd = connect_to(server.port());
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::send(fd, "C\n\r\n", 4, 0), 4);

    manual_clock_t clock;
    memory_settings_store_t store;
    captured_console_t console;
    receive_pipeline_t pipeline(clock, store, console);
    line_reassembler_t lines;
    int received = 0;
    char buf[2048];
    while (received < 60) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        ASSERT_GT(n, 0);
        for (auto l : lines.split_lines(std::string_view(buf, static_cast<std::size_t>(n)))) {
            pipeline.receive_line(l);
            ++received;
            clock.advance(0.005);
        }
    }
    ::close(fd);
    EXPECT_TRUE(console.lines().empty()) << console.lines().front();  // no decoding failure
    EXPECT_EQ(pipeline.sensors.device_model, device_model_t::compass_gravity);
    // The command reached the board: it is calibrating.
    EXPECT_NE(pipeline.sensors.compass_c.calibration, calibration_state_t::complete);
    std::lock_guard lock(m);
    EXPECT_EQ(commands, "C");
}

TEST(board_server, flood_sends_exactly_the_lines_asked_then_closes) {
    board_server_t server({.kind = device_model_t::gravity, .port = 0, .rate = 50, .flood = true, .flood_lines = 45000});
    std::string error;
    ASSERT_TRUE(server.start(error)) << error;
    const int fd = connect_to(server.port());
    ASSERT_GE(fd, 0);
    std::uint64_t line_feeds = 0;
    char buf[65536];
    ssize_t n;
    while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0)
        for (ssize_t i = 0; i < n; ++i) line_feeds += buf[i] == '\n';
    ::close(fd);
    EXPECT_EQ(n, 0);  // an orderly close, not a time-out
    EXPECT_EQ(line_feeds, 45000u);

    board_server_t busy({.kind = device_model_t::gravity, .port = server.port()});
    EXPECT_FALSE(busy.start(error));
    EXPECT_NE(error.find("cannot listen"), std::string::npos);
}
