#pragma once

#include <QObject>

#include "platform/main_queue.hpp"

namespace plimsy {

// The main queue on the Qt event loop of the thread that creates it (the
// GUI thread). Work posted from a worker is queued as an event; a worker that
// must wait (the TCP client's hand-over) blocks until the loop has run it.
class qt_main_queue_t final : public main_queue_t {
public:
    qt_main_queue_t();
    ~qt_main_queue_t() override;

    void post(std::function<void()> fn) override;
    void post_after(double seconds, std::function<void()> fn) override;
    bool on_main_thread() const override;

private:
    // Owns the queued events: work posted after the queue is gone is
    // dropped with it instead of running against freed state.
    QObject context_;
};

}  // namespace plimsy
