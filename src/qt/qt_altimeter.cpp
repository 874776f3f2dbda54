#include "qt/qt_altimeter.hpp"

#include <QPressureSensor>

namespace plimsy {

qt_altimeter_t::qt_altimeter_t() = default;
qt_altimeter_t::~qt_altimeter_t() = default;

bool qt_altimeter_t::available() const { return !QSensor::sensorsForType(QPressureSensor::sensorType).isEmpty(); }

void qt_altimeter_t::start(std::function<void(std::optional<double>)> handler) {
    sensor_ = std::make_unique<QPressureSensor>();
    if (!sensor_->connectToBackend()) return;
    QPressureSensor* sensor = sensor_.get();
    // Qt reports pascals; the interface speaks kilopascals like the
    // altimeters of other hosts.
    QObject::connect(sensor, &QSensor::readingChanged, sensor, [sensor, handler] {
        if (const QPressureReading* r = sensor->reading()) handler(r->pressure() / 1000.0);
    });
    QObject::connect(sensor, &QSensor::sensorError, sensor, [handler](int) { handler(std::nullopt); });
    sensor->start();
}

}  // namespace plimsy
