#include "orientation/axis_values.hpp"

namespace plimsy {

axis_values_t axis_values_t::make(std::int16_t raw, float correction, std::int16_t min, std::int16_t max) {
    axis_values_t v;
    v.raw = raw;
    v.min = min;
    v.max = max;
    const std::int32_t sum = std::int32_t{min} + std::int32_t{max};
    const std::int32_t span = std::int32_t{max} - std::int32_t{min};
    v.offset = static_cast<float>(sum) * 0.5f;
    v.divisor = static_cast<float>(span) * 0.5f;
    v.centred = correction - v.offset + static_cast<float>(raw);
    return v;
}

}  // namespace plimsy
