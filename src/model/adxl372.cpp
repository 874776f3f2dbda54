#include "model/adxl372.hpp"

#include <cmath>

#include "common/text.hpp"

namespace plimsy {

namespace {
// Written as "not (held >= new)" so that a sample that cannot be compared
// restarts the hold but is never taken over.
bool exceeds(float held, float sample) { return !(std::fabs(held) >= std::fabs(sample)); }
bool larger(float held, float sample) { return std::fabs(sample) > std::fabs(held); }
}  // namespace

void adxl372_t::update(float new_x, float new_y, float new_z) {
    const time_point_t now = clock_->now();
    if (!exceeds(x, new_x) && !exceeds(y, new_y) && !exceeds(z, new_z)) {
        if (now < date_hold) return;
        // Hold over: follow the live values; the old end time stays, so the
        // next increase is what starts a new hold.
        x = new_x;
        y = new_y;
        z = new_z;
        return;
    }
    date_hold = now + time_hold;
    if (larger(x, new_x)) x = new_x;
    if (larger(y, new_y)) y = new_y;
    if (larger(z, new_z)) z = new_z;
}

bool adxl372_t::hold_expired() const {
    if (x == 0 && y == 0 && z == 0) return true;
    return !(clock_->now() < date_hold);
}

std::string adxl372_t::debug_description() const {
    return xyz_debug_text(x, y, z);
}

}  // namespace plimsy
