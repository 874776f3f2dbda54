#include "model/adp536x.hpp"

#include <charconv>
#include <string_view>

namespace plimsy {

namespace {

// Next piece of `text` between lower-case x separators, skipping empty ones.
// Returns an empty view when no piece is left.
std::string_view next_piece(std::string_view& text) {
    while (!text.empty() && text.front() == 'x') text.remove_prefix(1);
    const auto end = text.find('x');
    const auto piece = text.substr(0, end);
    text.remove_prefix(piece.size());
    return piece;
}

// "0x" followed by up to two significant hex digits. Only the lower-case x
// separates, so "0X1F" is one piece and fails; anything after a second x is
// ignored ("0x1fx9" reads as 0x1f).
bool parse_register(std::string_view text, std::uint8_t& out) {
    if (next_piece(text) != "0") return false;
    const auto hex = next_piece(text);
    if (hex.empty()) return false;
    // Unsigned: no sign is accepted; above 0xFF is out of range.
    std::uint8_t value = 0;
    const auto [ptr, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), value, 16);
    if (ec != std::errc() || ptr != hex.data() + hex.size()) return false;
    out = value;
    return true;
}

}  // namespace

adp536x_t::adp536x_t(const adp536x_str_t& record) {
    std::uint8_t c1 = 0, c2 = 0, pg = 0;
    if (!parse_register(record.cs1, c1) || !parse_register(record.cs2, c2) || !parse_register(record.pgs, pg)) return;
    cs1 = c1;
    cs2 = c2;
    pgs = pg;
    voltage = record.voltage;
    level = record.level;
}

}  // namespace plimsy
