#pragma once

// Message keys and the decoding of a message's JSON object into its record.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "model/message_keys.hpp"
#include "model/records.hpp"

namespace plimsy {

// The key exactly as it appears on the wire ("compass_c").
std::string_view message_key_name(message_key_t key);

// Exact, case-sensitive match of a whole key; nothing for an unknown key.
// Runs once per received line, so it neither allocates nor scans a table.
std::optional<message_key_t> match_key(std::string_view key);

// Calls f(json_key, field_name, member) for every field of a record, in
// declaration order, and stops at the first call that returns false; returns
// whether every call returned true. The list is the record's own
// (records.hpp).
template <typename R, typename F>
bool for_each_field(R& r, F&& f);

// Decodes JSON objects into records. One instance serves every line: its
// parser and its input buffer grow to the longest line seen and are then
// reused, so decoding does not allocate in the steady state. Not for
// concurrent use; one decoder per thread.
class decoder_t {
public:
    decoder_t();
    ~decoder_t();
    decoder_t(const decoder_t&) = delete;
    decoder_t& operator=(const decoder_t&) = delete;
    decoder_t(decoder_t&&) noexcept;
    decoder_t& operator=(decoder_t&&) noexcept;

    // Parses `json` once and extracts the record of `key` into `out`.
    // "compass" tries compass_gravity_str_t, then compass_str_t on the same
    // document (the error reported is the second one); "gps" gives
    // compass_str_t; "gyro" and "gyroscope" give gyroscope_str_t.
    // On success `error` is cleared. On failure `error` names the failing key
    // and the reason, and `out` may hold a partly filled record; discard it.
    // When `out` already holds the record type being decoded, its storage
    // (string capacity) is reused.
    bool decode(message_key_t key, std::string_view json, record_t& out, std::string& error);

private:
    struct impl_t;
    std::unique_ptr<impl_t> impl_;
};

// ---------------------------------------------------------------------------

template <typename R, typename F>
bool for_each_field(R& r, F&& f) {
    return std::remove_const_t<R>::each_field(r, f);
}

}  // namespace plimsy
