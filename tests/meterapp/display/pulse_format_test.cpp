// The pulse view's texts without widgets: timing and frequency rows, the duty
// cycle, the mode choice and the gated / state power groups.
#include "pulse_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kRated = 10.0F;  // W: over range from 12 W

std::string text(const std::array<char, 32>& t) { return t.data(); }
std::string units(const std::array<char, 16>& u) { return u.data(); }

TEST(PulseFormatTest, TimingAndFrequencyRowsFindTheirRangeFromRowZero) {
  const struct {
    float value;
    bool time;
    const char* text;
    const char* units;
  } cases[] = {
      {0.000123F, true, " 123.00", "us"}, {8130.0F, false, "  8.130", "KHz"}, {1.0e9F, false, " 1000.00", "MHz"},
      {0.0F, true, " 0.0000", "us"},      {0.5F, true, "  500.0", "ms"},      {kNaN, false, "---", ""},
      {kNaN, true, "---", ""},            {INFINITY, false, "---", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    const PulseValueView v = c.time ? PulseFormat_time(c.value) : PulseFormat_frequency(c.value);
    EXPECT_EQ(text(v.text), c.text);
    EXPECT_EQ(units(v.units), c.units);
  }
}

TEST(PulseFormatTest, DutyCycleIsInPercentWithTwoDecimals) {
  EXPECT_EQ(text(PulseFormat_dutyCycle(12.345F).text), "12.35");
  EXPECT_EQ(units(PulseFormat_dutyCycle(12.345F).units), "%");
  EXPECT_EQ(text(PulseFormat_dutyCycle(kNaN).text), "---");
}

TEST(PulseFormatTest, ModeFollowsTheModelAndTheNumberOfSensors) {
  SENSOR_CONFIGS gate;
  gate.bSupportsTriggeredGates = true;
  SENSOR_CONFIGS states = gate;
  states.bModelIsTriggeredGates = true;
  SENSOR_CONFIGS unsupported;  // a P803 configured for triggered gates still shows the gate
  unsupported.bModelIsTriggeredGates = true;
  EXPECT_EQ(PulseFormat_mode(gate, 1), modeSingleSimple);
  EXPECT_EQ(PulseFormat_mode(gate, 2), modeDualSimple);
  EXPECT_EQ(PulseFormat_mode(states, 1), modeSingleMulti);
  EXPECT_EQ(PulseFormat_mode(states, 2), modeDualMulti);
  EXPECT_EQ(PulseFormat_mode(unsupported, 1), modeSingleSimple);
  EXPECT_EQ(PulseFormat_mode(states, 0), modeSingleMulti);
}

TEST(PulseFormatTest, MeanOverRangeLeavesMaximumAndMinimumInTheSameUnit) {
  // Manual row 5 (W, three decimals): the mean is over the sensor's 12 W.
  const PulsePowerGroupView v = PulseFormat_powerGroup(15.0F, 5.0F, 1.0F, {false, 5}, rfPower_W, kRated);
  EXPECT_EQ(text(v.text[0]), "  Range");
  EXPECT_TRUE(v.overRange[0]);
  EXPECT_EQ(text(v.text[1]), "  5.000");
  EXPECT_EQ(text(v.text[2]), "  1.000");
  EXPECT_FALSE(v.overRange[1]);
  EXPECT_FALSE(v.overRange[2]);
  EXPECT_EQ(units(v.units), "W");
  EXPECT_TRUE(v.anyOverRange());
}

TEST(PulseFormatTest, OnlyTheMeanMovesAnAutomaticRange) {
  // From row 7: the mean of 1.5 W goes to row 4; maximum and minimum follow it.
  const PulsePowerGroupView v = PulseFormat_powerGroup(1.5F, 0.0015F, 0.0F, {true, 7}, rfPower_W, kRated);
  EXPECT_TRUE(v.scaleChanged);
  EXPECT_EQ(v.scale.scaleIndex, 4U);
  EXPECT_EQ(text(v.text[0]), " 1.5000");
  EXPECT_EQ(text(v.text[1]), " 0.0015");
  EXPECT_EQ(text(v.text[2]), " 0.0000");
  EXPECT_TRUE(v.showScale);
}

TEST(PulseFormatTest, DbmClampsZeroAndNegativePowers) {
  const PulsePowerGroupView v = PulseFormat_powerGroup(1.0F, -2.0F, 0.0F, {true, 7}, rfPower_dBm, kRated);
  EXPECT_EQ(text(v.text[0]), "  30.00");
  EXPECT_EQ(text(v.text[1]), " -60.00");
  EXPECT_EQ(text(v.text[2]), " -60.00");
  EXPECT_EQ(units(v.units), "dBm");
  EXPECT_FALSE(v.showScale);
  EXPECT_FALSE(v.scaleChanged);
}

}  // namespace
