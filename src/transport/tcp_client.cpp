#include "transport/tcp_client.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
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

tcp_client_t::tcp_client_t(tcp_client_delegate_t& delegate, receive_line_t& lines, receive_arr_t& frames,
                           main_queue_t& main, console_t& console, bool binary, bool force_text)
    : delegate_(delegate),
      lines_(lines),
      frames_(frames),
      main_(main),
      console_(console),
      binary_(binary),
      force_text_(force_text),
      life_(std::make_shared<life_t>()) {}

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
}

bool tcp_client_t::connect(const std::string& host, std::uint16_t port) {
    if (valid_) return true;
    host_ = host;
    port_ = port;
    enabled_ = true;
    // An attempt still running keeps the new request out; the coordinator
    // retries after a failure anyway.
    if (connecting_.exchange(true)) return false;
    // connecting_ is cleared as the last act of the previous worker, so this
    // join returns at once.
    if (connect_thread_.joinable()) connect_thread_.join();
    connect_thread_ = std::thread([this, host, port] {
        name_thread("connect");
        connect_once(host, port);
        connecting_ = false;
    });
    return false;
}

void tcp_client_t::disconnect() {
    std::lock_guard lock(so_mutex_);
    enabled_ = false;
    valid_ = false;
    if (so_ != -1) {
        // Wakes a loop blocked in recv (or aborts a blocking connect); the
        // worker that owns the descriptor closes it once it has let go.
        (void)::shutdown(so_, SHUT_RDWR);
        so_ = -1;
    }
}

bool tcp_client_t::send(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(so_mutex_);
    if (!valid_ || so_ == -1) return false;
    const ssize_t n = ::send(so_, bytes.data(), bytes.size(), send_flags);
    return n >= 0 && static_cast<std::size_t>(n) == bytes.size();
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

void tcp_client_t::connect_once(std::string host, std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (fd < 0) {
        const int error_number = errno;
        hand_over([&] { delegate_.tcp_failed(host, port, error_number); });
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
    // Numeric addresses only: a name gives the all-ones address and fails.
    address.sin_addr.s_addr = ::inet_addr(host.c_str());
    const int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    int error_number = result == 0 ? 0 : errno;

    if (result == 0) {
        // The previous connection's loop has seen valid_ false and is ending;
        // it must be gone before valid_ turns true again.
        if (receive_thread_.joinable()) receive_thread_.join();
        std::lock_guard lock(so_mutex_);
        if (so_ == fd && enabled_) {
            valid_ = true;
            // Queued before the loop starts so that the owner hears of the
            // connection before anything the loop hands over.
            post([this, host, port] { delegate_.tcp_connected(host, port); });
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
    if (enabled_) hand_over([&] { delegate_.tcp_failed(host, port, error_number); });
}

void tcp_client_t::receive_loop(int fd, std::string host, std::uint16_t port) {
    std::array<std::uint8_t, buffer_size> buffer{};
    line_reassembler_t reassembler;

    while (valid_) {
        const ssize_t n = ::recv(fd, buffer.data(), buffer_size - 1, 0);
        if (n <= 0) {
            // An orderly close by the peer sets no errno; report 0 rather
            // than whatever an earlier call left there.
            const int error_number = n < 0 ? errno : 0;
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
            if (by_user)
                console_.line("tcp_client disconnected " + host + ":" + std::to_string(port));
            else
                post([this, host, port, error_number] { delegate_.tcp_failed(host, port, error_number); });
            break;
        }
        buffer[static_cast<std::size_t>(n)] = 0;
        const std::span<const std::uint8_t> bytes(buffer.data(), static_cast<std::size_t>(n));

        if (!hand_over([&] { delegate_.forward_to_ble(bytes); })) break;

        bool as_frame = true;
        if (force_text_ || !binary_) {
            const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
            if (!valid_utf8(text)) {
                bool binary = binary_;
                binary_check(bytes, binary);
                binary_ = binary;
            } else {
                reassembler.empty_lines = empty_lines_;
                const auto& lines = reassembler.split_lines(text);
                if (reassembler.dropped())
                    console_.line("tcp_client: dropped an incomplete line of " +
                                  std::to_string(reassembler.dropped_size()) + " bytes");
                if (!lines.empty()) {
                    binary_ = false;
                    if (!hand_over([&] {
                            for (const std::string_view line : lines) lines_.receive_line(line);
                        }))
                        break;
                }
                as_frame = binary_;
            }
        }
        if (as_frame && !hand_over([&] {
                if (frames_.receive_arr(bytes)) delegate_.first_binary_frame();
            }))
            break;
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
}

}  // namespace plimsy
