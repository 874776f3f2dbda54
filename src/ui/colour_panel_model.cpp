#include "ui/colour_panel_model.hpp"

#include "model/sensors.hpp"
#include "shown/panels.hpp"
#include "ui/shown_colour.hpp"
#include "ui/tooltip_text.hpp"

namespace plimsy {

namespace {
bh1749_shown_t shown(const sensors_t* s) { return s ? shown_bh1749(s->bh1749) : shown_bh1749(bh1749_t{}); }
}  // namespace

QString colour_panel_model_t::infrared() const { return qs(shown(sensors()).infrared); }
QString colour_panel_model_t::infrared_factor() const { return qs(shown(sensors()).infrared_factor); }
double colour_panel_model_t::infrared_fraction() const { return shown(sensors()).infrared_fraction; }
QColor colour_panel_model_t::infrared_colour() const { return palette_rgb(shown(sensors()).infrared_colour); }

QString colour_panel_model_t::red() const { return qs(shown(sensors()).red); }
QString colour_panel_model_t::green() const { return qs(shown(sensors()).green); }
QString colour_panel_model_t::blue() const { return qs(shown(sensors()).blue); }
QString colour_panel_model_t::red_factor() const { return qs(shown(sensors()).red_factor); }
QString colour_panel_model_t::green_factor() const { return qs(shown(sensors()).green_factor); }
QString colour_panel_model_t::blue_factor() const { return qs(shown(sensors()).blue_factor); }
double colour_panel_model_t::red_fraction() const { return shown(sensors()).red_fraction; }
double colour_panel_model_t::green_fraction() const { return shown(sensors()).green_fraction; }
double colour_panel_model_t::blue_fraction() const { return shown(sensors()).blue_fraction; }
QColor colour_panel_model_t::red_colour() const { return shown_colour(bh1749_shown_t{}.red_colour); }
QColor colour_panel_model_t::green_colour() const { return shown_colour(bh1749_shown_t{}.green_colour); }
QColor colour_panel_model_t::blue_colour() const { return shown_colour(bh1749_shown_t{}.blue_colour); }
QColor colour_panel_model_t::swatch() const { return palette_rgb(shown(sensors()).swatch); }

void colour_panel_model_t::reset_factors() {
    if (view()) view()->act(local_action_t::bh1749_reset_corrections);
}

void colour_panel_model_t::white_balance() {
    if (view()) view()->act(local_action_t::bh1749_white_balance);
}

QVariantMap colour_panel_model_t::tooltips() const {
    return {
        {QStringLiteral("light"), tooltip_text("Tap: every correction back to 1, the readings as the sensor gives them")},
        {QStringLiteral("swatch"), tooltip_text("Tap: white balance, the light falling now reads as white")},
    };
}

}  // namespace plimsy
