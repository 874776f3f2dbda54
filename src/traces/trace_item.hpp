#pragma once

#include <array>
#include <string>

#include "common/colour.hpp"

namespace plimsy {

// One ring buffer of the traces: 2000 samples, which is also the number of
// samples across the plot width.
inline constexpr int trace_length = 2000;
using trace_buffer_t = std::array<double, trace_length>;

// A series as the plot and its legend iterate over it. `item` points into
// the owning trace_t and is valid as long as that object lives.
struct trace_item_t {
    std::string name;
    const trace_buffer_t* item = nullptr;
    colour_t colour = colour_t::primary;
};

}  // namespace plimsy
