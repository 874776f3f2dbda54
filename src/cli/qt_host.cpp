#include "cli/qt_host.hpp"

#include <QCoreApplication>
#include <QEventLoop>

#include "qt/platform_services.hpp"
#include "qt/qt_main_queue.hpp"
#include "qt/qt_serial_port.hpp"

namespace plimsy {

namespace {
// QCoreApplication keeps references to these for its whole life.
int app_argc = 1;
char app_name[] = "plimsy-cli";
char* app_argv[] = {app_name, nullptr};
}  // namespace

struct qt_host_t::impl_t {
    // Only when the process has none: a test program may already run one.
    std::unique_ptr<QCoreApplication> app;
    std::unique_ptr<qt_main_queue_t> main;
    QEventLoop* loop = nullptr;
};

qt_host_t::qt_host_t() : impl_(std::make_unique<impl_t>()) {
    if (!QCoreApplication::instance()) impl_->app = std::make_unique<QCoreApplication>(app_argc, app_argv);
    impl_->main = std::make_unique<qt_main_queue_t>();
}

qt_host_t::~qt_host_t() {
    impl_->main.reset();
    impl_->app.reset();
}

main_queue_t& qt_host_t::main() { return *impl_->main; }

std::unique_ptr<ble_central_t> qt_host_t::make_central() { return make_platform_central(); }

std::unique_ptr<serial_port_t> qt_host_t::make_serial_port() { return std::make_unique<qt_serial_port_t>(); }

void qt_host_t::run() {
    QEventLoop loop;
    impl_->loop = &loop;
    loop.exec();
    impl_->loop = nullptr;
}

void qt_host_t::quit() {
    if (impl_->loop) impl_->loop->quit();
}

}  // namespace plimsy
