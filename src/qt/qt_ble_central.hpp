#pragma once

#include <QBluetoothAddress>
#include <QBluetoothDeviceDiscoveryAgent>
#include <QBluetoothDeviceInfo>
#include <QBluetoothUuid>
#include <QLowEnergyCharacteristic>
#include <QObject>
#include <QPointer>
#include <deque>
#include <functional>
#include <map>
#include <memory>

#include "platform/ble_central.hpp"

class QBluetoothLocalDevice;
class QLowEnergyController;
class QLowEnergyService;

namespace plimsy {

// The host's Bluetooth LE central on Qt Bluetooth (BlueZ over D-Bus on
// Linux). Qt reports most things through signals that may fire inside a
// call (a cached value, an error found at once); every event is therefore
// queued on the event loop and handed to the delegate on a later turn.
//
// Peripherals are known by their device address: the same board keeps its
// handle across scans and reconnections. Services and characteristics get
// new handles on each connection; a handle of an earlier connection is never
// reused and operations on it do nothing.
//
// When the radio goes off, scans and links end without events of their own
// (as on other hosts); the power state event tells the whole story.
class qt_ble_central_t final : public ble_central_t {
public:
    qt_ble_central_t();
    ~qt_ble_central_t() override;
    qt_ble_central_t(const qt_ble_central_t&) = delete;
    qt_ble_central_t& operator=(const qt_ble_central_t&) = delete;

    void set_delegate(ble_central_delegate_t* delegate) override;
    ble_power_t state() const override { return state_; }
    void scan() override;
    void stop_scan() override;
    void connect(peripheral_id_t peripheral) override;
    void cancel_connection(peripheral_id_t peripheral) override;
    std::optional<std::string> name(peripheral_id_t peripheral) const override;
    std::string description(peripheral_id_t peripheral) const override;
    void discover_services(peripheral_id_t peripheral) override;
    void discover_characteristics(peripheral_id_t peripheral, service_id_t service) override;
    void read_value(peripheral_id_t peripheral, characteristic_id_t characteristic) override;
    void set_notify(peripheral_id_t peripheral, characteristic_id_t characteristic, bool on) override;
    void write_with_response(peripheral_id_t peripheral, characteristic_id_t characteristic,
                             std::span<const std::uint8_t> bytes) override;
    void read_rssi(peripheral_id_t peripheral) override;

    // The scan is meant to run (between scan() and stop_scan()).
    bool scanning() const { return scanning_; }

private:
    struct peripheral_t {
        peripheral_id_t id = 0;
        QBluetoothDeviceInfo info;
        std::optional<std::string> name;
        int rssi = 0;  // the last the discovery agent saw; 0 before any
        QPointer<QLowEnergyController> controller;
        bool connected = false;
        // Why the link went down, when Qt said so before it went.
        std::optional<std::string> last_error;
        // Counts connections: services and characteristics belong to one.
        int session = 0;
    };
    struct service_t {
        peripheral_id_t peripheral = 0;
        int session = 0;
        QBluetoothUuid uuid;
        QPointer<QLowEnergyService> service;
        bool reported = false;
        // Writes in flight, oldest first: Qt names no characteristic when a
        // write fails.
        std::deque<characteristic_id_t> writes;
    };
    struct characteristic_t {
        peripheral_id_t peripheral = 0;
        service_id_t service = 0;
        QLowEnergyCharacteristic characteristic;
    };

    void post(std::function<void(ble_central_delegate_t&)> fn);
    void update_power();
    ble_power_t read_power() const;
    void scan_failed(QBluetoothDeviceDiscoveryAgent::Error error);
    void start_agent();
    void device_seen(const QBluetoothDeviceInfo& info);
    peripheral_t* find(peripheral_id_t id);
    const peripheral_t* find(peripheral_id_t id) const;
    // The peripheral's controller, if it is connected and id names it.
    QLowEnergyController* live_controller(peripheral_id_t id);
    // Lets go of a controller: no further event of it reaches us.
    void drop_controller(peripheral_t& p);
    void controller_lost(peripheral_id_t id, QLowEnergyController* controller, const std::optional<std::string>& error);
    void report_services(peripheral_id_t id, QLowEnergyController* controller);
    service_t* live_service(peripheral_id_t peripheral, service_id_t id);
    characteristic_t* live_characteristic(peripheral_id_t peripheral, characteristic_id_t id, service_t** service);
    void report_characteristics(service_id_t id);
    std::optional<characteristic_id_t> characteristic_id(service_id_t service, const QLowEnergyCharacteristic& c) const;

    // Parent of every Qt object made here, and the receiver of the queued
    // events: deleting it drops what is still queued.
    std::unique_ptr<QObject> context_;
    ble_central_delegate_t* delegate_ = nullptr;
    QBluetoothLocalDevice* local_ = nullptr;
    QBluetoothDeviceDiscoveryAgent* agent_ = nullptr;
    ble_power_t state_ = ble_power_t::unknown;
    // What a scan that the host refused said of the radio, until the host
    // reports a change of its own.
    std::optional<ble_power_t> scan_refused_;
    bool scanning_ = false;

    std::uint64_t next_id_ = 1;
    std::map<std::uint64_t, peripheral_id_t> by_address_;  // by device address
    std::map<peripheral_id_t, peripheral_t> peripherals_;
    std::map<service_id_t, service_t> services_;
    std::map<characteristic_id_t, characteristic_t> characteristics_;
};

}  // namespace plimsy
