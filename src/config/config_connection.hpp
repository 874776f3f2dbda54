#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/connection_requests.hpp"
#include "platform/console.hpp"
#include "platform/observable.hpp"
#include "platform/settings_store.hpp"

namespace plimsy {

// The connection settings the user edits: BLE, TCP or both at once (bridge
// mode), the board's BLE name and the bridge's IPv4 address and port. Each
// of the three values keeps a most-recently-used history, newest first; the
// histories and the two mode flags live in the settings store so the last
// used values come back at the next start. One instance for the life of
// the application, used on the main thread only.
class config_connection_t : public observable_t {
public:
    static constexpr std::int64_t history_count = 10;
    static constexpr std::string_view default_bridge_host = "192.168.1.20";
    static constexpr std::string_view default_ble_name_text = "Plimsy:91 UART";
    static constexpr std::uint16_t default_port_value = 81;
    // Histories used when the store has none.
    static const std::vector<std::string> default_ble_name;
    static const std::vector<std::string> default_host;  // third entry is the default bridge
    static const std::vector<std::uint16_t> default_port;
    // A board on a cable: CDC ACM boards appear as ttyACM*, USB-to-UART
    // bridges as ttyUSB*.
    static const std::vector<std::string> default_serial_port;
    // The speeds offered in the settings; any other from 50 to 4,000,000 may
    // still be stored or given on the command line.
    static const std::vector<std::uint32_t> common_bauds;

    enum class flag_t { enable_bridge, enable_ble, enable_serial, enable_mqtt };

    // Starts from the built-in values, optionally forgets what is stored,
    // then restores the flags and histories from the store. A history that
    // is missing (or of another type, or empty) is rebuilt from the defaults
    // with the matching argument as its newest entry, and written back.
    config_connection_t(settings_store_t& store, console_t& console,
                        std::string ble_name = std::string(default_ble_name_text),
                        std::string host = std::string(default_bridge_host),
                        std::uint16_t port = default_port_value, bool delete_saved = false);

    // Dotted IPv4 check; returns the address without leading zeros. The
    // first and last octets must be 1..254.
    static std::optional<std::string> validate_host(std::string_view text);

    bool show_config() const { return show_config_; }
    bool enable_bridge() const { return enable_bridge_; }
    bool enable_ble() const { return enable_ble_; }
    // The board is on a serial port (instead of BLE, and in bridge mode
    // together with TCP). Wins over enable_ble.
    bool enable_serial() const { return enable_serial_; }
    // A board watched through an MQTT broker. Wins over every other
    // transport; choosing another one leaves it.
    bool enable_mqtt() const { return enable_mqtt_; }
    // The broker's URL as typed, whether it can be used, and why not.
    const std::string& mqtt_url() const { return mqtt_url_; }
    bool mqtt_url_valid() const { return mqtt_url_error_.empty(); }
    const std::string& mqtt_url_error() const { return mqtt_url_error_; }
    const std::string& mqtt_user() const { return mqtt_user_; }
    // The board watched; empty until one is chosen from the broker's list.
    const std::string& mqtt_board() const { return mqtt_board_; }
    // A CA file for a private broker's certificates; empty: the system's.
    const std::string& mqtt_ca_file() const { return mqtt_ca_file_; }
    const std::string& serial_port() const { return serial_port_; }
    const std::vector<std::string>& history_serial_port() const { return history_serial_port_; }
    std::uint32_t serial_baud() const { return serial_baud_; }
    const std::string& ble_name() const { return ble_name_; }
    const std::vector<std::string>& history_ble_name() const { return history_ble_name_; }
    const std::string& host() const { return host_; }
    const std::vector<std::string>& history_host() const { return history_host_; }
    std::uint16_t port() const { return port_; }
    const std::vector<std::uint16_t>& history_port() const { return history_port_; }
    bool host_valid() const { return host_valid_; }
    bool port_valid() const { return port_valid_; }

    void set_show_config(bool value);
    // Both flags are saved the moment they are set.
    void set_enable_bridge(bool value);
    // Choosing BLE or TCP also leaves the serial port, so that the button
    // pressed is the transport used.
    void set_enable_ble(bool value);
    void set_enable_serial(bool value);
    void set_enable_mqtt(bool value);
    // The MQTT fields as typed; saved when a connection uses them
    // (commit_mqtt). The URL is checked as it is typed. The password is
    // not a setting: see the keyring in the application.
    void set_mqtt_url(std::string value);
    void set_mqtt_user(std::string value);
    void set_mqtt_board(std::string value);
    void set_mqtt_ca_file(std::string value);
    // Saves the MQTT fields and returns the request they make; nothing when
    // the URL is unusable (the console says why).
    std::optional<mqtt_request_t> commit_mqtt();
    // Not checked: the view offers "Revert" instead of connecting while empty.
    void set_serial_port(std::string value);
    // Saved at once; a speed outside 50..4,000,000 is refused (false).
    bool set_serial_baud(std::uint32_t value);
    // Not checked: the view offers "Revert" instead of connecting while empty.
    void set_ble_name(std::string value);

    // Editing buffers of the host and port text fields. Reading fills an
    // untouched buffer from the current value. Writing keeps the text as
    // typed (commas in the host become dots) and takes it as the current
    // value only when it is valid; the validity flag tells the view.
    std::string host_bind() const;
    void set_host_bind(std::string_view text);
    std::string port_bind() const;
    void set_port_bind(std::string_view text);

    // Take the value (or, when it is unusable, the newest history entry),
    // move it to the front of its history, save the history and return the
    // value now current. An empty name, an invalid host and port 0 are
    // unusable.
    std::string commit_ble_name(std::string_view name);
    std::string commit_host(std::string_view text);
    std::uint16_t commit_port(std::uint16_t value);
    std::string commit_serial_port(std::string_view port);

    void save_flag(flag_t flag);
    void reset_history();
    // Restores from the store on top of the current histories; construction
    // runs it right after reset_history.
    void load_saved(std::string_view ble_name, std::string_view host, std::uint16_t port);
    // Forgets everything stored and restores the default histories. The
    // current values stay; the flags are stored again at their next change.
    void delete_config();

private:
    void set_host(std::string value);
    void set_port(std::uint16_t value);
    void save_history_ble_name();
    void save_history_host();
    void save_history_port();
    void save_history_serial_port();
    void load_mqtt();

    settings_store_t& store_;
    console_t& console_;

    bool show_config_ = false;
    bool enable_bridge_ = false;
    bool enable_ble_ = true;
    bool enable_serial_ = false;
    bool enable_mqtt_ = false;
    std::string mqtt_url_;
    std::string mqtt_url_error_;
    std::string mqtt_user_;
    std::string mqtt_board_;
    std::string mqtt_ca_file_;
    std::string serial_port_;
    std::vector<std::string> history_serial_port_;
    std::uint32_t serial_baud_ = 115200;
    std::string ble_name_{default_ble_name_text};
    std::vector<std::string> history_ble_name_{std::string(default_ble_name_text)};
    std::string host_{default_bridge_host};
    std::vector<std::string> history_host_{std::string(default_bridge_host)};
    std::uint16_t port_ = default_port_value;
    std::vector<std::uint16_t> history_port_{default_port_value};
    // Filled on first read, so they are mutable behind a const getter.
    mutable std::optional<std::string> host_bind_;
    mutable std::optional<std::string> port_bind_;
    bool host_valid_ = true;
    bool port_valid_ = true;
};

// Turns the settings into connection requests: MQTT, when chosen, alone;
// otherwise bridge mode asks for the
// board (serial when enable_serial, else BLE) and then TCP, otherwise the one
// transport that enable_serial or enable_ble selects. Each value
// is committed first, so what is used becomes the newest history entry. It
// never disconnects; the callers do that when they switch.
void connect_from_config(config_connection_t& config, connection_requests_t& requests);

}  // namespace plimsy
