#include "cli/connect_command.hpp"

#include <poll.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "cli/decode_command.hpp"
#include "cli/link_options.hpp"
#include "config/config_connection.hpp"
#include "platform/event_loop.hpp"
#include "session/session.hpp"
#include "transport/line_reassembler.hpp"

namespace plimsy {

namespace {

const char* connect_usage_head =
    "usage: plimsy-cli connect [--tcp HOST:PORT] [--ble NAME] [--serial PORT[:BAUD]]\n"
    "                          [--simulate [BOARD]]\n"
    "                          [--decode] [--summary] [--seconds N]\n"
    "Connects to a board over TCP (through a bridge), over BLE, on a serial port, or\n"
    "a board (BLE or serial) and TCP at once (bridge mode: raw bytes are relayed\n"
    "between the board and the TCP peer).\n"
    "Every line read from standard input is sent to the board as a command with\n"
    "a line feed added; lines read before the first connection wait up to 10 s\n"
    "for it. A command that no connection takes is reported on standard error.\n"
    "The run ends at the end of standard input (once its commands are sent or\n"
    "reported) or on Ctrl-C. Console lines go to standard error.\n"
    ;
const char* connect_usage_tail =
    "  --decode           one JSON object per received line on standard output,\n"
    "                     as 'plimsy-cli decode' writes them\n"
    "  --summary          one JSON object at the end: counts, bytes, lines per second\n"
    "  --seconds N        stop after N seconds (standard input is then only read\n"
    "                     for commands; its end does not stop the run)\n";

std::string connect_usage() { return std::string(connect_usage_head) + link_options_usage + connect_usage_tail; }

struct options_t : link_options_t {
    bool decode = false;
    bool summary = false;
    double seconds = 0;
};

// Parses the arguments; on a mistake writes why to `err` and returns false.
bool parse(int argc, const char* const* argv, options_t& o, std::FILE* err) {
    auto fail = [&](const std::string& why) {
        std::fprintf(err, "plimsy-cli connect: %s\n%s", why.c_str(), connect_usage().c_str());
        return false;
    };
    std::string why;
    for (int i = 0; i < argc; ++i) {
        const std::string_view a = argv[i];
        const bool has_value = i + 1 < argc && argv[i + 1][0] != '-';
        if (const auto link = parse_link_option(argc, argv, i, o, why); link != link_option_t::not_mine) {
            if (link == link_option_t::bad) return fail(why);
        } else if (a == "--decode") {
            o.decode = true;
        } else if (a == "--summary") {
            o.summary = true;
        } else if (a == "--seconds") {
            if (!has_value) return fail("--seconds needs a number");
            const std::string_view v = argv[++i];
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), o.seconds);
            if (ec != std::errc() || end != v.data() + v.size() || !(o.seconds > 0))
                return fail("invalid --seconds '" + std::string(v) + "'");
        } else {
            return fail("unknown option '" + std::string(a) + "'");
        }
    }
    if (!check_link_options(o, why)) return fail(why);
    return true;
}

}  // namespace

int connect_command(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err,
                    const std::atomic<bool>& stop) {
    for (int i = 0; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--help" || std::string_view(argv[i]) == "-h") {
            std::fputs(connect_usage().c_str(), out);
            return 0;
        }
    }
    options_t o;
    if (!parse(argc, argv, o, err)) return 2;

    // The board's radio decides the event loop: Qt's for real Bluetooth and
    // serial ports, the portable one otherwise.
    link_host_t host(o, err);
    main_queue_t& loop = host.main();
    console_t& console = host.console();
    auto quit_loop = [&] { host.quit(); };
    session_t session(host.services(), host.session_options());
    line_report_t report(session.pipeline(), [&](const std::string& json) {
        if (!o.decode) return;
        std::fwrite(json.data(), 1, json.size(), out);
        std::fputc('\n', out);
        std::fflush(out);
    });

    // Commands from standard input, read by a thread of its own so that the
    // main thread never waits for the pipe. Lines go through the same line
    // rule as the transports, with a limit fit for a command; the thread
    // waits while `inbox_limit` commands are not yet taken, so a fast
    // producer cannot pile them up.
    constexpr std::size_t max_command = 4096;
    constexpr std::size_t inbox_limit = 64;
    constexpr std::size_t held_limit = 256;
    // Commands read before the first connection wait this long for one:
    // `echo C | plimsy-cli connect ...` should deliver C once connected, but
    // not keep a run whose input has ended alive for ever.
    constexpr double hold_seconds = 10.0;
    // After the end of input, how long queued commands may take to leave.
    constexpr double drain_seconds = 5.0;

    std::mutex inbox_mutex;
    std::condition_variable inbox_room;
    std::deque<std::string> inbox;
    bool input_done = false;  // guarded by inbox_mutex
    std::atomic<bool> quitting{false};

    const auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    bool ever_connected = false;
    std::deque<std::pair<std::string, double>> held;  // command, when it was read
    bool all_handed = false;
    auto send = [&](const std::string& command) { session.send(command + "\n"); };

    // On the main thread: takes what the reader has, and sends it or holds
    // it. Before the first connection commands wait for it (a while); after
    // it they go at once, and one that no link takes is reported.
    std::function<void()> pass_commands = [&] {
        if (session.link_up()) ever_connected = true;
        bool inbox_empty, ended;
        {
            std::lock_guard lock(inbox_mutex);
            while (!inbox.empty() && held.size() < held_limit) {
                held.emplace_back(std::move(inbox.front()), elapsed());
                inbox.pop_front();
            }
            inbox_empty = inbox.empty();
            ended = input_done;
        }
        inbox_room.notify_all();
        while (!held.empty() && (ever_connected || elapsed() - held.front().second >= hold_seconds)) {
            send(held.front().first);
            held.pop_front();
        }
        all_handed = ended && inbox_empty && held.empty();
    };

    std::thread input([&] {
        line_reassembler_t lines(false, true, max_command);
        std::vector<char> buf(64 * 1024);
        const int fd = fileno(in);
        auto deliver = [&](std::string_view line) {
            std::unique_lock lock(inbox_mutex);
            while (inbox.size() >= inbox_limit && !quitting) inbox_room.wait_for(lock, std::chrono::milliseconds(100));
            inbox.emplace_back(line);
            // The first of a batch wakes the main thread; the rest ride along.
            if (inbox.size() == 1) loop.post(pass_commands);
        };
        while (!quitting) {
            pollfd p{fd, POLLIN, 0};
            const int ready = ::poll(&p, 1, 100);
            if (ready <= 0) continue;
            const ssize_t n = ::read(fd, buf.data(), buf.size());
            if (n <= 0) break;
            for (std::string_view line : lines.split_lines({buf.data(), static_cast<std::size_t>(n)})) deliver(line);
            if (lines.dropped())
                console.line("plimsy-cli connect: dropped a command line of more than " + std::to_string(max_command) +
                             " bytes; the rest of it, up to its line end, is dropped too");
        }
        if (!lines.rem().empty() && !quitting) deliver(lines.rem());
        std::lock_guard lock(inbox_mutex);
        input_done = true;
    });

    std::optional<double> input_ended_at;

    // A 10 ms heartbeat drives the simulated radio, passes commands on and
    // notices the end.
    std::function<void()> tick = [&] {
        session.poll_simulation();
        pass_commands();
        if (all_handed && !input_ended_at) input_ended_at = elapsed();

        const bool time_up = o.seconds > 0 && elapsed() >= o.seconds;
        const bool input_over =
            o.seconds <= 0 && all_handed && (!session.sending() || elapsed() - *input_ended_at >= drain_seconds);
        if (stop || time_up || input_over) {
            quit_loop();
            return;
        }
        loop.post_after(0.01, tick);
    };
    loop.post(tick);
    host.run();

    // Whatever never got a link is reported, not silently dropped.
    for (const auto& [command, when] : held) send(command);
    held.clear();
    quitting = true;
    inbox_room.notify_all();
    session.disconnect();
    input.join();
    const double seconds = elapsed();
    if (o.summary) {
        const std::string extra = "\"bytes\":" + std::to_string(session.cnc().bytes_received);
        std::fprintf(out, "%s\n", report.summary(seconds, extra).c_str());
    }
    std::fflush(out);
    return 0;
}

}  // namespace plimsy
