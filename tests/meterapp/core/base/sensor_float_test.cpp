#include "sensor_float.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

struct WordCase {
  float value;
  std::uint32_t word;
};

// Words as the sensor sends them, with the values they stand for.
constexpr WordCase kSensorWords[] = {
    {1.0F, 0x01400000}, {0.5F, 0x00400000},  {-1.0F, 0x01C00000},
    {2.0F, 0x02400000}, {100.0F, 0x07640000}, {-100.0F, 0x079C0000},
    {0.75F, 0x00600000}, {1.0e-3F, 0xF7418937},
};

TEST(SensorFloat, KnownWordsConvertBothWays) {
  for (const auto& c : kSensorWords) {
    SCOPED_TRACE(testing::Message() << c.value);
    EXPECT_EQ(floatIeeeToTalvek(c.value), c.word);
    EXPECT_FLOAT_EQ(floatTalvekToIeee(c.word), c.value);
  }
}

TEST(SensorFloat, ZeroMantissaIsPositiveZeroWhateverTheExponent) {
  for (std::uint32_t word : {0x00000000U, 0x05000000U, 0x80000000U}) {
    SCOPED_TRACE(word);
    const float v = floatTalvekToIeee(word);
    EXPECT_EQ(v, 0.0F);
    EXPECT_FALSE(std::signbit(v));
  }
  EXPECT_EQ(floatIeeeToTalvek(0.0F), 0U);
  EXPECT_EQ(floatIeeeToTalvek(-0.0F), 0U);
}

TEST(SensorFloat, UnnormalisedMantissaIsNormalised) {
  // 1 * 2^(0 - 23): the single lowest mantissa bit.
  EXPECT_EQ(floatTalvekToIeee(0x00000001), std::ldexp(1.0F, -23));
  EXPECT_EQ(floatTalvekToIeee(0x00FFFFFF), -std::ldexp(1.0F, -23));
  // The most negative mantissa already has bit 23 set: -2^E.
  EXPECT_EQ(floatTalvekToIeee(0x03800000), -8.0F);
}

TEST(SensorFloat, ValuesBelowTheSmallestNormalBecomeSignedZero) {
  const float positive = floatTalvekToIeee(0x80400000);  // 0.5 * 2^-128
  const float negative = floatTalvekToIeee(0x80C00000);
  EXPECT_EQ(positive, 0.0F);
  EXPECT_FALSE(std::signbit(positive));
  EXPECT_EQ(negative, 0.0F);
  EXPECT_TRUE(std::signbit(negative));
  // 2^-126 is the smallest normal single and survives.
  EXPECT_EQ(floatTalvekToIeee(0x83400000), std::numeric_limits<float>::min());
}

TEST(SensorFloat, RoundTripIsExactWhenTheLowestFractionBitIsClear) {
  const float values[] = {1.0F, -1.0F, 3.25F, -0.15625F, 1234.5F, 6.0e-30F, -7.5e20F, 1.0e38F, -2.0e-38F};
  for (float v : values) {
    SCOPED_TRACE(v);
    const float even = std::bit_cast<float>(std::bit_cast<std::uint32_t>(v) & ~1U);
    EXPECT_EQ(floatTalvekToIeee(floatIeeeToTalvek(even)), even);
  }
}

TEST(SensorFloat, RoundTripLosesOnlyTheLowestFractionBit) {
  const float v = std::bit_cast<float>(0x3F800001U);  // 1 + 2^-23
  EXPECT_EQ(floatTalvekToIeee(floatIeeeToTalvek(v)), 1.0F);
  const float n = -v;
  EXPECT_EQ(floatTalvekToIeee(floatIeeeToTalvek(n)), -1.0F);
}

TEST(SensorFloat, DenormalsKeepTheirFraction) {
  const float tiny = std::numeric_limits<float>::denorm_min();
  EXPECT_EQ(floatIeeeToTalvek(tiny), 0x82000001U);
  EXPECT_EQ(floatIeeeToTalvek(-tiny), 0x82FFFFFFU);
}

TEST(SensorFloat, SpecialValuesMapToTheirFixedWords) {
  constexpr float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(floatIeeeToTalvek(inf), 0x7F7FFFFFU);
  EXPECT_EQ(floatIeeeToTalvek(-inf), 0x7F800001U);
  EXPECT_EQ(floatIeeeToTalvek(std::numeric_limits<float>::quiet_NaN()), 0x00800000U);
  // The largest words read back as the largest finite magnitudes.
  EXPECT_FLOAT_EQ(floatTalvekToIeee(0x7F7FFFFF), std::ldexp(static_cast<float>(0x7FFFFF), 104));
  EXPECT_TRUE(std::isfinite(floatTalvekToIeee(0x7F800001)));
}

TEST(SensorFloat, HugeFiniteValuesSaturateInsteadOfWrapping) {
  // 2^127 needs an exponent of 128, one more than the sensor word holds.
  const float huge = std::ldexp(1.0F, 127);
  EXPECT_EQ(floatIeeeToTalvek(huge), 0x7F7FFFFFU);
  EXPECT_EQ(floatIeeeToTalvek(-huge), 0x7F800001U);
  EXPECT_EQ(floatIeeeToTalvek(std::numeric_limits<float>::max()), 0x7F7FFFFFU);
  // Just below, 2^126 still fits exactly.
  EXPECT_EQ(floatTalvekToIeee(floatIeeeToTalvek(std::ldexp(1.0F, 126))), std::ldexp(1.0F, 126));
}

}  // namespace
