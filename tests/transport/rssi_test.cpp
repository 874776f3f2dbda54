#include "transport/rssi.hpp"

#include <gtest/gtest.h>

using namespace plimsy;

namespace {
// One object reused for every value, as the transport reuses its own.
const rssi_t& at(int dbm) {
    static rssi_t r;
    r.set_rssi(dbm);
    return r;
}
}  // namespace

TEST(rssi, colour_bands_and_weak_mark_switch_at_their_bounds) {
    struct row {
        int dbm;
        colour_t colour;
        double weak;
    };
    for (const row& r : {row{0, colour_t::blue, 0}, row{-30, colour_t::blue, 0}, row{-68, colour_t::blue, 0},
                         row{-69, colour_t::green, 1}, row{-78, colour_t::green, 1}, row{-79, colour_t::yellow, 1},
                         row{-85, colour_t::yellow, 1}, row{-86, colour_t::orange, 1}, row{-90, colour_t::orange, 1},
                         row{-91, colour_t::red, 1}, row{-120, colour_t::red, 1}}) {
        SCOPED_TRACE(r.dbm);
        const rssi_t& v = at(r.dbm);
        EXPECT_EQ(v.colour(), r.colour);
        EXPECT_EQ(v.weak(), r.weak);
    }
}

TEST(rssi, level_and_text_treat_zero_as_no_value) {
    EXPECT_EQ(at(0).level(), 0.0f);
    EXPECT_EQ(at(0).rssi_s(), "");
    EXPECT_EQ(at(-100).level(), 0.0f);
    EXPECT_EQ(at(-110).level(), 0.0f);
    EXPECT_EQ(at(-30).level(), 1.0f);
    EXPECT_EQ(at(-10).level(), 1.0f);
    EXPECT_FLOAT_EQ(at(-65).level(), 0.5f);
    EXPECT_EQ(at(-65).rssi_s(), "-65");
}

TEST(rssi, announces_only_a_new_number) {
    rssi_t r;
    int announced = 0;
    auto sub = r.subscribe([&] { ++announced; });
    r.set_rssi(-60);
    r.set_rssi(-60);
    r.set_rssi(0);
    EXPECT_EQ(announced, 2);
}
