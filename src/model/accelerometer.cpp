#include "model/accelerometer.hpp"

#include <cmath>

#include "common/angles.hpp"
#include "common/text.hpp"
#include "model/sensors.hpp"

namespace plimsy {

accelerometer_t::source_t accelerometer_t::source() const {
    const auto& a = sensors_->iis2dlpc;
    if (a.x != 0 || a.y != 0 || a.z != 0) return source_t::iis2dlpc;
    if (!sensors_->adxl372.hold_expired()) return source_t::adxl372;
    return source_t::adxl362;
}

accelerometer_t::axes_t accelerometer_t::raw() const {
    switch (source()) {
        case source_t::iis2dlpc: return {sensors_->iis2dlpc.x, sensors_->iis2dlpc.y, sensors_->iis2dlpc.z};
        case source_t::adxl372: return {sensors_->adxl372.x, sensors_->adxl372.y, sensors_->adxl372.z};
        case source_t::adxl362: break;
    }
    return {sensors_->adxl362.x, sensors_->adxl362.y, sensors_->adxl362.z};
}

float accelerometer_t::scaled(float v) const {
    // The high-g sensor spans 1000 units; a square root keeps small shocks visible.
    if (source() == source_t::adxl372) return std::copysign(std::sqrt(std::fabs(v) / 1000.0f), v);
    return v / 10.0f;
}

std::string accelerometer_t::text(float v) const {
    return cformat(source() == source_t::adxl372 ? "%.0f" : "%.1f", static_cast<double>(v));
}

float accelerometer_t::x_pos() const { return clamp01(scaled(raw().x)); }
float accelerometer_t::x_neg() const { return clamp01(-scaled(raw().x)); }
float accelerometer_t::y_pos() const { return clamp01(scaled(raw().y)); }
float accelerometer_t::y_neg() const { return clamp01(-scaled(raw().y)); }
float accelerometer_t::z_pos() const { return clamp01(scaled(raw().z)); }
float accelerometer_t::z_neg() const { return clamp01(-scaled(raw().z)); }
std::string accelerometer_t::x_s() const { return text(raw().x); }
std::string accelerometer_t::y_s() const { return text(raw().y); }
std::string accelerometer_t::z_s() const { return text(raw().z); }

accelerometer_t::point_t accelerometer_t::xy_point() const {
    const auto a = raw();
    return {static_cast<double>(scaled(a.x)), -static_cast<double>(scaled(a.y))};
}

}  // namespace plimsy
