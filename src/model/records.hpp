#pragma once

// The decoded message records: one plain value type per message kind, named
// after its key. They are decoded, applied to the sensors model and dropped.
//
// Each record lists its fields once, in `each_field(r, f)`: it calls
// f(json_key, field_name, member) for every field in declaration order and
// stops at the first call that returns false. json_key and field_name differ
// only where the wire key is not the field's name ("heading" for `H`). A
// member's C++ type says what the JSON value must be and whether it may be
// absent (only std::optional members may). The decoder and the record texts
// both walk this one list, so they cannot disagree.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "model/message_keys.hpp"

namespace plimsy {

using opt_float = std::optional<float>;
using opt_i16 = std::optional<std::int16_t>;

// A field whose wire key is its name.
#define PLIMSY_FIELD(name) f(#name, #name, r.name)

struct hmc5883_str_t {
    std::int16_t x = 0, y = 0, z = 0;
    template <typename R, typename F>
    static bool each_field(R& r, F& f) {
        return PLIMSY_FIELD(x) && PLIMSY_FIELD(y) && PLIMSY_FIELD(z);
    }
};

struct hmc5883n_str_t {
    float x = 0, y = 0, z = 0;
    template <typename R, typename F>
    static bool each_field(R& r, F& f) {
        return PLIMSY_FIELD(x) && PLIMSY_FIELD(y) && PLIMSY_FIELD(z);
    }
};

struct mpu6050_str_t {
    float ax = 0, ay = 0, az = 0, gx = 0, gy = 0, gz = 0;
    template <typename R, typename F>
    static bool each_field(R& r, F& f) {
        return PLIMSY_FIELD(ax) && PLIMSY_FIELD(ay) && PLIMSY_FIELD(az) && PLIMSY_FIELD(gx) && PLIMSY_FIELD(gy) &&
               PLIMSY_FIELD(gz);
    }
};

// The five three-axis records share one shape and one decoding routine.
struct xyz_str_t {
    float x = 0, y = 0, z = 0;
    template <typename R, typename F>
    static bool each_field(R& r, F& f) {
        return PLIMSY_FIELD(x) && PLIMSY_FIELD(y) && PLIMSY_FIELD(z);
    }
};
struct iis2dlpc_str_t : xyz_str_t {};
struct adxl362_str_t : xyz_str_t {};
struct adxl372_str_t : xyz_str_t {};
struct gravity_str_t : xyz_str_t {};
struct gyroscope_str_t : xyz_str_t {};

struct compass_str_t {
    opt_float b, h, H;
    // h if present, else H ("heading"), else nothing.
    opt_float heading() const { return h ? h : H; }
    template <typename R, typename F>
    static bool each_field(R& r, F& f) {
        return PLIMSY_FIELD(b) && PLIMSY_FIELD(h) && f("heading", "H", r.H);
    }
};

struct compass_gravity_str_t {
    opt_float h, H;
    float x = 0, y = 0, z = 0;
    std::optional<std::string> c;
    opt_float heading() const { return h ? h : H; }
    template <typename R, typename F>
    static bool each_field(R& r, F& f) {
        return PLIMSY_FIELD(h) && f("heading", "H", r.H) && PLIMSY_FIELD(x) && PLIMSY_FIELD(y) && PLIMSY_FIELD(z) &&
               PLIMSY_FIELD(c);
    }
};

struct compass_c_str_t {
    opt_float h, H;
    opt_float x, y, z;
    opt_i16 x_raw, y_raw, z_raw;
    std::int16_t x_min = 0, y_min = 0, z_min = 0;
    std::int16_t x_max = 0, y_max = 0, z_max = 0;
    std::int16_t xv_min = 0, yv_min = 0, xv_max = 0, yv_max = 0;
    opt_i16 z_ang;
    std::optional<std::string> c;
    std::string e;
    opt_float heading() const { return h ? h : H; }
    template <typename R, typename F>
    static bool each_field(R& r, F& f) {
        return PLIMSY_FIELD(h) && f("heading", "H", r.H) && PLIMSY_FIELD(x) && PLIMSY_FIELD(y) && PLIMSY_FIELD(z) &&
               PLIMSY_FIELD(x_raw) && PLIMSY_FIELD(y_raw) && PLIMSY_FIELD(z_raw) && PLIMSY_FIELD(x_min) &&
               PLIMSY_FIELD(y_min) && PLIMSY_FIELD(z_min) && PLIMSY_FIELD(x_max) && PLIMSY_FIELD(y_max) &&
               PLIMSY_FIELD(z_max) && PLIMSY_FIELD(xv_min) && PLIMSY_FIELD(yv_min) && PLIMSY_FIELD(xv_max) &&
               PLIMSY_FIELD(yv_max) && PLIMSY_FIELD(z_ang) && PLIMSY_FIELD(c) && PLIMSY_FIELD(e);
    }
};

struct adp536x_str_t {
    std::string cs1, cs2, pgs;
    std::uint16_t voltage = 0;
    std::uint8_t level = 0;
    template <typename R, typename F>
    static bool each_field(R& r, F& f) {
        return PLIMSY_FIELD(cs1) && PLIMSY_FIELD(cs2) && PLIMSY_FIELD(pgs) && PLIMSY_FIELD(voltage) &&
               PLIMSY_FIELD(level);
    }
};

struct bh1749_str_t {
    std::int64_t r = 0, g = 0, b = 0, i = 0;
    template <typename R, typename F>
    static bool each_field(R& r, F& f) {
        return PLIMSY_FIELD(r) && PLIMSY_FIELD(g) && PLIMSY_FIELD(b) && PLIMSY_FIELD(i);
    }
};

struct bme680_str_t {
    float temp = 0, pressure = 0, humidity = 0;
    std::uint32_t gas = 0;
    template <typename R, typename F>
    static bool each_field(R& r, F& f) {
        return PLIMSY_FIELD(temp) && PLIMSY_FIELD(pressure) && PLIMSY_FIELD(humidity) && PLIMSY_FIELD(gas);
    }
};

struct shtc3_str_t {
    float temp = 0, humidity = 0;
    template <typename R, typename F>
    static bool each_field(R& r, F& f) {
        return PLIMSY_FIELD(temp) && PLIMSY_FIELD(humidity);
    }
};

struct rtc_str_t {
    std::uint16_t y = 0;
    std::uint8_t m = 0, d = 0, hh = 0, mm = 0, ss = 0;
    template <typename R, typename F>
    static bool each_field(R& r, F& f) {
        return PLIMSY_FIELD(y) && PLIMSY_FIELD(m) && PLIMSY_FIELD(d) && PLIMSY_FIELD(hh) && PLIMSY_FIELD(mm) &&
               PLIMSY_FIELD(ss);
    }
};

struct gavrin3_events_str_t {
    std::uint8_t alarm = 0;
    std::uint8_t PIR = 0;
    template <typename R, typename F>
    static bool each_field(R& r, F& f) {
        return PLIMSY_FIELD(alarm) && PLIMSY_FIELD(PIR);
    }
};

#undef PLIMSY_FIELD

// ---------------------------------------------------------------------------
// The record types and their names, made from the key list.

namespace detail {

template <typename... T>
struct type_list {};
struct list_end_t {};

// The record types of every key, each once, in the order first named.
template <typename List, typename... T>
struct unique_records;
template <typename... Seen>
struct unique_records<type_list<Seen...>, list_end_t> {
    using type = std::variant<Seen...>;
};
template <typename... Seen, typename T, typename... Rest>
struct unique_records<type_list<Seen...>, T, Rest...>
    : unique_records<std::conditional_t<(std::is_same_v<T, Seen> || ...), type_list<Seen...>, type_list<Seen..., T>>,
                     Rest...> {};

// The name of T in one line of the key list, whose record types are `types`
// and whose spelling is `text` ("compass_gravity_str_t, compass_str_t");
// empty if T is not on the line.
template <typename T, typename... Types>
constexpr std::string_view name_on_line(std::string_view text) {
    std::size_t at = 0;
    bool found = false;
    ((found = found || std::is_same_v<T, Types>, at += found ? 0 : 1), ...);
    if (!found) return {};
    for (; at > 0; --at) text.remove_prefix(text.find(',') + 1);
    text = text.substr(0, text.find(','));
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

}  // namespace detail

// Any decoded record.
#define PLIMSY_KEY_RECORDS(key, ...) __VA_ARGS__,
using record_t = detail::unique_records<detail::type_list<>, PLIMSY_MESSAGE_KEYS(PLIMSY_KEY_RECORDS)
                                                                 detail::list_end_t>::type;
#undef PLIMSY_KEY_RECORDS

// A record type's name as the key list spells it ("compass_gravity_str_t").
template <typename T>
inline constexpr std::string_view record_type_name = [] {
    std::string_view name;
#define PLIMSY_KEY_NAME_OF(key, ...) \
    if (name.empty()) name = detail::name_on_line<T, __VA_ARGS__>(#__VA_ARGS__);
    PLIMSY_MESSAGE_KEYS(PLIMSY_KEY_NAME_OF)
#undef PLIMSY_KEY_NAME_OF
    return name;
}();

}  // namespace plimsy
