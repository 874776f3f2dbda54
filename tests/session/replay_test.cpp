#include "session/replay.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "capture/shown_text.hpp"
#include "session/capture_export.hpp"
#include "cli/decode_command.hpp"
#include "shown/screen.hpp"
#include "sim/simulated_board.hpp"

using namespace plimsy;

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

// A magnetometer board for `seconds` at 100 lines a second, its bytes cut
// into chunks of 1 to 61 bytes as a link delivers them, with the panel's
// calibration walked (next, save, load), a switch, a trace hold and a
// command now and then. Times are whole milliseconds.
std::string board_capture(double seconds) {
    capture_header_t h;
    h.start = "2026-12-07T03:48:07Z";
    h.link = "test";
    for (const char* f : {"x", "y", "z", "xv", "yv"}) {
        h.settings.emplace_back(std::string("hmc5883.0.") + f + "_min", std::int64_t{-100});
        h.settings.emplace_back(std::string("hmc5883.0.") + f + "_max", std::int64_t{100});
    }
    std::string c;
    append_capture_header(c, h);
    manual_clock_t clock(1'800'000'000.0);
    simulated_board_t board(device_model_t::hmc5883, clock, 100, 7);
    std::string pending;
    std::vector<std::string> lines;
    std::size_t cut = 0;
    for (int ms = 10; ms <= seconds * 1000; ms += 10) {
        clock.set(1'800'000'000.0 + ms / 1000.0);
        lines.clear();
        board.due_lines(lines);
        for (const auto& l : lines) pending += l + "\n";
        const double t = ms / 1000.0;
        while (!pending.empty()) {
            const std::size_t n = std::min(pending.size(), 1 + (cut++ * 7) % 61);
            append_capture_rx(c, t, pending.substr(0, n));
            pending.erase(0, n);
        }
        switch (ms % 3000) {
            case 500: append_capture_action(c, t, "hmc5883.calibration_next"); break;
            case 1200: append_capture_action(c, t, "hmc5883.calibration_save", std::int64_t{1}); break;
            case 1700: append_capture_tx(c, t, "C\n"); break;
            case 2100: append_capture_action(c, t, "hmc5883.compensate", ms % 6000 < 3000); break;
            case 2500: append_capture_action(c, t, "trace.toggle_hold"); break;
            case 2800: append_capture_action(c, t, "hmc5883.calibration_load", std::int64_t{1}); break;
            default: break;
        }
    }
    return c;
}

// What the board's lines made, line by line, and the replay's messages.
struct recorder_t final : replay_listener_t {
    std::vector<std::tuple<double, std::string, int>> lines;  // time, line, result
    std::vector<std::string> messages;
    std::vector<std::uint64_t> malformed_lines;
    replay_session_t* s = nullptr;

    void session_started(replay_session_t& session) override {
        s = &session;
        session.session->pipeline().line_observer = [this](const line_result_t& r) {
            lines.emplace_back(t, std::string(r.line), static_cast<int>(r.kind));
        };
    }
    void at(double entry_time) override { t = entry_time; }
    double t = 0;
    void malformed(std::uint64_t line, const std::string&) override { malformed_lines.push_back(line); }
    void message(const std::string& text) override { messages.push_back(text); }
};

// Everything the screen shows, the settings the replay holds and the time.
std::string state_of(replay_t& r) {
    std::string s;
    append_shown_state_json(s, shown_state(r.session().cnc(), r.session().cfg()));
    for (const auto& [k, v] : r.replay_session().store.values()) {
        s += "\n" + k + "=";
        if (const auto* i = std::get_if<std::int64_t>(&v)) s += std::to_string(*i);
        else if (const auto* b = std::get_if<bool>(&v)) s += *b ? "true" : "false";
        else if (const auto* t = std::get_if<std::string>(&v)) s += *t;
        else s += "[...]";
    }
    s += "\nclock=" + std::to_string(r.replay_session().clock.now());
    return s;
}

std::unique_ptr<replay_t> open_text(const std::string& text, replay_listener_t* listener = nullptr) {
    std::string error;
    replay_options_t o;
    o.listener = listener;
    auto r = replay_t::open(capture_text_opener(text), error, o);
    EXPECT_TRUE(r) << error;
    return r;
}

}  // namespace

TEST(replay, every_speed_gives_what_decode_gives_line_by_line_and_the_same_end_state) {
    const std::string capture = board_capture(12);
    std::vector<recorder_t> seen(4);
    std::vector<std::string> end_states;
    // Real time in frames of a 60 Hz window, 16x, as fast as possible, and
    // as fast as possible in batches of 64 entries.
    const std::vector<std::pair<double, double>> runs = {{1, inf}, {16, inf}, {replay_t::max_speed, inf},
                                                         {replay_t::max_speed, 0}};
    for (std::size_t i = 0; i < runs.size(); ++i) {
        auto r = open_text(capture, &seen[i]);
        ASSERT_TRUE(r);
        EXPECT_DOUBLE_EQ(r->duration(), 12);
        r->set_speed(runs[i].first);
        r->play();
        int calls = 0;
        double last_position = 0;
        while (!r->at_end() && calls < 100000) {
            r->advance(1 / 60.0, runs[i].second);
            EXPECT_GE(r->position(), last_position);
            last_position = r->position();
            ++calls;
        }
        EXPECT_TRUE(r->at_end());
        EXPECT_FALSE(r->playing());  // paused at the end
        EXPECT_DOUBLE_EQ(r->position(), 12);
        if (runs[i].first == 1) {
            EXPECT_GE(calls, 12 * 60 - 1);  // paced, not all at once
        }
        end_states.push_back(state_of(*r));
        EXPECT_EQ(r->player().actions, 20u);
        EXPECT_EQ(r->player().tx, 4u);
    }
    ASSERT_GT(seen[0].lines.size(), 1000u);
    for (std::size_t i = 1; i < runs.size(); ++i) {
        EXPECT_EQ(seen[i].lines, seen[0].lines) << "run " << i;
        EXPECT_EQ(end_states[i], end_states[0]) << "run " << i;
    }

    // decode reads the same capture to the same lines at the same times.
    std::string in = capture;
    std::FILE* input = fmemopen(in.data(), in.size(), "r");
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const char* argv[] = {"-"};
    ASSERT_EQ(decode_command(1, argv, input, out, err), 0);
    std::rewind(out);
    std::size_t n = 0, ok = 0;
    char buf[1 << 16];
    while (std::fgets(buf, sizeof buf, out)) {
        const std::string line = buf;
        if (line.find("\"line\":") == std::string::npos) continue;
        ASSERT_LT(n, seen[0].lines.size());
        const auto& [t, text, kind] = seen[0].lines[n++];
        std::string expected = "{\"t\":";
        append_seconds(expected, t);
        EXPECT_EQ(line.rfind(expected + ",\"line\":", 0), 0u) << line;
        if (kind == 0) ++ok;
    }
    EXPECT_EQ(n, seen[0].lines.size());
    EXPECT_GT(ok, n * 9 / 10);
    std::fclose(input);
    std::fclose(out);
    std::fclose(err);
}

TEST(replay, seeking_back_and_forth_ends_where_a_straight_play_does) {
    const std::string capture = board_capture(9);
    // Straight: played in real-time frames of 0.25 s up to 6.5 s.
    auto straight = open_text(capture);
    straight->play();
    for (int i = 0; i < 26; ++i) straight->advance(0.25);
    ASSERT_DOUBLE_EQ(straight->position(), 6.5);
    const std::string expected = state_of(*straight);

    // To the end, back to 2 s (a rebuild), then forwards to 6.5 s.
    auto r = open_text(capture);
    ASSERT_TRUE(r->seek(9));
    const std::uint64_t all_entries = r->player().entries;
    EXPECT_DOUBLE_EQ(r->position(), 9);
    EXPECT_TRUE(r->at_end());
    ASSERT_TRUE(r->seek(2));
    EXPECT_LT(r->player().entries, all_entries / 2);  // rebuilt from the start
    EXPECT_FALSE(r->at_end());
    EXPECT_DOUBLE_EQ(r->position(), 2);
    ASSERT_TRUE(r->seek(6.5));
    EXPECT_EQ(state_of(*r), expected);

    // A copy positioned by another thread's worth of work is the same again,
    // and the original goes on where it was.
    std::string error;
    std::vector<double> progress;
    auto copy = r->seek_copy(6.5, error, [&](double f) {
        progress.push_back(f);
        return true;
    });
    ASSERT_TRUE(copy) << error;
    EXPECT_EQ(state_of(*copy), expected);
    EXPECT_FALSE(copy->playing());
    ASSERT_FALSE(progress.empty());
    EXPECT_DOUBLE_EQ(progress.back(), 1.0);
    for (std::size_t i = 1; i < progress.size(); ++i) EXPECT_GE(progress[i], progress[i - 1]);
    EXPECT_DOUBLE_EQ(r->position(), 6.5);

    // Seeks past either end stop there; a cancelled seek says so.
    ASSERT_TRUE(r->seek(-3));
    EXPECT_DOUBLE_EQ(r->position(), 0);
    EXPECT_FALSE(r->seek(8, [](double) { return false; }));
    EXPECT_LT(r->position(), 8);
    EXPECT_FALSE(r->seek_copy(8, error, [](double) { return false; }));
    EXPECT_EQ(error, "cancelled");
    ASSERT_TRUE(r->seek(100));
    EXPECT_DOUBLE_EQ(r->position(), 9);

    // Played again from the end, it starts from the top.
    r->set_speed(replay_t::max_speed);
    r->play();
    EXPECT_TRUE(r->playing());
    EXPECT_DOUBLE_EQ(r->position(), 0);
    while (!r->at_end()) r->advance(0, inf);
    EXPECT_EQ(state_of(*r), state_of(*copy->seek_copy(9, error)));
}

TEST(replay, batches_are_bounded_and_pausing_stops_the_clock) {
    const std::string capture = board_capture(3);
    auto r = open_text(capture);
    r->set_speed(replay_t::max_speed);
    EXPECT_EQ(r->advance(1.0, 0), 0u);  // paused: nothing
    r->play();
    // No time to spare: one batch of 64 entries per call.
    EXPECT_EQ(r->advance(0, 0), 64u);
    EXPECT_EQ(r->advance(0, 0), 64u);
    const double at = r->position();
    EXPECT_GT(at, 0);
    r->pause();
    EXPECT_EQ(r->advance(10, inf), 0u);
    EXPECT_DOUBLE_EQ(r->position(), at);
    // Non-positive and NaN speeds are ignored.
    r->set_speed(2);
    r->set_speed(0);
    r->set_speed(-1);
    r->set_speed(std::nan(""));
    EXPECT_DOUBLE_EQ(r->speed(), 2);
    // Between entries the clock runs with the position.
    r->play();
    r->advance(0.05);
    EXPECT_DOUBLE_EQ(r->position(), at + 0.1);
    EXPECT_DOUBLE_EQ(r->replay_session().clock.now(), r->start_time() + at + 0.1);
}

TEST(replay, the_capture_settings_stay_in_the_replay_and_damage_is_reported_by_line) {
    std::string c;
    append_capture_header(c, {1, "2026-12-07T03:48:07Z", "test", {{"hmc5883.0.x_max", std::int64_t{100}}}});
    append_capture_rx(c, 1, "hmc5883={\"x\":500,\"y\":0,\"z\":0}\n");
    c += "{\"t\":2,\"rx\":\"cut short\n";
    append_capture_rx(c, 0.5, "hmc5883={\"x\":600,");  // goes back: replayed at 1 s
    append_capture_action(c, 3, "no.such_action");
    append_capture_action(c, 4, "hmc5883.calibration_save", std::int64_t{1});
    recorder_t seen;
    std::vector<std::string> messages;
    std::string error;
    replay_options_t o;
    o.listener = &seen;
    o.on_message = [&](const std::string& m) { messages.push_back(m); };
    auto r = replay_t::open(capture_text_opener(c), error, o);
    ASSERT_TRUE(r) << error;
    EXPECT_EQ(r->session().store().read("hmc5883.0.x_max"), setting_value_t{std::int64_t{100}});
    EXPECT_FALSE(r->session().store().read("hmc5883.1.x_max"));
    r->set_speed(replay_t::max_speed);
    r->play();
    while (!r->at_end()) r->advance(0);
    EXPECT_EQ(seen.malformed_lines, (std::vector<std::uint64_t>{3}));
    EXPECT_EQ(r->player().malformed, 1u);
    const std::vector<std::string> expected_messages = {
        "capture line 3: a text is not closed (cut short?); the line is skipped",
        "capture line 4: \"t\" 0.5 goes back before 1; replayed at 1",
        "capture line 5: action \"no.such_action\" not applied: unknown action",
        "the capture ends inside a line; its last 17 bytes never made a line, as on a link that went quiet"};
    ASSERT_EQ(messages.size(), 4u);
    for (std::size_t i = 0; i < messages.size(); ++i)
        EXPECT_EQ(messages[i].substr(0, expected_messages[i].size()), expected_messages[i]) << messages[i];
    // The save wrote into the replay's own store.
    EXPECT_EQ(r->session().store().read("hmc5883.1.x_max"), setting_value_t{std::int64_t{100}});
    // Seeks never report, and reading the same lines again repeats no message.
    ASSERT_TRUE(r->seek(0));
    ASSERT_TRUE(r->seek(10));
    EXPECT_EQ(seen.malformed_lines.size(), 1u);
    EXPECT_EQ(messages.size(), 4u);

    // What cannot be opened says why.
    for (const auto& [text, why] : std::vector<std::pair<std::string, std::string>>{
             {"", "it is empty, not a capture"},
             {"\n\r\n", "it is empty, not a capture"},
             {"gravity={\"x\":1}\n", "not a capture: its first line is not a capture header"}}) {
        EXPECT_FALSE(replay_t::open(capture_text_opener(text), error)) << text;
        EXPECT_EQ(error.rfind(why, 0), 0u) << error;
    }
    EXPECT_FALSE(replay_t::open(std::filesystem::path("/nonexistent/x.jsonl"), error));
    EXPECT_EQ(error, "cannot read /nonexistent/x.jsonl: No such file or directory");
    // A damaged header: replayed without settings, reported as line 1.
    recorder_t damaged;
    auto d = open_text("\n{\"capture\":1,\"settings\":{\n" + std::string("{\"t\":1,\"rx\":\"gps={\\\"h\\\":1}\\n\"}\n"),
                       &damaged);
    ASSERT_TRUE(d);
    EXPECT_EQ(damaged.malformed_lines, (std::vector<std::uint64_t>{2}));
    ASSERT_TRUE(d->seek(5));
    EXPECT_EQ(damaged.lines.size(), 1u);
    EXPECT_DOUBLE_EQ(d->duration(), 1);
}

// The window's way to seek: a copy built on a worker thread while the
// engine it came from plays on, then used on the main thread.
TEST(replay, a_copy_built_on_a_worker_while_the_original_plays) {
    const std::string capture = board_capture(6);
    auto r = open_text(capture);
    r->set_speed(16);
    r->play();
    std::unique_ptr<replay_t> copy;
    std::string error;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        copy = r->seek_copy(4, error);
        done = true;
    });
    while (!r->at_end() || !done) r->advance(1 / 60.0);
    worker.join();
    ASSERT_TRUE(copy) << error;
    auto fresh = open_text(capture);
    ASSERT_TRUE(fresh->seek(4));
    EXPECT_EQ(state_of(*copy), state_of(*fresh));
    copy->play();
    fresh->play();
    copy->advance(0.5);
    fresh->advance(0.5);
    EXPECT_EQ(state_of(*copy), state_of(*fresh));
}

// The window's "Export CSV...": decode's tables, with progress and cancel.
TEST(replay, csv_export_writes_decodes_tables_with_progress) {
    const std::string capture = board_capture(4);
    const auto dir = std::filesystem::temp_directory_path() / ("plimsy_export_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    const auto file = dir / "capture.jsonl";
    std::filesystem::create_directories(dir);
    {
        std::FILE* f = std::fopen(file.c_str(), "wb");
        ASSERT_TRUE(f);
        std::fwrite(capture.data(), 1, capture.size(), f);
        std::fclose(f);
    }
    std::string error;
    std::vector<double> progress;
    csv_export_t result;
    ASSERT_TRUE(export_capture_csv(file, dir / "export", error,
                                   [&](double f) {
                                       progress.push_back(f);
                                       return true;
                                   },
                                   {}, &result))
        << error;
    EXPECT_GT(result.lines, 300u);
    EXPECT_DOUBLE_EQ(result.seconds, 4);
    ASSERT_GE(progress.size(), 2u);
    EXPECT_DOUBLE_EQ(progress.back(), 1.0);
    for (std::size_t i = 1; i < progress.size(); ++i) EXPECT_GE(progress[i], progress[i - 1]);

    const std::string decode_dir = (dir / "decode").string();
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const char* argv[] = {"--summary", "--csv", decode_dir.c_str(), file.c_str()};
    ASSERT_EQ(decode_command(4, argv, in, out, err), 0);
    std::fclose(in);
    std::fclose(out);
    std::fclose(err);
    auto text = [](const std::filesystem::path& p) {
        std::ifstream f(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    };
    std::size_t tables = 0;
    for (const auto& f : std::filesystem::directory_iterator(decode_dir)) {
        ++tables;
        EXPECT_EQ(text(dir / "export" / f.path().filename()), text(f.path())) << f.path().filename();
    }
    EXPECT_GE(tables, 4u);
    std::size_t exported = 0;
    for ([[maybe_unused]] const auto& f : std::filesystem::directory_iterator(dir / "export")) ++exported;
    EXPECT_EQ(exported, tables);

    // Cancelled at the first report: it says so.
    EXPECT_FALSE(export_capture_csv(file, dir / "cancelled", error, [](double) { return false; }));
    EXPECT_EQ(error.rfind("cancelled", 0), 0u) << error;
    EXPECT_FALSE(export_capture_csv(dir / "missing.jsonl", dir / "x", error));
    EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
    std::filesystem::remove_all(dir);
}
