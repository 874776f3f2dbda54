// Seek time of the replay engine: an hour of a board at 1,000 lines a
// second (3,600,000 lines in capture entries of one line each, with a
// command every 1,000 and a local action every 5,000), written to a file
// first; then, timed: opening it (the scan for its duration), a seek to
// the end on a copy (what the window runs on a worker thread), a seek to
// the middle, and a batch of advance() at full speed (the main thread's
// longest hold).
//
//   replay_seek_bench [--lines N] [--keep FILE] [--file FILE]
//
// --file replays an existing capture instead of writing one.

#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "capture/capture.hpp"
#include "session/replay.hpp"

using namespace plimsy;

namespace {

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// CPU seconds of this thread: what a phase costs on a core of its own, on a
// machine whose other work stretches the wall-clock figures.
double cpu() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// What boards send, with readings that move from line to line (the mix of
// bench/decode_bench.py).
void board_line(std::string& out, long i) {
    char buf[512];
    const double t = i * 0.05;
    const double h = static_cast<double>((i * 7) % 360) + 0.25;
    const double gx = 0.3 * std::sin(t), gy = -0.2 * std::cos(t), gz = 9.78 + 0.01 * static_cast<double>(i % 5);
    int n = 0;
    switch (i % 8) {
        case 0:
            n = std::snprintf(buf, sizeof buf,
                              "compass_c={\"h\":%.1f,\"x\":%.3f,\"y\":%.3f,\"z\":%.3f,\"x_raw\":%ld,\"y_raw\":%ld,"
                              "\"z_raw\":%ld,\"x_min\":%ld,\"y_min\":-380,\"z_min\":-300,\"x_max\":%ld,\"y_max\":395,"
                              "\"z_max\":320,\"xv_min\":-200,\"yv_min\":-210,\"xv_max\":205,\"yv_max\":198,\"z_ang\":%ld,"
                              "\"c\":\"xy\",\"e\":\"%lx\"}",
                              h, gx, gy, gz, 100 + i % 300, -300 + i % 200, 50 - i % 100, -400 - i % 10,
                              410 + i % 10, i % 90, i % 16);
            break;
        case 1: n = std::snprintf(buf, sizeof buf, "compass={\"h\":%.1f,\"x\":%.3f,\"y\":%.3f,\"z\":%.3f}", h, gx, gy, gz); break;
        case 2: n = std::snprintf(buf, sizeof buf, "gravity={\"x\":%.3f,\"y\":%.3f,\"z\":%.3f}", gx, gy, gz); break;
        case 3:
            n = std::snprintf(buf, sizeof buf, "gyroscope={\"x\":%.2f,\"y\":%.2f,\"z\":%.2f}", 10 * std::sin(t),
                              -5 * std::cos(t), h - 180);
            break;
        case 4:
            n = std::snprintf(buf, sizeof buf,
                              "mpu6050={\"ax\":%.3f,\"ay\":%.3f,\"az\":%.3f,\"gx\":%.2f,\"gy\":-0.3,\"gz\":0.1}",
                              gx / 9.8, gy / 9.8, gz / 9.8, 0.3 * std::sin(t));
            break;
        case 5: n = std::snprintf(buf, sizeof buf, "hmc5883={\"x\":%ld,\"y\":%ld,\"z\":%ld}", 200 + i % 50, 140 - i % 30, -310 + i % 7); break;
        case 6: n = std::snprintf(buf, sizeof buf, "bh1749={\"r\":%ld,\"g\":2300,\"b\":%ld,\"i\":40}", 1200 + i % 100, 900 + i % 13); break;
        default:
            n = std::snprintf(buf, sizeof buf, "bme680={\"temp\":%.2f,\"pressure\":1013.2,\"humidity\":41.5,\"gas\":%ld}",
                              21.5 + static_cast<double>(i % 10) * 0.01, 52000 + i % 100);
    }
    out.append(buf, static_cast<std::size_t>(n));
    out += '\n';
}

void write_capture(const std::string& path, long lines) {
    std::ofstream f(path, std::ios::binary);
    std::string block, line;
    append_capture_header(block, {1, "2026-12-07T03:48:07Z", "bench", {}});
    for (long i = 0; i < lines; ++i) {
        const double t = static_cast<double>(i + 1) / 1000.0;
        if (i % 1000 == 999) {
            append_capture_tx(block, t, "C\n");
        } else if (i % 5000 == 2500) {
            append_capture_action(block, t, "trace.toggle_hold");
        } else {
            line.clear();
            board_line(line, i);
            append_capture_rx(block, t, line);
        }
        if (block.size() > (1 << 20)) {
            f.write(block.data(), static_cast<std::streamsize>(block.size()));
            block.clear();
        }
    }
    f.write(block.data(), static_cast<std::streamsize>(block.size()));
}

}  // namespace

int main(int argc, char** argv) {
    long lines = 3'600'000;
    std::string keep, file;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--lines" && i + 1 < argc) lines = std::atol(argv[++i]);
        else if (a == "--keep" && i + 1 < argc) keep = argv[++i];
        else if (a == "--file" && i + 1 < argc) file = argv[++i];
        else {
            std::fprintf(stderr, "usage: replay_seek_bench [--lines N] [--keep FILE] [--file FILE]\n");
            return 2;
        }
    }
    std::string path = file;
    if (path.empty()) {
        path = keep.empty() ? (std::filesystem::temp_directory_path() / "plimsy_seek_bench.jsonl").string() : keep;
        const double t0 = now();
        write_capture(path, lines);
        std::printf("wrote %ld lines (%.1f MB) to %s in %.2f s\n", lines,
                    static_cast<double>(std::filesystem::file_size(path)) / 1e6, path.c_str(), now() - t0);
    }

    std::string error;
    double t0 = now(), c0 = cpu();
    auto r = replay_t::open(std::filesystem::path(path), error);
    if (!r) {
        std::fprintf(stderr, "replay_seek_bench: %s\n", error.c_str());
        return 1;
    }
    const double open_s = now() - t0;
    std::printf("open (header and duration scan): %.3f s (CPU %.3f s); duration %.3f s\n", open_s, cpu() - c0,
                r->duration());

    t0 = now();
    c0 = cpu();
    auto end = r->seek_copy(r->duration(), error);
    const double end_s = now() - t0, end_cpu = cpu() - c0;
    if (!end) {
        std::fprintf(stderr, "replay_seek_bench: %s\n", error.c_str());
        return 1;
    }
    std::printf("seek to the end (a new engine, from the start): %.3f s (CPU %.3f s), %llu entries, %.0f entries/s\n",
                end_s, end_cpu, static_cast<unsigned long long>(end->player().entries),
                static_cast<double>(end->player().entries) / end_s);

    t0 = now();
    c0 = cpu();
    const bool mid = r->seek(r->duration() / 2);
    std::printf("seek to the middle (forwards, in place): %.3f s (CPU %.3f s)%s\n", now() - t0, cpu() - c0,
                mid ? "" : " (failed)");

    // The main thread's share while playing at full speed: advance() with
    // the window's 4 ms budget.
    r->set_speed(replay_t::max_speed);
    r->play();
    double longest = 0, longest_cpu = 0;
    std::size_t calls = 0, entries = 0;
    for (; calls < 200 && !r->at_end(); ++calls) {
        t0 = now();
        c0 = cpu();
        entries += r->advance(1 / 60.0);
        longest = std::max(longest, now() - t0);
        longest_cpu = std::max(longest_cpu, cpu() - c0);
    }
    std::printf("advance() at full speed, 4 ms budget: %zu calls, %zu entries, longest call %.2f ms "
                "(CPU %.2f ms)\n", calls, entries, longest * 1000, longest_cpu * 1000);
    if (file.empty() && keep.empty()) std::filesystem::remove(path);
    return 0;
}
