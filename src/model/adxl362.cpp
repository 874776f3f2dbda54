#include "model/adxl362.hpp"

#include "common/text.hpp"

namespace plimsy {

std::string adxl362_t::debug_description() const {
    std::string out = "{ x: ";
    append_shortest(out, x);
    out += ", y: ";
    append_shortest(out, y);
    out += ", z: ";
    append_shortest(out, z);
    out += " }";
    return out;
}

}  // namespace plimsy
