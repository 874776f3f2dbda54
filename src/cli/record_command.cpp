#include "cli/record_command.hpp"

#include <charconv>
#include <chrono>
#include <string>
#include <string_view>

#include "cli/link_options.hpp"
#include "common/text.hpp"
#include "session/recorder.hpp"

namespace plimsy {

namespace {

const char* record_usage_head =
    "usage: plimsy-cli record [--tcp HOST:PORT] [--ble NAME] [--serial PORT[:BAUD]]\n"
    "                         [--simulate [BOARD]] [-o FILE] [--seconds N]\n"
    "Connects to a board as 'plimsy-cli connect' does and records everything it\n"
    "sends and is sent into a capture (zstd-compressed JSON Lines, written at\n"
    "least once a second) until Ctrl-C, SIGTERM or --seconds. Then it writes\n"
    "where the file is and a summary, one JSON object, on standard output.\n"
    "Console lines go to standard error. 'plimsy-cli decode FILE' reads it.\n";
const char* record_usage_tail =
    "  -o FILE            the capture file (default: a new file named by the\n"
    "                     start time and board kind in\n"
    "                     $XDG_DATA_HOME/Plimsy/Plimsy_sensors/recordings)\n"
    "  --seconds N        stop after N seconds\n";

std::string record_usage() { return std::string(record_usage_head) + link_options_usage + record_usage_tail; }

struct options_t : link_options_t {
    std::string file;
    double seconds = 0;
};

bool parse(int argc, const char* const* argv, options_t& o, std::FILE* err) {
    auto fail = [&](const std::string& why) {
        std::fprintf(err, "plimsy-cli record: %s\n%s", why.c_str(), record_usage().c_str());
        return false;
    };
    std::string why;
    for (int i = 0; i < argc; ++i) {
        const std::string_view a = argv[i];
        const bool has_value = i + 1 < argc && argv[i + 1][0] != '\0';
        if (const auto link = parse_link_option(argc, argv, i, o, why); link != link_option_t::not_mine) {
            if (link == link_option_t::bad) return fail(why);
        } else if (a == "-o" || a == "--output") {
            if (!has_value) return fail("-o needs a file name");
            o.file = argv[++i];
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

int record_command(int argc, const char* const* argv, std::FILE* out, std::FILE* err, const std::atomic<bool>& stop) {
    for (int i = 0; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--help" || std::string_view(argv[i]) == "-h") {
            std::fputs(record_usage().c_str(), out);
            return 0;
        }
    }
    options_t o;
    if (!parse(argc, argv, o, err)) return 2;

    link_host_t host(o, err);
    session_t session(host.services(), host.session_options());
    session_recorder_t::options_t how;
    how.path = o.file;
    session_recorder_t recorder(session, how);
    bool failed = false;
    recorder.on_error = [&](const std::string& message) {
        std::fprintf(err, "plimsy-cli record: %s\n", message.c_str());
        failed = true;
        host.quit();
    };

    const auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    bool told = false;
    // A 10 ms heartbeat drives the simulated radio, says where the file
    // goes once it is named, and notices the end.
    std::function<void()> tick = [&] {
        session.poll_simulation();
        if (!told && !recorder.path().empty()) {
            told = true;
            std::fprintf(err, "plimsy-cli record: recording to %s; Ctrl-C stops\n", recorder.path().c_str());
        }
        if (stop || (o.seconds > 0 && elapsed() >= o.seconds)) {
            host.quit();
            return;
        }
        host.main().post_after(0.01, tick);
    };
    host.main().post(tick);
    host.run();

    session.disconnect();
    const double seconds = recorder.elapsed_seconds();
    const bool whole = recorder.finish() && !failed;
    if (!whole && !failed) std::fprintf(err, "plimsy-cli record: %s\n", recorder.error().c_str());
    std::string summary = "{\"file\":\"";
    append_json_escaped(summary, recorder.path().string());
    summary += cformat("\",\"seconds\":%.3f,\"entries\":%llu,\"bytes\":%llu,\"bytes_on_disk\":%llu,"
                       "\"board_bytes\":%llu,\"lines\":%llu,\"complete\":%s}",
                       seconds, static_cast<unsigned long long>(recorder.entries()),
                       static_cast<unsigned long long>(recorder.bytes_given()),
                       static_cast<unsigned long long>(recorder.bytes_on_disk()),
                       static_cast<unsigned long long>(session.cnc().bytes_received),
                       static_cast<unsigned long long>(session.pipeline().msg_count), whole ? "true" : "false");
    std::fprintf(out, "%s\n", summary.c_str());
    std::fflush(out);
    return whole ? 0 : 1;
}

}  // namespace plimsy
