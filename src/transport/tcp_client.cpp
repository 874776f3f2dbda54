#include "transport/tcp_client.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <condition_variable>
#include <string_view>

#include "common/text.hpp"
#include "transport/line_reassembler.hpp"

namespace plimsy {

namespace {

#if defined(MSG_NOSIGNAL)
constexpr int send_flags = MSG_NOSIGNAL;  // a peer that has gone gives EPIPE, not SIGPIPE
#else
constexpr int send_flags = 0;  // Apple: SO_NOSIGPIPE is set on the socket instead
#endif

void set_options(int fd) {
    const int one = 1;
    // Commands are a few bytes each and must leave at once.
    (void)::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // The TCP option numbers 0x1022, 4 and 0x200 are only meaningful on Apple
    // hosts; on Linux the same numbers name unrelated options (4 is
    // TCP_KEEPIDLE), so only TCP_NODELAY is set here.
#if defined(__APPLE__)
    (void)::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif
}

void name_thread([[maybe_unused]] const char* name) {
#if defined(__linux__)
    (void)::pthread_setname_np(::pthread_self(), name);
#endif
}

}  // namespace

// Shared with the functions posted to the main queue, which may run after the
// client is gone: they look here before touching it.
struct tcp_client_t::life_t {
    std::mutex mutex;
    std::condition_variable cv;
    bool stopping = false;
};

tcp_client_t::tcp_client_t(tcp_client_delegate_t& delegate, main_queue_t& main, console_t& console,
                           transport_options_t options)
    : delegate_(delegate),
      main_(main),
      console_(console),
      binary_(options.binary),
      force_text_(options.force_text),
      life_(std::make_shared<life_t>()) {
    if (::pipe(wake_) == 0) {
        for (int fd : wake_) {
            (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            (void)::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    }
}

tcp_client_t::~tcp_client_t() {
    {
        std::lock_guard lock(life_->mutex);
        life_->stopping = true;
    }
    // Workers waiting for the main thread (which is here, not pumping) give up.
    life_->cv.notify_all();
    disconnect();
    if (connect_thread_.joinable()) connect_thread_.join();
    // Only now: the connect worker may have been replacing the receive thread.
    if (receive_thread_.joinable()) receive_thread_.join();
    for (int fd : wake_)
        if (fd != -1) (void)::close(fd);
}

bool tcp_client_t::connect(const std::string& host, std::uint16_t port) {
    if (valid_) return true;
    host_ = host;
    port_ = port;
    enabled_ = true;
    link_ = {link_kind_t::connecting, host + ":" + std::to_string(port), {}, false};
    // The worker of an earlier attempt may still be winding up, even after
    // it connected and the user has since disconnected: the request is kept
    // and made as soon as that worker is done, so no click is lost.
    if (connecting_.exchange(true)) {
        ask_again_ = true;
        return false;
    }
    ask_again_ = false;
    // connecting_ is cleared as the last act of the previous worker, so this
    // join returns at once.
    if (connect_thread_.joinable()) connect_thread_.join();
    connect_thread_ = std::thread([this, host, port] {
        name_thread("connect");
        connect_once(host, port);
        connecting_ = false;
        post([this] {
            if (ask_again_ && enabled_ && !valid_) connect(host_, port_);
        });
    });
    return false;
}

void tcp_client_t::disconnect() {
    link_ = {link_kind_t::offline, {}, {}, true};
    {
        std::lock_guard lock(so_mutex_);
        enabled_ = false;
        valid_ = false;
        if (so_ != -1) {
            // Wakes a loop blocked in poll (or aborts a blocking connect);
            // the worker that owns the descriptor closes it once it has let go.
            (void)::shutdown(so_, SHUT_RDWR);
            so_ = -1;
        }
    }
    wake_loop();
}

void tcp_client_t::wake_loop() {
    // Non-blocking: a full pipe already holds a wake-up.
    const char byte = 1;
    if (wake_[1] != -1) (void)!::write(wake_[1], &byte, 1);
}

std::size_t tcp_client_t::unsent() const {
    std::lock_guard lock(out_mutex_);
    return out_pending_;
}

bool tcp_client_t::send(std::span<const std::uint8_t> bytes) {
    if (!valid_ || stalled_) return false;
    std::size_t waiting = 0;
    bool wake = false;
    {
        std::lock_guard lock(out_mutex_);
        waiting = out_pending_;
        if (waiting + bytes.size() <= send_limit) {
            wake = out_.empty();
            out_.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
            out_pending_ += bytes.size();
        }
    }
    if (waiting + bytes.size() <= send_limit) {
        if (wake) wake_loop();
        return true;
    }
    // The peer has not read for a long time. Drop the connection as a lost
    // one: the loop sees the shut-down socket, reports tcp_failed and the
    // owner retries, so a bridge that comes back to life is used again.
    stalled_ = true;
    console_.line("tcp_client: " + host_ + ":" + std::to_string(port_) + " stopped reading (" +
                  std::to_string(waiting) + " bytes waiting to be sent); dropping the connection");
    {
        std::lock_guard lock(so_mutex_);
        if (so_ != -1 && valid_) (void)::shutdown(so_, SHUT_RDWR);
    }
    wake_loop();
    return false;
}

bool tcp_client_t::hand_over(std::function<void()> fn) {
    auto life = life_;
    auto done = std::make_shared<bool>(false);
    main_.post([life, done, fn = std::move(fn)] {
        {
            std::lock_guard lock(life->mutex);
            if (life->stopping) return;
        }
        // The destructor runs on this same thread, so the client stays alive
        // while fn runs.
        fn();
        {
            std::lock_guard lock(life->mutex);
            *done = true;
        }
        life->cv.notify_all();
    });
    std::unique_lock lock(life->mutex);
    life->cv.wait(lock, [&] { return *done || life->stopping; });
    return *done;
}

void tcp_client_t::post(std::function<void()> fn) {
    main_.post([life = life_, fn = std::move(fn)] {
        {
            std::lock_guard lock(life->mutex);
            if (life->stopping) return;
        }
        fn();
    });
}

void tcp_client_t::report_connected(const std::string& host, std::uint16_t port) {
    // A connection the user gave up while it was being handed over is not
    // announced: the toolbar would show a link that is already closed.
    if (!enabled_) return;
    link_ = {link_kind_t::connected, host + ":" + std::to_string(port), {}, false};
    delegate_.tcp_connected(host, port);
}

void tcp_client_t::report_failed(const std::string& host, std::uint16_t port, int error_number) {
    // The user let go of the link while the news was on its way.
    if (!enabled_) return;
    const link_kind_t kind = link_.kind == link_kind_t::connected ? link_kind_t::lost : link_kind_t::failed;
    link_ = {kind, host + ":" + std::to_string(port), tcp_error_text(error_number), false};
    delegate_.tcp_failed(host, port, error_number);
}

void tcp_client_t::connect_once(std::string host, std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (fd < 0) {
        const int error_number = errno;
        hand_over([&] { report_failed(host, port, error_number); });
        return;
    }
    binary_ = false;
    set_options(fd);
    {
        std::lock_guard lock(so_mutex_);
        if (!enabled_) {
            (void)::close(fd);
            return;
        }
        so_ = fd;
    }

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    // Numeric addresses only. A text that is none fails here, without a
    // connection attempt: the classic conversion would give the all-ones
    // broadcast address and send a packet to whatever network that reaches.
    int result = -1;
    int error_number = EDESTADDRREQ;
    if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1) {
        result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        error_number = result == 0 ? 0 : errno;
    }

    if (result == 0) {
        // The previous connection's loop has seen valid_ false and is ending;
        // it must be gone before valid_ turns true again.
        if (receive_thread_.joinable()) receive_thread_.join();
        std::lock_guard lock(so_mutex_);
        if (so_ == fd && enabled_) {
            {
                // Whatever the last connection left unwritten was meant for it.
                std::lock_guard out_lock(out_mutex_);
                out_.clear();
                out_pending_ = 0;
            }
            stalled_ = false;
            valid_ = true;
            // Queued before the loop starts so that the owner hears of the
            // connection before anything the loop hands over.
            post([this, host, port] { report_connected(host, port); });
            receive_thread_ = std::thread([this, fd, host, port] {
                name_thread("task_rx");
                receive_loop(fd, host, port);
            });
            return;
        }
        // Disconnected while connecting, perhaps asked again since.
        error_number = ECONNABORTED;
    }

    {
        std::lock_guard lock(so_mutex_);
        if (so_ == fd) so_ = -1;
    }
    (void)::close(fd);
    if (enabled_) hand_over([&] { report_failed(host, port, error_number); });
}

void tcp_client_t::receive_loop(int fd, std::string host, std::uint16_t port) {
    std::array<std::uint8_t, buffer_size> buffer{};
    line_reassembler_t reassembler(binary_, force_text_);
    std::string sending;  // taken from out_ whole, written from sent_at on
    std::size_t sent_at = 0;
    int loss_error = 0;
    bool lost = false;

    while (valid_ && !lost) {
        if (sent_at == sending.size()) {
            sending.clear();
            sent_at = 0;
            std::lock_guard lock(out_mutex_);
            std::swap(sending, out_);
        }
        pollfd p[2] = {{fd, static_cast<short>(POLLIN | (sending.empty() ? 0 : POLLOUT)), 0},
                       {wake_[0], POLLIN, 0}};
        if (::poll(p, wake_[0] != -1 ? 2 : 1, -1) < 0) {
            if (errno == EINTR) continue;
            loss_error = errno;
            lost = true;
            break;
        }
        if (p[1].revents) {
            char drain[64];
            while (::read(wake_[0], drain, sizeof drain) > 0) {
            }
        }
        if ((p[0].revents & (POLLOUT | POLLERR)) && !sending.empty()) {
            const ssize_t n =
                ::send(fd, sending.data() + sent_at, sending.size() - sent_at, send_flags | MSG_DONTWAIT);
            if (n > 0) {
                sent_at += static_cast<std::size_t>(n);
                std::lock_guard lock(out_mutex_);
                out_pending_ -= static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                loss_error = errno;
                lost = true;
                break;
            }
        }
        if (!(p[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;

        const ssize_t n = ::recv(fd, buffer.data(), buffer_size - 1, MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
        if (n <= 0) {
            // An orderly close by the peer sets no errno; report 0 rather
            // than whatever an earlier call left there.
            loss_error = n < 0 ? errno : 0;
            lost = true;
            break;
        }
        buffer[static_cast<std::size_t>(n)] = 0;
        const std::span<const std::uint8_t> bytes(buffer.data(), static_cast<std::size_t>(n));

        if (!hand_over([&] { delegate_.forward_to_ble(bytes); })) break;

        reassembler.empty_lines = empty_lines_;
        const auto& got = reassembler.feed(bytes);
        binary_ = reassembler.binary();
        if (got.dropped > 0) console_.line(dropped_line_notice("tcp_client", got.dropped));
        if (!got.lines.empty() && !hand_over([&] {
                for (const std::string_view line : got.lines) delegate_.receive_line(line);
            }))
            break;
        if (got.is_frame && !hand_over([&] {
                if (delegate_.receive_arr(got.frame)) delegate_.first_binary_frame();
            }))
            break;
    }

    if (lost) {
        // The peer stopped reading and send() shut the socket down: say why.
        if (stalled_) loss_error = ENOBUFS;
        bool by_user;
        {
            std::lock_guard lock(so_mutex_);
            by_user = !valid_;
            if (!by_user) {
                valid_ = false;
                if (so_ == fd) {
                    (void)::shutdown(fd, SHUT_RDWR);
                    so_ = -1;
                }
            }
        }
        if (by_user) {
            console_.line("tcp_client disconnected " + host + ":" + std::to_string(port));
        } else {
            const std::size_t unsent_bytes = unsent();
            if (unsent_bytes > 0)
                console_.line("tcp_client: " + std::to_string(unsent_bytes) + " bytes to " + host + ":" +
                              std::to_string(port) + " were not sent before the connection was lost");
            post([this, host, port, loss_error] { report_failed(host, port, loss_error); });
        }
    } else if (!valid_) {
        console_.line("tcp_client disconnected " + host + ":" + std::to_string(port));
    }
    // This loop owns the descriptor from the moment it started; nobody else
    // closes it. Forget it under the lock first, so that the main thread can
    // no longer reach it once it is closed and its number is reused.
    {
        std::lock_guard lock(so_mutex_);
        if (so_ == fd) {
            so_ = -1;
            valid_ = false;
        }
    }
    (void)::close(fd);
    // What was queued for this connection will never leave; give its memory back.
    std::lock_guard lock(out_mutex_);
    std::string().swap(out_);
    out_pending_ = 0;
}

}  // namespace plimsy
