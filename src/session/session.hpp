#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/actions.hpp"
#include "config/config_connection.hpp"
#include "model/device_model.hpp"
#include "platform/altimeter.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/haptics.hpp"
#include "platform/main_queue.hpp"
#include "platform/observable.hpp"
#include "platform/settings_store.hpp"
#include "sim/simulated_board.hpp"
#include "transport/connection.hpp"

namespace plimsy {

class simulated_central_t;
class simulated_peripheral_t;

// What a session reaches the host through. The caller owns every service
// and keeps it alive until the session is gone. The application passes its
// Qt services, plimsy-cli the portable event loop, tests a manual clock and
// a manual main queue.
struct session_services_t {
    const clock_t& clock;
    main_queue_t& main;
    console_t* console = nullptr;      // null: standard output
    haptics_t* haptics = nullptr;      // null: none, as on a desktop
    altimeter_t* altimeter = nullptr;  // null: no barometer
    // The host's Bluetooth central, made when BLE is first used. Null: no
    // radio (BLE reports itself unsupported). Not used while simulating.
    connection_t::central_factory_t make_central = nullptr;
    // The host's serial ports, made when the serial transport is first
    // used. Null: every port is refused with a reason.
    connection_t::serial_factory_t make_serial_port = nullptr;
    // The MQTT client a watched board is reached through, made when MQTT is
    // first used. Null: libmosquitto.
    broker_factory_t make_broker = nullptr;
};

// Sees what a recording keeps: the raw chunks to and from the board (see
// raw_tap_t) and the user's local actions, each as it happens.
struct session_tap_t : raw_tap_t {
    virtual void local_action(std::string_view name, const capture_arg_t& arg) = 0;
};

// A board that exists only in software, reached over a simulated radio.
struct session_simulation_t {
    device_model_t board = device_model_t::compass_gravity;
    double rate = simulated_board_t::default_rate;
    std::uint32_t seed = 1;
};

// Links chosen outright (a command line), rather than by the stored
// settings. They are put into the settings the way the settings sheet would
// put them, so the one path from settings to connection requests serves
// them too. A board is BLE or serial; with TCP as well it is bridge mode.
struct session_links_t {
    std::optional<std::string> ble_name = std::nullopt;
    std::optional<std::string> serial_port = std::nullopt;
    std::uint32_t serial_baud = 115200;
    std::optional<std::string> tcp_host = std::nullopt;  // a numeric IPv4 address
    std::uint16_t tcp_port = config_connection_t::default_port_value;
};

struct session_options_t {
    // The settings store: the caller's (used as it is), else a settings file
    // at `settings_file`, else one in memory that ends with the session.
    settings_store_t* store = nullptr;
    std::filesystem::path settings_file = {};
    // Present: BLE goes through a simulated radio carrying one simulated
    // board, advertised under the BLE name the settings hold when the radio
    // is first used.
    std::optional<session_simulation_t> simulate = std::nullopt;
    // Present: written into the settings before the connection starts.
    std::optional<session_links_t> links = std::nullopt;
    // Connect as the settings say right after start-up, as the application
    // does. Off for tools that only feed lines into the pipeline.
    bool start_connection = true;
};

// One running instance of the system without a window: the settings store,
// the connection settings, the connection coordinator with its transports,
// receive pipeline and sensors model, and optionally a simulated board.
// The application's main screen and every plimsy-cli command are built from
// one; the Qt side only adapts what it shows and turns its announcements
// into signals. Main thread only.
//
// Start-up order: store, settings, coordinator (which starts the host
// barometer), then the configured connection. Teardown runs the other way:
// the coordinator stops its transports while the simulated board, the
// settings and the store still exist, and the store writes what is pending
// last.
class session_t : public observable_t {
public:
    explicit session_t(session_services_t services, session_options_t options = {});
    ~session_t() override;
    session_t(const session_t&) = delete;
    session_t& operator=(const session_t&) = delete;

    settings_store_t& store() { return *store_; }
    config_connection_t& cfg() { return *cfg_; }
    const config_connection_t& cfg() const { return *cfg_; }
    connection_t& cnc() { return *cnc_; }
    const connection_t& cnc() const { return *cnc_; }
    // Where lines enter and what they update; tools that feed lines of
    // their own (decode, replay) use these.
    receive_pipeline_t& pipeline();
    const receive_pipeline_t& pipeline() const;
    sensors_t& sensors();
    const sensors_t& sensors() const;

    const clock_t& clock() const { return clock_; }
    main_queue_t& main() { return main_; }
    console_t& console() { return console_; }
    haptics_t& haptics() { return haptics_; }

    // The simulated board, while simulating; the radio and the board as the
    // radio sees it, once BLE has been used.
    bool simulating() const { return board_ != nullptr; }
    simulated_board_t* simulated_board() const { return board_.get(); }
    simulated_central_t* simulated_central() const { return sim_central_; }
    simulated_peripheral_t* simulated_peripheral() const { return sim_peripheral_; }
    // Sends what the simulated board has due and delivers the radio's queued
    // events. The host calls it about every millisecond while simulating:
    // coarser batches beat against the models' 1/60 s change throttle (with
    // 5 ms the next announcement after 16.7 ms falls at 20 ms, so a fast
    // board could change the screen only 50 times a second). Returns the
    // number of radio events delivered; nothing happens when not simulating.
    std::size_t poll_simulation();

    // The configured connection: BLE, TCP, serial or a bridge, as the
    // settings say. Never disconnects first.
    void connect_from_config();
    void disconnect();
    // The toolbar's connection button: disconnects while any transport is
    // wanted, otherwise connects as configured.
    void connection_button();
    // A transport is enabled (connected, connecting or retrying).
    bool links_wanted() const;
    // A transport is connected and carries the board's lines.
    bool link_up() const;
    // Bytes handed to a link that have not left yet.
    bool sending() const;

    // A board command as the panels' buttons send it ("C\n"). True when a
    // transport took it; otherwise the console and the coordinator's
    // command note say why.
    bool send(std::string_view command);
    void clear_log();
    void set_log_enable(bool on);
    void toggle_log();

    // A local action (a panel's button that changes processing without
    // sending the board anything), applied to the sensors model and told to
    // the taps, so that a recording can play it back. On a name or argument
    // that does not fit, false with the reason in `error`, and nothing done.
    bool act(std::string_view name, const capture_arg_t& arg, std::string& error);
    bool act(local_action_t action, const capture_arg_t& arg = {});

    // Taps see chunks and actions from when they are added until they are
    // removed; a tap removes itself before it goes.
    void add_tap(session_tap_t* tap);
    void remove_tap(session_tap_t* tap);

private:
    std::unique_ptr<ble_central_t> make_simulated_central();
    void choose_links(const session_links_t& links);

    const clock_t& clock_;
    main_queue_t& main_;
    console_t& console_;
    no_haptics_t no_haptics_;
    haptics_t& haptics_;
    no_altimeter_t no_altimeter_;
    altimeter_t& altimeter_;

    // Declaration order is teardown order, reversed: the coordinator goes
    // first, because its transports call into the simulated radio and, from
    // there, the board while they shut down.
    std::unique_ptr<settings_store_t> own_store_;
    settings_store_t* store_ = nullptr;
    std::unique_ptr<simulated_board_t> board_;
    simulated_central_t* sim_central_ = nullptr;
    simulated_peripheral_t* sim_peripheral_ = nullptr;
    std::unique_ptr<config_connection_t> cfg_;
    std::unique_ptr<connection_t> cnc_;
    subscription_t cfg_subscription_;
    subscription_t cnc_subscription_;
    std::vector<session_tap_t*> taps_;
};

}  // namespace plimsy
