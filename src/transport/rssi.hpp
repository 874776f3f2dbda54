#pragma once

#include <string>

#include "common/colour.hpp"
#include "platform/observable.hpp"

namespace plimsy {

// Signal strength of the connected board, refreshed with every notification.
// 0 means no value (not connected); the derived values are computed on every
// read so they can never lag behind the number.
class rssi_t : public observable_t {
public:
    int rssi() const { return rssi_; }
    // Announces only when the number changes: notifications arrive many
    // times a second and mostly report the same strength.
    void set_rssi(int dbm);

    // Empty without a value, else the number in decimal.
    std::string rssi_s() const;
    // 0 (at -100 dBm or below, or without a value) to 1 (at -30 dBm or above).
    float level() const;
    // Blue for a strong link (and without a value), then green, yellow,
    // orange and red as it weakens.
    colour_t colour() const;
    // 1 when the link is weaker than -68 dBm, else 0; an opacity for the
    // "weak signal" mark.
    double weak() const;

private:
    int rssi_ = 0;
};

}  // namespace plimsy
