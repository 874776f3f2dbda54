#include "session/recorder.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "capture/capture_file.hpp"
#include "orientation/hmc5883.hpp"
#include "platform/manual_main_queue.hpp"
#include "sim/simulated_peripheral.hpp"
#include "transport/test_server.hpp"

#include "common/temp_files.hpp"

using namespace plimsy;
namespace fs = std::filesystem;
using plimsy::test_files::slurp;
using plimsy::test_files::spit;
using plimsy::test_files::temp_dir_t;

namespace {

// Sees the same chunks as the recorder, to compare with the file.
struct bytes_tap_t : session_tap_t {
    std::string rx, tx;
    std::vector<std::string> actions;
    void board_rx(std::span<const std::uint8_t> b) override { rx.append(reinterpret_cast<const char*>(b.data()), b.size()); }
    void board_tx(std::span<const std::uint8_t> b) override { tx.append(reinterpret_cast<const char*>(b.data()), b.size()); }
    void local_action(std::string_view name, const capture_arg_t&) override { actions.emplace_back(name); }
};

struct read_capture_t {
    capture_header_t header;
    std::string rx, tx;
    std::vector<std::pair<std::string, capture_arg_t>> actions;
    std::vector<double> times;
    std::string file_error;
    std::vector<std::string> errors;
};

read_capture_t read_capture(const fs::path& p) {
    read_capture_t c;
    capture_file_reader_t file(p);
    EXPECT_EQ(file.open_error(), "");
    EXPECT_TRUE(file.compressed());
    capture_reader_t reader;
    while (auto line = file.next_line()) {
        switch (reader.read_line(*line)) {
            case capture_reader_t::result_t::header: c.header = reader.header(); break;
            case capture_reader_t::result_t::error: c.errors.push_back(reader.error()); break;
            case capture_reader_t::result_t::skipped: break;
            case capture_reader_t::result_t::entry: {
                const auto& e = reader.entry();
                c.times.push_back(e.t);
                if (e.kind == capture_entry_t::kind_t::rx) c.rx += e.data;
                if (e.kind == capture_entry_t::kind_t::tx) c.tx += e.data;
                if (e.kind == capture_entry_t::kind_t::action) c.actions.emplace_back(std::string(e.data), e.arg);
                break;
            }
        }
    }
    c.file_error = file.error();
    return c;
}

struct recorder_fixture : ::testing::Test {
    manual_clock_t clock{1'796'626'212.25};  // 2026-12-07T06:50:12.250Z
    manual_main_queue_t queue{clock};
    memory_settings_store_t store;
    captured_console_t console;
    std::unique_ptr<session_t> session;
    temp_dir_t dir;

    session_t& build(session_options_t o) {
        o.store = &store;
        session = std::make_unique<session_t>(session_services_t{.clock = clock, .main = queue, .console = &console},
                                              std::move(o));
        return *session;
    }
    bool pump_until(const std::function<bool()>& done) {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::duration<double>(test_patience);
        while (!done()) {
            if (std::chrono::steady_clock::now() > give_up) return false;
            queue.wait_for_work(0.005);
            queue.run_pending();
            if (session) session->poll_simulation();
        }
        return true;
    }
    void run_board(double seconds) {
        for (double t = 0; t < seconds - 1e-9; t += 0.01) {
            clock.advance(0.01);
            queue.run_pending();
            session->poll_simulation();
        }
    }
};

}  // namespace

TEST_F(recorder_fixture, records_chunks_commands_actions_and_the_settings_processing_reads) {
    // A calibration in use and a spare; histories and anything else stay out.
    for (int slot : {0, 1}) {
        std::vector<setting_change_t> changes;
        for (const auto& k : hmc5883_t::calibration_keys(slot)) changes.push_back({k, std::int64_t{slot * 10 + 5}});
        store.apply(changes);
    }
    store.write("history_host", std::vector<std::string>{"127.0.0.1"});
    store.write("mqtt_password", std::string("secret"));
    session_options_t o;
    o.simulate = session_simulation_t{.board = device_model_t::hmc5883, .rate = 100};
    session_t& s = build(o);
    ASSERT_TRUE(pump_until([&] { return s.link_up(); }));

    bytes_tap_t tap;
    s.add_tap(&tap);
    const fs::path path = dir.path / "r.plimsy.jsonl.zst";
    session_recorder_t recorder(s, {.path = path});
    EXPECT_TRUE(recorder.recording());
    run_board(1.0);
    EXPECT_TRUE(s.send("C\n"));
    ASSERT_TRUE(pump_until([&] { return !s.simulated_peripheral()->written().empty(); }));
    run_board(0.5);
    EXPECT_TRUE(s.act(local_action_t::hmc5883_calibration_save, std::int64_t{1}));
    EXPECT_TRUE(s.act(local_action_t::hmc5883_compensate, false));
    std::string why;
    EXPECT_FALSE(s.act("hmc5883.no_such_thing", {}, why));  // not done, not recorded
    run_board(0.5);
    EXPECT_NEAR(recorder.elapsed_seconds(), 2.0, 1e-5);
    EXPECT_GT(recorder.entries(), 150u);
    EXPECT_EQ(recorder.path(), path);
    ASSERT_TRUE(recorder.finish());
    s.remove_tap(&tap);
    EXPECT_FALSE(recorder.recording());
    run_board(0.5);  // nothing more is recorded
    EXPECT_NEAR(recorder.elapsed_seconds(), 2.0, 1e-5);
    EXPECT_EQ(recorder.bytes_on_disk(), fs::file_size(path));

    const read_capture_t c = read_capture(path);
    EXPECT_EQ(c.file_error, "");
    EXPECT_TRUE(c.errors.empty());
    EXPECT_EQ(c.header.start, "2026-12-07T06:50:12.250Z");
    EXPECT_EQ(c.header.link, "ble Plimsy:91 UART (simulated)");
    std::vector<std::string> keys;
    for (const auto& [k, v] : c.header.settings) keys.push_back(k);
    ASSERT_GE(keys.size(), 20u);
    EXPECT_EQ(keys[0], "hmc5883.0.x_min");
    EXPECT_EQ(keys[10], "hmc5883.1.x_min");
    EXPECT_EQ(std::get<std::int64_t>(c.header.settings[10].second), 15);
    for (std::size_t i = 20; i < keys.size(); ++i) EXPECT_EQ(keys[i].rfind("enable_", 0), 0u) << keys[i];
    // Every byte both ways, exactly, and the actions with their arguments.
    EXPECT_GT(tap.rx.size(), 3000u);
    EXPECT_EQ(c.rx, tap.rx);
    EXPECT_EQ(c.tx, tap.tx);
    EXPECT_NE(c.tx.find("C\n"), std::string::npos);
    ASSERT_EQ(c.actions.size(), 2u);
    EXPECT_EQ(c.actions[0].first, "hmc5883.calibration_save");
    EXPECT_EQ(std::get<std::int64_t>(c.actions[0].second), 1);
    EXPECT_EQ(c.actions[1].first, "hmc5883.compensate");
    EXPECT_EQ(std::get<bool>(c.actions[1].second), false);
    // Times from the session's clock, in order, within the recording.
    ASSERT_FALSE(c.times.empty());
    EXPECT_TRUE(std::is_sorted(c.times.begin(), c.times.end()));
    EXPECT_GT(c.times.front(), 0.0);
    EXPECT_LE(c.times.back(), 2.0 + 1e-5);
}

TEST_F(recorder_fixture, default_name_waits_for_the_board_kind_and_a_second_recording_keeps_the_first) {
    ::setenv("XDG_DATA_HOME", dir.path.c_str(), 1);
    EXPECT_EQ(recordings_folder(), dir.path / "Plimsy/Plimsy_sensors/recordings");
    EXPECT_EQ(recording_file_name(1'796'626'212.75, "hmc5883"), "2026-12-07T06-50-12Z_hmc5883.plimsy.jsonl.zst");
    ::setenv("XDG_DATA_HOME", "relative/is/ignored", 1);
    EXPECT_EQ(recordings_folder().filename(), "recordings");
    EXPECT_NE(recordings_folder().string().find("/.local/share/Plimsy/"), std::string::npos);
    ::setenv("XDG_DATA_HOME", dir.path.c_str(), 1);

    session_options_t o;
    o.simulate = session_simulation_t{.board = device_model_t::gavrin3, .rate = 50};
    session_t& s = build(o);
    // Started before the board said anything: the entries wait for its kind.
    fs::path first, second;
    {
        session_recorder_t recorder(s);
        EXPECT_EQ(recorder.path(), fs::path());
        ASSERT_TRUE(pump_until([&] { return s.link_up(); }));
        run_board(0.5);
        first = recorder.path();
        EXPECT_EQ(first.filename(),
                  "2026-12-07T06-50-12Z_" + std::string(device_model_name(s.sensors().device_model)) +
                      ".plimsy.jsonl.zst");
        EXPECT_EQ(s.sensors().device_model, s.simulated_board()->host_model());
        recorder.stop();  // in the background: the window never waits
        EXPECT_EQ(recorder.path(), first);
    }
    // The first file is made on its writer's thread, after stop(): let it
    // exist before the second recording of the same second looks for a name.
    ASSERT_TRUE(wait_for_background_closes(test_patience));
    {
        session_recorder_t recorder(s);
        run_board(0.2);
        ASSERT_TRUE(recorder.finish());
        second = recorder.path();
    }
    ASSERT_TRUE(wait_for_background_closes(test_patience));
    EXPECT_EQ(second.filename(), "2026-12-07T06-50-12Z_" + std::string(device_model_name(s.sensors().device_model)) +
                                     "-2.plimsy.jsonl.zst");
    const read_capture_t a = read_capture(first), b = read_capture(second);
    EXPECT_EQ(a.file_error, "");
    EXPECT_EQ(b.file_error, "");
    EXPECT_GT(a.rx.size(), 100u);
    EXPECT_FALSE(b.rx.empty());
    EXPECT_EQ(a.header.start, "2026-12-07T06:50:12.250Z");
    EXPECT_EQ(b.header.start, "2026-12-07T06:50:12.750Z");
    ::unsetenv("XDG_DATA_HOME");
}

TEST_F(recorder_fixture, an_unwritable_file_stops_the_recording_once_and_the_session_goes_on) {
    session_options_t o;
    o.simulate = session_simulation_t{.board = device_model_t::hmc5883, .rate = 100};
    session_t& s = build(o);
    ASSERT_TRUE(pump_until([&] { return s.link_up(); }));
    std::vector<std::string> errors;
    session_recorder_t recorder(s, {.path = "/dev/full", .file = {.flush_seconds = 0.05}});
    recorder.on_error = [&](const std::string& m) { errors.push_back(m); };
    const auto good_before = s.pipeline().msg_good;
    for (int i = 0; i < 200 && errors.empty(); ++i) {
        run_board(0.05);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        queue.run_pending();
    }
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("No space left on device"), std::string::npos) << errors[0];
    EXPECT_FALSE(recorder.recording());
    EXPECT_TRUE(recorder.failed());
    EXPECT_EQ(recorder.error(), errors[0]);
    const auto entries = recorder.entries();
    run_board(0.5);
    queue.run_pending();
    EXPECT_EQ(recorder.entries(), entries);  // stopped taking entries
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_GT(s.pipeline().msg_good, good_before + 40);  // the live view goes on
    EXPECT_FALSE(recorder.finish());
}
