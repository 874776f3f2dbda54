#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plimsy {

// An MQTT broker's address as the settings sheet takes it:
// mqtt://host[:port] (plain, default port 1883) or mqtts://host[:port]
// (TLS, default port 8883). The host is a name, an IPv4 address or an IPv6
// address in brackets. A user name or password inside the URL is refused:
// the URL is saved in the settings file, and a password must never be.
struct broker_url_t {
    bool tls = false;
    std::string host;
    std::uint16_t port = 0;
    // "host:port" (IPv6 in brackets), as the status line shows the broker.
    std::string where() const;
};

inline constexpr std::uint16_t mqtt_default_port = 1883;
inline constexpr std::uint16_t mqtts_default_port = 8883;

// The URL, or nothing with the reason in `why` in words the user can act on.
std::optional<broker_url_t> parse_broker_url(std::string_view text, std::string& why);

// The longest board id taken from a topic or typed in.
inline constexpr std::size_t board_id_max_bytes = 128;

// A board id that can stand as one level of a topic: not empty, at most
// board_id_max_bytes, valid UTF-8 without '/', '+', '#' or control
// characters. Anything else from a broker is ignored.
bool valid_board_id(std::string_view id);

// The topics of one board.
std::string board_topic(std::string_view board, std::string_view leaf);

}  // namespace plimsy
