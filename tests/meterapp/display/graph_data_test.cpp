// The power history: capacity, moving averages, extremes and their edges.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <thread>

#include "graph.h"

namespace {

std::unique_ptr<CGraphData> makeStore(std::uint32_t width) {
  auto sut = std::make_unique<CGraphData>();
  CGraphData_create(sut.get(), width);
  return sut;
}

void addSamples(CGraphData* d, std::uint32_t n, float (*f)(std::uint32_t)) {
  for (std::uint32_t i = 0; i < n; ++i) CGraphData_addItem(d, f(i));
}

// A store that was never created (all zero, as the channel stores are
// before start-up creates them) keeps samples but has no averages.
TEST(GraphDataTest, AStoreNotYetCreatedHasNoAverages) {
  auto sut = std::make_unique<CGraphData>();
  for (int i = 0; i < 5; ++i) CGraphData_addItem(sut.get(), 1.0F);
  EXPECT_EQ(CGraphData_getCount(sut.get(), RawData), 5U);
  EXPECT_EQ(CGraphData_getCount(sut.get(), AveragedData), 0U);
  EXPECT_EQ(CGraphData_getFilterWidth(sut.get()), 0U);
  EXPECT_TRUE(std::isnan(CGraphData_getFilterItem(sut.get(), 0).power));
}

TEST(GraphDataTest, TheStoreDoesNotWrapOnceFull) {
  auto sut = makeStore(10);
  addSamples(sut.get(), kGraphRawCapacity, [](std::uint32_t i) { return static_cast<float>(i); });
  ASSERT_EQ(CGraphData_getCount(sut.get(), RawData), 86463U);
  CGraphData_addItem(sut.get(), -5.0F);  // the 86464th sample
  EXPECT_EQ(CGraphData_getCount(sut.get(), RawData), 86463U);
  EXPECT_FLOAT_EQ(CGraphData_getRawItem(sut.get(), 86462).power, 86462.0F);
  EXPECT_TRUE(std::isnan(CGraphData_getRawItem(sut.get(), 86463).power));
  EXPECT_EQ(CGraphData_getRawItem(sut.get(), 86463).timestamp, 0U);
  EXPECT_EQ(CGraphData_getCount(sut.get(), AveragedData), 86463U - 10 + 1);
  // The newest average covers the last ten samples.
  EXPECT_FLOAT_EQ(CGraphData_getFilterItem(sut.get(), 86463 - 10).power, (86453.0F + 86462.0F) / 2);
}

TEST(GraphDataTest, TheFirstAverageNeedsAFullFilterWidth) {
  auto sut = makeStore(10);
  addSamples(sut.get(), 9, [](std::uint32_t i) { return static_cast<float>(i + 1); });
  EXPECT_EQ(CGraphData_getCount(sut.get(), AveragedData), 0U);
  EXPECT_TRUE(std::isnan(CGraphData_getFilterItem(sut.get(), 0).power));
  EXPECT_TRUE(std::isnan(CGraphData_getItem(sut.get(), 0, AveragedData).power));
  // Without an average the extremes are the raw ones, so the scale has finite bounds.
  EXPECT_FLOAT_EQ(CGraphData_getMinValue(sut.get(), AveragedData), 1.0F);
  EXPECT_FLOAT_EQ(CGraphData_getMaxValue(sut.get(), AveragedData), 9.0F);

  CGraphData_addItem(sut.get(), 10.0F);
  ASSERT_EQ(CGraphData_getCount(sut.get(), AveragedData), 1U);
  const GraphDataItem first = CGraphData_getItem(sut.get(), 0, AveragedData);
  EXPECT_FLOAT_EQ(first.power, 5.5F);
  EXPECT_EQ(first.timestamp, CGraphData_getRawItem(sut.get(), 0).timestamp);
  EXPECT_TRUE(std::isnan(CGraphData_getFilterItem(sut.get(), 1).power));
}

TEST(GraphDataTest, TheAveragedExtremesIncludeTheNewestAverage) {
  auto sut = makeStore(2);
  for (float p : {1.0F, 1.0F, 1.0F, 10.0F}) CGraphData_addItem(sut.get(), p);
  // Averages 1, 1, 5.5: the last one is the maximum.
  EXPECT_EQ(CGraphData_getCount(sut.get(), AveragedData), 3U);
  EXPECT_FLOAT_EQ(CGraphData_getMaxValue(sut.get(), AveragedData), 5.5F);
  EXPECT_FLOAT_EQ(CGraphData_getMinValue(sut.get(), AveragedData), 1.0F);
  EXPECT_FLOAT_EQ(CGraphData_getMaxValue(sut.get(), RawData), 10.0F);

  CGraphData_addItem(sut.get(), -20.0F);  // averages ..., -5
  EXPECT_FLOAT_EQ(CGraphData_getMinValue(sut.get(), AveragedData), -5.0F);
  EXPECT_FLOAT_EQ(CGraphData_getMinValue(sut.get(), RawData), -20.0F);
}

TEST(GraphDataTest, ExtremesCoverTheShownDayOnly) {
  auto sut = makeStore(2);
  addSamples(sut.get(), kGraphRawCapacity, [](std::uint32_t i) { return i < 86400 ? 1.0F + (i % 2) : 100.0F; });
  EXPECT_FLOAT_EQ(CGraphData_getMaxValue(sut.get(), RawData), 2.0F);
  EXPECT_FLOAT_EQ(CGraphData_getMinValue(sut.get(), RawData), 1.0F);
  // The 86400th average is drawn and covers the 86401st raw sample.
  EXPECT_FLOAT_EQ(CGraphData_getMaxValue(sut.get(), AveragedData), (2.0F + 100.0F) / 2);
  CGraphData_setFilterWidth(sut.get(), 64);
  EXPECT_FLOAT_EQ(CGraphData_getMinValue(sut.get(), AveragedData), 1.5F);
}

TEST(GraphDataTest, NaNSamplesAreIgnoredAndAnEmptyStoreHasNoExtremes) {
  auto sut = makeStore(4);
  EXPECT_TRUE(std::isnan(CGraphData_getMinValue(sut.get(), RawData)));
  EXPECT_TRUE(std::isnan(CGraphData_getMaxValue(sut.get(), AveragedData)));
  CGraphData_addItem(sut.get(), NAN);
  EXPECT_EQ(CGraphData_getCount(sut.get(), RawData), 0U);
  CGraphData_addItem(sut.get(), 3.0F);
  CGraphData_addItem(sut.get(), NAN);
  EXPECT_EQ(CGraphData_getCount(sut.get(), RawData), 1U);
}

TEST(GraphDataTest, SetFilterWidthClampsAndRecomputesEveryAverage) {
  auto sut = makeStore(2);
  addSamples(sut.get(), 20, [](std::uint32_t i) { return static_cast<float>(i * i); });
  const struct {
    std::uint32_t asked;
    std::uint32_t width;
  } cases[] = {{5, 5}, {1, 2}, {0, 2}, {100, 64}, {64, 64}, {20, 20}, {3, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.asked);
    CGraphData_setFilterWidth(sut.get(), c.asked);
    EXPECT_EQ(CGraphData_getFilterWidth(sut.get()), c.width);
    const std::uint32_t expected = 20 >= c.width ? 20 - c.width + 1 : 0;
    ASSERT_EQ(CGraphData_getCount(sut.get(), AveragedData), expected);
    for (std::uint32_t s = 0; s < expected; ++s) {
      double sum = 0;
      for (std::uint32_t i = s; i < s + c.width; ++i) sum += static_cast<double>(i * i);
      EXPECT_FLOAT_EQ(CGraphData_getFilterItem(sut.get(), s).power, static_cast<float>(sum / c.width));
    }
    EXPECT_TRUE(std::isnan(CGraphData_getFilterItem(sut.get(), expected).power));
  }
  // New samples go on with the new width.
  CGraphData_setFilterWidth(sut.get(), 4);
  CGraphData_addItem(sut.get(), 0.0F);
  EXPECT_FLOAT_EQ(CGraphData_getFilterItem(sut.get(), 17).power, (289.0F + 324.0F + 361.0F + 0.0F) / 4);
}

TEST(GraphDataTest, CreateAndResetEmptyTheStore) {
  auto sut = makeStore(70);
  EXPECT_EQ(CGraphData_getFilterWidth(sut.get()), 64U);
  addSamples(sut.get(), 100, [](std::uint32_t) { return 2.0F; });
  CGraphData_reset(sut.get());
  EXPECT_EQ(CGraphData_getCount(sut.get(), RawData), 0U);
  EXPECT_EQ(CGraphData_getCount(sut.get(), AveragedData), 0U);
  EXPECT_TRUE(std::isnan(CGraphData_getRawItem(sut.get(), 0).power));
  EXPECT_EQ(CGraphData_getFilterWidth(sut.get()), 64U);  // the width stays
  CGraphData_addItem(sut.get(), 7.0F);
  EXPECT_FLOAT_EQ(CGraphData_getRawItem(sut.get(), 0).power, 7.0F);
}

TEST(GraphDataTest, CopyItemsStopsAtTheEnd) {
  auto sut = makeStore(3);
  addSamples(sut.get(), 10, [](std::uint32_t i) { return static_cast<float>(i); });
  GraphDataItem out[16];
  EXPECT_EQ(CGraphData_copyItems(sut.get(), 4, RawData, out, 16), 6U);
  EXPECT_FLOAT_EQ(out[0].power, 4.0F);
  EXPECT_EQ(CGraphData_copyItems(sut.get(), 0, AveragedData, out, 5), 5U);
  EXPECT_FLOAT_EQ(out[4].power, 5.0F);
  EXPECT_EQ(CGraphData_copyItems(sut.get(), 8, AveragedData, out, 16), 0U);
  EXPECT_EQ(CGraphData_copyItems(sut.get(), 99, RawData, out, 16), 0U);
}

// The sampler appends while the display reads: every average the reader
// sees matches the raw samples it covers.
TEST(GraphDataTest, ReadersSeeWholeAveragesWhileTheSamplerWrites) {
  auto sut = makeStore(4);
  std::jthread writer([&] {
    for (std::uint32_t i = 0; i < kGraphRawCapacity; ++i) CGraphData_addItem(sut.get(), static_cast<float>(i % 8));
  });
  bool done = false;
  do {
    done = CGraphData_getCount(sut.get(), RawData) == kGraphRawCapacity;
    const std::uint32_t n = CGraphData_getCount(sut.get(), AveragedData);
    if (n == 0) continue;
    const GraphDataItem last = CGraphData_getFilterItem(sut.get(), n - 1);
    ASSERT_FALSE(std::isnan(last.power));
    const float first = CGraphData_getRawItem(sut.get(), n - 1).power;
    // Four consecutive values of i % 8 starting at `first`.
    double expected = 0;
    for (int k = 0; k < 4; ++k) expected += static_cast<int>(first + static_cast<float>(k)) % 8;
    ASSERT_FLOAT_EQ(last.power, static_cast<float>(expected / 4));
  } while (!done);
  writer.join();
  EXPECT_FLOAT_EQ(CGraphData_getFilterItem(sut.get(), 100).power, 5.5F);  // (4 + 5 + 6 + 7) / 4
}

}  // namespace
