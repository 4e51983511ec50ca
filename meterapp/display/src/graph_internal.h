// Helpers the graph's sources share with each other (and the tests), but not
// with the rest of the meter.
#pragma once

#include <cstddef>
#include <cstdint>

// `value` with `precision` decimals (0..6), the fraction printed without its
// leading "0" and without trailing zeros; a zero fraction prints nothing.
// Rounded once, so 12.9997 with 3 decimals is "13", never "121".
void graphFormat_trimmed(char* buffer, std::size_t size, double value, std::uint32_t precision);

// Graph colours (red, green, blue in 0..1).
struct GraphColour {
  double r, g, b;
};
constexpr GraphColour kGraphAxisBlue{0.0, 40349.0 / 65535.0, 56540.0 / 65535.0};
constexpr GraphColour kGraphTraceRed{65278.0 / 65535.0, 19018.0 / 65535.0, 18761.0 / 65535.0};
constexpr GraphColour kGraphLimitGreen{20303.0 / 65535.0, 45232.0 / 65535.0, 20560.0 / 65535.0};
