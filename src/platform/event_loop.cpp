#include "platform/event_loop.hpp"

#include <chrono>
#include <memory>

namespace plimsy {

event_loop_t::event_loop_t(const clock_t& clock) : clock_(clock), main_thread_(std::this_thread::get_id()) {}

void event_loop_t::post(std::function<void()> fn) {
    {
        std::lock_guard lock(mutex_);
        work_.push_back(std::move(fn));
    }
    wake_.notify_all();
}

void event_loop_t::post_after(double seconds, std::function<void()> fn) {
    {
        std::lock_guard lock(mutex_);
        timers_.emplace(clock_.now() + seconds, std::move(fn));
    }
    wake_.notify_all();
}

bool event_loop_t::on_main_thread() const {
    std::lock_guard lock(mutex_);
    return std::this_thread::get_id() == main_thread_;
}

void event_loop_t::quit() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
}

void event_loop_t::run() {
    std::unique_lock lock(mutex_);
    main_thread_ = std::this_thread::get_id();
    while (!quit_) {
        std::function<void()> fn;
        if (!timers_.empty() && timers_.begin()->first <= clock_.now()) {
            fn = std::move(timers_.begin()->second);
            timers_.erase(timers_.begin());
        } else if (!work_.empty()) {
            fn = std::move(work_.front());
            work_.pop_front();
        } else if (!timers_.empty()) {
            // The clock is a wall clock; waiting a relative time on the
            // condition variable's steady clock is near enough for a
            // one-shot timer, and the deadline is checked again on waking.
            const double left = timers_.begin()->first - clock_.now();
            wake_.wait_for(lock, std::chrono::duration<double>(left));
            continue;
        } else {
            wake_.wait(lock);
            continue;
        }
        lock.unlock();
        fn();
        fn = nullptr;  // captured state is released before the next turn
        lock.lock();
    }
    quit_ = false;
}

}  // namespace plimsy
