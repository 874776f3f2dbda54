#include "cli/replay_command.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture.hpp"
#include "cli/command_run.hpp"
#include "cli/decode_command.hpp"
#include "sim/board_server.hpp"

using namespace plimsy;

namespace {

using steady = std::chrono::steady_clock;

std::filesystem::path temp_dir(const char* name) {
    auto d = std::filesystem::temp_directory_path() / (std::string(name) + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(d);
    std::filesystem::create_directories(d);
    return d;
}

void write_file(const std::filesystem::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

std::string file_text(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

run_result_t replay(std::vector<const char*> args, const std::atomic<bool>* stop = nullptr,
                    const std::function<void(std::uint16_t)>& on_listening = {}) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    std::atomic<bool> never{false};
    const int status = replay_command(static_cast<int>(args.size()), args.data(), out, err, stop ? *stop : never,
                                      on_listening);
    run_result_t r{status, read_all(out), read_all(err)};
    std::fclose(out);
    std::fclose(err);
    return r;
}

run_result_t decode(std::vector<const char*> args) {
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int status = decode_command(static_cast<int>(args.size()), args.data(), in, out, err);
    run_result_t r{status, read_all(out), read_all(err)};
    std::fclose(in);
    std::fclose(out);
    std::fclose(err);
    return r;
}

int connect_to(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

// A simulated board served over real TCP on 127.0.0.1, read by a real
// socket in whatever chunks the kernel gives and written as a capture; the
// replay must give exactly what decoding the board's lines gives.
TEST(replay_command, a_board_recorded_over_tcp_replays_to_what_its_lines_decode_to) {
    board_server_t server({.kind = device_model_t::hmc5883, .port = 0, .rate = 400});
    std::string error;
    ASSERT_TRUE(server.start(error)) << error;
    const int fd = connect_to(server.port());
    ASSERT_GE(fd, 0);

    capture_header_t h{1, "2026-12-07T03:48:07.250Z", "tcp 127.0.0.1", {}};
    for (const char* f : {"x", "y", "z"}) {
        h.settings.emplace_back(std::string("hmc5883.0.") + f + "_min", std::int64_t{-300});
        h.settings.emplace_back(std::string("hmc5883.0.") + f + "_max", std::int64_t{300});
    }
    std::string chunks, lines;
    append_capture_header(chunks, h);
    append_capture_header(lines, h);
    std::string pending;
    const auto began = steady::now();
    char buf[4096];
    bool sent_command = false;
    std::size_t reads = 0;
    while (steady::now() - began < std::chrono::milliseconds(800)) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) != 1) continue;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        ASSERT_GT(n, 0);
        ++reads;
        // Whole milliseconds, as a recorder writes them.
        const double t = std::round(std::chrono::duration<double>(steady::now() - began).count() * 1000) / 1000;
        const std::string_view chunk(buf, static_cast<std::size_t>(n));
        append_capture_rx(chunks, t, chunk);
        // The same bytes as one entry per complete line.
        pending.append(chunk);
        std::size_t lf;
        while ((lf = pending.find('\n')) != std::string::npos) {
            append_capture_rx(lines, t, pending.substr(0, lf + 1));
            pending.erase(0, lf + 1);
        }
        if (!sent_command && t > 0.3) {
            ASSERT_EQ(::send(fd, "C\n", 2, MSG_NOSIGNAL), 2);
            append_capture_tx(chunks, t, "C\n");
            append_capture_tx(lines, t, "C\n");
            append_capture_action(chunks, t, "hmc5883.calibration_next");
            append_capture_action(lines, t, "hmc5883.calibration_next");
            sent_command = true;
        }
    }
    ::close(fd);
    server.stop();
    ASSERT_GT(reads, 10u);

    const auto dir = temp_dir("plimsy_replay_tcp");
    write_file(dir / "chunks.jsonl", chunks);
    write_file(dir / "lines.jsonl", lines);
    const std::string chunks_path = (dir / "chunks.jsonl").string(), lines_path = (dir / "lines.jsonl").string();
    const auto expected = decode({"--state", lines_path.c_str()});
    ASSERT_EQ(expected.status, 0);
    const auto replayed = replay({"--max", "--state", chunks_path.c_str()});
    ASSERT_EQ(replayed.status, 0) << replayed.err;
    EXPECT_EQ(replayed.out, expected.out);
    EXPECT_GT(std::count(expected.out.begin(), expected.out.end(), '\n'), 200);
    EXPECT_EQ(expected.out.find("\"result\":\"error\""), std::string::npos);

    // The summary counts the same lines; the CSV tables are decode's.
    const std::string csv_a = (dir / "a").string(), csv_b = (dir / "b").string();
    const auto s = replay({"--max", "--summary", "--csv", csv_a.c_str(), chunks_path.c_str()});
    ASSERT_EQ(s.status, 0) << s.err;
    const auto d = decode({"--summary", "--csv", csv_b.c_str(), chunks_path.c_str()});
    EXPECT_EQ(s.out.substr(0, s.out.find("\"seconds\"")), d.out.substr(0, d.out.find("\"seconds\"")));
    std::size_t tables = 0;
    for (const auto& f : std::filesystem::directory_iterator(csv_b)) {
        ++tables;
        EXPECT_EQ(file_text(f.path()), file_text(std::filesystem::path(csv_a) / f.path().filename())) << f.path();
    }
    EXPECT_GE(tables, 3u);
    std::filesystem::remove_all(dir);
}

TEST(replay_command, a_replay_that_walks_a_calibration_leaves_the_settings_file_alone) {
    const auto dir = temp_dir("plimsy_replay_settings");
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved_old = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    std::filesystem::create_directories(dir / "Plimsy");
    const auto settings = dir / "Plimsy" / "Plimsy_sensors.json";
    const std::string before = "{\n\"hmc5883.0.x_min\": -5,\n\"hmc5883.0.x_max\": 5\n}\n";
    write_file(settings, before);
    const auto mtime = std::filesystem::last_write_time(settings);

    std::string c;
    append_capture_header(c, {1, "2026-12-07T03:48:07Z", "test", {{"hmc5883.0.x_max", std::int64_t{100}}}});
    append_capture_action(c, 0.5, "hmc5883.calibration_next");
    for (int i = 0; i < 50; ++i)
        append_capture_rx(c, 1 + i * 0.02, "hmc5883={\"x\":" + std::to_string(i * 10 - 250) + ",\"y\":" +
                                                std::to_string(200 - i * 8) + ",\"z\":" + std::to_string(i) + "}\n");
    append_capture_action(c, 2.5, "hmc5883.calibration_next");
    append_capture_action(c, 3, "hmc5883.calibration_save", std::int64_t{0});
    append_capture_action(c, 3.5, "hmc5883.calibration_save", std::int64_t{1});
    append_capture_action(c, 4, "hmc5883.calibration_load", std::int64_t{0});
    write_file(dir / "walk.jsonl", c);
    const std::string path = (dir / "walk.jsonl").string();
    const auto r = replay({"--max", "--state", path.c_str()});
    EXPECT_EQ(r.status, 0) << r.err;
    // The walk did happen in the replay: every action was applied.
    EXPECT_EQ(r.out.find("\"error\""), std::string::npos) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 55);
    EXPECT_EQ(file_text(settings), before);
    EXPECT_EQ(std::filesystem::last_write_time(settings), mtime);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& f : std::filesystem::recursive_directory_iterator(dir)) ++files;
    EXPECT_EQ(files, 3u);  // Plimsy/, its settings file, the capture: nothing new
    if (old) ::setenv("XDG_CONFIG_HOME", saved_old.c_str(), 1);
    else ::unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(dir);
}

// The recorded board bytes reach a real TCP client on 127.0.0.1 in order,
// spread over the recorded time; what the client sends is printed.
TEST(replay_command, tcp_serve_sends_the_board_bytes_at_the_recorded_pace) {
    const auto dir = temp_dir("plimsy_replay_serve");
    std::string c, expected;
    append_capture_header(c, {1, "2026-12-07T03:48:07Z", "test", {}});
    for (int i = 0; i < 20; ++i) {
        const std::string chunk = "gps={\"h\":" + std::to_string(i) + "}\n";
        append_capture_rx(c, 0.2 + i * 0.03, chunk);  // 0.57 s from the first to the last
        if (i == 5) append_capture_tx(c, 0.2 + i * 0.03, "not sent to the client\n");
        expected += chunk;
    }
    write_file(dir / "serve.jsonl", c);
    const std::string path = (dir / "serve.jsonl").string();

    std::promise<std::uint16_t> port;
    std::atomic<bool> stop{false};
    auto server = std::async(std::launch::async, [&] {
        return replay({"--tcp-serve", "0", path.c_str()}, &stop, [&](std::uint16_t p) { port.set_value(p); });
    });
    auto port_future = port.get_future();
    ASSERT_EQ(port_future.wait_for(std::chrono::duration<double>(test_patience)), std::future_status::ready);
    const int fd = connect_to(port_future.get());
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::send(fd, "C\n", 2, MSG_NOSIGNAL), 2);
    std::string got;
    std::vector<double> arrivals;
    const auto began = steady::now();
    char buf[256];
    while (steady::now() - began < std::chrono::duration<double>(test_patience)) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) != 1) continue;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;  // the server closes at the end
        got.append(buf, static_cast<std::size_t>(n));
        arrivals.push_back(std::chrono::duration<double>(steady::now() - began).count());
    }
    ::close(fd);
    const auto r = server.get();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(got, expected);
    // Paced, not sent at once: the bytes came over at least half the
    // recorded span (the machine may be slow, never early).
    ASSERT_GE(arrivals.size(), 2u);
    EXPECT_GE(arrivals.back() - arrivals.front(), 0.57 / 2);
    EXPECT_NE(r.err.find("from 127.0.0.1:"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(": C\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("sent " + std::to_string(expected.size()) + " bytes in 20 chunks"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());

    // Ctrl-C while waiting for a client.
    stop = true;
    const auto stopped = replay({"--tcp-serve", "0", path.c_str()}, &stop);
    EXPECT_EQ(stopped.status, 130);
    EXPECT_NE(stopped.err.find("stopped at 0.000 s of the capture (Ctrl-C)"), std::string::npos) << stopped.err;
    std::filesystem::remove_all(dir);
}

TEST(replay_command, bad_files_and_options_say_what_is_wrong) {
    const auto dir = temp_dir("plimsy_replay_bad");
    const auto missing = replay({"/nonexistent/capture.jsonl"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "plimsy-cli replay: /nonexistent/capture.jsonl: cannot read /nonexistent/capture.jsonl: "
                           "No such file or directory\n");
    write_file(dir / "raw.txt", "gravity={\"x\":1,\"y\":0,\"z\":9.8}\n");
    const std::string raw = (dir / "raw.txt").string();
    const auto not_capture = replay({raw.c_str()});
    EXPECT_EQ(not_capture.status, 1);
    EXPECT_NE(not_capture.err.find("not a capture"), std::string::npos);

    // Damage: named by line, the rest replays; Ctrl-C stops with 130.
    std::string c;
    append_capture_header(c, {1, "2026-12-07T03:48:07Z", "test", {}});
    append_capture_rx(c, 0.1, "gps={\"h\":1}\n");
    c += "{\"t\":0.2,\"rx\":\"gps=\n";
    append_capture_rx(c, 0.3, "gps={\"h\":2}\n");
    write_file(dir / "damaged.jsonl", c);
    const std::string damaged = (dir / "damaged.jsonl").string();
    const auto d = replay({"--speed", "10", damaged.c_str()});
    EXPECT_EQ(d.status, 0);
    EXPECT_NE(d.err.find("plimsy-cli replay: capture line 3: a text is not closed"), std::string::npos) << d.err;
    EXPECT_EQ(std::count(d.out.begin(), d.out.end(), '\n'), 3);  // two lines and the malformed one
    std::atomic<bool> stop{true};
    const auto stopped = replay({damaged.c_str()}, &stop);
    EXPECT_EQ(stopped.status, 130);
    EXPECT_NE(stopped.err.find("(Ctrl-C)"), std::string::npos);

    for (const std::vector<const char*>& bad : std::vector<std::vector<const char*>>{
             {},
             {"--speed", "0", "f"},
             {"--speed", "x", "f"},
             {"--speed", "2", "--max", "f"},
             {"--tcp-serve", "70000", "f"},
             {"--tcp-serve", "1", "--bind", "localhost", "f"},
             {"--bind", "127.0.0.2", "f"},
             {"--csv", "f"},
             {"a", "b"},
             {"--sumary", "f"}}) {
        const auto r = replay(bad);
        EXPECT_EQ(r.status, 2) << (bad.empty() ? "" : bad[0]);
        EXPECT_NE(r.err.find("usage: plimsy-cli replay"), std::string::npos);
    }
    const auto help = replay({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* o : {"--speed X", "--max", "--decode", "--state", "--summary", "--csv DIR", "--tcp-serve PORT",
                          "--bind HOST", "FILE"})
        EXPECT_NE(help.out.find(o), std::string::npos) << o;
    std::filesystem::remove_all(dir);
}
