// Reads inputs as capture files: plain, zstd-compressed, and compressed
// then cut or damaged, through capture_file_reader_t, and every line
// through capture_reader_t, the way decode and replay read a file.
//
// Input layout: one mode byte, then the body.
//   mode % 4 == 0: the body is the file as it is (plain text, or zstd bytes
//                  from the corpus: a decoder fed damage of every kind)
//   mode % 4 == 1: the body compressed; must read back exactly
//   mode % 4 == 2: the body compressed, then cut (at a point from the mode
//                  byte's top bits and the body's length); past the
//                  magic, must read a prefix of its lines and say where
//                  it stopped
//   mode % 4 == 3: the body compressed, one byte flipped; the lines that
//                  come back before the damage must be whole lines of the body

#include <zstd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "capture/capture.hpp"
#include "capture/capture_file.hpp"

extern "C" const char* __asan_default_options() { return "quarantine_size_mb=16"; }

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "capture reader invariant broken: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what) {
    if (!ok) fail(what);
}

// The body's lines by the reader's rule: LF ends a line, a last line
// without one is a line.
std::vector<std::string_view> lines_of(std::string_view text) {
    std::vector<std::string_view> out;
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        out.push_back(text.substr(0, lf));
        text = lf == std::string_view::npos ? std::string_view{} : text.substr(lf + 1);
    }
    return out;
}

struct result_t {
    std::vector<std::string> lines;
    std::string error;
};

result_t read(std::string& bytes) {
    result_t r;
    std::FILE* f = ::fmemopen(bytes.empty() ? nullptr : bytes.data(), bytes.size(), "rb");
    if (!f) return r;
    {
        plimsy::capture_file_reader_t file(f);
        plimsy::capture_reader_t reader;
        while (auto line = file.next_line()) {
            r.lines.emplace_back(*line);
            switch (reader.read_line(*line)) {
                case plimsy::capture_reader_t::result_t::header:
                    check(reader.has_header(), "a header is kept");
                    break;
                case plimsy::capture_reader_t::result_t::entry:
                    check(reader.entry().t == reader.entry().t, "t is a number");
                    break;
                case plimsy::capture_reader_t::result_t::error:
                    check(!reader.error().empty(), "an error says what");
                    check(reader.error_line() == reader.line_number(), "an error names its line");
                    break;
                case plimsy::capture_reader_t::result_t::skipped: break;
            }
        }
        check(file.line_number() == r.lines.size(), "line count");
        r.error = file.error();
    }
    std::fclose(f);
    return r;
}

std::string compress(std::string_view body) {
    std::string out(ZSTD_compressBound(body.size()), '\0');
    ZSTD_CCtx* c = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(c, ZSTD_c_checksumFlag, 1);
    const std::size_t n = ZSTD_compress2(c, out.data(), out.size(), body.data(), body.size());
    ZSTD_freeCCtx(c);
    check(!ZSTD_isError(n), "compression");
    out.resize(n);
    return out;
}

bool is_prefix(const std::vector<std::string>& got, const std::vector<std::string_view>& want) {
    if (got.size() > want.size()) return false;
    for (std::size_t i = 0; i < got.size(); ++i)
        if (got[i] != want[i]) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned mode = data[0];
    const std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);
    const auto want = lines_of(body);
    std::string bytes;
    switch (mode % 4) {
        case 0: {
            bytes.assign(body);
            const result_t r = read(bytes);
            // Plain text (no zstd or gzip magic) reads back exactly.
            const bool magic = body.size() >= 2 && (static_cast<unsigned char>(body[0]) == 0x1f ||
                                                     static_cast<unsigned char>(body[0]) == 0x28 ||
                                                     (static_cast<unsigned char>(body[0]) & 0xf0) == 0x50);
            if (!magic) {
                check(r.error.empty(), "plain text has no error");
                check(is_prefix(r.lines, want) && r.lines.size() == want.size(), "plain text reads back");
            }
            break;
        }
        case 1: {
            bytes = compress(body);
            const result_t r = read(bytes);
            check(r.error.empty(), "a whole frame has no error");
            check(is_prefix(r.lines, want) && r.lines.size() == want.size(), "a whole frame reads back");
            break;
        }
        case 2: {
            bytes = compress(body);
            const std::size_t cut = bytes.size() <= 1 ? 0 : (mode >> 2) * 7919u % bytes.size();
            bytes.resize(cut);
            const result_t r = read(bytes);
            // Fewer than the four bytes of zstd's magic are plain text.
            if (cut >= 4) {
                check(is_prefix(r.lines, want), "a cut frame gives a prefix of the lines");
                check(!r.error.empty(), "a cut frame says so");
            }
            break;
        }
        case 3: {
            bytes = compress(body);
            const std::size_t at = (mode >> 2) * 7919u % bytes.size();
            bytes[at] = static_cast<char>(bytes[at] ^ (1 + (mode >> 5)));
            const result_t r = read(bytes);
            // Damage may pass zstd's block checks and come out as other
            // bytes until the checksum at the end catches it; the damage can
            // also hit the magic, making the rest plain text. Either way
            // nothing crashes, and a compressed read that completes without
            // an error is the exact body.
            if (r.error.empty() && at >= 4) check(r.lines.size() == want.size(), "undetected damage");
            break;
        }
    }
    return 0;
}
