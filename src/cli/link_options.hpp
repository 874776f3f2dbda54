#pragma once

// What the commands that reach a board (connect, record) share: the link
// options of their command lines and the host their session runs on.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "model/device_model.hpp"
#include "platform/console.hpp"
#include "platform/event_loop.hpp"
#include "session/session.hpp"
#include "transport/serial.hpp"

namespace plimsy {

class qt_host_t;
// Only a build with Qt has a Qt host to delete (and the code to delete it).
struct qt_host_deleter_t {
    void operator()(qt_host_t* host) const;
};

struct link_options_t {
    std::optional<std::string> host;  // numeric IPv4
    std::uint16_t port = 0;
    std::optional<std::string> ble_name;
    std::optional<serial_target_t> serial;
    bool simulate = false;
    device_model_t board = device_model_t::compass_gravity;
};

// The usage lines of the link options, for a command's --help.
extern const char* const link_options_usage;

// Reads the option at argv[i] if it is a link option (--tcp, --ble,
// --serial, --simulate), with its value (i then points at the last word
// used). not_mine: another option, for the command to read; bad: `why`
// says what is wrong.
enum class link_option_t { not_mine, ok, bad };
link_option_t parse_link_option(int argc, const char* const* argv, int& i, link_options_t& o, std::string& why);
// After the last option: the defaults and what cannot go together; false
// with the reason in `why`.
bool check_link_options(link_options_t& o, std::string& why);

// The event loop and services a headless session runs on: Qt's event loop
// for a real Bluetooth radio or a serial port (Qt delivers their events),
// the portable one otherwise. Console lines go to `err`.
class link_host_t {
public:
    link_host_t(const link_options_t& o, std::FILE* err);
    ~link_host_t();
    link_host_t(const link_host_t&) = delete;
    link_host_t& operator=(const link_host_t&) = delete;

    main_queue_t& main() { return *main_; }
    console_t& console() { return console_; }
    void run();   // until quit()
    void quit();

    session_services_t services();
    // The links asked for go into the session's settings, kept in memory: a
    // run never changes the application's saved connection.
    session_options_t session_options() const;

private:
    link_options_t o_;
    event_loop_t portable_;
    std::unique_ptr<qt_host_t, qt_host_deleter_t> qt_;
    main_queue_t* main_ = &portable_;
    stdout_console_t console_;
};

}  // namespace plimsy
