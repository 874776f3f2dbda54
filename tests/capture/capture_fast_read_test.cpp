#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/capture.hpp"

using namespace plimsy;

namespace {

struct read_t {
    capture_reader_t::result_t result;
    capture_entry_t::kind_t kind = capture_entry_t::kind_t::other;
    double t = -1;
    std::string data;
    bool operator==(const read_t&) const = default;
};

read_t read_one(const std::string& line) {
    capture_reader_t reader;
    reader.read_line("{\"capture\":1,\"start\":\"2026-12-07T03:48:07Z\",\"settings\":{}}");
    read_t r;
    r.result = reader.read_line(line);
    if (r.result == capture_reader_t::result_t::entry) {
        r.kind = reader.entry().kind;
        r.t = reader.entry().t;
        r.data = std::string(reader.entry().data);
    }
    return r;
}

}  // namespace

// The writer's own line shape is read without the JSON parser; a blank
// after the brace sends the same line through the parser. Both ways must
// agree on every line, good or bad.
TEST(capture_reader, the_writers_line_shape_reads_as_the_parser_reads_it) {
    const std::vector<std::string> times = {"0", "1.25", "3600", "0.001", "1e2", "1E-3", "2.5e+1", "-0", "-1", "01",
                                            "1.", ".5", "1e", "1e400", "NaN", "\"1\"", "true", "12345678901234567890123"};
    const std::vector<std::string> texts = {
        "gravity={\\\"x\\\":1}\\n", "", "a\\\\b\\/c\\b\\f\\n\\r\\t", "\\u0041\\u00e9", "caf\xC3\xA9", "\xC3",
        "tab\there", "bad \\x escape", "ends with a backslash\\", "quote\" inside"};
    int fast = 0;
    for (const auto& t : times)
        for (const auto& text : texts)
            for (const char* key : {"rx", "tx"}) {
                const std::string tail = std::string(",\"") + key + "\":\"" + text + "\"}";
                const read_t plain = read_one("{\"t\":" + t + tail);
                const read_t parsed = read_one("{ \"t\":" + t + tail);
                EXPECT_EQ(plain, parsed) << "t " << t << " text " << text;
                fast += plain.result == capture_reader_t::result_t::entry;
            }
    EXPECT_GT(fast, 50);
    // Cut short, or with more after the object.
    EXPECT_EQ(read_one("{\"t\":1,\"rx\":\"a\"").result, capture_reader_t::result_t::error);
    EXPECT_EQ(read_one("{\"t\":1,\"rx\":\"a\"}}").result, capture_reader_t::result_t::error);
    EXPECT_EQ(read_one("{\"t\":1,\"rx\":\"a\"}x").result, capture_reader_t::result_t::error);
    EXPECT_EQ(read_one("{\"t\":1,\"rx\":\"a\",\"tx\":\"b\"}").result, capture_reader_t::result_t::error);
    const read_t r = read_one("{\"t\":2.5,\"tx\":\"C\\n\"}\r");
    EXPECT_EQ(r, (read_t{capture_reader_t::result_t::entry, capture_entry_t::kind_t::tx, 2.5, "C\n"}));
}
