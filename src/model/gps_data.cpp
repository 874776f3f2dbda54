#include "model/gps_data.hpp"

#include <cstdint>

namespace plimsy {

gps_data_t::gps_data_t(altimeter_t& altimeter) : self_(std::make_shared<gps_data_t*>(this)) {
    if (!altimeter.available()) return;
    altimeter.start([weak = std::weak_ptr<gps_data_t*>(self_)](std::optional<double> pressure_kpa) {
        // An update with an error and no reading is ignored.
        if (!pressure_kpa) return;
        if (auto self = weak.lock()) (*self)->receive(*pressure_kpa);
    });
}

gps_data_t::~gps_data_t() = default;

void gps_data_t::receive(double pressure_kpa) {
    will_change();
    pressure_ = pressure_kpa * 1000.0;
}

std::string gps_data_t::debug_description() const {
    // Toward zero into an unsigned 32-bit value; what cannot convert reads 0
    // or saturates rather than being undefined.
    std::uint32_t shown = 0;
    if (alt_ >= 4294967295.0) {
        shown = UINT32_MAX;
    } else if (alt_ > 0) {
        shown = static_cast<std::uint32_t>(alt_);
    }
    return "{ alt: " + std::to_string(shown) + " }";
}

}  // namespace plimsy
