// The range finders: hysteresis, tolerance, and values or rows they must
// survive.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ranges.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct RangeCase {
  float value;
  int current;
  int expected;
};

TEST(FindNewRange, MovesWithHysteresisAndTolerance) {
  const RangeCase cases[] = {
      {1.5F, 5, 4},        // down one row
      {1.9F, 4, 4},        // inside the band 1.8 ... 2 W: stays
      {1.9F, 5, 5},
      {2.0F, 4, 5},        // 2.0 - 2.0 is above the tolerance
      {1.999997F, 4, 5},   // within the tolerance below the threshold
      {1.99990F, 4, 4},    // below it
      {0.0015F, 10, 0},    // all the way down
      {50000.0F, 0, 10},   // all the way up
      {0.0F, 7, 0},
      {-3.0F, 7, 0},       // a negative reading goes to the smallest row
      {1000.0F, 7, 7},
      {1900.0F, 8, 8},
      {2000.0F, 8, 9},
  };
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.value << " W from row " << c.current);
    EXPECT_EQ(findNewRange(c.value, static_cast<std::uint8_t>(c.current)), c.expected);
  }
}

TEST(FindNewRange, KeepsTheClampedRowForValuesThatAreNotNumbers) {
  const RangeCase cases[] = {
      {kNaN, 5, 5}, {kInf, 3, 3}, {-kInf, 3, 3}, {kNaN, 200, 10}, {kInf, 11, 10},
      // A row past the table is taken as the top row.
      {1.0F, 255, 4}, {50000.0F, 11, 10},
  };
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.value << " from row " << c.current);
    EXPECT_EQ(findNewRange(c.value, static_cast<std::uint8_t>(c.current)), c.expected);
    EXPECT_LE(findTimeRange(c.value, static_cast<std::uint8_t>(c.current)), 10);
    EXPECT_LE(findFreqRange(c.value, static_cast<std::uint8_t>(c.current)), 10);
  }
}

// Every current row a caller can pass, with the values that break naive
// arithmetic: the result stays in its table (the sanitizer build would catch
// a read past one).
TEST(RangeFinders, StayInsideTheirTablesForEveryRow) {
  const float values[] = {kNaN, kInf, -kInf, 0.0F, -0.0F, 1.0e30F, -1.0e30F, 1.0e-30F};
  for (int row = 0; row <= 255; ++row) {
    for (float value : values) {
      const auto current = static_cast<std::uint8_t>(row);
      ASSERT_LE(findNewRange(value, current), kTopRange) << value << " from " << row;
      ASSERT_LE(findTimeRange(value, current), kTopRange) << value << " from " << row;
      ASSERT_LE(findFreqRange(value, current), kTopRange) << value << " from " << row;
    }
  }
}

TEST(FindTimeRange, WorksOnTheMagnitude) {
  const RangeCase cases[] = {
      {-0.0005F, 0, 3},   // 500 us, one decimal
      {0.0005F, 0, 3},
      {0.0000014F, 0, 0},  // below row 1 by more than the tolerance
      {0.000002F, 0, 1},
      {1.5F, 10, 8},
      {25.0F, 0, 10},
      {kNaN, 4, 4},
  };
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.value << " s from row " << c.current);
    EXPECT_EQ(findTimeRange(c.value, static_cast<std::uint8_t>(c.current)), c.expected);
  }
}

TEST(FindFreqRange, PicksTheUnit) {
  const RangeCase cases[] = {
      {1.0F, 5, 0}, {1500.0F, 0, 4}, {1.0e6F, 0, 7}, {2.45e9F, 0, 10}, {kInf, 6, 6},
  };
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.value << " Hz from row " << c.current);
    EXPECT_EQ(findFreqRange(c.value, static_cast<std::uint8_t>(c.current)), c.expected);
  }
  EXPECT_STREQ(freqRangeFormats[findFreqRange(1500.0F, 0)].displayLabel, "KHz");
}

TEST(RangeTables, EveryRowLeavesAHysteresisGap) {
  for (std::size_t i = 0; i + 1 < rangeFormats.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_LT(rangeFormats[i].downThreshold, rangeFormats[i + 1].upThreshold);
    EXPECT_LT(timeRangeFormats[i].downThreshold, timeRangeFormats[i + 1].upThreshold);
    EXPECT_LT(freqRangeFormats[i].downThreshold, freqRangeFormats[i + 1].upThreshold);
    // The full scale of a row is what its format can print.
    EXPECT_GT(maxScalePowerList[i] * rangeFormats[i].multiplier, 1.9F);
  }
}

}  // namespace
