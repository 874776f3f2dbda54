#include "transport/receive_pipeline.hpp"

#include <gtest/gtest.h>

#include <string>

using namespace plimsy;

namespace {
struct pipeline_fixture : ::testing::Test {
    manual_clock_t clock;
    memory_settings_store_t store;
    captured_console_t console;
    receive_pipeline_t p{clock, store, console};

    line_result_t::kind_t feed(std::string_view line) {
        line_result_t::kind_t kind{};
        p.line_observer = [&](const line_result_t& r) { kind = r.kind; };
        p.receive_line(line);
        clock.advance(0.02);
        return kind;
    }
};
using kind = line_result_t::kind_t;
}  // namespace

TEST_F(pipeline_fixture, splitting_decides_what_is_a_message) {
    EXPECT_EQ(feed(R"(gravity={"x":0,"y":1,"z":0})"), kind::ok);
    EXPECT_EQ(p.sensors.device_model, device_model_t::gravity);
    // Doubled or leading separators are dropped as empty pieces.
    EXPECT_EQ(feed(R"(gravity=={"x":0,"y":1,"z":0})"), kind::ok);
    EXPECT_EQ(feed(R"(=gravity={"x":0,"y":1,"z":0})"), kind::ok);
    // A "=" inside a string makes three pieces: no message.
    EXPECT_EQ(feed(R"(compass={"c":"a=b","x":1,"y":1,"z":1})"), kind::ignored);
    // Blanks belong to their piece.
    EXPECT_EQ(feed(R"(gravity= {"x":0,"y":1,"z":0})"), kind::ignored);
    EXPECT_EQ(feed(R"(gravity={"x":0,"y":1,"z":0} )"), kind::ignored);
    EXPECT_EQ(feed(R"(gravity ={"x":0,"y":1,"z":0})"), kind::ignored);
    EXPECT_EQ(feed(R"(GRAVITY={"x":0,"y":1,"z":0})"), kind::ignored);
    EXPECT_EQ(feed("gravity="), kind::ignored);
    EXPECT_EQ(feed("no message at all"), kind::ignored);
    EXPECT_TRUE(console.lines().empty());  // none of these is an error
}

TEST_F(pipeline_fixture, compass_falls_back_and_reports_the_second_error) {
    EXPECT_EQ(feed(R"(compass={"h":10,"x":0,"y":0,"z":1})"), kind::ok);
    EXPECT_EQ(p.sensors.device_model, device_model_t::compass_gravity);
    EXPECT_EQ(feed(R"(compass={"h":20,"x":0,"y":0})"), kind::ok);
    EXPECT_EQ(p.sensors.device_model, device_model_t::compass);
    EXPECT_EQ(p.log_fg(), colour_t::primary);

    const auto before = p.sensors.compass.heading;
    EXPECT_EQ(feed(R"(compass={"h":"north"})"), kind::error);
    EXPECT_EQ(p.sensors.compass.heading, before);  // the model is untouched
    EXPECT_EQ(p.log_fg(), colour_t::red);
    ASSERT_EQ(console.lines().size(), 1u);
    const std::string text = console.lines()[0];
    EXPECT_EQ(text.rfind("\n\nfailed to decode JSON: ", 0), 0u);
    EXPECT_NE(text.find("\"h\""), std::string::npos);  // names the key of the compass_str_t attempt
    EXPECT_NE(text.find("\n[compass={\"h\":\"north\"}]"), std::string::npos);
    // The next line is handled normally; the colour stays red.
    EXPECT_EQ(feed(R"(gps={"h":5,"x":1,"y":2,"z":3})"), kind::ok);
    EXPECT_EQ(p.log_fg(), colour_t::red);
}

TEST_F(pipeline_fixture, log_keeps_the_last_18_lines_only_while_enabled) {
    feed("early line");
    EXPECT_TRUE(p.arr_rx().empty());
    p.set_log_enable(true);
    for (int i = 1; i <= 19; ++i) feed("line " + std::to_string(i));
    ASSERT_EQ(p.arr_rx().size(), 18u);
    EXPECT_EQ(p.arr_rx().front(), "line 2");
    EXPECT_EQ(p.arr_rx().back(), "line 19");
}

TEST_F(pipeline_fixture, counting_starts_after_the_first_line) {
    feed("a");
    EXPECT_TRUE(p.msg_ack);
    EXPECT_EQ(p.msg_count, 0u);
    feed("b");
    feed(R"(gps={"h":"bad"})");
    EXPECT_EQ(p.msg_count, 2u);
    EXPECT_EQ(p.msg_good, 2u);
    EXPECT_EQ(p.error_rate(), "");
    p.msg_good = 1;
    p.msg_count = 4;
    EXPECT_EQ(p.error_rate(), "75%  ");
    p.show_crc = false;
    EXPECT_EQ(p.error_rate(), "");
    p.clear_log();
    EXPECT_FALSE(p.msg_ack);
    EXPECT_EQ(p.msg_count, 0u);
}

TEST_F(pipeline_fixture, binary_frames_are_reported_once_until_text_returns) {
    p.set_log_enable(true);
    feed("text");
    const std::uint8_t frame[] = {0x01, 0x02, 0xFE};
    EXPECT_TRUE(p.receive_arr(frame));
    EXPECT_FALSE(p.receive_arr(frame));
    ASSERT_EQ(console.lines().size(), 1u);
    EXPECT_NE(console.lines()[0].find("  [binary frame] 3 bytes"), std::string::npos);
    EXPECT_EQ(p.arr_rx().size(), 3u);
    EXPECT_EQ(p.arr_rx().back(), console.lines()[0]);
    feed("text again");
    EXPECT_TRUE(p.receive_arr(frame));
}

TEST_F(pipeline_fixture, sensor_changes_reach_observers_of_the_pipeline) {
    int changes = 0;
    auto sub = p.subscribe([&] { ++changes; });
    feed(R"(bme680={"temp":21.5,"pressure":1013,"humidity":40,"gas":1000})");
    EXPECT_GT(changes, 0);
    const int after_bme = changes;
    clock.advance(1.0);
    feed(R"(gyro={"x":1,"y":2,"z":3})");  // forwarded from the gyroscope and the trace
    EXPECT_GT(changes, after_bme);
}
