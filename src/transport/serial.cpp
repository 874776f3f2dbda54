#include "transport/serial.hpp"

#include <charconv>

#include "common/text.hpp"

namespace plimsy {

namespace {

// "ttyACM0" and "/dev/ttyACM0" name the same device; the listing uses paths.
std::string device_path(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos) return name;
    return "/dev/" + name;
}

const serial_port_info_t* find_by_name(const std::vector<serial_port_info_t>& ports, const std::string& name) {
    for (const auto& p : ports)
        if (p.name == name) return &p;
    return nullptr;
}

}  // namespace

serial_t::serial_t(serial_delegate_t& delegate, serial_port_t& port, main_queue_t& main, console_t& console,
                   transport_options_t options)
    : delegate_(delegate),
      port_(port),
      main_(main),
      console_(console),
      reassembler_(false, options.force_text) {
    port_.set_delegate(this);
}

serial_t::~serial_t() {
    port_.set_delegate(nullptr);
    port_.close();
}

bool serial_t::connect(const std::string& port, std::uint32_t baud) {
    const std::string path = device_path(port);
    if (state_ == state_t::connected && path == port_name_ && baud == baud_) return true;
    if (path != port_name_) serial_number_.clear();
    port_name_ = path;
    baud_ = baud;
    enabled_ = true;
    port_.close();
    attempt();
    return false;
}

void serial_t::disconnect() {
    stopped_ = stopped_ || enabled_;
    enabled_ = false;
    port_.close();
    state_ = state_t::offline;
    error_ = serial_error_t::none;
    message_.clear();
}

link_state_t serial_t::link() const {
    const std::string where = open_name_ + " " + std::to_string(baud_);
    switch (state_) {
        case state_t::offline: return {link_kind_t::offline, {}, {}, stopped_};
        case state_t::opening: return {link_kind_t::connecting, where, {}, false};
        case state_t::connected: return {link_kind_t::connected, where, {}, false};
        case state_t::lost:
            return {error_ == serial_error_t::lost ? link_kind_t::lost : link_kind_t::failed, where, message_, false};
    }
    return {};
}

bool serial_t::write(std::span<const std::uint8_t> bytes) {
    if (state_ != state_t::connected) return false;
    return port_.write(bytes);
}

void serial_t::attempt() {
    if (!enabled_) return;
    const auto ports = port_.available();
    // Learn the board's serial number while it has the name the user chose,
    // so that a replug under another name is still recognised.
    if (serial_number_.empty())
        if (const auto* p = find_by_name(ports, port_name_)) serial_number_ = p->serial_number;

    std::string target = port_name_;
    if (!serial_number_.empty()) {
        for (const auto& p : ports) {
            if (p.serial_number != serial_number_) continue;
            if (p.name != port_name_ && p.name != open_name_)
                console_.line("serial: board " + serial_number_ + " is now " + p.name);
            target = p.name;
            break;
        }
    }
    open_name_ = target;
    state_ = state_t::opening;
    const serial_result_t result = port_.open(target, baud_);
    if (!result.ok()) {
        fail(result);
        return;
    }
    state_ = state_t::connected;
    error_ = serial_error_t::none;
    message_.clear();
    reassembler_.reset();
    delegate_.serial_connected(open_name_, baud_);
}

void serial_t::fail(const serial_result_t& result) {
    const std::string message = explain(open_name_, result);
    const bool changed = message != message_ || state_ == state_t::connected;
    state_ = state_t::lost;
    error_ = result.error;
    message_ = message;
    // Retries every few seconds would repeat the same text; say it once.
    if (changed) delegate_.serial_failed(open_name_, message_);
    schedule_retry();
}

void serial_t::schedule_retry() {
    if (retry_pending_) return;
    retry_pending_ = true;
    std::weak_ptr<int> alive = alive_;
    main_.post_after(retry_delay, [this, alive] {
        if (alive.expired()) return;
        retry_pending_ = false;
        if (enabled_ && state_ != state_t::connected) attempt();
    });
}

void serial_t::serial_received(std::span<const std::uint8_t> bytes) {
    if (state_ != state_t::connected || bytes.empty()) return;
    delegate_.forward_to_tcp(bytes);

    // The same chunk rule as TCP and BLE: a serial line is a byte stream too.
    const auto& got = reassembler_.feed(bytes);
    if (got.dropped > 0) console_.line(dropped_line_notice("serial", got.dropped));
    for (const std::string_view line : got.lines) delegate_.receive_line(line);
    if (got.is_frame && delegate_.receive_arr(got.frame)) {
        // The board expects one 0x00 byte when its stream turns binary.
        const std::uint8_t zero = 0;
        (void)port_.write(std::span(&zero, 1));
    }
}

void serial_t::serial_stopped(const serial_result_t& why) {
    if (state_ != state_t::connected) return;
    port_.close();
    // Whatever the platform calls it (EIO, a read error, a hang-up), an open
    // port that stops working on a desk is a board that was unplugged.
    fail({serial_error_t::lost, why.text});
}

std::string serial_t::explain(const std::string& port, const serial_result_t& result) {
    switch (result.error) {
    case serial_error_t::none:
        return {};
    case serial_error_t::not_found:
        return port + " not found: is the board plugged in? Waiting for it";
    case serial_error_t::permission_denied:
        return "Permission denied opening " + port +
               ": add yourself to the dialout group (sudo adduser $USER dialout) and log in again";
    case serial_error_t::busy:
        return port + " is in use by another program (a serial monitor?): close it; trying again";
    case serial_error_t::lost:
        return port + " was unplugged: waiting for the board to come back";
    case serial_error_t::other:
        break;
    }
    return "Cannot open " + port + (result.text.empty() ? std::string() : ": " + result.text);
}

std::string describe_port(const serial_port_info_t& port) {
    std::string details;
    auto add = [&](const std::string& part) {
        if (part.empty()) return;
        if (!details.empty()) details += ", ";
        details += part;
    };
    add(port.manufacturer);
    if (port.vendor_id && port.product_id) add(cformat("%04x:%04x", static_cast<unsigned>(*port.vendor_id), static_cast<unsigned>(*port.product_id)));
    if (!port.serial_number.empty()) add("serial " + port.serial_number);
    std::string text = port.name;
    if (!port.description.empty()) text += "  " + port.description;
    if (!details.empty()) text += (port.description.empty() ? "  (" : " (") + details + ")";
    return text;
}

bool valid_baud(std::uint64_t baud) { return baud >= 50 && baud <= 4'000'000; }

std::optional<serial_target_t> parse_serial_target(std::string_view text) {
    serial_target_t target;
    const auto colon = text.rfind(':');
    std::string_view port = text;
    if (colon != std::string_view::npos) {
        const std::string_view b = text.substr(colon + 1);
        std::uint64_t baud = 0;
        const auto [end, ec] = std::from_chars(b.data(), b.data() + b.size(), baud);
        if (b.empty() || ec != std::errc() || end != b.data() + b.size() || !valid_baud(baud)) return std::nullopt;
        target.baud = static_cast<std::uint32_t>(baud);
        port = text.substr(0, colon);
    }
    if (port.empty()) return std::nullopt;
    target.port = std::string(port);
    return target;
}

}  // namespace plimsy
