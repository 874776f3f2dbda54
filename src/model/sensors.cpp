#include "model/sensors.hpp"

#include "model/accelerometer.hpp"
#include "model/record_text.hpp"

namespace plimsy {

namespace {
template <typename... F>
struct overloaded : F... {
    using F::operator()...;
};
template <typename... F>
overloaded(F...) -> overloaded<F...>;
}  // namespace

sensors_t::sensors_t(const clock_t& clock, settings_store_t& store, console_t& console)
    : trace(clock),
      hmc5883(clock, store, console),
      hmc5883n(clock),
      mpu6050(clock),
      adxl372(clock),
      gravity(clock),
      compass(clock),
      compass_c(clock),
      gyroscope(clock),
      rtc(clock),
      gavrin3_events(clock) {
    forward_changes();
}

sensors_t::~sensors_t() = default;

void sensors_t::forward_changes() {
    // The subscriptions die with this object, so the raw pointer never dangles.
    auto forward = [this] { will_change(); };
    any_cancellable.push_back(trace.subscribe(forward));
    any_cancellable.push_back(gravity.subscribe(forward));
    any_cancellable.push_back(compass.subscribe(forward));
    any_cancellable.push_back(compass_c.subscribe(forward));
    any_cancellable.push_back(gyroscope.subscribe(forward));
}

void sensors_t::select(device_model_t m) {
    if (device_model == m) return;
    will_change();
    device_model = m;
}

void sensors_t::update_hmc5883(std::int16_t x, std::int16_t y, std::int16_t z) {
    will_change();
    hmc5883.update(x, y, z);
    select(device_model_t::hmc5883);
}

void sensors_t::update_hmc5883n(float x, float y, float z) {
    will_change();
    hmc5883n.update(x, y, z);
    select(device_model_t::hmc5883n);
}

void sensors_t::update_mpu6050(const mpu6050_str_t& record) {
    will_change();
    mpu6050.update(record);
    hmc5883.apply_tilt(mpu6050);
    // The MPU6050 rides along with the HMC5883: they share its layout.
    select(device_model_t::hmc5883);
}

void sensors_t::update_iis2dlpc(float x, float y, float z) {
    will_change();
    iis2dlpc = iis2dlpc_t{x, y, z};
    select(device_model_t::gavrin3);
}

void sensors_t::update_adp536x(const adp536x_str_t& record) {
    will_change();
    adp536x = adp536x_t(record);
    select(device_model_t::gavrin3);
}

void sensors_t::update_adxl362(float x, float y, float z) {
    will_change();
    adxl362 = adxl362_t{x, y, z};
    select(device_model_t::plimsy91);
}

void sensors_t::update_adxl372(float x, float y, float z) {
    will_change();
    adxl372.update(x, y, z);
    select(device_model_t::plimsy91);
}

void sensors_t::update_gravity(float x, float y, float z) {
    trace.add_gravity(x, y, z);
    gravity.x = x;
    gravity.y = y;
    gravity.z = z;
    gravity.update();
    select(device_model_t::gravity);
}

void sensors_t::update_gyroscope(float x, float y, float z) {
    trace.add_gyro(x, y, z);
    gyroscope.update(x, y, z);
    // gyroscope is the last case, so "below" is the same test as "differs".
    if (device_model < device_model_t::gyroscope) select(device_model_t::gyroscope);
}

void sensors_t::update_compass(opt_float b, opt_float h, opt_float H) {
    const opt_float heading = h ? h : H;
    if (heading) {
        if (b)
            trace.add_bearing_heading(*heading, *b);
        else
            trace.add_heading(*heading);
        compass.update(*heading);
    }
    compass_c.valid_raw = false;
    select(device_model_t::compass);
}

void sensors_t::update_compass_gravity(const compass_gravity_str_t& record) {
    const opt_float heading = record.heading();
    if (heading) trace.add_heading_gravity(*heading, record.x, record.y, record.z);
    gravity.x = record.x;
    gravity.y = record.y;
    gravity.z = record.z;
    gravity.update();
    if (heading) compass.update(*heading);
    compass_c.set_calibration(record.c);
    compass_c.valid_raw = false;
    select(device_model_t::compass_gravity);
}

void sensors_t::update_compass_c(const compass_c_str_t& record) {
    if (const opt_float heading = record.heading()) compass.update(*heading);
    compass_c.update(record);
    device_model_t target = device_model_t::compass;
    if (record.x && record.y && record.z) {
        gravity.x = *record.x;
        gravity.y = *record.y;
        gravity.z = *record.z;
        gravity.update();
        target = device_model_t::compass_gravity;
    }
    // Without a step word the board is not calibrating: keep whichever
    // compass layout is already showing rather than flicking between them.
    if (!record.c && (device_model == device_model_t::compass || device_model == device_model_t::compass_gravity))
        return;
    select(target);
}

void sensors_t::update_bh1749(std::int64_t r, std::int64_t g, std::int64_t b, std::int64_t i) {
    will_change();
    bh1749.r = r;
    bh1749.g = g;
    bh1749.b = b;
    bh1749.i = i;
    select(device_model_t::plimsy91);
}

void sensors_t::update_bme680(float temp, float pressure, float humidity, std::uint32_t gas) {
    will_change();
    bme680 = bme680_t{temp, pressure, humidity, gas};
    select(device_model_t::plimsy91);
}

void sensors_t::update_shtc3(float temp, float humidity) {
    will_change();
    shtc3 = shtc3_t{temp, humidity};
    select(device_model_t::gavrin3);
}

void sensors_t::update_rtc(const rtc_str_t& record) {
    rtc.update(record);
    select(device_model_t::gavrin3);
}

void sensors_t::update_gavrin3_events(std::uint8_t alarm, std::uint8_t PIR) {
    gavrin3_events.update(alarm, PIR);
    select(device_model_t::gavrin3);
}

// One line per record of the key list (model/message_keys.hpp): a record
// without its line here does not compile.
void sensors_t::apply(const record_t& record) {
    std::visit(overloaded{
                   [&](const hmc5883_str_t& r) { update_hmc5883(r.x, r.y, r.z); },
                   [&](const hmc5883n_str_t& r) { update_hmc5883n(r.x, r.y, r.z); },
                   [&](const mpu6050_str_t& r) { update_mpu6050(r); },
                   [&](const iis2dlpc_str_t& r) { update_iis2dlpc(r.x, r.y, r.z); },
                   [&](const adp536x_str_t& r) { update_adp536x(r); },
                   [&](const adxl362_str_t& r) { update_adxl362(r.x, r.y, r.z); },
                   [&](const adxl372_str_t& r) { update_adxl372(r.x, r.y, r.z); },
                   [&](const gravity_str_t& r) { update_gravity(r.x, r.y, r.z); },
                   [&](const gyroscope_str_t& r) { update_gyroscope(r.x, r.y, r.z); },
                   [&](const compass_str_t& r) { update_compass(r.b, r.h, r.H); },
                   [&](const compass_gravity_str_t& r) { update_compass_gravity(r); },
                   [&](const compass_c_str_t& r) { update_compass_c(r); },
                   [&](const bh1749_str_t& r) { update_bh1749(r.r, r.g, r.b, r.i); },
                   [&](const bme680_str_t& r) { update_bme680(r.temp, r.pressure, r.humidity, r.gas); },
                   [&](const shtc3_str_t& r) { update_shtc3(r.temp, r.humidity); },
                   [&](const rtc_str_t& r) { update_rtc(r); },
                   [&](const gavrin3_events_str_t& r) { update_gavrin3_events(r.alarm, r.PIR); },
               },
               record);
}

accelerometer_t& sensors_t::accelerometer() {
    if (!accelerometer_) accelerometer_ = std::make_unique<accelerometer_t>(*this);
    return *accelerometer_;
}

void sensors_t::hmc5883_calibration_next() {
    will_change();
    hmc5883.calibration_next();
}

void sensors_t::hmc5883_calibration_save(int slot) {
    will_change();
    hmc5883.calibration_save(slot);
}

void sensors_t::hmc5883_calibration_load(int slot) {
    will_change();
    hmc5883.calibration_load(slot);
}

void sensors_t::set_hmc5883_compensate(bool on) {
    will_change();
    hmc5883.compensate = on;
}

void sensors_t::set_hmc5883_compensate_3d(bool on) {
    will_change();
    hmc5883.compensate_3d = on;
}

void sensors_t::mpu6050_reset_gyro() {
    will_change();
    mpu6050.reset_gyro();
}

void sensors_t::bh1749_white_balance() {
    will_change();
    bh1749.white_balance();
}

void sensors_t::bh1749_reset_corrections() {
    // The factors live in a value held by this model; announce first, as
    // the other operations do, so every view redraws.
    will_change();
    bh1749.r_c = 1.0f;
    bh1749.g_c = 1.0f;
    bh1749.b_c = 1.0f;
    bh1749.i_c = 1.0f;
}

}  // namespace plimsy
