#include "transport/ble.hpp"

#include <algorithm>
#include <cctype>

#include "common/text.hpp"

namespace plimsy {

namespace {

bool same_uuid(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

// The log's limit counts characters, not bytes; every byte that is not a
// UTF-8 continuation byte starts one.
std::size_t count_chars(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// Byte length of the first n characters of text (all of it if shorter).
std::size_t prefix_bytes(std::string_view text, std::size_t n) {
    std::size_t i = 0;
    while (i < text.size()) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (n == 0) break;
            --n;
        }
        ++i;
    }
    return i;
}

}  // namespace

ble_t::ble_t(ble_delegate_t& delegate, ble_central_t* central, console_t& console, haptics_t& haptics,
             transport_options_t options)
    : delegate_(delegate),
      central_(central),
      console_(console),
      haptics_(haptics),
      reassembler_(options.binary, options.force_text) {
    if (central_) central_->set_delegate(this);
}

ble_t::~ble_t() {
    if (central_) central_->set_delegate(nullptr);
}

void ble_t::set_name_connect(std::string name) {
    if (name == name_connect_) return;
    will_change();
    name_connect_ = std::move(name);
}

void ble_t::set_log_enable(bool on) {
    if (on == log_enable_) return;
    will_change();
    log_enable_ = on;
}

void ble_t::set_dbg_scan(bool on) {
    if (on == dbg_scan_) return;
    will_change();
    dbg_scan_ = on;
}

void ble_t::set_status(std::string text, std::optional<colour_t> colour) {
    will_change();
    status_ = std::move(text);
    if (colour) sta_fg_ = *colour;
}

void ble_t::set_sta_fg(colour_t colour) {
    will_change();
    sta_fg_ = colour;
}

void ble_t::central_state_changed(ble_power_t state) {
    if (state != ble_power_t::powered_on) set_sta_fg(colour_t::red);
    switch (state) {
        case ble_power_t::unknown:
            console_.line("ble_manager.state: 0 unknown");
            break;
        case ble_power_t::resetting:
            console_.line("ble_manager.state: 1 resetting");
            break;
        case ble_power_t::unsupported:
            console_.line("ble_manager.state: 2 unsupported");
            break;
        case ble_power_t::unauthorized:
            console_.line("ble_manager.state: 3 unauthorized");
            break;
        case ble_power_t::powered_off:
            console_.line("ble_manager.state: 4 powered OFF");
            break;
        case ble_power_t::powered_on:
            set_status(ble_power_text(state));
            reconnect();
            return;
        default:
            console_.line("ble_manager.state: " + std::to_string(static_cast<int>(state)) + " default?");
            return;
    }
    set_status(ble_power_text(state));
}

link_state_t ble_t::link() const {
    if (!enabled_) return {link_kind_t::offline, {}, {}, stopped_};
    if (ble_radio_refuses(power_state())) return {link_kind_t::failed, name_connect_, ble_power_text(power_state()), false};
    if (ready()) return {link_kind_t::connected, name_peripheral_.value_or("(nil)"), {}, false};
    if (name_peripheral_reconnect_) return {link_kind_t::lost, *name_peripheral_reconnect_, lost_error_, false};
    if (ble_peripheral_) return {link_kind_t::connecting, name_connect_, {}, false};
    return {link_kind_t::scanning, name_connect_, {}, false};
}

void ble_t::reconnect() {
    if (!enabled_) return;
    if (name_peripheral_) {
        const std::string name = *name_peripheral_;
        console_.line("reconnect: " + name);
        disconnect_peripheral();
        name_peripheral_reconnect_ = name;
    }
    start_scan();
}

void ble_t::start_scan() {
    if (!enabled_ || !powered_on()) return;
    central_->scan();
    set_status("BLE scanning...", colour_t::blue);
    console_.line("BLE scanning...");
}

void ble_t::peripheral_discovered(peripheral_id_t peripheral, const std::optional<std::string>& name, int) {
    // Whole and case-sensitive: boards of one batch differ only in a suffix
    // or in capitals, and the user means exactly the one configured.
    if (name && *name == name_connect_) {
        set_status("BLE found a " + name_connect_ + " device", colour_t::green);
        connect_peripheral(peripheral);
    } else if (dbg_scan_) {
        console_.line("BLE found: " + (central_ ? central_->description(peripheral) : std::string()));
    }
}

void ble_t::connect_peripheral(peripheral_id_t peripheral) {
    name_peripheral_reconnect_.reset();
    if (!central_) return;
    central_->stop_scan();
    ble_peripheral_ = peripheral;
    central_->connect(peripheral);
}

void ble_t::peripheral_connected(peripheral_id_t peripheral) {
    if (!current(peripheral)) return;
    console_.line("BLE connected: " + central_->description(peripheral));
    name_peripheral_ = central_->name(peripheral);
    set_status("BLE connected: " + name_peripheral_.value_or("[no name]"));
    reassembler_.reset();
    forget_writes();
    central_->read_rssi(peripheral);
    central_->discover_services(peripheral);
}

void ble_t::peripheral_failed_to_connect(peripheral_id_t, std::string_view) {
    // Deliberately not acted on: scanning has stopped, so the transport
    // waits for the user to connect again or for the radio to come back on.
}

void ble_t::services_discovered(peripheral_id_t peripheral, std::span<const service_id_t> services) {
    if (!current(peripheral)) return;
    for (service_id_t s : services) central_->discover_characteristics(peripheral, s);
}

void ble_t::characteristics_discovered(peripheral_id_t peripheral, service_id_t,
                                       std::span<const ble_characteristic_info_t> characteristics) {
    for (const auto& c : characteristics) {
        // A step below may have let the peripheral go.
        if (!current(peripheral)) return;
        central_->read_value(peripheral, c.id);
        if (same_uuid(c.uuid, uuid_char_recv)) {
            ble_char_recv_ = c.id;
            central_->set_notify(peripheral, c.id, true);
            if (ready()) {
                if (enabled_)
                    connection_ready();
                else
                    disconnect_peripheral();
            }
        } else if (same_uuid(c.uuid, uuid_char_send)) {
            ble_char_send_ = c.id;
            central_->set_notify(peripheral, c.id, true);
            set_status(central_->name(peripheral).value_or("online"));
            check_ready();
        }
    }
}

void ble_t::check_ready() {
    if (!ready()) return;
    if (enabled_)
        connection_ready();
    else
        disconnect_peripheral();
}

void ble_t::connection_ready() {
    console_.line("");
    will_change();
    log_rx_.clear();
    log_rx_chars_ = 0;
    reassembler_.reset();
    sta_fg_ = colour_t::secondary;
    delegate_.ble_connected(name_peripheral_.value_or("(nil)"));
}

void ble_t::value_updated(peripheral_id_t peripheral, characteristic_id_t, std::span<const std::uint8_t> value) {
    if (!current(peripheral)) return;
    central_->read_rssi(peripheral);
    if (value.empty()) return;
    delegate_.forward_to_tcp(value);

    const auto& got = reassembler_.feed(value);
    if (got.dropped > 0) console_.line(dropped_line_notice("BLE", got.dropped));
    for (std::string_view line : got.lines) delegate_.receive_line(line);
    if (got.is_frame && delegate_.receive_arr(got.frame)) {
        const std::uint8_t zero = 0;
        write_data(std::span(&zero, 1));
    }
}

void ble_t::value_written(peripheral_id_t peripheral, characteristic_id_t, const std::optional<std::string>& error) {
    // One answer per write, in order; a link that has gone was forgotten.
    if (current(peripheral) && !in_flight_.empty()) {
        bytes_in_flight_ -= in_flight_.front();
        in_flight_.pop_front();
    }
    if (error) console_.line("BLE write: " + *error);
}

bool ble_t::take_write(std::size_t size) {
    // One write may always be in flight, however large.
    if (!in_flight_.empty() && bytes_in_flight_ + size > write_limit) {
        if (refused_bytes_ == 0)
            console_.line("BLE: the board is not keeping up with writes (" + std::to_string(bytes_in_flight_) +
                          " bytes unanswered); refusing writes until it does");
        refused_bytes_ += size;
        return false;
    }
    if (refused_bytes_ > 0) {
        console_.line("BLE: writes resumed; " + std::to_string(refused_bytes_) + " bytes were not written");
        refused_bytes_ = 0;
    }
    in_flight_.push_back(size);
    bytes_in_flight_ += size;
    return true;
}

void ble_t::forget_writes() {
    // Writes to a link that has gone are never answered.
    in_flight_.clear();
    bytes_in_flight_ = 0;
    refused_bytes_ = 0;
}

void ble_t::rssi_read(peripheral_id_t peripheral, int dbm) {
    if (current(peripheral)) rssi.set_rssi(dbm);
}

bool ble_t::write_text(std::string_view text) {
    if (!ready()) {
        haptics_.heavy();
        return false;
    }
    std::string log_text = send_prefix;
    log_text += text;
    log_text += '\n';
    std::string wire = send_prefix;
    wire += text;
    wire += send_postfix;
    if (!take_write(wire.size())) return false;

    if (log_enable_) {
        const std::string shown = "➤ " + log_text;
        // The console ends every text with a line feed of its own; the log
        // text's final one is left to it so the output matches the log.
        console_.line(std::string_view(shown).substr(0, shown.size() - 1));
        log_append_ble(shown);
    }
    central_->write_with_response(*ble_peripheral_, *ble_char_send_,
                                  std::span(reinterpret_cast<const std::uint8_t*>(wire.data()), wire.size()));
    return true;
}

bool ble_t::write_data(std::span<const std::uint8_t> bytes) {
    if (!ready()) {
        haptics_.heavy();
        return false;
    }
    if (!take_write(bytes.size())) return false;
    central_->write_with_response(*ble_peripheral_, *ble_char_send_, bytes);
    return true;
}

void ble_t::log_append_ble(std::string_view text) {
    will_change();
    log_rx_ += text;
    log_rx_chars_ += count_chars(text);
    while (log_rx_chars_ > log_rx_max_size) {
        const std::size_t lf = log_rx_.find('\n');
        const std::size_t cut = lf != std::string::npos ? lf + 1 : prefix_bytes(log_rx_, log_rx_drop);
        log_rx_chars_ -= count_chars(std::string_view(log_rx_).substr(0, cut));
        log_rx_.erase(0, cut);
    }
}

void ble_t::disconnect_peripheral() {
    name_peripheral_.reset();
    if (ble_peripheral_ && powered_on()) {
        central_->cancel_connection(*ble_peripheral_);
        forget_writes();
        ble_peripheral_.reset();
        ble_char_recv_.reset();
        ble_char_send_.reset();
    }
}

void ble_t::peripheral_disconnected(peripheral_id_t peripheral, const std::optional<std::string>& error) {
    rssi.set_rssi(0);
    if (!name_peripheral_ || name_peripheral_reconnect_ || !error || !current(peripheral)) return;
    // Lost without being asked to: look for the same board again.
    const std::string name = *name_peripheral_;
    console_.line("disconnected: " + name + " -----------------");
    console_.line(*error);
    lost_error_ = *error;
    delegate_.ble_disconnected(name);
    disconnect_peripheral();
    name_peripheral_reconnect_ = name;
    start_scan();
}

}  // namespace plimsy
