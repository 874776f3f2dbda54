#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

namespace plimsy {

// Seconds; only a bound on waiting in tests, never asserted.
inline constexpr double test_patience = 10.0;

// A listening socket on 127.0.0.1 with an ephemeral port; or, unlistened, a
// port that refuses.
class test_server_t {
public:
    // receive_buffer, when given, keeps the accepted connection's window
    // small, so that a peer that does not read fills up soon.
    explicit test_server_t(bool listening = true, int receive_buffer = 0) {
        listen_fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (receive_buffer > 0)
            ::setsockopt(listen_fd_, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        if (listening) ::listen(listen_fd_, 4);
    }
    ~test_server_t() {
        close_peer();
        ::close(listen_fd_);
    }

    std::uint16_t port() const { return port_; }

    bool accept_peer() {
        pollfd p{listen_fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(test_patience * 1000)) != 1) return false;
        peer_ = ::accept(listen_fd_, nullptr, nullptr);
        return peer_ >= 0;
    }
    void send(std::string_view bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(peer_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += static_cast<std::size_t>(n);
        }
    }
    // What the client wrote, or nothing at end of stream.
    std::string receive() {
        pollfd p{peer_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(test_patience * 1000)) != 1) return "<timeout>";
        char buffer[256];
        const ssize_t n = ::recv(peer_, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }
    // Reads until `size` bytes have come, the stream ends or patience runs out.
    std::string receive_exactly(std::size_t size) {
        std::string out;
        char buffer[65536];
        while (out.size() < size) {
            pollfd p{peer_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(test_patience * 1000)) != 1) break;
            const ssize_t n = ::recv(peer_, buffer, std::min(sizeof buffer, size - out.size()), 0);
            if (n <= 0) break;
            out.append(buffer, static_cast<std::size_t>(n));
        }
        return out;
    }
    // Goes away with a reset, as a crashing bridge or a pulled cable does.
    void reset_peer() {
        if (peer_ < 0) return;
        const linger abort_close{1, 0};
        ::setsockopt(peer_, SOL_SOCKET, SO_LINGER, &abort_close, sizeof abort_close);
        close_peer();
    }
    void close_peer() {
        if (peer_ >= 0) ::close(peer_);
        peer_ = -1;
    }

private:
    int listen_fd_ = -1;
    int peer_ = -1;
    std::uint16_t port_ = 0;
};

}  // namespace plimsy
