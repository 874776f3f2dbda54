#include "orientation/direction.hpp"

#include <cmath>

#include "common/angles.hpp"

namespace plimsy {

direction_t direction_t::of(float x, float y) {
    if (x == 0 && y == 0) return {};
    const float r = std::sqrt(x * x + y * y);
    return {x / r, y / r};
}

float direction_t::px() const { return clamp01(ux); }
float direction_t::py() const { return clamp01(uy); }
float direction_t::mx() const { return clamp01(-ux); }
float direction_t::my() const { return clamp01(-uy); }

}  // namespace plimsy
