#pragma once

#include <cstdint>

#include "platform/clock.hpp"

namespace plimsy {

// Alarm and motion events. A message only ever raises an event; it goes
// away by itself time_hold seconds after its latest report. The expiry is
// applied when the flag is read, which is when the panel redraws.
class gavrin3_events_t {
public:
    static constexpr double time_hold = 10.0;

    explicit gavrin3_events_t(const clock_t& clock)
        : clock_(&clock), alarm_timestamp_(clock.now()), PIR_timestamp_(clock.now()) {}

    void update(std::uint8_t alarm, std::uint8_t PIR);

    // Reading clears an event whose time is up, so these are const only in
    // the sense that the shown state is a function of time.
    bool alarm() const;
    bool PIR() const;

    time_point_t alarm_timestamp() const { return alarm_timestamp_; }
    time_point_t PIR_timestamp() const { return PIR_timestamp_; }

private:
    const clock_t* clock_;
    mutable bool alarm_ = false;
    time_point_t alarm_timestamp_;
    mutable bool PIR_ = false;
    time_point_t PIR_timestamp_;
};

}  // namespace plimsy
