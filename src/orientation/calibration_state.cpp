#include "orientation/calibration_state.hpp"

namespace plimsy {

std::optional<calibration_state_t> calibration_state_from_raw(std::int32_t raw) {
    if (raw < 0 || raw > 4) return std::nullopt;
    return static_cast<calibration_state_t>(raw);
}

std::string unknown_calibration_text(calibration_state_t s) {
    return "Unknown calibration state " + std::to_string(raw_value(s));
}

std::string calibration_text(const calibration_texts_t& table, calibration_state_t s) {
    const auto raw = raw_value(s);
    if (raw < 0 || static_cast<std::size_t>(raw) >= table.size()) return unknown_calibration_text(s);
    return std::string(table[static_cast<std::size_t>(raw)]);
}

}  // namespace plimsy
