#pragma once

// The message keys: the one list that key matching, decoding and the record
// names are made from. A new message is a line here, its record struct (with
// its fields) in records.hpp and its update operation in sensors_t; the
// compiler points at whatever of those is missing.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// X(key, record types...): the key as written on the wire, then the records
// its JSON object is decoded into, tried in this order; the first that
// decodes wins, and when none does the last one's error is reported. Keys
// are matched exactly (case-sensitive, whole text).
#define PLIMSY_MESSAGE_KEYS(X)                       \
    X(hmc5883, hmc5883_str_t)                        \
    X(hmc5883n, hmc5883n_str_t)                      \
    X(mpu6050, mpu6050_str_t)                        \
    X(iis2dlpc, iis2dlpc_str_t)                      \
    X(adp536x, adp536x_str_t)                        \
    X(adxl362, adxl362_str_t)                        \
    X(adxl372, adxl372_str_t)                        \
    X(gravity, gravity_str_t)                        \
    X(gyro, gyroscope_str_t)                         \
    X(gyroscope, gyroscope_str_t)                    \
    X(gps, compass_str_t)                            \
    X(compass, compass_gravity_str_t, compass_str_t) \
    X(compass_c, compass_c_str_t)                    \
    X(bh1749, bh1749_str_t)                          \
    X(bme680, bme680_str_t)                          \
    X(shtc3, shtc3_str_t)                            \
    X(rtc, rtc_str_t)                                \
    X(gavrin3_events, gavrin3_events_str_t)

namespace plimsy {

// One case per message key, in the order of the list.
enum class message_key_t : std::uint8_t {
#define PLIMSY_KEY_CASE(key, ...) key,
    PLIMSY_MESSAGE_KEYS(PLIMSY_KEY_CASE)
#undef PLIMSY_KEY_CASE
};

// The keys as written on the wire, indexed by message_key_t.
inline constexpr std::array message_key_names = {
#define PLIMSY_KEY_NAME(key, ...) std::string_view(#key),
    PLIMSY_MESSAGE_KEYS(PLIMSY_KEY_NAME)
#undef PLIMSY_KEY_NAME
};

inline constexpr int message_key_count = static_cast<int>(message_key_names.size());

}  // namespace plimsy
