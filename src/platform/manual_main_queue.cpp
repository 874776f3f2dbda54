#include "platform/manual_main_queue.hpp"

#include <chrono>
#include <memory>

namespace plimsy {

manual_main_queue_t::manual_main_queue_t(const clock_t& clock)
    : clock_(clock), main_thread_(std::this_thread::get_id()) {}

void manual_main_queue_t::post(std::function<void()> fn) {
    {
        std::lock_guard lock(mutex_);
        work_.push_back(std::move(fn));
    }
    posted_.notify_all();
}

void manual_main_queue_t::post_after(double seconds, std::function<void()> fn) {
    std::lock_guard lock(mutex_);
    timers_.emplace(clock_.now() + seconds, std::move(fn));
}

bool manual_main_queue_t::on_main_thread() const { return std::this_thread::get_id() == main_thread_; }

std::size_t manual_main_queue_t::run_due() {
    std::size_t ran = 0;
    while (true) {
        std::function<void()> fn;
        {
            std::lock_guard lock(mutex_);
            // A timer may set another timer, so take them one at a time and
            // never hold the lock while one runs.
            if (timers_.empty() || timers_.begin()->first > clock_.now()) break;
            fn = std::move(timers_.begin()->second);
            timers_.erase(timers_.begin());
        }
        fn();
        ++ran;
    }
    return ran;
}

std::size_t manual_main_queue_t::run_pending() {
    std::size_t ran = run_due();
    while (true) {
        std::function<void()> fn;
        {
            std::lock_guard lock(mutex_);
            if (work_.empty()) break;
            fn = std::move(work_.front());
            work_.pop_front();
        }
        fn();
        ++ran;
    }
    return ran;
}

bool manual_main_queue_t::wait_for_work(double timeout_seconds) {
    std::unique_lock lock(mutex_);
    return posted_.wait_for(lock, std::chrono::duration<double>(timeout_seconds), [&] { return !work_.empty(); });
}

std::size_t manual_main_queue_t::pending() const {
    std::lock_guard lock(mutex_);
    return work_.size();
}

std::size_t manual_main_queue_t::timers() const {
    std::lock_guard lock(mutex_);
    return timers_.size();
}

time_point_t manual_main_queue_t::next_due() const {
    std::lock_guard lock(mutex_);
    return timers_.empty() ? distant_past : timers_.begin()->first;
}

}  // namespace plimsy
