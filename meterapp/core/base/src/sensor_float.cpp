#include "sensor_float.h"

#include <bit>

namespace {

constexpr std::uint32_t kMantissaMask = 0x00FFFFFFU;
constexpr std::uint32_t kHiddenBit = 0x00800000U;
constexpr std::int32_t kLargestMantissa = 0x7FFFFF;

std::uint32_t makeWord(std::int32_t exponent, std::int32_t mantissa) {
  const auto e = static_cast<std::uint32_t>(static_cast<std::uint8_t>(static_cast<std::int8_t>(exponent)));
  return (e << 24) | (static_cast<std::uint32_t>(mantissa) & kMantissaMask);
}

}  // namespace

float floatTalvekToIeee(std::uint32_t word) {
  std::int32_t exponent = static_cast<std::int8_t>(word >> 24);
  std::int32_t mantissa = static_cast<std::int32_t>(word & kMantissaMask);
  if ((mantissa & 0x00800000) != 0) mantissa -= 0x01000000;  // sign-extend 24 bits
  if (mantissa == 0) return 0.0F;

  const bool negative = mantissa < 0;
  auto magnitude = static_cast<std::uint32_t>(negative ? -mantissa : mantissa);
  while ((magnitude & kHiddenBit) == 0) {
    magnitude <<= 1;
    --exponent;
  }
  const std::uint32_t sign = negative ? 0x80000000U : 0U;
  const std::int32_t biased = exponent + 127;
  if (biased <= 0) return std::bit_cast<float>(sign);
  return std::bit_cast<float>(sign | (static_cast<std::uint32_t>(biased) << 23) | (magnitude & (kHiddenBit - 1)));
}

std::uint32_t floatIeeeToTalvek(float value) {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  const bool negative = (bits & 0x80000000U) != 0;
  const auto field = static_cast<std::int32_t>((bits >> 23) & 0xFFU);
  const auto fraction = static_cast<std::int32_t>(bits & (kHiddenBit - 1));

  if (field == 0 && fraction == 0) return 0;
  if (field == 0xFF) {
    if (fraction != 0) return makeWord(0, static_cast<std::int32_t>(kHiddenBit));  // NaN
    return makeWord(127, negative ? -kLargestMantissa : kLargestMantissa);
  }
  if (field == 0) return makeWord(-126, negative ? -fraction : fraction);  // denormal

  const std::int32_t exponent = field - 126;
  if (exponent > 127) {
    // 2^127 and above do not fit the sensor's 8-bit exponent; wrapping it
    // would turn a huge value into a tiny one, so saturate instead.
    return makeWord(127, negative ? -kLargestMantissa : kLargestMantissa);
  }
  const std::int32_t mantissa = (fraction + static_cast<std::int32_t>(kHiddenBit)) / 2;
  return makeWord(exponent, negative ? -mantissa : mantissa);
}
