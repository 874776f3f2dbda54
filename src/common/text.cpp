#include "common/text.hpp"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <ctime>

namespace plimsy {

std::string cformat(const char* format, ...) {
    char small[128];
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string out;
    if (n < 0) {
        va_end(copy);
        return out;
    }
    if (static_cast<std::size_t>(n) < sizeof small) {
        out.assign(small, static_cast<std::size_t>(n));
    } else {
        out.resize(static_cast<std::size_t>(n));
        std::vsnprintf(out.data(), out.size() + 1, format, copy);
    }
    va_end(copy);
    return out;
}

namespace {
template <typename T>
void append_shortest_impl(std::string& out, T value) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    if (ec != std::errc()) return;
    std::string_view text(buf, static_cast<std::size_t>(end - buf));
    out += text;
    // Whole finite values get ".0" so they read as floating point.
    if (std::isfinite(value) && text.find_first_of(".eE") == std::string_view::npos) out += ".0";
}
}  // namespace

void append_shortest(std::string& out, float value) { append_shortest_impl(out, value); }

std::string shortest(float value) {
    std::string out;
    append_shortest_impl(out, value);
    return out;
}

std::string xyz_debug_text(float x, float y, float z) {
    std::string out = "{ x: ";
    append_shortest(out, x);
    out += ", y: ";
    append_shortest(out, y);
    out += ", z: ";
    append_shortest(out, z);
    out += " }";
    return out;
}

std::string shortest(double value) {
    std::string out;
    append_shortest_impl(out, value);
    return out;
}

std::string timestamp(time_point_t t) {
    const std::time_t seconds = static_cast<std::time_t>(std::floor(t));
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char buf[64];
    const std::size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S +0000", &tm);
    return std::string(buf, n);
}

namespace {
// Length of the well-formed UTF-8 sequence at p (1 to 4), or 0 if ill-formed.
std::size_t utf8_sequence(const unsigned char* p, std::size_t left) {
    const unsigned char c = p[0];
    if (c < 0x80) return 1;
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (left < len) return 0;
    if (p[1] < lo || p[1] > hi) return 0;
    for (std::size_t i = 2; i < len; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF) return 0;
    return len;
}
}  // namespace

bool valid_utf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t i = 0, n = bytes.size();
    while (i < n) {
        // Fast path over ASCII, eight bytes at a time.
        while (i + 8 <= n) {
            std::uint64_t word;
            __builtin_memcpy(&word, p + i, 8);
            if (word & 0x8080808080808080ull) break;
            i += 8;
        }
        if (i >= n) break;
        const std::size_t len = utf8_sequence(p + i, n - i);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::string utf8_with_replacements(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t i = 0, n = bytes.size();
    while (i < n) {
        const std::size_t len = utf8_sequence(p + i, n - i);
        if (len == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(bytes.substr(i, len));
            i += len;
        }
    }
    return out;
}

void append_json_escaped(std::string& out, std::string_view text) {
    static const char hex[] = "0123456789abcdef";
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    out += hex[c >> 4];
                    out += hex[c & 15];
                } else {
                    out += ch;
                }
        }
    }
}

}  // namespace plimsy
