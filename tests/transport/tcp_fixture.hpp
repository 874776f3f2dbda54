#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/console.hpp"
#include "platform/manual_main_queue.hpp"
#include "transport/tcp_client.hpp"
#include "transport/test_server.hpp"

namespace plimsy {

// Plays the coordinator: records what reaches it, on the main thread only.
struct tcp_owner_t : tcp_client_delegate_t {
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

struct tcp_fixture_t {
    explicit tcp_fixture_t(bool force_text = true)
        : client(std::make_unique<tcp_client_t>(owner, queue, console, transport_options_t{.force_text = force_text})) {}

    // Pumps the main queue until done() holds or test_patience runs out.
    bool pump_until(const std::function<bool()>& done) {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::duration<double>(test_patience);
        while (!done()) {
            if (std::chrono::steady_clock::now() > give_up) return false;
            queue.wait_for_work(0.01);
            queue.run_pending();
        }
        return true;
    }
    bool connect(test_server_t& server) {
        const std::size_t before = owner.connected.size();
        EXPECT_FALSE(client->connect("127.0.0.1", server.port()));
        return server.accept_peer() && pump_until([&] { return owner.connected.size() > before; });
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
    tcp_owner_t owner;
    std::unique_ptr<tcp_client_t> client;
};

inline std::span<const std::uint8_t> as_bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Runs fn on a thread of its own. If it has not returned after test_patience
// (it is stuck, which is the fault under test), rescue() must unstick it;
// the answer is then false. Only a bound on waiting, never a measurement.
inline bool returns_in_patience(const std::function<void()>& fn, const std::function<void()>& rescue) {
    auto done = std::async(std::launch::async, fn);
    if (done.wait_for(std::chrono::duration<double>(test_patience)) == std::future_status::ready) return true;
    rescue();
    done.wait();
    return false;
}

}  // namespace plimsy
