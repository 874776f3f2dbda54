#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "platform/clock.hpp"
#include "platform/main_queue.hpp"

namespace plimsy {

// A main queue that runs nothing by itself: the test thread that created it
// is the main thread and decides when posted work and due timers run. Timers
// follow the given clock, normally a manual_clock_t the test advances.
class manual_main_queue_t final : public main_queue_t {
public:
    explicit manual_main_queue_t(const clock_t& clock);
    manual_main_queue_t(const manual_main_queue_t&) = delete;
    manual_main_queue_t& operator=(const manual_main_queue_t&) = delete;

    void post(std::function<void()> fn) override;
    void post_after(double seconds, std::function<void()> fn) override;
    bool on_main_thread() const override;

    // Runs due timers, then posted work until none is left, including work
    // posted meanwhile. Returns how many functions ran.
    std::size_t run_pending();
    // Runs only the timers that are due at the clock's current time, earliest
    // first, those due together in the order they were set.
    std::size_t run_due();

    // Blocks until some work is posted (or is already waiting), at most
    // timeout_seconds; true if there is work to run.
    bool wait_for_work(double timeout_seconds);

    std::size_t pending() const;
    std::size_t timers() const;
    // When the earliest timer is due, or distant_past when none is set.
    time_point_t next_due() const;

private:
    const clock_t& clock_;
    const std::thread::id main_thread_;
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> work_;
    // Timers are set from the main thread only, but read under the same lock
    // so pending() and friends may be asked from anywhere.
    std::multimap<time_point_t, std::function<void()>> timers_;
};

}  // namespace plimsy
