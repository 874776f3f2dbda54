#include "sim/board_server.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/clock.hpp"
#include "sim/simulated_board.hpp"

namespace plimsy {

namespace {

struct client_t {
    int fd = -1;
    std::string peer;
    std::unique_ptr<simulated_board_t> board;
    std::string pending;  // bytes not yet accepted by the socket
    std::size_t sent = 0;
    std::uint64_t lines = 0;
    std::vector<std::string> batch;
    bool done = false;
};

std::string peer_name(const sockaddr_in& a) {
    char ip[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a.sin_addr, ip, sizeof ip);
    return std::string(ip) + ":" + std::to_string(ntohs(a.sin_port));
}

// Refills a paced client's send buffer with the lines that are due.
void refill(client_t& c) {
    if (c.sent < c.pending.size()) return;
    c.pending.clear();
    c.sent = 0;
    c.batch.clear();
    c.board->due_lines(c.batch);
    for (auto& line : c.batch) c.pending += line;
    c.lines += c.batch.size();
}

// A flood client replays a block of lines made once, so a throughput run
// measures the receiving side and not the line generator.
void refill_flood(client_t& c, const std::string& block, std::uint64_t block_lines, std::uint64_t limit) {
    if (c.sent < c.pending.size() || c.done) return;
    c.sent = 0;
    if (limit && c.lines + block_lines > limit) {
        // The last, partial block: cut it after the right number of lines.
        std::size_t pos = 0;
        for (std::uint64_t k = c.lines; k < limit; ++k) pos = block.find('\n', pos) + 1;
        c.pending.assign(block, 0, pos);
        c.lines = limit;
    } else {
        c.pending = block;
        c.lines += block_lines;
    }
    if (limit && c.lines >= limit) c.done = true;
}

}  // namespace

board_server_t::board_server_t(options_t options, command_handler_t on_command)
    : options_(options), on_command_(std::move(on_command)) {}

board_server_t::~board_server_t() { stop(); }

bool board_server_t::start(std::string& error) {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listen_fd_ < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    int one = 1;
    ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(options_.port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 || ::listen(listen_fd_, 8) < 0) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(options_.port) + ": " + std::strerror(errno);
        ::close(listen_fd_);
        listen_fd_ = -1;
        return false;
    }
    socklen_t len = sizeof addr;
    ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    if (::pipe(wake_pipe_) < 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        ::close(listen_fd_);
        listen_fd_ = -1;
        return false;
    }
    stopping_ = false;
    thread_ = std::thread([this] { serve(); });
    return true;
}

void board_server_t::stop() {
    if (thread_.joinable()) {
        stopping_ = true;
        const char b = 1;
        [[maybe_unused]] auto n = ::write(wake_pipe_[1], &b, 1);
        thread_.join();
    }
    for (int& fd : {std::ref(listen_fd_), std::ref(wake_pipe_[0]), std::ref(wake_pipe_[1])}) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

void board_server_t::serve() {
    std::vector<std::unique_ptr<client_t>> clients;
    std::uint32_t seed = 1;
    std::vector<pollfd> fds;
    char buf[512];

    std::string flood_block;
    std::uint64_t flood_block_lines = 0;
    if (options_.flood) {
        manual_clock_t clock(system_clock_t::instance().now());
        simulated_board_t board(options_.kind, clock, 10000.0, 1);
        std::vector<std::string> lines;
        while (lines.size() < 20000) {
            clock.advance(0.5);
            board.due_lines(lines);
        }
        for (auto& l : lines) flood_block += l;
        flood_block_lines = lines.size();
    }

    while (!stopping_) {
        fds.clear();
        fds.push_back({listen_fd_, POLLIN, 0});
        fds.push_back({wake_pipe_[0], POLLIN, 0});
        for (auto& c : clients) {
            if (options_.flood)
                refill_flood(*c, flood_block, flood_block_lines, options_.flood_lines);
            else
                refill(*c);
            short events = POLLIN;
            if (c->sent < c->pending.size()) events |= POLLOUT;
            fds.push_back({c->fd, events, 0});
        }
        // Paced clients wake every few milliseconds for their next lines.
        const int timeout_ms = options_.flood ? 50 : 5;
        if (::poll(fds.data(), fds.size(), timeout_ms) < 0 && errno != EINTR) break;

        // Only the clients that were polled have results; one accepted below
        // waits for the next round.
        const std::size_t polled = clients.size();
        if (fds[0].revents & POLLIN) {
            sockaddr_in peer{};
            socklen_t len = sizeof peer;
            const int fd = ::accept(listen_fd_, reinterpret_cast<sockaddr*>(&peer), &len);
            if (fd >= 0) {
                int one = 1;
                ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
                auto c = std::make_unique<client_t>();
                c->fd = fd;
                c->peer = peer_name(peer);
                c->board = std::make_unique<simulated_board_t>(options_.kind, system_clock_t::instance(),
                                                               options_.rate, seed++);
                clients.push_back(std::move(c));
                ++clients_served_;
            }
        }

        for (std::size_t i = 0; i < polled; ++i) {
            client_t& c = *clients[i];
            const short rev = fds[i + 2].revents;
            bool closed = false;
            if (rev & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
                if (n <= 0) {
                    closed = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
                } else {
                    for (ssize_t k = 0; k < n; ++k) {
                        const char ch = buf[k];
                        if (ch != '\r' && ch != '\n' && ch != '\0' && on_command_) on_command_(c.peer, ch);
                    }
                    c.board->command(std::string_view(buf, static_cast<std::size_t>(n)));
                }
            }
            if (!closed && (rev & POLLOUT)) {
                const ssize_t n = ::send(c.fd, c.pending.data() + c.sent, c.pending.size() - c.sent, MSG_NOSIGNAL);
                if (n > 0)
                    c.sent += static_cast<std::size_t>(n);
                else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                    closed = true;
            }
            if (c.done && c.sent >= c.pending.size()) closed = true;
            if (closed) c.fd = (::close(c.fd), -1);
        }
        std::erase_if(clients, [](const auto& c) { return c->fd < 0; });
    }
    for (auto& c : clients) ::close(c->fd);
}

}  // namespace plimsy
