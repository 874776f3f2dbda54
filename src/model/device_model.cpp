#include "model/device_model.hpp"

#include <array>

namespace plimsy {

namespace {
constexpr std::array<std::string_view, device_model_count> names = {
    "hmc5883", "hmc5883n", "gavrin3", "plimsy91", "gravity", "compass", "compass_bearing", "compass_gravity", "gyroscope",
};
}

std::string_view device_model_name(device_model_t m) {
    const auto i = static_cast<std::size_t>(m);
    return i < names.size() ? names[i] : std::string_view("unknown");
}

bool parse_device_model(std::string_view name, device_model_t& out) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) {
            out = static_cast<device_model_t>(i);
            return true;
        }
    }
    return false;
}

}  // namespace plimsy
