#include "model/record_text.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>


namespace plimsy {
namespace {

std::string fields_of(const record_t& r) {
    std::string out = "prefix:";  // appends, never overwrites
    append_record_fields_json(out, r);
    return out.substr(7);
}

TEST(record_text, fields_as_json) {
    compass_gravity_str_t cg;
    cg.h = 12.5f;
    cg.x = 0.1f;
    cg.y = -0.2f;
    cg.z = 9.81f;
    cg.c = "xy";
    EXPECT_EQ(fields_of(cg), R"({"h":12.5,"x":0.1,"y":-0.2,"z":9.81,"c":"xy"})");
    compass_gravity_str_t other;
    other.H = 1.0f;
    other.x = std::numeric_limits<float>::quiet_NaN();
    other.y = -std::numeric_limits<float>::infinity();
    other.z = 9.81f;
    EXPECT_EQ(fields_of(other), R"({"H":1.0,"x":null,"y":null,"z":9.81})");

    EXPECT_EQ(fields_of(rtc_str_t{2024, 5, 7, 0, 59, 255}), R"({"y":2024,"m":5,"d":7,"hh":0,"mm":59,"ss":255})");
    EXPECT_EQ(fields_of(gavrin3_events_str_t{48, 0}), R"({"alarm":48,"PIR":0})");
    adp536x_str_t adp{"q\"uote", "back\\slash", "ctl\x01\n", 65535, 200};
    EXPECT_EQ(fields_of(adp), R"({"cs1":"q\"uote","cs2":"back\\slash","pgs":"ctl\u0001\n","voltage":65535,"level":200})");
    EXPECT_EQ(fields_of(compass_str_t{}), "{}");
}

TEST(record_text, debug_descriptions) {
    gravity_str_t g;
    g.x = 1;
    g.y = 2.5f;
    g.z = -3;
    EXPECT_EQ(debug_description(g), "{ x: 1.0, y: 2.5, z: -3.0 }");
    adxl372_str_t a;
    a.x = 0.1f;
    EXPECT_EQ(debug_description(a), "{ x: 0.1, y: 0.0, z: 0.0 }");
    EXPECT_EQ(debug_description(bme680_str_t{21.5f, 1013.25f, 40, 4294967295u}),
              "{ temp: 21.5, pressure: 1013.25, humidity: 40.0, gas: 4294967295 }");
    EXPECT_EQ(debug_description(shtc3_str_t{-0.5f, 99}), "{ temp: -0.5, humidity: 99.0 }");
    EXPECT_EQ(debug_description(rtc_str_t{2024, 12, 31, 23, 59, 58}),
              "{ y: 2024, m: 12, d: 31, hh: 23, mm: 59, ss: 58 }");
    EXPECT_EQ(debug_description(gavrin3_events_str_t{65, 1}), "{ alarm: 65, PIR: 1 }");
    EXPECT_EQ(debug_description(adp536x_str_t{"0x02", "0x00", "0x01", 4100, 87}),
              R"({ cs1: "0x02", cs2: "0x00", pgs: "0x01", voltage: 4100, level: 87 })");

    compass_c_str_t c;
    c.x_min = -1;
    c.y_min = -32768;
    c.yv_max = 16384;
    c.x_raw = 5;  // neither raw values nor the event word belong in it
    c.e = "ff";
    const std::string limits =
        ", x_min: -1, y_min: -32768, z_min: 0, x_max: 0, y_max: 0, z_max: 0, xv_min: 0, yv_min: 0, xv_max: 0, "
        "yv_max: 16384 }";
    EXPECT_EQ(debug_description(c), "{ heading: 0.0" + limits);
    c.H = 270.5f;
    EXPECT_EQ(debug_description(c), "{ heading: 270.5" + limits);
    c.h = 0.1f;
    EXPECT_EQ(debug_description(c), "{ heading: 0.1" + limits);
}

}  // namespace
}  // namespace plimsy
