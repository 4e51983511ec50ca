// Display ranges: each shown number is printed in one of eleven ranges (unit
// label, multiplier, printf format). Auto-ranging picks the row from the value
// with hysteresis so that the unit does not flicker near a boundary.
//
// Pure functions over constant tables; callable from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

struct DISPLAY_RANGE_FORMAT {
  char formatString[16];
  char formatStringGraph[16];
  char displayLabel[16];
  std::uint32_t precisionForGraph;
  float multiplier;  // shown number = value x multiplier
  float upThreshold;    // -1: never crossed
  float downThreshold;  // -1: never crossed
};

constexpr int kRangeCount = 11;
constexpr std::uint8_t kTopRange = kRangeCount - 1;

// Prints `value` into a text field with a row's number format. The formats
// are the constant ones of the tables below (one float conversion each),
// never text from outside.
template <std::size_t N>
void DisplayRange_print(std::array<char, N>& field, const char* format, double value) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  std::snprintf(field.data(), N, format, value);
#pragma GCC diagnostic pop
}

// Power in watts, time in seconds, frequency in hertz.
extern const std::array<DISPLAY_RANGE_FORMAT, kRangeCount> rangeFormats;
extern const std::array<DISPLAY_RANGE_FORMAT, kRangeCount> timeRangeFormats;
extern const std::array<DISPLAY_RANGE_FORMAT, kRangeCount> freqRangeFormats;
// Full scale of each power row in watts, and with auto-ranging on.
extern const std::array<float, kRangeCount> maxScalePowerList;
constexpr float kAutoRangeFullScale = 199994.9F;

// The new row for a value, starting from currentRange. A current row above
// the top is taken as the top row; a NaN or infinite value keeps the (clamped)
// current row. Never reads past a table.
std::uint8_t findNewRange(float power, std::uint8_t currentRange);
// Works on |time|.
std::uint8_t findTimeRange(float time, std::uint8_t currentRange);
std::uint8_t findFreqRange(float frequency, std::uint8_t currentRange);

