#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace plimsy {

// Opaque handles the central hands out. They stay valid for the life of the
// central; a handle of one kind never names a thing of another kind.
using peripheral_id_t = std::uint64_t;
using service_id_t = std::uint64_t;
using characteristic_id_t = std::uint64_t;

// The host radio's state, with the raw numbers that the status and console
// texts show. A host may report a number outside these cases.
enum class ble_power_t : int {
    unknown = 0,
    resetting = 1,
    unsupported = 2,
    unauthorized = 3,
    powered_off = 4,
    powered_on = 5,
};

// A characteristic as discovery reports it. The UUID is the canonical
// 128-bit text, upper case and without braces
// ("6E400003-B5A3-F393-E0A9-E50E24DCCA9E"); hosts that spell it otherwise
// convert before reporting.
struct ble_characteristic_info_t {
    characteristic_id_t id = 0;
    std::string uuid;
};

// Events of the central and of its peripherals. Every call arrives on the
// main thread, never from inside a call into the central: a central queues
// what its operations cause and reports it later.
class ble_central_delegate_t {
public:
    virtual ~ble_central_delegate_t() = default;

    virtual void central_state_changed(ble_power_t state) = 0;
    // One call per advertisement seen while scanning. The name is what the
    // peripheral advertises, if anything; rssi in dBm.
    virtual void peripheral_discovered(peripheral_id_t peripheral, const std::optional<std::string>& name,
                                       int rssi) = 0;
    virtual void peripheral_connected(peripheral_id_t peripheral) = 0;
    virtual void peripheral_failed_to_connect(peripheral_id_t peripheral, std::string_view error) = 0;
    // error is absent when the disconnection was asked for (cancel).
    virtual void peripheral_disconnected(peripheral_id_t peripheral, const std::optional<std::string>& error) = 0;
    virtual void services_discovered(peripheral_id_t peripheral, std::span<const service_id_t> services) = 0;
    virtual void characteristics_discovered(peripheral_id_t peripheral, service_id_t service,
                                            std::span<const ble_characteristic_info_t> characteristics) = 0;
    // A notification, or the answer to a read. The bytes are valid for the
    // duration of the call only.
    virtual void value_updated(peripheral_id_t peripheral, characteristic_id_t characteristic,
                               std::span<const std::uint8_t> value) = 0;
    // The answer to one write with response; error absent on success.
    virtual void value_written(peripheral_id_t peripheral, characteristic_id_t characteristic,
                               const std::optional<std::string>& error) = 0;
    virtual void rssi_read(peripheral_id_t peripheral, int rssi) = 0;
};

// The host's Bluetooth Low Energy central role, reduced to what the BLE
// transport drives. One delegate receives the events of the central and of
// every peripheral it knows.
class ble_central_t {
public:
    virtual ~ble_central_t() = default;

    // The receiver of all events; null stops delivery. A central reports its
    // power state after a delegate is set.
    virtual void set_delegate(ble_central_delegate_t* delegate) = 0;
    virtual ble_power_t state() const = 0;

    // Scans without a service filter, reporting every advertising peripheral.
    virtual void scan() = 0;
    virtual void stop_scan() = 0;
    // A connected or a failed event follows (a real link may wait for the
    // peripheral to come into range).
    virtual void connect(peripheral_id_t peripheral) = 0;
    // A disconnected event without error follows if there was a connection
    // or an attempt.
    virtual void cancel_connection(peripheral_id_t peripheral) = 0;

    virtual std::optional<std::string> name(peripheral_id_t peripheral) const = 0;
    // A free-form text for the console.
    virtual std::string description(peripheral_id_t peripheral) const = 0;

    virtual void discover_services(peripheral_id_t peripheral) = 0;
    virtual void discover_characteristics(peripheral_id_t peripheral, service_id_t service) = 0;
    virtual void read_value(peripheral_id_t peripheral, characteristic_id_t characteristic) = 0;
    virtual void set_notify(peripheral_id_t peripheral, characteristic_id_t characteristic, bool on) = 0;
    // One write, one value_written event.
    virtual void write_with_response(peripheral_id_t peripheral, characteristic_id_t characteristic,
                                     std::span<const std::uint8_t> bytes) = 0;
    virtual void read_rssi(peripheral_id_t peripheral) = 0;
};

}  // namespace plimsy
