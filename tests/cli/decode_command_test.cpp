#include "cli/decode_command.hpp"

#include <gtest/gtest.h>

#include <simdjson.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "capture/capture.hpp"
#include "cli/command_run.hpp"

using namespace plimsy;

namespace {
// Runs the decode command on `input` and returns what it wrote.
run_result_t run(std::string input, std::initializer_list<const char*> args = {}) {
    std::FILE* in = fmemopen(input.data(), input.size(), "r");
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    std::vector<const char*> argv(args);
    const int status = decode_command(static_cast<int>(argv.size()), argv.data(), in, out, err);
    run_result_t r{status, read_all(out), read_all(err)};
    std::fclose(in);
    std::fclose(out);
    std::fclose(err);
    return r;
}
}  // namespace

TEST(decode_command, one_json_object_per_line) {
    const auto r = run(
        "compass_c={\"h\":359.5,\"x_raw\":12,\"y_raw\":-3,\"z_raw\":40,\"x_min\":-1,\"y_min\":-1,\"z_min\":-1,"
        "\"x_max\":1,\"y_max\":1,\"z_max\":1,\"xv_min\":-1,\"yv_min\":-1,\"xv_max\":1,\"yv_max\":1,\"c\":\"xy\",\"e\":\"c0\"}\r\n"
        "\n"
        "adp536x={\"cs1\":\"0x02\",\"cs2\":\"0x00\",\"pgs\":\"0x01\",\"voltage\":4100,\"level\":300}\n"
        "boot: hello\n"
        "\xC3\x28 junk\n"
        "gravity={\"x\":9.81,\"y\":0,\"z\":-0.5}");  // no final line feed
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "{\"t\":0,\"line\":\"compass_c={\\\"h\\\":359.5,\\\"x_raw\\\":12,\\\"y_raw\\\":-3,\\\"z_raw\\\":40,\\\"x_min\\\":-1,"
              "\\\"y_min\\\":-1,\\\"z_min\\\":-1,\\\"x_max\\\":1,\\\"y_max\\\":1,\\\"z_max\\\":1,\\\"xv_min\\\":-1,"
              "\\\"yv_min\\\":-1,\\\"xv_max\\\":1,\\\"yv_max\\\":1,\\\"c\\\":\\\"xy\\\",\\\"e\\\":\\\"c0\\\"}\","
              "\"result\":\"ok\",\"record\":\"compass_c_str_t\",\"fields\":{\"h\":359.5,\"x_raw\":12,\"y_raw\":-3,"
              "\"z_raw\":40,\"x_min\":-1,\"y_min\":-1,\"z_min\":-1,\"x_max\":1,\"y_max\":1,\"z_max\":1,\"xv_min\":-1,"
              "\"yv_min\":-1,\"xv_max\":1,\"yv_max\":1,\"c\":\"xy\",\"e\":\"c0\"},\"device_model\":\"compass\"}\n"
              "{\"t\":0.02,\"line\":\"adp536x={\\\"cs1\\\":\\\"0x02\\\",\\\"cs2\\\":\\\"0x00\\\",\\\"pgs\\\":\\\"0x01\\\","
              "\\\"voltage\\\":4100,\\\"level\\\":300}\",\"result\":\"error\",\"error\":\"\\\"level\\\": out of range "
              "for UInt8 (300)\",\"device_model\":\"compass\"}\n"
              "{\"t\":0.04,\"line\":\"boot: hello\",\"result\":\"ignored\",\"device_model\":\"compass\"}\n"
              "{\"t\":0.06,\"line\":\"\xEF\xBF\xBD( junk\",\"result\":\"binary\",\"device_model\":\"compass\"}\n"
              "{\"t\":0.08,\"line\":\"gravity={\\\"x\\\":9.81,\\\"y\\\":0,\\\"z\\\":-0.5}\",\"result\":\"ok\",\"record\":"
              "\"gravity_str_t\",\"fields\":{\"x\":9.81,\"y\":0.0,\"z\":-0.5},\"device_model\":\"gravity\"}\n");
    // Diagnostics go to the error stream, never between the JSON lines.
    EXPECT_NE(r.err.find("failed to decode JSON"), std::string::npos);
    EXPECT_NE(r.err.find("[binary frame] 7 bytes"), std::string::npos);
}

TEST(decode_command, summary_counts_and_bad_options) {
    const auto r = run("gps={\"h\":1}\nx\ngps={}\ngps={\"h\":null,\"b\":\"1\"}\n", {"--summary"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("{\"lines\":4,\"ok\":2,\"error\":1,\"ignored\":1,\"binary\":0,\"seconds\":", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\"lines_per_second\":"), std::string::npos);

    const auto bad = run("", {"--sumary"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(bad.out.empty());
    EXPECT_NE(bad.err.find("unknown option '--sumary'"), std::string::npos);
}

namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

// One output line parsed back; the reports must be JSON.
struct report_t {
    std::string result;
    double t = -1;
    std::string heading_s;  // state.hmc5883.heading_s, when shown
    std::string raw;
};

std::vector<report_t> parse_reports(const std::string& out) {
    std::vector<report_t> reports;
    simdjson::dom::parser parser;
    for (const std::string& line : lines_of(out)) {
        simdjson::dom::element e;
        EXPECT_EQ(parser.parse(line).get(e), simdjson::SUCCESS) << line;
        report_t r;
        r.raw = line;
        std::string_view result;
        if (e["result"].get(result) == simdjson::SUCCESS) r.result = result;
        if (e["t"].get(r.t) != simdjson::SUCCESS) r.t = -1;
        std::string_view heading;
        if (e.at_pointer("/state/hmc5883/heading_s").get(heading) == simdjson::SUCCESS) r.heading_s = heading;
        EXPECT_EQ(e["state"].error(), simdjson::SUCCESS) << "no state in " << line;
        reports.push_back(r);
    }
    return reports;
}

// A magnetometer board with a saved calibration of ±100 counts on every axis.
std::string magnetometer_capture(bool with_load) {
    capture_header_t h;
    h.start = "2026-12-07T03:48:07Z";
    h.link = "tcp 127.0.0.1:8081";
    for (const char* f : {"x", "y", "z", "xv", "yv"}) {
        h.settings.emplace_back(std::string("hmc5883.0.") + f + "_min", std::int64_t{-100});
        h.settings.emplace_back(std::string("hmc5883.0.") + f + "_max", std::int64_t{100});
    }
    std::string c;
    append_capture_header(c, h);
    // A line cut across two reads, as a link delivers it.
    append_capture_rx(c, 0.02, "hmc5883={\"x\":50,");
    append_capture_rx(c, 0.04, "\"y\":0,\"z\":0}\n");
    append_capture_action(c, 1, "hmc5883.calibration_save", std::int64_t{1});
    append_capture_tx(c, 1.5, "C\n");
    append_capture_action(c, 2, "hmc5883.calibration_next");
    c += "{\"t\":2.5,\"rx\":\"hmc5883={\\\"x\\\":1\n";  // cut short: reported, and the rest replays
    append_capture_rx(c, 3, "hmc5883={\"x\":60,\"y\":30,\"z\":0}\n");
    if (with_load) append_capture_action(c, 4, "hmc5883.calibration_load", std::int64_t{1});
    append_capture_rx(c, 5, "hmc5883={\"x\":60,\"y\":30,\"z\":0}\r\n");
    return c;
}

std::string temp_path(const char* name) {
    return (std::filesystem::temp_directory_path() / (std::string(name) + "_" + std::to_string(::getpid()))).string();
}

// RFC 4180 rows, for reading back what --csv wrote.
std::vector<std::vector<std::string>> parse_csv(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1);
    std::string cell;
    bool quoted = false, was_quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                cell += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == '"') {
            EXPECT_TRUE(cell.empty() && !was_quoted) << "a quote inside an unquoted cell";
            quoted = was_quoted = true;
        } else if (c == ',') {
            rows.back().push_back(cell);
            cell.clear();
            was_quoted = false;
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            rows.back().push_back(cell);
            cell.clear();
            was_quoted = false;
            rows.emplace_back();
            ++i;
        } else {
            cell += c;
        }
    }
    EXPECT_FALSE(quoted);
    if (!cell.empty() || !rows.back().empty()) rows.back().push_back(cell);
    if (rows.back().empty()) rows.pop_back();
    return rows;
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(decode_command, capture_replays_the_same_on_every_run_with_actions_at_their_time) {
    const std::string capture = magnetometer_capture(true);
    const auto first = run(capture, {"--state"});
    const std::string path = temp_path("plimsy_capture");
    std::ofstream(path, std::ios::binary) << capture;
    const auto second = run("", {"--state", path.c_str()});  // the same capture as a file argument
    std::filesystem::remove(path);
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(first.out, second.out);
    EXPECT_EQ(first.err, second.err);

    const auto r = parse_reports(first.out);
    std::vector<std::string> results, headings;
    std::vector<double> times;
    for (const auto& x : r) {
        results.push_back(x.result);
        headings.push_back(x.heading_s);
        times.push_back(x.t);
    }
    EXPECT_EQ(results,
              (std::vector<std::string>{"ok", "action", "tx", "action", "malformed", "ok", "action", "ok"}));
    EXPECT_EQ(times, (std::vector<double>{0.04, 1, 1.5, 2, 2, 3, 4, 5}));
    // (50, 0) with ±100: east of the x axis, plus the declination. The
    // calibration restarts around (50, 0); (60, 30) then widens it to 45°;
    // loading the saved ±100 back turns the same counts into 26.6°.
    EXPECT_EQ(headings, (std::vector<std::string>{"6", "6", "6", "6", "6", "51", "32", "32"}));
    EXPECT_NE(r[4].raw.find("\"capture_line\":7,\"result\":\"malformed\",\"error\":\"a text is not closed"),
              std::string::npos)
        << r[4].raw;
    EXPECT_NE(r[2].raw.find("\"tx\":\"C\\n\",\"result\":\"tx\""), std::string::npos) << r[2].raw;
    EXPECT_NE(r[1].raw.find("\"action\":\"hmc5883.calibration_save\",\"arg\":1,\"result\":\"action\""),
              std::string::npos);
    EXPECT_NE(first.err.find("capture line 7: a text is not closed"), std::string::npos) << first.err;

    // Without the load the last line keeps the new calibration's heading.
    const auto without = parse_reports(run(magnetometer_capture(false), {"--state"}).out);
    ASSERT_FALSE(without.empty());
    EXPECT_EQ(without.back().heading_s, "51");

    const auto summary = run(capture, {"--summary"});
    EXPECT_EQ(summary.out.rfind("{\"lines\":3,\"ok\":3,\"error\":0,\"ignored\":0,\"binary\":0,\"entries\":8,\"tx\":1,"
                                "\"actions\":3,\"malformed\":1,\"seconds\":",
                                0),
              0u)
        << summary.out;
}

TEST(decode_command, raw_time_steps_options_and_input_files) {
    const auto r = run("gps={\"h\":1}\n\nx\r\ngps={\"h\":2}\n", {"--interval", "50"});
    std::vector<double> times;
    for (const auto& line : lines_of(r.out)) {
        simdjson::dom::parser p;
        double t = -1;
        EXPECT_EQ(p.parse(line)["t"].get(t), simdjson::SUCCESS) << line;
        times.push_back(t);
    }
    EXPECT_EQ(times, (std::vector<double>{0, 0.05, 0.1}));  // the empty line takes no step
    EXPECT_NE(run("gps={\"h\":1}\ngps={\"h\":1}\n", {"--interval=0.5"}).out.find("{\"t\":0.0005,"),
              std::string::npos);

    for (const char* bad : {"-1", "x", "1e9", "nan"}) {
        const auto b = run("", {"--interval", bad});
        EXPECT_EQ(b.status, 2) << bad;
        EXPECT_NE(b.err.find("--interval must be"), std::string::npos);
    }
    EXPECT_EQ(run("", {"--interval"}).status, 2);
    EXPECT_EQ(run("", {"--csv"}).status, 2);
    EXPECT_EQ(run("", {"a", "b"}).status, 2);
    const auto missing = run("", {"/nonexistent/capture.jsonl"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot read /nonexistent/capture.jsonl"), std::string::npos);
    const auto help = run("", {"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* o : {"--summary", "--state", "--csv DIR", "--interval MS", "[FILE]"})
        EXPECT_NE(help.out.find(o), std::string::npos) << o;

    // A capture's own times win over --interval, and it is told so.
    const auto c = run("{\"capture\":1,\"start\":\"2026-12-07T03:48:07Z\",\"link\":\"\",\"settings\":{}}\n"
                       "{\"t\":7.25,\"rx\":\"gps={\\\"h\\\":1}\\n\"}\n",
                       {"--interval", "50"});
    EXPECT_EQ(c.out.rfind("{\"t\":7.25,\"line\":\"gps={\\\"h\\\":1}\",\"result\":\"ok\"", 0), 0u) << c.out;
    EXPECT_NE(c.err.find("--interval is for raw input"), std::string::npos);

    // A damaged header is reported as line 1; the entries still replay.
    const auto damaged = run("{\"capture\":1,\"start\":\"2026-12-07T03:48:07Z\",\"settings\":{\n"
                             "{\"t\":1,\"rx\":\"gps={\\\"h\\\":1}\\n\"}\n");
    const auto lines = lines_of(damaged.out);
    ASSERT_EQ(lines.size(), 2u) << damaged.out;
    EXPECT_EQ(lines[0].rfind("{\"t\":0,\"capture_line\":1,\"result\":\"malformed\"", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("{\"t\":1,\"line\":\"gps={\\\"h\\\":1}\",\"result\":\"ok\"", 0), 0u) << lines[1];
    EXPECT_NE(damaged.err.find("capture line 1: header: "), std::string::npos) << damaged.err;
}

TEST(decode_command, csv_tables_read_back_with_their_columns) {
    const std::string dir = temp_path("plimsy_csv");
    std::filesystem::remove_all(dir);
    std::string c;
    append_capture_header(c, {1, "2026-12-07T03:48:07Z", "test", {}});
    append_capture_rx(c, 0.5,
                      "compass_c={\"h\":10,\"x_min\":-1,\"y_min\":-1,\"z_min\":-1,\"x_max\":1,\"y_max\":1,\"z_max\":1,"
                      "\"xv_min\":-1,\"yv_min\":-1,\"xv_max\":1,\"yv_max\":1,\"c\":\"xy\",\"e\":\"a,\\\"b\\\"\"}\n"
                      "gravity={\"x\":1,\"y\":2,\"z\":9.5}\n");
    append_capture_rx(c, 1.25, "gravity={\"x\":-1.5,\"y\":0,\"z\":9.75}\n");
    const auto r = run(c, {"--summary", "--csv", dir.c_str()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines_of(r.out).size(), 1u);  // the summary only

    const auto compass_c = parse_csv(read_file(dir + "/compass_c_str_t.csv"));
    ASSERT_EQ(compass_c.size(), 2u);
    EXPECT_EQ(compass_c[0],
              (std::vector<std::string>{"t", "h", "H", "x", "y", "z", "x_raw", "y_raw", "z_raw", "x_min", "y_min",
                                        "z_min", "x_max", "y_max", "z_max", "xv_min", "yv_min", "xv_max", "yv_max",
                                        "z_ang", "c", "e"}));
    EXPECT_EQ(compass_c[1], (std::vector<std::string>{"0.5", "10.0", "", "", "", "", "", "", "", "-1", "-1", "-1",
                                                      "1", "1", "1", "-1", "-1", "1", "1", "", "xy", "a,\"b\""}));
    const auto gravity = parse_csv(read_file(dir + "/gravity_str_t.csv"));
    EXPECT_EQ(gravity, (std::vector<std::vector<std::string>>{
                           {"t", "x", "y", "z"}, {"0.5", "1.0", "2.0", "9.5"}, {"1.25", "-1.5", "0.0", "9.75"}}));

    // One table per shown object, a row for each of the three lines while
    // the object was shown, every row as wide as its header.
    int shown_tables = 0;
    for (const auto& f : std::filesystem::directory_iterator(dir)) {
        const std::string name = f.path().filename().string();
        if (name.find("_str_t.csv") != std::string::npos) continue;
        ++shown_tables;
        const auto rows = parse_csv(read_file(f.path().string()));
        ASSERT_GE(rows.size(), 2u) << name;
        EXPECT_EQ(rows[0][0], "t") << name;
        for (const auto& row : rows) EXPECT_EQ(row.size(), rows[0].size()) << name;
    }
    EXPECT_GE(shown_tables, 1);
    const auto screen = parse_csv(read_file(dir + "/screen.csv"));
    ASSERT_EQ(screen.size(), 4u);
    EXPECT_EQ(screen[3][0], "1.25");
    std::filesystem::remove_all(dir);
}
