#pragma once

#include <QString>

namespace plimsy {

// A button's tooltip: what it does, then the key that does the same, so a
// user learns the shortcut where they find the button.
inline QString tooltip_text(const char* effect, const char* key = nullptr) {
    QString text = QString::fromUtf8(effect);
    if (key) text += QStringLiteral(" (") + QString::fromUtf8(key) + QLatin1Char(')');
    return text;
}

}  // namespace plimsy
