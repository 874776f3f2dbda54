#pragma once

#include <cstdint>

#include "model/records.hpp"

namespace plimsy {

// Power-management status of the board: the three status registers as
// numbers, battery voltage and level as received.
struct adp536x_t {
    std::uint8_t cs1 = 0;
    std::uint8_t cs2 = 0;
    std::uint8_t pgs = 0;
    std::uint16_t voltage = 0;
    std::uint8_t level = 0;

    adp536x_t() = default;
    // The board sends each register as text such as "0x1f". If any of the
    // three texts cannot be read, every field stays 0: a half-read status
    // would show a battery state that never existed.
    explicit adp536x_t(const adp536x_str_t& record);
};

}  // namespace plimsy
