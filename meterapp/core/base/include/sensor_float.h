// The 32-bit float format of the serial CW sensors.
//
// A word holds a signed 8-bit exponent E in its top byte and a signed
// two's-complement 24-bit mantissa M below it; its value is M * 2^(E - 23).
// The sensor sends the word most significant byte first.
#pragma once

#include <cstdint>

// Exact conversion to an IEEE single; values below the smallest normal single
// become a zero with the sign of the mantissa.
float floatTalvekToIeee(std::uint32_t word);

// Builds a sensor word from an IEEE single. The lowest fraction bit is lost.
// Infinity becomes the largest word of its sign, NaN the word 0x00800000;
// finite values too large for the 8-bit exponent saturate like infinity.
std::uint32_t floatIeeeToTalvek(float value);
