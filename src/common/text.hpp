#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.hpp"

namespace plimsy {

// printf-style formatting into a std::string ("%.2f", "%5i", "%.f%%  ").
std::string cformat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Shortest decimal text that reads back to the same float; whole values keep
// a ".0" ("1.0", "-0.25", "176.58"), as the debug texts show them.
std::string shortest(float value);
// The same for a double.
std::string shortest(double value);
void append_shortest(std::string& out, float value);

// "{ x: 1.0, y: 2.5, z: -3.0 }": the debug text of every three-axis reading.
std::string xyz_debug_text(float x, float y, float z);

// "2026-12-05 01:24:08 +0000": the date, the time of day to the second and
// the zone offset, in UTC. Leads most console lines.
std::string timestamp(time_point_t t);

// True if the bytes are well-formed UTF-8 (no overlongs, no surrogates,
// nothing above U+10FFFF).
bool valid_utf8(std::string_view bytes);

// The bytes as UTF-8 text, each ill-formed sequence replaced by U+FFFD.
std::string utf8_with_replacements(std::string_view bytes);

// Appends `text` as the inside of a JSON string literal (no quotes).
void append_json_escaped(std::string& out, std::string_view text);

}  // namespace plimsy
