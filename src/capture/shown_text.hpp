#pragma once

// What the screen shows (shown_object_t) as text: one JSON object for a
// line of "decode --state", and the cells of the CSV tables.

#include <string>
#include <string_view>
#include <vector>

#include "shown/shown_value.hpp"

namespace plimsy {

// {"compass":{"heading":12.5,"heading_s":"13",...},...,"screen":{...}}:
// objects and values in their order; numbers in their shortest round-trip
// form (a non-finite one as null), flags as true/false, texts escaped.
void append_shown_state_json(std::string& out, const std::vector<shown_object_t>& objects);
void append_shown_value_json(std::string& out, const shown_value_t& value);

// One CSV cell (RFC 4180): quoted, with inner quotes doubled, when it holds
// a comma, a quote, a CR or a LF; as it is otherwise.
void append_csv_field(std::string& out, std::string_view text);
// A shown value as a cell: numbers shortest ("nan", "inf" as pandas reads
// them), flags "true"/"false", texts as append_csv_field.
void append_shown_value_csv(std::string& out, const shown_value_t& value);

// The shortest text that reads back to the same double ("0.02", "3", "-1e-07").
void append_double(std::string& out, double value);

}  // namespace plimsy
