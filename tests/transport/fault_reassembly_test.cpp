// The shared chunk rule against what hostile or clumsy peers send: text cut
// at every byte position, keep-alives anywhere, bytes that are invalid
// wherever a chunk ends, and lines that never end. The TCP, BLE and serial
// transports all cut their input with this one rule.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "transport/line_reassembler.hpp"

namespace plimsy {
namespace {

using lines_t = std::vector<std::string>;

struct outcome_t {
    lines_t lines;
    std::vector<std::string> frames;
    std::size_t dropped = 0;
    int keep_alives = 0;
};

outcome_t feed(line_reassembler_t& r, const std::vector<std::string>& chunks) {
    outcome_t out;
    for (const auto& c : chunks) {
        const auto& got = r.feed(std::string_view(c));
        for (auto l : got.lines) out.lines.emplace_back(l);
        if (got.is_frame) out.frames.emplace_back(reinterpret_cast<const char*>(got.frame.data()), got.frame.size());
        out.dropped += got.dropped;
        out.keep_alives += got.keep_alive ? 1 : 0;
    }
    return out;
}

// Characters of every UTF-8 length, the longest at the edges of their ranges.
const std::string text_line = "env={\"name\":\"K\xC3\xBC" "che \xE2\x82\xAC \xF0\x9F\x8C\xA1 \xED\x9F\xBF\xF4\x8F\xBF\xBF\"}";

TEST(fault_split, a_character_cut_at_any_byte_arrives_whole) {
    const std::string stream = text_line + "\n" + text_line + "\r\n";
    // Two chunks, cut at every position.
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        line_reassembler_t r;
        const auto out = feed(r, {stream.substr(0, cut), stream.substr(cut)});
        EXPECT_EQ(out.lines, (lines_t{text_line, text_line})) << "cut at " << cut;
        EXPECT_TRUE(out.frames.empty()) << "cut at " << cut;
        EXPECT_FALSE(r.binary());
    }
    // One byte per chunk: every character is cut at every one of its bytes.
    line_reassembler_t r;
    std::vector<std::string> bytes;
    for (char c : stream) bytes.emplace_back(1, c);
    const auto out = feed(r, bytes);
    EXPECT_EQ(out.lines, (lines_t{text_line, text_line}));
    EXPECT_TRUE(out.frames.empty());
    EXPECT_EQ(r.pending_char_bytes(), 0u);
}

TEST(fault_split, bytes_invalid_wherever_the_chunk_ends_are_binary) {
    // A start that the next chunk does not continue: both together are the
    // frame, and the text after it is read again.
    line_reassembler_t r;
    auto out = feed(r, {"a=\xE2\x82", "x\n"});
    EXPECT_EQ(out.frames, (std::vector<std::string>{"\xE2\x82x\n"}));
    EXPECT_TRUE(out.lines.empty());
    EXPECT_TRUE(r.binary());
    EXPECT_EQ(r.rem(), "a=") << "the text before the cut character still waits";
    out = feed(r, {"1\n"});
    EXPECT_EQ(out.lines, lines_t{"a=1"});
    EXPECT_FALSE(r.binary());

    // Starts that can never become a character are not carried: an overlong
    // lead, a surrogate's second byte, a lead beyond U+10FFFF, a lone
    // continuation byte.
    for (const std::string bad : {"x\xC0", "x\xED\xA0", "x\xF5", "x\xF4\x90", "x\x80"}) {
        line_reassembler_t fresh;
        out = feed(fresh, {bad});
        EXPECT_EQ(out.frames, std::vector<std::string>{bad}) << bad.size();
        EXPECT_EQ(fresh.pending_char_bytes(), 0u);
    }
    // The keep-alives FF and 00 FF are frames that do not switch to binary.
    line_reassembler_t k;
    out = feed(k, {"\xFF", std::string("\0\xFF", 2)});
    EXPECT_EQ(out.frames.size(), 2u);
    EXPECT_FALSE(k.binary());
}

TEST(fault_split, a_lone_zero_byte_is_a_keep_alive_anywhere) {
    const std::string stream = "gravity={\"x\":0,\"y\":0,\"z\":9.8}\n";
    const std::string line = stream.substr(0, stream.size() - 1);
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        line_reassembler_t r;
        const auto out = feed(r, {stream.substr(0, cut), std::string(1, '\0'), stream.substr(cut)});
        EXPECT_EQ(out.lines, lines_t{line}) << "keep-alive at " << cut;
        EXPECT_TRUE(out.frames.empty());
        EXPECT_EQ(out.keep_alives, 1);
    }
    // Inside a cut character too.
    line_reassembler_t r;
    const auto out = feed(r, {"t=\xE2", std::string(1, '\0'), "\x82\xAC\n"});
    EXPECT_EQ(out.lines, lines_t{"t=\xE2\x82\xAC"});
    // A zero byte inside a longer chunk is text like any other.
    line_reassembler_t z;
    EXPECT_EQ(feed(z, {std::string("a\0b\n", 4)}).lines, lines_t{std::string("a\0b", 3)});
}

TEST(fault_long_lines, the_tail_of_a_dropped_line_never_comes_back_as_a_line) {
    const std::string junk(67581, 'j');
    const std::string record = "gravity={\"x\":0,\"y\":0,\"z\":9.8}";
    // Cut into transport-sized chunks, the record at the end of the junk in
    // the same line.
    for (const std::size_t size : {20u, 2047u, 4096u}) {
        line_reassembler_t r;
        const std::string stream = junk + record + "\n" + "ok\n";
        std::vector<std::string> chunks;
        for (std::size_t at = 0; at < stream.size(); at += size) chunks.push_back(stream.substr(at, size));
        const auto out = feed(r, chunks);
        // Compared whole, not printed: a failure would show 67 kB of junk.
        EXPECT_TRUE(out.lines == lines_t{"ok"}) << "chunks of " << size << ": " << out.lines.size() << " lines";
        EXPECT_GT(out.dropped, line_reassembler_t::max_incomplete);
        EXPECT_TRUE(r.rem().empty());
    }
    // A CR that ends a chunk ends the dropped line as it ends any other.
    line_reassembler_t r;
    const auto out = feed(r, {junk, "more junk\r", "next\n"});
    EXPECT_EQ(out.lines, lines_t{"next"});
    // The limit is per line: lines just under it pass whole.
    line_reassembler_t big;
    const std::string just_under(line_reassembler_t::max_incomplete, 'u');
    EXPECT_EQ(feed(big, {just_under, "\n"}).lines, lines_t{just_under});
}

TEST(fault_long_lines, an_endless_line_keeps_memory_bounded) {
    line_reassembler_t r;
    const std::string block(2047, 'e');
    std::size_t reports = 0;
    for (int i = 0; i < 2000; ++i) {  // 4 MB without a line end
        const auto& got = r.feed(std::string_view(block));
        EXPECT_TRUE(got.lines.empty());
        reports += got.dropped > 0 ? 1 : 0;
        ASSERT_LE(r.rem().size(), line_reassembler_t::max_incomplete);
    }
    EXPECT_EQ(reports, 1u) << "one report per dropped line, not per chunk";
    EXPECT_EQ(feed(r, {"\nafter\n"}).lines, lines_t{"after"});
}

TEST(fault_split, without_force_text_binary_mode_keeps_everything_a_frame) {
    line_reassembler_t r(false, false);
    auto out = feed(r, {"\x80", "a=1\n", std::string(1, '\0')});
    EXPECT_EQ(out.frames, (std::vector<std::string>{"\x80", "a=1\n"}));
    EXPECT_EQ(out.keep_alives, 1);
    EXPECT_TRUE(out.lines.empty());
    r.reset();
    EXPECT_EQ(feed(r, {"b=2\n"}).lines, lines_t{"b=2"}) << "a new connection starts in text mode";
}

}  // namespace
}  // namespace plimsy
