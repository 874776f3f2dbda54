// plimsy-cli record as a user runs it: the real program in a process of its
// own, a board on 127.0.0.1 served by the test, ended by a signal.

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture.hpp"
#include "capture/capture_file.hpp"
#include "cli/decode_command.hpp"
#include "cli/record_command.hpp"
#include "sim/simulated_board.hpp"
#include "transport/line_reassembler.hpp"
#include "transport/test_server.hpp"

#include "common/temp_files.hpp"

using namespace plimsy;
namespace fs = std::filesystem;
using plimsy::test_files::slurp;
using plimsy::test_files::spit;
using plimsy::test_files::temp_dir_t;

namespace {

// plimsy-cli with its standard output and error in files.
struct child_t {
    pid_t pid = -1;
    fs::path out, err;
    child_t(const std::vector<std::string>& args, const fs::path& dir) : out(dir / "out"), err(dir / "err") {
        std::vector<char*> argv;
        static std::string program = PLIMSY_CLI_PATH;
        argv.push_back(program.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid = ::fork();
        if (pid == 0) {
            const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int n = ::open("/dev/null", O_RDONLY);
            ::dup2(n, 0);
            ::dup2(o, 1);
            ::dup2(e, 2);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    // The exit status, or 128 + the signal.
    int wait() {
        int status = 0;
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::duration<double>(test_patience);
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > give_up) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                ADD_FAILURE() << "plimsy-cli record did not end";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    ~child_t() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
};

struct capture_text_t {
    std::string header_line;
    std::vector<std::pair<double, std::string>> rx;  // chunks as recorded
    std::string rx_bytes;
    std::string file_error;
};

capture_text_t read_capture(const fs::path& p) {
    capture_text_t c;
    capture_file_reader_t file(p);
    capture_reader_t reader;
    while (auto line = file.next_line()) {
        const auto r = reader.read_line(*line);
        if (r == capture_reader_t::result_t::header) c.header_line = *line;
        if (r == capture_reader_t::result_t::entry && reader.entry().kind == capture_entry_t::kind_t::rx) {
            c.rx.emplace_back(reader.entry().t, std::string(reader.entry().data));
            c.rx_bytes += reader.entry().data;
        }
    }
    c.file_error = file.error();
    return c;
}

// A board's stream as the simulated board makes it: `seconds` of lines.
std::string board_lines(device_model_t kind, double seconds, double rate) {
    manual_clock_t clock;
    simulated_board_t board(kind, clock, rate);
    std::vector<std::string> lines;
    for (double t = 0; t < seconds; t += 0.01) {
        clock.advance(0.01);
        board.due_lines(lines);
    }
    std::string text;
    for (const auto& l : lines) text += l;
    return text;
}

// Sends the stream in chunks of random sizes, as a bridge's reads come.
void send_in_chunks(test_server_t& server, const std::string& text, unsigned seed) {
    std::mt19937 rng(seed);
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t n = std::min<std::size_t>(text.size() - at, 1 + rng() % 700);
        server.send(std::string_view(text).substr(at, n));
        at += n;
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
}

template <typename P>
bool wait_until(P p) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(test_patience);
    while (!p()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

struct decoded_t {
    int status;
    std::vector<std::string> lines;
    std::string err;
};

decoded_t decode(std::vector<const char*> argv, std::FILE* in = nullptr) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    std::FILE* empty = std::tmpfile();
    decoded_t d;
    d.status = decode_command(static_cast<int>(argv.size()), argv.data(), in ? in : empty, out, err);
    std::string text;
    std::rewind(out);
    char buf[65536];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, out)) > 0;) text.append(buf, n);
    std::rewind(err);
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, err)) > 0;) d.err.append(buf, n);
    for (std::size_t at = 0; at < text.size();) {
        std::size_t lf = text.find('\n', at);
        if (lf == std::string::npos) lf = text.size();
        d.lines.push_back(text.substr(at, lf - at));
        at = lf + 1;
    }
    std::fclose(out);
    std::fclose(err);
    std::fclose(empty);
    return d;
}

// A decoded line without its time: {"t":0.02,"line":... -> {"line":...
std::string without_time(const std::string& json) {
    const std::size_t comma = json.find(',');
    return json.rfind("{\"t\":", 0) == 0 && comma != std::string::npos ? "{" + json.substr(comma + 1) : json;
}

}  // namespace

TEST(record_command, a_recording_over_tcp_decodes_to_the_same_lines_and_state_as_the_boards_own) {
    temp_dir_t dir;
    test_server_t server;
    const fs::path file = dir.path / "board.plimsy.jsonl.zst";
    const std::string text = board_lines(device_model_t::hmc5883, 1.0, 1000);
    ASSERT_GT(text.size(), 40000u);

    child_t child({"record", "--tcp", "127.0.0.1:" + std::to_string(server.port()), "-o", file.string()}, dir.path);
    ASSERT_TRUE(server.accept_peer());
    send_in_chunks(server, text, 11);
    // Written within a second of arriving, before the recording ends.
    ASSERT_TRUE(wait_until([&] { return fs::exists(file) && read_capture(file).rx_bytes.size() == text.size(); }));
    ::kill(child.pid, SIGTERM);  // ends the file cleanly
    EXPECT_EQ(child.wait(), 0) << slurp(child.err);
    const std::string summary = slurp(child.out);
    EXPECT_NE(summary.find("\"file\":\"" + file.string() + "\""), std::string::npos) << summary;
    EXPECT_NE(summary.find("\"complete\":true"), std::string::npos) << summary;
    EXPECT_NE(slurp(child.err).find("recording to " + file.string()), std::string::npos);

    const capture_text_t c = read_capture(file);
    EXPECT_EQ(c.file_error, "");
    EXPECT_EQ(c.rx_bytes, text);  // every byte, in order
    EXPECT_NE(c.header_line.find("\"link\":\"tcp 127.0.0.1:" + std::to_string(server.port()) + "\""),
              std::string::npos)
        << c.header_line;

    // The same lines, results, records, fields and board kinds as the
    // board's text decoded on its own (times aside: the recording has the
    // link's, raw text one step per line).
    const fs::path raw = dir.path / "board.txt";
    std::ofstream(raw, std::ios::binary) << text;
    const decoded_t from_recording = decode({file.c_str()});
    const decoded_t from_text = decode({raw.c_str()});
    EXPECT_EQ(from_recording.status, 0) << from_recording.err;
    ASSERT_EQ(from_recording.lines.size(), from_text.lines.size());
    for (std::size_t i = 0; i < from_text.lines.size(); ++i)
        ASSERT_EQ(without_time(from_recording.lines[i]), without_time(from_text.lines[i])) << "line " << i;

    // And the same state after every line as the board's lines given whole,
    // each at the time the link's rule completed it: how the link cut them
    // changes nothing.
    std::string whole = c.header_line + "\n";
    line_reassembler_t link_rule;
    for (const auto& [t, chunk] : c.rx) {
        const auto& got = link_rule.feed(chunk);
        ASSERT_FALSE(got.is_frame);
        for (const std::string_view line : got.lines) append_capture_rx(whole, t, std::string(line) + "\n");
    }
    const fs::path reference = dir.path / "whole_lines.jsonl";
    std::ofstream(reference, std::ios::binary) << whole;
    const decoded_t state_recorded = decode({"--state", file.c_str()});
    const decoded_t state_whole = decode({"--state", reference.c_str()});
    ASSERT_EQ(state_recorded.lines.size(), from_text.lines.size());
    ASSERT_EQ(state_recorded.lines.size(), state_whole.lines.size());
    for (std::size_t i = 0; i < state_whole.lines.size(); ++i)
        ASSERT_EQ(state_recorded.lines[i], state_whole.lines[i]) << "line " << i;
    EXPECT_NE(state_recorded.lines.back().find("\"state\":{\"hmc5883\":"), std::string::npos);
}

TEST(record_command, a_recorder_killed_with_sigkill_leaves_a_file_that_reads_to_its_last_second) {
    temp_dir_t dir;
    test_server_t server;
    const fs::path file = dir.path / "killed.plimsy.jsonl.zst";
    const std::string text = board_lines(device_model_t::compass_gravity, 2.0, 200);

    child_t child({"record", "--tcp", "127.0.0.1:" + std::to_string(server.port()), "-o", file.string()}, dir.path);
    ASSERT_TRUE(server.accept_peer());
    send_in_chunks(server, text, 5);
    const auto sent = std::chrono::steady_clock::now();
    // No close, no end of frame: the data reaches the file by the writer's
    // flush alone, while the recorder still runs.
    ASSERT_TRUE(wait_until([&] { return fs::exists(file) && read_capture(file).rx_bytes.size() == text.size(); }));
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
    std::printf("the last chunk was in the file %.3f s after it was sent\n", waited);
    server.send("compass={\"h\":1.0,\"x\":0,\"y\":0,\"z\":9.8}\n");  // in the last second: may be lost
    ::kill(child.pid, SIGKILL);
    EXPECT_EQ(child.wait(), 128 + SIGKILL);

    const capture_text_t c = read_capture(file);
    EXPECT_EQ(c.rx_bytes.substr(0, text.size()), text);
    EXPECT_NE(c.file_error.find("cut short"), std::string::npos) << c.file_error;
    // decode reads it to the cut, says so, and exits with 1.
    const decoded_t d = decode({"--summary", file.c_str()});
    EXPECT_EQ(d.status, 1);
    EXPECT_NE(d.err.find("the compressed data is cut short after byte " + std::to_string(fs::file_size(file))),
              std::string::npos)
        << d.err;
    ASSERT_EQ(d.lines.size(), 1u);
    EXPECT_NE(d.lines[0].find("\"malformed\":0"), std::string::npos) << d.lines[0];
    // Compressed captures come through standard input too.
    std::FILE* in = std::fopen(file.c_str(), "rb");
    const decoded_t piped = decode({"--summary"}, in);
    std::fclose(in);
    EXPECT_EQ(piped.status, 1);
    ASSERT_EQ(piped.lines.size(), 1u);
    const auto counts = [](const std::string& s) { return s.substr(0, s.find(",\"seconds\"")); };
    EXPECT_EQ(counts(piped.lines[0]), counts(d.lines[0]));
}

TEST(record_command, options_and_their_mistakes) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    std::atomic<bool> stop{false};
    auto run = [&](std::vector<const char*> argv) {
        std::rewind(err);
        return record_command(static_cast<int>(argv.size()), argv.data(), out, err, stop);
    };
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_EQ(run({"--tcp", "example.org:81"}), 2);
    EXPECT_EQ(run({"--simulate", "toaster"}), 2);
    EXPECT_EQ(run({"--simulate", "--seconds", "-1"}), 2);
    EXPECT_EQ(run({"-o"}), 2);
    EXPECT_EQ(run({"-o", "x.zst"}), 2);  // nothing to connect
    EXPECT_EQ(run({"--simulate", "--bogus"}), 2);
    std::fclose(out);
    std::fclose(err);

    // A folder that cannot be made: the message, status 1, the run ends.
    temp_dir_t dir;
    std::ofstream(dir.path / "plain_file") << "x";
    const fs::path impossible = dir.path / "plain_file" / "sub" / "r.zst";
    child_t child({"record", "--simulate", "hmc5883", "-o", impossible.string(), "--seconds", "30"}, dir.path);
    EXPECT_EQ(child.wait(), 1);
    EXPECT_NE(slurp(child.err).find("cannot create " + impossible.string()), std::string::npos) << slurp(child.err);
}
