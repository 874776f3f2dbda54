#pragma once

namespace plimsy {

// Colours by role; the user interface maps each to its palette.
enum class colour_t {
    primary,    // the primary text (label) colour
    secondary,
    tertiary,
    accent,
    red,
    green,
    blue,
    yellow,
    orange,
    purple,
    white,
    black,
    clear,
};

const char* colour_name(colour_t c);

// An opaque sRGB colour with components in [0, 1] (the colour swatch).
struct rgb_t {
    double r = 0, g = 0, b = 0;
    bool operator==(const rgb_t&) const = default;
};

}  // namespace plimsy
