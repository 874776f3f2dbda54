// The host barometer through Qt Sensors. Linux has no pressure backend, so
// the test registers one of its own and feeds it readings in pascals.
#include <QPressureSensor>
#include <QSensorBackend>
#include <QSensorManager>
#include <gtest/gtest.h>

#include "model/gps_data.hpp"
#include "qt/platform_services.hpp"

using namespace plimsy;

namespace {

class pressure_backend_t final : public QSensorBackend {
public:
    explicit pressure_backend_t(QSensor* sensor) : QSensorBackend(sensor) {
        reading_ = setReading<QPressureReading>(nullptr);
        addDataRate(1, 10);
    }
    void start() override { current = this; }
    void stop() override {
        if (current == this) current = nullptr;
    }
    void deliver(qreal pascals) {
        reading_->setPressure(pascals);
        reading_->setTimestamp(++stamp_);
        newReadingAvailable();
    }

    static inline pressure_backend_t* current = nullptr;

private:
    QPressureReading* reading_ = nullptr;
    quint64 stamp_ = 0;
};

struct pressure_factory_t final : QSensorBackendFactory {
    QSensorBackend* createBackend(QSensor* sensor) override { return new pressure_backend_t(sensor); }
};

}  // namespace

TEST(host_barometer, a_reading_reaches_the_host_model_in_pascals) {
    // Before any backend exists the host has no barometer, and the model
    // keeps its start value.
    {
        auto none = make_platform_altimeter();
        EXPECT_FALSE(none->available());
        gps_data_t data(*none);
        EXPECT_EQ(data.pressure(), 0.0);
    }

    static pressure_factory_t factory;
    QSensorManager::registerBackend(QPressureSensor::sensorType, "test.pressure", &factory);
    auto altimeter = make_platform_altimeter();
    ASSERT_TRUE(altimeter->available());
    gps_data_t data(*altimeter);
    ASSERT_NE(pressure_backend_t::current, nullptr);
    int announced = 0;
    auto subscription = data.subscribe([&] { ++announced; });

    pressure_backend_t::current->deliver(101325.0);
    EXPECT_DOUBLE_EQ(data.pressure(), 101325.0);
    pressure_backend_t::current->deliver(99870.5);
    EXPECT_DOUBLE_EQ(data.pressure(), 99870.5);
    EXPECT_EQ(announced, 2);
    QSensorManager::unregisterBackend(QPressureSensor::sensorType, "test.pressure");
}
