#pragma once

#include <memory>

#include "platform/altimeter.hpp"

class QPressureSensor;

namespace plimsy {

// The host's barometer through Qt Sensors. Linux desktops rarely have a
// pressure backend; then available() is false and nothing is ever read.
// Readings arrive on the thread that created this object (the main one).
class qt_altimeter_t final : public altimeter_t {
public:
    qt_altimeter_t();
    ~qt_altimeter_t() override;
    qt_altimeter_t(const qt_altimeter_t&) = delete;
    qt_altimeter_t& operator=(const qt_altimeter_t&) = delete;

    bool available() const override;
    void start(std::function<void(std::optional<double> pressure_kpa)> handler) override;

private:
    std::unique_ptr<QPressureSensor> sensor_;
};

}  // namespace plimsy
