#pragma once

#include <string>

#include "model/records.hpp"
#include "platform/clock.hpp"

namespace plimsy {

// The board clock. The board counts local time, so its fields are read in
// the host's current time zone; the texts are shown in it as well.
class rtc_t {
public:
    static constexpr const char* qualified_name = "Plimsy_sensors.rtc_t";

    explicit rtc_t(const clock_t& clock) : date(clock.now()) {}

    // Takes the board's date when every field is in range and the calendar
    // can form it; otherwise keeps the previous one. Returns whether it took.
    bool update(const rtc_str_t& record);

    // "yyyy-MM-dd  HH:mm:ss" (two blanks), the panel's main line.
    std::string format_s() const;
    // "yyyy,MM,dd,HH,mm,ss"
    std::string format_a_s() const;
    // "yyyy-MM-dd"
    std::string format_d_s() const;
    // "HH:mm:ss"
    std::string format_t_s() const;

    time_point_t date;
};

}  // namespace plimsy
