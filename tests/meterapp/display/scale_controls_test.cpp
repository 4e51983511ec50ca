// The range button steps, without widgets.
#include <gtest/gtest.h>

#include "scale_controls.h"

namespace {

TEST(ScaleControlsSteps, UpAndDownSwitchAutoOffAndStayInTheTable) {
  struct Case {
    rfPowerScale start;
    rfPowerScale up;
    rfPowerScale down;
  } const cases[] = {
      {{true, 5}, {false, 6}, {false, 4}},
      {{false, 10}, {false, 10}, {false, 9}},  // up at the top row
      {{true, 10}, {false, 10}, {false, 9}},
      {{true, 0}, {false, 1}, {false, 0}},     // down at the bottom row
      {{false, 0}, {false, 1}, {false, 0}},
      {{false, 42}, {false, 10}, {false, 10}},  // a stored index past the table
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.start.autoScale << " " << c.start.scaleIndex);
    EXPECT_EQ(ScaleControls_stepUp(c.start), c.up);
    EXPECT_EQ(ScaleControls_stepDown(c.start), c.down);
  }
}

TEST(ScaleControlsSteps, AutoTogglesAndKeepsTheRow) {
  EXPECT_EQ(ScaleControls_toggleAuto({true, 4}), (rfPowerScale{false, 4}));
  EXPECT_EQ(ScaleControls_toggleAuto({false, 4}), (rfPowerScale{true, 4}));
  EXPECT_EQ(ScaleControls_toggleAuto({false, 99}), (rfPowerScale{true, 10}));
}

}  // namespace
