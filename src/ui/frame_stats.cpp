#include "ui/frame_stats.hpp"

#include <QQuickWindow>
#include <QTimer>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "ui/content_view_model.hpp"
#include "ui/trace_plot_item.hpp"

namespace plimsy {

namespace {

double steady_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double cpu_seconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6; };
    return s(u.ru_utime) + s(u.ru_stime);
}

}  // namespace

frame_stats_t::frame_stats_t(QQuickWindow& window, content_view_model_t& view) : view_(view) {
    // frameSwapped comes from the render thread when there is one.
    QObject::connect(
        &window, &QQuickWindow::beforeSynchronizing, &window, [this] { sync_start_.store(steady_seconds()); },
        Qt::DirectConnection);
    QObject::connect(&window, &QQuickWindow::frameSwapped, &window, [this] { frame(); }, Qt::DirectConnection);
    work_.reserve(1 << 16);
    QTimer::singleShot(static_cast<int>(warm_up * 1000), &window, [this] { begin(); });
}

void frame_stats_t::print() {
    const double wall = steady_seconds() - start_wall_;
    const double cpu = cpu_seconds() - start_cpu_;
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    std::lock_guard lock(mutex_);
    const double span = last_ - first_;
    std::sort(work_.begin(), work_.end());
    auto work = [&](double q) {
        return work_.empty() ? 0.0 : 1000 * work_[static_cast<std::size_t>(q * static_cast<double>(work_.size() - 1))];
    };
    std::printf(
        "{\"frames\":%llu,\"seconds\":%.3f,\"fps\":%.2f,\"longest_frame_ms\":%.2f,"
        "\"frames_over_25ms\":%llu,\"frames_over_33ms\":%llu,\"frame_work_p50_ms\":%.2f,"
        "\"frame_work_p99_ms\":%.2f,\"frame_work_max_ms\":%.2f,\"plot_rebuilds\":%llu,"
        "\"lines\":%llu,\"lines_per_second\":%.1f,\"cpu_seconds\":%.3f,\"cpu_percent\":%.1f,"
        "\"max_rss_mb\":%.1f}\n",
        static_cast<unsigned long long>(frames_), span, span > 0 ? static_cast<double>(frames_ - 1) / span : 0.0,
        longest_ * 1000, static_cast<unsigned long long>(over_25_), static_cast<unsigned long long>(over_33_),
        work(0.5), work(0.99), work(1.0),
        static_cast<unsigned long long>(trace_plot_item_t::rebuilds() - start_rebuilds_),
        static_cast<unsigned long long>(view_.cnc().pipeline.msg_count - start_lines_),
        wall > 0 ? static_cast<double>(view_.cnc().pipeline.msg_count - start_lines_) / wall : 0.0, cpu,
        wall > 0 ? 100 * cpu / wall : 0.0, static_cast<double>(u.ru_maxrss) / 1024.0);
    std::fflush(stdout);
}

// On the main thread, between two frames.
void frame_stats_t::begin() {
    start_wall_ = steady_seconds();
    start_cpu_ = cpu_seconds();
    start_lines_ = view_.cnc().pipeline.msg_count;
    start_rebuilds_ = trace_plot_item_t::rebuilds();
    measuring_.store(true);
}

void frame_stats_t::frame() {
    if (!measuring_.load()) return;
    const double now = steady_seconds();
    const double started = sync_start_.load();
    std::lock_guard lock(mutex_);
    if (started > 0 && now >= started) work_.push_back(now - started);
    if (frames_ == 0) {
        // The first frame after the warm-up only starts the clock: an
        // interval needs a frame on either side.
        first_ = last_ = now;
        frames_ = 1;
        return;
    }
    const double gap = now - last_;
    if (gap > longest_) longest_ = gap;
    if (gap > 0.025) ++over_25_;
    if (gap > 0.0335) ++over_33_;
    last_ = now;
    ++frames_;
}

}  // namespace plimsy
