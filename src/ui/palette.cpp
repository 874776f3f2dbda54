#include "ui/palette.hpp"

namespace plimsy {

QColor palette_colour(colour_t c) {
    switch (c) {
    case colour_t::primary: return QColor(0, 0, 0);
    case colour_t::secondary: return QColor(60, 60, 67, 153);
    case colour_t::tertiary: return QColor(60, 60, 67, 76);
    case colour_t::accent: return QColor(0, 122, 255);
    case colour_t::red: return QColor(255, 59, 48);
    case colour_t::green: return QColor(40, 180, 70);
    case colour_t::blue: return QColor(0, 122, 255);
    case colour_t::yellow: return QColor(230, 180, 0);
    case colour_t::orange: return QColor(255, 149, 0);
    case colour_t::purple: return QColor(175, 82, 222);
    case colour_t::white: return QColor(255, 255, 255);
    case colour_t::black: return QColor(0, 0, 0);
    case colour_t::clear: return QColor(0, 0, 0, 0);
    }
    return QColor(0, 0, 0);
}

QColor palette_rgb(const rgb_t& c) {
    auto unit = [](double v) { return static_cast<float>(v < 0 ? 0 : v > 1 ? 1 : v); };
    return QColor::fromRgbF(unit(c.r), unit(c.g), unit(c.b));
}

}  // namespace plimsy
