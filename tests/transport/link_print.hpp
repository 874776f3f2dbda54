#pragma once

#include <ostream>

#include "transport/link_state.hpp"

namespace plimsy {

// Lets a failed expectation say which state it met.
inline void PrintTo(const link_state_t& link, std::ostream* os) {
    *os << link_kind_name(link.kind) << " peer \"" << link.peer << "\" error \"" << link.error << "\""
        << (link.stopped ? " (stopped by the user)" : "");
}

}  // namespace plimsy
