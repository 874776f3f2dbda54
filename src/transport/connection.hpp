#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "common/colour.hpp"
#include "config/connection_requests.hpp"
#include "model/gps_data.hpp"
#include "platform/altimeter.hpp"
#include "platform/ble_central.hpp"
#include "platform/haptics.hpp"
#include "platform/main_queue.hpp"
#include "transport/ble.hpp"
#include "transport/receive_pipeline.hpp"
#include "transport/serial.hpp"
#include "transport/tcp_client.hpp"

namespace plimsy {

// The one object between the transports and the rest of the system. Its
// receiving half is the pipeline it derives from; this half connects and
// disconnects the transports, keeps a status per transport, retries a failed
// TCP connection, sends the user's commands to the board and, with both
// transports up, relays raw bytes between the board and the TCP peer.
// Main thread only.
class connection_t : public receive_pipeline_t,
                     public connection_requests_t,
                     public tcp_client_delegate_t,
                     public ble_delegate_t,
                     public serial_delegate_t {
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
    void disconnect() override;
    // Set before the serial transport is first used.
    void set_serial_factory(serial_factory_t make) { make_serial_port_ = std::move(make); }
    // A command for the board ("C\n"): over BLE with its prefix and postfix,
    // and bare to a connected TCP peer. True when a transport took it; when
    // none did, the console says so and command_note() tells the window.
    bool send(std::string_view text);
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

    const std::string& status_ble() const { return status_ble_; }
    // What the toolbar shows for BLE: the coordinator's own status, except
    // while the radio cannot scan at all (no adapter, switched off, not
    // allowed): then the radio's state, so that a green "BLE scanning..."
    // never promises a search that cannot happen.
    const std::string& shown_status_ble() const;
    colour_t shown_sta_fg_ble() const;
    const std::string& status_tcp() const { return status_tcp_; }
    colour_t sta_fg_ble() const { return sta_fg_ble_; }
    colour_t sta_fg_tcp() const { return sta_fg_tcp_; }
    const std::string& status_serial() const { return status_serial_; }
    colour_t sta_fg_serial() const { return sta_fg_serial_; }

    gps_data_t gps_data;

    // Bytes received from the board and the TCP peer since creation.
    std::uint64_t bytes_received = 0;

    // tcp_client_delegate_t
    void tcp_connected(const std::string& host, std::uint16_t port) override;
    void tcp_failed(const std::string& host, std::uint16_t port, int error_number) override;
    void forward_to_ble(std::span<const std::uint8_t> bytes) override;
    void first_binary_frame() override;
    // ble_delegate_t
    void ble_connected(const std::string& name) override;
    void ble_disconnected(const std::string& name) override;
    // ble_delegate_t and serial_delegate_t: the board's raw bytes
    void forward_to_tcp(std::span<const std::uint8_t> bytes) override;
    // serial_delegate_t
    void serial_connected(const std::string& port, std::uint32_t baud) override;
    void serial_failed(const std::string& port, const std::string& message) override;

private:
    void set_status_tcp(std::string text, colour_t colour);
    void set_status_ble(std::string text, colour_t colour);
    void set_status_serial(std::string text, colour_t colour);
    bool serial_ready() const;
    void log(const std::string& text);
    bool ble_ready() const;
    void set_command_note(std::string text);

    main_queue_t& main_;
    haptics_t& haptics_;
    central_factory_t make_central_;

    std::unique_ptr<ble_central_t> central_;
    std::unique_ptr<ble_t> ble_;
    std::unique_ptr<tcp_client_t> tcp_client_;
    serial_factory_t make_serial_port_;
    std::unique_ptr<serial_port_t> serial_port_;
    std::unique_ptr<serial_t> serial_;

    std::string status_ble_ = "offline";
    std::string status_tcp_ = "offline";
    std::string command_note_;
    colour_t sta_fg_ble_ = colour_t::primary;
    colour_t sta_fg_tcp_ = colour_t::primary;
    std::string status_serial_ = "offline";
    colour_t sta_fg_serial_ = colour_t::primary;

    subscription_t gps_subscription_;
    subscription_t ble_subscription_;
    // Pending retries hold this token weakly, so a retry that fires after the
    // coordinator is gone does nothing.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace plimsy
