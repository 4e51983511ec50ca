#include "sensor_limits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

std::string scalar(const char* kind, const char* name, const char* inside) {
  return std::string("<") + kind + " name=\"" + name + "\">" + inside + "</" + kind + ">\n";
}

TEST(GetMaxMin, FindsTheNumbersInTheItemsSection) {
  const std::string doc = scalar("ScalarMeasurement", "Measurement.PRF", "<Minimum>10</Minimum><Maximum> 5e5 </Maximum>") +
                          scalar("ScalarConfiguration", "Configuration.TriggerDelay", "<Maximum>2</Maximum>") +
                          scalar("ScalarConfiguration", "Configuration.Other", "<Minimum>-3</Minimum>");
  struct Case {
    const char* item;
    const char* element;
    float min;  // NaN: not found
    float max;
  };
  const float nan = std::nanf("");
  const Case cases[] = {
      {"Measurement.PRF", "ScalarMeasurement", 10.0F, 5e5F},
      // The minimum of the next item lies beyond this item's closing element.
      {"Configuration.TriggerDelay", "ScalarConfiguration", nan, 2.0F},
      {"Measurement.Missing", "ScalarMeasurement", nan, nan},
      // No closing element of that kind after the item.
      {"Configuration.Other", "ScalarMeasurement", nan, nan},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item);
    float max = 0;
    float min = 0;
    getMaxMin(doc.c_str(), c.element, c.item, max, min);
    if (std::isnan(c.min)) EXPECT_TRUE(std::isnan(min)); else EXPECT_EQ(min, c.min);
    if (std::isnan(c.max)) EXPECT_TRUE(std::isnan(max)); else EXPECT_EQ(max, c.max);
  }
}

TEST(GetMaxMin, LongSectionsAndNumbersAreReadWhole) {
  const std::string padding(3000, ' ');
  const std::string doc = scalar("ScalarConfiguration", "Configuration.MaximumPulsePeriod",
                                 (padding + "<Minimum>0.000006000000000000</Minimum><Maximum>0.5</Maximum>").c_str());
  float max = 0;
  float min = 0;
  getMaxMin(doc.c_str(), "ScalarConfiguration", "Configuration.MaximumPulsePeriod", max, min);
  EXPECT_EQ(min, 6e-6F);
  EXPECT_EQ(max, 0.5F);
  getMaxMin(scalar("ScalarMeasurement", "Measurement.PRF", "<Minimum>1,5</Minimum>").c_str(), "ScalarMeasurement",
            "Measurement.PRF", max, min);
  EXPECT_TRUE(std::isnan(min)) << "not a number is not found";
}

TEST(SensorLimits, DefaultsFillWhatTheDescriptionLacks) {
  struct Case {
    const char* name;
    std::string doc;
    PULSE_RANGES power, prf, frequency, period, delay;
  };
  const float nan = std::nanf("");
  const Case cases[] = {
      {"empty description", "", {0, 100000}, {nan, nan}, {360000, 105000000}, {6e-6F, 1}, {-1, 1}},
      {"frequency minimum only",
       scalar("ScalarConfiguration", "Configuration.CorrectionFrequency", "<Minimum>1e6</Minimum>"),
       {0, 100000}, {nan, nan}, {1e6F, 105000000}, {6e-6F, 1}, {-1, 1}},
      {"maximum pulse period 0.5",
       scalar("ScalarConfiguration", "Configuration.MaximumPulsePeriod", "<Maximum>0.5</Maximum>"),
       {0, 100000}, {nan, nan}, {360000, 105000000}, {6e-6F, 0.5F}, {-1, 1}},
      {"every item",
       scalar("ScalarMeasurement", "Measurement.ForwardAveragePower", "<Minimum>0.001</Minimum><Maximum>500</Maximum>") +
           scalar("ScalarMeasurement", "Measurement.PRF", "<Minimum>10</Minimum><Maximum>500000</Maximum>") +
           scalar("ScalarConfiguration", "Configuration.CorrectionFrequency", "<Minimum>2e6</Minimum><Maximum>4e9</Maximum>") +
           scalar("ScalarConfiguration", "Configuration.MaximumPulsePeriod", "<Minimum>1e-5</Minimum><Maximum>0.1</Maximum>") +
           scalar("ScalarConfiguration", "Configuration.TriggerDelay", "<Minimum>-0.5</Minimum><Maximum>0.25</Maximum>"),
       {0.001F, 500}, {10, 500000}, {2e6F, 4e9F}, {1e-5F, 0.1F}, {-0.5F, 0.25F}},
  };
  auto expectRange = [](const char* what, const PULSE_RANGES& got, const PULSE_RANGES& want) {
    SCOPED_TRACE(what);
    if (std::isnan(want.min)) EXPECT_TRUE(std::isnan(got.min)); else EXPECT_FLOAT_EQ(got.min, want.min);
    if (std::isnan(want.max)) EXPECT_TRUE(std::isnan(got.max)); else EXPECT_FLOAT_EQ(got.max, want.max);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SENSOR_IDENTITY id;
    SensorLimits_fromDescription(c.doc.c_str(), id);
    expectRange("power", id.sensorPower, c.power);
    expectRange("prf", id.sensorPrf, c.prf);
    expectRange("frequency", id.sensorFrequency, c.frequency);
    expectRange("period", id.sensorPulsePeriod, c.period);
    expectRange("delay", id.sensorTriggerDelay, c.delay);
    for (const PULSE_DELAY_RANGES& state : id.pulseStates) {
      expectRange("state begin", state.begin, {-c.period.max, c.period.max});
      expectRange("state end", state.end, {-c.period.max, c.period.max});
    }
  }
}

TEST(SensorLimits, FailedTransferLeavesTheIdentityAlone) {
  std::array<char, USBTMC_RX_BUFFER_SIZE> buffer{};
  SENSOR_IDENTITY id;
  id.sensorPower = {1, 2};
  EXPECT_LT(getMinMaxParameters(0, buffer, id), 0);
  EXPECT_EQ(id.sensorPower.max, 2.0F);
  EXPECT_EQ(id.sensorPulsePeriod.max, 0.0F);
}

}  // namespace
