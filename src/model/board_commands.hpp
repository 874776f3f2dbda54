#pragma once

// The commands the host sends to the board: one character and a line feed.
// The panels send them by name and the simulated board answers them, both
// from this one list, so a button and the board cannot drift apart.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace plimsy {

enum class board_command_t : std::uint8_t {
    calibrate,   // compass calibration: start, next step, finish
    defaults,    // compass calibration: back to the board's defaults
    load,        // compass calibration: load the stored calibration
    reboot,      // restart the board (the gyroscope panel's title too)
    mag,         // compass calibration: magnetometer mode
    two_d,       // compass calibration: 2D
    three_d,     // compass calibration: 3D
    compensate,  // compass calibration: tilt compensation
    compass,     // compass panel: report the compass
    heading,     // compass panel: report the heading
};

struct board_command_entry_t {
    board_command_t command;
    std::string_view name;   // what QML binds to ("calibrate")
    std::string_view bytes;  // what goes to the board ("C\n")
};

inline constexpr std::array<board_command_entry_t, 10> board_commands = {{
    {board_command_t::calibrate, "calibrate", "C\n"},
    {board_command_t::defaults, "defaults", "D\n"},
    {board_command_t::load, "load", "L\n"},
    {board_command_t::reboot, "reboot", "R\n"},
    {board_command_t::mag, "mag", "M\n"},
    {board_command_t::two_d, "two_d", "2\n"},
    {board_command_t::three_d, "three_d", "3\n"},
    {board_command_t::compensate, "compensate", "c\n"},
    {board_command_t::compass, "compass", "G\n"},
    {board_command_t::heading, "heading", "H\n"},
}};

// The bytes of a command, line feed included.
constexpr std::string_view board_command_bytes(board_command_t c) {
    for (const auto& e : board_commands)
        if (e.command == c) return e.bytes;
    return {};
}

// The character the board reads: the command's bytes before the line feed.
constexpr char board_command_char(board_command_t c) { return board_command_bytes(c).front(); }

// The command of that exact name; nothing for an unknown name.
constexpr std::optional<board_command_t> find_board_command(std::string_view name) {
    for (const auto& e : board_commands)
        if (e.name == name) return e.command;
    return std::nullopt;
}

// The list is in the order of the enumeration, with one line per command.
static_assert([] {
    for (std::size_t i = 0; i < board_commands.size(); ++i)
        if (static_cast<std::size_t>(board_commands[i].command) != i || board_commands[i].bytes.size() != 2 ||
            board_commands[i].bytes[1] != '\n')
            return false;
    return true;
}());

}  // namespace plimsy
