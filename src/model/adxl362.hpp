#pragma once

#include <string>

namespace plimsy {

// The low-power accelerometer of the Plimsy:91 board: adxl362_t{x, y, z}.
struct adxl362_t {
    float x = 0;
    float y = 0;
    float z = 0;

    std::string debug_description() const;
};

}  // namespace plimsy
