#include "model/decoder.hpp"

#include <simdjson.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <utility>

#include "common/text.hpp"

namespace plimsy {

namespace {

// The keys grouped by length, so that a lookup compares the received key
// with the few of its length only, first character first; an unknown key
// usually costs no text comparison at all.
constexpr std::size_t longest_key = [] {
    std::size_t n = 0;
    for (const std::string_view k : message_key_names) n = std::max(n, k.size());
    return n;
}();

struct key_index_t {
    // Key numbers ordered by length; those of length n are
    // order[start[n]] up to order[start[n + 1]].
    std::array<std::uint8_t, message_key_names.size()> order{};
    std::array<std::uint8_t, longest_key + 2> start{};
};

constexpr key_index_t key_index = [] {
    key_index_t index;
    std::size_t next = 0;
    for (std::size_t length = 0; length <= longest_key; ++length) {
        index.start[length] = static_cast<std::uint8_t>(next);
        for (std::size_t k = 0; k < message_key_names.size(); ++k)
            if (message_key_names[k].size() == length) index.order[next++] = static_cast<std::uint8_t>(k);
    }
    index.start[longest_key + 1] = static_cast<std::uint8_t>(next);
    return index;
}();

}  // namespace

std::string_view message_key_name(message_key_t key) {
    const auto i = static_cast<std::size_t>(key);
    return i < message_key_names.size() ? message_key_names[i] : std::string_view("unknown");
}

std::optional<message_key_t> match_key(std::string_view key) {
    if (key.empty() || key.size() > longest_key) return std::nullopt;
    const std::size_t end = key_index.start[key.size() + 1];
    for (std::size_t i = key_index.start[key.size()]; i < end; ++i) {
        const std::string_view candidate = message_key_names[key_index.order[i]];
        if (candidate.front() == key.front() && candidate == key) return static_cast<message_key_t>(key_index.order[i]);
    }
    return std::nullopt;
}

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

// ---------------------------------------------------------------------------
// Numbers as written. The parsed tree holds a number as an int64, a uint64 or
// a double, which answers exactly for what boards send, but not for every
// JSON number: an integer past 64 bits or a decimal past the double range
// does not parse at all; a decimal rounded to double and then to float can
// land on the other float from the one nearest to it; and a double can hide a
// tiny fraction or a value just past a limit. Those few numbers are settled
// on their text.

// A JSON number reduced to ±0.D × 10^exponent, D being its significant
// digits without leading or trailing zeros (none for zero).
struct decimal_t {
    // Enough digits to decide any rounding to float: a point halfway between
    // two floats has at most 113 significant digits. Past that, one nonzero
    // digit stands for all the rest, which only matter by not being zero.
    static constexpr std::size_t kept_max = 120;

    bool negative = false;
    char digits[kept_max + 1];
    std::size_t kept = 0;
    std::int64_t significant = 0;  // digits written up to the last nonzero one
    std::int64_t exponent = 0;

    bool zero() const { return significant == 0; }
    bool whole() const { return zero() || exponent >= significant; }
    std::string_view kept_digits() const { return {digits, kept}; }
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// False if `text` is not exactly one JSON number:
// -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
bool parse_decimal(std::string_view text, decimal_t& out) {
    out.negative = false;
    out.kept = 0;
    out.significant = 0;
    std::size_t i = 0;
    auto digit_at = [&](std::size_t at) { return at < text.size() && is_digit(text[at]); };
    if (i < text.size() && text[i] == '-') {
        out.negative = true;
        ++i;
    }
    if (!digit_at(i)) return false;

    std::int64_t seen = 0;  // significant digits so far, zeros included
    bool dropped = false;
    auto add = [&](char c) {
        if (out.kept < decimal_t::kept_max)
            out.digits[out.kept++] = c;
        else if (c != '0')
            dropped = true;
        ++seen;
        if (c != '0') out.significant = seen;
    };
    std::int64_t point = 0;  // the exponent before the written one
    if (text[i] == '0') {
        ++i;
    } else {
        for (; digit_at(i); ++i, ++point) add(text[i]);
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        if (!digit_at(i)) return false;
        for (; digit_at(i); ++i) {
            if (seen == 0 && text[i] == '0')
                --point;
            else
                add(text[i]);
        }
    }
    std::int64_t written = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool minus = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) minus = text[i++] == '-';
        if (!digit_at(i)) return false;
        // Saturated far beyond any range that matters, so that neither a
        // long exponent nor the sum below can overflow.
        constexpr std::int64_t cap = std::int64_t{1} << 40;
        for (; digit_at(i); ++i) written = std::min(cap, written * 10 + (text[i] - '0'));
        if (minus) written = -written;
    }
    if (i != text.size()) return false;

    if (dropped) {
        out.digits[out.kept++] = '1';
    } else {
        out.kept = static_cast<std::size_t>(out.significant);  // trailing zeros off
    }
    out.exponent = point + written;
    return true;
}

// The value of a whole number, if it fits the integer type.
template <typename I>
bool to_integer(const decimal_t& d, I& out) {
    std::uint64_t magnitude = 0;
    if (!d.zero()) {
        if (d.exponent > 20) return false;
        for (std::int64_t k = 0; k < d.exponent; ++k) {
            const unsigned digit = k < d.significant ? static_cast<unsigned>(d.digits[k] - '0') : 0;
            if (__builtin_mul_overflow(magnitude, 10u, &magnitude) ||
                __builtin_add_overflow(magnitude, digit, &magnitude))
                return false;
        }
    }
    if (!d.negative || magnitude == 0) {
        if (!std::in_range<I>(magnitude)) return false;
        out = static_cast<I>(magnitude);
        return true;
    }
    if (magnitude > std::uint64_t{1} << 63) return false;
    // Modular, so 2^63 becomes the one negative without a positive twin.
    const auto value = static_cast<std::int64_t>(0 - magnitude);
    if (!std::in_range<I>(value)) return false;
    out = static_cast<I>(value);
    return true;
}

// The largest finite float, 340282346638528859811704183484516925440, as
// 0.D × 10^39.
constexpr std::string_view float_max_digits = "34028234663852885981170418348451692544";
constexpr std::int64_t float_max_exponent = 39;

bool exceeds_float(const decimal_t& d) {
    if (d.zero()) return false;
    if (d.exponent != float_max_exponent) return d.exponent > float_max_exponent;
    return d.kept_digits() > float_max_digits;
}

// The float nearest to d, which must not exceed the float range.
float to_float(const decimal_t& d) {
    const float zero = d.negative ? -0.0f : 0.0f;
    // Below 1e-46 is less than half the smallest float (1.4e-45).
    if (d.zero() || d.exponent < -45) return zero;
    char text[decimal_t::kept_max + 32];
    char* p = text;
    if (d.negative) *p++ = '-';
    p = std::copy_n(d.digits, d.kept, p);
    *p++ = 'e';
    p = std::to_chars(p, std::end(text), d.exponent - static_cast<std::int64_t>(d.kept)).ptr;
    float f = zero;
    // from_chars rounds the decimal straight to float; its only complaint
    // left here is a value that rounds to zero.
    if (std::from_chars(text, p, f).ec != std::errc{}) return zero;
    return f;
}

// Whether a (finite, non-negative, below the largest float) lies exactly
// halfway between two floats: the decimal that was rounded to it may lie on
// either side, and only its text tells which float is nearer. This part
// answers below the smallest normal float.
[[gnu::noinline, gnu::cold]] bool halfway_between_small_floats(double a) {
    const float f = static_cast<float>(a);
    if (static_cast<double>(f) == a) return false;
    const float g = std::nextafter(f, a > static_cast<double>(f) ? FLT_MAX : 0.0f);
    return static_cast<double>(f) + static_cast<double>(g) == 2.0 * a;
}

inline bool halfway_between_floats(double a) {
    // A normal float keeps the top 24 of a double's 53 significant bits;
    // halfway is the next bit set and none below it.
    if (a >= static_cast<double>(FLT_MIN)) return (std::bit_cast<std::uint64_t>(a) & 0x1FFFFFFF) == 0x10000000;
    return halfway_between_small_floats(a);
}

// Where the number's own text would be too long for a message line.
std::string shown(std::string_view token) {
    constexpr std::size_t max = 40;
    if (token.size() <= max) return std::string(token);
    return std::string(token.substr(0, max - 3)) + "...";
}

bool is_number_char(char c) { return is_digit(c) || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E'; }

// Overwrites every JSON number of two or more characters outside strings
// with "0" and spaces, so that the parser accepts numbers it cannot hold and
// still checks everything else. Returns whether it changed anything.
bool mask_numbers(char* text, std::size_t size) {
    bool in_string = false;
    bool masked = false;
    decimal_t scratch;
    for (std::size_t i = 0; i < size; ++i) {
        const char c = text[i];
        if (in_string) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                in_string = false;
            continue;
        }
        if (c == '"') {
            in_string = true;
            continue;
        }
        if (c != '-' && !is_digit(c)) continue;
        std::size_t end = i;
        while (end < size && is_number_char(text[end])) ++end;
        if (end - i > 1 && parse_decimal(std::string_view(text + i, end - i), scratch)) {
            text[i] = '0';
            std::memset(text + i + 1, ' ', end - i - 1);
            masked = true;
        }
        i = end - 1;
    }
    return masked;
}

// The text of a value of the top-level object as written. Rarely needed, so
// its parser is made on first use.
class written_values_t {
public:
    // The padded text the tree was parsed from; `masked` if the tree's
    // numbers are stand-ins and every number must be read here.
    void set(const char* text, std::size_t size, std::size_t capacity, bool masked) {
        text_ = text;
        size_ = size;
        capacity_ = capacity;
        masked_ = masked;
    }

    bool masked() const { return masked_; }

    // The first value under `key` (keys compared unescaped, as the tree does).
    bool find(std::string_view key, std::string_view& token) {
        if (!parser_) parser_ = std::make_unique<simdjson::ondemand::parser>();
        simdjson::ondemand::document doc;
        simdjson::ondemand::object object;
        if (parser_->iterate(simdjson::padded_string_view(text_, size_, capacity_)).get(doc) != simdjson::SUCCESS ||
            doc.get_object().get(object) != simdjson::SUCCESS)
            return false;
        for (auto field : object) {
            std::string_view name;
            if (field.unescaped_key().get(name) != simdjson::SUCCESS) return false;
            if (name != key) continue;
            if (field.value().raw_json_token().get(token) != simdjson::SUCCESS) return false;
            while (!token.empty() && (token.back() == ' ' || token.back() == '\t' || token.back() == '\n' ||
                                      token.back() == '\r'))
                token.remove_suffix(1);
            return true;
        }
        return false;
    }

private:
    std::unique_ptr<simdjson::ondemand::parser> parser_;
    const char* text_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    bool masked_ = false;
};

// ---------------------------------------------------------------------------

std::string_view kind_name(element_type t) {
    switch (t) {
        case element_type::ARRAY: return "an array";
        case element_type::OBJECT: return "an object";
        case element_type::INT64:
        case element_type::UINT64:
        case element_type::DOUBLE: return "a number";
        case element_type::STRING: return "a string";
        case element_type::BOOL: return "a Boolean";
        case element_type::NULL_VALUE: return "null";
    }
    return "an unknown kind";
}

bool is_number(element_type t) {
    return t == element_type::INT64 || t == element_type::UINT64 || t == element_type::DOUBLE;
}

template <typename I>
constexpr std::string_view integer_type_name() {
    if constexpr (std::is_same_v<I, std::int16_t>) return "Int16";
    else if constexpr (std::is_same_v<I, std::uint8_t>) return "UInt8";
    else if constexpr (std::is_same_v<I, std::uint16_t>) return "UInt16";
    else if constexpr (std::is_same_v<I, std::uint32_t>) return "UInt32";
    else if constexpr (std::is_same_v<I, std::int64_t>) return "Int";
    else static_assert(std::is_same_v<I, void>, "no record field has this integer type");
}

template <typename T>
struct is_optional : std::false_type {};
template <typename T>
struct is_optional<std::optional<T>> : std::true_type {};

// Reads the fields of one record from the parsed object. A field's C++ type
// says whether it is required: only optional members may be absent.
class field_reader_t {
public:
    field_reader_t(simdjson::dom::object object, written_values_t& written, std::string& error)
        : object_(object), next_(object.begin()), end_(object.end()), written_(written), error_(error) {}

    template <typename T>
    bool operator()(std::string_view key, std::string_view /*field_name*/, T& field) {
        element value;
        const bool found = find(key, value);
        if constexpr (is_optional<T>::value) {
            if (!found || value.is_null()) {
                field.reset();
                return true;
            }
            if (!field) field.emplace();
            return read(key, value, *field);
        } else {
            if (!found) return fail(key, "missing");
            if (value.is_null()) return fail(key, "null");
            return read(key, value, field);
        }
    }

private:
    // Boards write the keys in the order the record lists its fields, so the
    // key after the last one found is tried first; only a key out of order
    // costs a search. The result is the key's first occurrence either way:
    // the cursor only moves past keys that earlier fields, whose keys all
    // differ from this one, have taken.
    bool find(std::string_view key, element& value) {
        if (next_ != end_ && next_.key() == key) {
            value = next_.value();
            ++next_;
            return true;
        }
        return object_.at_key(key).get(value) == simdjson::SUCCESS;
    }

    // Starts the error text with the key and returns false, so that callers
    // can add detail and give up in one statement.
    bool fail(std::string_view key, std::string_view reason) {
        // clear and append rather than assign("\""): GCC 12 at -O2 reports a
        // bogus -Wrestrict overlap for the inlined assign.
        error_.clear();
        error_ += '"';
        append_json_escaped(error_, key);
        error_ += "\": ";
        error_ += reason;
        return false;
    }

    bool fail(std::string_view key, std::string_view reason, std::string_view detail) {
        fail(key, reason);
        error_ += " (";
        error_ += detail;
        error_ += ')';
        return false;
    }

    bool wrong_kind(std::string_view key, std::string_view expected, element_type got) {
        fail(key, "wrong kind (expected ");
        error_ += expected;
        error_ += ", got ";
        error_ += kind_name(got);
        error_ += ')';
        return false;
    }

    bool out_of_range(std::string_view key, std::string_view type, std::string_view shown_value) {
        fail(key, "out of range for ");
        error_ += type;
        error_ += " (";
        error_ += shown_value;
        error_ += ')';
        return false;
    }

    // The number under `key` as written, for what the tree cannot tell.
    bool written(std::string_view key, std::string_view& token, decimal_t& d) {
        if (written_.find(key, token) && parse_decimal(token, d)) return true;
        // The tree has a number here, so the text does too; not reached.
        return fail(key, "unreadable number");
    }

    bool read(std::string_view key, element value, std::string& out) {
        if (value.type() != element_type::STRING) return wrong_kind(key, "a string", value.type());
        const std::string_view text = value.get_string().value_unsafe();
        out.assign(text.data(), text.size());
        return true;
    }

    bool read(std::string_view key, element value, float& out) {
        const element_type type = value.type();
        if (!is_number(type)) return wrong_kind(key, "a number", type);
        if (!written_.masked()) {
            // An integer is converted to float with one rounding ("-0", an
            // integer, is plain zero).
            if (type == element_type::INT64) {
                out = static_cast<float>(value.get_int64().value_unsafe());
                return true;
            }
            if (type == element_type::UINT64) {
                out = static_cast<float>(value.get_uint64().value_unsafe());
                return true;
            }
            const double d = value.get_double().value_unsafe();
            const double a = std::fabs(d);
            if (a < static_cast<double>(FLT_MAX) && !halfway_between_floats(a)) {
                out = static_cast<float>(d);
                return true;
            }
        }
        return read_written(key, out);
    }

    // Out of line: rarely run, and its buffers would weigh on every field.
    [[gnu::noinline, gnu::cold]] bool read_written(std::string_view key, float& out) {
        std::string_view token;
        decimal_t d;
        if (!written(key, token, d)) return false;
        if (exceeds_float(d)) return out_of_range(key, "Float", shown(token));
        out = to_float(d);
        return true;
    }

    template <typename I>
    bool read(std::string_view key, element value, I& out) {
        static_assert(std::is_integral_v<I>);
        const element_type type = value.type();
        if (!is_number(type)) return wrong_kind(key, "a number", type);
        if (!written_.masked() && type == element_type::INT64) {
            const std::int64_t n = value.get_int64().value_unsafe();
            if (!std::in_range<I>(n)) return out_of_range(key, integer_type_name<I>(), std::to_string(n));
            out = static_cast<I>(n);
            return true;
        }
        if (!written_.masked() && type == element_type::UINT64) {
            const std::uint64_t n = value.get_uint64().value_unsafe();
            if (!std::in_range<I>(n)) return out_of_range(key, integer_type_name<I>(), std::to_string(n));
            out = static_cast<I>(n);
            return true;
        }
        return read_written(key, out);
    }

    // A number written with a fraction or an exponent ("5.0", "1e2") is
    // accepted when its value is whole: firmware that prints a count through
    // a float format still works, and the value, not its spelling, is what
    // the range is about. The double the tree holds could hide a fraction or
    // round across a limit, so the text decides.
    template <typename I>
    [[gnu::noinline, gnu::cold]] bool read_written(std::string_view key, I& out) {
        std::string_view token;
        decimal_t d;
        if (!written(key, token, d)) return false;
        if (!d.whole()) return fail(key, "not a whole number", shown(token));
        if (!to_integer(d, out)) return out_of_range(key, integer_type_name<I>(), shown(token));
        return true;
    }

    simdjson::dom::object object_;
    simdjson::dom::object::iterator next_, end_;
    written_values_t& written_;
    std::string& error_;
};

template <typename T>
bool extract(simdjson::dom::object root, written_values_t& written, record_t& out, std::string& error) {
    T* record = std::get_if<T>(&out);
    if (!record) record = &out.emplace<T>();
    field_reader_t reader(root, written, error);
    return for_each_field(*record, reader);
}

// A key's records in the order its line lists them: whatever made one fail,
// the next gets its chance on the same document, and only the last error is
// worth reporting.
template <typename... T>
bool extract_first(simdjson::dom::object root, written_values_t& written, record_t& out, std::string& error) {
    return (extract<T>(root, written, out, error) || ...);
}

}  // namespace

struct decoder_t::impl_t {
    simdjson::dom::parser parser;
    // The line is copied here because the parser reads up to
    // SIMDJSON_PADDING bytes past the end of its input; a buffer of our own
    // with that slack spares simdjson a temporary copy of every line.
    std::unique_ptr<char[]> buffer;
    std::size_t capacity = 0;
    written_values_t written;

    bool parse(std::string_view json, simdjson::dom::object& root, std::string& error) {
        const std::size_t needed = json.size() + simdjson::SIMDJSON_PADDING;
        if (needed > capacity) {
            const std::size_t grown = std::max(needed, capacity * 2);
            buffer.reset(new char[grown]);
            capacity = grown;
        }
        if (!json.empty()) std::memcpy(buffer.get(), json.data(), json.size());
        std::memset(buffer.get() + json.size(), 0, simdjson::SIMDJSON_PADDING);
        written.set(buffer.get(), json.size(), capacity, false);

        element document;
        auto ec = parser.parse(buffer.get(), json.size(), false).get(document);
        if (ec == simdjson::NUMBER_ERROR && parse_masked(json, document)) ec = simdjson::SUCCESS;
        if (ec != simdjson::SUCCESS) {
            error.assign("malformed JSON: ");
            error += simdjson::error_message(ec);
            return false;
        }
        if (document.get(root) != simdjson::SUCCESS) {
            error.assign("not a JSON object");
            return false;
        }
        return true;
    }

    // The text failed on a number, maybe a valid one that the tree cannot
    // hold (an integer past 64 bits, a decimal past the double range): with
    // the numbers masked the rest is still checked, and the record's numbers
    // are read from the text. A malformed number stays unmasked and fails
    // again.
    [[gnu::noinline, gnu::cold]] bool parse_masked(std::string_view json, element& document) {
        const bool ok = mask_numbers(buffer.get(), json.size()) &&
                        parser.parse(buffer.get(), json.size(), false).get(document) == simdjson::SUCCESS;
        // The tree keeps copies of its strings, so the text can go back.
        std::memcpy(buffer.get(), json.data(), json.size());
        if (ok) written.set(buffer.get(), json.size(), capacity, true);
        return ok;
    }
};

decoder_t::decoder_t() : impl_(std::make_unique<impl_t>()) {}
decoder_t::~decoder_t() = default;
decoder_t::decoder_t(decoder_t&&) noexcept = default;
decoder_t& decoder_t::operator=(decoder_t&&) noexcept = default;

bool decoder_t::decode(message_key_t key, std::string_view json, record_t& out, std::string& error) {
    simdjson::dom::object root;
    if (!impl_->parse(json, root, error)) return false;

    written_values_t& w = impl_->written;
    bool ok = false;
    switch (key) {
#define PLIMSY_KEY_DECODE(name, ...)                                             \
    case message_key_t::name: ok = extract_first<__VA_ARGS__>(root, w, out, error); \
        break;
        PLIMSY_MESSAGE_KEYS(PLIMSY_KEY_DECODE)
#undef PLIMSY_KEY_DECODE
        default: error.assign("unknown message key"); return false;
    }
    if (ok) error.clear();
    return ok;
}

}  // namespace plimsy
