#pragma once

#include <vector>

#include "config/config_connection.hpp"
#include "shown/shown_value.hpp"
#include "transport/connection.hpp"

namespace plimsy {

// What the screen shows right now: one object per object of the sensors
// model that the current board kind shows, with its shown values, then
// "screen" (toolbar and log texts).
std::vector<shown_object_t> shown_state(const connection_t& cnc, const config_connection_t& cfg);

}  // namespace plimsy
