#include "sensor_word.h"

#include <cmath>

namespace sim {

namespace {

constexpr int kMinExponent = -128;
constexpr int kMaxExponent = 127;
constexpr std::int32_t kLargestMantissa = 0x7FFFFF;

std::uint32_t word(int exponent, std::int32_t mantissa) {
  const auto top = static_cast<std::uint32_t>(exponent) & 0xFFU;
  return (top << 24) | (static_cast<std::uint32_t>(mantissa) & 0x00FFFFFFU);
}

std::uint32_t saturated(bool negative) {
  return word(kMaxExponent, negative ? -kLargestMantissa : kLargestMantissa);
}

}  // namespace

std::uint32_t encodeSensorWord(float value) {
  if (std::isnan(value)) return 0x00800000U;
  const bool negative = std::signbit(value);
  if (std::isinf(value)) return saturated(negative);
  const double magnitude = std::fabs(static_cast<double>(value));
  if (magnitude == 0.0) return 0;

  // magnitude = fraction * 2^exponent with 0.5 <= fraction < 1, so the
  // mantissa fraction * 2^23 fills 23 bits and leaves the sign bit clear.
  int exponent = 0;
  const double fraction = std::frexp(magnitude, &exponent);
  if (exponent > kMaxExponent) return saturated(negative);
  double scaled = std::ldexp(fraction, 23);
  if (exponent < kMinExponent) {
    // Too small for the exponent: keep the smallest one and let the mantissa
    // lose its leading bits instead.
    scaled = std::ldexp(scaled, exponent - kMinExponent);
    exponent = kMinExponent;
  }
  const auto mantissa = static_cast<std::int32_t>(std::trunc(scaled));
  return word(exponent, negative ? -mantissa : mantissa);
}

}  // namespace sim
