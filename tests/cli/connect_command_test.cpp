#include "cli/command_run.hpp"

#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/board_server.hpp"
#include "transport/test_server.hpp"

using namespace plimsy;

namespace {
run_result_t run(const std::string& input, std::vector<const char*> args, bool* returned = nullptr,
                 run_options_t extra = {}) {
    return run_connect(input, std::move(args), returned, std::move(extra));
}
}  // namespace

TEST(connect_command, decodes_a_tcp_board_and_sends_commands) {
    std::mutex m;
    std::string commands;
    board_server_t server({.kind = device_model_t::gravity, .port = 0, .rate = 200.0}, [&](const std::string&, char c) {
        std::lock_guard lock(m);
        commands += c;
    });
    std::string error;
    ASSERT_TRUE(server.start(error)) << error;
    const std::string where = "127.0.0.1:" + std::to_string(server.port());

    const auto r = run("R\n", {"--tcp", where.c_str(), "--decode", "--summary", "--seconds", "0.5"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"result\":\"ok\",\"record\":\"gravity_str_t\""), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("\"result\":\"error\""), std::string::npos);
    EXPECT_NE(r.out.find("{\"lines\":"), std::string::npos);
    EXPECT_NE(r.err.find("connected to " + where), std::string::npos);
    server.stop();
    std::lock_guard lock(m);
    EXPECT_EQ(commands, "R");
}

TEST(connect_command, simulated_ble_board_and_argument_errors) {
    const auto r = run("", {"--simulate", "plimsy91", "--summary", "--seconds", "0.5"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\"lines\":", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find("\"lines\":0,"), std::string::npos);  // something arrived
    EXPECT_NE(r.err.find("connected to Plimsy:91 UART"), std::string::npos);

    for (auto args : {std::initializer_list<const char*>{"--tcp", "localhost:81"},
                      std::initializer_list<const char*>{"--tcp", "127.0.0.1:0"},
                      std::initializer_list<const char*>{"--tcp", "127.0.0.1"},
#ifndef PLIMSY_CLI_QT
                      // Without Qt there is no real radio to reach.
                      std::initializer_list<const char*>{"--ble", "Plimsy:91 UART"},
#endif
                      std::initializer_list<const char*>{"--simulate", "toaster"},
                      std::initializer_list<const char*>{}}) {
        const auto bad = run("", args);
        EXPECT_EQ(bad.status, 2) << bad.err;
        EXPECT_NE(bad.err.find("plimsy-cli connect: "), std::string::npos);
    }
}

#ifdef PLIMSY_CLI_QT
// The real radio through Qt Bluetooth on a host whose system bus has no
// BlueZ: the run still ends on time with a summary, and the console says
// why nothing connected. (A board over BlueZ is proven by the tests that
// run against the BlueZ stand-in.)
TEST(connect_command, real_ble_without_an_adapter_reports_it_and_ends) {
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/plimsy-test-bus", 1);
    const auto r = run("", {"--ble", "Plimsy:91 UART", "--summary", "--seconds", "0.5"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("ble_manager.state: 2 unsupported"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.rfind("{\"lines\":0,", 0), 0u) << r.out;
}
#endif

TEST(connect_command, end_of_input_ends_the_run_even_before_any_connection) {
    test_server_t refusing(false);
    const std::string where = "127.0.0.1:" + std::to_string(refusing.port());
    bool returned = false;
    const auto r = run("", {"--tcp", where.c_str()}, &returned);
    EXPECT_TRUE(returned) << "the run went on after its input ended";
    EXPECT_EQ(r.status, 0) << r.err;

    // A command that never gets a link is reported, not dropped in silence.
    const auto held = run("C\n", {"--tcp", where.c_str(), "--seconds", "0.3"});
    EXPECT_NE(held.err.find("command not delivered (no connection to the board): C"), std::string::npos) << held.err;
}

TEST(connect_command, a_peer_that_never_reads_does_not_hold_up_the_run) {
    test_server_t peer(true, 4096);
    const std::string where = "127.0.0.1:" + std::to_string(peer.port());
    std::string commands;
    for (int i = 0; i < 1200; ++i) commands += std::string(4000, 'c') + "\n";  // 4.8 MB
    std::thread acceptor([&] { peer.accept_peer(); });
    bool returned = false;
    const auto r = run(commands, {"--tcp", where.c_str(), "--seconds", "1"}, &returned,
                       {.rescue = [&] { peer.reset_peer(); }});
    acceptor.join();
    EXPECT_TRUE(returned) << "sending to a peer that does not read held up the run";
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("stopped reading"), std::string::npos) << r.err.substr(0, 2000);
}

TEST(connect_command, a_command_line_without_end_is_dropped_and_the_next_one_sent) {
    std::mutex m;
    std::string commands;
    board_server_t server({.kind = device_model_t::gravity, .port = 0, .rate = 50.0}, [&](const std::string&, char c) {
        std::lock_guard lock(m);
        commands += c;
    });
    std::string error;
    ASSERT_TRUE(server.start(error)) << error;
    const std::string where = "127.0.0.1:" + std::to_string(server.port());

    const std::string endless(4 * 1024 * 1024, 'x');
    const auto r = run(endless + "\nR\n", {"--tcp", where.c_str(), "--seconds", "1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("dropped a command line of more than 4096 bytes"), std::string::npos) << r.err.substr(0, 2000);
    server.stop();
    std::lock_guard lock(m);
    EXPECT_EQ(commands, "R") << commands.size() << " command bytes reached the board";
}
