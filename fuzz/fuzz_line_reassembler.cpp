// Feeds chunks cut from the input into line_reassembler_t the way the
// transports do and compares what comes out with a byte-at-a-time model.
//
// Input layout: one flag byte (bit 0: empty_lines, bit 1: allow inflated
// chunks), then chunks, each a header byte and its payload. The header's low
// six bits are the payload length; the top two bits set to 11 (with inflation
// allowed) repeat the payload to well past the incomplete-line limit, so the
// drop path is reached without megabyte inputs. Only the first such chunk of
// an input is inflated, and only if it has no line ends (tens of thousands of
// lines per execution would only measure the allocator).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <simdjson.h>

#include "transport/line_reassembler.hpp"

namespace {

using plimsy::line_reassembler_t;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "line reassembler invariant broken: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what) {
    if (!ok) fail(what);
}

// The rules restated one byte at a time: LF ends the current line; a CR ends
// it only as the last byte of a chunk (and only if something is pending, so
// a CR after a LF adds nothing); any other CR is dropped. After each chunk an
// incomplete line over the limit is discarded, and so is the rest of that
// line up to its line end; a complete line over the limit is discarded too.
class reference_t {
public:
    // One model serves every execution, so its buffer is allocated once:
    // a fresh 64 KiB one per input costs more than the input itself.
    reference_t() { cur_.reserve(inflated_max + max_input); }

    void start(bool empty_lines) {
        empty_lines_ = empty_lines;
        dropping_ = false;
        dropped_complete_ = 0;
        cur_.clear();
    }

    // The longest inflated chunk, and a bound on what all other chunks of
    // one input add (libFuzzer's default -max_len is 4096).
    static constexpr std::size_t inflated_max = line_reassembler_t::max_incomplete + 1024 + 64;
    static constexpr std::size_t max_input = 64 * 1024;

    void chunk(std::string_view text, std::vector<std::string>& out, std::size_t& dropped) {
        out.clear();
        dropped_complete_ = 0;
        // Runs of ordinary bytes are copied whole: inflated chunks are long,
        // and a per-byte loop would dominate the execution time.
        std::size_t i = 0;
        std::size_t lf = text.find('\n');
        std::size_t cr = text.find('\r');
        while (i < text.size()) {
            if (lf < i) lf = text.find('\n', i);
            if (cr < i) cr = text.find('\r', i);
            const std::size_t stop = std::min({lf, cr, text.size()});
            if (!dropping_) cur_.append(text.substr(i, stop - i));
            if (stop == text.size()) break;
            const bool line_end = text[stop] == '\n' || stop + 1 == text.size();
            if (dropping_ && line_end)
                dropping_ = false;
            else if (text[stop] == '\n')
                emit(out);
            else if (stop + 1 == text.size() && !cur_.empty())
                emit(out);
            i = stop + 1;
        }
        dropped = dropped_complete_;
        if (cur_.size() > line_reassembler_t::max_incomplete) {
            dropped += cur_.size();
            cur_.clear();
            dropping_ = true;
        }
    }

    const std::string& pending() const { return cur_; }

private:
    void emit(std::vector<std::string>& out) {
        if (cur_.size() > line_reassembler_t::max_incomplete)
            dropped_complete_ += cur_.size();
        else if (empty_lines_ || !cur_.empty())
            out.push_back(cur_);
        cur_.clear();
    }

    bool empty_lines_ = false;
    bool dropping_ = false;
    std::size_t dropped_complete_ = 0;
    std::string cur_;
};

// Buffers kept from one execution to the next; each execution clears them.
struct buffers_t {
    reference_t reference;
    std::vector<std::string> expected;
    std::string chunk;
    buffers_t() { chunk.reserve(reference_t::inflated_max); }
};

}  // namespace

// AddressSanitizer holds freed memory back for 256 MiB by default before
// reusing it, so every execution's large buffers land on fresh pages and
// pay their page faults. One execution frees far less than this, so a
// use after free within it is still caught.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=16"; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const bool empty_lines = (data[0] & 1) != 0;
    const bool inflate = (data[0] & 2) != 0;

    static buffers_t buffers;
    reference_t& reference = buffers.reference;
    std::vector<std::string>& expected = buffers.expected;
    std::string& chunk = buffers.chunk;
    reference.start(empty_lines);

    line_reassembler_t reassembler;
    reassembler.empty_lines = empty_lines;
    bool binary = false;
    bool inflated = false;

    std::size_t pos = 1;
    while (pos < size) {
        const std::uint8_t header = data[pos++];
        const std::size_t len = std::min<std::size_t>(header & 0x3F, size - pos);
        const std::string_view payload(reinterpret_cast<const char*>(data + pos), len);
        chunk.assign(payload);
        pos += len;
        if (inflate && !inflated && (header & 0xC0) == 0xC0 && len > 0 &&
            chunk.find_first_of("\r\n") == std::string::npos) {
            inflated = true;
            // Doubled, but cut at the target so that the chunk stays inside
            // its buffer: overshooting to 128 KiB went past the allocator's
            // size classes and cost an mmap and its page faults in every
            // inflated execution.
            const std::size_t target = line_reassembler_t::max_incomplete + 1024;
            while (chunk.size() < target) chunk.append(chunk, 0, std::min(chunk.size(), target - chunk.size()));
        }

        if (!simdjson::validate_utf8(chunk.data(), chunk.size())) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(chunk.data());
            const bool keep_alive = (chunk.size() == 1 && (bytes[0] == 0x00 || bytes[0] == 0xFF)) ||
                                    (chunk.size() == 2 && bytes[0] == 0x00 && bytes[1] == 0xFF);
            bool was = binary;
            plimsy::binary_check(std::span<const std::uint8_t>(bytes, chunk.size()), binary);
            check(binary == (was || !keep_alive), "binary_check verdict");
            continue;
        }

        const std::vector<std::string_view>& lines = reassembler.split_lines(chunk);
        std::size_t ref_dropped = 0;
        reference.chunk(chunk, expected, ref_dropped);

        for (std::string_view line : lines) {
            check(line.find('\n') == std::string_view::npos, "line contains LF");
            check(line.find('\r') == std::string_view::npos, "line contains CR");
            check(empty_lines || !line.empty(), "empty line delivered");
        }
        check(reassembler.rem().size() <= line_reassembler_t::max_incomplete, "incomplete line over the limit");
        check(reassembler.rem().find('\n') == std::string::npos, "incomplete line contains LF");

        // With empty lines on, an empty piece just before an incomplete line
        // is dropped, so the result depends on where chunks are cut; the
        // model only speaks for the default mode.
        if (!empty_lines) {
            check(lines.size() == expected.size(), "line count differs from the model");
            for (std::size_t i = 0; i < lines.size(); ++i) check(lines[i] == expected[i], "line differs from the model");
        }
        check(reassembler.rem() == reference.pending(), "incomplete line differs from the model");
        check(reassembler.dropped() == (ref_dropped > 0), "drop flag differs from the model");
        check(reassembler.dropped_size() == ref_dropped, "dropped size differs from the model");
    }

    reassembler.reset();
    check(reassembler.rem().empty() && !reassembler.dropped(), "reset leaves state behind");
    check(reassembler.split_lines("x\n").size() == 1, "reassembler unusable after reset");
    return 0;
}
