#include "transport/rssi.hpp"

#include <algorithm>

namespace plimsy {

void rssi_t::set_rssi(int dbm) {
    if (dbm == rssi_) return;
    will_change();
    rssi_ = dbm;
}

std::string rssi_t::rssi_s() const { return rssi_ == 0 ? std::string() : std::to_string(rssi_); }

float rssi_t::level() const {
    if (rssi_ == 0) return 0;
    return std::clamp((static_cast<float>(rssi_) + 100.0f) / 70.0f, 0.0f, 1.0f);
}

colour_t rssi_t::colour() const {
    if (rssi_ >= -68) return colour_t::blue;
    if (rssi_ >= -78) return colour_t::green;
    if (rssi_ >= -85) return colour_t::yellow;
    if (rssi_ >= -90) return colour_t::orange;
    return colour_t::red;
}

double rssi_t::weak() const { return rssi_ != 0 && rssi_ < -68 ? 1.0 : 0.0; }

}  // namespace plimsy
