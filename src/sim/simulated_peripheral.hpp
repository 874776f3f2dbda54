#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ble_central.hpp"

namespace plimsy {

class simulated_central_t;

// A board as a simulated central sees it: an advertised name, a signal
// strength, the UART pair of characteristics and optionally some others.
// What it sends comes from notify() or from its source; what it receives
// goes to on_write and is recorded. Created by simulated_central_t, which
// owns it.
class simulated_peripheral_t {
public:
    static constexpr std::string_view uuid_uart_tx = "6E400003-B5A3-F393-E0A9-E50E24DCCA9E";  // notifies
    static constexpr std::string_view uuid_uart_rx = "6E400002-B5A3-F393-E0A9-E50E24DCCA9E";  // written

    simulated_peripheral_t(const simulated_peripheral_t&) = delete;
    simulated_peripheral_t& operator=(const simulated_peripheral_t&) = delete;

    peripheral_id_t id() const { return id_; }
    const std::optional<std::string>& name() const { return name_; }

    // Reported with each advertisement and each RSSI read, in dBm.
    int rssi = -60;
    // Discovery reports the receiving characteristic before the notifying
    // one; real boards differ in this order.
    bool report_rx_first = false;
    // The next connection attempts fail; the next writes are answered with
    // an error.
    bool fail_connect = false;
    bool fail_writes = false;

    // Each write that reaches the board, once the central delivers it.
    std::function<void(std::span<const std::uint8_t>)> on_write;
    // Asked by simulated_central_t::poll for what the board sends next; each
    // text is one notify() (line ends are the source's to add).
    std::function<void(std::vector<std::string>&)> source;

    // Another characteristic, in a service of its own, read once after
    // discovery like any other.
    void add_characteristic(std::string uuid, std::vector<std::uint8_t> value);

    // Sends bytes to the central as notifications cut into pieces of the
    // link's size. False (and nothing sent) unless connected with
    // notifications on.
    bool notify(std::span<const std::uint8_t> bytes);
    bool notify(std::string_view text);

    // Out of range: an established connection is lost with an error; a
    // pending attempt waits.
    void lose();
    // Back in range: advertises again, and a pending attempt completes.
    void reappear();

    bool in_range() const { return in_range_; }
    bool connected() const { return connected_; }
    bool notifying() const;
    // The most recent writes received (at most write_history of them, so a
    // relayed flood does not pile up here), oldest first.
    const std::deque<std::vector<std::uint8_t>>& writes() const { return writes_; }
    // Those writes joined.
    std::string written() const;
    void clear_writes() { writes_.clear(); }
    // Every write and byte received since creation.
    std::uint64_t writes_received() const { return writes_received_; }
    std::uint64_t bytes_written() const { return bytes_written_; }
    static constexpr std::size_t write_history = 256;

private:
    friend class simulated_central_t;

    struct characteristic_t {
        characteristic_id_t id = 0;
        service_id_t service = 0;
        std::string uuid;
        std::vector<std::uint8_t> value;
        bool notifying = false;
    };

    simulated_peripheral_t(simulated_central_t& central, peripheral_id_t id, std::optional<std::string> name,
                           int rssi);

    characteristic_t* find(characteristic_id_t id);
    service_id_t uart_service() const { return id_ << 16 | 1; }
    service_id_t other_service() const { return id_ << 16 | 2; }
    characteristic_t& tx() { return characteristics_[0]; }
    characteristic_t& rx() { return characteristics_[1]; }
    void record_write(const std::vector<std::uint8_t>& bytes);

    simulated_central_t& central_;
    peripheral_id_t id_;
    std::optional<std::string> name_;
    std::vector<characteristic_t> characteristics_;  // tx, rx, then the others
    std::deque<std::vector<std::uint8_t>> writes_;
    std::uint64_t writes_received_ = 0;
    std::uint64_t bytes_written_ = 0;
    bool in_range_ = true;
    bool connecting_ = false;
    bool connected_ = false;
};

}  // namespace plimsy
