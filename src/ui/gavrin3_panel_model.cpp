#include "ui/gavrin3_panel_model.hpp"

#include "common/angles.hpp"
#include "common/text.hpp"
#include "model/sensors.hpp"
#include "ui/palette.hpp"

namespace plimsy {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

value_row_t gavrin3_panel_model_t::temperature() const {
    const float t = sensors() ? sensors()->shtc3.temp : 0.0f;
    return {"Temperature", qs(cformat("%.2f", static_cast<double>(t))), QStringLiteral("\u00BAC"), clamp01(t / 50.0),
            true};
}

value_row_t gavrin3_panel_model_t::humidity() const {
    const float h = sensors() ? sensors()->shtc3.humidity : 0.0f;
    return {"Humidity", qs(cformat("%.2f", static_cast<double>(h))), QStringLiteral("%"), clamp01(h / 100.0), true};
}

value_row_t gavrin3_panel_model_t::battery() const {
    const adp536x_t power = sensors() ? sensors()->adp536x : adp536x_t{};
    return {"Battery", QString::number(power.level), qs(cformat("%.2f", power.voltage / 1000.0) + " V"),
            clamp01(power.level / 100.0), true};
}

bool gavrin3_panel_model_t::pir() const { return sensors() && sensors()->gavrin3_events.PIR(); }
bool gavrin3_panel_model_t::alarm() const { return sensors() && sensors()->gavrin3_events.alarm(); }

QColor gavrin3_panel_model_t::text_colour(bool on) {
    return palette_colour(on ? colour_t::white : colour_t::tertiary);
}

QColor gavrin3_panel_model_t::background(bool on) {
    return on ? palette_colour(colour_t::red) : palette::secondary_system_background;
}

}  // namespace plimsy
