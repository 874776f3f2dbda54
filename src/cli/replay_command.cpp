#include "cli/replay_command.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "cli/decode_command.hpp"
#include "common/text.hpp"
#include "session/replay.hpp"

namespace plimsy {

namespace {

const char* replay_usage =
    "usage: plimsy-cli replay [--speed X | --max] [--decode] [--state] [--summary] [--csv DIR]\n"
    "                         [--tcp-serve PORT [--bind HOST]] FILE\n"
    "Plays a capture (plain or zstd-compressed) through the application's processing\n"
    "at its recorded pace, with the outputs of decode. Its times are the clock, its\n"
    "settings are kept in memory: a replay never changes the saved settings.\n"
    "  --speed X        X times the recorded pace (default 1)\n"
    "  --max            as fast as possible\n"
    "  --decode         one JSON object per line, command and action, as decode writes them\n"
    "                   (the default when no other output and no --tcp-serve is asked for)\n"
    "  --state          add to every object \"state\": what the screen shows after it\n"
    "  --summary        write one JSON object at the end: counts and lines per second\n"
    "  --csv DIR        also write the tables of decode --csv into DIR\n"
    "  --tcp-serve PORT serve the recorded board bytes to one TCP client at the recorded\n"
    "                   pace (a captured board in place of a bridge) and print what the\n"
    "                   client sends on standard error; 0 picks a free port\n"
    "  --bind HOST      the numeric IPv4 address --tcp-serve listens on (default 127.0.0.1)\n"
    "Exit status: 0 at the end of the capture; 1 when it cannot be read whole (what\n"
    "came before the damage is replayed) or a table cannot be written; 2 for a bad\n"
    "option; 130 when stopped by Ctrl-C.\n";

struct options_t {
    double speed = 1;
    bool decode = false, state = false, summary = false;
    std::optional<std::string> csv_dir;
    std::optional<std::uint16_t> serve_port;
    std::string bind = "127.0.0.1";
    std::optional<std::string> file;
};

bool parse_double(std::string_view text, double& out) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(out);
}

// 2 and a message for a bad option, -1 to go on, 0 after --help.
int parse_options(int argc, const char* const* argv, options_t& o, std::FILE* out, std::FILE* err) {
    auto bad = [&](const std::string& message) {
        std::fprintf(err, "plimsy-cli replay: %s\n%s", message.c_str(), replay_usage);
        return 2;
    };
    bool speed_given = false, max_given = false;
    for (int i = 0; i < argc; ++i) {
        std::string_view a = argv[i];
        std::optional<std::string_view> value;
        auto take_value = [&](std::string_view name) -> bool {
            if (a.size() > name.size() && a.substr(0, name.size()) == name && a[name.size()] == '=') {
                value = a.substr(name.size() + 1);
                return true;
            }
            if (a != name) return false;
            if (i + 1 < argc) value = argv[++i];
            return true;
        };
        if (a == "--help" || a == "-h") {
            std::fputs(replay_usage, out);
            return 0;
        } else if (a == "--max") {
            max_given = true;
        } else if (a == "--decode") {
            o.decode = true;
        } else if (a == "--state") {
            o.state = true;
        } else if (a == "--summary") {
            o.summary = true;
        } else if (take_value("--speed")) {
            double x = 0;
            if (!value || !parse_double(*value, x) || !(x > 0) || x > 1e6)
                return bad("--speed must be a number above 0 and at most 1000000, not '" +
                           std::string(value.value_or("")) + "'");
            o.speed = x;
            speed_given = true;
        } else if (take_value("--csv")) {
            if (!value || value->empty()) return bad("--csv needs a directory");
            o.csv_dir = std::string(*value);
        } else if (take_value("--tcp-serve")) {
            double port = -1;
            if (!value || !parse_double(*value, port) || port < 0 || port > 65535 || port != std::floor(port))
                return bad("--tcp-serve needs a port from 0 to 65535, not '" + std::string(value.value_or("")) + "'");
            o.serve_port = static_cast<std::uint16_t>(port);
        } else if (take_value("--bind")) {
            in_addr address{};
            if (!value || ::inet_pton(AF_INET, std::string(*value).c_str(), &address) != 1)
                return bad("--bind needs a numeric IPv4 address (127.0.0.1), not '" + std::string(value.value_or("")) +
                           "'");
            o.bind = std::string(*value);
        } else if (a.substr(0, 1) == "-" && a != "-") {
            return bad("unknown option '" + std::string(a) + "'");
        } else if (o.file) {
            return bad("one capture at a time ('" + *o.file + "' and '" + std::string(a) + "')");
        } else {
            o.file = std::string(a);
        }
    }
    if (speed_given && max_given) return bad("--speed and --max together: choose one");
    if (max_given) o.speed = replay_t::max_speed;
    if (!o.file) return bad("which capture? give a FILE");
    if (o.bind != "127.0.0.1" && !o.serve_port) return bad("--bind is for --tcp-serve");
    if (!o.decode && !o.state && !o.summary && !o.csv_dir && !o.serve_port) o.decode = true;
    return -1;
}

std::string seconds_text(double t) { return cformat("%.3f s", t); }

// Hands the board's bytes to a TCP client and reports on the rest.
struct serve_listener_t final : replay_listener_t {
    replay_listener_t* report = nullptr;
    std::string outbox;
    std::uint64_t chunks = 0;

    void session_started(replay_session_t& s) override {
        if (report) report->session_started(s);
    }
    void at(double t) override {
        if (report) report->at(t);
    }
    void rx(std::string_view bytes) override {
        outbox.append(bytes);
        ++chunks;
        if (report) report->rx(bytes);
    }
    void tx(std::string_view bytes) override {
        if (report) report->tx(bytes);
    }
    void action(std::string_view name, const capture_arg_t& arg, const std::string& error) override {
        if (report) report->action(name, arg, error);
    }
    void malformed(std::uint64_t line, const std::string& error) override {
        if (report) report->malformed(line, error);
    }
    void message(const std::string& text) override {
        if (report) report->message(text);
    }
};

// One client of --tcp-serve: what it has not taken yet waits in `outbox`,
// written as the socket takes it, so a slow client never holds the replay.
class tcp_peer_t {
public:
    tcp_peer_t(int fd, std::string name) : fd_(fd), name_(std::move(name)) {
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
    }
    ~tcp_peer_t() { ::close(fd_); }

    const std::string& name() const { return name_; }
    bool closed() const { return closed_; }
    std::uint64_t sent() const { return sent_; }

    // Writes what it can of `outbox` and takes it out; false when the
    // connection failed.
    bool flush(std::string& outbox) {
        std::size_t at = 0;
        while (at < outbox.size()) {
            const ssize_t n = ::send(fd_, outbox.data() + at, outbox.size() - at, MSG_NOSIGNAL);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                closed_ = true;
                error_ = std::strerror(errno);
                break;
            }
            at += static_cast<std::size_t>(n);
        }
        sent_ += at;
        outbox.erase(0, at);
        return !closed_;
    }

    // Waits up to `ms` for what the client sends and prints its lines on
    // `err`; notices the client going away.
    void read(int ms, std::FILE* err) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, ms) != 1) return;
        char buf[4096];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            closed_ = true;
            if (n < 0) error_ = std::strerror(errno);
            return;
        }
        if (n < 0) return;
        // A line per line the client sent; bytes that are not text shown
        // with replacement characters, as everywhere else.
        received_.append(buf, static_cast<std::size_t>(n));
        std::size_t lf;
        while ((lf = received_.find('\n')) != std::string::npos || received_.size() > 4096) {
            const std::size_t end = lf == std::string::npos ? received_.size() : lf;
            std::string line = received_.substr(0, end);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            received_.erase(0, lf == std::string::npos ? end : end + 1);
            std::fprintf(err, "from %s: %s\n", name_.c_str(),
                         (valid_utf8(line) ? line : utf8_with_replacements(line)).c_str());
            std::fflush(err);
        }
    }
    const std::string& error() const { return error_; }

private:
    int fd_;
    std::string name_;
    bool closed_ = false;
    std::string error_;
    std::string received_;
    std::uint64_t sent_ = 0;
};

int listen_on(const std::string& host, std::uint16_t port, std::uint16_t& bound, std::string& error) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 1) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    bound = ntohs(address.sin_port);
    return fd;
}

}  // namespace

int replay_command(int argc, const char* const* argv, std::FILE* out, std::FILE* err, const std::atomic<bool>& stop,
                   const std::function<void(std::uint16_t port)>& on_listening) {
    options_t o;
    if (const int status = parse_options(argc, argv, o, out, err); status >= 0) return status;
    const std::string& file = *o.file;

    const bool reports = o.decode || o.state || o.summary || o.csv_dir;
    capture_report_t report({.summary = !o.decode && !o.state, .state = o.state, .csv_dir = o.csv_dir}, out, err,
                            "plimsy-cli replay");
    if (!report.open_csv()) return 1;
    serve_listener_t serve;
    serve.report = reports ? &report : nullptr;

    replay_options_t ro;
    ro.scan_duration = false;  // one pass from start to end
    ro.console = nullptr;
    ro.listener = o.serve_port ? static_cast<replay_listener_t*>(&serve) : &report;
    // The application's console lines (decoding failures) as decode shows them.
    stdout_console_t console(err);
    if (reports) ro.console = &console;
    std::string error;
    auto r = replay_t::open(capture_file_opener(file), error, ro);
    if (!r) {
        std::fprintf(err, "plimsy-cli replay: %s: %s\n", file.c_str(), error.c_str());
        return 1;
    }
    r->set_speed(o.speed);

    // --tcp-serve: wait for the client before the clock starts.
    int listen_fd = -1;
    std::unique_ptr<tcp_peer_t> peer;
    if (o.serve_port) {
        std::uint16_t port = 0;
        listen_fd = listen_on(o.bind, *o.serve_port, port, error);
        if (listen_fd < 0) {
            std::fprintf(err, "plimsy-cli replay: cannot listen on %s:%u: %s\n", o.bind.c_str(),
                         static_cast<unsigned>(*o.serve_port), error.c_str());
            return 1;
        }
        std::fprintf(err, "serving %s on %s:%u at %s; waiting for a client; Ctrl-C stops\n", file.c_str(),
                     o.bind.c_str(), static_cast<unsigned>(port),
                     std::isinf(o.speed) ? "full speed" : cformat("%gx the recorded pace", o.speed).c_str());
        std::fflush(err);
        if (on_listening) on_listening(port);
        while (!stop.load()) {
            pollfd p{listen_fd, POLLIN, 0};
            if (::poll(&p, 1, 100) != 1) continue;
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const int fd = ::accept4(listen_fd, reinterpret_cast<sockaddr*>(&from), &length, SOCK_CLOEXEC);
            if (fd < 0) continue;
            char host[INET_ADDRSTRLEN] = "?";
            ::inet_ntop(AF_INET, &from.sin_addr, host, sizeof host);
            peer = std::make_unique<tcp_peer_t>(fd, cformat("%s:%u", host, static_cast<unsigned>(ntohs(from.sin_port))));
            std::fprintf(err, "client %s connected; playing from the start\n", peer->name().c_str());
            std::fflush(err);
            break;
        }
        ::close(listen_fd);  // one client per run
    }

    using steady = std::chrono::steady_clock;
    const auto began = steady::now();
    auto last = began;
    r->play();
    bool interrupted = false;
    while (!r->at_end()) {
        if (stop.load()) {
            interrupted = true;
            break;
        }
        const auto now = steady::now();
        r->advance(std::chrono::duration<double>(now - last).count(), 0.05);
        last = now;
        if (peer) {
            if (!peer->flush(serve.outbox) || (peer->read(0, err), peer->closed())) {
                std::fprintf(err, "plimsy-cli replay: the client %s went away at %s of the capture%s%s; stopping\n",
                             peer->name().c_str(), seconds_text(r->position()).c_str(),
                             peer->error().empty() ? "" : ": ", peer->error().c_str());
                break;
            }
            if (serve.outbox.size() > (16u << 20)) {
                std::fprintf(err, "plimsy-cli replay: the client %s stopped reading (16 MiB waiting) at %s of the "
                             "capture; stopping\n", peer->name().c_str(), seconds_text(r->position()).c_str());
                break;
            }
        }
        if (!r->at_end() && !std::isinf(o.speed)) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const double seconds = std::chrono::duration<double>(steady::now() - began).count();

    if (peer && !peer->closed()) {
        // What is still waiting goes out before the end, then the client
        // gets a moment to answer the last bytes.
        const auto deadline = steady::now() + std::chrono::seconds(5);
        while (!serve.outbox.empty() && peer->flush(serve.outbox) && steady::now() < deadline && !stop.load())
            peer->read(5, err);
        for (int i = 0; i < 20 && !peer->closed() && !stop.load(); ++i) peer->read(10, err);
        std::fprintf(err, "sent %llu bytes in %llu chunks to %s\n", static_cast<unsigned long long>(peer->sent()),
                     static_cast<unsigned long long>(serve.chunks), peer->name().c_str());
    }
    // A cut or damaged file: what came before the damage has been replayed;
    // the status says the file was not read whole (as decode's does).
    const bool damaged = r->at_end() && !r->error().empty();
    if (interrupted)
        std::fprintf(err, "plimsy-cli replay: stopped at %s of the capture (Ctrl-C)\n", seconds_text(r->position()).c_str());
    else if (damaged)
        std::fprintf(err, "plimsy-cli replay: %s: replayed up to %s, where reading stopped\n", file.c_str(),
                     seconds_text(r->position()).c_str());
    if (o.summary) std::fprintf(out, "%s\n", report.summary(seconds, &r->player()).c_str());
    std::fflush(out);
    std::fflush(err);
    if (!report.close_csv()) return 1;
    if (o.serve_port && !peer && !interrupted) return 1;
    if (interrupted) return 130;
    return damaged ? 1 : 0;
}

}  // namespace plimsy
