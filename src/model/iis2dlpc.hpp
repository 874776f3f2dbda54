#pragma once

namespace plimsy {

// The low-g accelerometer of the gavrin3 board; replaced whole on every
// reading, so it is a plain aggregate: iis2dlpc_t{x, y, z}.
struct iis2dlpc_t {
    float x = 0;
    float y = 0;
    float z = 0;
};

}  // namespace plimsy
