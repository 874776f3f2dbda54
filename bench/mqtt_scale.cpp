// Many boards through one broker: bench/mqtt_scale.sh runs this twice,
// once as the gateways (N sessions, each with its own gateway and MQTT
// client, in this one process, fed N boards' lines at a given rate) and
// once as the watcher (one client subscribed to plimsy/+/raw that puts the
// lines back together). Each line carries its board's sequence number and
// the CLOCK_MONOTONIC time it was sent (extra members a decoder ignores), so
// the watcher measures loss and latency across the two processes.
//
//   bench_mqtt_scale gateways --url URL --boards N --rate HZ --seconds S
//   bench_mqtt_scale watcher  --url URL --boards N --seconds S
// Each prints one JSON object of figures.

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "mqtt/mqtt_gateway.hpp"
#include "platform/console.hpp"
#include "platform/event_loop.hpp"
#include "session/session.hpp"

using namespace plimsy;

namespace {

std::int64_t mono_ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

double cpu_seconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// VmRSS or VmHWM of this process, in KiB.
long status_kib(const char* field) {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind(field, 0) == 0) return std::strtol(line.c_str() + std::strlen(field) + 1, nullptr, 10);
    return 0;
}

struct args_t {
    std::string role, url;
    int boards = 100;
    double rate = 50, seconds = 30;
};

bool parse(int argc, char** argv, args_t& a) {
    if (argc < 2) return false;
    a.role = argv[1];
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string_view k = argv[i];
        if (k == "--url") a.url = argv[i + 1];
        else if (k == "--boards") a.boards = std::atoi(argv[i + 1]);
        else if (k == "--rate") a.rate = std::atof(argv[i + 1]);
        else if (k == "--seconds") a.seconds = std::atof(argv[i + 1]);
        else return false;
    }
    return (a.role == "gateways" || a.role == "watcher") && !a.url.empty() && a.boards > 0 && a.rate > 0;
}

std::string board_name(int i) {
    char b[16];
    std::snprintf(b, sizeof b, "b%03d", i);
    return b;
}

int run_gateways(const args_t& a, const mqtt_url_t& url) {
    event_loop_t loop;
    null_console_t console;
    const long rss_before = status_kib("VmRSS:");
    std::vector<std::unique_ptr<session_t>> sessions;
    std::vector<std::unique_ptr<mqtt_gateway_t>> gateways;
    for (int i = 0; i < a.boards; ++i) {
        session_options_t how;
        how.start_connection = false;
        sessions.push_back(std::make_unique<session_t>(
            session_services_t{.clock = system_clock_t::instance(), .main = loop, .console = &console}, how));
        mqtt_options_t o;
        o.url = url;
        gateways.push_back(std::make_unique<mqtt_gateway_t>(
            *sessions.back(), o, mqtt_gateway_options_t{.board = board_name(i), .link = "bench"}));
        gateways.back()->start();
    }
    const long rss_ready = status_kib("VmRSS:");

    // Lines start once every gateway is connected (the figures are for the
    // steady state; connecting is timed on its own), spread over one period
    // as real boards would be.
    const std::int64_t period = static_cast<std::int64_t>(1e9 / a.rate);
    const std::int64_t created = mono_ns();
    std::int64_t start = 0, end = 0;
    double connect_seconds = 0;
    std::vector<std::int64_t> due(static_cast<std::size_t>(a.boards));
    std::vector<std::uint64_t> seq(static_cast<std::size_t>(a.boards), 0);
    auto begin = [&](std::int64_t now) {
        connect_seconds = static_cast<double>(now - created) / 1e9;
        start = now;
        end = start + static_cast<std::int64_t>(a.seconds * 1e9);
        for (int i = 0; i < a.boards; ++i) due[static_cast<std::size_t>(i)] = start + period * i / a.boards;
    };
    double cpu_start = 0;
    std::uint64_t sent = 0;
    std::string line;
    std::function<void()> tick = [&] {
        const std::int64_t now = mono_ns();
        if (start == 0) {
            const bool all = std::all_of(gateways.begin(), gateways.end(), [](const auto& g) { return g->client().connected(); });
            if (!all && now - created < 30'000'000'000) {
                loop.post_after(0.01, tick);
                return;
            }
            begin(now);
            cpu_start = cpu_seconds();
        }
        for (std::size_t i = 0; i < due.size(); ++i) {
            while (due[i] <= now && due[i] < end) {
                char buf[160];
                const int n = std::snprintf(buf, sizeof buf,
                                            "compass={\"h\":%.1f,\"x\":0.012,\"y\":-0.034,\"z\":9.811,\"s\":%llu,"
                                            "\"t\":%lld}\n",
                                            static_cast<double>(seq[i] % 3600) / 10.0,
                                            static_cast<unsigned long long>(seq[i]), static_cast<long long>(mono_ns()));
                line.assign(buf, static_cast<std::size_t>(n));
                // What a transport does with a chunk: taps first, then the line.
                gateways[i]->board_rx({reinterpret_cast<const std::uint8_t*>(line.data()), line.size()});
                sessions[i]->pipeline().receive_line(std::string_view(line).substr(0, line.size() - 1));
                ++seq[i];
                ++sent;
                due[i] += period;
            }
        }
        if (now >= end + 2'000'000'000) {  // two seconds for the last acknowledgements
            loop.quit();
            return;
        }
        loop.post_after(0.001, tick);
    };
    loop.post(tick);
    loop.run();
    const double cpu = cpu_seconds() - cpu_start;
    const double wall = a.seconds + 2.0;
    std::uint64_t acked = 0, published = 0, dropped = 0;
    for (const auto& g : gateways) {
        const auto c = g->client().counters();
        acked += c.acknowledged;
        published += c.published;
        dropped += c.dropped;
    }
    std::printf(
        "{\"role\":\"gateways\",\"connect_seconds\":%.2f,\"process\":\"one process, %d gateways (a session, a gateway and an MQTT client with "
        "its network thread each)\",\"boards\":%d,\"rate\":%g,\"seconds\":%g,\"lines_sent\":%llu,"
        "\"messages_published\":%llu,\"messages_acknowledged\":%llu,\"messages_dropped\":%llu,"
        "\"cpu_seconds\":%.2f,\"cpu_percent_of_a_core\":%.1f,\"cpu_percent_per_board\":%.3f,"
        "\"rss_kib_before\":%ld,\"rss_kib_ready\":%ld,\"rss_kib_end\":%ld,\"rss_peak_kib\":%ld,"
        "\"rss_kib_per_board\":%.0f}\n",
        connect_seconds, a.boards, a.boards, a.rate, a.seconds, static_cast<unsigned long long>(sent),
        static_cast<unsigned long long>(published), static_cast<unsigned long long>(acked),
        static_cast<unsigned long long>(dropped), cpu, 100.0 * cpu / wall, 100.0 * cpu / wall / a.boards, rss_before,
        rss_ready, status_kib("VmRSS:"), status_kib("VmHWM:"),
        static_cast<double>(status_kib("VmRSS:") - rss_before) / a.boards);
    // Gateways go with their offline status, as a clean stop does.
    gateways.clear();
    sessions.clear();
    return 0;
}

std::int64_t member(std::string_view line, std::string_view key) {
    const auto at = line.find(key);
    if (at == std::string_view::npos) return -1;
    std::int64_t v = -1;
    std::from_chars(line.data() + at + key.size(), line.data() + line.size(), v);
    return v;
}

int run_watcher(const args_t& a, const mqtt_url_t& url) {
    event_loop_t loop;
    struct board_t {
        std::string pending;
        std::uint64_t lines = 0, out_of_order = 0;
        std::int64_t next = 0;
    };
    std::map<std::string, board_t> boards;
    std::vector<std::int64_t> latencies;
    latencies.reserve(static_cast<std::size_t>(a.boards * a.rate * a.seconds));
    std::int64_t first = 0, last = 0;
    std::uint64_t messages = 0, bytes = 0;
    mqtt_events_t e;
    e.message = [&](const mqtt_message_t& m) {
        const std::int64_t now = mono_ns();
        ++messages;
        bytes += m.payload.size();
        const auto board = mqtt_topic_board(m.topic, "raw");
        if (!board) return;
        board_t& b = boards[*board];
        b.pending += m.payload;
        std::size_t start = 0;
        for (std::size_t nl; (nl = b.pending.find('\n', start)) != std::string::npos; start = nl + 1) {
            const std::string_view line(b.pending.data() + start, nl - start);
            const std::int64_t s = member(line, "\"s\":"), t = member(line, "\"t\":");
            if (s < 0 || t < 0) continue;
            if (s != b.next) ++b.out_of_order;
            b.next = s + 1;
            ++b.lines;
            latencies.push_back(now - t);
            if (first == 0) first = now;
            last = now;
        }
        b.pending.erase(0, start);
    };
    mqtt_options_t o;
    o.url = url;
    o.max_inflight = 1000;
    mqtt_client_t client(loop, o, e);
    client.subscribe("plimsy/+/raw");
    client.start();
    loop.post_after(a.seconds, [&] { loop.quit(); });
    const double cpu0 = cpu_seconds();
    loop.run();
    const double cpu = cpu_seconds() - cpu0;
    std::uint64_t lines = 0, disorder = 0;
    for (const auto& [name, b] : boards) {
        lines += b.lines;
        disorder += b.out_of_order;
    }
    std::sort(latencies.begin(), latencies.end());
    auto pct = [&](double p) {
        if (latencies.empty()) return 0.0;
        return static_cast<double>(latencies[static_cast<std::size_t>(p * static_cast<double>(latencies.size() - 1))]) /
               1e6;
    };
    const double span = static_cast<double>(last - first) / 1e9;
    std::printf(
        "{\"role\":\"watcher\",\"boards_seen\":%zu,\"lines_received\":%llu,\"sequence_breaks\":%llu,"
        "\"messages\":%llu,\"bytes\":%llu,\"lines_per_second\":%.0f,\"latency_ms_p50\":%.2f,"
        "\"latency_ms_p99\":%.2f,\"latency_ms_max\":%.2f,\"cpu_seconds\":%.2f}\n",
        boards.size(), static_cast<unsigned long long>(lines), static_cast<unsigned long long>(disorder),
        static_cast<unsigned long long>(messages), static_cast<unsigned long long>(bytes),
        span > 0 ? static_cast<double>(lines) / span : 0.0, pct(0.5), pct(0.99), pct(1.0), cpu);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    args_t a;
    if (!parse(argc, argv, a)) {
        std::fprintf(stderr,
                     "usage: bench_mqtt_scale gateways|watcher --url mqtt://127.0.0.1:PORT [--boards N] [--rate HZ] "
                     "[--seconds S]\n");
        return 2;
    }
    std::string error;
    const auto url = parse_mqtt_url(a.url, error);
    if (!url) {
        std::fprintf(stderr, "bench_mqtt_scale: %s\n", error.c_str());
        return 2;
    }
    return a.role == "gateways" ? run_gateways(a, *url) : run_watcher(a, *url);
}
