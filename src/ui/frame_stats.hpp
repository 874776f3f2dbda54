#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

class QQuickWindow;

namespace plimsy {

class content_view_model_t;

// How smoothly a window runs under load: the spacing of the frames as they
// are handed to the screen, how long each frame took to synchronise,
// render and present (the frame rate the window could reach if content
// changed more often), the lines the view's coordinator took in, the
// process's CPU time and its peak memory. Start-up (QML compilation, the
// first connection) is left out by a warm-up, so the figures describe the
// steady state.
class frame_stats_t {
public:
    static constexpr double warm_up = 2.0;

    frame_stats_t(QQuickWindow& window, content_view_model_t& view);

    // One JSON line on standard output.
    void print();

private:
    void begin();
    void frame();

    content_view_model_t& view_;
    std::atomic<bool> measuring_{false};
    std::atomic<double> sync_start_{0};
    double start_wall_ = 0;
    double start_cpu_ = 0;
    std::uint64_t start_lines_ = 0;
    std::uint64_t start_rebuilds_ = 0;
    std::mutex mutex_;
    std::uint64_t frames_ = 0;
    double first_ = 0;
    double last_ = 0;
    double longest_ = 0;
    std::uint64_t over_25_ = 0;
    std::uint64_t over_33_ = 0;
    std::vector<double> work_;
};

}  // namespace plimsy
