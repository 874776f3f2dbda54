#include "qt/qt_main_queue.hpp"

#include <QMetaObject>
#include <QThread>
#include <QTimer>
#include <cmath>

namespace plimsy {

qt_main_queue_t::qt_main_queue_t() = default;
qt_main_queue_t::~qt_main_queue_t() = default;

void qt_main_queue_t::post(std::function<void()> fn) {
    QMetaObject::invokeMethod(&context_, std::move(fn), Qt::QueuedConnection);
}

void qt_main_queue_t::post_after(double seconds, std::function<void()> fn) {
    const int ms = seconds <= 0 ? 0 : static_cast<int>(std::lround(seconds * 1000.0));
    QTimer::singleShot(ms, Qt::PreciseTimer, &context_, std::move(fn));
}

bool qt_main_queue_t::on_main_thread() const { return QThread::currentThread() == context_.thread(); }

}  // namespace plimsy
