#pragma once

#include <ctime>
#include <optional>
#include <string>

#include "model/records.hpp"
#include "platform/clock.hpp"

namespace plimsy {

// The board clock. The board counts local time, so its fields are read in
// the host's current time zone; the texts are shown in it as well.
class rtc_t {
public:
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

private:
    struct minute_key_t {
        std::uint16_t y;
        std::uint8_t m, d, hh, mm;
        bool operator==(const minute_key_t&) const = default;
    };
    // The instant of second 0 of that minute, or nothing if the calendar
    // cannot make it.
    static std::optional<std::time_t> minute_start(const rtc_str_t& r);
    minute_key_t minute_key_{};
    std::optional<std::optional<std::time_t>> minute_start_;
};

}  // namespace plimsy
