#include "ui/environment_panel_model.hpp"

#include "common/angles.hpp"
#include "common/text.hpp"
#include "model/sensors.hpp"

namespace plimsy {

namespace {

value_row_t row(const char* title, const std::string& value, const char* unit, double fraction) {
    return {QString::fromUtf8(title), QString::fromStdString(value), QString::fromUtf8(unit), fraction, true};
}

bme680_t reading(const sensors_t* s) { return s ? s->bme680 : bme680_t{}; }

}  // namespace

double environment_panel_model_t::temperature_fraction(float celsius) { return clamp01(celsius / 50.0); }
double environment_panel_model_t::humidity_fraction(float percent) { return clamp01(percent / 100.0); }
double environment_panel_model_t::pressure_fraction(double host_pascals) {
    return clamp01(host_pascals / 10000.0 - 9.5);
}
double environment_panel_model_t::air_resistance_fraction(std::uint32_t ohms) {
    return clamp01((ohms / 1000.0 - 100.0) / 700.0);
}

value_row_t environment_panel_model_t::temperature() const {
    const auto r = reading(sensors());
    return row("Temperature", cformat("%.2f", static_cast<double>(r.temp)), "\u00BAC", temperature_fraction(r.temp));
}

value_row_t environment_panel_model_t::pressure() const {
    const auto r = reading(sensors());
    // The board reports kilopascals; people read hectopascals.
    const double host = view() ? view()->cnc().gps_data.pressure() : 0.0;
    return row("Pressure", cformat("%.2f", static_cast<double>(r.pressure * 10)), "hPa", pressure_fraction(host));
}

value_row_t environment_panel_model_t::humidity() const {
    const auto r = reading(sensors());
    return row("Humidity", cformat("%.2f", static_cast<double>(r.humidity)), "%", humidity_fraction(r.humidity));
}

value_row_t environment_panel_model_t::air_resistance() const {
    const auto r = reading(sensors());
    return row("Air resistance", cformat("%.2f", r.gas / 1000.0), "k\u2126", air_resistance_fraction(r.gas));
}

}  // namespace plimsy
