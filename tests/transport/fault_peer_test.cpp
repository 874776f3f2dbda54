// A hostile TCP peer on real sockets on 127.0.0.1: one that stops reading,
// resets in the middle of a line, cuts characters and lines at every byte,
// sends a keep-alive byte, and sends lines that never end.

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "transport/line_reassembler.hpp"
#include "transport/tcp_fixture.hpp"

namespace plimsy {
namespace {

using lines_t = std::vector<std::string>;

bool console_has(const captured_console_t& console, std::string_view text) {
    for (const auto& l : console.lines())
        if (l.find(text) != std::string::npos) return true;
    return false;
}

TEST(fault_stops_reading, sending_never_blocks_and_a_full_queue_is_a_lost_connection) {
    tcp_fixture_t f;
    test_server_t server(true, 4096);
    ASSERT_TRUE(f.connect(server));

    const std::string block(4096, 'c');
    std::size_t accepted = 0;
    bool refused = false;
    // Up to 16 MB, far beyond what the system buffers and the queue hold.
    const bool returned = returns_in_patience(
        [&] {
            for (int i = 0; i < 4096 && !refused; ++i) {
                if (f.client->send(as_bytes(block)))
                    accepted += block.size();
                else
                    refused = true;
            }
        },
        [&] { server.reset_peer(); });
    ASSERT_TRUE(returned) << "send() blocked on a peer that does not read";
    EXPECT_TRUE(refused);
    EXPECT_LE(f.client->unsent(), tcp_client_t::send_limit);
    EXPECT_TRUE(console_has(f.console, "stopped reading"));

    // Reported like any lost connection, so the owner retries.
    ASSERT_TRUE(f.pump_until([&] { return !f.owner.failed.empty(); }));
    EXPECT_EQ(f.owner.failed, std::vector<int>{ENOBUFS});
    EXPECT_FALSE(f.client->valid());
    EXPECT_TRUE(f.client->enabled());
    EXPECT_FALSE(f.client->send(as_bytes("C\n")));

    // The next connection starts with an empty queue and works.
    ASSERT_TRUE(f.idle());
    server.close_peer();
    f.owner.connected.clear();
    ASSERT_TRUE(f.connect(server));
    EXPECT_EQ(f.client->unsent(), 0u);
    EXPECT_TRUE(f.client->send(as_bytes("R\n")));
    EXPECT_EQ(server.receive_exactly(2), "R\n");
}

TEST(fault_stops_reading, a_peer_that_reads_late_gets_every_byte_in_order) {
    tcp_fixture_t f;
    test_server_t server(true, 4096);
    ASSERT_TRUE(f.connect(server));
    // Well within the bound, but more than the system buffers take at once,
    // so part of it waits in the queue and leaves in pieces.
    std::string sent;
    for (int i = 0; sent.size() < 200 * 1024; ++i) {
        const std::string command = "command " + std::to_string(i) + "\n";
        ASSERT_TRUE(f.client->send(as_bytes(command)));
        sent += command;
    }
    EXPECT_EQ(server.receive_exactly(sent.size()), sent);
    ASSERT_TRUE(f.pump_until([&] { return f.client->unsent() == 0; }));
    EXPECT_TRUE(f.owner.failed.empty());
}

TEST(fault_reset, a_peer_that_resets_mid_line_loses_only_that_line) {
    tcp_fixture_t f;
    test_server_t server;
    ASSERT_TRUE(f.connect(server));
    f.chunk(server, "whole=1\ngravity={\"x\":1");
    EXPECT_EQ(f.lines(1), lines_t{"whole=1"});
    server.reset_peer();
    ASSERT_TRUE(f.pump_until([&] { return !f.owner.failed.empty(); }));
    EXPECT_EQ(f.owner.failed, std::vector<int>{ECONNRESET});
    EXPECT_FALSE(f.client->valid());

    // What the next connection sends is not glued to the old fragment.
    ASSERT_TRUE(f.idle());
    f.owner.connected.clear();
    ASSERT_TRUE(f.connect(server));
    f.chunk(server, ",\"y\":2}\nnext=2\n");
    EXPECT_EQ(f.lines(2), (lines_t{",\"y\":2}", "next=2"}));
    EXPECT_EQ(f.frames(0), lines_t{});
}

TEST(fault_split, characters_and_lines_cut_at_every_byte_arrive_whole_over_tcp) {
    tcp_fixture_t f;
    test_server_t server;
    ASSERT_TRUE(f.connect(server));
    const std::string line = "t={\"s\":\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8C\xA1\"}";
    const std::string stream = line + "\r\n";
    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
        f.chunk(server, stream.substr(0, cut));
        f.chunk(server, stream.substr(cut));
        EXPECT_EQ(f.lines(1), lines_t{line}) << "cut at " << cut;
    }
    // A keep-alive byte between the two halves of a line.
    f.chunk(server, "k=");
    f.chunk(server, std::string(1, '\0'));
    f.chunk(server, "1\n");
    EXPECT_EQ(f.lines(1), lines_t{"k=1"});
    EXPECT_EQ(f.frames(0), lines_t{}) << "no chunk was taken for binary";
    EXPECT_FALSE(f.client->binary());
    EXPECT_EQ(f.owner.zero_bytes, 0);
}

TEST(fault_long_lines, an_over_long_line_and_its_tail_are_dropped_over_tcp) {
    tcp_fixture_t f;
    test_server_t server;
    ASSERT_TRUE(f.connect(server));
    const std::string junk(67581, 'j');
    std::thread sender([&] { server.send(junk + "gravity={\"x\":0,\"y\":0,\"z\":9.8}\nok\n"); });
    ASSERT_TRUE(f.pump_until([&] { return !f.owner.lines.empty(); }));
    sender.join();
    EXPECT_EQ(f.lines(1), lines_t{"ok"}) << "the junk's tail came back as a line";
    const auto console = f.console.lines();
    ASSERT_EQ(console.size(), 1u);
    EXPECT_EQ(console[0].rfind("tcp_client: dropped an incomplete line of ", 0), 0u) << console[0];
}

}  // namespace
}  // namespace plimsy
