#pragma once

// Runs plimsy-cli commands in the test process, with real pipes and files
// for their standard streams, as a shell would.

#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "cli/connect_command.hpp"
#include "transport/test_server.hpp"

namespace plimsy {

inline std::string read_all(std::FILE* f) {
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

// Runs "connect" with `input` on a real pipe as standard input, written by
// a thread of its own so that input larger than a pipe holds works. A run
// still going after test_patience is a failure: `rescue` (or else `stop`)
// then ends it, and `returned` says so.
struct run_options_t {
    std::function<void()> rescue;
};
inline run_result_t run_connect(const std::string& input, std::vector<const char*> argv, bool* returned = nullptr,
                                run_options_t extra = {}) {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    std::thread writer([fd = fds[1], &input] {
        std::size_t at = 0;
        while (at < input.size()) {
            const ssize_t n = ::write(fd, input.data() + at, input.size() - at);
            if (n <= 0) break;
            at += static_cast<std::size_t>(n);
        }
        ::close(fd);
    });
    std::FILE* in = ::fdopen(fds[0], "r");
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    std::atomic<bool> stop{false};
    // The command runs on this thread, as in the program (Qt's serial ports
    // work only on the thread that made the application object); a watchdog
    // ends a run that overstays.
    std::promise<void> finished;
    bool in_time = true;
    std::thread watchdog([&, ended = finished.get_future()] {
        if (ended.wait_for(std::chrono::duration<double>(test_patience)) == std::future_status::ready) return;
        in_time = false;
        if (extra.rescue) extra.rescue();
        stop = true;
    });
    const int status = connect_command(static_cast<int>(argv.size()), argv.data(), in, out, err, stop);
    finished.set_value();
    watchdog.join();
    if (returned) *returned = in_time;
    std::fclose(in);  // ends a writer still blocked on a full pipe
    writer.join();
    run_result_t r{status, read_all(out), read_all(err)};
    std::fclose(out);
    std::fclose(err);
    return r;
}

}  // namespace plimsy
