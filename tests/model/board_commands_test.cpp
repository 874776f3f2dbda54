#include "model/board_commands.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace plimsy {
namespace {

TEST(board_commands, names_and_bytes) {
    // What the board firmware reads; the panels reach these only by name.
    const std::pair<const char*, const char*> expected[] = {
        {"calibrate", "C\n"}, {"defaults", "D\n"}, {"load", "L\n"},    {"reboot", "R\n"},     {"mag", "M\n"},
        {"two_d", "2\n"},     {"three_d", "3\n"},  {"compensate", "c\n"}, {"compass", "G\n"}, {"heading", "H\n"},
    };
    std::set<std::string> bytes;
    for (const auto& [name, text] : expected) {
        SCOPED_TRACE(name);
        const auto c = find_board_command(name);
        ASSERT_TRUE(c.has_value());
        EXPECT_EQ(board_command_bytes(*c), text);
        EXPECT_EQ(board_command_char(*c), text[0]);
        bytes.insert(text);
    }
    EXPECT_EQ(bytes.size(), board_commands.size());  // no two commands send the same bytes

    // Names are matched exactly: QML spelling slips are caught, not guessed.
    for (const char* wrong : {"", "Calibrate", "calibrate ", "C", "C\n", "twoD", "reboo"})
        EXPECT_FALSE(find_board_command(wrong).has_value()) << wrong;
}

}  // namespace
}  // namespace plimsy
