#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plimsy {

// The steps of a guided magnetometer calibration, in the order they are
// taken. Comparisons follow the raw values.
enum class calibration_state_t : std::int32_t {
    complete = 0,
    xy = 1,
    xv = 2,
    yv = 3,
    z = 4,
};

// Nothing for a raw value outside 0 ... 4.
std::optional<calibration_state_t> calibration_state_from_raw(std::int32_t raw);

inline constexpr std::int32_t raw_value(calibration_state_t s) { return static_cast<std::int32_t>(s); }

using calibration_texts_t = std::array<std::string_view, 5>;

// Instruction for each step, indexed by raw value.
inline constexpr calibration_texts_t calibration_arr = {
    "",
    "1/4  xy: rotate horizontally on a flat surface",
    "2/4  x=0 on a flat surface: rotate \u00B190\u00BA EW to measure the vertical field",
    "3/4  y=0 on a flat surface: rotate \u00B190\u00BA EW to measure the vertical field",
    "4/4  z: rotate upside-down",
};

// Label of the button that moves on to the next step.
inline constexpr calibration_texts_t calibration_btn_arr = {"Calibrate", "Next", "Next", "Next", "Finish"};

// Warnings the board raises while it measures; only its own calibration has them.
inline constexpr calibration_texts_t calibration_arr_tilt = {"", "reduce tilt: xy", "reduce tilt: y", "reduce tilt: x", ""};
inline constexpr calibration_texts_t calibration_arr_angle = {"", "", "reduce angle", "reduce angle", ""};

// "Unknown calibration state " and the raw value: what a text lookup gives
// for a value that is none of the steps.
std::string unknown_calibration_text(calibration_state_t s);

// The table entry for `s`, or the unknown-state text.
std::string calibration_text(const calibration_texts_t& table, calibration_state_t s);

}  // namespace plimsy
