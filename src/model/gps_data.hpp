#pragma once

#include <memory>
#include <string>

#include "platform/altimeter.hpp"
#include "platform/observable.hpp"

namespace plimsy {

// Readings of the host device itself. Only the air pressure is ever fed,
// from the host's barometer; the other members stay at 0.
class gps_data_t : public observable_t {
public:
    // Starts the barometer updates if the host has them; they run for the
    // life of this object.
    explicit gps_data_t(altimeter_t& altimeter);
    ~gps_data_t() override;

    double alt() const { return alt_; }
    double alt_accuracy() const { return alt_accuracy_; }
    // Air pressure at the host, in pascals.
    double pressure() const { return pressure_; }
    int rssi() const { return rssi_; }

    std::string debug_description() const;

private:
    void receive(double pressure_kpa);

    double alt_ = 0;
    double alt_accuracy_ = 0;
    double pressure_ = 0;
    int rssi_ = 0;
    // The altimeter may outlive this object and keep its handler; the
    // handler reaches us only through this, which dies with us.
    std::shared_ptr<gps_data_t*> self_;
};

}  // namespace plimsy
