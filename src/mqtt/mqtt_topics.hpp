#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace plimsy {

// Every board is published under plimsy/<board>/..., one topic level.
inline constexpr std::string_view mqtt_topic_root = "plimsy";
inline constexpr std::size_t mqtt_board_id_max = 64;

// A board id fit for one topic level, made from a BLE name, a serial port or
// serial number, or a TCP address. Kept: letters, digits and . - _ : (a
// name's other bytes, '/', '+', '#', spaces and control characters become
// '_'); a leading '$' (the broker's own topics) too; cut to
// mqtt_board_id_max bytes. Never empty ("board").
std::string mqtt_board_id(std::string_view name);

// A board id given outright (an option): refused rather than changed, with
// the reason in `error`, when it is not what mqtt_board_id would keep.
bool mqtt_board_id_valid(std::string_view id, std::string& error);

// "plimsy/<board>/<leaf>".
std::string mqtt_board_topic(std::string_view board, std::string_view leaf);

// The board id of a topic under plimsy/, if `topic` is plimsy/<board>/<leaf>.
std::optional<std::string> mqtt_topic_board(std::string_view topic, std::string_view leaf);

}  // namespace plimsy
