#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "mqtt/mqtt_client.hpp"
#include "mqtt/mqtt_topics.hpp"
#include "session/session.hpp"

namespace plimsy {

struct mqtt_gateway_options_t {
    std::string board;  // the topic-safe board id (mqtt_board_id)
    std::string link;   // how the board is reached, for the status: "ble", "tcp", "serial", "simulated"
    // Off: commands from the broker are refused and logged. A broker is
    // shared; a command changes the board (calibration, restart).
    bool allow_commands = false;
};

// Publishes one session's board to a broker:
//   plimsy/<board>/raw     every raw chunk from the board, as received (binary, QoS 1)
//   plimsy/<board>/<key>   every decoded record, its fields as JSON
//   plimsy/<board>/status  retained: {"online":true,"board":...,"kind":...,"link":...,"commands":...};
//                          {"online":false,...} as the broker's last will and on a clean stop
// and takes plimsy/<board>/cmd as a board command when commands are allowed.
// The board's link never depends on the broker: while the broker is away
// the client buffers a bounded amount and reconnects by itself. Main thread.
class mqtt_gateway_t final : public session_tap_t {
public:
    // The will and linger of `mqtt` are set here.
    mqtt_gateway_t(session_t& session, mqtt_options_t mqtt, mqtt_gateway_options_t options);
    // Publishes the offline status and waits briefly for the broker to take it.
    ~mqtt_gateway_t() override;
    mqtt_gateway_t(const mqtt_gateway_t&) = delete;
    mqtt_gateway_t& operator=(const mqtt_gateway_t&) = delete;

    void start();

    void board_rx(std::span<const std::uint8_t> bytes) override;
    void board_tx(std::span<const std::uint8_t>) override {}
    void local_action(std::string_view, const capture_arg_t&) override {}

    // Longest command taken from the broker, without its line end.
    static constexpr std::size_t max_command_bytes = 128;
    // A command from the broker, checked as untrusted input: empty when it
    // may go to the board (`command` then holds it without its line end),
    // else why not.
    static std::string check_command(std::string_view payload, std::string& command);

    // The status message; `with_kind` false leaves the board kind out (the
    // last will is fixed before the board has said what it is).
    std::string status_json(bool online, bool with_kind = true) const;
    const mqtt_client_t& client() const { return *client_; }
    const mqtt_gateway_options_t& options() const { return options_; }
    std::uint64_t commands_sent = 0;
    std::uint64_t commands_refused = 0;

private:
    void on_line(const line_result_t& result);
    void on_message(const mqtt_message_t& message);
    void publish_status();

    session_t& session_;
    mqtt_gateway_options_t options_;
    std::string raw_topic_, status_topic_, cmd_topic_;
    std::string kind_;
    std::string json_;
    std::function<void(const line_result_t&)> previous_observer_;
    std::unique_ptr<mqtt_client_t> client_;
};

}  // namespace plimsy
