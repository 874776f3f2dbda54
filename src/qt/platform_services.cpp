#include "qt/platform_services.hpp"

namespace plimsy {

std::unique_ptr<ble_central_t> make_platform_central() { return nullptr; }

std::unique_ptr<altimeter_t> make_platform_altimeter() { return std::make_unique<no_altimeter_t>(); }

}  // namespace plimsy
