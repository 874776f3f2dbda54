#pragma once

// The decoded message records: one plain value type per message kind, named
// after its key. They are decoded, applied to the sensors model and dropped.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace plimsy {

using opt_float = std::optional<float>;
using opt_i16 = std::optional<std::int16_t>;

struct hmc5883_str_t {
    std::int16_t x = 0, y = 0, z = 0;
};

struct hmc5883n_str_t {
    float x = 0, y = 0, z = 0;
};

struct mpu6050_str_t {
    float ax = 0, ay = 0, az = 0, gx = 0, gy = 0, gz = 0;
};

// The five three-axis records share one shape and one decoding routine.
struct xyz_str_t {
    float x = 0, y = 0, z = 0;
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
};

struct compass_gravity_str_t {
    opt_float h, H;
    float x = 0, y = 0, z = 0;
    std::optional<std::string> c;
    opt_float heading() const { return h ? h : H; }
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
};

struct adp536x_str_t {
    std::string cs1, cs2, pgs;
    std::uint16_t voltage = 0;
    std::uint8_t level = 0;
};

struct bh1749_str_t {
    std::int64_t r = 0, g = 0, b = 0, i = 0;
};

struct bme680_str_t {
    float temp = 0, pressure = 0, humidity = 0;
    std::uint32_t gas = 0;
};

struct shtc3_str_t {
    float temp = 0, humidity = 0;
};

struct rtc_str_t {
    std::uint16_t y = 0;
    std::uint8_t m = 0, d = 0, hh = 0, mm = 0, ss = 0;
};

struct gavrin3_events_str_t {
    std::uint8_t alarm = 0;
    std::uint8_t PIR = 0;
};

// Any decoded record.
using record_t = std::variant<hmc5883_str_t, hmc5883n_str_t, mpu6050_str_t, iis2dlpc_str_t, adp536x_str_t, adxl362_str_t,
                              adxl372_str_t, gravity_str_t, gyroscope_str_t, compass_str_t, compass_gravity_str_t,
                              compass_c_str_t, bh1749_str_t, bme680_str_t, shtc3_str_t, rtc_str_t, gavrin3_events_str_t>;

}  // namespace plimsy
