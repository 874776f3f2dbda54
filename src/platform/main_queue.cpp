#include "platform/main_queue.hpp"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace plimsy {

void main_queue_t::post_and_wait(std::function<void()> fn) {
    if (on_main_thread()) {
        fn();
        return;
    }
    struct done_t {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
    };
    auto done = std::make_shared<done_t>();
    post([fn = std::move(fn), done] {
        fn();
        {
            std::lock_guard lock(done->mutex);
            done->done = true;
        }
        done->cv.notify_all();
    });
    std::unique_lock lock(done->mutex);
    done->cv.wait(lock, [&] { return done->done; });
}

}  // namespace plimsy
