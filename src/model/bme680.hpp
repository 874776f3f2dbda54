#pragma once

#include <cstdint>
#include <string>

namespace plimsy {

// Environment reading as received: bme680_t{temp, pressure, humidity, gas}.
struct bme680_t {
    float temp = 0;
    float pressure = 0;
    float humidity = 0;
    std::uint32_t gas = 0;

    std::string debug_description() const;
};

}  // namespace plimsy
