#include "qt/platform_services.hpp"

#include "qt/qt_altimeter.hpp"
#include "qt/qt_ble_central.hpp"

namespace plimsy {

std::unique_ptr<ble_central_t> make_platform_central() { return std::make_unique<qt_ble_central_t>(); }

std::unique_ptr<altimeter_t> make_platform_altimeter() {
    auto altimeter = std::make_unique<qt_altimeter_t>();
    if (!altimeter->available()) return std::make_unique<no_altimeter_t>();
    return altimeter;
}

}  // namespace plimsy
