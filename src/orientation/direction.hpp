#pragma once

namespace plimsy {

// Horizontal direction of a field vector as a unit vector, and the four
// strengths (0 ... 1) with which a panel lights its +x, +y, -x and -y marks.
// A zero vector has no direction: everything is 0 rather than NaN.
struct direction_t {
    float ux = 0;
    float uy = 0;

    static direction_t of(float x, float y);

    float px() const;
    float py() const;
    float mx() const;
    float my() const;
};

}  // namespace plimsy
