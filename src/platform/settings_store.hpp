#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace plimsy {

// A value as the per-user settings store keeps it. The store keeps types:
// a Boolean reads back as a Boolean, never as the text "true".
using setting_value_t =
    std::variant<bool, std::int64_t, std::string, std::vector<std::string>, std::vector<std::int64_t>>;

// One write (a value) or removal (no value) of a key.
struct setting_change_t {
    std::string key;
    std::optional<setting_value_t> value;
};

// Per-user key-value settings. Typed reads return nothing when the key is
// absent or holds a value of another type, which callers treat alike.
class settings_store_t {
public:
    virtual ~settings_store_t() = default;

    virtual std::optional<setting_value_t> read(const std::string& key) const = 0;
    virtual void write(const std::string& key, const setting_value_t& value) = 0;
    virtual void remove(const std::string& key) = 0;
    // Several changes, in order, as one: a store that saves saves them
    // together, so values that belong together (a calibration) are never
    // half written.
    virtual void apply(const std::vector<setting_change_t>& changes);

    // What the user should be told about the store, once, at start-up (a
    // damaged file set aside and what was recovered); empty when all is well.
    virtual std::string notice() const { return {}; }

    std::optional<bool> read_bool(const std::string& key) const;
    std::optional<std::int64_t> read_int(const std::string& key) const;
    std::optional<std::string> read_string(const std::string& key) const;
    std::optional<std::vector<std::string>> read_string_array(const std::string& key) const;
    std::optional<std::vector<std::int64_t>> read_int_array(const std::string& key) const;
};

// Keeps the values in memory; for tests, demos and headless tools.
class memory_settings_store_t final : public settings_store_t {
public:
    std::optional<setting_value_t> read(const std::string& key) const override;
    void write(const std::string& key, const setting_value_t& value) override;
    void remove(const std::string& key) override;

    const std::map<std::string, setting_value_t>& values() const { return values_; }

private:
    std::map<std::string, setting_value_t> values_;
};

}  // namespace plimsy
