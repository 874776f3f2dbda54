#pragma once

namespace plimsy {

// Temperature and humidity as the board sends them; replaced whole on every
// reading: shtc3_t{temp, humidity}.
struct shtc3_t {
    float temp = 0;
    float humidity = 0;
};

}  // namespace plimsy
