#include <gtest/gtest.h>

#include <memory>

#include "model/gps_data.hpp"

namespace plimsy {
namespace {

TEST(gps_data, pressure_from_the_host_barometer) {
    manual_altimeter_t altimeter;
    gps_data_t gps(altimeter);
    double seen_at_signal = -1;
    int signals = 0;
    auto sub = gps.subscribe([&] { ++signals, seen_at_signal = gps.pressure(); });
    altimeter.deliver(101.325);
    EXPECT_DOUBLE_EQ(gps.pressure(), 101325.0);
    EXPECT_EQ(seen_at_signal, 0.0) << "announced before the change";
    altimeter.deliver(std::nullopt);  // an error without a reading
    EXPECT_DOUBLE_EQ(gps.pressure(), 101325.0);
    EXPECT_EQ(signals, 1);
    EXPECT_EQ(gps.debug_description(), "{ alt: 0 }");

    manual_altimeter_t none(false);
    gps_data_t no_barometer(none);
    EXPECT_FALSE(none.started());

    // The host may still call the handler after its owner was discarded.
    auto gone = std::make_unique<gps_data_t>(altimeter);
    gone.reset();
    altimeter.deliver(99.0);
}

}  // namespace
}  // namespace plimsy
