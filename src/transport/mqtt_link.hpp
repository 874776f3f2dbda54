#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "config/broker_url.hpp"
#include "config/connection_requests.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/observable.hpp"
#include "transport/broker_client.hpp"
#include "transport/line_reassembler.hpp"
#include "transport/link_state.hpp"
#include "transport/receive_line.hpp"

namespace plimsy {

// A board as its gateway last described it in its retained status topic.
struct broker_board_t {
    std::string id;
    bool online = false;
    std::string kind;        // the board kind the gateway saw ("compass_gravity"), may be empty
    std::string link;        // how the gateway reaches the board ("ble Plimsy:91 UART"), may be empty
    bool commands = false;   // the gateway passes commands on (--allow-commands)
    bool operator==(const broker_board_t&) const = default;
};

// A status payload ({"online":true,"kind":...,"link":...,"commands":...}),
// or nothing when it is not one. Members it does not know are ignored.
std::optional<broker_board_t> parse_board_status(std::string_view board, std::string_view payload);

class mqtt_link_delegate_t : public receive_line_t, public receive_arr_t {
public:
    // Every chunk of the watched board's raw topic, before it is read as
    // lines: counted and given to the raw taps, as a local link's reads are.
    virtual void mqtt_rx(std::span<const std::uint8_t> bytes) = 0;
    // The watched board is online and its stream flows.
    virtual void mqtt_board_up(const std::string& board) = 0;
};

// The fourth way to reach a board: through an MQTT broker that a gateway
// next to the board publishes to. Lists the boards the broker knows from
// their retained status topics (plimsy/+/status), and for the chosen board
// reads plimsy/<board>/raw through the line reassembler, as a TCP or serial
// link reads its stream. Commands go to plimsy/<board>/cmd, only when the
// board's gateway says it takes them. Everything from the broker is
// untrusted: topics and sizes are checked, a status that is not JSON is
// ignored with a console line, the board list is bounded. Main thread only.
class mqtt_link_t : public observable_t, private broker_events_t {
public:
    static constexpr std::size_t max_boards = 1000;
    static constexpr std::size_t max_status_bytes = 4096;
    // Larger than any chunk a gateway sends (a BLE notification, a TCP or
    // serial read); a bigger payload is dropped with a console line.
    static constexpr std::size_t max_raw_bytes = 256 * 1024;
    static constexpr std::size_t max_command_bytes = 4096;

    mqtt_link_t(mqtt_link_delegate_t& delegate, console_t& console, const clock_t& clock, broker_factory_t make_client);
    ~mqtt_link_t() override;

    // Connects to the broker (again, when the broker, user or CA file
    // changed) and watches request.board; an empty board only lists.
    void connect(const mqtt_request_t& request);
    void disconnect();
    bool enabled() const { return enabled_; }
    const mqtt_request_t& request() const { return request_; }

    // The password is kept in memory only, for this run. While it is
    // pending (the keyring has not answered yet), a connection waits for it.
    void set_password_pending();
    void set_password(std::string password);
    bool password_pending() const { return password_pending_; }

    const link_state_t& state() const { return state_; }
    // The broker is connected (whatever the board does).
    bool broker_up() const { return broker_up_; }
    // The boards the broker knows, by id.
    const std::vector<broker_board_t>& boards() const { return boards_; }
    const broker_board_t* find_board(std::string_view id) const;

    // Whether a command would be published now, and if not, why.
    bool commands_allowed(std::string* why = nullptr) const;
    bool send(std::string_view text, std::string& why);

    std::uint64_t ignored_messages() const { return ignored_; }

private:
    void broker_connected() override;
    void broker_failed(broker_failure_t why, const std::string& detail) override;
    void broker_message(std::string_view topic, std::span<const std::uint8_t> payload) override;

    void start_client();
    void status_message(std::string_view board, std::span<const std::uint8_t> payload);
    void raw_message(std::span<const std::uint8_t> payload);
    void set_state(link_state_t state);
    // The watched board's state from the broker's and the board's.
    void update_state();
    void ignore(const std::string& what);
    void log(const std::string& text);
    std::string explain(broker_failure_t why, const std::string& detail) const;

    mqtt_link_delegate_t& delegate_;
    console_t& console_;
    const clock_t& clock_;
    broker_factory_t make_client_;
    std::unique_ptr<broker_client_t> client_;

    mqtt_request_t request_;
    std::string where_;  // host:port of the broker
    std::string raw_topic_;
    std::string password_;
    std::string password_used_;  // what the running client connected with
    bool password_pending_ = false;
    bool enabled_ = false;
    bool broker_up_ = false;
    bool board_up_ = false;  // the watched board's stream is announced as up
    std::optional<std::string> failure_;  // the broker's last failure, in the user's words
    bool failure_after_up_ = false;
    std::vector<broker_board_t> boards_;
    bool boards_full_said_ = false;
    std::uint64_t ignored_ = 0;
    link_state_t state_;
    line_reassembler_t reassembler_;
};

}  // namespace plimsy
