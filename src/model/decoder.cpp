#include "model/decoder.hpp"

#include <simdjson.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "common/text.hpp"

namespace plimsy {

namespace {

constexpr std::string_view key_names[message_key_count] = {
    "hmc5883", "hmc5883n", "mpu6050",   "iis2dlpc", "adp536x", "adxl362", "adxl372", "gravity", "gyro",
    "gyroscope", "gps",    "compass", "compass_c", "bh1749",  "bme680",  "shtc3",   "rtc",     "gavrin3_events",
};

}  // namespace

std::string_view message_key_name(message_key_t key) {
    const auto i = static_cast<std::size_t>(key);
    return i < std::size(key_names) ? key_names[i] : std::string_view("unknown");
}

std::optional<message_key_t> match_key(std::string_view key) {
    using k = message_key_t;
    // The length and the first character leave at most three candidates, so
    // an unknown key costs one or two short comparisons.
    auto is = [key](k candidate) -> std::optional<k> {
        if (key == key_names[static_cast<std::size_t>(candidate)]) return candidate;
        return std::nullopt;
    };
    switch (key.size()) {
        case 3:
            if (key[0] == 'g') return is(k::gps);
            if (key[0] == 'r') return is(k::rtc);
            return std::nullopt;
        case 4: return is(k::gyro);
        case 5: return is(k::shtc3);
        case 6:
            if (key[1] == 'h') return is(k::bh1749);
            if (key[1] == 'm') return is(k::bme680);
            return std::nullopt;
        case 7:
            switch (key[0]) {
                case 'h': return is(k::hmc5883);
                case 'm': return is(k::mpu6050);
                case 'g': return is(k::gravity);
                case 'c': return is(k::compass);
                case 'a':
                    if (key[2] == 'p') return is(k::adp536x);
                    if (key[5] == '6') return is(k::adxl362);
                    return is(k::adxl372);
                default: return std::nullopt;
            }
        case 8:
            if (key[0] == 'h') return is(k::hmc5883n);
            if (key[0] == 'i') return is(k::iis2dlpc);
            return std::nullopt;
        case 9:
            if (key[0] == 'g') return is(k::gyroscope);
            if (key[0] == 'c') return is(k::compass_c);
            return std::nullopt;
        case 14: return is(k::gavrin3_events);
        default: return std::nullopt;
    }
}

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

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
    field_reader_t(simdjson::dom::object object, std::string& error)
        : object_(object), next_(object.begin()), end_(object.end()), error_(error) {}

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

    bool wrong_kind(std::string_view key, std::string_view expected, element_type got) {
        fail(key, "wrong kind (expected ");
        error_ += expected;
        error_ += ", got ";
        error_ += kind_name(got);
        error_ += ')';
        return false;
    }

    bool read(std::string_view key, element value, std::string& out) {
        if (value.type() != element_type::STRING) return wrong_kind(key, "a string", value.type());
        const std::string_view text = value.get_string().value_unsafe();
        out.assign(text.data(), text.size());
        return true;
    }

    bool read(std::string_view key, element value, float& out) {
        switch (value.type()) {
            case element_type::INT64: out = static_cast<float>(value.get_int64().value_unsafe()); return true;
            case element_type::UINT64: out = static_cast<float>(value.get_uint64().value_unsafe()); return true;
            case element_type::DOUBLE: {
                // The nearest float to the double simdjson parsed. That can
                // differ from rounding the decimal text straight to float
                // only for a decimal within half a double ulp of a point
                // halfway between two floats, which no sensor prints.
                const double d = value.get_double().value_unsafe();
                if (std::fabs(d) > static_cast<double>(FLT_MAX)) {
                    fail(key, "out of range for Float (");
                    error_ += shortest(d);
                    error_ += ')';
                    return false;
                }
                out = static_cast<float>(d);
                return true;
            }
            default: return wrong_kind(key, "a number", value.type());
        }
    }

    template <typename I>
    bool read(std::string_view key, element value, I& out) {
        static_assert(std::is_integral_v<I>);
        switch (value.type()) {
            case element_type::INT64: {
                const std::int64_t n = value.get_int64().value_unsafe();
                if (!std::in_range<I>(n)) return out_of_range<I>(key, std::to_string(n));
                out = static_cast<I>(n);
                return true;
            }
            case element_type::UINT64: {
                const std::uint64_t n = value.get_uint64().value_unsafe();
                if (!std::in_range<I>(n)) return out_of_range<I>(key, std::to_string(n));
                out = static_cast<I>(n);
                return true;
            }
            case element_type::DOUBLE: {
                // A number written with a fraction or an exponent ("5.0",
                // "1e2") is accepted when its value is whole: firmware that
                // prints a count through a float format still works, and
                // the value, not its spelling, is what the range is about.
                const double d = value.get_double().value_unsafe();
                if (std::trunc(d) != d) {
                    fail(key, "not a whole number (");
                    error_ += shortest(d);
                    error_ += ')';
                    return false;
                }
                // Both bounds are exact in a double: the lower one is 0 or
                // -2^k, and the exclusive upper one is max + 1 = 2^k (for Int,
                // max itself already rounds to 2^63, and +1 leaves it there).
                constexpr double lo = static_cast<double>(std::numeric_limits<I>::min());
                constexpr double hi = static_cast<double>(std::numeric_limits<I>::max()) + 1.0;
                if (!(d >= lo && d < hi)) return out_of_range<I>(key, shortest(d));
                out = static_cast<I>(d);
                return true;
            }
            default: return wrong_kind(key, "a number", value.type());
        }
    }

    template <typename I>
    bool out_of_range(std::string_view key, const std::string& shown) {
        fail(key, "out of range for ");
        error_ += integer_type_name<I>();
        error_ += " (";
        error_ += shown;
        error_ += ')';
        return false;
    }

    simdjson::dom::object object_;
    simdjson::dom::object::iterator next_, end_;
    std::string& error_;
};

template <typename T>
bool extract(simdjson::dom::object root, record_t& out, std::string& error) {
    T* record = std::get_if<T>(&out);
    if (!record) record = &out.emplace<T>();
    field_reader_t reader(root, error);
    return for_each_field(*record, reader);
}

}  // namespace

struct decoder_t::impl_t {
    simdjson::dom::parser parser;
    // The line is copied here because the parser reads up to
    // SIMDJSON_PADDING bytes past the end of its input; a buffer of our own
    // with that slack spares simdjson a temporary copy of every line.
    std::unique_ptr<char[]> buffer;
    std::size_t capacity = 0;

    bool parse(std::string_view json, simdjson::dom::object& root, std::string& error) {
        const std::size_t needed = json.size() + simdjson::SIMDJSON_PADDING;
        if (needed > capacity) {
            const std::size_t grown = std::max(needed, capacity * 2);
            buffer.reset(new char[grown]);
            capacity = grown;
        }
        if (!json.empty()) std::memcpy(buffer.get(), json.data(), json.size());
        std::memset(buffer.get() + json.size(), 0, simdjson::SIMDJSON_PADDING);

        element document;
        if (const auto ec = parser.parse(buffer.get(), json.size(), false).get(document); ec != simdjson::SUCCESS) {
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
};

decoder_t::decoder_t() : impl_(std::make_unique<impl_t>()) {}
decoder_t::~decoder_t() = default;
decoder_t::decoder_t(decoder_t&&) noexcept = default;
decoder_t& decoder_t::operator=(decoder_t&&) noexcept = default;

bool decoder_t::decode(message_key_t key, std::string_view json, record_t& out, std::string& error) {
    simdjson::dom::object root;
    if (!impl_->parse(json, root, error)) return false;

    bool ok = false;
    using k = message_key_t;
    switch (key) {
        case k::hmc5883: ok = extract<hmc5883_str_t>(root, out, error); break;
        case k::hmc5883n: ok = extract<hmc5883n_str_t>(root, out, error); break;
        case k::mpu6050: ok = extract<mpu6050_str_t>(root, out, error); break;
        case k::iis2dlpc: ok = extract<iis2dlpc_str_t>(root, out, error); break;
        case k::adp536x: ok = extract<adp536x_str_t>(root, out, error); break;
        case k::adxl362: ok = extract<adxl362_str_t>(root, out, error); break;
        case k::adxl372: ok = extract<adxl372_str_t>(root, out, error); break;
        case k::gravity: ok = extract<gravity_str_t>(root, out, error); break;
        case k::gyro:
        case k::gyroscope: ok = extract<gyroscope_str_t>(root, out, error); break;
        case k::gps: ok = extract<compass_str_t>(root, out, error); break;
        case k::compass:
            // The richer record first; whatever made it fail, the plain one
            // gets its chance, and only its error is worth reporting.
            ok = extract<compass_gravity_str_t>(root, out, error) || extract<compass_str_t>(root, out, error);
            break;
        case k::compass_c: ok = extract<compass_c_str_t>(root, out, error); break;
        case k::bh1749: ok = extract<bh1749_str_t>(root, out, error); break;
        case k::bme680: ok = extract<bme680_str_t>(root, out, error); break;
        case k::shtc3: ok = extract<shtc3_str_t>(root, out, error); break;
        case k::rtc: ok = extract<rtc_str_t>(root, out, error); break;
        case k::gavrin3_events: ok = extract<gavrin3_events_str_t>(root, out, error); break;
        default: error.assign("unknown message key"); return false;
    }
    if (ok) error.clear();
    return ok;
}

}  // namespace plimsy
