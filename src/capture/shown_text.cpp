#include "capture/shown_text.hpp"

#include <charconv>
#include <cmath>

#include "common/text.hpp"

namespace plimsy {

void append_double(std::string& out, double value) {
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    if (ec == std::errc()) out.append(buf, end);
}

void append_shown_value_json(std::string& out, const shown_value_t& v) {
    out += '"';
    append_json_escaped(out, v.name);
    out += "\":";
    if (const auto* d = std::get_if<double>(&v.value)) {
        if (std::isfinite(*d)) append_double(out, *d);
        else out += "null";
    } else if (const auto* b = std::get_if<bool>(&v.value)) {
        out += *b ? "true" : "false";
    } else {
        out += '"';
        append_json_escaped(out, std::get<std::string>(v.value));
        out += '"';
    }
}

void append_shown_state_json(std::string& out, const std::vector<shown_object_t>& objects) {
    out += '{';
    for (std::size_t i = 0; i < objects.size(); ++i) {
        if (i) out += ',';
        out += '"';
        append_json_escaped(out, objects[i].name);
        out += "\":{";
        const auto& values = objects[i].values;
        for (std::size_t k = 0; k < values.size(); ++k) {
            if (k) out += ',';
            append_shown_value_json(out, values[k]);
        }
        out += '}';
    }
    out += '}';
}

void append_csv_field(std::string& out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

void append_shown_value_csv(std::string& out, const shown_value_t& v) {
    if (const auto* d = std::get_if<double>(&v.value)) {
        if (std::isnan(*d)) out += "nan";
        else if (std::isinf(*d)) out += *d > 0 ? "inf" : "-inf";
        else append_double(out, *d);
    } else if (const auto* b = std::get_if<bool>(&v.value)) {
        out += *b ? "true" : "false";
    } else {
        append_csv_field(out, std::get<std::string>(v.value));
    }
}

}  // namespace plimsy
