#include "capture/capture.hpp"

#include <simdjson.h>

#include <array>
#include <charconv>
#include <cstdint>
#include <cmath>
#include <cstring>

#include "common/text.hpp"

namespace plimsy {

// ---- Writing -------------------------------------------------------------

void append_seconds(std::string& out, double seconds) {
    if (!std::isfinite(seconds)) seconds = 0;  // never written by a clock, but the line must stay JSON
    // Plain decimals for the times a capture holds ("0.0005", not "5e-04"),
    // still the shortest that reads back exactly.
    const double magnitude = std::abs(seconds);
    const bool plain = magnitude == 0 || (magnitude >= 1e-6 && magnitude < 1e15);
    char buf[64];
    const auto [end, ec] = plain ? std::to_chars(buf, buf + sizeof buf, seconds, std::chars_format::fixed)
                                 : std::to_chars(buf, buf + sizeof buf, seconds);
    if (ec == std::errc()) out.append(buf, end);
}

namespace {

void append_quoted(std::string& out, std::string_view text) {
    out += '"';
    if (valid_utf8(text)) append_json_escaped(out, text);
    else append_json_escaped(out, utf8_with_replacements(text));  // settings texts only; bytes go as base64
    out += '"';
}

void append_setting(std::string& out, const setting_value_t& value) {
    std::visit(
        [&](const auto& v) {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, bool>) {
                out += v ? "true" : "false";
            } else if constexpr (std::is_same_v<V, std::int64_t>) {
                out += std::to_string(v);
            } else if constexpr (std::is_same_v<V, std::string>) {
                append_quoted(out, v);
            } else if constexpr (std::is_same_v<V, std::vector<std::string>>) {
                out += '[';
                for (std::size_t i = 0; i < v.size(); ++i) {
                    if (i) out += ',';
                    append_quoted(out, v[i]);
                }
                out += ']';
            } else {
                out += '[';
                for (std::size_t i = 0; i < v.size(); ++i) {
                    if (i) out += ',';
                    out += std::to_string(v[i]);
                }
                out += ']';
            }
        },
        value);
}

void append_bytes_entry(std::string& out, double t, std::string_view member, std::string_view bytes) {
    out += "{\"t\":";
    append_seconds(out, t);
    out += ",\"";
    out += member;
    if (valid_utf8(bytes)) {
        out += "\":\"";
        append_json_escaped(out, bytes);
    } else {
        out += "_b64\":\"";
        out += base64_encode(bytes);
    }
    out += "\"}\n";
}

}  // namespace

void append_capture_header(std::string& out, const capture_header_t& header) {
    out += "{\"capture\":";
    out += std::to_string(header.version);
    out += ",\"start\":";
    append_quoted(out, header.start);
    out += ",\"link\":";
    append_quoted(out, header.link);
    out += ",\"settings\":{";
    bool first = true;
    for (const auto& [key, value] : header.settings) {
        if (!first) out += ',';
        first = false;
        append_quoted(out, key);
        out += ':';
        append_setting(out, value);
    }
    out += "}}\n";
}

void append_capture_rx(std::string& out, double t, std::string_view bytes) { append_bytes_entry(out, t, "rx", bytes); }

void append_capture_tx(std::string& out, double t, std::string_view bytes) { append_bytes_entry(out, t, "tx", bytes); }

void append_capture_arg(std::string& out, const capture_arg_t& arg) {
    std::visit(
        [&](const auto& v) {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, std::monostate>) {
                return;
            } else {
                out += ",\"arg\":";
                if constexpr (std::is_same_v<V, bool>) out += v ? "true" : "false";
                else if constexpr (std::is_same_v<V, std::int64_t>) out += std::to_string(v);
                else if constexpr (std::is_same_v<V, double>) {
                    if (std::isfinite(v)) append_seconds(out, v);
                    else out += "null";
                } else append_quoted(out, v);
            }
        },
        arg);
}

void append_capture_action(std::string& out, double t, std::string_view name, const capture_arg_t& arg) {
    out += "{\"t\":";
    append_seconds(out, t);
    out += ",\"action\":";
    append_quoted(out, name);
    append_capture_arg(out, arg);
    out += "}\n";
}

void append_capture_entry(std::string& out, const capture_entry_t& entry) {
    switch (entry.kind) {
        case capture_entry_t::kind_t::rx: append_capture_rx(out, entry.t, entry.data); break;
        case capture_entry_t::kind_t::tx: append_capture_tx(out, entry.t, entry.data); break;
        case capture_entry_t::kind_t::action: append_capture_action(out, entry.t, entry.data, entry.arg); break;
        case capture_entry_t::kind_t::other: break;  // nothing this version could write
    }
}

// ---- Time ----------------------------------------------------------------

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civil_from_days(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

bool digits(std::string_view s, std::size_t pos, std::size_t n, int& value) {
    if (pos + n > s.size()) return false;
    value = 0;
    for (std::size_t i = pos; i < pos + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

}  // namespace

std::string iso8601_utc(time_point_t t) {
    // Whole milliseconds, rounded, so 0.9995 s does not print as ".1000".
    const auto ms = static_cast<std::int64_t>(std::llround(t * 1000.0));
    std::int64_t days = ms / 86'400'000;
    std::int64_t rest = ms % 86'400'000;
    if (rest < 0) {
        rest += 86'400'000;
        --days;
    }
    std::int64_t y;
    unsigned m, d;
    civil_from_days(days, y, m, d);
    return cformat("%04lld-%02u-%02uT%02lld:%02lld:%02lld.%03lldZ", static_cast<long long>(y), m, d,
                   static_cast<long long>(rest / 3'600'000), static_cast<long long>(rest / 60'000 % 60),
                   static_cast<long long>(rest / 1000 % 60), static_cast<long long>(rest % 1000));
}

std::optional<time_point_t> parse_iso8601(std::string_view s) {
    int y, mo, d, h, mi, se;
    if (!digits(s, 0, 4, y) || s.size() < 19 || s[4] != '-' || !digits(s, 5, 2, mo) || s[7] != '-' ||
        !digits(s, 8, 2, d) || (s[10] != 'T' && s[10] != 't' && s[10] != ' ') || !digits(s, 11, 2, h) ||
        s[13] != ':' || !digits(s, 14, 2, mi) || s[16] != ':' || !digits(s, 17, 2, se))
        return std::nullopt;
    static constexpr int month_days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (mo < 1 || mo > 12 || d < 1 || d > month_days[mo - 1] || h > 23 || mi > 59 || se > 60) return std::nullopt;
    std::size_t pos = 19;
    double fraction = 0;
    if (pos < s.size() && (s[pos] == '.' || s[pos] == ',')) {
        double scale = 0.1;
        std::size_t n = 0;
        for (++pos; pos < s.size() && s[pos] >= '0' && s[pos] <= '9'; ++pos, ++n) {
            fraction += (s[pos] - '0') * scale;
            scale *= 0.1;
        }
        if (n == 0) return std::nullopt;
    }
    int offset = 0;
    if (pos < s.size() && (s[pos] == 'Z' || s[pos] == 'z')) {
        ++pos;
    } else if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) {
        int oh, om;
        if (!digits(s, pos + 1, 2, oh) || pos + 3 >= s.size() || s[pos + 3] != ':' || !digits(s, pos + 4, 2, om) ||
            oh > 23 || om > 59)
            return std::nullopt;
        offset = (s[pos] == '-' ? -1 : 1) * (oh * 3600 + om * 60);
        pos += 6;
    } else {
        return std::nullopt;  // a time without a zone is not an instant
    }
    if (pos != s.size()) return std::nullopt;
    const std::int64_t days = days_from_civil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
    return static_cast<double>(days * 86400 + h * 3600 + mi * 60 + se - offset) + fraction;
}

// ---- Base64 --------------------------------------------------------------

namespace {
constexpr char b64_alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int b64_value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}
}  // namespace

std::string base64_encode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned v = at(i) << 16 | at(i + 1) << 8 | at(i + 2);
        out += b64_alphabet[v >> 18];
        out += b64_alphabet[v >> 12 & 63];
        out += b64_alphabet[v >> 6 & 63];
        out += b64_alphabet[v & 63];
    }
    if (bytes.size() - i == 1) {
        const unsigned v = at(i) << 16;
        out += b64_alphabet[v >> 18];
        out += b64_alphabet[v >> 12 & 63];
        out += "==";
    } else if (bytes.size() - i == 2) {
        const unsigned v = at(i) << 16 | at(i + 1) << 8;
        out += b64_alphabet[v >> 18];
        out += b64_alphabet[v >> 12 & 63];
        out += b64_alphabet[v >> 6 & 63];
        out += '=';
    }
    return out;
}

std::optional<std::string> base64_decode(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::string out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const int pad = last ? (text[i + 3] == '=') + (text[i + 2] == '=') : 0;
        if (pad == 1 && text[i + 2] == '=') return std::nullopt;  // "x=y=" is no padding
        int v[4];
        for (int k = 0; k < 4 - pad; ++k)
            if ((v[k] = b64_value(text[i + static_cast<std::size_t>(k)])) < 0) return std::nullopt;
        for (int k = 4 - pad; k < 4; ++k) v[k] = 0;
        const unsigned n = static_cast<unsigned>(v[0] << 18 | v[1] << 12 | v[2] << 6 | v[3]);
        out += static_cast<char>(n >> 16);
        if (pad < 2) out += static_cast<char>(n >> 8 & 255);
        if (pad < 1) out += static_cast<char>(n & 255);
        // Bits the padding leaves over must be zero, or two texts would give the same bytes.
        if ((pad == 1 && (n & 255) != 0) || (pad == 2 && (n & 0xffff) != 0)) return std::nullopt;
    }
    return out;
}

// ---- Reading -------------------------------------------------------------

bool looks_like_capture_header(std::string_view line) {
    if (line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);  // a byte order mark some editors add
    std::size_t i = 0;
    auto skip_blanks = [&] {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    };
    skip_blanks();
    if (i >= line.size() || line[i] != '{') return false;
    ++i;
    skip_blanks();
    return line.substr(i, 9) == "\"capture\"";
}

struct capture_reader_t::impl_t {
    simdjson::dom::parser parser;
    std::unique_ptr<char[]> buffer;
    std::size_t capacity = 0;

    simdjson::error_code parse(std::string_view line, simdjson::dom::element& root) {
        if (line.size() + simdjson::SIMDJSON_PADDING > capacity) {
            capacity = (line.size() + simdjson::SIMDJSON_PADDING) * 2;
            buffer = std::make_unique<char[]>(capacity);
        }
        std::memcpy(buffer.get(), line.data(), line.size());
        std::memset(buffer.get() + line.size(), 0, simdjson::SIMDJSON_PADDING);
        return parser.parse(buffer.get(), line.size(), false).get(root);
    }
};

capture_reader_t::capture_reader_t() : impl_(std::make_unique<impl_t>()) {}
capture_reader_t::~capture_reader_t() = default;

capture_reader_t::result_t capture_reader_t::fail(std::string reason) {
    error_line_ = line_number_;
    error_ = "line " + std::to_string(line_number_) + ": " + std::move(reason);
    return result_t::error;
}

namespace {

const char* json_error_text(simdjson::error_code e) {
    switch (e) {
        case simdjson::TAPE_ERROR:
        case simdjson::INCOMPLETE_ARRAY_OR_OBJECT: return "not whole JSON (cut short?)";
        case simdjson::UNCLOSED_STRING: return "a text is not closed (cut short?)";
        case simdjson::UTF8_ERROR: return "not valid UTF-8";
        default: return simdjson::error_message(e);
    }
}

// The stored value for a header setting, or the reason it cannot be one.
std::optional<setting_value_t> setting_from_json(simdjson::dom::element v, std::string& why) {
    using simdjson::dom::element_type;
    switch (v.type()) {
        case element_type::BOOL: return setting_value_t(bool(v.get_bool().value_unsafe()));
        case element_type::INT64: return setting_value_t(std::int64_t(v.get_int64().value_unsafe()));
        case element_type::STRING: return setting_value_t(std::string(v.get_string().value_unsafe()));
        case element_type::ARRAY: {
            std::vector<std::string> texts;
            std::vector<std::int64_t> numbers;
            simdjson::dom::array array;
            if (v.get_array().get(array)) {
                why = "not an array";
                return std::nullopt;
            }
            for (simdjson::dom::element e : array) {
                if (e.type() == element_type::STRING && numbers.empty()) {
                    texts.emplace_back(e.get_string().value_unsafe());
                } else if (e.type() == element_type::INT64 && texts.empty()) {
                    numbers.push_back(e.get_int64().value_unsafe());
                } else {
                    why = "an array of texts or of whole numbers was expected";
                    return std::nullopt;
                }
            }
            if (!numbers.empty()) return setting_value_t(std::move(numbers));
            return setting_value_t(std::move(texts));
        }
        default:
            why = "a store keeps Booleans, whole numbers, texts and arrays of them";
            return std::nullopt;
    }
}

}  // namespace

capture_reader_t::result_t capture_reader_t::read_header(std::string_view line) {
    simdjson::dom::element root;
    if (auto e = impl_->parse(line, root)) return fail(std::string("header: ") + json_error_text(e));
    simdjson::dom::object object;
    if (root.get_object().get(object)) return fail("header: not a JSON object");
    capture_header_t h;
    h.version = 0;
    for (auto field : object) {
        const std::string_view key = field.key;
        if (key == "capture") {
            std::int64_t v;
            if (field.value.get_int64().get(v) || v < 1) return fail("header: \"capture\" must be a version number");
            h.version = v;
        } else if (key == "start") {
            std::string_view s;
            if (field.value.get_string().get(s)) return fail("header: \"start\" must be a text");
            h.start = s;
        } else if (key == "link") {
            std::string_view s;
            if (field.value.get_string().get(s)) return fail("header: \"link\" must be a text");
            h.link = s;
        } else if (key == "settings") {
            simdjson::dom::object settings;
            if (field.value.get_object().get(settings)) return fail("header: \"settings\" must be an object");
            for (auto s : settings) {
                std::string why;
                if (auto v = setting_from_json(s.value, why))
                    h.settings.emplace_back(std::string(s.key), std::move(*v));
                else
                    dropped_settings_.push_back(std::string(s.key) + ": " + why);
            }
        }
    }
    if (h.version == 0) return fail("header: no \"capture\" version");
    header_ = std::move(h);
    has_header_ = true;
    return result_t::header;
}

namespace {
bool is_digit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

// Nearly every line of a recording has the writer's own shape,
// {"t":1.25,"rx":"..."} (or "tx"), and seeking through an hour of them is
// dominated by reading them: this reads that shape without the JSON
// parser. Anything else (other members or order, blanks, \u escapes, bytes
// beyond ASCII, anything malformed) is left to the parser, so the result is
// always the one the parser gives.
bool capture_reader_t::read_plain_entry(std::string_view line) {
    constexpr std::string_view head = "{\"t\":";
    if (line.substr(0, head.size()) != head) return false;
    const char* p = line.data() + head.size();
    const char* const end = line.data() + line.size();
    // A JSON number, not negative: 0 or 1-9 digits, then .digits, then e[+-]digits.
    const char* const number = p;
    if (p == end) return false;
    if (*p == '0') {
        ++p;
    } else if (*p >= '1' && *p <= '9') {
        while (p != end && is_digit(*p)) ++p;
    } else {
        return false;
    }
    if (p != end && *p == '.') {
        ++p;
        if (p == end || !is_digit(*p)) return false;
        while (p != end && is_digit(*p)) ++p;
    }
    if (p != end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p != end && (*p == '+' || *p == '-')) ++p;
        if (p == end || !is_digit(*p)) return false;
        while (p != end && is_digit(*p)) ++p;
    }
    // Whole numbers past 64 bits are the parser's to refuse.
    const std::string_view digits(number, static_cast<std::size_t>(p - number));
    const std::size_t dot = digits.find('.');
    const bool plain_decimal = digits.find_first_of("eE") == std::string_view::npos;
    if (digits.size() > 18 && plain_decimal && dot == std::string_view::npos) return false;
    double t = 0;
    if (plain_decimal && digits.size() <= 16 && digits.size() - (dot == std::string_view::npos ? 0 : 1) <= 15) {
        // Up to 15 digits make an integer a double holds exactly, and a
        // power of ten up to 10^15 is exact too, so one division gives the
        // correctly rounded value, as the parser's would.
        std::uint64_t m = 0;
        int decimals = 0;
        for (std::size_t i = 0; i < digits.size(); ++i) {
            if (i == dot) continue;
            m = m * 10 + static_cast<std::uint64_t>(digits[i] - '0');
            if (dot != std::string_view::npos && i > dot) ++decimals;
        }
        static constexpr double powers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        t = static_cast<double>(m) / powers[decimals];
    } else {
        const auto [parsed, ec] = std::from_chars(number, p, t);
        if (ec != std::errc() || parsed != p || !std::isfinite(t)) return false;
    }
    constexpr std::string_view rx = ",\"rx\":\"", tx = ",\"tx\":\"";
    const std::string_view rest(p, static_cast<std::size_t>(end - p));
    capture_entry_t::kind_t kind;
    if (rest.substr(0, rx.size()) == rx) kind = capture_entry_t::kind_t::rx;
    else if (rest.substr(0, tx.size()) == tx) kind = capture_entry_t::kind_t::tx;
    else return false;
    p += rx.size();
    // The text is never longer than the line; written in place, without a
    // check per byte.
    if (bytes_.size() < line.size()) bytes_.resize(line.size());
    char* const out_begin = bytes_.data();
    char* out = out_begin;
    // Bytes that end a run: the quote, the backslash, control characters
    // and anything beyond ASCII (left to the parser).
    static constexpr auto special = [] {
        std::array<bool, 256> s{};
        for (int c = 0; c < 256; ++c) s[static_cast<std::size_t>(c)] = c < 0x20 || c >= 0x80 || c == '"' || c == '\\';
        return s;
    }();
    while (true) {
        const char* run = p;
        while (p != end && !special[static_cast<unsigned char>(*p)]) ++p;
        std::memcpy(out, run, static_cast<std::size_t>(p - run));
        out += p - run;
        if (p == end) return false;
        if (*p == '"') break;
        if (*p != '\\') return false;  // a control character or a byte beyond ASCII
        if (++p == end) return false;
        switch (*p) {
            case '"': *out++ = '"'; break;
            case '\\': *out++ = '\\'; break;
            case '/': *out++ = '/'; break;
            case 'b': *out++ = '\b'; break;
            case 'f': *out++ = '\f'; break;
            case 'n': *out++ = '\n'; break;
            case 'r': *out++ = '\r'; break;
            case 't': *out++ = '\t'; break;
            default: return false;  // \u and anything invalid
        }
        ++p;
    }
    // The closing quote, then the end of the object and of the line.
    if (end - p != 2 || p[1] != '}') return false;
    entry_ = capture_entry_t{};
    entry_.kind = kind;
    entry_.t = t;
    entry_.data = std::string_view(out_begin, static_cast<std::size_t>(out - out_begin));
    return true;
}

capture_reader_t::result_t capture_reader_t::read_line(std::string_view line) {
    ++line_number_;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t") == std::string_view::npos) return result_t::skipped;
    // Only the first line that is not empty may be the header: one that
    // comes later is just an entry without "t".
    // Without one, has_header() stays false and line 1 reads as an entry.
    if (!seen_first_) {
        seen_first_ = true;
        if (line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
        if (looks_like_capture_header(line)) return read_header(line);
    }

    if (read_plain_entry(line)) return result_t::entry;
    simdjson::dom::element root;
    if (auto e = impl_->parse(line, root)) return fail(json_error_text(e));
    simdjson::dom::object object;
    if (root.get_object().get(object)) return fail("not a JSON object");

    entry_ = capture_entry_t{};
    bool has_t = false;
    int kinds = 0;
    simdjson::dom::element arg;
    bool has_arg = false;
    for (auto field : object) {
        const std::string_view key = field.key;
        if (key == "t") {
            double t;
            if (field.value.get_double().get(t) || !std::isfinite(t) || t < 0)
                return fail("\"t\" must be a number of seconds, 0 or more");
            entry_.t = t;
            has_t = true;
        } else if (key == "rx" || key == "tx" || key == "action") {
            std::string_view s;
            if (field.value.get_string().get(s)) return fail("\"" + std::string(key) + "\" must be a text");
            entry_.kind = key == "rx" ? capture_entry_t::kind_t::rx
                          : key == "tx" ? capture_entry_t::kind_t::tx
                                        : capture_entry_t::kind_t::action;
            entry_.data = s;
            ++kinds;
        } else if (key == "rx_b64" || key == "tx_b64") {
            std::string_view s;
            if (field.value.get_string().get(s)) return fail("\"" + std::string(key) + "\" must be a text");
            auto bytes = base64_decode(s);
            if (!bytes) return fail("\"" + std::string(key) + "\" is not base64");
            bytes_ = std::move(*bytes);
            entry_.kind = key == "rx_b64" ? capture_entry_t::kind_t::rx : capture_entry_t::kind_t::tx;
            entry_.data = bytes_;
            ++kinds;
        } else if (key == "arg") {
            arg = field.value;
            has_arg = true;
        }
    }
    if (!has_t) return fail("no \"t\"");
    if (kinds > 1) return fail("more than one of rx, tx, rx_b64, tx_b64, action");
    if (has_arg && entry_.kind == capture_entry_t::kind_t::action) {
        using simdjson::dom::element_type;
        switch (arg.type()) {
            case element_type::BOOL: entry_.arg = bool(arg.get_bool().value_unsafe()); break;
            case element_type::INT64: entry_.arg = std::int64_t(arg.get_int64().value_unsafe()); break;
            case element_type::UINT64:
            case element_type::DOUBLE: entry_.arg = double(arg.get_double().value_unsafe()); break;
            case element_type::STRING: entry_.arg = std::string(arg.get_string().value_unsafe()); break;
            case element_type::NULL_VALUE: break;
            default: return fail("\"arg\" must be a Boolean, a number or a text");
        }
    }
    return result_t::entry;
}

}  // namespace plimsy
