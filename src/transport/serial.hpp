#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/console.hpp"
#include "platform/main_queue.hpp"
#include "platform/serial_port.hpp"
#include "transport/line_reassembler.hpp"
#include "transport/link_state.hpp"
#include "transport/receive_line.hpp"

namespace plimsy {

// What the owner of the serial transport provides: the receivers of the
// lines and frames it reassembles, and the port's events. Every call arrives
// on the main thread.
class serial_delegate_t : public receive_line_t, public receive_arr_t {
public:
    virtual ~serial_delegate_t() = default;
    // The port is open; port is the device actually opened, which after a
    // replug may differ from the one asked for.
    virtual void serial_connected(const std::string& port, std::uint32_t baud) = 0;
    // An attempt failed or the open port went away; message says why and
    // what to do. The transport tries again by itself while enabled.
    virtual void serial_failed(const std::string& port, const std::string& message) = 0;
    // Every received chunk, raw and before it is read as lines or frames
    // (the bridge to a TCP peer).
    virtual void forward_to_tcp(std::span<const std::uint8_t> bytes) = 0;
};

// The board on a cable: a serial port at a chosen speed, 8N1. Received bytes
// are cut into lines and frames by the same rule as TCP chunks; commands are
// written as they are, like over TCP. A port that cannot be opened, or that
// goes away, is tried again every retry_delay seconds while enabled. When
// the port is a USB device with a serial number, the board is found again
// by that number even if the kernel gives it another name.
//
// Main thread only, as are the port's events.
class serial_t final : private serial_port_delegate_t {
public:
    enum class state_t { offline, opening, connected, lost };

    static constexpr double retry_delay = 2.0;
    static constexpr std::uint32_t default_baud = 115200;

    // A port always starts out as text: options.binary is not used.
    serial_t(serial_delegate_t& delegate, serial_port_t& port, main_queue_t& main, console_t& console,
             transport_options_t options = {});
    ~serial_t() override;
    serial_t(const serial_t&) = delete;
    serial_t& operator=(const serial_t&) = delete;

    // Opens port at baud now and keeps it open (or keeps trying) until
    // disconnect. True when that port is already open at that speed, in
    // which case nothing changes.
    bool connect(const std::string& port, std::uint32_t baud);
    void disconnect();
    // Queues bytes for the board; false when not connected or the queue is full.
    bool write(std::span<const std::uint8_t> bytes);

    bool enabled() const { return enabled_; }
    bool connected() const { return state_ == state_t::connected; }
    state_t state() const { return state_; }
    // The same as a value: the peer is the device and speed ("/dev/ttyACM0
    // 115200"); a port that was open and went away is lost, one that could
    // not be opened failed, both with message() as the error.
    link_state_t link() const;
    serial_error_t error() const { return error_; }
    // Why the port is not open, for the status line; empty when it is.
    const std::string& message() const { return message_; }
    // What the user asked for, and the device open now (or last tried).
    const std::string& port_name() const { return port_name_; }
    const std::string& open_name() const { return open_name_; }
    std::uint32_t baud() const { return baud_; }
    // The USB serial number the board is recognised by; empty when unknown.
    const std::string& serial_number() const { return serial_number_; }
    bool binary() const { return reassembler_.binary(); }

    // The user-facing text for a port that could not be opened or was lost.
    static std::string explain(const std::string& port, const serial_result_t& result);

private:
    void attempt();
    void fail(const serial_result_t& result);
    void schedule_retry();
    // serial_port_delegate_t
    void serial_received(std::span<const std::uint8_t> bytes) override;
    void serial_stopped(const serial_result_t& why) override;

    serial_delegate_t& delegate_;
    serial_port_t& port_;
    main_queue_t& main_;
    console_t& console_;

    bool enabled_ = false;
    bool stopped_ = false;
    bool retry_pending_ = false;
    state_t state_ = state_t::offline;
    serial_error_t error_ = serial_error_t::none;
    std::string message_;
    std::string port_name_;
    std::string open_name_;
    std::string serial_number_;
    std::uint32_t baud_ = default_baud;
    line_reassembler_t reassembler_;
    // A retry that fires after the transport is gone finds this expired.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// "PORT" or "PORT:BAUD" (as plimsy-cli takes it). A missing speed is
// default_baud; a speed outside 50..4,000,000 or not a number gives nothing.
struct serial_target_t {
    std::string port;
    std::uint32_t baud = serial_t::default_baud;
};
std::optional<serial_target_t> parse_serial_target(std::string_view text);
// How a port is offered in the settings: its path, then what the USB
// descriptors say, e.g.
// "/dev/ttyACM0  USB Serial Device (Plimsy, 2fe3:0100, serial E66038B7)".
std::string describe_port(const serial_port_info_t& port);
bool valid_baud(std::uint64_t baud);

}  // namespace plimsy
