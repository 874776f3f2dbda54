#pragma once

#include <functional>

namespace plimsy {

// The one thread that runs all logic. Workers (the TCP client's connection
// attempt and receive loop) hand their results over through this.
class main_queue_t {
public:
    virtual ~main_queue_t() = default;

    // Runs fn later on the main thread. Callable from any thread.
    virtual void post(std::function<void()> fn) = 0;

    // Runs fn on the main thread and returns once it has run. On the main
    // thread itself fn runs at once: waiting for ourselves would never end.
    // The default posts fn and blocks on its completion.
    virtual void post_and_wait(std::function<void()> fn);

    // Runs fn once on the main thread after the given delay. Called from the
    // main thread.
    virtual void post_after(double seconds, std::function<void()> fn) = 0;

    // True when called on the thread that runs the posted work.
    virtual bool on_main_thread() const = 0;
};

}  // namespace plimsy
