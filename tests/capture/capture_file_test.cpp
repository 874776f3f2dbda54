#include "capture/capture_file.hpp"

#include <gtest/gtest.h>
#include <zstd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "platform/clock.hpp"
#include "platform/manual_main_queue.hpp"

#include "common/temp_files.hpp"

using namespace plimsy;
namespace fs = std::filesystem;
using plimsy::test_files::slurp;
using plimsy::test_files::spit;
using plimsy::test_files::temp_dir_t;

namespace {

// Lines like a capture's: a header, then rx entries with moving values.
std::vector<std::string> capture_lines(int n, unsigned seed = 1) {
    std::mt19937 rng(seed);
    std::vector<std::string> lines;
    lines.push_back(R"({"capture":1,"start":"2026-12-07T06:50:12.000Z","link":"tcp 127.0.0.1:8081","settings":{}})");
    for (int i = 1; i < n; ++i)
        lines.push_back("{\"t\":" + std::to_string(i * 0.001) + ",\"rx\":\"hmc5883={\\\"x\\\":" +
                        std::to_string(int(rng() % 2000) - 1000) + ",\\\"y\\\":" + std::to_string(int(rng() % 100)) +
                        ",\\\"z\\\":0}\\n\"}");
    return lines;
}

struct read_t {
    std::vector<std::string> lines;
    std::string error;
    bool compressed = false;
};

read_t read_all(capture_file_reader_t& r) {
    read_t got;
    while (auto line = r.next_line()) got.lines.emplace_back(*line);
    got.error = r.error();
    got.compressed = r.compressed();
    return got;
}

read_t read_file(const fs::path& p) {
    capture_file_reader_t r(p);
    EXPECT_EQ(r.open_error(), "");
    return read_all(r);
}

// A zstd frame written the way the writer writes one (checksum on, a block
// ended after each group of lines), and where each group ends in the file.
struct framed_t {
    std::string bytes;
    std::vector<std::size_t> group_end;  // compressed offset after group i
    std::vector<std::size_t> lines_through;  // lines complete after group i
};

framed_t compress_in_groups(const std::vector<std::string>& lines, int groups) {
    framed_t f;
    ZSTD_CCtx* c = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(c, ZSTD_c_checksumFlag, 1);
    std::vector<char> out(ZSTD_CStreamOutSize());
    const std::size_t per = (lines.size() + groups - 1) / groups;
    for (std::size_t g = 0; g * per < lines.size(); ++g) {
        std::string text;
        const std::size_t end = std::min(lines.size(), (g + 1) * per);
        for (std::size_t i = g * per; i < end; ++i) text += lines[i] + "\n";
        ZSTD_inBuffer in{text.data(), text.size(), 0};
        const bool last = end == lines.size();
        std::size_t left;
        do {
            ZSTD_outBuffer o{out.data(), out.size(), 0};
            left = ZSTD_compressStream2(c, &o, &in, last ? ZSTD_e_end : ZSTD_e_flush);
            f.bytes.append(out.data(), o.pos);
        } while (left != 0);
        f.group_end.push_back(f.bytes.size());
        f.lines_through.push_back(end);
    }
    ZSTD_freeCCtx(c);
    return f;
}

template <typename P>
bool wait_until(P p, double seconds = 20) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!p()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace

TEST(capture_file, writer_round_trips_compressed_and_plain_and_concatenated_files_read) {
    temp_dir_t dir;
    manual_clock_t clock;
    manual_main_queue_t main(clock);
    const auto lines = capture_lines(20000);
    for (const bool compress : {true, false}) {
        const fs::path p = dir.path / (compress ? "a.jsonl.zst" : "a.jsonl");
        std::uint64_t given = 0;
        {
            int errors = 0;
            capture_file_writer_t w(p, main, [&](const std::string&) { ++errors; },
                                    {.flush_seconds = 0.05, .compress = compress});
            // Writes of one line and of several, as a recorder hands them over.
            std::string batch;
            for (std::size_t i = 0; i < lines.size(); ++i) {
                batch += lines[i] + "\n";
                if (i % 7 == 0 || i + 1 == lines.size()) {
                    w.write(batch);
                    given += batch.size();
                    batch.clear();
                }
            }
            EXPECT_EQ(w.bytes_given(), given);
            w.close();
            EXPECT_TRUE(w.finished());
            EXPECT_FALSE(w.failed());
            EXPECT_EQ(w.bytes_on_disk(), fs::file_size(p));
            main.run_pending();
            EXPECT_EQ(errors, 0);
        }
        const read_t got = read_file(p);
        EXPECT_EQ(got.compressed, compress);
        EXPECT_EQ(got.error, "");
        EXPECT_EQ(got.lines, lines);
        if (compress) {
            EXPECT_LT(fs::file_size(p) * 4, given) << "compression should at least quarter the text";
        }
    }

    // Two compressed files put together (cat a.zst b.zst), and skippable
    // frames between them, read as one.
    const fs::path both = dir.path / "both.zst";
    const std::string one = slurp(dir.path / "a.jsonl.zst");
    const std::string skippable("\x50\x2a\x4d\x18\x03\x00\x00\x00xyz", 11);
    spit(both, one + skippable + one);
    read_t got = read_file(both);
    EXPECT_EQ(got.error, "");
    ASSERT_EQ(got.lines.size(), 2 * lines.size());
    EXPECT_TRUE(std::equal(lines.begin(), lines.end(), got.lines.begin() + lines.size()));

    // rewind() starts again; the counters follow.
    capture_file_reader_t r(dir.path / "a.jsonl.zst");
    for (int i = 0; i < 3; ++i) r.next_line();
    EXPECT_EQ(r.line_number(), 3u);
    EXPECT_GT(r.bytes_read(), 0u);
    EXPECT_EQ(r.file_size(), fs::file_size(dir.path / "a.jsonl.zst"));
    ASSERT_TRUE(r.rewind());
    EXPECT_EQ(read_all(r).lines, lines);
    EXPECT_EQ(r.bytes_read(), r.file_size());
}

TEST(capture_file, plain_input_rules_streams_and_files_that_are_not_captures) {
    temp_dir_t dir;
    // CR is left for the caller, a last line without LF is a line, empty lines are lines.
    spit(dir.path / "p", "a\r\n\nb\nlast");
    read_t got = read_file(dir.path / "p");
    EXPECT_EQ(got.lines, (std::vector<std::string>{"a\r", "", "b", "last"}));
    EXPECT_EQ(got.error, "");

    // A compressed stream on standard input (not seekable: no rewind).
    const auto lines = capture_lines(500);
    const framed_t f = compress_in_groups(lines, 3);
    std::string bytes = f.bytes;
    std::FILE* s = ::fmemopen(bytes.data(), bytes.size(), "rb");
    {
        capture_file_reader_t r(s);
        EXPECT_TRUE(r.compressed());
        EXPECT_EQ(read_all(r).lines, lines);
        EXPECT_FALSE(r.rewind());
    }
    std::fclose(s);

    // Files that cannot be read say why.
    capture_file_reader_t missing(dir.path / "none.jsonl.zst");
    EXPECT_NE(missing.open_error().find("No such file"), std::string::npos) << missing.open_error();
    EXPECT_FALSE(missing.next_line());
    capture_file_reader_t directory(dir.path);
    EXPECT_NE(directory.open_error().find("directory"), std::string::npos);
    spit(dir.path / "g.gz", std::string("\x1f\x8b\x08\x00 and so on", 14));
    got = read_file(dir.path / "g.gz");
    EXPECT_TRUE(got.lines.empty());
    EXPECT_NE(got.error.find("gzip"), std::string::npos) << got.error;
    spit(dir.path / "empty", "");
    got = read_file(dir.path / "empty");
    EXPECT_TRUE(got.lines.empty());
    EXPECT_EQ(got.error, "");
}

TEST(capture_file, cut_and_damaged_files_give_every_line_before_the_damage_and_say_where) {
    temp_dir_t dir;
    const auto lines = capture_lines(6000, 7);
    const framed_t f = compress_in_groups(lines, 10);
    const fs::path p = dir.path / "c.zst";

    // Cut inside the 8th block: every line of the first 7 comes back, no
    // part of a line, and the message names the byte and the line.
    const std::size_t cut = (f.group_end[6] + f.group_end[7]) / 2;
    spit(p, std::string_view(f.bytes).substr(0, cut));
    read_t got = read_file(p);
    ASSERT_GE(got.lines.size(), f.lines_through[6]);
    ASSERT_LT(got.lines.size(), lines.size());
    EXPECT_TRUE(std::equal(got.lines.begin(), got.lines.end(), lines.begin()));
    EXPECT_NE(got.error.find("cut short after byte " + std::to_string(cut)), std::string::npos) << got.error;
    // The 8th group begins with a whole line, so the cut falls after one.
    EXPECT_NE(got.error.find("after line " + std::to_string(got.lines.size())), std::string::npos) << got.error;

    // Cut exactly after a block: nothing is lost, and it still says the
    // frame never ended (a recording that was killed).
    spit(p, std::string_view(f.bytes).substr(0, f.group_end[3]));
    got = read_file(p);
    EXPECT_EQ(got.lines.size(), f.lines_through[3]);
    EXPECT_NE(got.error.find("after line " + std::to_string(f.lines_through[3])), std::string::npos) << got.error;

    // Every cut position in a smaller file: always a prefix of the lines,
    // always a message (a cut inside the frame's header included).
    const auto few = capture_lines(40, 3);
    const framed_t small = compress_in_groups(few, 4);
    for (std::size_t n = 4; n < small.bytes.size(); ++n) {
        spit(p, std::string_view(small.bytes).substr(0, n));
        got = read_file(p);
        ASSERT_LE(got.lines.size(), few.size());
        EXPECT_TRUE(std::equal(got.lines.begin(), got.lines.end(), few.begin())) << "cut at " << n;
        EXPECT_NE(got.error.find("cut short"), std::string::npos) << "cut at " << n;
    }

    // Damaged bytes in the 8th block: the first 6 blocks read exactly, then
    // a message with the position; nothing is read after the damage.
    for (const std::size_t at : {f.group_end[6] + 5, (f.group_end[6] + f.group_end[7]) / 2, f.bytes.size() - 2}) {
        std::string bad = f.bytes;
        bad[at] = static_cast<char>(bad[at] ^ 0x5a);
        spit(p, bad);
        got = read_file(p);
        ASSERT_GE(got.lines.size(), f.lines_through[5]) << "damage at " << at;
        EXPECT_TRUE(std::equal(lines.begin(), lines.begin() + static_cast<long>(f.lines_through[5]), got.lines.begin()));
        EXPECT_NE(got.error.find("damaged near byte"), std::string::npos) << got.error;
    }

    // Junk after a complete frame: all its lines, then the damage.
    spit(p, f.bytes + "junk after the frame");
    got = read_file(p);
    EXPECT_EQ(got.lines, lines);
    EXPECT_NE(got.error.find("damaged near byte"), std::string::npos) << got.error;

    // A bad line and a wrong header inside a compressed capture are the
    // capture reader's to report, with their line numbers; the rest reads.
    auto with_bad = capture_lines(100, 5);
    with_bad[40] = R"({"t":0.04,"rx":"cut sh)";
    spit(p, compress_in_groups(with_bad, 2).bytes);
    capture_file_reader_t r(p);
    capture_reader_t cr;
    int entries = 0;
    std::vector<std::string> errors;
    while (auto line = r.next_line()) {
        const auto res = cr.read_line(*line);
        if (res == capture_reader_t::result_t::entry) ++entries;
        if (res == capture_reader_t::result_t::error) errors.push_back(cr.error());
    }
    EXPECT_EQ(entries, 98);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("line 41: ", 0), 0u) << errors[0];

    auto wrong = capture_lines(3);
    wrong[0] = R"({"capture":"one","start":"2026-12-07T06:50:12Z"})";
    spit(p, compress_in_groups(wrong, 1).bytes);
    capture_file_reader_t wr(p);
    capture_reader_t wcr;
    EXPECT_EQ(wcr.read_line(*wr.next_line()), capture_reader_t::result_t::error);
    EXPECT_EQ(wcr.error().rfind("line 1: ", 0), 0u) << wcr.error();
}

TEST(capture_file, a_file_being_written_reads_to_its_last_flush_and_a_full_disk_is_reported_once) {
    temp_dir_t dir;
    manual_clock_t clock;
    manual_main_queue_t main(clock);
    const auto lines = capture_lines(300);
    {
        // While the writer runs (as when its process is killed), the file
        // holds whole blocks: every line handed over before the last flush.
        const fs::path p = dir.path / "live.zst";
        capture_file_writer_t w(p, main, nullptr, {.flush_seconds = 0.1});
        for (const auto& l : lines) w.write(l + "\n");
        ASSERT_TRUE(wait_until([&] { return fs::exists(p) && read_file(p).lines.size() == lines.size(); }));
        const read_t got = read_file(p);
        EXPECT_EQ(got.lines, lines);
        EXPECT_NE(got.error.find("cut short"), std::string::npos) << got.error;
        EXPECT_FALSE(w.finished());
        w.close();
        EXPECT_EQ(read_file(p).error, "");
    }
    {
        std::vector<std::string> errors;
        capture_file_writer_t w("/dev/full", main, [&](const std::string& m) { errors.push_back(m); },
                                {.flush_seconds = 0.05});
        for (const auto& l : lines) w.write(l + "\n");
        ASSERT_TRUE(wait_until([&] { return w.failed(); }));
        for (const auto& l : lines) w.write(l + "\n");  // dropped, no second report
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        w.close();
        EXPECT_EQ(main.run_pending(), 1u);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find("No space left on device"), std::string::npos) << errors[0];
        EXPECT_EQ(w.error(), errors[0]);
    }
    {
        std::vector<std::string> errors;
        capture_file_writer_t w(dir.path / "no" / "such" / "dir.zst", main,
                                [&](const std::string& m) { errors.push_back(m); }, {});
        w.write(lines[0] + "\n");
        w.close();
        main.run_pending();
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find("cannot create"), std::string::npos) << errors[0];
    }
    {
        // More waiting than the bound: fails rather than grow without end.
        std::vector<std::string> errors;
        capture_file_writer_t w(dir.path / "slow.zst", main, [&](const std::string& m) { errors.push_back(m); },
                                {.max_queued = 1000});
        std::string big(2000, 'x');
        big += '\n';
        w.write(big);
        EXPECT_TRUE(w.failed());
        w.close();
        main.run_pending();
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find("fast enough"), std::string::npos);
    }
    {
        // Closed in the background: the main thread does not wait, the file ends.
        const fs::path p = dir.path / "bg.zst";
        auto w = std::make_unique<capture_file_writer_t>(p, main, nullptr, capture_file_writer_t::options_t{});
        for (const auto& l : lines) w->write(l + "\n");
        close_in_background(std::move(w));
        ASSERT_TRUE(wait_for_background_closes(20));
        const read_t got = read_file(p);
        EXPECT_EQ(got.lines, lines);
        EXPECT_EQ(got.error, "");
    }
}
