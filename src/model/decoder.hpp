#pragma once

// Message keys and the decoding of a message's JSON object into its record.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "model/records.hpp"

namespace plimsy {

// One case per message key, in the order the keys are tested.
enum class message_key_t : std::uint8_t {
    hmc5883,
    hmc5883n,
    mpu6050,
    iis2dlpc,
    adp536x,
    adxl362,
    adxl372,
    gravity,
    gyro,
    gyroscope,
    gps,
    compass,
    compass_c,
    bh1749,
    bme680,
    shtc3,
    rtc,
    gavrin3_events,
};

inline constexpr int message_key_count = 18;

// The key exactly as it appears on the wire ("compass_c").
std::string_view message_key_name(message_key_t key);

// Exact, case-sensitive match of a whole key; nothing for an unknown key.
// Runs once per received line, so it neither allocates nor scans a table.
std::optional<message_key_t> match_key(std::string_view key);

// Calls f(json_key, field_name, member) for every field of a record, in
// declaration order, and stops at the first call that returns false; returns
// whether every call returned true. json_key and field_name differ only
// where the wire key is not the field's name ("heading" for `H`). The decoder
// and the record texts both walk this one list, so they cannot disagree.
template <typename R, typename F>
bool for_each_field(R& r, F&& f);

// Decodes JSON objects into records. One instance serves every line: its
// parser and its input buffer grow to the longest line seen and are then
// reused, so decoding does not allocate in the steady state. Not for
// concurrent use; one decoder per thread.
class decoder_t {
public:
    decoder_t();
    ~decoder_t();
    decoder_t(const decoder_t&) = delete;
    decoder_t& operator=(const decoder_t&) = delete;
    decoder_t(decoder_t&&) noexcept;
    decoder_t& operator=(decoder_t&&) noexcept;

    // Parses `json` once and extracts the record of `key` into `out`.
    // "compass" tries compass_gravity_str_t, then compass_str_t on the same
    // document (the error reported is the second one); "gps" gives
    // compass_str_t; "gyro" and "gyroscope" give gyroscope_str_t.
    // On success `error` is cleared. On failure `error` names the failing key
    // and the reason, and `out` may hold a partly filled record; discard it.
    // When `out` already holds the record type being decoded, its storage
    // (string capacity) is reused.
    bool decode(message_key_t key, std::string_view json, record_t& out, std::string& error);

private:
    struct impl_t;
    std::unique_ptr<impl_t> impl_;
};

// ---------------------------------------------------------------------------

namespace detail {
template <typename>
inline constexpr bool unsupported_record = false;
}

template <typename R, typename F>
bool for_each_field(R& r, F&& f) {
    using T = std::remove_const_t<R>;
    if constexpr (std::is_same_v<T, hmc5883_str_t> || std::is_same_v<T, hmc5883n_str_t> ||
                  std::is_base_of_v<xyz_str_t, T>) {
        return f("x", "x", r.x) && f("y", "y", r.y) && f("z", "z", r.z);
    } else if constexpr (std::is_same_v<T, mpu6050_str_t>) {
        return f("ax", "ax", r.ax) && f("ay", "ay", r.ay) && f("az", "az", r.az) && f("gx", "gx", r.gx) &&
               f("gy", "gy", r.gy) && f("gz", "gz", r.gz);
    } else if constexpr (std::is_same_v<T, compass_str_t>) {
        return f("b", "b", r.b) && f("h", "h", r.h) && f("heading", "H", r.H);
    } else if constexpr (std::is_same_v<T, compass_gravity_str_t>) {
        return f("h", "h", r.h) && f("heading", "H", r.H) && f("x", "x", r.x) && f("y", "y", r.y) &&
               f("z", "z", r.z) && f("c", "c", r.c);
    } else if constexpr (std::is_same_v<T, compass_c_str_t>) {
        return f("h", "h", r.h) && f("heading", "H", r.H) && f("x", "x", r.x) && f("y", "y", r.y) &&
               f("z", "z", r.z) && f("x_raw", "x_raw", r.x_raw) && f("y_raw", "y_raw", r.y_raw) &&
               f("z_raw", "z_raw", r.z_raw) && f("x_min", "x_min", r.x_min) && f("y_min", "y_min", r.y_min) &&
               f("z_min", "z_min", r.z_min) && f("x_max", "x_max", r.x_max) && f("y_max", "y_max", r.y_max) &&
               f("z_max", "z_max", r.z_max) && f("xv_min", "xv_min", r.xv_min) &&
               f("yv_min", "yv_min", r.yv_min) && f("xv_max", "xv_max", r.xv_max) &&
               f("yv_max", "yv_max", r.yv_max) && f("z_ang", "z_ang", r.z_ang) && f("c", "c", r.c) &&
               f("e", "e", r.e);
    } else if constexpr (std::is_same_v<T, adp536x_str_t>) {
        return f("cs1", "cs1", r.cs1) && f("cs2", "cs2", r.cs2) && f("pgs", "pgs", r.pgs) &&
               f("voltage", "voltage", r.voltage) && f("level", "level", r.level);
    } else if constexpr (std::is_same_v<T, bh1749_str_t>) {
        return f("r", "r", r.r) && f("g", "g", r.g) && f("b", "b", r.b) && f("i", "i", r.i);
    } else if constexpr (std::is_same_v<T, bme680_str_t>) {
        return f("temp", "temp", r.temp) && f("pressure", "pressure", r.pressure) &&
               f("humidity", "humidity", r.humidity) && f("gas", "gas", r.gas);
    } else if constexpr (std::is_same_v<T, shtc3_str_t>) {
        return f("temp", "temp", r.temp) && f("humidity", "humidity", r.humidity);
    } else if constexpr (std::is_same_v<T, rtc_str_t>) {
        return f("y", "y", r.y) && f("m", "m", r.m) && f("d", "d", r.d) && f("hh", "hh", r.hh) &&
               f("mm", "mm", r.mm) && f("ss", "ss", r.ss);
    } else if constexpr (std::is_same_v<T, gavrin3_events_str_t>) {
        return f("alarm", "alarm", r.alarm) && f("PIR", "PIR", r.PIR);
    } else {
        static_assert(detail::unsupported_record<T>, "for_each_field: not a message record");
        return false;
    }
}

}  // namespace plimsy
