#include "model/adxl362.hpp"

#include "common/text.hpp"

namespace plimsy {

std::string adxl362_t::debug_description() const {
    return xyz_debug_text(x, y, z);
}

}  // namespace plimsy
