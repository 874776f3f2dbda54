#include "model/record_text.hpp"

#include <charconv>
#include <cmath>
#include <type_traits>

#include "common/text.hpp"
#include "model/decoder.hpp"

namespace plimsy {

namespace {

// Integers in decimal; a uint8_t is a number here, never a character.
template <typename I>
void append_integer(std::string& out, I value) {
    char buf[24];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, +value);
    if (ec == std::errc()) out.append(buf, end);
}

void append_json_value(std::string& out, float value) {
    if (std::isfinite(value)) append_shortest(out, value);
    else out += "null";
}

void append_json_value(std::string& out, const std::string& value) {
    out += '"';
    append_json_escaped(out, value);
    out += '"';
}

template <typename I>
    requires std::is_integral_v<I>
void append_json_value(std::string& out, I value) {
    append_integer(out, value);
}

// Builds "{ name: value, name: value }" one piece at a time.
class debug_text_t {
public:
    debug_text_t& operator()(std::string_view name, float value) {
        start(name);
        append_shortest(text_, value);
        return *this;
    }
    debug_text_t& operator()(std::string_view name, const std::string& value) {
        start(name);
        text_ += '"';
        append_json_escaped(text_, value);
        text_ += '"';
        return *this;
    }
    template <typename I>
        requires std::is_integral_v<I>
    debug_text_t& operator()(std::string_view name, I value) {
        start(name);
        append_integer(text_, value);
        return *this;
    }
    std::string done() {
        text_ += " }";
        return std::move(text_);
    }

private:
    void start(std::string_view name) {
        text_ += text_.empty() ? "{ " : ", ";
        text_ += name;
        text_ += ": ";
    }
    std::string text_;
};

}  // namespace

std::string_view record_name(const record_t& record) {
    return std::visit(
        [](const auto& r) {
            using T = std::decay_t<decltype(r)>;
            static_assert(!record_type_name<T>.empty(), "every record is named by the key list");
            return record_type_name<T>;
        },
        record);
}

void append_record_fields_json(std::string& out, const record_t& record) {
    out += '{';
    bool first = true;
    std::visit(
        [&](const auto& r) {
            for_each_field(r, [&](std::string_view, std::string_view name, const auto& field) {
                if constexpr (requires { field.has_value(); }) {
                    if (!field) return true;
                }
                if (!first) out += ',';
                first = false;
                out += '"';
                out += name;
                out += "\":";
                if constexpr (requires { field.has_value(); }) append_json_value(out, *field);
                else append_json_value(out, field);
                return true;
            });
        },
        record);
    out += '}';
}

std::string debug_description(const xyz_str_t& r) { return xyz_debug_text(r.x, r.y, r.z); }

std::string debug_description(const bme680_str_t& r) {
    return debug_text_t()("temp", r.temp)("pressure", r.pressure)("humidity", r.humidity)("gas", r.gas).done();
}

std::string debug_description(const shtc3_str_t& r) {
    return debug_text_t()("temp", r.temp)("humidity", r.humidity).done();
}

std::string debug_description(const rtc_str_t& r) {
    return debug_text_t()("y", r.y)("m", r.m)("d", r.d)("hh", r.hh)("mm", r.mm)("ss", r.ss).done();
}

std::string debug_description(const gavrin3_events_str_t& r) {
    return debug_text_t()("alarm", r.alarm)("PIR", r.PIR).done();
}

std::string debug_description(const adp536x_str_t& r) {
    return debug_text_t()("cs1", r.cs1)("cs2", r.cs2)("pgs", r.pgs)("voltage", r.voltage)("level", r.level).done();
}

std::string debug_description(const compass_c_str_t& r) {
    return debug_text_t()("heading", r.heading().value_or(0.0f))("x_min", r.x_min)("y_min", r.y_min)("z_min", r.z_min)(
               "x_max", r.x_max)("y_max", r.y_max)("z_max", r.z_max)("xv_min", r.xv_min)("yv_min", r.yv_min)(
               "xv_max", r.xv_max)("yv_max", r.yv_max)
        .done();
}

}  // namespace plimsy
