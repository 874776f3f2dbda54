// What recording costs: the size of an hour of a fast board, and the CPU
// the recorder takes (the main thread's part per line, and its writer
// thread's) while a board streams in real time.
//
//   bench_record [--board KIND] [--rate LINES_PER_S] [--hour-seconds S] [--seconds S] [--dir DIR]
//
// Part 1 feeds an hour (--hour-seconds) of the simulated board's lines
// through session_recorder_t as fast as it goes, on a manual clock, once cut
// as TCP reads (what arrived in each 10 ms) and once as 20-byte BLE
// notifications, and prints the compressed size. Part 2 runs the same board
// in real time for --seconds and prints CPU time as a share of one core.

#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/manual_main_queue.hpp"
#include "session/recorder.hpp"
#include "sim/simulated_board.hpp"

using namespace plimsy;
namespace fs = std::filesystem;

namespace {

double cpu_seconds(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}


void rx(session_recorder_t& r, std::string_view bytes) {
    r.board_rx({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

struct hour_t {
    std::uint64_t lines = 0, raw = 0, given = 0, on_disk = 0;
    double main_cpu = 0, total_cpu = 0, wall = 0;
};

hour_t record_hour(device_model_t kind, double rate, double seconds, std::size_t notification, const fs::path& file) {
    manual_clock_t clock;
    manual_main_queue_t main(clock);
    stdout_console_t console(stderr);
    session_t session({.clock = clock, .main = main, .console = &console}, {.start_connection = false});
    simulated_board_t board(kind, clock, rate);
    hour_t h;
    const double cpu0 = cpu_seconds(CLOCK_PROCESS_CPUTIME_ID);
    const auto wall0 = std::chrono::steady_clock::now();
    {
        session_recorder_t recorder(session, {.path = file});
        std::vector<std::string> lines;
        std::string chunk;
        for (double t = 0; t < seconds; t += 0.01) {
            clock.advance(0.01);
            lines.clear();
            board.due_lines(lines);
            chunk.clear();
            for (const auto& l : lines) chunk += l;
            h.lines += lines.size();
            h.raw += chunk.size();
            const double m0 = cpu_seconds(CLOCK_THREAD_CPUTIME_ID);
            if (notification == 0) {
                rx(recorder, chunk);
            } else {
                for (std::size_t at = 0; at < chunk.size(); at += notification)
                    rx(recorder, std::string_view(chunk).substr(at, notification));
            }
            h.main_cpu += cpu_seconds(CLOCK_THREAD_CPUTIME_ID) - m0;
        }
        recorder.finish();
        h.given = recorder.bytes_given();
        h.on_disk = recorder.bytes_on_disk();
    }
    h.total_cpu = cpu_seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
    h.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    return h;
}

}  // namespace

int main(int argc, char** argv) {
    device_model_t kind = device_model_t::hmc5883;
    double rate = 1000, hour = 3600, seconds = 60;
    fs::path dir = fs::temp_directory_path();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view a = argv[i];
        if (a == "--board" && parse_device_model(argv[i + 1], kind)) continue;
        if (a == "--rate") rate = std::atof(argv[i + 1]);
        else if (a == "--hour-seconds") hour = std::atof(argv[i + 1]);
        else if (a == "--seconds") seconds = std::atof(argv[i + 1]);
        else if (a == "--dir") dir = argv[i + 1];
        else {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    const fs::path file = dir / "bench_record.plimsy.jsonl.zst";
    std::printf("board %s at %g lines/s\n", std::string(device_model_name(kind)).c_str(), rate);

    for (const std::size_t notification : {std::size_t{0}, std::size_t{20}}) {
        const hour_t h = record_hour(kind, rate, hour, notification, file);
        const double scale = 3600.0 / hour;
        std::printf("%s, %.0f s of board time (%llu lines, %.1f MB of board bytes): capture %.1f MB as JSON Lines, "
                    "%.2f MB compressed (%.1f MB per hour; %.1fx); %.2f s of CPU in %.2f s\n",
                    notification ? "BLE notifications of 20 bytes" : "TCP reads of 10 ms", hour,
                    static_cast<unsigned long long>(h.lines), h.raw / 1e6, h.given / 1e6, h.on_disk / 1e6,
                    h.on_disk * scale / 1e6, static_cast<double>(h.given) / static_cast<double>(h.on_disk),
                    h.total_cpu, h.wall);
    }
    fs::remove(file);

    // Real time: the board's chunks every 10 ms on the system clock.
    {
        manual_main_queue_t main(system_clock_t::instance());
        stdout_console_t console(stderr);
        session_t session({.clock = system_clock_t::instance(), .main = main, .console = &console},
                          {.start_connection = false});
        simulated_board_t board(kind, system_clock_t::instance(), rate);
        std::vector<std::string> warmup;
        board.due_lines(warmup);
        std::uint64_t lines = 0;
        double main_cpu = 0;
        const double process0 = cpu_seconds(CLOCK_PROCESS_CPUTIME_ID);
        const double thread0 = cpu_seconds(CLOCK_THREAD_CPUTIME_ID);
        const auto start = std::chrono::steady_clock::now();
        auto next = start;
        session_recorder_t recorder(session, {.path = file});
        std::vector<std::string> got;
        std::string chunk;
        while (std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds)) {
            next += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(next);
            got.clear();
            board.due_lines(got);
            chunk.clear();
            for (const auto& l : got) chunk += l;
            lines += got.size();
            const double m0 = cpu_seconds(CLOCK_THREAD_CPUTIME_ID);
            rx(recorder, chunk);
            main_cpu += cpu_seconds(CLOCK_THREAD_CPUTIME_ID) - m0;
        }
        recorder.finish();
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double writer_cpu =
            (cpu_seconds(CLOCK_PROCESS_CPUTIME_ID) - process0) - (cpu_seconds(CLOCK_THREAD_CPUTIME_ID) - thread0);
        std::printf("real time, %.1f s, %llu lines (%.0f lines/s), TCP reads of 10 ms: main thread %.2f us per line "
                    "(%.3f%% of a core), writer thread %.3f s of CPU (%.3f%% of a core); recorder total %.3f%% of "
                    "one core; %.2f MB on disk (%.1f MB per hour)\n",
                    wall, static_cast<unsigned long long>(lines), static_cast<double>(lines) / wall,
                    main_cpu / static_cast<double>(lines) * 1e6, main_cpu / wall * 100, writer_cpu,
                    writer_cpu / wall * 100, (main_cpu + writer_cpu) / wall * 100, recorder.bytes_on_disk() / 1e6,
                    recorder.bytes_on_disk() / 1e6 * 3600 / wall);
        fs::remove(file);
    }
    return 0;
}
