#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace plimsy {

// One serial port the host offers now. name is what open() takes, the
// device path ("/dev/ttyACM0"). The USB fields are empty (or absent) for a
// port that is not on USB.
struct serial_port_info_t {
    std::string name;
    std::string description;   // "USB Serial Device", "CP2102 USB to UART Bridge Controller"
    std::string manufacturer;  // "Silicon Labs"
    std::string serial_number; // the USB serial number: the same board under any device name
    std::optional<std::uint16_t> vendor_id;
    std::optional<std::uint16_t> product_id;
};

// Why a port could not be opened, or why an open port stopped.
enum class serial_error_t {
    none,
    not_found,          // no such device (never plugged in, or unplugged)
    permission_denied,  // the user may not open it (not in the dialout group)
    busy,               // another program holds it
    lost,               // an open port went away (unplugged)
    other,
};

struct serial_result_t {
    serial_error_t error = serial_error_t::none;
    std::string text;  // the platform's description, for the console
    bool ok() const { return error == serial_error_t::none; }
};

// Events of an open port. Every call arrives on the main thread, never from
// inside a call into the port.
class serial_port_delegate_t {
public:
    virtual ~serial_port_delegate_t() = default;
    // Bytes as they arrived, in pieces of at most a few kilobytes. Valid for
    // the duration of the call only.
    virtual void serial_received(std::span<const std::uint8_t> bytes) = 0;
    // The port stopped working and has been closed (unplugged, or an I/O
    // error); nothing more arrives until it is opened again.
    virtual void serial_stopped(const serial_result_t& why) = 0;
};

// The host's serial ports, one of them open at a time. Main thread only;
// nothing here waits for the device.
class serial_port_t {
public:
    virtual ~serial_port_t() = default;

    virtual std::vector<serial_port_info_t> available() const = 0;

    virtual void set_delegate(serial_port_delegate_t* delegate) = 0;
    // Opens name (a device path) at baud, 8 data bits, no parity, one stop
    // bit, no flow control. Closes a port that is already open first.
    virtual serial_result_t open(const std::string& name, std::uint32_t baud) = 0;
    virtual void close() = 0;
    virtual bool is_open() const = 0;
    // Queues the bytes for writing and returns at once. False when the port
    // is not open or its queue is full (the bytes are then dropped): a board
    // that stopped reading must not make the application hoard memory.
    virtual bool write(std::span<const std::uint8_t> bytes) = 0;
};

// A host without serial ports (a build without Qt): nothing is listed and
// every open is refused with a reason.
class no_serial_port_t final : public serial_port_t {
public:
    std::vector<serial_port_info_t> available() const override { return {}; }
    void set_delegate(serial_port_delegate_t*) override {}
    serial_result_t open(const std::string&, std::uint32_t) override {
        return {serial_error_t::other, "serial ports need a build with Qt (PLIMSY_BUILD_UI=ON)"};
    }
    void close() override {}
    bool is_open() const override { return false; }
    bool write(std::span<const std::uint8_t>) override { return false; }
};

}  // namespace plimsy
