#include "model/gavrin3_events.hpp"

namespace plimsy {

namespace {
bool shown(bool& flag, time_point_t since, time_point_t now) {
    if (now < since + gavrin3_events_t::time_hold) return flag;
    flag = false;
    return false;
}
}  // namespace

void gavrin3_events_t::update(std::uint8_t alarm, std::uint8_t PIR) {
    const time_point_t now = clock_->now();
    if (alarm != 0) {
        alarm_ = true;
        alarm_timestamp_ = now;
    }
    if (PIR != 0) {
        PIR_ = true;
        PIR_timestamp_ = now;
    }
}

bool gavrin3_events_t::alarm() const { return shown(alarm_, alarm_timestamp_, clock_->now()); }
bool gavrin3_events_t::PIR() const { return shown(PIR_, PIR_timestamp_, clock_->now()); }

}  // namespace plimsy
