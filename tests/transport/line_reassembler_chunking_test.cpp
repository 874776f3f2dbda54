#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "transport/line_reassembler.hpp"

namespace plimsy {
namespace {

std::vector<std::string> feed(line_reassembler_t& r, const std::vector<std::string_view>& chunks) {
    std::vector<std::string> out;
    for (std::string_view c : chunks)
        for (std::string_view line : r.split_lines(c)) out.emplace_back(line);
    return out;
}

TEST(LineReassemblerChunking, WithoutEmptyLinesOnlyTextLinesArrive) {
    line_reassembler_t r;
    EXPECT_EQ(feed(r, {"a\n\nb", "\r\n\n", "c\r"}), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(r.rem().empty());
}

}  // namespace
}  // namespace plimsy
