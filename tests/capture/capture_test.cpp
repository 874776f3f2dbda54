#include "capture/capture.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <sstream>

#include "capture/actions.hpp"
#include "capture/shown_text.hpp"
#include "model/sensors.hpp"
#include "platform/console.hpp"

using namespace plimsy;

namespace {

std::vector<std::string_view> split_lines(const std::string& text) {
    std::vector<std::string_view> lines;
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t lf = rest.find('\n');
        lines.push_back(rest.substr(0, lf));
        rest = lf == std::string_view::npos ? std::string_view{} : rest.substr(lf + 1);
    }
    return lines;
}

struct read_entry_t {
    capture_entry_t::kind_t kind;
    double t;
    std::string data;
    capture_arg_t arg;
    bool operator==(const read_entry_t&) const = default;
};

}  // namespace

TEST(capture, any_bytes_and_times_round_trip) {
    std::mt19937 rng(11);
    std::vector<read_entry_t> written;
    std::string file;
    capture_header_t header;
    header.start = "2026-12-07T03:48:07.250Z";
    header.link = "tcp 127.0.0.1:8081 \"bench\"";
    header.settings = {{"hmc5883.0.x_min", std::int64_t{-310}},
                       {"enable_ble", false},
                       {"history_host", std::vector<std::string>{"127.0.0.1", "a\"b\\c"}},
                       {"history_port", std::vector<std::int64_t>{81, 8081}},
                       {"name", std::string("Plimsy:91 UART")}};
    append_capture_header(file, header);

    // Every kind of byte string a link can carry: empty, each single byte,
    // text with quotes, escapes and controls, valid multi-byte UTF-8, and
    // random bytes (mostly not UTF-8).
    std::vector<std::string> samples = {"", "gravity={\"x\":1,\"y\":0,\"z\":9.8}\n", "a\\b\"c\r\n\t\b\f\x01\x1f\x7f",
                                        "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", std::string("\0\n\0", 3),
                                        "\xC3", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF"};
    for (int b = 0; b < 256; ++b) samples.emplace_back(1, static_cast<char>(b));
    for (int i = 0; i < 300; ++i) {
        std::string s(rng() % 40, '\0');
        for (char& c : s) c = static_cast<char>(rng() % 256);
        samples.push_back(s);
    }
    double t = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        t += static_cast<double>(rng() % 1000) / 997.0;  // times with long fractions
        const bool rx = i % 3 != 0;
        if (rx) append_capture_rx(file, t, samples[i]);
        else append_capture_tx(file, t, samples[i]);
        written.push_back({rx ? capture_entry_t::kind_t::rx : capture_entry_t::kind_t::tx, t, samples[i], {}});
    }
    const std::vector<std::pair<std::string, capture_arg_t>> actions = {
        {"hmc5883.calibration_next", {}},        {"hmc5883.calibration_save", std::int64_t{1}},
        {"hmc5883.compensate", false},           {"trace.reset", true},
        {"later.action", 0.25},                  {"later.text", std::string("x\"y")},
        {"later.big", std::int64_t{-9007199254740993}}};
    for (const auto& [name, arg] : actions) {
        t += 0.5;
        append_capture_action(file, t, name, arg);
        written.push_back({capture_entry_t::kind_t::action, t, name, arg});
    }

    capture_reader_t reader;
    std::vector<read_entry_t> read;
    for (std::string_view line : split_lines(file)) {
        // Every line the writer makes is one line: no raw LF inside.
        const auto r = reader.read_line(line);
        ASSERT_NE(r, capture_reader_t::result_t::error) << reader.error();
        if (r == capture_reader_t::result_t::entry)
            read.push_back({reader.entry().kind, reader.entry().t, std::string(reader.entry().data), reader.entry().arg});
    }
    ASSERT_TRUE(reader.has_header());
    EXPECT_EQ(reader.header().start, header.start);
    EXPECT_EQ(reader.header().link, header.link);
    EXPECT_EQ(reader.header().settings, header.settings);
    ASSERT_EQ(read.size(), written.size());
    for (std::size_t i = 0; i < read.size(); ++i) EXPECT_EQ(read[i], written[i]) << "entry " << i;
    // Text goes as text (readable in the file), other bytes as base64.
    EXPECT_NE(file.find("{\"t\":"), std::string::npos);
    EXPECT_NE(file.find(",\"rx\":\"gravity={\\\"x\\\":1,\\\"y\\\":0,\\\"z\\\":9.8}\\n\"}"), std::string::npos);
    EXPECT_NE(file.find(",\"rx_b64\":\"/w==\"}"), std::string::npos);
}

TEST(capture, bad_lines_are_reported_by_number_and_the_rest_reads) {
    const std::string file =
        "{\"capture\":1,\"start\":\"2026-12-07T03:48:07Z\",\"link\":\"x\",\"settings\":{\"a\":1.5,\"b\":{},"
        "\"c\":[1,\"x\"],\"d\":[],\"e\":7}}\n"
        "{\"t\":0.5,\"rx\":\"ok\",\"later\":{\"nested\":[1,2]}}\n"  // unknown members: ignored
        "{\"t\":1,\"rx\":\"cut sho\n"                             // truncated
        "\n"                                                      // empty: skipped, still counted
        "not json\n"
        "[1,2]\n"
        "{\"rx\":\"no time\"}\n"
        "{\"t\":-1,\"rx\":\"x\"}\n"
        "{\"t\":\"1\",\"rx\":\"x\"}\n"
        "{\"t\":2,\"rx\":\"x\",\"tx\":\"y\"}\n"
        "{\"t\":2,\"rx_b64\":\"/w=\"}\n"
        "{\"t\":2,\"rx_b64\":\"/x==\"}\n"  // bits left over after the padding
        "{\"t\":2,\"tx\":5}\n"
        "{\"t\":2,\"action\":\"trace.reset\",\"arg\":[true]}\n"
        "{\"t\":2.5,\"marker\":\"later kinds of entry\"}\n"
        "{\"t\":3,\"tx\":\"C\\n\"}\r\n"
        "{\"t\":3.5,\"rx\":\"tail\"}";  // no line feed at the end, but whole
    capture_reader_t reader;
    std::vector<std::uint64_t> error_lines;
    std::vector<std::string> errors;
    std::vector<std::string> data;
    int other = 0;
    for (std::string_view line : split_lines(file)) {
        switch (reader.read_line(line)) {
            case capture_reader_t::result_t::error:
                error_lines.push_back(reader.error_line());
                errors.push_back(reader.error());
                break;
            case capture_reader_t::result_t::entry:
                if (reader.entry().kind == capture_entry_t::kind_t::other) ++other;
                else data.emplace_back(reader.entry().data);
                break;
            default: break;
        }
    }
    EXPECT_EQ(error_lines, (std::vector<std::uint64_t>{3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
    EXPECT_EQ(errors[0], "line 3: a text is not closed (cut short?)");
    EXPECT_EQ(errors[4], "line 8: \"t\" must be a number of seconds, 0 or more");
    EXPECT_EQ(data, (std::vector<std::string>{"ok", "C\n", "tail"}));
    EXPECT_EQ(other, 1);
    // Settings no store can keep are named; the others are kept, in order.
    ASSERT_TRUE(reader.has_header());
    EXPECT_EQ(reader.header().settings,
              (std::vector<std::pair<std::string, setting_value_t>>{{"d", std::vector<std::string>{}},
                                                                    {"e", std::int64_t{7}}}));
    ASSERT_EQ(reader.dropped_settings().size(), 3u);
    EXPECT_EQ(reader.dropped_settings()[0].substr(0, 3), "a: ");

    // A header cut short is reported as line 1, and the entries still read.
    capture_reader_t cut;
    EXPECT_EQ(cut.read_line("{\"capture\":1,\"start\":\"2026-"), capture_reader_t::result_t::error);
    EXPECT_EQ(cut.error_line(), 1u);
    EXPECT_FALSE(cut.has_header());
    EXPECT_EQ(cut.read_line("{\"t\":1,\"rx\":\"x\"}"), capture_reader_t::result_t::entry);
    // A byte order mark before the header is no damage.
    capture_reader_t bom;
    EXPECT_EQ(bom.read_line("\xEF\xBB\xBF{\"capture\":1,\"start\":\"\",\"link\":\"\",\"settings\":{}}"),
              capture_reader_t::result_t::header);
    // Only the first line can be a header.
    EXPECT_EQ(cut.read_line("{\"capture\":1}"), capture_reader_t::result_t::error);
}

TEST(capture, header_detection_and_times) {
    EXPECT_TRUE(looks_like_capture_header("{\"capture\":1,\"start\":\"x\"}"));
    EXPECT_TRUE(looks_like_capture_header("\xEF\xBB\xBF { \"capture\" : 1}"));
    EXPECT_FALSE(looks_like_capture_header("capture={\"capture\":1}"));
    EXPECT_FALSE(looks_like_capture_header("{\"t\":1,\"capture\":1}"));
    EXPECT_FALSE(looks_like_capture_header("gravity={\"x\":1,\"y\":0,\"z\":9.8}"));

    EXPECT_EQ(parse_iso8601("1970-01-01T00:00:00Z"), 0.0);
    EXPECT_EQ(parse_iso8601("2000-01-01T00:00:00Z"), 946684800.0);
    EXPECT_EQ(parse_iso8601("2024-02-29T12:00:00+02:00"), 1709200800.0);
    EXPECT_DOUBLE_EQ(*parse_iso8601("2026-12-07T03:48:07.250Z"), 1796615287.25);
    EXPECT_FALSE(parse_iso8601("2026-12-07T03:48:07"));  // no zone: not an instant
    EXPECT_FALSE(parse_iso8601("2026-13-07T03:48:07Z"));
    EXPECT_FALSE(parse_iso8601("2026-12-07T03:48:07Zjunk"));
    EXPECT_EQ(iso8601_utc(1796615287.25), "2026-12-07T03:48:07.250Z");
    EXPECT_EQ(iso8601_utc(1709200799.9996), "2024-02-29T10:00:00.000Z");
    EXPECT_EQ(iso8601_utc(-0.5), "1969-12-31T23:59:59.500Z");
    EXPECT_EQ(parse_iso8601(iso8601_utc(1796615287.125)), 1796615287.125);

    EXPECT_EQ(base64_encode("Man"), "TWFu");
    EXPECT_EQ(base64_encode("Ma"), "TWE=");
    EXPECT_EQ(base64_decode("TWE="), "Ma");
    EXPECT_FALSE(base64_decode("TWE"));
    EXPECT_FALSE(base64_decode("T=E="));
    EXPECT_FALSE(base64_decode("TW-="));
}

TEST(capture, actions_by_name_change_the_model) {
    manual_clock_t clock;
    memory_settings_store_t store;
    null_console_t console;
    sensors_t s(clock, store, console);
    std::string error;

    // Every name in the table is "<member>.<operation>" and finds itself.
    for (const auto& a : local_actions()) {
        EXPECT_EQ(find_local_action(a.name), &a);
        EXPECT_EQ(local_action_name(a.action), a.name);
        EXPECT_NE(a.name.find('.'), std::string_view::npos);
    }

    s.update_hmc5883(100, -50, 300);  // starts a calibration around these counts
    ASSERT_TRUE(apply_local_action(s, "hmc5883.calibration_save", std::int64_t{1}, error)) << error;
    EXPECT_EQ(store.read_int("hmc5883.1.x_min"), 99);
    ASSERT_TRUE(apply_local_action(s, "hmc5883.calibration_next", {}, error));
    EXPECT_EQ(s.hmc5883.calibration, calibration_state_t::xv);
    store.write("hmc5883.1.x_min", std::int64_t{-400});
    // Without "arg" a slot action does what the panel's button does: slot 1.
    ASSERT_TRUE(apply_local_action(s, "hmc5883.calibration_load", {}, error));
    EXPECT_EQ(s.hmc5883.x_min, -400);
    EXPECT_EQ(s.hmc5883.calibration, calibration_state_t::complete);

    ASSERT_TRUE(apply_local_action(s, "hmc5883.compensate", false, error));
    EXPECT_FALSE(s.hmc5883.compensate);
    ASSERT_TRUE(apply_local_action(s, "hmc5883.compensate_3d", false, error));
    EXPECT_FALSE(s.hmc5883.compensate_3d);

    ASSERT_TRUE(apply_local_action(s, "trace.toggle_hold", {}, error));
    EXPECT_TRUE(s.trace.hold());
    s.update_gyroscope(1, 2, 3);
    EXPECT_EQ(s.trace.count(), 0);  // held
    ASSERT_TRUE(apply_local_action(s, "trace.toggle_hold", {}, error));
    s.update_gyroscope(1, 2, 3);
    EXPECT_EQ(s.trace.count(), 1);
    ASSERT_TRUE(apply_local_action(s, "trace.reset", {}, error));  // forced, as the button does
    EXPECT_EQ(s.trace.count(), 0);

    s.update_bh1749(100, 50, 25, 10);
    ASSERT_TRUE(apply_local_action(s, "bh1749.white_balance", {}, error));
    EXPECT_NE(s.bh1749.b_c, 1.0f);
    ASSERT_TRUE(apply_local_action(s, "bh1749.reset_corrections", {}, error));
    EXPECT_EQ(s.bh1749.b_c, 1.0f);

    // Refusals leave the model alone and say why.
    const auto before = s.hmc5883.compensate;
    EXPECT_FALSE(apply_local_action(s, "hmc5883.compensate", {}, error));
    EXPECT_EQ(error, "\"arg\" must be true or false");
    EXPECT_FALSE(apply_local_action(s, "hmc5883.compensate", std::int64_t{1}, error));
    EXPECT_EQ(s.hmc5883.compensate, before);
    EXPECT_FALSE(apply_local_action(s, "hmc5883.calibration_save", std::int64_t{-1}, error));
    EXPECT_FALSE(apply_local_action(s, "hmc5883.calibration_save", 1.5, error));
    EXPECT_FALSE(apply_local_action(s, "hmc5883.calibration_save", std::string("1"), error));
    EXPECT_TRUE(apply_local_action(s, "hmc5883.calibration_save", 2.0, error)) << error;
    EXPECT_EQ(store.read_int("hmc5883.2.x_min"), -400);
    EXPECT_FALSE(apply_local_action(s, "hmc5883.calibrate", {}, error));
    EXPECT_EQ(error, "unknown action");
}

TEST(capture, shown_state_texts) {
    std::vector<shown_object_t> objects = {
        {"compass",
         {{"heading", 12.5}, {"heading_s", std::string("13")}, {"jump", false},
          {"bad", std::numeric_limits<double>::quiet_NaN()}}},
        {"screen", {{"status", std::string("a \"b\"\n")}}}};
    std::string json;
    append_shown_state_json(json, objects);
    EXPECT_EQ(json, "{\"compass\":{\"heading\":12.5,\"heading_s\":\"13\",\"jump\":false,\"bad\":null},"
                    "\"screen\":{\"status\":\"a \\\"b\\\"\\n\"}}");

    std::string csv;
    for (const auto& v : objects[0].values) {
        append_shown_value_csv(csv, v);
        csv += ';';
    }
    append_shown_value_csv(csv, objects[1].values[0]);
    EXPECT_EQ(csv, "12.5;13;false;nan;\"a \"\"b\"\"\n\"");
    std::string plain;
    append_csv_field(plain, "no quoting needed: ;'");
    EXPECT_EQ(plain, "no quoting needed: ;'");
}
