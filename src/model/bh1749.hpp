#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/colour.hpp"

namespace plimsy {

// Colour-sensor counts with per-channel correction. The counts change with
// every reading; the correction factors and the full-scale steps survive
// them, so the sensors model sets r, g, b, i in place.
struct bh1749_t {
    std::int64_t r = 0;
    std::int64_t g = 0;
    std::int64_t b = 0;
    std::int64_t i = 0;
    float r_c = 1.0f;
    float g_c = 1.0f;
    float b_c = 1.0f;
    float i_c = 1.0f;
    // Full-scale steps, ascending.
    std::array<float, 3> lim = {255.0f, 10000.0f, 65536.0f};

    // Takes the current light as neutral: afterwards R = G = B.
    void white_balance();

    // Full scale for the brightest corrected channel.
    float scale_limit() const;
    // Channel values for display, nominally 0 to 1.
    float r_n() const;
    float g_n() const;
    float b_n() const;
    float i_n() const;
    // Corrected counts as unsigned decimal texts.
    std::string r_s() const;
    std::string g_s() const;
    std::string b_s() const;
    std::string i_s() const;
    // The swatch colours: the visible light, and the infrared as a grey.
    rgb_t colour() const;
    rgb_t colour_i() const;

    std::string debug_description() const;

private:
    float corrected_r() const { return static_cast<float>(r) * r_c; }
    float corrected_g() const { return static_cast<float>(g) * g_c; }
    float corrected_b() const { return static_cast<float>(b) * b_c; }
    float corrected_i() const { return static_cast<float>(i) * i_c; }
    float brightest() const;
    float normalized(float channel) const;
};

}  // namespace plimsy
