#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "model/adp536x.hpp"
#include "model/adxl362.hpp"
#include "model/adxl372.hpp"
#include "model/bh1749.hpp"
#include "model/bme680.hpp"
#include "model/gavrin3_events.hpp"
#include "model/rtc.hpp"

namespace plimsy {
namespace {

adp536x_t power(std::string cs1, std::string cs2, std::string pgs) {
    return adp536x_t(adp536x_str_t{std::move(cs1), std::move(cs2), std::move(pgs), 4100, 87});
}

TEST(adp536x, register_texts) {
    const auto ok = power("0x02", "0x80", "0x1f");
    EXPECT_EQ(std::vector<int>({ok.cs1, ok.cs2, ok.pgs, ok.voltage, ok.level}), std::vector<int>({2, 128, 31, 4100, 87}));
    // Upper-case digits read, pieces after a second x are ignored, empty
    // pieces between separators are dropped.
    const auto odd = power("0x1F", "0x1fx9", "0xx0ff");
    EXPECT_EQ(std::vector<int>({odd.cs1, odd.cs2, odd.pgs}), std::vector<int>({31, 31, 255}));

    // One bad text, in any of the three places, leaves every field at zero.
    for (const char* bad : {"0x100", "0x", "0", "", "00x1f", "0X1F", "1f", "1x1f", "0x1g", "0x-1", "0x+1", "0x 1"}) {
        for (const auto& a : {power(bad, "0x01", "0x01"), power("0x01", bad, "0x01"), power("0x01", "0x01", bad)}) {
            EXPECT_EQ(std::vector<int>({a.cs1, a.cs2, a.pgs, a.voltage, a.level}), std::vector<int>(5, 0)) << bad;
        }
    }
}

TEST(adxl372, peak_hold_sequence) {
    manual_clock_t clock(1000.0);
    adxl372_t a(clock);
    EXPECT_TRUE(a.hold_expired()) << "nothing held at the start";

    a.update(5, 0, 0);
    clock.advance(3);
    a.update(2, -7, 0);  // y rises: the hold restarts
    EXPECT_EQ(std::vector<float>({a.x, a.y, a.z}), std::vector<float>({5, -7, 0}));
    EXPECT_DOUBLE_EQ(a.date_hold, 1013.0);

    adxl372_t raised = a;
    raised.update(1, 1, 1);  // only z exceeds its held 0
    EXPECT_EQ(std::vector<float>({raised.x, raised.y, raised.z}), std::vector<float>({5, -7, 1}));

    clock.set(1012.5);
    a.update(1, 1, 0);
    EXPECT_EQ(std::vector<float>({a.x, a.y, a.z}), std::vector<float>({5, -7, 0}));
    EXPECT_FALSE(a.hold_expired());

    clock.set(1013.0);  // the hold ends exactly now
    EXPECT_TRUE(a.hold_expired());
    a.update(1, 1, 0);
    a.update(-0.5f, 0.25f, 0);  // each sample replaces the previous one
    EXPECT_EQ(std::vector<float>({a.x, a.y, a.z}), std::vector<float>({-0.5f, 0.25f, 0}));
    EXPECT_DOUBLE_EQ(a.date_hold, 1013.0) << "following live values does not restart the hold";

    adxl372_t zero(clock);
    zero.date_hold = clock.now() + 100;
    EXPECT_TRUE(zero.hold_expired()) << "held zeros count as expired";
}

TEST(bh1749, scaling_and_white_balance) {
    bh1749_t c;
    c.r = 100, c.g = 50, c.b = 25;
    EXPECT_FLOAT_EQ(c.scale_limit(), 255);
    EXPECT_FLOAT_EQ(c.r_n(), 100.0f / 255.0f);
    c.white_balance();
    EXPECT_EQ(std::vector<float>({c.r_c, c.g_c, c.b_c, c.i_c}), std::vector<float>({1, 2, 4, 1}));
    EXPECT_EQ(c.b_s(), "100");
    EXPECT_FLOAT_EQ(c.g_n(), c.r_n());

    bh1749_t bright;
    bright.r = 1000, bright.g = 500, bright.b = 0;
    EXPECT_FLOAT_EQ(bright.scale_limit(), 10000);
    EXPECT_EQ(bright.colour(), (rgb_t{1.0, static_cast<double>(std::sqrt(0.5f)), 0.0}));
    bright.r = 20000;
    EXPECT_FLOAT_EQ(bright.scale_limit(), 65536);

    bh1749_t dark;  // never divides by zero
    EXPECT_EQ(dark.colour(), (rgb_t{0, 0, 0}));
    dark.white_balance();
    EXPECT_EQ(std::vector<float>({dark.r_c, dark.g_c, dark.b_c}), std::vector<float>({1, 1, 1}));

    // Infrared: linear to 255, then square root against the next step.
    bh1749_t ir;
    ir.i = 200;
    EXPECT_FLOAT_EQ(ir.i_n(), 200.0f / 255.0f);
    ir.i = 2500;
    EXPECT_FLOAT_EQ(ir.i_n(), 0.5f);
    ir.i = 100000;
    EXPECT_FLOAT_EQ(ir.i_n(), std::sqrt(100000.0f / 65536.0f));
    EXPECT_EQ(ir.colour_i(), (rgb_t{1, 1, 1})) << "clamped to full white";

    // Texts: truncated toward zero, low 32 bits, unsigned.
    bh1749_t t;
    t.r = -1, t.g = 7, t.g_c = 1.5f, t.i = 1LL << 40;
    EXPECT_EQ(t.r_s() + " " + t.g_s() + " " + t.i_s(), "4294967295 10 0");
    t.r = INT64_MAX, t.r_c = 1e10f;  // beyond 64 bits: some text, no trap
    EXPECT_FALSE(t.r_s().empty());

    bh1749_t negative;
    negative.r = -100, negative.g = 1000;
    EXPECT_EQ(negative.colour(), (rgb_t{0, 1, 0})) << "a negative count shows dark, not NaN";
}

TEST(simple_sensors, debug_texts) {
    EXPECT_EQ((adxl362_t{1.5f, -2.0f, 0.1f}.debug_description()), "{ x: 1.5, y: -2.0, z: 0.1 }");
    manual_clock_t clock;
    adxl372_t a(clock);
    a.update(-250, 40, 0);
    EXPECT_EQ(a.debug_description(), "{ x: -250.0, y: 40.0, z: 0.0 }");
    bh1749_t c;
    c.r = 1, c.g = -2, c.b = 30000000000;
    EXPECT_EQ(c.debug_description(), "{ r: 1, g: -2, b: 30000000000, i: 0 }");
    EXPECT_EQ((bme680_t{21.25f, 1013.5f, 40.0f, 4000000000u}.debug_description()),
              "{ temp: 21.25, pressure: 1013.5, humidity: 40.0, gas: 4000000000 }");
}

// The board clock is read in the host's zone: pin it, put it back after.
struct zone_guard_t {
    std::optional<std::string> saved;
    zone_guard_t() {
        if (const char* tz = std::getenv("TZ")) saved = tz;
    }
    ~zone_guard_t() {
        saved ? setenv("TZ", saved->c_str(), 1) : unsetenv("TZ");
        tzset();
    }
    void set(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }
};

rtc_str_t at(int y, int m, int d, int hh, int mm, int ss) {
    return {static_cast<std::uint16_t>(y), static_cast<std::uint8_t>(m), static_cast<std::uint8_t>(d),
            static_cast<std::uint8_t>(hh), static_cast<std::uint8_t>(mm), static_cast<std::uint8_t>(ss)};
}

TEST(rtc, local_time_formats_and_ranges) {
    zone_guard_t zone;
    zone.set("Europe/Berlin");
    manual_clock_t clock(1234.5);
    rtc_t rtc(clock);
    EXPECT_EQ(rtc.date, 1234.5);
    // Summer and winter time.
    EXPECT_TRUE(rtc.update(at(2024, 7, 1, 12, 0, 0)));
    EXPECT_EQ(rtc.date, 1719828000.0);
    EXPECT_EQ(rtc.format_s() + "|" + rtc.format_a_s() + "|" + rtc.format_d_s() + "|" + rtc.format_t_s(),
              "2024-07-01  12:00:00|2024,07,01,12,00,00|2024-07-01|12:00:00");
    EXPECT_TRUE(rtc.update(at(2024, 1, 15, 12, 0, 0)));
    EXPECT_EQ(rtc.date, 1705316400.0);

    zone.set("UTC0");
    EXPECT_TRUE(rtc.update(at(2024, 2, 29, 13, 5, 9)));
    EXPECT_EQ(rtc.date, 1709211909.0);
    for (const auto& r : {at(2030, 0, 1, 0, 0, 0), at(2030, 13, 1, 0, 0, 0), at(2030, 1, 0, 0, 0, 0),
                          at(2030, 1, 32, 0, 0, 0), at(2030, 1, 1, 24, 0, 0), at(2030, 1, 1, 0, 60, 0),
                          at(2030, 1, 1, 0, 0, 60)}) {
        EXPECT_FALSE(rtc.update(r));
        EXPECT_EQ(rtc.date, 1709211909.0);
    }
    // The year is not checked; year 0 is 1 BC, shown as the year of its era.
    EXPECT_TRUE(rtc.update(at(0, 1, 1, 0, 0, 0)));
    EXPECT_EQ(rtc.format_s(), "0001-01-01  00:00:00");
    EXPECT_TRUE(rtc.update(at(65535, 6, 1, 0, 0, 0)));
    EXPECT_EQ(rtc.format_d_s(), "65535-06-01");
    // The second before the epoch is a real date, not mktime's failure value.
    EXPECT_TRUE(rtc.update(at(1969, 12, 31, 23, 59, 59)));
    EXPECT_EQ(rtc.date, -1.0);
}

TEST(gavrin3_events, events_show_for_ten_seconds) {
    manual_clock_t clock(0.0);
    gavrin3_events_t e(clock);
    EXPECT_FALSE(e.alarm() || e.PIR());
    e.update(1, 0);
    EXPECT_TRUE(e.alarm());
    EXPECT_FALSE(e.PIR());
    clock.set(8.0);
    e.update(1, 1);  // the second alarm extends to 18
    clock.set(12.0);
    e.update(0, 0);  // zeros never clear
    clock.set(17.999);
    EXPECT_TRUE(e.alarm() && e.PIR());
    clock.set(18.0);
    EXPECT_FALSE(e.alarm() || e.PIR());
    // Once read as expired it stays cleared, even if the clock steps back.
    clock.set(10.0);
    e.update(0, 3);
    EXPECT_TRUE(e.PIR());
    EXPECT_FALSE(e.alarm());
}

}  // namespace
}  // namespace plimsy
