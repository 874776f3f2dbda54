#pragma once

#include <string>
#include <variant>
#include <vector>

namespace plimsy {

// One value as a person sees it: a text exactly as displayed, a number
// (degrees, a fraction of a bar, seconds of animation), a flag (shown or
// not, enabled or not), or a colour by its name ("red", "primary").
struct shown_value_t {
    std::string name;
    std::variant<double, bool, std::string> value;
};

// What the screen shows of one object of the sensors model ("compass",
// "gravity", "hmc5883", ...) or of the main screen itself ("screen"), in a
// fixed order, so that logs and tables built from it keep their columns.
struct shown_object_t {
    std::string name;
    std::vector<shown_value_t> values;
};

}  // namespace plimsy
