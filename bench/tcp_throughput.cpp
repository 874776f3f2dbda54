// End-to-end throughput over loopback: a simulated board served by a TCP
// server that sends as fast as the socket takes it, the TCP client with its
// receive thread, the hand-over to the main thread, the receive pipeline and
// the sensors model. Prints lines per second, whether anything was lost, and
// what one hand-over to the main thread costs.
//
//   bench_tcp_throughput [lines] [board kind]

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/event_loop.hpp"
#include "sim/board_server.hpp"
#include "transport/connection.hpp"

using namespace plimsy;

namespace {

double handover_cost_us(int rounds) {
    event_loop_t loop;
    std::thread worker([&] {
        for (int i = 0; i < rounds; ++i) loop.post_and_wait([] {});
        loop.quit();
    });
    const auto t0 = std::chrono::steady_clock::now();
    loop.run();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    worker.join();
    return s * 1e6 / rounds;
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t lines = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 2'000'000;
    device_model_t kind = device_model_t::compass_gravity;
    if (argc > 2 && !parse_device_model(argv[2], kind)) {
        std::fprintf(stderr, "unknown board kind '%s'\n", argv[2]);
        return 2;
    }

    board_server_t server({.kind = kind, .port = 0, .rate = 50, .flood = true, .flood_lines = lines});
    std::string error;
    if (!server.start(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }

    event_loop_t loop;
    memory_settings_store_t store;
    null_console_t console;
    no_altimeter_t altimeter;
    no_haptics_t haptics;
    connection_t c({system_clock_t::instance(), store, console, loop, altimeter, haptics, {}});

    std::uint64_t received = 0, errors = 0;
    c.pipeline.line_observer = [&](const line_result_t& r) {
        ++received;
        errors += r.kind != line_result_t::kind_t::ok;
    };
    std::chrono::steady_clock::time_point start;
    loop.post([&] {
        start = std::chrono::steady_clock::now();
        c.connect_tcp("127.0.0.1", server.port());
    });
    // The server closes after the last line; the client reports that as a loss.
    std::function<void()> watch = [&] {
        if (c.link_tcp().kind == link_kind_t::lost || c.link_tcp().kind == link_kind_t::failed) {
            c.disconnect();
            loop.quit();
            return;
        }
        loop.post_after(0.001, watch);
    };
    loop.post(watch);
    loop.run();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::printf("board kind            %s\n", std::string(device_model_name(kind)).c_str());
    std::printf("lines sent            %llu\n", static_cast<unsigned long long>(lines));
    std::printf("lines received        %llu (%s)\n", static_cast<unsigned long long>(received),
                received == lines ? "nothing lost" : "LOST LINES");
    std::printf("decoding failures     %llu\n", static_cast<unsigned long long>(errors));
    std::printf("bytes received        %llu\n", static_cast<unsigned long long>(c.bytes_received));
    std::printf("chunks                %llu (%.1f lines per chunk)\n", static_cast<unsigned long long>(c.chunks_received),
                c.chunks_received ? static_cast<double>(received) / static_cast<double>(c.chunks_received) : 0.0);
    std::printf("seconds               %.3f\n", seconds);
    std::printf("lines per second      %.0f\n", static_cast<double>(received) / seconds);
    std::printf("time per chunk        %.2f us (read, hand-over, split, decode, apply)\n",
                seconds * 1e6 / static_cast<double>(c.chunks_received ? c.chunks_received : 1));
    std::printf("hand-over round trip  %.2f us (empty post_and_wait, worker to main thread and back)\n",
                handover_cost_us(200000));
    return received == lines ? 0 : 1;
}
