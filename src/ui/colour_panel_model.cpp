#include "ui/colour_panel_model.hpp"

#include "common/angles.hpp"
#include "common/text.hpp"
#include "model/sensors.hpp"
#include "ui/tooltip_text.hpp"
#include "ui/palette.hpp"

namespace plimsy {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

bh1749_t reading(const sensors_t* s) { return s ? s->bh1749 : bh1749_t{}; }

}  // namespace

QString colour_panel_model_t::factor_text(float factor) {
    if (factor == 1.0f) return {};
    return qs(cformat(" * %.2f", static_cast<double>(factor)));
}

QString colour_panel_model_t::infrared() const { return qs(reading(sensors()).i_s()); }
QString colour_panel_model_t::infrared_factor() const { return factor_text(reading(sensors()).i_c); }
double colour_panel_model_t::infrared_fraction() const { return clamp01(reading(sensors()).i_n()); }
QColor colour_panel_model_t::infrared_colour() const { return palette_rgb(reading(sensors()).colour_i()); }

QString colour_panel_model_t::red() const { return qs(reading(sensors()).r_s()); }
QString colour_panel_model_t::green() const { return qs(reading(sensors()).g_s()); }
QString colour_panel_model_t::blue() const { return qs(reading(sensors()).b_s()); }
QString colour_panel_model_t::red_factor() const { return factor_text(reading(sensors()).r_c); }
QString colour_panel_model_t::green_factor() const { return factor_text(reading(sensors()).g_c); }
QString colour_panel_model_t::blue_factor() const { return factor_text(reading(sensors()).b_c); }
double colour_panel_model_t::red_fraction() const { return clamp01(reading(sensors()).r_n()); }
double colour_panel_model_t::green_fraction() const { return clamp01(reading(sensors()).g_n()); }
double colour_panel_model_t::blue_fraction() const { return clamp01(reading(sensors()).b_n()); }
QColor colour_panel_model_t::red_colour() const { return palette_colour(colour_t::red); }
QColor colour_panel_model_t::green_colour() const { return palette_colour(colour_t::green); }
QColor colour_panel_model_t::blue_colour() const { return palette_colour(colour_t::blue); }
QColor colour_panel_model_t::swatch() const { return palette_rgb(reading(sensors()).colour()); }

void colour_panel_model_t::reset_factors() {
    sensors_t* s = sensors();
    if (!s) return;
    view()->tick();
    // The factors live in a value held by the sensors model; announce
    // first, as its own operations do, so every view redraws.
    s->will_change();
    s->bh1749.r_c = 1.0f;
    s->bh1749.g_c = 1.0f;
    s->bh1749.b_c = 1.0f;
    s->bh1749.i_c = 1.0f;
}

void colour_panel_model_t::white_balance() {
    sensors_t* s = sensors();
    if (!s) return;
    view()->tick();
    s->bh1749_white_balance();
}

QVariantMap colour_panel_model_t::tooltips() const {
    return {
        {QStringLiteral("light"), tooltip_text("Tap: every correction back to 1, the readings as the sensor gives them")},
        {QStringLiteral("swatch"), tooltip_text("Tap: white balance, the light falling now reads as white")},
    };
}

}  // namespace plimsy
