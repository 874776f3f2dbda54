#include "platform/settings_store.hpp"

namespace plimsy {

namespace {
template <typename T>
std::optional<T> typed(const std::optional<setting_value_t>& value) {
    if (value && std::holds_alternative<T>(*value)) return std::get<T>(*value);
    return std::nullopt;
}
}  // namespace

std::optional<bool> settings_store_t::read_bool(const std::string& key) const { return typed<bool>(read(key)); }

std::optional<std::int64_t> settings_store_t::read_int(const std::string& key) const {
    return typed<std::int64_t>(read(key));
}

std::optional<std::string> settings_store_t::read_string(const std::string& key) const {
    return typed<std::string>(read(key));
}

// An empty array has no element type in a file that only keeps the values,
// so it reads back as an empty array of either kind.
std::optional<std::vector<std::string>> settings_store_t::read_string_array(const std::string& key) const {
    const auto value = read(key);
    if (auto ints = typed<std::vector<std::int64_t>>(value); ints && ints->empty()) return std::vector<std::string>{};
    return typed<std::vector<std::string>>(value);
}

std::optional<std::vector<std::int64_t>> settings_store_t::read_int_array(const std::string& key) const {
    const auto value = read(key);
    if (auto strings = typed<std::vector<std::string>>(value); strings && strings->empty())
        return std::vector<std::int64_t>{};
    return typed<std::vector<std::int64_t>>(value);
}

void settings_store_t::apply(const std::vector<setting_change_t>& changes) {
    for (const setting_change_t& c : changes) {
        if (c.value)
            write(c.key, *c.value);
        else
            remove(c.key);
    }
}

std::optional<setting_value_t> memory_settings_store_t::read(const std::string& key) const {
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

void memory_settings_store_t::write(const std::string& key, const setting_value_t& value) { values_[key] = value; }

void memory_settings_store_t::remove(const std::string& key) { values_.erase(key); }

}  // namespace plimsy
