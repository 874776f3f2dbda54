#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/colour.hpp"
#include "config/connection_requests.hpp"
#include "model/gps_data.hpp"
#include "platform/altimeter.hpp"
#include "platform/ble_central.hpp"
#include "platform/haptics.hpp"
#include "platform/main_queue.hpp"
#include "transport/ble.hpp"
#include "transport/link_state.hpp"
#include "transport/mqtt_link.hpp"
#include "transport/receive_pipeline.hpp"
#include "transport/serial.hpp"
#include "transport/tcp_client.hpp"

namespace plimsy {

// The one object between the transports and the rest of the system. It
// owns the receive pipeline (the receiving half: every line and frame a
// transport reassembles goes there) and the transports; it connects and
// disconnects them, keeps a link state per transport from which the toolbar's
// texts and colours are computed, retries a failed TCP connection, sends the
// user's commands to the board and, with both transports up, relays raw
// bytes between the board and the TCP peer. Main thread only.
// Sees every raw chunk between the application and the board, as it
// travels, before its lines are processed: what the recorder writes and a
// gateway publishes. Main thread only.
struct raw_tap_t {
    virtual ~raw_tap_t() = default;
    // From the board: a BLE notification, a serial read, or a TCP read when
    // TCP is the board's only link.
    virtual void board_rx(std::span<const std::uint8_t> bytes) = 0;
    // To the board: a command a transport took, the byte that acknowledges
    // a binary stream, or in bridge mode what the TCP peer sent.
    virtual void board_tx(std::span<const std::uint8_t> bytes) = 0;
};

class connection_t : public observable_t, public connection_requests_t {
public:
    // Makes the platform's BLE central the first time BLE is used; may return
    // null on a host without Bluetooth.
    using central_factory_t = std::function<std::unique_ptr<ble_central_t>()>;

    struct services_t {
        const clock_t& clock;
        settings_store_t& store;
        console_t& console;
        main_queue_t& main;
        altimeter_t& altimeter;
        haptics_t& haptics;
        central_factory_t make_central;
    };

    // Makes the host's serial ports the first time the serial transport is
    // used; without one the transport refuses every port with a reason.
    using serial_factory_t = std::function<std::unique_ptr<serial_port_t>()>;

    explicit connection_t(services_t services);
    ~connection_t() override;

    static constexpr double reconnect_delay = 4.0;

    void connect_tcp(const std::string& host, std::uint16_t port) override;
    void connect_ble(const std::string& name) override;
    void connect_serial(const std::string& port, std::uint32_t baud) override;
    // A board watched through a broker; the password is given apart
    // (mqtt().set_password), never with the settings.
    void connect_mqtt(const mqtt_request_t& request) override;
    void disconnect() override;
    // Set before the serial transport is first used.
    void set_serial_factory(serial_factory_t make) { make_serial_port_ = std::move(make); }
    // Set before the MQTT link is first used; without one, MQTT says it is
    // not available.
    void set_broker_factory(broker_factory_t make) { make_broker_ = std::move(make); }
    // A command for the board ("C\n"): over BLE with its prefix and postfix,
    // and bare to a connected TCP peer. True when a transport took it; when
    // none did, the console says so and command_note() tells the window.
    bool send(std::string_view text);
    // Taps see chunks in the order they were added; a tap removes itself
    // before it goes.
    void add_raw_tap(raw_tap_t* tap);
    void remove_raw_tap(raw_tap_t* tap);

    // "C not delivered: no connection to the board", or empty. Shown by the
    // connection button until a command gets through or a link is made.
    const std::string& command_note() const { return command_note_; }

    // Transports, created on first use.
    tcp_client_t& tcp_client();
    ble_t& ble();
    bool has_tcp_client() const { return tcp_client_ != nullptr; }
    bool has_ble() const { return ble_ != nullptr; }
    serial_t& serial();
    bool has_serial() const { return serial_ != nullptr; }
    serial_port_t* serial_port() const { return serial_port_.get(); }
    ble_central_t* central() const { return central_.get(); }
    mqtt_link_t& mqtt();
    bool has_mqtt() const { return mqtt_ != nullptr; }

    // Where each link stands, as this coordinator has heard of it. A TCP or
    // serial connection asked for again while up stays connected. BLE shows
    // the radio's refusal (no adapter, switched off, not allowed) as a
    // failure while the user wants BLE, so that a green "BLE scanning..."
    // never promises a search that cannot happen.
    const link_state_t& link_tcp() const { return link_tcp_; }
    link_state_t link_ble() const;
    const link_state_t& link_serial() const { return link_serial_; }
    link_state_t link_mqtt() const { return mqtt_ ? mqtt_->state() : link_state_t{}; }
    // Any link to the board or to a TCP peer is up.
    bool any_link_up() const { return link_tcp_.up() || link_ble().up() || link_serial_.up() || link_mqtt().up(); }

    // What the toolbar shows, computed from the links above.
    std::string status_tcp() const { return tcp_status_text(link_tcp_); }
    colour_t sta_fg_tcp() const { return link_colour(link_tcp_); }
    std::string status_ble() const { return ble_status_text(link_ble()); }
    colour_t sta_fg_ble() const { return link_colour(link_ble()); }
    std::string status_serial() const { return serial_status_text(link_serial_); }
    colour_t sta_fg_serial() const { return link_colour(link_serial_); }
    std::string status_mqtt() const { return mqtt_status_text(link_mqtt()); }
    colour_t sta_fg_mqtt() const { return link_colour(link_mqtt()); }
    // Whether the panels' commands can reach the board now; false only
    // where a link says they cannot (a watched board whose gateway does not
    // take commands), with the reason.
    bool commands_available(std::string* why = nullptr) const;

    // Lines, frames, the receive log, the counters and the sensors model.
    receive_pipeline_t pipeline;
    gps_data_t gps_data;

    // Bytes, and chunks (TCP reads, notifications, serial reads), received
    // from the board and the TCP peer since creation.
    std::uint64_t bytes_received = 0;
    std::uint64_t chunks_received = 0;

private:
    // The transports' delegates: their events, lines and frames arrive here,
    // not on the coordinator's public face.
    struct tcp_events_t final : tcp_client_delegate_t {
        explicit tcp_events_t(connection_t& owner) : c(owner) {}
        void receive_line(std::string_view line) override { c.pipeline.receive_line(line); }
        bool receive_arr(std::span<const std::uint8_t> bytes) override { return c.pipeline.receive_arr(bytes); }
        void tcp_connected(const std::string& host, std::uint16_t port) override { c.tcp_connected(host, port); }
        void tcp_failed(const std::string& host, std::uint16_t port, int error_number) override {
            c.tcp_failed(host, port, error_number);
        }
        void forward_to_ble(std::span<const std::uint8_t> bytes) override { c.forward_to_ble(bytes); }
        void first_binary_frame() override { c.first_binary_frame(); }
        connection_t& c;
    };
    struct ble_events_t final : ble_delegate_t {
        explicit ble_events_t(connection_t& owner) : c(owner) {}
        void receive_line(std::string_view line) override { c.pipeline.receive_line(line); }
        bool receive_arr(std::span<const std::uint8_t> bytes) override { return c.pipeline.receive_arr(bytes); }
        void ble_connected(const std::string& name) override { c.ble_connected(name); }
        void ble_disconnected(const std::string& name) override { c.ble_disconnected(name); }
        void forward_to_tcp(std::span<const std::uint8_t> bytes) override { c.forward_to_tcp(bytes); }
        connection_t& c;
    };
    struct serial_events_t final : serial_delegate_t {
        explicit serial_events_t(connection_t& owner) : c(owner) {}
        void receive_line(std::string_view line) override { c.pipeline.receive_line(line); }
        bool receive_arr(std::span<const std::uint8_t> bytes) override { return c.pipeline.receive_arr(bytes); }
        void serial_connected(const std::string& port, std::uint32_t baud) override { c.serial_connected(port, baud); }
        void serial_failed(const std::string& port, const std::string& message) override {
            c.serial_failed(port, message);
        }
        void forward_to_tcp(std::span<const std::uint8_t> bytes) override { c.forward_to_tcp(bytes); }
        connection_t& c;
    };

    void tcp_connected(const std::string& host, std::uint16_t port);
    void tcp_failed(const std::string& host, std::uint16_t port, int error_number);
    void forward_to_ble(std::span<const std::uint8_t> bytes);
    void first_binary_frame();
    void ble_connected(const std::string& name);
    void ble_disconnected(const std::string& name);
    void forward_to_tcp(std::span<const std::uint8_t> bytes);
    struct mqtt_link_events_t final : mqtt_link_delegate_t {
        explicit mqtt_link_events_t(connection_t& owner) : c(owner) {}
        void receive_line(std::string_view line) override { c.pipeline.receive_line(line); }
        bool receive_arr(std::span<const std::uint8_t> bytes) override { return c.pipeline.receive_arr(bytes); }
        void mqtt_rx(std::span<const std::uint8_t> bytes) override { c.mqtt_rx(bytes); }
        void mqtt_board_up(const std::string& board) override { c.mqtt_board_up(board); }
        connection_t& c;
    };

    void mqtt_rx(std::span<const std::uint8_t> bytes);
    void mqtt_board_up(const std::string& board);
    void serial_connected(const std::string& port, std::uint32_t baud);
    void serial_failed(const std::string& port, const std::string& message);

    void set_link(link_state_t& link, link_state_t state);
    bool serial_ready() const;
    void log(const std::string& text);
    bool ble_ready() const;
    void set_command_note(std::string text);

    const clock_t& clock_;
    console_t& console_;
    main_queue_t& main_;
    haptics_t& haptics_;
    central_factory_t make_central_;

    std::unique_ptr<ble_central_t> central_;
    std::unique_ptr<ble_t> ble_;
    std::unique_ptr<tcp_client_t> tcp_client_;
    serial_factory_t make_serial_port_;
    std::unique_ptr<serial_port_t> serial_port_;
    std::unique_ptr<serial_t> serial_;
    broker_factory_t make_broker_;
    std::unique_ptr<mqtt_link_t> mqtt_;
    subscription_t mqtt_subscription_;

    std::string command_note_;
    std::vector<raw_tap_t*> raw_taps_;
    void tap_rx(std::span<const std::uint8_t> bytes);
    void tap_tx(std::span<const std::uint8_t> bytes);
    link_state_t link_tcp_;
    link_state_t link_ble_;
    link_state_t link_serial_;

    tcp_events_t tcp_events_{*this};
    ble_events_t ble_events_{*this};
    serial_events_t serial_events_{*this};
    mqtt_link_events_t mqtt_events_{*this};

    subscription_t pipeline_subscription_;
    subscription_t gps_subscription_;
    subscription_t ble_subscription_;
    // Pending retries hold this token weakly, so a retry that fires after the
    // coordinator is gone does nothing.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace plimsy
