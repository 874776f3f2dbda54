#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "cli/command_run.hpp"
#include "serial/pty_board.hpp"

using namespace plimsy;


TEST(serial_cli, connect_decodes_a_board_on_a_serial_port_and_sends_it_commands) {
    temp_dir_t dir;
    pty_board_t board{dir / "board"};
    std::atomic<bool> done{false};
    std::string commands;
    // The board talks all the time; the command goes out once the port is open.
    std::thread talker([&] {
        while (!done) {
            board.send("gravity={\"x\":0.5,\"y\":0,\"z\":9.75}\n");
            commands += board.take();
            ::usleep(20'000);
        }
    });
    const std::string target = board.link() + ":1000000";
    const auto r = run_connect("C\n", {"--serial", target.c_str(), "--decode", "--summary", "--seconds", "1"});
    done = true;
    talker.join();

    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("connected to " + board.link() + " 1000000"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("{\"line\":\"gravity={\\\"x\\\":0.5,\\\"y\\\":0,\\\"z\\\":9.75}\",\"result\":\"ok\""),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("{\"lines\":"), std::string::npos) << "the summary at the end";
    EXPECT_EQ(commands, "C\n");

    for (auto args : {std::vector<const char*>{"--serial", "/dev/ttyACM0:fast"},
                      std::vector<const char*>{"--serial", "/dev/ttyACM0:0"},
                      std::vector<const char*>{"--serial"},
                      std::vector<const char*>{"--serial", "/dev/ttyACM0", "--simulate"}}) {
        const auto bad = run_connect("", args);
        EXPECT_EQ(bad.status, 2) << args[0];
        EXPECT_NE(bad.err.find("usage: plimsy-cli connect"), std::string::npos);
    }
}
