// Hand-off of detection results from the detection thread to the display
// update thread.
//
// The detection thread reports every pass; the display thread consumes at
// its own pace. Results that arrive before the previous one was consumed
// are merged so that a sensor plugged in and pulled out again between two
// display passes produces neither a connect nor a disconnect.
#pragma once

#include <array>
#include <cstdint>

#include "sensor_data.h"

// Called by the detection thread with each pass's result.
void gtkThread_SensorChanged(CONNECTED_SENSORS sensors);

// Called by the display thread: when a result is pending, copies it out,
// clears the pending flag and returns true.
bool gtkThread_TakeSensorChanges(CONNECTED_SENSORS* sensors);

// What the display pass does with one consumed result, in order: the
// disconnects, then the logical channel update, then the connects.
struct DetectionEvents {
  std::array<int, kSensorPortCount> disconnects{};
  int disconnectCount = 0;
  std::array<int, kSensorPortCount> connects{};
  int connectCount = 0;
};
// Ports are visited in the order USB1, USB2, Serial1, Serial2.
DetectionEvents DetectionEvents_from(std::uint32_t present, std::uint32_t changed);
