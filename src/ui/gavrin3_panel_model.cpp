#include "ui/gavrin3_panel_model.hpp"

#include "model/sensors.hpp"
#include "shown/panels.hpp"
#include "ui/shown_colour.hpp"

namespace plimsy {

namespace {
shtc3_shown_t climate(const sensors_t* s) { return shown_shtc3(s ? s->shtc3 : shtc3_t{}); }
gavrin3_events_shown_t events(const sensors_t* s) {
    return s ? shown_gavrin3_events(s->gavrin3_events) : gavrin3_events_shown_t{};
}
}  // namespace

value_row_t gavrin3_panel_model_t::temperature() const { return value_row(climate(sensors()).temperature); }
value_row_t gavrin3_panel_model_t::humidity() const { return value_row(climate(sensors()).humidity); }
value_row_t gavrin3_panel_model_t::battery() const {
    return value_row(shown_adp536x(sensors() ? sensors()->adp536x : adp536x_t{}).battery);
}

bool gavrin3_panel_model_t::pir() const { return events(sensors()).pir; }
bool gavrin3_panel_model_t::alarm() const { return events(sensors()).alarm; }
QColor gavrin3_panel_model_t::pir_text_colour() const { return shown_colour(events(sensors()).pir_text_colour); }
QColor gavrin3_panel_model_t::pir_background() const { return shown_colour(events(sensors()).pir_background); }
QColor gavrin3_panel_model_t::alarm_text_colour() const { return shown_colour(events(sensors()).alarm_text_colour); }
QColor gavrin3_panel_model_t::alarm_background() const { return shown_colour(events(sensors()).alarm_background); }

}  // namespace plimsy
