#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "platform/clock.hpp"
#include "platform/main_queue.hpp"

namespace plimsy {

// A plain event loop for hosts without a toolkit (the headless CLI): the
// thread that calls run() becomes the main thread until quit(). Posting,
// waiting hand-over and timers work from any thread.
class event_loop_t final : public main_queue_t {
public:
    explicit event_loop_t(const clock_t& clock = system_clock_t::instance());
    event_loop_t(const event_loop_t&) = delete;
    event_loop_t& operator=(const event_loop_t&) = delete;

    // post_and_wait: the caller must keep the loop running until fn has run,
    // or it waits for ever: a worker handing over to a loop that has quit
    // never returns.
    void post(std::function<void()> fn) override;
    void post_after(double seconds, std::function<void()> fn) override;
    bool on_main_thread() const override;

    // Runs posted work and due timers on the calling thread until quit().
    // Work posted before run() is kept and runs first.
    void run();
    // Makes run() return after the function it is running, if any. Callable
    // from any thread, also before run(), which then returns at once.
    void quit();

private:
    const clock_t& clock_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> work_;
    std::multimap<time_point_t, std::function<void()>> timers_;
    std::thread::id main_thread_;
    bool quit_ = false;
};

}  // namespace plimsy
