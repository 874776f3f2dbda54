#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "model/device_model.hpp"

namespace plimsy {

// Serves a simulated board on 127.0.0.1 over TCP: every client that connects
// gets its own board of the given kind, streaming at the given rate, and the
// bytes a client sends are that board's commands. What the bench and
// "plimsy-cli simulate" stand a real bridge in with.
class board_server_t {
public:
    struct options_t {
        device_model_t kind = device_model_t::compass_gravity;
        std::uint16_t port = 8081;  // 0 picks a free port
        double rate = 50.0;         // lines per second per client
        // Send as fast as the client reads, ignoring `rate` (throughput runs);
        // each client then gets `flood_lines` lines and the server closes it.
        bool flood = false;
        std::uint64_t flood_lines = 0;
    };

    // `on_command(peer, character)` is called on the server thread for every
    // command a client sends.
    using command_handler_t = std::function<void(const std::string& peer, char command)>;

    board_server_t(options_t options, command_handler_t on_command = {});
    ~board_server_t();
    board_server_t(const board_server_t&) = delete;
    board_server_t& operator=(const board_server_t&) = delete;

    // Binds and listens, then serves on a thread of its own. On failure
    // returns false and sets `error` to what went wrong.
    bool start(std::string& error);
    void stop();

    std::uint16_t port() const { return port_; }
    std::uint64_t clients_served() const { return clients_served_.load(); }

private:
    void serve();

    options_t options_;
    command_handler_t on_command_;
    int listen_fd_ = -1;
    int wake_pipe_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<std::uint64_t> clients_served_{0};
    std::thread thread_;
};

}  // namespace plimsy
