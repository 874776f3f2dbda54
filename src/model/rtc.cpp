#include "model/rtc.hpp"

#include <cmath>
#include <ctime>

#include "common/text.hpp"

namespace plimsy {

namespace {

struct local_fields_t {
    long long year_of_era = 0;
    int month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// Local calendar fields of an instant. The year is the year of the era, as
// date patterns show it: the year before 1 is 1 again (BC), not 0.
local_fields_t local_fields(time_point_t t) {
    local_fields_t f;
    if (!std::isfinite(t)) return f;
    const std::time_t seconds = static_cast<std::time_t>(std::floor(t));
    std::tm tm{};
    if (localtime_r(&seconds, &tm) == nullptr) return f;
    const long long year = static_cast<long long>(tm.tm_year) + 1900;
    f.year_of_era = year > 0 ? year : 1 - year;
    f.month = tm.tm_mon + 1;
    f.day = tm.tm_mday;
    f.hour = tm.tm_hour;
    f.minute = tm.tm_min;
    f.second = tm.tm_sec;
    return f;
}

}  // namespace

bool rtc_t::update(const rtc_str_t& r) {
    if (r.m < 1 || r.m > 12 || r.d < 1 || r.d > 31 || r.hh > 23 || r.mm > 59 || r.ss > 59) return false;
    // mktime consults the zone rules (and, without TZ, re-reads
    // /etc/localtime) on every call, which costs microseconds. A board sends
    // its clock about once a second, so the start of the minute is converted
    // once and the seconds added: zones change their offset only on whole
    // minutes.
    const minute_key_t key{r.y, r.m, r.d, r.hh, r.mm};
    if (!minute_start_ || minute_key_ != key) {
        minute_start_ = minute_start(r);
        minute_key_ = key;
    }
    if (!*minute_start_) return false;
    date = static_cast<time_point_t>(**minute_start_ + r.ss);
    return true;
}

std::optional<std::time_t> rtc_t::minute_start(const rtc_str_t& r) {
    std::tm tm{};
    tm.tm_year = static_cast<int>(r.y) - 1900;
    tm.tm_mon = r.m - 1;
    tm.tm_mday = r.d;
    tm.tm_hour = r.hh;
    tm.tm_min = r.mm;
    tm.tm_sec = 0;
    tm.tm_isdst = -1;  // let the zone rules decide summer time
    const int want_year = tm.tm_year, want_mon = tm.tm_mon, want_mday = tm.tm_mday, want_hour = tm.tm_hour,
              want_min = tm.tm_min;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) {
        // -1 is also a real instant; accept it only if it is that instant.
        std::tm check{};
        const std::time_t minus_one = -1;
        if (localtime_r(&minus_one, &check) == nullptr || check.tm_year != want_year || check.tm_mon != want_mon ||
            check.tm_mday != want_mday || check.tm_hour != want_hour || check.tm_min != want_min || check.tm_sec != 0)
            return std::nullopt;
    }
    return t;
}

std::string rtc_t::format_s() const {
    const auto f = local_fields(date);
    return cformat("%04lld-%02d-%02d  %02d:%02d:%02d", f.year_of_era, f.month, f.day, f.hour, f.minute, f.second);
}

std::string rtc_t::format_a_s() const {
    const auto f = local_fields(date);
    return cformat("%04lld,%02d,%02d,%02d,%02d,%02d", f.year_of_era, f.month, f.day, f.hour, f.minute, f.second);
}

std::string rtc_t::format_d_s() const {
    const auto f = local_fields(date);
    return cformat("%04lld-%02d-%02d", f.year_of_era, f.month, f.day);
}

std::string rtc_t::format_t_s() const {
    const auto f = local_fields(date);
    return cformat("%02d:%02d:%02d", f.hour, f.minute, f.second);
}

}  // namespace plimsy
