#include "detection_handoff.h"

#include <gtest/gtest.h>

#include "app_state.h"
#include "meter_loops.h"

namespace {

CONNECTED_SENSORS pass(std::uint32_t present, std::uint32_t changed, bool prompt = false) {
  CONNECTED_SENSORS c;
  c.detectedSensors = present;
  c.detectedSensorsChanged = changed;
  c.promptForlogicalChannel = prompt;
  return c;
}

class DetectionHandoffTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CONNECTED_SENSORS drained;
    gtkThread_TakeSensorChanges(&drained);
    multipleUpdateCount = 0;
    resetSensorDetect = false;
  }
};

TEST_F(DetectionHandoffTest, PassWithoutChangesHandsNothingOver) {
  gtkThread_SensorChanged(pass(0x10, 0));
  CONNECTED_SENSORS got;
  EXPECT_FALSE(gtkThread_TakeSensorChanges(&got));
}

TEST_F(DetectionHandoffTest, SingleResultIsHandedOverWhole) {
  gtkThread_SensorChanged(pass(0x11, 0x10, true));
  CONNECTED_SENSORS got;
  ASSERT_TRUE(gtkThread_TakeSensorChanges(&got));
  EXPECT_EQ(got.detectedSensors, 0x11U);
  EXPECT_EQ(got.detectedSensorsChanged, 0x10U);
  EXPECT_TRUE(got.promptForlogicalChannel);
  EXPECT_EQ(multipleUpdateCount, 0);
  EXPECT_FALSE(gtkThread_TakeSensorChanges(&got));  // consumed once
}

TEST_F(DetectionHandoffTest, ConnectAndDisconnectBetweenTwoPassesCancelOut) {
  // USB1 appears and goes again before the display thread looks.
  gtkThread_SensorChanged(pass(0x10, 0x10));
  gtkThread_SensorChanged(pass(0x00, 0x10));
  EXPECT_EQ(multipleUpdateCount, 1);
  CONNECTED_SENSORS got;
  EXPECT_FALSE(gtkThread_TakeSensorChanges(&got));
}

TEST_F(DetectionHandoffTest, MergedResultReportsChangesAgainstWhatTheDisplayLastSaw) {
  // The display saw Serial1 present. Then: USB2 arrives, Serial1 leaves,
  // USB2 leaves again, Serial2 arrives - three results before a pass.
  gtkThread_SensorChanged(pass(0x01 | 0x20, 0x20, true));
  gtkThread_SensorChanged(pass(0x20, 0x01));
  gtkThread_SensorChanged(pass(0x00, 0x20));
  gtkThread_SensorChanged(pass(0x02, 0x02));
  EXPECT_EQ(multipleUpdateCount, 3);
  CONNECTED_SENSORS got;
  ASSERT_TRUE(gtkThread_TakeSensorChanges(&got));
  EXPECT_EQ(got.detectedSensors, 0x02U);
  EXPECT_EQ(got.detectedSensorsChanged, 0x01U | 0x02U);
  EXPECT_TRUE(got.promptForlogicalChannel);  // not replaced by merged results
  // The next single result starts a fresh count.
  gtkThread_SensorChanged(pass(0x00, 0x02));
  EXPECT_EQ(multipleUpdateCount, 0);
}

TEST_F(DetectionHandoffTest, EventsComeInUsbFirstOrderWithDisconnectsBeforeConnects) {
  const DetectionEvents events = DetectionEvents_from(0x01 | 0x20, 0x01 | 0x02 | 0x10 | 0x20);
  ASSERT_EQ(events.disconnectCount, 2);
  EXPECT_EQ(events.disconnects[0], sensorPort_USB1);
  EXPECT_EQ(events.disconnects[1], sensorPort_Serial2);
  ASSERT_EQ(events.connectCount, 2);
  EXPECT_EQ(events.connects[0], sensorPort_USB2);
  EXPECT_EQ(events.connects[1], sensorPort_Serial1);
  const DetectionEvents none = DetectionEvents_from(0x33, 0);
  EXPECT_EQ(none.disconnectCount + none.connectCount, 0);
}

TEST_F(DetectionHandoffTest, ForcedResetReportsEverySensorRemovedOnce) {
  // The placeholder detection sees no sensor, so start from a previous
  // result with two sensors present and nothing changed.
  resetSensorDetect = true;
  const CONNECTED_SENSORS after = hwPollingThread_detect(pass(0x11, 0));
  EXPECT_FALSE(resetSensorDetect.load());
  EXPECT_EQ(after.detectedSensors, 0U);
  EXPECT_EQ(after.detectedSensorsChanged, 0x11U);
  CONNECTED_SENSORS got;
  ASSERT_TRUE(gtkThread_TakeSensorChanges(&got));
  EXPECT_EQ(got.detectedSensorsChanged, 0x11U);
}

}  // namespace
