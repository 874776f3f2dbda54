#pragma once

#include <QColor>
#include <QString>
#include <string>
#include <string_view>

#include "ui/palette.hpp"

namespace plimsy {

// The paint for a colour the shown values name: a colour_t name
// ("red", "primary") or the one system colour they use. An unknown name
// paints nothing rather than a wrong colour.
inline QColor shown_colour(std::string_view name) {
    if (name == "secondary_system_background") return palette::secondary_system_background;
    for (int i = 0; i <= static_cast<int>(colour_t::clear); ++i) {
        const auto c = static_cast<colour_t>(i);
        if (name == colour_name(c)) return palette_colour(c);
    }
    return palette_colour(colour_t::clear);
}

inline QString qs(const std::string& s) { return QString::fromStdString(s); }

}  // namespace plimsy
