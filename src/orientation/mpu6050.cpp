#include "orientation/mpu6050.hpp"

#include <algorithm>
#include <cmath>

#include "common/angles.hpp"
#include "common/text.hpp"
#include "orientation/tilt.hpp"

namespace plimsy {

namespace {

// Inserts at the front and returns the sample that fell off the end.
float push_front(mpu6050_t::window_t& w, float v) {
    const float dropped = w.back();
    std::copy_backward(w.begin(), w.end() - 1, w.end());
    w.front() = v;
    return dropped;
}

// The gyroscope weight for one axis: from wmin at rest up to wmax at gmax.
// A NaN (zero sample interval) lands on wmax.
double gyro_weight(float rate, double gmin, double gmax, double wmin, double wmax) {
    double w = wmin + (wmax - wmin) * (static_cast<double>(std::fabs(rate)) - gmin) / (gmax - gmin);
    if (!(w <= wmax)) w = wmax;
    if (w < wmin) w = wmin;
    return w;
}

}  // namespace

mpu6050_t::mpu6050_t(const clock_t& clock) : update_date(clock.now()), t0(update_date), clock_(&clock) {}

void mpu6050_t::update(const mpu6050_str_t& r) {
    gx = r.gx;
    gy = r.gy;
    gz = r.gz;
    ax = r.ax;
    ay = r.ay;
    az = r.az;

    tilt_latch(ax, ay, az, positive_rax, positive_ray);
    rax_r = tilt_rax(ax, ay, az, positive_rax);
    ray_r = tilt_ray(ax, ay, az, positive_ray);
    raz_r = tilt_raz(ax, ay, az);

    // The faster messages come, the more the integrated gyroscope is
    // trusted over the noisy accelerometer.
    const time_point_t now = clock_->now();
    td = now - t0;
    t0 = now;
    gmax = td * 60.0;
    wmin = std::min(std::max(1.0 - 5.58 * td, 0.4), 1.0);
    wmax = std::min(std::max(1.0 - 3.71 * td, 0.5), 1.0);

    const double wx = gyro_weight(gx, gmin, gmax, wmin, wmax);
    const double wy = gyro_weight(gy, gmin, gmax, wmin, wmax);

    sax = ax - push_front(aax, ax) + sax;
    say = ay - push_front(aay, ay) + say;
    saz = az - push_front(aaz, az) + saz;
    push_front(agx, gx);
    push_front(agy, gy);
    push_front(agz, gz);

    // The board's rates are per message, not per second.
    sgx += gx;
    sgy += gy;
    sgz += gz;

    sgx = (1.0 - wx) * (rax_r * deg_per_rad) + wx * sgx;
    sgy = (1.0 - wy) * (ray_r * deg_per_rad) + wy * sgy;

    gax = std::sin(sgy * -rad_per_deg);
    gay = std::sin(sgx * rad_per_deg);
    gaz = std::cos(sgx * rad_per_deg) * std::cos(sgy * rad_per_deg);

    gz = wrap180(static_cast<float>(sgz));

    smooth_anim_time(anim_time, now - update_date, anim_limit);
    update_date = now;
}

void mpu6050_t::reset_gyro() {
    agx.fill(0);
    agy.fill(0);
    agz.fill(0);
    sgx = sgy = sgz = 0;
}

std::string mpu6050_t::debug_description() const {
    std::string out = "{ ax: ";
    append_shortest(out, ax);
    out += ", ay: ";
    append_shortest(out, ay);
    out += ", az: ";
    append_shortest(out, az);
    out += ", gx: ";
    append_shortest(out, gx);
    out += ", gy: ";
    append_shortest(out, gy);
    out += ", gz: ";
    append_shortest(out, gz);
    out += " }";
    return out;
}

}  // namespace plimsy
