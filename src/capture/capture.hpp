#pragma once

// Captures: what a board sent, what was sent to it and what the user did,
// with the time of each, one JSON object per line (JSON Lines).
//
//   {"capture":1,"start":"2026-12-07T03:48:07.250Z","link":"tcp 127.0.0.1:8081","settings":{"hmc5883.0.x_min":-310}}
//   {"t":0.02,"rx":"gravity={\"x\":1,\"y\":0,\"z\":9.8}\n"}
//   {"t":1.5,"tx":"C\n"}
//   {"t":1.52,"rx_b64":"/wA="}
//   {"t":3,"action":"hmc5883.calibration_next"}
//   {"t":4,"action":"hmc5883.calibration_save","arg":1}
//
// "t" is seconds since "start". Bytes that are valid UTF-8 are a JSON
// string ("rx", "tx"); any others are base64 ("rx_b64", "tx_b64"), so every
// byte sequence comes back exactly. Members a reader does not know are
// ignored, so later versions can add some.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "platform/clock.hpp"
#include "platform/settings_store.hpp"

namespace plimsy {

inline constexpr std::int64_t capture_version = 1;

struct capture_header_t {
    std::int64_t version = capture_version;
    std::string start;  // UTC, ISO 8601 ("2026-12-07T03:48:07.250Z")
    std::string link;   // how the board was reached, for people ("ble Plimsy:91 UART")
    // The stored settings that processing reads, by their keys, in the
    // order they were written.
    std::vector<std::pair<std::string, setting_value_t>> settings;
};

// The optional argument of a local action: a slot number, a switch's new
// value, or whatever a later action takes.
using capture_arg_t = std::variant<std::monostate, bool, std::int64_t, double, std::string>;

struct capture_entry_t {
    enum class kind_t { rx, tx, action, other };
    kind_t kind = kind_t::other;
    double t = 0;
    // rx/tx: the bytes; action: its name. For the reader's entries this
    // points into the reader and is valid until its next read_line().
    std::string_view data;
    capture_arg_t arg;  // actions only
};

// ---- Writing -------------------------------------------------------------

// Each appends one whole line, line feed included.
void append_capture_header(std::string& out, const capture_header_t& header);
void append_capture_rx(std::string& out, double t, std::string_view bytes);
void append_capture_tx(std::string& out, double t, std::string_view bytes);
void append_capture_action(std::string& out, double t, std::string_view name, const capture_arg_t& arg = {});
void append_capture_entry(std::string& out, const capture_entry_t& entry);
// ",\"arg\":1" (nothing for no argument).
void append_capture_arg(std::string& out, const capture_arg_t& arg);

// "2026-12-07T03:48:07.250Z": the instant in UTC to the millisecond.
std::string iso8601_utc(time_point_t t);
// Reads "YYYY-MM-DDTHH:MM:SS", optional fraction, then "Z" or "+HH:MM" /
// "-HH:MM" ("t" and a blank are taken for "T"). Nothing for anything else.
std::optional<time_point_t> parse_iso8601(std::string_view text);

std::string base64_encode(std::string_view bytes);
// Strict: only the standard alphabet with its padding; nothing otherwise.
std::optional<std::string> base64_decode(std::string_view text);

// Seconds as the shortest decimal that reads back to the same double ("0.02",
// "3", "0.0005"; only beyond a microsecond or 10^15 with an exponent).
void append_seconds(std::string& out, double seconds);

// ---- Reading -------------------------------------------------------------

// True when `line` is a capture's header line (a JSON object whose first
// member is "capture"), which is how a capture is told from raw board output.
bool looks_like_capture_header(std::string_view line);

// Reads a capture line by line. Give it every line of the file in order
// (without its line feed; a CR before it is allowed); it counts the lines
// itself, so its messages name them. A line it cannot read is reported and
// skipped: everything after it still reads.
class capture_reader_t {
public:
    enum class result_t {
        header,  // the first line; see header()
        entry,   // see entry()
        skipped, // an empty line
        error,   // see error(); the line is skipped
    };

    capture_reader_t();
    ~capture_reader_t();
    capture_reader_t(const capture_reader_t&) = delete;
    capture_reader_t& operator=(const capture_reader_t&) = delete;

    result_t read_line(std::string_view line);

    const capture_header_t& header() const { return header_; }
    bool has_header() const { return has_header_; }
    const capture_entry_t& entry() const { return entry_; }
    // "line 7: ..." for the last error; the line number alone in error_line().
    const std::string& error() const { return error_; }
    std::uint64_t error_line() const { return error_line_; }
    std::uint64_t line_number() const { return line_number_; }
    // Header settings that no store could keep (a fraction, an object, a
    // mixed array), "key: reason" each; read() still succeeds without them.
    const std::vector<std::string>& dropped_settings() const { return dropped_settings_; }

private:
    result_t fail(std::string reason);
    result_t read_header(std::string_view line);
    bool read_plain_entry(std::string_view line);

    struct impl_t;
    std::unique_ptr<impl_t> impl_;
    capture_header_t header_;
    bool has_header_ = false;
    bool seen_first_ = false;
    capture_entry_t entry_;
    std::string bytes_;  // decoded base64
    std::string error_;
    std::uint64_t error_line_ = 0;
    std::uint64_t line_number_ = 0;
    std::vector<std::string> dropped_settings_;
};

}  // namespace plimsy
