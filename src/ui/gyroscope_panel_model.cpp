#include "ui/gyroscope_panel_model.hpp"

#include "model/sensors.hpp"
#include "shown/panels.hpp"
#include "ui/shown_colour.hpp"
#include "ui/tooltip_text.hpp"

namespace plimsy {

namespace {
gyroscope_shown_t angles(const sensors_t* s) { return s ? shown_gyroscope(s->gyroscope) : gyroscope_shown_t{}; }
trace_shown_t plot(const sensors_t* s) { return s ? shown_trace(s->trace) : trace_shown_t{}; }
}  // namespace

QString gyroscope_panel_model_t::x_text() const { return qs(angles(sensors()).x_text); }
QString gyroscope_panel_model_t::y_text() const { return qs(angles(sensors()).y_text); }
QString gyroscope_panel_model_t::z_text() const { return qs(angles(sensors()).z_text); }

QString gyroscope_panel_model_t::hold_text() const { return qs(plot(sensors()).hold_text); }
bool gyroscope_panel_model_t::held() const { return plot(sensors()).held; }
bool gyroscope_panel_model_t::show_reset() const { return plot(sensors()).show_reset; }

QStringList gyroscope_panel_model_t::legend() const {
    QStringList names;
    for (const auto& name : plot(sensors()).legend) names.push_back(qs(name));
    return names;
}

QVariantList gyroscope_panel_model_t::legend_colours() const {
    QVariantList colours;
    for (const auto& name : plot(sensors()).legend_colours) colours.push_back(shown_colour(name));
    return colours;
}


void gyroscope_panel_model_t::toggle_hold() {
    if (!view()) return;
    view()->act(local_action_t::trace_toggle_hold);
}

void gyroscope_panel_model_t::reset() {
    if (!view()) return;
    view()->act(local_action_t::trace_reset, true);
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
