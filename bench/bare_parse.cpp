// The floor for "plimsy-cli decode --summary": the same input read the same
// way (large blocks, split at line feeds) with nothing done per line but one
// simdjson DOM parse. Whole lines for a capture; with --raw, the JSON after
// the first "=" of each line, which is what decoding a board's line parses.
//
// usage: bench_bare_parse [--raw] FILE
// prints {"lines":N,"parsed":N,"seconds":S,"lines_per_second":R}

#include <simdjson.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

int main(int argc, char** argv) {
    bool raw = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--raw") == 0) raw = true;
        else path = argv[i];
    }
    if (!path) {
        std::fputs("usage: bench_bare_parse [--raw] FILE\n", stderr);
        return 2;
    }
    std::FILE* in = std::fopen(path, "rb");
    if (!in) {
        std::perror(path);
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    simdjson::dom::parser parser;
    std::size_t capacity = 1 << 12;
    auto padded = std::make_unique<char[]>(capacity + simdjson::SIMDJSON_PADDING);
    std::uint64_t lines = 0, parsed = 0;
    auto parse = [&](std::string_view line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) return;
        ++lines;
        if (raw) {
            const std::size_t eq = line.find('=');
            if (eq == std::string_view::npos) return;
            line.remove_prefix(eq + 1);
        }
        if (line.size() > capacity) {
            capacity = line.size() * 2;
            padded = std::make_unique<char[]>(capacity + simdjson::SIMDJSON_PADDING);
        }
        std::memcpy(padded.get(), line.data(), line.size());
        std::memset(padded.get() + line.size(), 0, simdjson::SIMDJSON_PADDING);
        simdjson::dom::element e;
        if (parser.parse(padded.get(), line.size(), false).get(e) == simdjson::SUCCESS) ++parsed;
    };
    std::vector<char> buf(1 << 16);
    std::string carry;
    while (const std::size_t n = std::fread(buf.data(), 1, buf.size(), in)) {
        std::string_view chunk(buf.data(), n);
        std::size_t from = 0;
        for (std::size_t lf; (lf = chunk.find('\n', from)) != std::string_view::npos; from = lf + 1) {
            if (carry.empty()) {
                parse(chunk.substr(from, lf - from));
            } else {
                carry.append(chunk.substr(from, lf - from));
                parse(carry);
                carry.clear();
            }
        }
        carry.append(chunk.substr(from));
    }
    parse(carry);
    std::fclose(in);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("{\"lines\":%llu,\"parsed\":%llu,\"seconds\":%.6f,\"lines_per_second\":%.0f}\n",
                static_cast<unsigned long long>(lines), static_cast<unsigned long long>(parsed), seconds,
                seconds > 0 ? static_cast<double>(lines) / seconds : 0.0);
    return 0;
}
