#include "hw_monitors.h"

#include <gtest/gtest.h>

namespace {

TEST(SimulatedMeasurements, ValuesStayInTheirBands) {
  const SENSOR_MEASUREMENTS m = getSimulatedMeasurements();
  EXPECT_GE(m.fwdPwrVal, 950.0F);
  EXPECT_LE(m.fwdPwrVal, 1050.0F);
  EXPECT_GE(m.rflPwrVal, 95.0F);
  EXPECT_LE(m.rflPwrVal, 105.0F);
  for (int i = 0; i < 4; ++i) {
    const auto& s = m.pulseStates[static_cast<std::size_t>(i)];
    EXPECT_FLOAT_EQ(s.max - s.min, 10.0F);
    EXPECT_FLOAT_EQ(s.mean - s.min, 5.0F);
    EXPECT_GE(s.min, 14.0F - static_cast<float>(i));
    EXPECT_LE(s.min, 16.0F - static_cast<float>(i));
  }
  EXPECT_EQ(m.prdVal, 0.0F);
  EXPECT_EQ(m.gateMean, 0.0F);
}

}  // namespace
