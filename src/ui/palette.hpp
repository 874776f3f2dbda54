#pragma once

#include <QColor>

#include "common/colour.hpp"

namespace plimsy {

// The logic names colours by role; this is the one place that turns a role
// into what the window paints (a light theme).
QColor palette_colour(colour_t c);
QColor palette_rgb(const rgb_t& c);

// System colours the views use beyond the roles.
namespace palette {
inline const QColor system_background{255, 255, 255};
inline const QColor secondary_system_background{242, 242, 247};
inline const QColor system_fill{120, 120, 128, 51};
inline const QColor link{0, 122, 255};
// The red of the "Disconnect" button.
inline const QColor destructive = QColor::fromRgbF(0.8874509803921569f, 0.14745098039215687f, 0.1596078431372549f);
}  // namespace palette

}  // namespace plimsy
