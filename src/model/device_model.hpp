#pragma once

#include <cstdint>
#include <string_view>

namespace plimsy {

// The kind of board that last reported; chooses the panels. The order is the
// comparison order (gyroscope must stay last).
enum class device_model_t : std::uint8_t {
    hmc5883,
    hmc5883n,
    gavrin3,
    plimsy91,
    gravity,
    compass,
    compass_bearing,
    compass_gravity,
    gyroscope,
};

inline constexpr int device_model_count = 9;

std::string_view device_model_name(device_model_t m);
// Parses a case name ("compass_gravity"); false for an unknown name.
bool parse_device_model(std::string_view name, device_model_t& out);

}  // namespace plimsy
