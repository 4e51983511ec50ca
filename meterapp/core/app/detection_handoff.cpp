#include "detection_handoff.h"

#include "app_state.h"
#include "log_manager.h"

void gtkThread_SensorChanged(CONNECTED_SENSORS sensors) {
  std::lock_guard guard(sensorDetectionMutex);
  if (sensors.detectedSensorsChanged == 0) return;
  if (!sensorConnectionsChanged) {
    PowerSensors = sensors;
    sensorConnectionsChanged = true;
    multipleUpdateCount = 0;
    return;
  }
  ++multipleUpdateCount;
  DIAGNOSTIC("DetectSensors: Mulitple detection cycles occurred (multipleUpdateCount = %d)!\n", multipleUpdateCount);
  // What the display thread last consumed is the old present bits with the
  // old changes undone; the changes to report are relative to that.
  const std::uint32_t consumed = PowerSensors.detectedSensors ^ PowerSensors.detectedSensorsChanged;
  PowerSensors.detectedSensors = sensors.detectedSensors;
  PowerSensors.detectedSensorsChanged = sensors.detectedSensors ^ consumed;
  sensorConnectionsChanged = PowerSensors.detectedSensorsChanged != 0;
}

bool gtkThread_TakeSensorChanges(CONNECTED_SENSORS* sensors) {
  std::lock_guard guard(sensorDetectionMutex);
  if (!sensorConnectionsChanged) return false;
  *sensors = PowerSensors;
  sensorConnectionsChanged = false;
  return true;
}

DetectionEvents DetectionEvents_from(std::uint32_t present, std::uint32_t changed) {
  constexpr int kOrder[] = {sensorPort_USB1, sensorPort_USB2, sensorPort_Serial1, sensorPort_Serial2};
  DetectionEvents events;
  for (int port : kOrder) {
    const std::uint32_t bit = kSensorPortDetectionBit[static_cast<std::size_t>(port)];
    if ((changed & bit) == 0) continue;
    if ((present & bit) == 0) {
      events.disconnects[static_cast<std::size_t>(events.disconnectCount++)] = port;
    } else {
      events.connects[static_cast<std::size_t>(events.connectCount++)] = port;
    }
  }
  return events;
}
