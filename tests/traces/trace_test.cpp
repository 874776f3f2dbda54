#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "traces/trace.hpp"

// Counts heap allocations so that the feeding path can be checked for none.
// GCC 12 takes the malloc/free pair behind a replaced operator new/delete
// for a mismatch once they are inlined; the pairing here is deliberate.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::atomic<long> allocations{0};
}
void* operator new(std::size_t n) {
    ++allocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace plimsy {
namespace {

using point = plot_geometry_t::point_t;

std::string names(const trace_t& t) {
    std::string out;
    for (const auto& s : t.series()) out += s.name + ":" + colour_name(s.colour) + " ";
    return out;
}

TEST(trace, ring_wraps_and_plot_reads_oldest_first) {
    manual_clock_t clock;
    trace_t t(clock);
    for (int n = 0; n < 3; ++n) t.add_gravity(n, 0, 0);
    EXPECT_EQ(t.count(), 3);
    EXPECT_EQ(t.count_valid(), 3);
    EXPECT_EQ(t.plot_view(2000, 360).series[0].points, (std::vector<point>{{0, 180}, {1, 162}, {2, 144}}));

    // Sample n lands at position n % 2000; after 2001 the first is gone.
    for (int n = 3; n <= 2000; ++n) t.add_gyro(n * 0.05, 0, 0);
    EXPECT_EQ(t.count(), 1);
    EXPECT_EQ(t.count_valid(), 2000);
    clock.advance(1);
    const auto& points = t.plot_view(4000, 360).series.at(0).points;
    ASSERT_EQ(points.size(), 2000u);
    EXPECT_EQ(points.front(), (point{0, 162}));  // position 1: gravity x = 1
    EXPECT_DOUBLE_EQ(points[2].y, 180.0 - 3 * 0.05);
    EXPECT_EQ(points.back(), (point{3998, 80}));  // position 0: the newest, 100
}

TEST(trace, stored_values_and_series_by_kind) {
    manual_clock_t clock;
    trace_t t(clock);
    EXPECT_EQ(names(t), "gravity.x:red gravity.y:green gravity.z:blue heading:primary ");
    t.add_gravity(9.81f, -10, 0);
    EXPECT_NEAR(t.gx()[0], 176.58, 1e-4);
    EXPECT_EQ(names(t), "gravity.x:red gravity.y:green gravity.z:blue ");
    t.add_gyro(190, -190, 540);
    EXPECT_EQ(std::vector<double>({t.gx()[1], t.gy()[1], t.gz()[1]}), std::vector<double>({-170, 170, 180}));
    t.add_gyro(0, 0, 0);
    EXPECT_EQ(names(t), "gyro.x:red gyro.y:green gyro.z:blue ");
    t.add_bearing_heading(-180, 370);
    EXPECT_EQ(std::vector<double>({t.heading()[3], t.bearing()[3], t.gx()[3]}), std::vector<double>({-180, 10, 0}));
    EXPECT_EQ(names(t), "bearing:red heading:primary ");
    t.add_heading(725);
    EXPECT_EQ(names(t), "heading:primary ");
    t.add_heading_gravity(-200, 1, 2, 3);
    EXPECT_EQ(std::vector<double>({t.heading()[5], t.gz()[5]}), std::vector<double>({160, 54}));
    EXPECT_EQ(t.model(), device_model_t::compass_gravity);
    EXPECT_DOUBLE_EQ(t.heading()[4], 5) << "the older column survives a change of kind";
}

TEST(trace, hold_reset_and_signals) {
    manual_clock_t clock(100.0);
    trace_t t(clock);
    int signals = 0;
    auto sub = t.subscribe([&] { ++signals; });
    t.add_gravity(1, 1, 1);
    t.add_gravity(1, 1, 1);
    EXPECT_EQ(signals, 1) << "throttled within 1/60 s";
    clock.set(t.change_time());
    t.add_gravity(1, 1, 1);
    EXPECT_EQ(signals, 2) << "due exactly at change_time";

    t.toggle_hold();
    EXPECT_STREQ(t.hold_label(), "Enable");
    clock.advance(5);
    t.add_gyro(1, 1, 1);  // held: only update_time moves
    EXPECT_EQ(t.count(), 3);
    EXPECT_EQ(t.model(), device_model_t::gravity);
    EXPECT_DOUBLE_EQ(t.update_time(), clock.now() + 10);
    clock.advance(60);
    EXPECT_FALSE(t.reset(false)) << "refused while held";
    t.toggle_hold();
    EXPECT_STREQ(t.hold_label(), "Hold");
    t.add_gravity(2, 2, 2);
    EXPECT_EQ(t.count(), 4) << "continues at the same position";

    clock.advance(10);
    EXPECT_FALSE(t.reset(false)) << "not later than update_time";
    clock.advance(0.001);
    const int before = signals;
    EXPECT_TRUE(t.reset(false));
    EXPECT_EQ(signals, before + 1);
    EXPECT_EQ(t.count() + t.count_valid(), 0);
    EXPECT_DOUBLE_EQ(t.gx()[3], 0);

    t.toggle_enable(1);
    t.toggle_enable(-1);
    t.toggle_enable(trace_t::max_traces);
    t.add_gravity(3, 3, 3);
    EXPECT_TRUE(t.reset(true)) << "forced resets ignore the lock";
    EXPECT_DOUBLE_EQ(t.gx()[0], 0);
    EXPECT_FALSE(t.enabled(1));
    EXPECT_EQ(t.model(), device_model_t::gravity);
}

TEST(trace, plot_axis_and_caching) {
    manual_clock_t clock;
    trace_t t(clock);
    t.add_gravity(1, 0, 0);
    const auto& one = t.plot_view(200, 100);
    EXPECT_TRUE(one.series.empty()) << "one sample makes no line";
    using seg = plot_geometry_t::segment_t;
    EXPECT_EQ(one.axis, (std::vector<seg>{
                            {{0, 100}, {0, 0}}, {{200, 100}, {200, 0}}, {{0, 100}, {200, 100}}, {{0, 0}, {200, 0}},
                            {{0, 87.5}, {200, 87.5}}, {{0, 75}, {200, 75}}, {{0, 62.5}, {200, 62.5}},
                            {{0, 50}, {200, 50}}, {{0, 37.5}, {200, 37.5}}, {{0, 25}, {200, 25}},
                            {{0, 12.5}, {200, 12.5}}}));
    EXPECT_EQ(t.x_view() * t.y_view(), 200 * 100);

    // Within 1/60 s the cached plot is returned although new data arrived.
    t.add_gravity(0, 0, 0);
    t.toggle_enable(1);
    EXPECT_TRUE(t.plot_view(200, 100).series.empty());
    EXPECT_TRUE(t.plot_outdated());
    clock.set(t.view_time());
    const auto& two = t.plot_view(200, 100);
    EXPECT_FALSE(t.plot_outdated());
    ASSERT_EQ(two.series.size(), 2u) << "gravity.y is switched off";
    EXPECT_EQ(two.series[1].name, "gravity.z");
    EXPECT_EQ(two.series[0].points, (std::vector<point>{{0, 45}, {0.1, 50}}));

    // A new size is honoured at once, axis included.
    const auto& wide = t.plot_view(400, 100);
    EXPECT_EQ(wide.axis[1], (seg{{400, 100}, {400, 0}}));
    EXPECT_EQ(wide.series[0].points[1].x, 0.2);
}

TEST(trace, feeding_does_not_allocate) {
    manual_clock_t clock;
    trace_t t(clock);
    auto sub = t.subscribe([] {});
    const long before = allocations.load();
    for (int n = 0; n < 4100; ++n) {
        clock.advance(0.01);
        t.add_gravity(1, 2, 3);
        t.add_heading_gravity(n, 1, 2, 3);
        t.add_gyro(n, n, n);
        t.add_bearing_heading(n, -n);
        t.add_heading(n);
    }
    EXPECT_EQ(allocations.load(), before);
}

}  // namespace
}  // namespace plimsy
