#pragma once

// Texts of the message records: their type names, their fields as JSON and
// the debug texts used in diagnostics.

#include <string>
#include <string_view>

#include "model/records.hpp"

namespace plimsy {

// The record's type name, such as "compass_gravity_str_t".
std::string_view record_name(const record_t& record);

// Appends the record's fields as one JSON object, keyed by field name (so
// `H`, not the wire key "heading") in declaration order. Absent optional
// fields are left out; integers are exact, floats the shortest text that
// reads back to the same float (a non-finite float, which decoding never
// produces, becomes null), strings escaped.
// Example: {"h":12.5,"x":0.1,"y":-0.2,"z":9.81,"c":"xy"}
void append_record_fields_json(std::string& out, const record_t& record);

// "{ x: 1.0, y: 2.5, z: -3.0 }"; serves every three-axis record.
std::string debug_description(const xyz_str_t& record);
// "{ temp: 21.5, pressure: 1013.2, humidity: 40.0, gas: 12000 }"
std::string debug_description(const bme680_str_t& record);
// "{ temp: 21.5, humidity: 40.0 }"
std::string debug_description(const shtc3_str_t& record);
// "{ y: 2024, m: 5, d: 17, hh: 8, mm: 3, ss: 9 }"
std::string debug_description(const rtc_str_t& record);
// "{ alarm: 1, PIR: 0 }"
std::string debug_description(const gavrin3_events_str_t& record);
// "{ cs1: \"0x02\", cs2: \"0x00\", pgs: \"0x01\", voltage: 4100, level: 87 }"
std::string debug_description(const adp536x_str_t& record);
// "{ heading: 12.5, x_min: -1, y_min: ..., yv_max: 7 }": the heading (h,
// else H, else 0) and the ten calibration limits.
std::string debug_description(const compass_c_str_t& record);

}  // namespace plimsy
