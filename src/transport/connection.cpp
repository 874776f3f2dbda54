#include "transport/connection.hpp"

#include <algorithm>

#include "common/text.hpp"

namespace plimsy {

connection_t::connection_t(services_t s)
    : pipeline(s.clock, s.store, s.console),
      gps_data(s.altimeter),
      clock_(s.clock),
      console_(s.console),
      main_(s.main),
      haptics_(s.haptics),
      make_central_(std::move(s.make_central)) {
    // What the pipeline, its sensors and the barometer show is what the
    // connection shows.
    pipeline_subscription_ = pipeline.subscribe([this] { will_change(); });
    gps_subscription_ = gps_data.subscribe([this] { will_change(); });
}

connection_t::~connection_t() {
    // The transports call back into this object: stop them first.
    mqtt_subscription_.reset();
    mqtt_.reset();
    tcp_client_.reset();
    ble_.reset();
    central_.reset();
    serial_.reset();
    serial_port_.reset();
}

tcp_client_t& connection_t::tcp_client() {
    if (!tcp_client_)
        tcp_client_ = std::make_unique<tcp_client_t>(tcp_events_, main_, console_, transport_options_t{});
    return *tcp_client_;
}

ble_t& connection_t::ble() {
    if (!ble_) {
        if (make_central_) central_ = make_central_();
        ble_ = std::make_unique<ble_t>(ble_events_, central_.get(), console_, haptics_, transport_options_t{});
        // The transport's finer status (power, found, connecting) is shown too.
        ble_subscription_ = ble_->subscribe([this] { will_change(); });
    }
    return *ble_;
}

serial_t& connection_t::serial() {
    if (!serial_) {
        if (make_serial_port_) serial_port_ = make_serial_port_();
        if (!serial_port_) serial_port_ = std::make_unique<no_serial_port_t>();
        serial_ = std::make_unique<serial_t>(serial_events_, *serial_port_, main_, console_, transport_options_t{});
    }
    return *serial_;
}

mqtt_link_t& connection_t::mqtt() {
    if (!mqtt_) {
        mqtt_ = std::make_unique<mqtt_link_t>(mqtt_events_, console_, clock_, make_broker_);
        // Its state and its board list are shown.
        mqtt_subscription_ = mqtt_->subscribe([this] { will_change(); });
    }
    return *mqtt_;
}

void connection_t::connect_mqtt(const mqtt_request_t& request) { mqtt().connect(request); }

void connection_t::mqtt_rx(std::span<const std::uint8_t> bytes) {
    bytes_received += bytes.size();
    ++chunks_received;
    tap_rx(bytes);
}

void connection_t::mqtt_board_up(const std::string& board) {
    log("connected to " + board + " through MQTT");
    pipeline.clear_log();
    set_command_note({});
    pipeline.binary = false;
}

bool connection_t::commands_available(std::string* why) const {
    if (mqtt_ && mqtt_->enabled()) return mqtt_->commands_allowed(why);
    return true;
}

void connection_t::log(const std::string& text) { console_.line(timestamp(clock_.now()) + "  " + text); }

void connection_t::set_link(link_state_t& link, link_state_t state) {
    if (link == state) return;
    will_change();
    link = std::move(state);
}

link_state_t connection_t::link_ble() const {
    if (ble_ && ble_->enabled() && ble_radio_refuses(ble_->power_state()))
        return {link_kind_t::failed, ble_->name_connect(), ble_power_text(ble_->power_state()), false};
    return link_ble_;
}

void connection_t::connect_serial(const std::string& port, std::uint32_t baud) {
    const std::string what = port + " " + std::to_string(baud);
    log("Open " + what);
    const link_state_t before = link_serial_;
    set_link(link_serial_, {link_kind_t::connecting, what, {}, false});
    if (serial().connect(port, baud)) {
        console_.line("already connected");
        set_link(link_serial_, before);
    }
}

void connection_t::serial_connected(const std::string& port, std::uint32_t baud) {
    const std::string what = port + " " + std::to_string(baud);
    log("connected to " + what);
    pipeline.clear_log();
    set_link(link_serial_, {link_kind_t::connected, what, {}, false});
    pipeline.binary = false;
}

void connection_t::serial_failed(const std::string& port, const std::string& message) {
    // The transport tries again by itself; the text says why and what to do.
    const link_kind_t kind = link_serial_.up() ? link_kind_t::lost : link_kind_t::failed;
    set_link(link_serial_, {kind, link_serial_.peer, message, false});
    log("serial " + port + "  " + message);
}

bool connection_t::serial_ready() const { return serial_ && serial_->connected(); }

void connection_t::connect_tcp(const std::string& host, std::uint16_t port) {
    const std::string where = host + ":" + std::to_string(port);
    log("Connect " + where);
    const link_state_t before = link_tcp_;
    set_link(link_tcp_, {link_kind_t::connecting, where, {}, false});
    // Asked again while up: the link stays what it is.
    if (tcp_client().connect(host, port)) {
        console_.line("already connected");
        set_link(link_tcp_, before);
    }
}

void connection_t::tcp_connected(const std::string& host, std::uint16_t port) {
    const std::string where = host + ":" + std::to_string(port);
    log("connected to " + where);
    pipeline.clear_log();
    set_command_note({});
    set_link(link_tcp_, {link_kind_t::connected, where, {}, false});
    pipeline.binary = false;
}

void connection_t::tcp_failed(const std::string& host, std::uint16_t port, int error_number) {
    const std::string where = host + ":" + std::to_string(port);
    const link_kind_t kind = link_tcp_.up() ? link_kind_t::lost : link_kind_t::failed;
    set_link(link_tcp_, {kind, where, tcp_error_text(error_number), false});
    log("connect " + where + "  " + std::to_string(error_number) + " " + status_tcp());
    std::weak_ptr<int> alive = alive_;
    main_.post_after(reconnect_delay, [this, alive, host, port] {
        if (alive.expired()) return;
        if (tcp_client_ && tcp_client_->enabled() && !tcp_client_->valid()) connect_tcp(host, port);
    });
}

void connection_t::connect_ble(const std::string& name) {
    set_link(link_ble_, {link_kind_t::scanning, name, {}, false});
    ble_t& b = ble();
    b.set_name_connect(name);
    b.set_enabled(true);
    b.start_scan();
}

void connection_t::ble_connected(const std::string& name) {
    log("connected to " + name);
    pipeline.clear_log();
    set_command_note({});
    set_link(link_ble_, {link_kind_t::connected, name, {}, false});
    pipeline.binary = false;
}

void connection_t::ble_disconnected(const std::string& name) {
    set_link(link_ble_, {link_kind_t::lost, name, {}, false});
    log("disconnected from " + name);
}

void connection_t::disconnect() {
    log("Disconnecting");
    if (tcp_client_) tcp_client_->disconnect();
    if (ble_) {
        ble_->set_enabled(false);
        if (central_ && ble_->powered_on()) central_->stop_scan();
        ble_->disconnect_peripheral();
    }
    if (serial_) serial_->disconnect();
    if (mqtt_) mqtt_->disconnect();
    // The transports' enabled flags changed too (the connection button reads them).
    will_change();
    const link_state_t stopped{link_kind_t::offline, {}, {}, true};
    set_link(link_ble_, stopped);
    set_link(link_tcp_, stopped);
    set_link(link_serial_, stopped);
}

bool connection_t::ble_ready() const {
    return ble_ && ble_->ble_peripheral() && ble_->ble_char_recv() && ble_->ble_char_send();
}

void connection_t::set_command_note(std::string text) {
    if (text == command_note_) return;
    will_change();
    command_note_ = std::move(text);
}

bool connection_t::send(std::string_view text) {
    const bool ble_up = ble_ready();
    const bool tcp_up = tcp_client_ && tcp_client_->valid();
    const bool serial_up = serial_ready();
    bool taken = false;
    if (ble_up) taken = ble_->write_text(text);
    // On a cable the command goes as it is, as over TCP.
    if (serial_up) taken = serial_->write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}) || taken;
    if (tcp_up) taken = tcp_client_->send({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}) || taken;
    // Through the broker to the watched board's gateway, which may refuse.
    std::string mqtt_why;
    const bool mqtt_wanted = mqtt_ && mqtt_->enabled();
    if (mqtt_wanted) taken = mqtt_->send(text, mqtt_why) || taken;
    if (taken) {
        tap_tx({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
        set_command_note({});
        return true;
    }
    // The user pressed a button and the board will not react: say so rather
    // than leave them wondering.
    std::string_view shown = text;
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) shown.remove_suffix(1);
    if (shown.size() > 40) shown = shown.substr(0, 40);
    const std::string reason = !mqtt_why.empty()            ? mqtt_why
                               : ble_up || tcp_up || serial_up ? "the link is not taking writes"
                                                               : "no connection to the board";
    log("command not delivered (" + reason + "): " + std::string(shown));
    set_command_note(std::string(shown) + " not delivered: " + reason);
    return false;
}

void connection_t::add_raw_tap(raw_tap_t* tap) {
    if (tap && std::find(raw_taps_.begin(), raw_taps_.end(), tap) == raw_taps_.end()) raw_taps_.push_back(tap);
}

void connection_t::remove_raw_tap(raw_tap_t* tap) { std::erase(raw_taps_, tap); }

void connection_t::tap_rx(std::span<const std::uint8_t> bytes) {
    for (raw_tap_t* t : raw_taps_) t->board_rx(bytes);
}

void connection_t::tap_tx(std::span<const std::uint8_t> bytes) {
    for (raw_tap_t* t : raw_taps_) t->board_tx(bytes);
}

void connection_t::forward_to_tcp(std::span<const std::uint8_t> bytes) {
    bytes_received += bytes.size();
    ++chunks_received;
    tap_rx(bytes);
    if (tcp_client_ && tcp_client_->valid()) tcp_client_->send(bytes);
}

void connection_t::forward_to_ble(std::span<const std::uint8_t> bytes) {
    bytes_received += bytes.size();
    ++chunks_received;
    // With BLE or a cable wanted, TCP is the bridge's peer and its bytes go
    // to the board; otherwise TCP is how the board itself is reached.
    if (link_ble().kind != link_kind_t::offline || link_serial_.kind != link_kind_t::offline)
        tap_tx(bytes);
    else
        tap_rx(bytes);
    if (ble_ready()) ble_->write_data(bytes);
    if (serial_ready()) serial_->write(bytes);
}

void connection_t::first_binary_frame() {
    // The board expects one 0x00 byte when the stream turns binary; without a
    // BLE link the write is refused and only the haptic tap remains.
    const std::uint8_t zero = 0;
    if (serial_ready()) {
        serial_->write(std::span(&zero, 1));
        return;
    }
    if (ble_)
        ble_->write_data(std::span(&zero, 1));
    else
        haptics_.heavy();
}

}  // namespace plimsy
