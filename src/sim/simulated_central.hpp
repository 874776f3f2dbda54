#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ble_central.hpp"
#include "sim/simulated_peripheral.hpp"

namespace plimsy {

// A BLE central in process, for tests and demos without a radio. Like a
// real one it never calls its delegate from inside an operation: every
// event is queued and delivered by run_pending(), which the test or the
// host's main loop calls. State changes that the far side causes (a
// connection completing, a write arriving) happen at delivery, so the
// order of events is the order a real link would show.
class simulated_central_t final : public ble_central_t {
public:
    explicit simulated_central_t(ble_power_t state = ble_power_t::powered_on);
    ~simulated_central_t() override;

    // A new peripheral in range, advertising name (none if absent).
    simulated_peripheral_t& add_peripheral(std::optional<std::string> name, int rssi = -60);
    simulated_peripheral_t* peripheral(peripheral_id_t id);

    // The host radio changes state. Leaving the powered-on state ends scans
    // and connections without further events, as hosts do.
    void set_power(ble_power_t state);

    // Delivers queued events, including those that delivery causes, until
    // none is left or max have been delivered. Returns how many were.
    std::size_t run_pending(std::size_t max = SIZE_MAX);
    std::size_t pending() const { return events_.size(); }
    // Asks every connected peripheral's source for its due texts and sends
    // them. Returns the number of texts.
    std::size_t poll();

    bool scanning() const { return scanning_; }
    int scans_started() const { return scans_started_; }
    int connects_requested() const { return connects_requested_; }

    // Largest notification payload; 20 bytes with the default ATT MTU.
    std::size_t notify_size = 20;

    // ble_central_t
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

private:
    friend class simulated_peripheral_t;

    // Queues fn to run with the delegate at delivery, if there is one then.
    void post(std::function<void(ble_central_delegate_t&)> fn);
    simulated_peripheral_t* connected_peripheral(peripheral_id_t id);
    const simulated_peripheral_t* find(peripheral_id_t id) const;
    void advertise(simulated_peripheral_t& p);
    void complete_connection(simulated_peripheral_t& p);
    void send_notifications(simulated_peripheral_t& p, std::span<const std::uint8_t> bytes);
    void lost(simulated_peripheral_t& p);

    ble_central_delegate_t* delegate_ = nullptr;
    ble_power_t state_;
    bool scanning_ = false;
    int scans_started_ = 0;
    int connects_requested_ = 0;
    std::vector<std::unique_ptr<simulated_peripheral_t>> peripherals_;
    std::deque<std::function<void(ble_central_delegate_t&)>> events_;
};

}  // namespace plimsy
