#include "ui/gyroscope_panel_model.hpp"

#include <cstdio>

#include "common/angles.hpp"
#include "model/sensors.hpp"
#include "ui/tooltip_text.hpp"
#include "ui/palette.hpp"

namespace plimsy {

QString gyroscope_panel_model_t::angle(double radians) const {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", radians * 180.0 / pi);
    return QString::fromLatin1(text);
}

QString gyroscope_panel_model_t::x_text() const { return sensors() ? angle(sensors()->gyroscope.x) : QString(); }
QString gyroscope_panel_model_t::y_text() const { return sensors() ? angle(sensors()->gyroscope.y) : QString(); }
QString gyroscope_panel_model_t::z_text() const { return sensors() ? angle(sensors()->gyroscope.z) : QString(); }

QString gyroscope_panel_model_t::hold_text() const {
    return QString::fromLatin1(sensors() ? sensors()->trace.hold_label() : "Hold");
}

bool gyroscope_panel_model_t::held() const { return sensors() && sensors()->trace.hold(); }
bool gyroscope_panel_model_t::show_reset() const { return sensors() && sensors()->trace.show_reset(); }

QStringList gyroscope_panel_model_t::legend() const {
    QStringList names;
    if (!sensors()) return names;
    for (const auto& s : sensors()->trace.series()) names.push_back(QString::fromStdString(s.name));
    return names;
}

QVariantList gyroscope_panel_model_t::legend_colours() const {
    QVariantList colours;
    if (!sensors()) return colours;
    const trace_t& trace = sensors()->trace;
    const auto series = trace.series();
    for (std::size_t i = 0; i < series.size(); ++i)
        colours.push_back(palette_colour(trace.enabled(static_cast<int>(i)) ? series[i].colour : colour_t::tertiary));
    return colours;
}

void gyroscope_panel_model_t::title() { send(QStringLiteral("R\n")); }

void gyroscope_panel_model_t::toggle_hold() {
    if (!view()) return;
    view()->tick();
    sensors()->trace.toggle_hold();
}

void gyroscope_panel_model_t::reset() {
    if (!view()) return;
    view()->tick();
    sensors()->trace.reset(true);
}

void gyroscope_panel_model_t::toggle_series(int i) {
    if (!view()) return;
    view()->tick();
    sensors()->trace.toggle_enable(i);
}

QVariantMap gyroscope_panel_model_t::tooltips() const {
    return {
        {QStringLiteral("title"), tooltip_text("Restarts the board's gyroscope", "R")},
        {QStringLiteral("hold"), tooltip_text(held() ? "Lets the plot follow the readings again"
                                                     : "Freezes the plot; readings keep arriving")},
        {QStringLiteral("reset"), tooltip_text("Empties the plot")},
        {QStringLiteral("legend"), tooltip_text("Shows or hides this series on the plot")},
    };
}

}  // namespace plimsy
