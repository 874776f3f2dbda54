#include "model/bme680.hpp"

#include "common/text.hpp"

namespace plimsy {

std::string bme680_t::debug_description() const {
    std::string out = "{ temp: ";
    append_shortest(out, temp);
    out += ", pressure: ";
    append_shortest(out, pressure);
    out += ", humidity: ";
    append_shortest(out, humidity);
    out += ", gas: ";
    out += std::to_string(gas);
    out += " }";
    return out;
}

}  // namespace plimsy
