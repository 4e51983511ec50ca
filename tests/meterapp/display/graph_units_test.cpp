// The graph's time rows, unit conversions, labels and automatic scale.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "graph.h"
#include "graph_internal.h"

namespace {

TEST(GraphUnitsTest, TimeRowForASampleCount) {
  const struct {
    std::uint32_t samples;
    int row;
  } cases[] = {{0, 0},   {61, 0},   {64, 0},   {65, 1},   {130, 1},  {131, 2},     {262, 2},
               {263, 3}, {400, 3},  {500, 3},  {526, 3},  {527, 4},  {989, 5},     {86400, 11},
               {94000, 11}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.samples);
    EXPECT_EQ(graphTimeRow_forSampleCount(c.samples), c.row);
  }
}

TEST(GraphUnitsTest, PowerConversions) {
  EXPECT_DOUBLE_EQ(getPowerInCorrectUnits(2.5, false), 2.5);
  EXPECT_NEAR(getPowerInCorrectUnits(1.0, true), 30.0, 1e-12);
  EXPECT_NEAR(getPowerInCorrectUnits(0.001, true), 0.0, 1e-12);
  EXPECT_DOUBLE_EQ(getPowerInCorrectUnits(0.000000001, true), -60.0);
  EXPECT_DOUBLE_EQ(getPowerInCorrectUnits(0.0, true), -60.0);
  EXPECT_DOUBLE_EQ(getPowerInCorrectUnits(-1.0, true), -60.0);

  EXPECT_NEAR(getGraphPowerValueInCorrectUnits(20.0, graphScale_dBm, false), 100.0, 1e-9);  // dBm to mW
  EXPECT_NEAR(getGraphPowerValueInCorrectUnits(1.0, graphScale_mW, true), 0.0, 1e-12);      // 1 mW is 0 dBm
  EXPECT_NEAR(getGraphPowerValueInCorrectUnits(150000.0, graphScale_mW, true), 51.7609, 1e-4);
  EXPECT_DOUBLE_EQ(getGraphPowerValueInCorrectUnits(0.0, graphScale_mW, true), -60.0);
  EXPECT_DOUBLE_EQ(getGraphPowerValueInCorrectUnits(3000.0, graphScale_mW, false), 3000.0);
  EXPECT_DOUBLE_EQ(getGraphPowerValueInCorrectUnits(-12.0, graphScale_dBm, true), -12.0);

  EXPECT_DOUBLE_EQ(getSettingFromScale(25.0, "W"), 25000.0);
  EXPECT_DOUBLE_EQ(getSettingFromScale(25.0, "mW"), 25.0);
  EXPECT_DOUBLE_EQ(getSettingFromScale(2.0, "kW"), 2000000.0);
  EXPECT_DOUBLE_EQ(getScaleFromSetting(20000.0, "W"), 20.0);
  EXPECT_DOUBLE_EQ(getScaleFromSetting(2000000.0, "kW"), 2.0);
  EXPECT_DOUBLE_EQ(getScaleFromSetting(7.0, "mW"), 7.0);
}

TEST(GraphUnitsTest, LabelTexts) {
  const struct {
    double value_mW;
    const char* unit;
    std::uint32_t precision;
    const char* text;
  } cases[] = {
      {12000.0, "W", 3, "12"},        {12500.0, "W", 3, "12.5"},   {12999.7, "W", 3, "13"},  // rounded once
      {1.0, "W", 3, "0.001"},         {150000.0, "W", 3, "150"},   {3000.0, "mW", 0, "3000"},
      {2.6, "mW", 0, "3"},            {1234567.0, "kW", 4, "1.2346"}, {-250.0, "W", 3, "-0.25"},
      {-0.0001, "W", 3, "0"},         {10000000.0, "W", 1, "10000"}, {0.0, "W", 2, "0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    char text[32];
    formatValueForLabel(text, sizeof text, c.value_mW, c.unit, c.precision);
    EXPECT_STREQ(text, c.text);
  }
  char text[32];
  formatPowerForDisplay(-3.5, text, sizeof text, true, 5);
  EXPECT_STREQ(text, "-3.50");
  formatPowerForDisplay(20000.0, text, sizeof text, false, 5);
  EXPECT_STREQ(text, "20");
  formatPowerForDisplay(500.0, text, sizeof text, false, 2);
  EXPECT_STREQ(text, "500");
  getUnitForGraphScale(text, sizeof text, true, 5);
  EXPECT_STREQ(text, "Power (dBm)");
  getUnitForGraphScale(text, sizeof text, false, 9);
  EXPECT_STREQ(text, "Power (kW)");
  getUnitForGraphScale(text, sizeof text, false, 40);  // clamped to the last row
  EXPECT_STREQ(text, "Power (kW)");
}

TEST(GraphUnitsTest, RightJustifyPadsShortTextsToFive) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {{"0", "    0"}, {"60", "   60"}, {"1234", " 1234"}, {"12345", "12345"}, {"", ""}, {"123456", "123456"}};
  for (const auto& c : cases) {
    char text[16];
    std::snprintf(text, sizeof text, "%s", c.in);
    rightJustifyString(text);
    EXPECT_STREQ(text, c.out);
  }
}

// Every fitted range holds its data and has a positive span.
TEST(GraphUnitsTest, AutoScaleAlwaysHoldsTheData) {
  const struct {
    double lowest, highest;
    bool dBm;
  } cases[] = {
      {25.0, 25.0, false},  {5.0, 5.0, false},   {0.0, 0.0, false},  {30.0, 30.0, true},  {-60.0, -60.0, true},
      {1.0, 9.0, false},    {4.99, 5.01, false}, {0.3, 0.31, false}, {12.2, 47.5, true},  {-20.0, -19.5, true},
      {100.0, 100.0, false}, {79.0, 80.0, true}, {0.001, 150.0, false}, {10.0, 10.0, false}, {2.5, 2.5, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.lowest) + " .. " + std::to_string(c.highest) + (c.dBm ? " dBm" : " W"));
    const GraphAutoRange r = graphAutoScale_compute(c.lowest, c.highest, c.dBm);
    EXPECT_GT(r.maximum, r.minimum);
    EXPECT_LE(r.minimum, c.lowest);
    EXPECT_GE(r.maximum, c.highest);
    // The data is not glued to an edge unless the floor puts it there.
    const double floorValue = c.dBm ? -60.0 : 0.0;
    if (c.lowest > floorValue) {
      EXPECT_LT(r.minimum, c.lowest);
    }
  }
  // A steady 25 W sits in the middle of one 5 W step.
  const GraphAutoRange steady = graphAutoScale_compute(25.0, 25.0, false);
  EXPECT_DOUBLE_EQ(steady.minimum, 22.5);
  EXPECT_DOUBLE_EQ(steady.maximum, 27.5);
  // A spread range is rounded outward to whole steps.
  const GraphAutoRange spread = graphAutoScale_compute(1.0, 9.0, false);
  EXPECT_DOUBLE_EQ(spread.minimum, 0.0);
  EXPECT_DOUBLE_EQ(spread.maximum, 10.0);
  // No data: a defined one-step range at the floor.
  const GraphAutoRange none = graphAutoScale_compute(NAN, NAN, true);
  EXPECT_DOUBLE_EQ(none.minimum, -60.0);
  EXPECT_DOUBLE_EQ(none.maximum, -59.0);
}

// Through the settings check of the settings file the trace stays on screen.
TEST(GraphUnitsTest, AutoScaleOfASteadyReadingSurvivesTheSettingsCheck) {
  GraphSettings_t current{10000000.0, 3000.0, 10000000.0, 3000.0, graphScale_mW, 64, false, graphModeRaw};
  GraphSettings_t stored = graphAutoScale_settings(current, 25.0, 25.0, false);
  validateGraphSettings(stored);
  EXPECT_EQ(stored.unit, graphScale_mW);
  EXPECT_LT(stored.minPower, 25000.0);
  EXPECT_GT(stored.maxPower, 25000.0);

  // In dBm the bounds are stored in dBm and the limit lines follow the unit.
  GraphSettings_t dBm = graphAutoScale_settings(current, 30.0, 30.0, true);
  validateGraphSettings(dBm);
  EXPECT_EQ(dBm.unit, graphScale_dBm);
  EXPECT_LT(dBm.minPower, 30.0);
  EXPECT_GT(dBm.maxPower, 30.0);
  EXPECT_NEAR(dBm.maxLimitLine, 70.0, 1e-9);  // 10^7 mW
  EXPECT_NEAR(dBm.minLimitLine, 34.7712, 1e-4);
}

TEST(GraphUnitsTest, SanitizedSettingsHaveAPositiveFiniteSpan) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double minPower, maxPower;
    int unit;
  } cases[] = {{5000, 5000, 0}, {9000, 1000, 0}, {nan, nan, 0}, {nan, 4000, 0}, {-inf, inf, 0},
               {0, 0, 1},       {10, -10, 1},    {nan, nan, 1}, {inf, inf, 1},  {3000, 2000, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.minPower) + " " + std::to_string(c.maxPower) + " unit " + std::to_string(c.unit));
    GraphSettings_t s{c.maxPower, c.minPower, c.maxPower, c.minPower, static_cast<GraphScaleUnit_t>(c.unit),
                      0, false, graphModeAverage};
    const GraphSettings_t safe = graphSettings_sanitize(s);
    EXPECT_TRUE(std::isfinite(safe.minPower));
    EXPECT_TRUE(std::isfinite(safe.maxPower));
    EXPECT_GT(safe.maxPower - safe.minPower, 0.0);
    EXPECT_TRUE(safe.unit == graphScale_mW || safe.unit == graphScale_dBm);
    EXPECT_EQ(safe.displayMode, graphModeAverage);
    EXPECT_EQ(safe.averageCount, 2U);
  }
}

}  // namespace
