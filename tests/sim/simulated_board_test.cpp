#include "sim/simulated_board.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <variant>
#include <vector>

#include "transport/receive_pipeline.hpp"

using namespace plimsy;

namespace {

// One board wired to a real pipeline through a shared manual clock.
struct rig_t {
    explicit rig_t(device_model_t kind, double rate = 50.0, std::uint32_t seed = 7)
        : board(kind, clock, rate, seed) {
        pipeline.line_observer = [this](const line_result_t& r) {
            if (r.kind == line_result_t::kind_t::error) ++errors;
            if (r.kind == line_result_t::kind_t::ignored) ++ignored;
            if (r.kind == line_result_t::kind_t::ok && on_record) on_record(*r.record);
        };
    }

    // Moves time in 20 ms ticks and feeds every due line to the pipeline.
    void run(double seconds) {
        const int ticks = static_cast<int>(std::lround(seconds / 0.02));
        for (int i = 0; i < ticks; ++i) {
            clock.advance(0.02);
            pump();
        }
    }
    void pump() {
        std::vector<std::string> lines;
        board.due_lines(lines);
        for (const std::string& line : lines) {
            ++total;
            if (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0 ||
                line.find_first_of("\r\n") != line.size() - 2)
                ++bad_endings;
            pipeline.receive_line(std::string_view(line).substr(0, line.size() - 2));
        }
    }
    calibration_state_t host_step() const { return pipeline.sensors.compass_c.calibration; }

    manual_clock_t clock;
    memory_settings_store_t store;
    captured_console_t console;
    receive_pipeline_t pipeline{clock, store, console};
    simulated_board_t board;
    std::function<void(const record_t&)> on_record;
    int total = 0, errors = 0, ignored = 0, bad_endings = 0;
};

double norm(const xyz_str_t& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

}  // namespace

TEST(simulated_board, every_kind_decodes_and_selects_its_layout) {
    for (int i = 0; i < device_model_count; ++i) {
        const auto kind = static_cast<device_model_t>(i);
        SCOPED_TRACE(std::string(device_model_name(kind)));
        rig_t rig(kind);
        rig.run(40.0);
        EXPECT_GT(rig.total, 1900);
        EXPECT_EQ(rig.errors, 0);
        EXPECT_EQ(rig.ignored, 0);
        EXPECT_EQ(rig.bad_endings, 0);
        EXPECT_TRUE(rig.console.lines().empty());
        EXPECT_EQ(rig.pipeline.sensors.device_model, rig.board.host_model());
    }
    // No message selects compass_bearing; its lines are compass lines.
    rig_t bearing(device_model_t::compass_bearing);
    EXPECT_EQ(bearing.board.host_model(), device_model_t::compass);
    EXPECT_EQ(rig_t(device_model_t::hmc5883).board.host_model(), device_model_t::hmc5883);
}

TEST(simulated_board, readings_are_believable) {
    {
        rig_t rig(device_model_t::gravity);
        double lo = 100, hi = 0;
        rig.on_record = [&](const record_t& r) {
            const double g = norm(std::get<gravity_str_t>(r));
            lo = std::min(lo, g);
            hi = std::max(hi, g);
        };
        rig.run(20.0);
        EXPECT_GT(lo, 9.6);
        EXPECT_LT(hi, 10.0);
    }
    {
        // A rotating field of a few hundred counts, with a gyroscope that turns along.
        rig_t rig(device_model_t::hmc5883);
        int x_lo = 0, x_hi = 0, mpu = 0;
        double gz_sum = 0;
        rig.on_record = [&](const record_t& r) {
            if (const auto* m = std::get_if<hmc5883_str_t>(&r)) {
                x_lo = std::min<int>(x_lo, m->x);
                x_hi = std::max<int>(x_hi, m->x);
            } else if (const auto* s = std::get_if<mpu6050_str_t>(&r)) {
                ++mpu;
                gz_sum += s->gz;
                EXPECT_NEAR(std::sqrt(s->ax * s->ax + s->ay * s->ay + s->az * s->az), 1.0, 0.03);
            }
        };
        rig.run(60.0);  // a full turn
        EXPECT_GT(x_hi - x_lo, 350);
        EXPECT_LT(x_hi - x_lo, 600);
        EXPECT_NEAR(gz_sum / mpu, 6.0, 0.5);  // degrees per second
    }
    {
        rig_t rig(device_model_t::plimsy91);
        float peak = 0;
        int bme = 0;
        rig.on_record = [&](const record_t& r) {
            if (const auto* a = std::get_if<adxl372_str_t>(&r)) peak = std::max<float>(peak, norm(*a));
            if (std::holds_alternative<bme680_str_t>(r)) ++bme;
        };
        rig.run(30.0);
        EXPECT_GT(peak, 150.0f);            // the shock every ~20 s
        EXPECT_NEAR(bme, 30, 2);            // about once a second
        EXPECT_GT(rig.pipeline.sensors.bme680.gas, 100000u);
    }
    {
        rig_t rig(device_model_t::gavrin3);
        int alarms = 0, motions = 0, clocks = 0;
        rig.on_record = [&](const record_t& r) {
            if (const auto* e = std::get_if<gavrin3_events_str_t>(&r)) {
                alarms += e->alarm;
                motions += e->PIR;
            } else if (const auto* c = std::get_if<rtc_str_t>(&r)) {
                using namespace std::chrono;
                const sys_days d = year_month_day{year{c->y}, month{c->m}, day{c->d}};
                const double t = static_cast<double>(duration_cast<seconds>(d.time_since_epoch()).count()) +
                                 c->hh * 3600.0 + c->mm * 60.0 + c->ss;
                EXPECT_NEAR(t, rig.clock.now(), 1.5);  // UTC, to the second
                ++clocks;
            }
        };
        rig.run(60.0);
        EXPECT_GE(alarms, 1);
        EXPECT_GE(motions, 3);
        EXPECT_GE(clocks, 55);
        EXPECT_GT(rig.pipeline.sensors.adp536x.voltage, 3300);
        EXPECT_EQ(rig.pipeline.sensors.adp536x.cs1, 2);
    }
}

TEST(simulated_board, calibration_steps_follow_the_button) {
    for (const auto kind : {device_model_t::compass_gravity, device_model_t::compass, device_model_t::compass_bearing}) {
        SCOPED_TRACE(std::string(device_model_name(kind)));
        rig_t rig(kind);
        rig.run(1.0);
        EXPECT_EQ(rig.host_step(), calibration_state_t::complete);

        bool xv_min_mark = false, xv_max_mark = false, tilt = false;
        rig.on_record = [&](const record_t& r) {
            if (std::holds_alternative<compass_c_str_t>(r)) {
                const auto& c = rig.pipeline.sensors.compass_c;
                if (c.calibration == calibration_state_t::xv) {
                    xv_min_mark |= c.event_min;
                    xv_max_mark |= c.event_max;
                }
                tilt |= c.event_tilt;
            }
        };
        // The BLE form with its extra CR LF, then pieces, then a bare LF.
        rig.board.command("C\n\r\n");
        rig.run(10.0);
        EXPECT_EQ(rig.host_step(), calibration_state_t::xy);
        const auto& cc = rig.pipeline.sensors.compass_c;
        EXPECT_TRUE(cc.valid_raw);
        EXPECT_GT(cc.x_max - cc.x_min, 380);  // a full turn sweeps twice the horizontal field
        EXPECT_GT(cc.y_max - cc.y_min, 380);

        rig.board.command("C");
        rig.board.command("\r");
        rig.board.command("\n");
        rig.run(12.0);
        EXPECT_EQ(rig.host_step(), calibration_state_t::xv);
        EXPECT_GT(cc.xv_max - cc.xv_min, 700);  // the vertical field, both ways
        EXPECT_TRUE(xv_min_mark && xv_max_mark);

        rig.board.command("C\n");
        rig.run(12.0);
        EXPECT_EQ(rig.host_step(), calibration_state_t::yv);
        EXPECT_GT(cc.yv_max - cc.yv_min, 700);

        rig.board.command("C\n");
        rig.run(10.0);
        EXPECT_EQ(rig.host_step(), calibration_state_t::z);
        EXPECT_GT(cc.z_max - cc.z_min, 700);  // upside-down flips the vertical field
        EXPECT_LT(cc.z_min, 0);

        rig.board.command("C\n");
        rig.run(2.0);
        EXPECT_EQ(rig.host_step(), calibration_state_t::complete);
        EXPECT_EQ(rig.board.calibration(), calibration_state_t::complete);
        EXPECT_FALSE(cc.overflow);
        EXPECT_TRUE(tilt);
        EXPECT_EQ(rig.errors + rig.ignored, 0);
        EXPECT_EQ(rig.pipeline.sensors.device_model, rig.board.host_model());
        EXPECT_EQ(rig.board.received_commands(), "CCCCC");
    }
}

TEST(simulated_board, commands_are_single_characters_on_their_own_line) {
    rig_t rig(device_model_t::plimsy91);
    rig.board.command("G\nH\r\nD\n\r\nL\nM");
    rig.board.command("\n2\n3\nc\n");
    rig.board.command("CC\n");           // two characters: no command
    rig.board.command("\n\r\n\r");       // empty lines
    rig.board.command(std::string("\0", 1) + "C\n");  // the NUL a host sends on binary frames
    EXPECT_EQ(rig.board.received_commands(), "GHDLM23cC");
    // A board without a compass takes "C" but has nothing to calibrate.
    EXPECT_EQ(rig.board.calibration(), calibration_state_t::complete);
    rig.run(5.0);
    EXPECT_EQ(rig.errors + rig.ignored, 0);
    EXPECT_FALSE(rig.pipeline.sensors.compass_c.valid);
}

TEST(simulated_board, restart_goes_quiet_and_zeroes_the_gyroscope) {
    rig_t rig(device_model_t::gyroscope);
    rig.run(20.0);
    // 20 s at 6 degrees a second plus the drift
    EXPECT_GT(std::abs(rig.pipeline.sensors.gyroscope.z * 57.29577951308232), 100.0);

    rig.board.command("R\n");
    EXPECT_EQ(rig.board.restarts(), 1u);
    const int before = rig.total;
    rig.run(simulated_board_t::reboot_seconds - 0.04);
    EXPECT_EQ(rig.total, before);  // silent while it boots
    rig.run(0.2);
    EXPECT_GT(rig.total, before);
    const auto& g = rig.pipeline.sensors.gyroscope;
    EXPECT_LT(std::abs(g.x * 57.29577951308232), 1.0);
    EXPECT_LT(std::abs(g.y * 57.29577951308232), 1.0);
    EXPECT_LT(std::abs(g.z * 57.29577951308232), 1.0);

    // A restart in the middle of a calibration abandons it, and the host hears.
    rig_t compass(device_model_t::compass);
    compass.board.command("C\n");
    compass.run(2.0);
    ASSERT_EQ(compass.host_step(), calibration_state_t::xy);
    compass.board.command("R\n");
    compass.run(1.0);
    EXPECT_EQ(compass.board.calibration(), calibration_state_t::complete);
    EXPECT_EQ(compass.host_step(), calibration_state_t::complete);
    EXPECT_EQ(compass.errors + compass.ignored, 0);
}

TEST(simulated_board, pacing_follows_the_rate_and_caps_the_backlog) {
    manual_clock_t clock(1000.0);
    simulated_board_t board(device_model_t::gravity, clock, 10.0);
    std::vector<std::string> out;
    EXPECT_EQ(board.due_lines(out), 1u);  // the first line is due at once
    EXPECT_EQ(board.due_lines(out), 0u);  // nothing new without time
    for (int i = 0; i < 100; ++i) {
        clock.advance(0.01);
        board.due_lines(out);
    }
    EXPECT_EQ(out.size(), 11u);  // one second at 10 lines a second, plus the first
    clock.advance(0.05);
    EXPECT_EQ(board.due_lines(out), 0u);
    clock.advance(0.05);
    EXPECT_EQ(board.due_lines(out), 1u);

    clock.advance(3600.0);  // a long pause yields one second's worth
    EXPECT_EQ(board.due_lines(out), 10u);
    clock.advance(0.1);
    EXPECT_EQ(board.due_lines(out), 1u);
    EXPECT_EQ(board.lines_sent(), out.size());

    clock.set(500.0);  // a clock set back waits instead of replaying
    EXPECT_EQ(board.due_lines(out), 0u);

    // Nonsense rates fall back to the default.
    EXPECT_EQ(simulated_board_t(device_model_t::gravity, clock, 0.0).rate(), simulated_board_t::default_rate);
    EXPECT_EQ(simulated_board_t(device_model_t::gravity, clock, -3.0).rate(), simulated_board_t::default_rate);
    EXPECT_EQ(simulated_board_t(device_model_t::gravity, clock, NAN).rate(), simulated_board_t::default_rate);
}

TEST(simulated_board, the_seed_decides_the_noise) {
    const auto lines = [](std::uint32_t seed) {
        manual_clock_t clock;
        simulated_board_t board(device_model_t::compass_gravity, clock, 50.0, seed);
        std::vector<std::string> out;
        for (int i = 0; i < 100; ++i) {
            clock.advance(0.02);
            board.due_lines(out);
        }
        return out;
    };
    EXPECT_EQ(lines(3), lines(3));
    EXPECT_NE(lines(3), lines(4));
}
