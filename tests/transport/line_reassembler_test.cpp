#include "transport/line_reassembler.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace plimsy;

namespace {
std::vector<std::string> feed(line_reassembler_t& r, std::initializer_list<std::string_view> chunks) {
    std::vector<std::string> out;
    for (auto c : chunks)
        for (auto l : r.split_lines(c)) out.emplace_back(l);
    return out;
}
using lines = std::vector<std::string>;
}  // namespace

TEST(line_reassembler, chunks_join_and_cr_rules) {
    line_reassembler_t r;
    EXPECT_EQ(feed(r, {"abc", "def\n"}), lines({"abcdef"}));
    EXPECT_EQ(feed(r, {"a\r\nb\r\n"}), lines({"a", "b"}));
    // An inner CR is removed and ends no line.
    EXPECT_EQ(feed(r, {"a\rb\n"}), lines({"ab"}));
    // A CR at the end of a chunk ends the line at once; the LF that follows
    // adds nothing.
    EXPECT_EQ(feed(r, {"x\r"}), lines({"x"}));
    EXPECT_EQ(feed(r, {"\n"}), lines{});
    EXPECT_EQ(feed(r, {"a\n\nb\n"}), lines({"a", "b"}));
    // The incomplete tail waits for the next chunk, across several chunks.
    EXPECT_EQ(feed(r, {"p", "q", "r"}), lines{});
    EXPECT_EQ(r.rem(), "pqr");
    EXPECT_EQ(feed(r, {"s\nt"}), lines({"pqrs"}));
    EXPECT_EQ(r.rem(), "t");
    // An empty chunk ends no line and loses nothing.
    EXPECT_EQ(feed(r, {"", "\n"}), lines({"t"}));
}

TEST(line_reassembler, empty_lines_are_delivered_when_asked) {
    line_reassembler_t r;
    r.empty_lines = true;
    EXPECT_EQ(feed(r, {"a\n\nb\n"}), lines({"a", "", "b"}));
    EXPECT_EQ(feed(r, {"x\r"}), lines({"x"}));
    EXPECT_EQ(feed(r, {"\n"}), lines({""}));
    // The last piece before an incomplete line is dropped when empty.
    EXPECT_EQ(feed(r, {"a\n\nb"}), lines({"a"}));
    EXPECT_EQ(r.rem(), "b");
}

TEST(line_reassembler, endless_line_is_dropped_not_kept) {
    line_reassembler_t r;
    const std::string block(4096, 'z');
    bool dropped = false;
    for (int i = 0; i < 40 && !dropped; ++i) {
        EXPECT_TRUE(r.split_lines(block).empty());
        dropped = r.dropped();
    }
    EXPECT_TRUE(dropped);
    EXPECT_GT(r.dropped_size(), line_reassembler_t::max_incomplete);
    EXPECT_TRUE(r.rem().empty());
    // The rest of the dropped line goes too; the stream recovers with the
    // line after it.
    EXPECT_EQ(feed(r, {"tail\nok\n"}), lines({"ok"}));
}

TEST(line_reassembler, binary_check_spares_keep_alive_bytes) {
    bool binary = false;
    const std::uint8_t ff[] = {0xFF}, zero[] = {0x00}, zero_ff[] = {0x00, 0xFF}, other[] = {0xC3};
    binary_check(ff, binary);
    binary_check(zero, binary);
    binary_check(zero_ff, binary);
    EXPECT_FALSE(binary);
    binary_check(other, binary);
    EXPECT_TRUE(binary);
    binary_check(ff, binary);  // a keep-alive does not switch back either
    EXPECT_TRUE(binary);
}
