#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
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
#include "transport/tcp_client.hpp"
#include "transport/test_server.hpp"

namespace plimsy {
namespace {

constexpr double patience = 10.0;  // seconds; only a bound on waiting, never asserted

// True when the receive worker sits in recv: the only way to know that a
// disconnect finds it blocked there rather than between two chunks.
bool receive_worker_in_recv() {
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::string name;
        std::getline(std::ifstream(task.path() / "comm"), name);
        if (name != "task_rx") continue;
        long number = -1;
        std::ifstream(task.path() / "syscall") >> number;
        return number == SYS_recvfrom;
    }
    return false;
}

// Plays the coordinator: records what reaches it, on the main thread only.
struct owner_t : tcp_client_delegate_t, receive_line_t, receive_arr_t {
    void tcp_connected(const std::string& host, std::uint16_t port) override {
        connected.push_back(host + ":" + std::to_string(port));
    }
    void tcp_failed(const std::string&, std::uint16_t, int error_number) override { failed.push_back(error_number); }
    void forward_to_ble(std::span<const std::uint8_t> bytes) override {
        chunks.emplace_back(bytes.begin(), bytes.end());
    }
    void first_binary_frame() override { ++zero_bytes; }
    void receive_line(std::string_view line) override {
        lines.emplace_back(line);
        after_text = true;
    }
    bool receive_arr(std::span<const std::uint8_t> bytes) override {
        frames.emplace_back(bytes.begin(), bytes.end());
        const bool first = after_text;
        after_text = false;
        return first;
    }

    std::vector<std::string> connected;
    std::vector<int> failed;
    std::vector<std::string> chunks;
    std::vector<std::string> lines;
    std::vector<std::string> frames;
    int zero_bytes = 0;
    bool after_text = true;
};

struct fixture_t {
    explicit fixture_t(bool force_text = true)
        : client(std::make_unique<tcp_client_t>(owner, owner, owner, queue, console, false, force_text)) {}

    // Pumps the main queue until done() holds or patience runs out.
    bool pump_until(const std::function<bool()>& done) {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::duration<double>(patience);
        while (!done()) {
            if (std::chrono::steady_clock::now() > give_up) return false;
            queue.wait_for_work(0.01);
            queue.run_pending();
        }
        return true;
    }
    bool connect(test_server_t& server) {
        EXPECT_FALSE(client->connect("127.0.0.1", server.port()));
        return server.accept_peer() && pump_until([&] { return !owner.connected.empty(); });
    }
    // Sends one chunk and waits until the client has read it, so that the
    // next one arrives as a chunk of its own.
    void chunk(test_server_t& server, std::string_view bytes) {
        const std::size_t before = owner.chunks.size();
        server.send(bytes);
        ASSERT_TRUE(pump_until([&] { return owner.chunks.size() > before; })) << "chunk " << bytes;
    }
    // What a chunk produced arrives after its forwarding: wait for as many as
    // expected. A chunk that should produce nothing is checked by the next
    // expectation, which would see its stray output.
    std::vector<std::string> lines(std::size_t count) {
        pump_until([&] { return owner.lines.size() >= count; });
        return std::exchange(owner.lines, {});
    }
    std::vector<std::string> frames(std::size_t count) {
        pump_until([&] { return owner.frames.size() >= count; });
        return std::exchange(owner.frames, {});
    }
    // An attempt counts as running until its failure has been handled.
    bool idle() {
        return pump_until([&] { return !client->connecting(); });
    }

    manual_clock_t clock;
    manual_main_queue_t queue{clock};
    captured_console_t console;
    owner_t owner;
    std::unique_ptr<tcp_client_t> client;
};

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
    f.chunk(server, "\xC3");  // half of a two-byte character
    EXPECT_EQ(f.frames(1), lines_t{"\xC3"});
    EXPECT_TRUE(f.client->binary());
    EXPECT_EQ(f.owner.zero_bytes, 2) << "first frame after text";
    f.chunk(server, "\xA9z");
    EXPECT_EQ(f.frames(1), lines_t{"\xA9z"});
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
    {
        test_server_t refusing(false);
        EXPECT_FALSE(f.client->connect("127.0.0.1", refusing.port()));
        ASSERT_TRUE(f.pump_until([&] { return !f.owner.failed.empty(); }));
    }
    EXPECT_EQ(f.owner.failed, std::vector<int>{ECONNREFUSED});
    EXPECT_TRUE(f.client->enabled()) << "the owner retries while enabled";
    EXPECT_FALSE(f.client->valid());

    // Names are not looked up.
    test_server_t server;
    f.owner.failed.clear();
    ASSERT_TRUE(f.idle());
    EXPECT_FALSE(f.client->connect("localhost", server.port()));
    ASSERT_TRUE(f.pump_until([&] { return !f.owner.failed.empty(); }));
    EXPECT_NE(f.owner.failed[0], 0);
    EXPECT_TRUE(f.owner.connected.empty());

    // The peer goes away.
    f.owner.failed.clear();
    ASSERT_TRUE(f.idle());
    ASSERT_TRUE(f.connect(server));
    server.close_peer();
    ASSERT_TRUE(f.pump_until([&] { return !f.owner.failed.empty(); }));
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

TEST(tcp_client, disconnect_ends_a_loop_blocked_in_recv_without_failure) {
    fixture_t f;
    test_server_t server;
    ASSERT_TRUE(f.connect(server));
    const std::string command = "C\n";
    EXPECT_TRUE(f.client->send({reinterpret_cast<const std::uint8_t*>(command.data()), command.size()}));
    EXPECT_EQ(server.receive(), "C\n");

    ASSERT_TRUE(f.pump_until(receive_worker_in_recv));
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
    f.client->disconnect();  // twice is harmless
}

TEST(tcp_client, send_to_a_closed_peer_fails_without_a_signal) {
    fixture_t f;
    test_server_t server;
    ASSERT_TRUE(f.connect(server));
    // Hold the loop in its hand-over so the client still counts as connected
    // while the peer goes away.
    server.send("x");
    ASSERT_TRUE(f.queue.wait_for_work(patience));
    server.close_peer();
    EXPECT_TRUE(f.client->valid());

    const std::string bytes = "C\n";
    const std::span<const std::uint8_t> command(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    bool failed = false;
    // The first write may still be accepted; the peer's reset makes a later one fail.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::duration<double>(patience);
    while (!failed && std::chrono::steady_clock::now() < give_up) {
        failed = !f.client->send(command);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(failed);
    ASSERT_TRUE(f.pump_until([&] { return !f.owner.failed.empty(); }));
    EXPECT_FALSE(f.client->valid());
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
