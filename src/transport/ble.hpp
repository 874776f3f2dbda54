#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/colour.hpp"
#include "platform/ble_central.hpp"
#include "platform/console.hpp"
#include "platform/haptics.hpp"
#include "platform/observable.hpp"
#include "transport/line_reassembler.hpp"
#include "transport/link_state.hpp"
#include "transport/receive_line.hpp"
#include "transport/rssi.hpp"

namespace plimsy {

// What the owner of the BLE transport provides: the receivers of the lines
// and frames it reassembles, and the link's events. Every call arrives on
// the main thread.
class ble_delegate_t : public receive_line_t, public receive_arr_t {
public:
    virtual ~ble_delegate_t() = default;
    // The board is connected and both UART characteristics are ready.
    virtual void ble_connected(const std::string& name) = 0;
    // The board went away unexpectedly; the transport is already scanning
    // for it again.
    virtual void ble_disconnected(const std::string& name) = 0;
    // The raw content of every non-empty notification, before it is read as
    // lines or frames (the bridge to a TCP peer).
    virtual void forward_to_tcp(std::span<const std::uint8_t> bytes) = 0;
};

// The board over Bluetooth Low Energy: finds it by its advertised name,
// connects, subscribes to its UART transmit characteristic and writes
// commands to its receive characteristic. Notifications are cut into lines
// and frames exactly like TCP chunks. After an unexpected loss it scans for
// the same name again and reconnects by itself while enabled.
//
// Runs on the main thread only, as do the central's events.
class ble_t : public observable_t, private ble_central_delegate_t {
public:
    static constexpr std::string_view uuid_plimsy91 = "8D397AE3-8C68-69A8-5609-FBF80B6B0B04";
    static constexpr std::string_view uuid_char_recv = "6E400003-B5A3-F393-E0A9-E50E24DCCA9E";  // board to us
    static constexpr std::string_view uuid_char_send = "6E400002-B5A3-F393-E0A9-E50E24DCCA9E";  // us to board
    static constexpr std::string_view default_name = "Plimsy:91 UART";

    static constexpr colour_t log_colour_ok = colour_t::primary;
    static constexpr colour_t log_colour_error = colour_t::red;
    static constexpr colour_t log_colour_timeout = colour_t::purple;
    static constexpr std::size_t log_rx_drop = 100;
    static constexpr std::size_t log_rx_max_size = 32768;
    // Writes with response go out one at a time at the radio's pace (a few
    // kilobytes a second); a TCP peer relaying faster than that must not
    // pile up writes in the radio stack without end.
    static constexpr std::size_t write_limit = 16 * 1024;

    // central may be null on a host without Bluetooth; the transport then
    // never scans. It becomes the central's delegate until destroyed.
    ble_t(ble_delegate_t& delegate, ble_central_t* central, console_t& console, haptics_t& haptics,
          transport_options_t options = {});
    ~ble_t() override;
    ble_t(const ble_t&) = delete;
    ble_t& operator=(const ble_t&) = delete;

    // Scans if enabled and the radio is on.
    void start_scan();
    // Lets go of the peripheral (cancelling its connection) without
    // reconnecting afterwards.
    void disconnect_peripheral();
    // Drops the current peripheral, if any, and scans for it again.
    void reconnect();
    // The entry a host's message dispatch calls by name.
    void ble_reconnect() { reconnect(); }

    // A command: prefix, text and postfix in one write with response.
    // Refused with a heavy tap when not ready, and refused when the board
    // has not yet answered write_limit bytes of earlier writes. True when
    // written.
    bool write_text(std::string_view text);
    // Raw bytes in one write with response; refused likewise. Refused bytes
    // are counted and reported on the console once per stretch of refusals.
    bool write_data(std::span<const std::uint8_t> bytes);
    // Bytes written and not yet answered by the board.
    std::size_t bytes_in_flight() const { return bytes_in_flight_; }

    bool enabled() const { return enabled_; }
    void set_enabled(bool on) {
        if (enabled_ && !on) stopped_ = true;
        enabled_ = on;
    }
    // Where the link stands, from the transport's own fields: offline while
    // not enabled, failed while the radio refuses (the radio's state is the
    // error), connected once both UART characteristics are known, lost while
    // the board that went away is looked for, connecting while a peripheral
    // is held, scanning otherwise (also while the radio is still settling:
    // the scan starts as soon as it is on).
    link_state_t link() const;
    const std::string& name_connect() const { return name_connect_; }
    void set_name_connect(std::string name);

    // Both UART characteristics of a peripheral are known.
    bool ready() const { return ble_peripheral_ && ble_char_recv_ && ble_char_send_; }
    ble_central_t* ble_manager() const { return central_; }
    bool powered_on() const { return central_ && central_->state() == ble_power_t::powered_on; }
    // The host radio's state; a host without a central has no radio at all.
    ble_power_t power_state() const { return central_ ? central_->state() : ble_power_t::unsupported; }
    std::optional<peripheral_id_t> ble_peripheral() const { return ble_peripheral_; }
    std::optional<characteristic_id_t> ble_char_recv() const { return ble_char_recv_; }
    std::optional<characteristic_id_t> ble_char_send() const { return ble_char_send_; }
    const std::optional<std::string>& name_peripheral() const { return name_peripheral_; }
    const std::optional<std::string>& name_peripheral_reconnect() const { return name_peripheral_reconnect_; }

    bool binary() const { return reassembler_.binary(); }
    bool force_text() const { return reassembler_.force_text(); }
    bool empty_lines() const { return reassembler_.empty_lines; }
    void set_empty_lines(bool on) { reassembler_.empty_lines = on; }
    // The incomplete line carried to the next notification.
    const std::string& msg_rem() const { return reassembler_.rem(); }

    colour_t sta_fg() const { return sta_fg_; }
    const std::string& status() const { return status_; }
    const std::string& log_rx() const { return log_rx_; }
    colour_t log_fg() const { return log_fg_; }
    bool log_enable() const { return log_enable_; }
    void set_log_enable(bool on);
    bool dbg_scan() const { return dbg_scan_; }
    void set_dbg_scan(bool on);

    rssi_t rssi;
    std::string send_prefix;
    std::string send_postfix = "\r\n";

private:
    void central_state_changed(ble_power_t state) override;
    void peripheral_discovered(peripheral_id_t peripheral, const std::optional<std::string>& name,
                               int rssi) override;
    void peripheral_connected(peripheral_id_t peripheral) override;
    void peripheral_failed_to_connect(peripheral_id_t peripheral, std::string_view error) override;
    void peripheral_disconnected(peripheral_id_t peripheral, const std::optional<std::string>& error) override;
    void services_discovered(peripheral_id_t peripheral, std::span<const service_id_t> services) override;
    void characteristics_discovered(peripheral_id_t peripheral, service_id_t service,
                                    std::span<const ble_characteristic_info_t> characteristics) override;
    void value_updated(peripheral_id_t peripheral, characteristic_id_t characteristic,
                       std::span<const std::uint8_t> value) override;
    void value_written(peripheral_id_t peripheral, characteristic_id_t characteristic,
                       const std::optional<std::string>& error) override;
    void rssi_read(peripheral_id_t peripheral, int rssi) override;

    void connect_peripheral(peripheral_id_t peripheral);
    void check_ready();
    void connection_ready();
    void log_append_ble(std::string_view text);
    void set_status(std::string text, std::optional<colour_t> colour = std::nullopt);
    void set_sta_fg(colour_t colour);
    // Room for another write of this size; counts it in flight if so.
    bool take_write(std::size_t size);
    void forget_writes();
    // Events of a peripheral we no longer hold are late arrivals.
    bool current(peripheral_id_t peripheral) const { return ble_peripheral_ == peripheral; }

    ble_delegate_t& delegate_;
    ble_central_t* central_;
    console_t& console_;
    haptics_t& haptics_;

    bool enabled_ = false;
    bool stopped_ = false;   // the user turned the link off after asking for it
    std::string lost_error_;  // what the radio said when the board went away
    colour_t sta_fg_ = colour_t::primary;
    std::string status_ = "offline";
    std::string log_rx_;
    std::size_t log_rx_chars_ = 0;  // characters (code points) in log_rx_
    std::string name_connect_{default_name};
    colour_t log_fg_ = log_colour_ok;
    bool log_enable_ = true;
    bool dbg_scan_ = false;

    line_reassembler_t reassembler_;

    std::deque<std::size_t> in_flight_;  // sizes of the writes not yet answered, oldest first
    std::size_t bytes_in_flight_ = 0;
    std::uint64_t refused_bytes_ = 0;  // in the current stretch of refused writes

    std::optional<peripheral_id_t> ble_peripheral_;
    std::optional<characteristic_id_t> ble_char_recv_;
    std::optional<characteristic_id_t> ble_char_send_;
    std::optional<std::string> name_peripheral_;
    std::optional<std::string> name_peripheral_reconnect_;
};

}  // namespace plimsy
