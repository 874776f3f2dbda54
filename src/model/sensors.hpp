#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/adp536x.hpp"
#include "model/adxl362.hpp"
#include "model/adxl372.hpp"
#include "model/bh1749.hpp"
#include "model/bme680.hpp"
#include "model/device_model.hpp"
#include "model/gavrin3_events.hpp"
#include "model/iis2dlpc.hpp"
#include "model/records.hpp"
#include "model/rtc.hpp"
#include "model/shtc3.hpp"
#include "orientation/compass.hpp"
#include "orientation/compass_c.hpp"
#include "orientation/gravity.hpp"
#include "orientation/gyroscope.hpp"
#include "orientation/hmc5883.hpp"
#include "orientation/hmc5883n.hpp"
#include "orientation/mpu6050.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/observable.hpp"
#include "platform/settings_store.hpp"
#include "traces/trace.hpp"

namespace plimsy {

class accelerometer_t;

// The latest state of every sensor of the board and the kind of board that
// is talking. One update operation per message key; each stores the reading,
// runs its processing and then picks the layout that fits the message.
//
// Members are public for reading by the views; change them only through the
// operations, which announce before they change anything a view shows. The
// five self-announcing children (trace, gravity, compass, compass_c,
// gyroscope) are forwarded, so observing this object is enough.
class sensors_t : public observable_t {
public:
    sensors_t(const clock_t& clock, settings_store_t& store, console_t& console);
    ~sensors_t() override;

    trace_t trace;
    hmc5883_t hmc5883;
    hmc5883n_t hmc5883n;
    mpu6050_t mpu6050;
    iis2dlpc_t iis2dlpc;
    adp536x_t adp536x;
    adxl362_t adxl362;
    adxl372_t adxl372;
    gravity_t gravity;
    compass_t compass;
    compass_c_t compass_c;
    gyroscope_t gyroscope;
    bh1749_t bh1749;
    bme680_t bme680;
    shtc3_t shtc3;
    rtc_t rtc;
    gavrin3_events_t gavrin3_events;
    device_model_t device_model = device_model_t::plimsy91;

    void update_hmc5883(std::int16_t x, std::int16_t y, std::int16_t z);
    void update_hmc5883n(float x, float y, float z);
    void update_mpu6050(const mpu6050_str_t& record);
    void update_iis2dlpc(float x, float y, float z);
    void update_adp536x(const adp536x_str_t& record);
    void update_adxl362(float x, float y, float z);
    void update_adxl372(float x, float y, float z);
    void update_gravity(float x, float y, float z);
    void update_gyroscope(float x, float y, float z);
    void update_compass(opt_float b, opt_float h, opt_float H);
    void update_compass_c(const compass_c_str_t& record);
    void update_compass_gravity(const compass_gravity_str_t& record);
    void update_bh1749(std::int64_t r, std::int64_t g, std::int64_t b, std::int64_t i);
    void update_bme680(float temp, float pressure, float humidity, std::uint32_t gas);
    void update_shtc3(float temp, float humidity);
    void update_rtc(const rtc_str_t& record);
    void update_gavrin3_events(std::uint8_t alarm, std::uint8_t PIR);

    // Calls the update operation that belongs to the record's type.
    void apply(const record_t& record);

    // Merged view of the three accelerometers; created on first use.
    accelerometer_t& accelerometer();

    // Local actions of the panels on value-type members: they change the
    // member in place, so they announce like an update does.
    void hmc5883_calibration_next();
    void hmc5883_calibration_save(int slot);
    void hmc5883_calibration_load(int slot);
    void set_hmc5883_compensate(bool on);
    void set_hmc5883_compensate_3d(bool on);
    void mpu6050_reset_gyro();
    void bh1749_white_balance();
    // The colour panel's reset: every light correction factor back to 1.
    void bh1749_reset_corrections();

private:
    void select(device_model_t m);
    void forward_changes();

    std::unique_ptr<accelerometer_t> accelerometer_;
    std::vector<subscription_t> any_cancellable;
};

}  // namespace plimsy
