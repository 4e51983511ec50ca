// The value readers of the sensor commands and the number format of their
// replies, as pure text functions.
#include "scpi_values.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <string>

namespace {

std::string normalised(std::string_view raw) {
  ScpiValueText text;
  EXPECT_TRUE(ScpiValueText_set(&text, raw));
  return std::string(text.view());
}

TEST(ScpiValues, ValueTextIsUpperCaseWithoutBlanks) {
  EXPECT_EQ(normalised("10 us"), "10US");
  EXPECT_EQ(normalised("500\tmW"), "500MW");
  EXPECT_EQ(normalised("1.5 e 3"), "1.5E3");
  ScpiValueText text;
  EXPECT_FALSE(ScpiValueText_set(&text, std::string(65, '1'))) << "too long for any value the meter takes";
}

TEST(ScpiValues, OnlyFiniteDecimalNumbersWithinAFloatAreFloats) {
  struct Case {
    const char* text;
    std::optional<float> value;
  };
  const Case cases[] = {
      {"1", 1.0F},        {"+1.5E-3", 1.5e-3F}, {".5", 0.5F},         {"7.", 7.0F},       {"-2", -2.0F},
      {"3.4E38", 3.4e38F}, {"0", 0.0F},         {"", std::nullopt},   {"NAN", std::nullopt},
      {"INF", std::nullopt}, {"INFINITY", std::nullopt}, {"0X1P3", std::nullopt}, {"1E39", std::nullopt},
      {"-1E39", std::nullopt}, {"1E-50", std::nullopt}, {"1E", std::nullopt}, {"1.2.3", std::nullopt},
      {"--1", std::nullopt}, {" 1", std::nullopt}, {"1 ", std::nullopt}, {".", std::nullopt},
      {"E5", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    float value = -99.0F;
    EXPECT_EQ(stringIsFloat(c.text, &value), c.value.has_value());
    if (c.value) {
      EXPECT_FLOAT_EQ(value, *c.value);
    }
  }
}

TEST(ScpiValues, SuffixedValues) {
  struct Case {
    const char* text;
    std::optional<float> (*parse)(std::string_view);
    std::optional<float> value;
  };
  const Case cases[] = {
      {"10US", ScpiValue_time, 1e-5F},
      {"2MS", ScpiValue_time, 0.002F},
      {"3", ScpiValue_time, 3.0F},
      {"3S", ScpiValue_time, 3.0F},
      {"1E3MS", ScpiValue_time, 1.0F},
      {"3X", ScpiValue_time, std::nullopt},
      {"2MSX", ScpiValue_time, std::nullopt},
      {"NAN", ScpiValue_time, std::nullopt},
      {"MS", ScpiValue_time, std::nullopt},
      {"500MW", ScpiValue_level, 0.5F},
      {"2KW", ScpiValue_level, 2000.0F},
      {"1.5W", ScpiValue_level, 1.5F},
      {"0.5", ScpiValue_level, 0.5F},
      {"1E38KW", ScpiValue_level, std::nullopt},
      {"5US", ScpiValue_level, std::nullopt},
      {"2400", ScpiValue_frequency, 2.4e9F},
      {"2400HZ", ScpiValue_frequency, 2.4e9F},
      {"2400MHZ", ScpiValue_frequency, 2.4e9F},
      {"2400KHZ", ScpiValue_frequency, 2.4e6F},
      {"2.4GHZ", ScpiValue_frequency, 2.4e9F},
      {"1E33", ScpiValue_frequency, std::nullopt},
      {"2400H", ScpiValue_frequency, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<float> value = c.parse(c.text);
    ASSERT_EQ(value.has_value(), c.value.has_value());
    if (c.value) {
      EXPECT_FLOAT_EQ(*value, *c.value);
    }
  }
}

TEST(ScpiValues, WordsAndBooleans) {
  EXPECT_EQ(ScpiValue_boolean("ON"), ScpiBoolean::True);
  EXPECT_EQ(ScpiValue_boolean("1"), ScpiBoolean::True);
  EXPECT_EQ(ScpiValue_boolean("2"), ScpiBoolean::True);
  EXPECT_EQ(ScpiValue_boolean("OFF"), ScpiBoolean::False);
  EXPECT_EQ(ScpiValue_boolean("0.4"), ScpiBoolean::False);
  EXPECT_EQ(ScpiValue_boolean("-1"), ScpiBoolean::Negative);
  EXPECT_EQ(ScpiValue_boolean("YES"), ScpiBoolean::Invalid);
  EXPECT_EQ(ScpiValue_boolean("1MS"), ScpiBoolean::Invalid);
  EXPECT_EQ(ScpiValue_boolean("NAN"), ScpiBoolean::Invalid);
  EXPECT_EQ(ScpiValue_gateModel("PULSE"), false);
  EXPECT_EQ(ScpiValue_gateModel("TRIG"), true);
  EXPECT_EQ(ScpiValue_gateModel("TRIGG"), std::nullopt);
  EXPECT_EQ(ScpiValue_slope("NEGATIVE"), 0);
  EXPECT_EQ(ScpiValue_slope("POS"), 1);
  EXPECT_EQ(ScpiValue_slope("EITH"), std::nullopt);
}

TEST(ScpiValues, RepliesAreTheShortestTextOfTheFloat) {
  struct Case {
    float value;
    int pow10;
    const char* text;
  };
  const Case cases[] = {
      {4e-8F, 0, "4e-08"},          // below 5e-8 W: not rounded away
      {0.1F, 0, "0.1"},             // no single-precision noise
      {915.5e6F, -6, "915.5"},      // Hz to MHz on the digits
      {2.4e9F, -6, "2400"},
      {1e-3F, 6, "1000"},           // s to microseconds
      {1e-4F, 0, "0.0001"},
      {1.5e-5F, 0, "1.5e-05"},
      {123456.7F, 0, "123456.7"},
      {1e15F, 0, "1e+15"},
      {-2.5F, 0, "-2.5"},
      {0.0F, 0, "0"},
      {2000.0F, 0, "2000"},
      {std::numeric_limits<float>::quiet_NaN(), 0, "9.91E+37"},
      {std::numeric_limits<float>::infinity(), 0, "9.9E+37"},
      {-std::numeric_limits<float>::infinity(), 0, "-9.9E+37"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(scpiFormatFloat(c.value, c.pow10).view(), c.text);
  }
}

TEST(ScpiValues, EveryReplyReadsBackAsTheSameFloat) {
  std::mt19937 random(21);
  std::uniform_real_distribution<float> mantissa(1.0F, 10.0F);
  std::uniform_int_distribution<int> exponent(-30, 30);
  for (int i = 0; i < 20000; ++i) {
    const float value = mantissa(random) * std::pow(10.0F, static_cast<float>(exponent(random)));
    if (!std::isfinite(value) || value == 0.0F) continue;
    const ScpiNumberText text = scpiFormatFloat(value);
    float back = 0.0F;
    const auto [end, ec] = std::from_chars(text.text.data(), text.text.data() + text.length, back);
    ASSERT_EQ(ec, std::errc()) << text.view();
    ASSERT_EQ(end, text.text.data() + text.length) << text.view();
    ASSERT_EQ(back, value) << text.view();
  }
}

}  // namespace
