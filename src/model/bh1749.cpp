#include "model/bh1749.hpp"

#include <algorithm>
#include <cmath>

#include "common/angles.hpp"
#include "common/text.hpp"

namespace plimsy {

namespace {

// Low 32 bits of the count truncated toward zero, as an unsigned decimal.
// Products outside the 64-bit range only arise from absurd counts; they
// saturate rather than overflow the conversion.
std::string count_text(float product) {
    std::int64_t whole = 0;
    if (std::isnan(product)) {
        whole = 0;
    } else if (product >= 9223372036854775808.0f) {
        whole = INT64_MAX;
    } else if (product < -9223372036854775808.0f) {
        whole = INT64_MIN;
    } else {
        whole = static_cast<std::int64_t>(product);
    }
    return cformat("%u", static_cast<unsigned>(static_cast<std::uint32_t>(whole)));
}

// A negative count would make the square root NaN; the swatch shows it dark.
double component(float v) { return clamp01(std::isnan(v) ? 0.0 : static_cast<double>(v)); }

float factor(std::int64_t m, std::int64_t count) {
    return count != 0 ? static_cast<float>(m) / static_cast<float>(count) : 1.0f;
}

}  // namespace

void bh1749_t::white_balance() {
    const std::int64_t m = std::max({r, g, b});
    r_c = factor(m, r);
    g_c = factor(m, g);
    b_c = factor(m, b);
}

float bh1749_t::brightest() const {
    const float m = std::max({corrected_r(), corrected_g(), corrected_b()});
    // Never divide by less than one count, even in the dark.
    return std::max(m, 1.0f);
}

float bh1749_t::scale_limit() const {
    const float m = brightest();
    if (lim[0] >= m) return lim[0];
    if (lim[1] >= m) return lim[1];
    return lim[2];
}

// Within the first step the channels are linear against it; above it they
// are relative to the brightest channel through a square root, which keeps
// the hue and lifts the darker channels.
float bh1749_t::normalized(float channel) const {
    const float m = brightest();
    if (m > lim[0]) return std::sqrt(channel / m);
    return channel / scale_limit();
}

float bh1749_t::r_n() const { return normalized(corrected_r()); }
float bh1749_t::g_n() const { return normalized(corrected_g()); }
float bh1749_t::b_n() const { return normalized(corrected_b()); }

float bh1749_t::i_n() const {
    const float v = corrected_i();
    if (v > lim[0]) return std::sqrt(v / (v <= lim[1] ? lim[1] : lim[2]));
    return v / lim[0];
}

std::string bh1749_t::r_s() const { return count_text(corrected_r()); }
std::string bh1749_t::g_s() const { return count_text(corrected_g()); }
std::string bh1749_t::b_s() const { return count_text(corrected_b()); }
std::string bh1749_t::i_s() const { return count_text(corrected_i()); }

rgb_t bh1749_t::colour() const { return {component(r_n()), component(g_n()), component(b_n())}; }

rgb_t bh1749_t::colour_i() const {
    const double grey = component(i_n());
    return {grey, grey, grey};
}

std::string bh1749_t::debug_description() const {
    return "{ r: " + std::to_string(r) + ", g: " + std::to_string(g) + ", b: " + std::to_string(b) +
           ", i: " + std::to_string(i) + " }";
}

}  // namespace plimsy
