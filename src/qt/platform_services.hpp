#pragma once

#include <memory>

#include "platform/altimeter.hpp"
#include "platform/ble_central.hpp"

namespace plimsy {

// The host's Bluetooth central, or null where the host has none.
std::unique_ptr<ble_central_t> make_platform_central();
// The host's barometer; never null (a host without one reports "not available").
std::unique_ptr<altimeter_t> make_platform_altimeter();

}  // namespace plimsy
