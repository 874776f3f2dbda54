#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/console.hpp"
#include "platform/manual_main_queue.hpp"
#include "transport/link_print.hpp"
#include "transport/tcp_client.hpp"
#include "transport/tcp_fixture.hpp"
#include "transport/test_server.hpp"

namespace plimsy {
namespace {

constexpr double patience = test_patience;
using fixture_t = tcp_fixture_t;

// True when the connection's worker sits waiting for the socket: the only
// way to know that a disconnect finds it blocked there rather than between
// two chunks.
bool receive_worker_waiting() {
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::string name;
        std::getline(std::ifstream(task.path() / "comm"), name);
        if (name != "task_rx") continue;
        long number = -1;
        std::ifstream(task.path() / "syscall") >> number;
#ifdef SYS_poll
        if (number == SYS_poll) return true;
#endif
        return number == SYS_ppoll;
    }
    return false;
}

using lines_t = std::vector<std::string>;

TEST(tcp_client, cuts_lines_across_chunks_and_forwards_every_chunk) {
    fixture_t f;
    test_server_t server;
    ASSERT_TRUE(f.connect(server));
    EXPECT_EQ(f.owner.connected, lines_t{"127.0.0.1:" + std::to_string(server.port())});
    EXPECT_TRUE(f.client->valid());
    EXPECT_TRUE(f.client->enabled());
    EXPECT_TRUE(f.client->connect("127.0.0.1", server.port())) << "already connected";

    f.chunk(server, "abc");
    f.chunk(server, "def\n");
    EXPECT_EQ(f.lines(1), lines_t{"abcdef"});
    f.chunk(server, "a\r\nb\r\n");
    EXPECT_EQ(f.lines(2), (lines_t{"a", "b"}));
    f.chunk(server, "a\rb\n");
    EXPECT_EQ(f.lines(1), lines_t{"ab"});
    f.chunk(server, "x\r");
    EXPECT_EQ(f.lines(1), lines_t{"x"}) << "a CR that ends the chunk ends the line at once";
    f.chunk(server, "\n");
    f.chunk(server, "a\n\nb\n");
    EXPECT_EQ(f.lines(2), (lines_t{"a", "b"}));

    f.client->set_empty_lines(true);
    f.chunk(server, "a\n\nb\n");
    EXPECT_EQ(f.lines(3), (lines_t{"a", "", "b"}));
    f.chunk(server, "y\r");
    f.chunk(server, "\n");
    EXPECT_EQ(f.lines(2), (lines_t{"y", ""}));
    f.chunk(server, "end\n");
    EXPECT_EQ(f.lines(1), lines_t{"end"});

    EXPECT_EQ(f.owner.chunks, (lines_t{"abc", "def\n", "a\r\nb\r\n", "a\rb\n", "x\r", "\n", "a\n\nb\n", "a\n\nb\n",
                                       "y\r", "\n", "end\n"}));
    EXPECT_EQ(f.frames(0), lines_t{});
    EXPECT_FALSE(f.client->binary());
}

TEST(tcp_client, invalid_text_switches_to_binary_frames_and_text_brings_it_back) {
    fixture_t f;
    test_server_t server;
    ASSERT_TRUE(f.connect(server));

    f.chunk(server, "\xFF");
    EXPECT_EQ(f.frames(1), lines_t{"\xFF"});
    EXPECT_FALSE(f.client->binary()) << "keep-alive byte";
    EXPECT_EQ(f.owner.zero_bytes, 1) << "first frame after connecting";

    f.chunk(server, "t\n");
    f.chunk(server, "\xA9");  // a continuation byte without its start
    EXPECT_EQ(f.frames(1), lines_t{"\xA9"});
    EXPECT_TRUE(f.client->binary());
    EXPECT_EQ(f.owner.zero_bytes, 2) << "first frame after text";
    // While binary, a character's start is a frame at once (text that
    // completes no line is); the chunk that fails to complete it is one
    // too, without repeating it.
    f.chunk(server, "\xC3");
    f.chunk(server, "z");
    EXPECT_EQ(f.frames(2), (lines_t{"\xC3", "z"}));
    EXPECT_EQ(f.owner.zero_bytes, 2) << "only the first frame after text";

    // A text chunk that completes no line is still a frame while binary.
    f.chunk(server, "par");
    EXPECT_EQ(f.frames(1), lines_t{"par"});
    f.chunk(server, "tial\n");
    EXPECT_EQ(f.lines(2), (lines_t{"t", "partial"}));
    EXPECT_FALSE(f.client->binary());
    EXPECT_EQ(f.frames(0), lines_t{});

    // Without force_text, binary mode sticks until the next connection.
    fixture_t g(false);
    test_server_t other;
    ASSERT_TRUE(g.connect(other));
    g.chunk(other, "\xFE");
    g.chunk(other, "ok\n");
    EXPECT_EQ(g.frames(2), (lines_t{"\xFE", "ok\n"}));
    EXPECT_EQ(g.lines(0), lines_t{});
    EXPECT_TRUE(g.client->binary());
}

TEST(tcp_client, failed_attempts_and_lost_connections_reach_tcp_failed) {
    fixture_t f;
    EXPECT_EQ(f.client->link(), link_state_t{});
    std::string refused_at;
    {
        test_server_t refusing(false);
        refused_at = "127.0.0.1:" + std::to_string(refusing.port());
        EXPECT_FALSE(f.client->connect("127.0.0.1", refusing.port()));
        EXPECT_EQ(f.client->link(), (link_state_t{link_kind_t::connecting, refused_at, "", false}));
        ASSERT_TRUE(f.pump_until([&] { return !f.owner.failed.empty(); }));
    }
    EXPECT_EQ(f.owner.failed, std::vector<int>{ECONNREFUSED});
    EXPECT_EQ(f.client->link(), (link_state_t{link_kind_t::failed, refused_at, std::strerror(ECONNREFUSED), false}));
    EXPECT_TRUE(f.client->enabled()) << "the owner retries while enabled";
    EXPECT_FALSE(f.client->valid());

    // Names are not looked up, and a text that is no address is not turned
    // into one: the attempt fails before any packet could leave.
    test_server_t server;
    for (const char* host : {"localhost", "127.0.0.1.", "not an address"}) {
        f.owner.failed.clear();
        ASSERT_TRUE(f.idle());
        EXPECT_FALSE(f.client->connect(host, server.port()));
        ASSERT_TRUE(f.pump_until([&] { return !f.owner.failed.empty(); }));
        EXPECT_EQ(f.owner.failed[0], EDESTADDRREQ) << host;
        EXPECT_EQ(f.client->link().kind, link_kind_t::failed) << host;
    }
    EXPECT_TRUE(f.owner.connected.empty());

    // The peer goes away.
    f.owner.failed.clear();
    ASSERT_TRUE(f.idle());
    ASSERT_TRUE(f.connect(server));
    const std::string where = "127.0.0.1:" + std::to_string(server.port());
    EXPECT_EQ(f.client->link(), (link_state_t{link_kind_t::connected, where, "", false}));
    server.close_peer();
    ASSERT_TRUE(f.pump_until([&] { return !f.owner.failed.empty(); }));
    EXPECT_EQ(f.client->link(), (link_state_t{link_kind_t::lost, where, "Connection closed by peer", false}));
    EXPECT_FALSE(f.client->valid());
    EXPECT_TRUE(f.client->enabled());
    EXPECT_FALSE(f.client->send(std::span<const std::uint8_t>()));

    // And a retry connects again, once the thread that made the lost
    // connection has ended: it reports the connection before it ends, and
    // a request while it still runs is refused (the coordinator retries on
    // its timer).
    f.owner.connected.clear();
    ASSERT_TRUE(f.idle());
    ASSERT_TRUE(f.connect(server));
    f.chunk(server, "again\n");
    EXPECT_EQ(f.lines(1), lines_t{"again"});
    EXPECT_TRUE(f.console.lines().empty());
}

TEST(tcp_client, disconnect_ends_a_loop_waiting_for_the_peer_without_failure) {
    fixture_t f;
    test_server_t server;
    ASSERT_TRUE(f.connect(server));
    const std::string command = "C\n";
    EXPECT_TRUE(f.client->send({reinterpret_cast<const std::uint8_t*>(command.data()), command.size()}));
    EXPECT_EQ(server.receive(), "C\n");

    ASSERT_TRUE(f.pump_until(receive_worker_waiting));
    f.client->disconnect();
    EXPECT_FALSE(f.client->enabled());
    EXPECT_FALSE(f.client->valid());
    EXPECT_FALSE(f.client->send({reinterpret_cast<const std::uint8_t*>(command.data()), command.size()}));
    const std::string expected = "tcp_client disconnected 127.0.0.1:" + std::to_string(server.port());
    ASSERT_TRUE(f.pump_until([&] { return !f.console.lines().empty(); }));
    EXPECT_EQ(f.console.lines(), lines_t{expected});
    EXPECT_EQ(server.receive(), "") << "the peer sees the end of the stream";
    f.queue.run_pending();
    EXPECT_TRUE(f.owner.failed.empty());
    EXPECT_EQ(f.client->link(), (link_state_t{link_kind_t::offline, "", "", true}));
    f.client->disconnect();  // twice is harmless
}

// News of an attempt that the main thread has not yet taken when the user
// disconnects must not bring the link back: neither a refusal (a red error
// and a retry the user did not ask for) nor a connection (a link shown up
// that is already closed).
TEST(tcp_client, news_that_arrives_after_the_user_disconnected_is_dropped) {
    {
        fixture_t f;
        test_server_t refusing(false);
        EXPECT_FALSE(f.client->connect("127.0.0.1", refusing.port()));
        // The attempt's worker now waits for the main thread to take its failure.
        ASSERT_TRUE(f.queue.wait_for_work(patience));
        f.client->disconnect();
        ASSERT_TRUE(f.idle());
        EXPECT_TRUE(f.owner.failed.empty());
        EXPECT_EQ(f.client->link(), (link_state_t{link_kind_t::offline, "", "", true}));
    }
    {
        fixture_t f;
        test_server_t server;
        EXPECT_FALSE(f.client->connect("127.0.0.1", server.port()));
        ASSERT_TRUE(server.accept_peer());
        ASSERT_TRUE(f.queue.wait_for_work(patience));  // the connection, not yet announced
        f.client->disconnect();
        ASSERT_TRUE(f.idle());
        f.queue.run_pending();
        EXPECT_TRUE(f.owner.connected.empty());
        EXPECT_TRUE(f.owner.failed.empty());
        EXPECT_EQ(f.client->link(), (link_state_t{link_kind_t::offline, "", "", true}));
        EXPECT_EQ(server.receive(), "") << "the peer sees the end of the stream";
    }
}

TEST(tcp_client, writing_to_a_closed_peer_ends_the_connection_without_a_signal) {
    fixture_t f;
    test_server_t server;
    ASSERT_TRUE(f.connect(server));
    // Hold the loop in its hand-over so the client still counts as connected
    // while the peer goes away, and queue commands meanwhile.
    server.send("x");
    ASSERT_TRUE(f.queue.wait_for_work(patience));
    server.close_peer();
    EXPECT_TRUE(f.client->valid());
    for (int i = 0; i < 100; ++i) EXPECT_TRUE(f.client->send(as_bytes("C\n")));

    // The loop writes them into a closed connection: an error, not SIGPIPE.
    ASSERT_TRUE(f.pump_until([&] { return !f.owner.failed.empty(); }));
    EXPECT_FALSE(f.client->valid());
    EXPECT_FALSE(f.client->send(as_bytes("C\n")));
}

TEST(tcp_client, an_endless_line_is_dropped_with_a_console_line) {
    fixture_t f;
    test_server_t server;
    ASSERT_TRUE(f.connect(server));
    const std::string endless(70 * 1024, 'x');
    std::thread sender([&] { server.send(endless + "\nok\n"); });
    ASSERT_TRUE(f.pump_until([&] { return !f.owner.lines.empty() && f.owner.lines.back() == "ok"; }));
    sender.join();

    const lines_t console = f.console.lines();
    ASSERT_EQ(console.size(), 1u);
    EXPECT_EQ(console[0].rfind("tcp_client: dropped an incomplete line of ", 0), 0u) << console[0];
    std::size_t longest = 0;
    for (const auto& line : f.owner.lines) longest = std::max(longest, line.size());
    EXPECT_LT(longest, endless.size()) << "the start of the line is gone";
    std::string forwarded;
    for (const auto& chunk : f.owner.chunks) {
        EXPECT_LE(chunk.size(), tcp_client_t::buffer_size - 1);
        forwarded += chunk;
    }
    EXPECT_EQ(forwarded, endless + "\nok\n") << "the bridge still sees every byte";
}

TEST(tcp_client, destroying_the_client_abandons_pending_hand_overs) {
    fixture_t f;
    test_server_t server;
    ASSERT_TRUE(f.connect(server));
    server.send("late\n");
    ASSERT_TRUE(f.queue.wait_for_work(patience));  // the loop now waits for the main thread
    f.client.reset();                              // must not wait for a pump that never comes
    f.queue.run_pending();
    EXPECT_TRUE(f.owner.chunks.empty());
    EXPECT_TRUE(f.owner.lines.empty());
    EXPECT_TRUE(f.owner.failed.empty());
}

}  // namespace
}  // namespace plimsy
