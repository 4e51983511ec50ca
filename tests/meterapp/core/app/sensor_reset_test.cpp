// The forced detection reset goes through the sensor manager: the sensors
// are let go (handlers stopped, channels forgotten) and attached afresh on
// the next pass, so they are identified again.
#include <gtest/gtest.h>

#include "app_state.h"
#include "detection_handoff.h"
#include "device_fixtures.h"
#include "meter_loops.h"
#include "sensor_detect.h"
#include "sensor_manager.h"

namespace {

TEST(SensorResetTest, AForcedResetReleasesAndReattachesTheSensors) {
  test_support::ScratchRoot root;
  test_support::PseudoTerminal sensor;
  sensor.linkAs(root, "/dev/usbtmc0");
  SensorManager_Create();
  resetSensorDetect = false;
  CONNECTED_SENSORS drained;
  gtkThread_TakeSensorChanges(&drained);

  CONNECTED_SENSORS previous = hwPollingThread_detect(CONNECTED_SENSORS{});
  ASSERT_EQ(previous.detectedSensors, 0x10U);
  SensorInstance_SetLogicalChannel(sensorPort_USB1, sensorLogicalChannel2);
  ASSERT_TRUE(sensorPortHandler_getIsConnected(sensorPort_USB1));

  resetSensorDetect = true;
  previous = hwPollingThread_detect(previous);
  EXPECT_EQ(previous.detectedSensors, 0U);
  EXPECT_EQ(previous.detectedSensorsChanged, 0x10U);
  EXPECT_FALSE(sensorPortHandler_getIsConnected(sensorPort_USB1));
  EXPECT_EQ(SensorInstance_GetState(sensorPort_USB1), std::uint32_t{sensorIdle});
  EXPECT_EQ(SensorInstance_GetLogicalChannel(sensorPort_USB1), std::uint32_t{sensorLogicalNoChannel});

  previous = hwPollingThread_detect(previous);
  EXPECT_EQ(previous.detectedSensors, 0x10U);
  EXPECT_EQ(previous.detectedSensorsChanged, 0x10U);
  EXPECT_TRUE(sensorPortHandler_getIsConnected(sensorPort_USB1));
  EXPECT_TRUE(SensorManager_IsSensorActive(sensorPort_USB1));
  EXPECT_TRUE(previous.promptForlogicalChannel);  // asked again

  gtkThread_TakeSensorChanges(&drained);
  UsbSlot_release(sensorPort_USB1, 1000);
  SensorManager_Destroy();
}

}  // namespace
