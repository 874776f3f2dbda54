#pragma once

#include <QObject>
#include <QSerialPort>

#include <cstdint>

#include "platform/serial_port.hpp"

namespace plimsy {

// The host's serial ports through Qt Serial Port, driven by the event loop
// of the thread that creates it: reads and writes happen when the device is
// ready, so no call waits for it. Works on any tty, pseudo-terminals
// included (opened by path).
class qt_serial_port_t final : public serial_port_t {
public:
    // Bytes waiting to be written beyond which write() refuses more.
    static constexpr qint64 max_queued = 64 * 1024;
    // Largest piece handed to the delegate at once, as a TCP read.
    static constexpr qint64 max_chunk = 2047;

    qt_serial_port_t();
    ~qt_serial_port_t() override;

    std::vector<serial_port_info_t> available() const override;
    void set_delegate(serial_port_delegate_t* delegate) override;
    serial_result_t open(const std::string& name, std::uint32_t baud) override;
    void close() override;
    bool is_open() const override;
    bool write(std::span<const std::uint8_t> bytes) override;

private:
    // Why an open failed, in the terms the transport explains to the user.
    static serial_result_t classify(QSerialPort::SerialPortError error, const std::string& path,
                                    const std::string& text);

    void read_all();
    void error_occurred(QSerialPort::SerialPortError error);

    // Owns the connections and the queued stop events: nothing arrives
    // after this object is gone.
    QObject context_;
    QSerialPort port_;
    serial_port_delegate_t* delegate_ = nullptr;
    // Counts opens, so that a stop queued for an earlier open is dropped.
    std::uint64_t generation_ = 0;
    bool stopping_ = false;
};

}  // namespace plimsy
