#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "common/timing.hpp"
#include "model/records.hpp"
#include "platform/clock.hpp"

namespace plimsy {

// Fusion of the raw MPU6050 accelerometer and gyroscope readings: tilt from
// the accelerometer, integrated gyroscope rates, and a complementary filter
// between the two whose gyroscope weight grows with the message rate and
// with how fast the board turns. A value type: the sensors model replaces
// it on every change, and the magnetometer reads a copy of it.
class mpu6050_t {
public:
    static constexpr double anim_limit = anim_limit_seconds;
    // Moving windows of this many samples, newest first.
    static constexpr std::size_t window_length = 1;
    using window_t = std::array<float, window_length>;

    explicit mpu6050_t(const clock_t& clock);

    void update(const mpu6050_str_t& record);
    // Forgets the integrated rotation; the accelerometer state stays.
    void reset_gyro();
    // "{ ax: 0.5, ay: 1.0, ... }"
    std::string debug_description() const;

    double anim_time = anim_limit;
    time_point_t update_date;
    window_t aax{}, aay{}, aaz{};
    window_t agx{}, agy{}, agz{};
    float sax = 0, say = 0, saz = 0;  // sums of the accelerometer windows
    double sgx = 0, sgy = 0;          // filtered angles about x and y, degrees
    double sgz = 0;                   // integrated angle about z, degrees, not wrapped
    double gax = 0, gay = 0, gaz = 0; // gravity direction from the filtered angles
    float ax = 0, ay = 0, az = 0;
    float gx = 0, gy = 0;
    float gz = 0;  // after an update: sgz wrapped into [-180, 180]
    bool positive_rax = true;
    bool positive_ray = true;
    double rax_r = 0, ray_r = 0, raz_r = 0;
    time_point_t t0;  // time of the previous sample
    double td = 0;    // seconds between the last two samples
    double gmin = 0;  // rate of the lowest gyroscope weight
    double gmax = 1.0;  // rate of the highest gyroscope weight
    double wmin = 0.4;
    double wmax = 0.5;

private:
    const clock_t* clock_;
};

}  // namespace plimsy
