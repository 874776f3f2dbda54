#include "platform/clock.hpp"

#include <chrono>

namespace plimsy {

time_point_t system_clock_t::now() const {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

system_clock_t& system_clock_t::instance() {
    static system_clock_t clock;
    return clock;
}

}  // namespace plimsy
