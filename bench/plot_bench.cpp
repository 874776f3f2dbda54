// The trace plot's work per frame on the main side: one frame's worth of
// samples at 1,000 lines a second, the trace's layout of the full plot
// (2,000 points per series) and the scene-graph vertices made from it. This
// runs while the main thread waits for the frame to be synchronised, so it
// has to stay a small part of a 60 Hz frame, and it must not allocate once
// the ring is full.
//
// Heap allocations are counted with a replaced global operator new; the
// allocs_per_frame counter covers the timed loop only.

#include <benchmark/benchmark.h>

#include <QSGGeometryNode>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

#include "platform/clock.hpp"
#include "traces/trace.hpp"
#include "ui/trace_plot_item.hpp"
#include "allocation_counter.hpp"

namespace {

using namespace plimsy;

// Four series (compass and gravity) or three (gyroscope).
void feed(trace_t& trace, int series, int n, int& k) {
    for (int i = 0; i < n; ++i, ++k) {
        const double a = (k % 720) - 360.0;
        if (series == 4)
            trace.add_heading_gravity(a, 0.01 * a, -0.02 * a, 9.8);
        else
            trace.add_gyro(a, -a, 0.5 * a);
    }
}

void plot_frame(benchmark::State& state) {
    const int series = static_cast<int>(state.range(0));
    manual_clock_t clock;
    trace_t trace{clock};
    int k = 0;
    feed(trace, series, trace_t::count_max, k);
    std::unique_ptr<QSGNode> root;
    auto frame = [&] {
        clock.advance(1.0 / 60);
        feed(trace, series, 17, k);  // 1,000 lines a second for 1/60 s
        const plot_geometry_t& plot = trace.plot_view(1000, 260);
        QSGNode* r = plot_vertices::update_nodes(root.get(), plot);
        if (r != root.get()) root.reset(r);
    };
    frame();  // the first build allocates the nodes and the point storage

    const std::uint64_t before = allocation_count();
    for (auto _ : state) {
        frame();
        benchmark::ClobberMemory();
    }
    const auto frames = static_cast<double>(state.iterations());
    state.counters["allocs_per_frame"] = static_cast<double>(allocation_count() - before) / frames;
    int vertices = 0;
    for (QSGNode* n = root->firstChild(); n; n = n->nextSibling())
        vertices += static_cast<QSGGeometryNode*>(n)->geometry()->vertexCount();
    state.counters["vertices"] = vertices;
}

BENCHMARK(plot_frame)->Arg(3)->Arg(4)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
