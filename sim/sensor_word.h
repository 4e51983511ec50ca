// The serial CW sensor's 32-bit float word, encoded the way the sensor does:
// a signed 8-bit exponent E in the top byte and a signed 24-bit mantissa M
// below it, worth M * 2^(E - 23).
//
// The simulator encodes with code of its own, written apart from the meter's
// decoder, so that a fault in either shows as a disagreement in the tests.
#pragma once

#include <cstdint>

namespace sim {

// Zero is the word 0; NaN is 0x00800000; infinities and values too large for
// the exponent saturate at the largest word of their sign. The mantissa is
// truncated towards zero.
std::uint32_t encodeSensorWord(float value);

}  // namespace sim
