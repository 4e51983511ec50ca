// The power ranges of the older meter's RS-232 answers: three rows per unit
// (4, 3 and 2 decimals) from nW to MW, and the auto-ranging over them. Pure
// functions over a constant table, callable from any thread.
#pragma once

#include <array>

struct DISPLAY_RANGE_FORMAT_RS232 {
  std::array<char, 16> formatString;
  std::array<char, 16> unitLabel;
  float multiplier;
  float upThreshold;    // W: the lowest power the row is meant for (-1: none)
  float downThreshold;  // W: at or below it the row below is taken (-1: none)
};

inline constexpr int kRangeRS232Count = 18;
extern const std::array<DISPLAY_RANGE_FORMAT_RS232, kRangeRS232Count> rangeFormatsRS232;

// The row (0..17) for `power` W, starting from `currentRange`, with the
// hysteresis between a row's down threshold and the next row's up threshold.
int AutoRangeRS232_findNewRange(float power, int currentRange);
// Row `index`, limited to 0..17.
const DISPLAY_RANGE_FORMAT_RS232& AutoRangeRS232_getRange(int index);
