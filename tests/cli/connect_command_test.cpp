#include "cli/connect_command.hpp"

#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

#include "sim/board_server.hpp"

using namespace plimsy;

namespace {
std::string read_all(std::FILE* f) {
    std::string s;
    std::rewind(f);
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    return s;
}

struct run_result_t {
    int status;
    std::string out, err;
};

// Runs the command with `input` on a real pipe as standard input.
run_result_t run(const std::string& input, std::initializer_list<const char*> args) {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    EXPECT_EQ(::write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::close(fds[1]);
    std::FILE* in = ::fdopen(fds[0], "r");
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    std::atomic<bool> stop{false};
    std::vector<const char*> argv(args);
    const int status = connect_command(static_cast<int>(argv.size()), argv.data(), in, out, err, stop);
    run_result_t r{status, read_all(out), read_all(err)};
    std::fclose(in);
    std::fclose(out);
    std::fclose(err);
    return r;
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
