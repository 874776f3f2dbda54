#pragma once

// Reading shown values by object and value name, for the tests of the
// shown values and of the window's view models against them.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "shown/shown_value.hpp"

namespace plimsy::test {

inline const shown_object_t* find_object(const std::vector<shown_object_t>& state, std::string_view name) {
    for (const auto& o : state)
        if (o.name == name) return &o;
    return nullptr;
}

inline const shown_value_t* find_value(const shown_object_t& o, std::string_view name) {
    for (const auto& v : o.values)
        if (v.name == name) return &v;
    return nullptr;
}

// The value, or a failure naming what is missing or of another kind.
template <typename T>
T shown_as(const std::vector<shown_object_t>& state, std::string_view object, std::string_view value) {
    const shown_object_t* o = find_object(state, object);
    if (!o) {
        ADD_FAILURE() << "no object " << object;
        return T{};
    }
    const shown_value_t* v = find_value(*o, value);
    if (!v) {
        ADD_FAILURE() << "no value " << object << "." << value;
        return T{};
    }
    if (!std::holds_alternative<T>(v->value)) {
        ADD_FAILURE() << object << "." << value << " is of another kind";
        return T{};
    }
    return std::get<T>(v->value);
}

inline std::string text(const std::vector<shown_object_t>& s, std::string_view o, std::string_view v) {
    return shown_as<std::string>(s, o, v);
}
inline double number(const std::vector<shown_object_t>& s, std::string_view o, std::string_view v) {
    return shown_as<double>(s, o, v);
}
inline bool flag(const std::vector<shown_object_t>& s, std::string_view o, std::string_view v) {
    return shown_as<bool>(s, o, v);
}

inline std::vector<std::string> object_names(const std::vector<shown_object_t>& state) {
    std::vector<std::string> names;
    for (const auto& o : state) names.push_back(o.name);
    return names;
}

inline std::vector<std::string> value_names(const shown_object_t& o) {
    std::vector<std::string> names;
    for (const auto& v : o.values) names.push_back(v.name);
    return names;
}

}  // namespace plimsy::test
