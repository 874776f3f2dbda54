#include "config/config_connection.hpp"

#include <algorithm>
#include <array>

#include "config/broker_url.hpp"
#include "transport/serial.hpp"

namespace plimsy {

namespace {

const std::string key_enable_bridge = "enable_bridge";
const std::string key_enable_ble = "enable_ble";
const std::string key_history_ble_name = "history_ble_name";
const std::string key_history_host = "history_host";
const std::string key_history_port = "history_port";
const std::string key_enable_serial = "enable_serial";
const std::string key_history_serial_port = "history_serial_port";
const std::string key_serial_baud = "serial_baud";
const std::string key_enable_mqtt = "enable_mqtt";
const std::string key_mqtt_url = "mqtt_url";
const std::string key_mqtt_user = "mqtt_user";
const std::string key_mqtt_board = "mqtt_board";
const std::string key_mqtt_ca_file = "mqtt_ca_file";

// Decimal text to an unsigned value no larger than max. Like the integer
// parse the settings were first written against, a leading "+" or "-" is
// accepted, so "-0" reads as 0 while "-1" fails; no blanks anywhere.
std::optional<std::uint32_t> parse_unsigned(std::string_view text, std::uint32_t max) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
        if (value > max) return std::nullopt;  // also keeps the sum from overflowing
    }
    if (negative && value != 0) return std::nullopt;
    return value;
}

// Most-recently-used update shared by the three histories.
template <typename T>
void move_to_front(std::vector<T>& history, const T& value) {
    std::erase(history, value);
    history.insert(history.begin(), value);
    if (history.size() > static_cast<std::size_t>(config_connection_t::history_count)) history.pop_back();
}

}  // namespace

const std::vector<std::string> config_connection_t::default_ble_name = {
    "Plimsy:91 UART",
    "brambleA1 UART",
    "brambleB22 UART",
};

const std::vector<std::string> config_connection_t::default_host = {
    "192.168.0.20", "192.168.4.1", std::string(default_bridge_host), "192.168.1.21", "10.0.0.20", "172.16.0.20",
};

const std::vector<std::uint16_t> config_connection_t::default_port = {default_port_value};

const std::vector<std::string> config_connection_t::default_serial_port = {"/dev/ttyACM0", "/dev/ttyUSB0"};

const std::vector<std::uint32_t> config_connection_t::common_bauds = {9600,   19200,  38400,  57600,  115200,
                                                                      230400, 460800, 921600, 1000000};

config_connection_t::config_connection_t(settings_store_t& store, console_t& console, std::string ble_name,
                                         std::string host, std::uint16_t port, bool delete_saved)
    : store_(store), console_(console) {
    if (delete_saved) delete_config();
    reset_history();
    load_saved(ble_name, host, port);
}

std::optional<std::string> config_connection_t::validate_host(std::string_view text) {
    std::array<std::uint32_t, 4> octets{};
    bool good = true;
    // At most three splits: a fifth dotted part stays glued to the fourth,
    // which then fails to parse.
    std::size_t index = 0;
    while (index < 4) {
        std::size_t dot = index < 3 ? text.find('.') : std::string_view::npos;
        std::string_view part = text.substr(0, dot);
        if (auto value = parse_unsigned(part, 255)) {
            octets[index] = *value;
        } else {
            good = false;
        }
        ++index;
        if (dot == std::string_view::npos) break;
        text.remove_prefix(dot + 1);
    }
    auto unicast_end = [](std::uint32_t octet) { return octet >= 1 && octet <= 254; };
    if (!good || !unicast_end(octets[0]) || !unicast_end(octets[3])) return std::nullopt;
    return std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." + std::to_string(octets[2]) + "." +
           std::to_string(octets[3]);
}

void config_connection_t::set_show_config(bool value) {
    will_change();
    show_config_ = value;
}

void config_connection_t::set_enable_bridge(bool value) {
    will_change();
    enable_bridge_ = value;
    save_flag(flag_t::enable_bridge);
    // A bridge relays a board that is here; a watched board is elsewhere.
    if (value && enable_mqtt_) set_enable_mqtt(false);
}

void config_connection_t::set_enable_ble(bool value) {
    will_change();
    enable_ble_ = value;
    save_flag(flag_t::enable_ble);
    if (enable_serial_) set_enable_serial(false);
    if (enable_mqtt_) set_enable_mqtt(false);
}

void config_connection_t::set_enable_serial(bool value) {
    will_change();
    enable_serial_ = value;
    save_flag(flag_t::enable_serial);
    if (value && enable_mqtt_) set_enable_mqtt(false);
}

void config_connection_t::set_enable_mqtt(bool value) {
    will_change();
    enable_mqtt_ = value;
    save_flag(flag_t::enable_mqtt);
}

void config_connection_t::set_mqtt_url(std::string value) {
    std::string why;
    parse_broker_url(value, why);
    will_change();
    mqtt_url_ = std::move(value);
    mqtt_url_error_ = std::move(why);
}

void config_connection_t::set_mqtt_user(std::string value) {
    will_change();
    mqtt_user_ = std::move(value);
}

void config_connection_t::set_mqtt_board(std::string value) {
    will_change();
    mqtt_board_ = std::move(value);
}

void config_connection_t::set_mqtt_ca_file(std::string value) {
    will_change();
    mqtt_ca_file_ = std::move(value);
}

std::optional<mqtt_request_t> config_connection_t::commit_mqtt() {
    std::string why;
    const auto url = parse_broker_url(mqtt_url_, why);
    if (!url) {
        console_.line("MQTT not connected: " + why);
        return std::nullopt;
    }
    // Written as one change: the four belong together.
    store_.apply({{key_mqtt_url, mqtt_url_},
                  {key_mqtt_user, mqtt_user_},
                  {key_mqtt_board, mqtt_board_},
                  {key_mqtt_ca_file, mqtt_ca_file_}});
    return mqtt_request_t{mqtt_url_, mqtt_user_, valid_board_id(mqtt_board_) ? mqtt_board_ : std::string(),
                          mqtt_ca_file_};
}

void config_connection_t::set_serial_port(std::string value) {
    will_change();
    serial_port_ = std::move(value);
}

bool config_connection_t::set_serial_baud(std::uint32_t value) {
    if (!valid_baud(value)) return false;
    will_change();
    serial_baud_ = value;
    store_.write(key_serial_baud, static_cast<std::int64_t>(serial_baud_));
    return true;
}

void config_connection_t::set_ble_name(std::string value) {
    will_change();
    ble_name_ = std::move(value);
}

void config_connection_t::set_host(std::string value) {
    will_change();
    host_ = std::move(value);
}

void config_connection_t::set_port(std::uint16_t value) {
    will_change();
    port_ = value;
}

std::string config_connection_t::host_bind() const {
    if (!host_bind_) host_bind_ = host_;
    return *host_bind_;
}

void config_connection_t::set_host_bind(std::string_view text) {
    // Decimal keypads in some locales offer a comma instead of a dot.
    std::string typed(text);
    std::replace(typed.begin(), typed.end(), ',', '.');
    host_bind_ = typed;
    auto normalised = validate_host(typed);
    will_change();
    host_valid_ = normalised.has_value();
    if (normalised) set_host(std::move(*normalised));
}

std::string config_connection_t::port_bind() const {
    if (!port_bind_) port_bind_ = std::to_string(port_);
    return *port_bind_;
}

void config_connection_t::set_port_bind(std::string_view text) {
    port_bind_ = std::string(text);
    auto value = parse_unsigned(text, 65535);
    will_change();
    // Port 0 cannot be connected to, so it counts as invalid.
    port_valid_ = value.has_value() && *value != 0;
    if (port_valid_) set_port(static_cast<std::uint16_t>(*value));
}

std::string config_connection_t::commit_ble_name(std::string_view name) {
    if (!name.empty()) {
        set_ble_name(std::string(name));
    } else if (!history_ble_name_.empty()) {
        set_ble_name(history_ble_name_.front());
    }
    if (history_ble_name_.empty() || history_ble_name_.front() != ble_name_) {
        will_change();
        move_to_front(history_ble_name_, ble_name_);
    }
    save_history_ble_name();
    return ble_name_;
}

std::string config_connection_t::commit_host(std::string_view text) {
    if (auto normalised = validate_host(text)) {
        set_host(std::move(*normalised));
    } else if (!history_host_.empty()) {
        set_host(history_host_.front());
    }
    host_bind_ = host_;
    if (history_host_.empty() || history_host_.front() != host_) {
        will_change();
        move_to_front(history_host_, host_);
    }
    save_history_host();
    return host_;
}

std::uint16_t config_connection_t::commit_port(std::uint16_t value) {
    if (value != 0) {
        set_port(value);
    } else if (!history_port_.empty()) {
        set_port(history_port_.front());
    }
    port_bind_ = std::to_string(port_);
    if (history_port_.empty() || history_port_.front() != port_) {
        will_change();
        move_to_front(history_port_, port_);
    }
    save_history_port();
    return port_;
}

std::string config_connection_t::commit_serial_port(std::string_view port) {
    if (!port.empty()) {
        set_serial_port(std::string(port));
    } else if (!history_serial_port_.empty()) {
        set_serial_port(history_serial_port_.front());
    }
    if (history_serial_port_.empty() || history_serial_port_.front() != serial_port_) {
        will_change();
        move_to_front(history_serial_port_, serial_port_);
    }
    save_history_serial_port();
    return serial_port_;
}

void config_connection_t::save_flag(flag_t flag) {
    switch (flag) {
    case flag_t::enable_bridge:
        store_.write(key_enable_bridge, enable_bridge_);
        break;
    case flag_t::enable_ble:
        store_.write(key_enable_ble, enable_ble_);
        break;
    case flag_t::enable_serial:
        store_.write(key_enable_serial, enable_serial_);
        break;
    case flag_t::enable_mqtt:
        store_.write(key_enable_mqtt, enable_mqtt_);
        break;
    }
}

void config_connection_t::save_history_ble_name() { store_.write(key_history_ble_name, history_ble_name_); }

void config_connection_t::save_history_host() { store_.write(key_history_host, history_host_); }

void config_connection_t::save_history_serial_port() {
    store_.write(key_history_serial_port, history_serial_port_);
}

void config_connection_t::save_history_port() {
    store_.write(key_history_port, std::vector<std::int64_t>(history_port_.begin(), history_port_.end()));
}

void config_connection_t::reset_history() {
    will_change();
    history_ble_name_ = default_ble_name;
    history_host_ = default_host;
    history_port_ = default_port;
    history_serial_port_ = default_serial_port;
}

namespace {

// The longest name a BLE peripheral can advertise, in bytes.
constexpr std::size_t ble_name_max_bytes = 248;

std::string shown(std::string_view text) {
    constexpr std::size_t max = 40;
    std::string out = "\"";
    for (char c : text.substr(0, max)) out += (static_cast<unsigned char>(c) < 0x20) ? '?' : c;
    out += text.size() > max ? "...\"" : "\"";
    return out;
}

std::string shown(std::int64_t value) { return std::to_string(value); }

// A stored history as the settings file holds it, checked entry by entry:
// `check` gives the entry as used (a host normalised) or the reason it is
// unusable. Duplicates after the first go, and only the newest
// history_count entries stay. Says on the console what was dropped, with a
// few examples rather than a line per entry.
template <typename T, typename S, typename Check>
std::vector<T> checked_history(const std::string& key, const std::vector<S>& stored, Check check, console_t& console,
                               bool& changed) {
    std::vector<T> out;
    std::size_t unusable = 0, duplicates = 0, beyond = 0;
    constexpr std::size_t examples = 3;
    for (const S& entry : stored) {
        std::string why;
        std::optional<T> value = check(entry, why);
        if (!value) {
            if (++unusable <= examples)
                console.line("config_connection_t.load_saved: " + key + ": dropped " + shown(entry) + " (" + why +
                             ")");
        } else if (std::find(out.begin(), out.end(), *value) != out.end()) {
            ++duplicates;
        } else if (out.size() >= static_cast<std::size_t>(config_connection_t::history_count)) {
            ++beyond;
        } else {
            out.push_back(std::move(*value));
        }
    }
    if (unusable > examples)
        console.line("config_connection_t.load_saved: " + key + ": dropped " + std::to_string(unusable - examples) +
                     " more unusable entries");
    if (duplicates > 0)
        console.line("config_connection_t.load_saved: " + key + ": dropped " + std::to_string(duplicates) +
                     " repeated entries");
    if (beyond > 0)
        console.line("config_connection_t.load_saved: " + key + ": kept the newest " + std::to_string(out.size()) +
                     ", dropped " + std::to_string(beyond) + " older entries");
    // Also a host that read back with leading zeros is now written without.
    changed = out.size() != stored.size() ||
              !std::equal(out.begin(), out.end(), stored.begin(), [](const T& a, const S& b) { return S(a) == b; });
    return out;
}

}  // namespace

void config_connection_t::load_saved(std::string_view ble_name, std::string_view host, std::uint16_t port) {
    // A value of the wrong type counts as absent; the console says so.
    const auto wrong_type = [this](const std::string& key, const char* wanted) {
        if (store_.read(key)) console_.line("config_connection_t.load_saved: " + key + " is not " + wanted + "; ignored");
    };
    if (auto stored = store_.read_bool(key_enable_bridge))
        set_enable_bridge(*stored);
    else
        wrong_type(key_enable_bridge, "a Boolean");
    if (auto stored = store_.read_bool(key_enable_ble))
        set_enable_ble(*stored);
    else
        wrong_type(key_enable_ble, "a Boolean");
    if (auto stored = store_.read_bool(key_enable_serial))
        set_enable_serial(*stored);
    else
        wrong_type(key_enable_serial, "a Boolean");
    if (auto stored = store_.read_int(key_serial_baud)) {
        if (*stored < 1 || *stored > 0xFFFFFFFF || !set_serial_baud(static_cast<std::uint32_t>(*stored)))
            console_.line("config_connection_t.load_saved: " + std::string(key_serial_baud) + ": dropped " +
                          std::to_string(*stored) + " (not a serial speed)");
    } else {
        wrong_type(key_serial_baud, "a number");
    }

    if (auto stored = store_.read_bool(key_enable_mqtt))
        set_enable_mqtt(*stored);
    else
        wrong_type(key_enable_mqtt, "a Boolean");
    load_mqtt();

    // Every stored entry is checked as if typed in: a history edited by
    // hand or written by something else must not put an unusable name,
    // host or port into use, nor grow without bound.
    bool changed = false;
    std::vector<std::string> names;
    if (auto stored = store_.read_string_array(key_history_ble_name)) {
        names = checked_history<std::string>(
            key_history_ble_name, *stored,
            [](const std::string& name, std::string& why) -> std::optional<std::string> {
                if (name.empty()) {
                    why = "empty";
                } else if (name.size() > ble_name_max_bytes) {
                    why = "longer than " + std::to_string(ble_name_max_bytes) + " bytes, the most BLE advertises";
                } else if (std::any_of(name.begin(), name.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; })) {
                    why = "holds control characters";
                } else {
                    return name;
                }
                return std::nullopt;
            },
            console_, changed);
    } else {
        wrong_type(key_history_ble_name, "an array of texts");
    }
    if (!names.empty()) {
        will_change();
        history_ble_name_ = std::move(names);
        ble_name_ = history_ble_name_.front();
        if (changed) save_history_ble_name();
    } else {
        commit_ble_name(ble_name);
    }

    std::vector<std::string> hosts;
    if (auto stored = store_.read_string_array(key_history_host)) {
        hosts = checked_history<std::string>(
            key_history_host, *stored,
            [](const std::string& text, std::string& why) -> std::optional<std::string> {
                auto normalised = validate_host(text);
                if (!normalised) why = "not an IPv4 address";
                return normalised;
            },
            console_, changed);
    } else {
        wrong_type(key_history_host, "an array of texts");
    }
    if (!hosts.empty()) {
        will_change();
        history_host_ = std::move(hosts);
        host_ = history_host_.front();
        if (changed) save_history_host();
    } else {
        commit_host(host);
    }

    std::vector<std::uint16_t> ports;
    if (auto stored = store_.read_int_array(key_history_port)) {
        ports = checked_history<std::uint16_t>(
            key_history_port, *stored,
            [](std::int64_t p, std::string& why) -> std::optional<std::uint16_t> {
                if (p >= 1 && p <= 65535) return static_cast<std::uint16_t>(p);
                why = "not a port from 1 to 65535";
                return std::nullopt;
            },
            console_, changed);
    } else {
        wrong_type(key_history_port, "an array of port numbers");
    }
    if (!ports.empty()) {
        will_change();
        history_port_ = std::move(ports);
        port_ = history_port_.front();
        if (changed) save_history_port();
    } else {
        commit_port(port);
    }

    // Before the serial port existed there was no history: start from the
    // defaults, newest first, like the others.
    std::vector<std::string> serial_ports;
    if (auto stored = store_.read_string_array(key_history_serial_port)) {
        serial_ports = checked_history<std::string>(
            key_history_serial_port, *stored,
            [](const std::string& path, std::string& why) -> std::optional<std::string> {
                // A device path: absolute, of a sane length, no control characters.
                if (path.empty() || path.front() != '/') {
                    why = "not a device path";
                } else if (path.size() > 4096) {
                    why = "longer than a path can be";
                } else if (std::any_of(path.begin(), path.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; })) {
                    why = "holds control characters";
                } else {
                    return path;
                }
                return std::nullopt;
            },
            console_, changed);
    } else {
        wrong_type(key_history_serial_port, "an array of texts");
    }
    if (!serial_ports.empty()) {
        will_change();
        history_serial_port_ = std::move(serial_ports);
        serial_port_ = history_serial_port_.front();
        if (changed) save_history_serial_port();
    } else {
        commit_serial_port(default_serial_port.front());
    }
}

void config_connection_t::load_mqtt() {
    const auto text = [this](const std::string& key, std::string& into, auto check) {
        const auto stored = store_.read(key);
        if (!stored) return;
        const std::string* value = std::get_if<std::string>(&*stored);
        std::string why = value ? check(*value) : "not a text";
        if (why.empty()) {
            will_change();
            into = *value;
        } else {
            console_.line("config_connection_t.load_saved: " + key + ": dropped (" + why + ")");
        }
    };
    const auto no_controls = [](const std::string& v) -> std::string {
        return std::any_of(v.begin(), v.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; })
                   ? "holds control characters"
                   : "";
    };
    // A URL that no longer parses is kept as typed (the sheet shows why);
    // only a user name or password inside it is dropped, never used.
    text(key_mqtt_url, mqtt_url_, [](const std::string& v) -> std::string {
        std::string why;
        parse_broker_url(v, why);
        return v.find('@') != std::string::npos ? why : "";
    });
    set_mqtt_url(mqtt_url_);
    text(key_mqtt_user, mqtt_user_, no_controls);
    text(key_mqtt_board, mqtt_board_, [](const std::string& v) -> std::string {
        return v.empty() || valid_board_id(v) ? "" : "not a board id";
    });
    text(key_mqtt_ca_file, mqtt_ca_file_, [&](const std::string& v) -> std::string {
        if (!v.empty() && v.front() != '/') return "not an absolute path";
        return no_controls(v);
    });
}

void config_connection_t::delete_config() {
    reset_history();
    for (const std::string* key : {&key_enable_bridge, &key_enable_ble, &key_history_ble_name, &key_history_host,
                                   &key_history_port, &key_enable_serial, &key_history_serial_port, &key_serial_baud,
                                   &key_enable_mqtt, &key_mqtt_url, &key_mqtt_user, &key_mqtt_board,
                                   &key_mqtt_ca_file}) {
        store_.remove(*key);
    }
    console_.line("delete_config");
}

void connect_from_config(config_connection_t& config, connection_requests_t& requests) {
    auto connect_serial = [&] {
        requests.connect_serial(config.commit_serial_port(config.serial_port()), config.serial_baud());
    };
    if (config.enable_mqtt()) {
        if (auto request = config.commit_mqtt()) requests.connect_mqtt(*request);
    } else if (config.enable_bridge()) {
        if (config.enable_serial())
            connect_serial();
        else
            requests.connect_ble(config.commit_ble_name(config.ble_name()));
        std::string host = config.commit_host(config.host());
        std::uint16_t port = config.commit_port(config.port());
        requests.connect_tcp(host, port);
    } else if (config.enable_serial()) {
        connect_serial();
    } else if (config.enable_ble()) {
        requests.connect_ble(config.commit_ble_name(config.ble_name()));
    } else {
        std::string host = config.commit_host(config.host());
        std::uint16_t port = config.commit_port(config.port());
        requests.connect_tcp(host, port);
    }
}

}  // namespace plimsy
