#include "qt/qt_serial_port.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <QSerialPortInfo>

#include <array>

namespace plimsy {

qt_serial_port_t::qt_serial_port_t() {
    QObject::connect(&port_, &QSerialPort::readyRead, &context_, [this] { read_all(); });
    QObject::connect(&port_, &QSerialPort::errorOccurred, &context_,
                     [this](QSerialPort::SerialPortError e) { error_occurred(e); });
}

qt_serial_port_t::~qt_serial_port_t() {
    delegate_ = nullptr;
    QObject::disconnect(&port_, nullptr, &context_, nullptr);
    if (port_.isOpen()) port_.close();
}

std::vector<serial_port_info_t> qt_serial_port_t::available() const {
    std::vector<serial_port_info_t> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        serial_port_info_t p;
        p.name = info.systemLocation().toStdString();
        p.description = info.description().toStdString();
        p.manufacturer = info.manufacturer().toStdString();
        p.serial_number = info.serialNumber().toStdString();
        if (info.hasVendorIdentifier()) p.vendor_id = info.vendorIdentifier();
        if (info.hasProductIdentifier()) p.product_id = info.productIdentifier();
        ports.push_back(std::move(p));
    }
    return ports;
}

void qt_serial_port_t::set_delegate(serial_port_delegate_t* delegate) { delegate_ = delegate; }

serial_result_t qt_serial_port_t::classify(QSerialPort::SerialPortError error, const std::string& path,
                                           const std::string& text) {
    switch (error) {
    case QSerialPort::NoError:
        return {};
    case QSerialPort::DeviceNotFoundError:
        return {serial_error_t::not_found, text};
    case QSerialPort::PermissionError:
        // Qt reports a port held by another program (EBUSY, or its lock
        // file) as a permission error too; only the device's own mode
        // tells them apart. AT_EACCESS: the ids the open was made with.
        if (::faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) == 0) {
            // A lock folder (/run/lock) we may not write is neither: say
            // what Qt said.
            if (text.find("creating lock file") != std::string::npos) return {serial_error_t::other, text};
            return {serial_error_t::busy, text};
        }
        return {serial_error_t::permission_denied, text};
    default:
        return {serial_error_t::other, text};
    }
}

serial_result_t qt_serial_port_t::open(const std::string& name, std::uint32_t baud) {
    close();
    ++generation_;
    port_.setPortName(QString::fromStdString(name));
    if (!port_.open(QIODevice::ReadWrite)) {
        const serial_result_t result = classify(port_.error(), name, port_.errorString().toStdString());
        port_.clearError();
        return result;
    }
    const bool set = port_.setBaudRate(static_cast<qint32>(baud)) && port_.setDataBits(QSerialPort::Data8) &&
                     port_.setParity(QSerialPort::NoParity) && port_.setStopBits(QSerialPort::OneStop) &&
                     port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!set) {
        const serial_result_t result{serial_error_t::other,
                                     "cannot set " + std::to_string(baud) + " baud 8N1: " +
                                         port_.errorString().toStdString()};
        close();
        return result;
    }
    return {};
}

void qt_serial_port_t::close() {
    if (!port_.isOpen()) return;
    ++generation_;
    // Closing an open port raises no error, but be sure none is forwarded.
    stopping_ = true;
    port_.close();
    port_.clearError();
    stopping_ = false;
}

bool qt_serial_port_t::is_open() const { return port_.isOpen(); }

bool qt_serial_port_t::write(std::span<const std::uint8_t> bytes) {
    if (!port_.isOpen()) return false;
    if (port_.bytesToWrite() + static_cast<qint64>(bytes.size()) > max_queued) return false;
    // QSerialPort copies into its own buffer and writes when the device is
    // ready; this never waits.
    return port_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) ==
           static_cast<qint64>(bytes.size());
}

void qt_serial_port_t::read_all() {
    std::array<char, max_chunk> buffer;
    const std::uint64_t generation = generation_;
    while (port_.isOpen() && generation == generation_ && port_.bytesAvailable() > 0) {
        const qint64 n = port_.read(buffer.data(), max_chunk);
        if (n <= 0) break;
        if (delegate_)
            delegate_->serial_received(
                std::span(reinterpret_cast<const std::uint8_t*>(buffer.data()), static_cast<std::size_t>(n)));
    }
}

void qt_serial_port_t::error_occurred(QSerialPort::SerialPortError error) {
    if (stopping_ || !port_.isOpen()) return;
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::TimeoutError:
    case QSerialPort::NotOpenError:
    case QSerialPort::UnsupportedOperationError:
        return;
    default:
        break;
    }
    const serial_result_t why{error == QSerialPort::ResourceError ? serial_error_t::lost : serial_error_t::other,
                              port_.errorString().toStdString()};
    // Unplugged (EIO), or reads and writes failing: the port is of no more
    // use. Close it now so the notifier stops firing, and tell the owner
    // from the event loop, not from inside whatever Qt call raised this.
    port_.clearError();
    close();
    const std::uint64_t generation = generation_;
    QMetaObject::invokeMethod(
        &context_,
        [this, why, generation] {
            if (generation == generation_ && delegate_) delegate_->serial_stopped(why);
        },
        Qt::QueuedConnection);
}

}  // namespace plimsy
