#include "ui/environment_panel_model.hpp"

#include "model/sensors.hpp"
#include "shown/panels.hpp"
#include "ui/shown_colour.hpp"

namespace plimsy {

namespace {
bme680_shown_t shown(const environment_panel_model_t& m) {
    const sensors_t* s = m.view() ? &m.view()->sensors() : nullptr;
    const double host = m.view() ? m.view()->cnc().gps_data.pressure() : 0.0;
    return shown_bme680(s ? s->bme680 : bme680_t{}, host);
}
}  // namespace

value_row_t environment_panel_model_t::temperature() const { return value_row(shown(*this).temperature); }
value_row_t environment_panel_model_t::pressure() const { return value_row(shown(*this).pressure); }
value_row_t environment_panel_model_t::humidity() const { return value_row(shown(*this).humidity); }
value_row_t environment_panel_model_t::air_resistance() const { return value_row(shown(*this).air_resistance); }

}  // namespace plimsy
