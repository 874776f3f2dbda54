#include "sim/simulated_peripheral.hpp"

#include "sim/simulated_central.hpp"

namespace plimsy {

simulated_peripheral_t::simulated_peripheral_t(simulated_central_t& central, peripheral_id_t id,
                                               std::optional<std::string> name, int rssi_dbm)
    : rssi(rssi_dbm), central_(central), id_(id), name_(std::move(name)) {
    characteristics_.push_back({id_ << 16 | 0x100, uart_service(), std::string(uuid_uart_tx), {}, false});
    characteristics_.push_back({id_ << 16 | 0x101, uart_service(), std::string(uuid_uart_rx), {}, false});
}

void simulated_peripheral_t::add_characteristic(std::string uuid, std::vector<std::uint8_t> value) {
    const auto id = id_ << 16 | (0x100 + characteristics_.size());
    characteristics_.push_back({id, other_service(), std::move(uuid), std::move(value), false});
}

simulated_peripheral_t::characteristic_t* simulated_peripheral_t::find(characteristic_id_t id) {
    for (auto& c : characteristics_)
        if (c.id == id) return &c;
    return nullptr;
}

bool simulated_peripheral_t::notifying() const { return connected_ && characteristics_[0].notifying; }

bool simulated_peripheral_t::notify(std::span<const std::uint8_t> bytes) {
    if (!notifying()) return false;
    central_.send_notifications(*this, bytes);
    return true;
}

bool simulated_peripheral_t::notify(std::string_view text) {
    return notify(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void simulated_peripheral_t::lose() {
    in_range_ = false;
    if (connected_) central_.lost(*this);
}

void simulated_peripheral_t::reappear() {
    if (in_range_) return;
    in_range_ = true;
    if (connecting_)
        central_.complete_connection(*this);
    else
        central_.advertise(*this);
}

void simulated_peripheral_t::record_write(const std::vector<std::uint8_t>& bytes) {
    ++writes_received_;
    bytes_written_ += bytes.size();
    writes_.push_back(bytes);
    if (writes_.size() > write_history) writes_.pop_front();
}

std::string simulated_peripheral_t::written() const {
    std::string out;
    for (const auto& w : writes_) out.append(w.begin(), w.end());
    return out;
}

}  // namespace plimsy
