#pragma once

#include <memory>

#include "platform/ble_central.hpp"
#include "platform/main_queue.hpp"
#include "platform/serial_port.hpp"

namespace plimsy {

// What "connect" needs to reach a real board over Bluetooth: Qt's event
// loop (Qt Bluetooth delivers everything through it) as the main queue and
// the Qt Bluetooth central. Creates the Qt application object if the
// process has none yet and removes it again when done.
class qt_host_t {
public:
    qt_host_t();
    ~qt_host_t();
    qt_host_t(const qt_host_t&) = delete;
    qt_host_t& operator=(const qt_host_t&) = delete;

    main_queue_t& main();
    std::unique_ptr<ble_central_t> make_central();
    std::unique_ptr<serial_port_t> make_serial_port();
    // Runs the event loop on the calling thread until quit(), called from
    // work that the loop runs.
    void run();
    void quit();

private:
    struct impl_t;
    std::unique_ptr<impl_t> impl_;
};

}  // namespace plimsy
