#include "sim/simulated_central.hpp"

#include <algorithm>

namespace plimsy {

simulated_central_t::simulated_central_t(ble_power_t state) : state_(state) {}

simulated_central_t::~simulated_central_t() = default;

simulated_peripheral_t& simulated_central_t::add_peripheral(std::optional<std::string> name, int rssi) {
    const peripheral_id_t id = peripherals_.size() + 1;
    // The constructor is private to keep every peripheral owned here.
    peripherals_.emplace_back(new simulated_peripheral_t(*this, id, std::move(name), rssi));
    auto& p = *peripherals_.back();
    advertise(p);
    return p;
}

simulated_peripheral_t* simulated_central_t::peripheral(peripheral_id_t id) {
    return id >= 1 && id <= peripherals_.size() ? peripherals_[id - 1].get() : nullptr;
}

const simulated_peripheral_t* simulated_central_t::find(peripheral_id_t id) const {
    return id >= 1 && id <= peripherals_.size() ? peripherals_[id - 1].get() : nullptr;
}

simulated_peripheral_t* simulated_central_t::connected_peripheral(peripheral_id_t id) {
    auto* p = peripheral(id);
    return p && p->connected_ ? p : nullptr;
}

void simulated_central_t::post(std::function<void(ble_central_delegate_t&)> fn) { events_.push_back(std::move(fn)); }

std::size_t simulated_central_t::run_pending(std::size_t max) {
    std::size_t n = 0;
    while (!events_.empty() && n < max) {
        auto event = std::move(events_.front());
        events_.pop_front();
        ++n;
        if (delegate_) event(*delegate_);
    }
    return n;
}

std::size_t simulated_central_t::poll() {
    std::size_t n = 0;
    std::vector<std::string> texts;
    for (auto& p : peripherals_) {
        if (!p->connected_ || !p->source) continue;
        texts.clear();
        p->source(texts);
        for (const auto& t : texts) p->notify(t);
        n += texts.size();
    }
    return n;
}

void simulated_central_t::set_power(ble_power_t state) {
    state_ = state;
    if (state != ble_power_t::powered_on) {
        scanning_ = false;
        for (auto& p : peripherals_) {
            p->connected_ = p->connecting_ = false;
            for (auto& c : p->characteristics_) c.notifying = false;
        }
    }
    post([state](ble_central_delegate_t& d) { d.central_state_changed(state); });
}

void simulated_central_t::set_delegate(ble_central_delegate_t* delegate) {
    delegate_ = delegate;
    if (delegate_) post([state = state_](ble_central_delegate_t& d) { d.central_state_changed(state); });
}

void simulated_central_t::scan() {
    if (state_ != ble_power_t::powered_on) return;
    scanning_ = true;
    ++scans_started_;
    for (auto& p : peripherals_) advertise(*p);
}

void simulated_central_t::stop_scan() { scanning_ = false; }

void simulated_central_t::advertise(simulated_peripheral_t& p) {
    if (!scanning_ || !p.in_range_ || p.connected_ || p.connecting_) return;
    post([this, &p](ble_central_delegate_t& d) {
        // An advertisement that arrives after the scan stopped is not reported.
        if (scanning_ && p.in_range_) d.peripheral_discovered(p.id_, p.name_, p.rssi);
    });
}

void simulated_central_t::connect(peripheral_id_t id) {
    auto* p = peripheral(id);
    if (!p || state_ != ble_power_t::powered_on || p->connected_ || p->connecting_) return;
    ++connects_requested_;
    if (p->fail_connect) {
        post([id](ble_central_delegate_t& d) { d.peripheral_failed_to_connect(id, "Connection failed"); });
        return;
    }
    p->connecting_ = true;
    // Out of range the attempt waits, as a real central's does.
    if (p->in_range_) complete_connection(*p);
}

void simulated_central_t::complete_connection(simulated_peripheral_t& p) {
    post([&p](ble_central_delegate_t& d) {
        if (!p.connecting_ || !p.in_range_) return;  // cancelled or gone meanwhile
        p.connecting_ = false;
        p.connected_ = true;
        d.peripheral_connected(p.id_);
    });
}

void simulated_central_t::cancel_connection(peripheral_id_t id) {
    auto* p = peripheral(id);
    if (!p || (!p->connected_ && !p->connecting_)) return;
    p->connected_ = p->connecting_ = false;
    for (auto& c : p->characteristics_) c.notifying = false;
    post([id](ble_central_delegate_t& d) { d.peripheral_disconnected(id, std::nullopt); });
    advertise(*p);
}

void simulated_central_t::lost(simulated_peripheral_t& p) {
    p.connected_ = false;
    for (auto& c : p.characteristics_) c.notifying = false;
    post([id = p.id_](ble_central_delegate_t& d) {
        d.peripheral_disconnected(id, std::string("The connection has timed out unexpectedly."));
    });
}

std::optional<std::string> simulated_central_t::name(peripheral_id_t id) const {
    const auto* p = find(id);
    return p ? p->name_ : std::nullopt;
}

std::string simulated_central_t::description(peripheral_id_t id) const {
    const auto* p = find(id);
    if (!p) return "<unknown peripheral " + std::to_string(id) + ">";
    return "<simulated peripheral " + std::to_string(id) + " name = " + p->name_.value_or("(null)") + ">";
}

void simulated_central_t::discover_services(peripheral_id_t id) {
    auto* p = connected_peripheral(id);
    if (!p) return;
    std::vector<service_id_t> services{p->uart_service()};
    if (p->characteristics_.size() > 2) services.push_back(p->other_service());
    post([id, services](ble_central_delegate_t& d) { d.services_discovered(id, services); });
}

void simulated_central_t::discover_characteristics(peripheral_id_t id, service_id_t service) {
    auto* p = connected_peripheral(id);
    if (!p) return;
    std::vector<ble_characteristic_info_t> found;
    for (const auto& c : p->characteristics_)
        if (c.service == service) found.push_back({c.id, c.uuid});
    if (service == p->uart_service() && p->report_rx_first) std::swap(found[0], found[1]);
    post([id, service, found](ble_central_delegate_t& d) { d.characteristics_discovered(id, service, found); });
}

void simulated_central_t::read_value(peripheral_id_t id, characteristic_id_t characteristic) {
    auto* p = connected_peripheral(id);
    if (!p) return;
    auto* c = p->find(characteristic);
    if (!c) return;
    post([id, characteristic, value = c->value](ble_central_delegate_t& d) {
        d.value_updated(id, characteristic, value);
    });
}

void simulated_central_t::set_notify(peripheral_id_t id, characteristic_id_t characteristic, bool on) {
    auto* p = connected_peripheral(id);
    if (!p) return;
    if (auto* c = p->find(characteristic)) c->notifying = on;
}

void simulated_central_t::send_notifications(simulated_peripheral_t& p, std::span<const std::uint8_t> bytes) {
    const std::size_t size = std::max<std::size_t>(notify_size, 1);
    for (std::size_t at = 0; at < bytes.size(); at += size) {
        std::vector<std::uint8_t> piece(bytes.begin() + at, bytes.begin() + std::min(bytes.size(), at + size));
        post([&p, piece = std::move(piece)](ble_central_delegate_t& d) {
            // What was still in flight when the link dropped never arrives.
            if (p.notifying()) d.value_updated(p.id_, p.tx().id, piece);
        });
    }
}

void simulated_central_t::write_with_response(peripheral_id_t id, characteristic_id_t characteristic,
                                              std::span<const std::uint8_t> bytes) {
    post([this, id, characteristic, bytes = std::vector<std::uint8_t>(bytes.begin(), bytes.end())](
             ble_central_delegate_t& d) {
        auto* p = connected_peripheral(id);
        if (!p) return d.value_written(id, characteristic, std::string("The peripheral is not connected."));
        if (characteristic != p->rx().id)
            return d.value_written(id, characteristic, std::string("Writing is not permitted."));
        if (p->fail_writes) return d.value_written(id, characteristic, std::string("Unlikely error."));
        p->record_write(bytes);
        if (p->on_write) p->on_write(bytes);
        d.value_written(id, characteristic, std::nullopt);
    });
}

void simulated_central_t::read_rssi(peripheral_id_t id) {
    auto* p = connected_peripheral(id);
    if (!p) return;
    post([id, p](ble_central_delegate_t& d) { d.rssi_read(id, p->rssi); });
}

}  // namespace plimsy
