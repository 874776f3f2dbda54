// Main-thread cost of the magnetometer calibration with the application's
// real settings file. While the user walks the calibration every message
// that widens a range saves the calibration; the window must keep up with
// 50 messages a second (20 ms apart), so the receive path must not wait
// for the disk.
//
// The run uses a private XDG_CONFIG_HOME (a fresh directory under /tmp, or
// --dir DIR) seeded with the connection settings of a user on 127.0.0.1, so
// the user's own file is never touched. Each message is an "hmc5883" line
// through the receive pipeline, as a board sends it; each one lowers x's
// minimum, so each one saves. At the end the store is closed and opened
// again to check that the last calibration reached the file.
//
//   bench_settings [--messages N] [--rate HZ] [--dir DIR]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "config/config_connection.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "qt/qt_settings_store.hpp"
#include "transport/receive_pipeline.hpp"

namespace {

using namespace plimsy;
using steady = std::chrono::steady_clock;

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

int usage() {
    std::fputs("usage: bench_settings [--messages N] [--rate HZ] [--dir DIR]\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int messages = 250;
    double rate = 50;
    std::string dir;
    for (int i = 1; i < argc; ++i) {
        const bool has_value = i + 1 < argc;
        if (std::strcmp(argv[i], "--messages") == 0 && has_value) {
            messages = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--rate") == 0 && has_value) {
            rate = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--dir") == 0 && has_value) {
            dir = argv[++i];
        } else {
            return usage();
        }
    }
    if (messages < 2 || messages > 10000 || !(rate > 0 && rate <= 100000)) return usage();
    if (dir.empty()) {
        char templ[] = "/tmp/bench_settings.XXXXXX";
        if (!mkdtemp(templ)) {
            std::perror("mkdtemp");
            return 1;
        }
        dir = templ;
    }
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);

    null_console_t console;
    const auto period = std::chrono::duration<double>(1.0 / rate);
    std::vector<double> ms;
    ms.reserve(static_cast<std::size_t>(messages));
    {
        qt_settings_store_t store;
        std::printf("settings file: %s\n", store.file_name().toLocal8Bit().constData());
        // A user's connection settings, on the loopback bridge.
        config_connection_t config(store, console, "Plimsy:91 UART", "127.0.0.1", 8081);
        config.commit_host("127.0.0.1");
        receive_pipeline_t pipeline(system_clock_t::instance(), store, console);
        auto next = steady::now();
        for (int i = 0; i < messages; ++i) {
            // x falls by one count per message: a new minimum each time.
            const std::string line = "hmc5883={\"x\":" + std::to_string(-100 - i) + ",\"y\":50,\"z\":300}";
            const auto t0 = steady::now();
            pipeline.receive_line(line);
            const auto t1 = steady::now();
            ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
            next += std::chrono::duration_cast<steady::duration>(period);
            std::this_thread::sleep_until(next);
        }
    }
    // Opened again: the last calibration must be in the file.
    long long saved = 0;
    {
        qt_settings_store_t store;
        saved = store.read_int("hmc5883.0.x_min").value_or(0);
    }
    const long long expected = -100 - (messages - 1);

    double sum = 0;
    for (double v : ms) sum += v;
    std::printf(
        "calibration messages: %d at %.0f/s; main-thread time per message: mean %.3f ms, median %.3f ms, "
        "p99 %.3f ms, max %.3f ms (target: under 1 ms)\n",
        messages, rate, sum / static_cast<double>(ms.size()), percentile(ms, 0.5), percentile(ms, 0.99),
        *std::max_element(ms.begin(), ms.end()));
    std::printf("saved x_min after reopening: %lld (expected %lld) %s\n", saved, expected,
                saved == expected ? "ok" : "MISSING");
    std::error_code ec;
    if (dir.rfind("/tmp/bench_settings.", 0) == 0) std::filesystem::remove_all(dir, ec);
    return saved == expected ? 0 : 1;
}
