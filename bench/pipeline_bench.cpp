// Throughput of the receive path: text lines through receive_pipeline_t into
// the sensors model, against a bare simdjson DOM parse of the same JSON. The
// pipeline runs once per received line on the main thread, so it has to stay
// well ahead of any board and must not allocate in the steady state.
//
// Heap allocations are counted with a replaced global operator new; the
// allocs_per_line counter covers the timed loop only.

#include <benchmark/benchmark.h>
#include <simdjson.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/settings_store.hpp"
#include "transport/receive_pipeline.hpp"
#include "allocation_counter.hpp"

// --- the traffic ---------------------------------------------------------------

namespace {

using namespace plimsy;

template <typename... A>
std::string format(const char* fmt, A... args) {
    char buf[640];
    const int n = std::snprintf(buf, sizeof buf, fmt, args...);
    return std::string(buf, n < 0 ? 0 : static_cast<std::size_t>(n));
}

// What boards send, with values that move from line to line the way real
// readings do (so caches of the last value do not flatter the figures).
// Orientation streams come at a higher rate than the environment sensors.
std::vector<std::string> make_lines() {
    std::vector<std::string> lines;
    static const char* const steps[] = {"xy", "xv", "yv", "z"};
    for (int i = 0; i < 256; ++i) {
        const double t = i * 0.05;
        const double h = static_cast<double>((i * 7) % 360) + 0.25;
        const double gx = 0.3 * std::sin(t), gy = -0.2 * std::cos(t), gz = 9.78 + 0.01 * (i % 5);
        lines.push_back(format(
            "compass_c={\"h\":%.1f,\"x\":%.3f,\"y\":%.3f,\"z\":%.3f,\"x_raw\":%d,\"y_raw\":%d,\"z_raw\":%d,"
            "\"x_min\":%d,\"y_min\":%d,\"z_min\":%d,\"x_max\":%d,\"y_max\":%d,\"z_max\":%d,"
            "\"xv_min\":%d,\"yv_min\":%d,\"xv_max\":%d,\"yv_max\":%d,\"z_ang\":%d,\"c\":\"%s\",\"e\":\"%x\"}",
            h, gx, gy, gz, 100 + i, -300 + i, 50 - i, -400 - i % 10, -380, -300, 410 + i % 10, 395, 320, -200, -210, 205,
            198, i % 90, steps[(i / 64) % 4], i % 16));
        lines.push_back(format("compass={\"h\":%.1f,\"x\":%.3f,\"y\":%.3f,\"z\":%.3f}", h, gx, gy, gz));
        lines.push_back(format("gravity={\"x\":%.3f,\"y\":%.3f,\"z\":%.3f}", gx, gy, gz));
        lines.push_back(format("gyroscope={\"x\":%.2f,\"y\":%.2f,\"z\":%.2f}", 10 * std::sin(t), -5 * std::cos(t), h - 180));
        lines.push_back(format("compass={\"h\":%.1f,\"x\":%.3f,\"y\":%.3f,\"z\":%.3f}", h + 0.5, gx, gy, gz));
        lines.push_back(format("gravity={\"x\":%.3f,\"y\":%.3f,\"z\":%.3f}", gx + 0.01, gy, gz));
        lines.push_back(format("mpu6050={\"ax\":%.4f,\"ay\":%.4f,\"az\":%.4f,\"gx\":%.3f,\"gy\":%.3f,\"gz\":%.3f}",
                               gx / 9.81, gy / 9.81, gz / 9.81, 0.5 * std::sin(t), -0.3, 0.1 * (i % 7)));
        lines.push_back(format("hmc5883={\"x\":%d,\"y\":%d,\"z\":%d}", -120 + i, 340 - i, -55 + i % 20));
        lines.push_back(format("bme680={\"temp\":%.2f,\"pressure\":%.1f,\"humidity\":%.2f,\"gas\":%d}",
                               21.5 + 0.01 * i, 101325.0 - i, 45.0 + 0.02 * i, 120000 + 13 * i));
        lines.push_back(format("bh1749={\"r\":%d,\"g\":%d,\"b\":%d,\"i\":%d}", 1200 + i, 1800 - i, 900 + 2 * i, 150 + i % 9));
        static const char* const accels[] = {"adxl362", "adxl372", "iis2dlpc"};
        const double scale = i % 3 == 1 ? 100.0 : 1.0;
        lines.push_back(format("%s={\"x\":%.3f,\"y\":%.3f,\"z\":%.3f}", accels[i % 3], scale * gx, scale * gy, scale * gz));
        lines.push_back(format("adp536x={\"cs1\":\"0x%02x\",\"cs2\":\"0x%02x\",\"pgs\":\"0x%02x\",\"voltage\":%d,\"level\":%d}",
                               i % 8, 0x10 + i % 4, 0x0a, 3700 + i, i % 101));
        // A board's clock ticks once a second: a new minute every 60 readings.
        lines.push_back(format("rtc={\"y\":2024,\"m\":%d,\"d\":%d,\"hh\":%d,\"mm\":%d,\"ss\":%d}", 6, 15, 14,
                               i / 60, i % 60));
        lines.push_back(format("shtc3={\"temp\":%.2f,\"humidity\":%.2f}", 22.0 + 0.01 * i, 40.0 + 0.03 * i));
        lines.push_back(format("gavrin3_events={\"alarm\":%d,\"PIR\":%d}", i % 50 == 0 ? 1 : 0, i % 20 == 0 ? 1 : 0));
    }
    return lines;
}

const std::vector<std::string>& traffic() {
    static const std::vector<std::string> lines = make_lines();
    return lines;
}

std::map<std::string, double>& rates() {
    static std::map<std::string, double> r;
    return r;
}

void BM_ReceivePipeline(benchmark::State& state) {
    const std::vector<std::string>& lines = traffic();
    manual_clock_t clock;
    memory_settings_store_t store;
    null_console_t console;
    receive_pipeline_t pipeline(clock, store, console);

    // Warm up: every buffer grows to the longest line and every lazy view
    // is created before counting starts.
    for (int pass = 0; pass < 2; ++pass)
        for (const std::string& line : lines) {
            clock.advance(0.004);
            pipeline.receive_line(line);
        }

    const std::uint64_t good_before = pipeline.msg_good;
    const std::uint64_t before = allocation_count();
    std::size_t i = 0;
    for (auto _ : state) {
        clock.advance(0.004);
        pipeline.receive_line(lines[i]);
        if (++i == lines.size()) i = 0;
    }
    const std::uint64_t allocs = allocation_count() - before;

    const auto n = static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations());
    state.counters["allocs_per_line"] = static_cast<double>(allocs) / n;
    // Every line of the mix is a sensor message and must be accepted.
    state.counters["accepted"] = static_cast<double>(pipeline.msg_good - good_before) / n;
    benchmark::DoNotOptimize(pipeline.sensors.compass.heading);
}
BENCHMARK(BM_ReceivePipeline);

void BM_SimdjsonParse(benchmark::State& state) {
    std::vector<simdjson::padded_string> texts;
    for (const std::string& line : traffic()) texts.emplace_back(std::string_view(line).substr(line.find('=') + 1));
    simdjson::dom::parser parser;
    for (const auto& t : texts) {
        simdjson::dom::element doc;
        if (parser.parse(t).get(doc) != simdjson::SUCCESS) state.SkipWithError("mix is not valid JSON");
    }

    const std::uint64_t before = allocation_count();
    std::size_t i = 0;
    for (auto _ : state) {
        simdjson::dom::element doc;
        auto error = parser.parse(texts[i]).get(doc);
        benchmark::DoNotOptimize(error);
        benchmark::DoNotOptimize(doc);
        if (++i == texts.size()) i = 0;
    }
    const std::uint64_t allocs = allocation_count() - before;
    state.SetItemsProcessed(state.iterations());
    state.counters["allocs_per_line"] = static_cast<double>(allocs) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_SimdjsonParse);

// Prints as usual and keeps each benchmark's rate for the closing ratio.
class rate_reporter_t : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        // With repetitions the mean stands for the benchmark.
        for (const Run& run : runs) {
            const auto it = run.counters.find("items_per_second");
            const bool usable = run.run_type == Run::RT_Iteration || run.aggregate_name == "mean";
            if (it != run.counters.end() && usable) rates()[run.run_name.function_name] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    rate_reporter_t reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto& r = rates();
    const auto pipeline = r.find("BM_ReceivePipeline");
    const auto parse = r.find("BM_SimdjsonParse");
    if (pipeline != r.end() && parse != r.end() && pipeline->second > 0)
        std::printf("pipeline: %.0f lines/s, plain parse: %.0f texts/s, pipeline costs %.2fx the plain parse\n",
                    pipeline->second, parse->second, parse->second / pipeline->second);
    return 0;
}
