// Process-wide state of the meter application: the flags its threads poll,
// the detection hand-off between the detection and display threads, the
// per-channel display records and the locks of the start-up path.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "sensor_data.h"
#include "standins.h"

// Written by one thread, polled by the others.
extern std::atomic<bool> quit;                 // shut the device down
extern std::atomic<bool> gtk_init_done;        // the display update thread runs
extern std::atomic<bool> screenInitComplete;   // the screens exist
extern std::atomic<bool> resetSensorDetect;    // report every sensor removed once
extern std::atomic<bool> sensorConnectionsChanged;  // a detection result waits for the display

// The detection result handed to the display update thread, guarded by
// sensorDetectionMutex together with multipleUpdateCount.
extern CONNECTED_SENSORS PowerSensors;
extern int multipleUpdateCount;
extern std::mutex sensorDetectionMutex;

// Serialises the current monitors, the charger and the fuel gauge.
extern std::mutex i2cMutex;

enum enShutDownStates { shutdownIdle = 0, shutdownWarning = 1, shutdownShuttingDown = 2 };

// One entry per display channel.
struct SensorDisplayInstance {
  GtkSensorInstance display = gtkSensorSingleChannel1;  // screen instance showing the channel
  // 255 while no sensor is bound; written by the display, read by the graph
  // sampler and the remote interfaces.
  std::atomic<SensorPort> sensorPort{sensorPort_None};
  CGraphData graphDataPwr;                               // the channel's power history
};
extern std::array<SensorDisplayInstance, 2> sensorDisplays;

// The critical-battery warning, requested by the battery supervisor and
// carried out by the display pass.
extern WarningDialog batteryWarningDialog;

// sysfs "curr1_input" of the current monitor of serial port 1 (index 0) and
// 2 (index 1); empty when not found.
extern std::array<std::array<char, 50>, 2> ina219CurrentMonitors;

// The directory the program runs from; resources are under "./resources/".
extern std::array<char, 4096> application_dir;

// "meterapp v3.0.1 built <date> <time>".
const char* app_version();

// Makes the next detection pass report every sensor as removed, so that each
// is identified again on the pass after.
void resetDetectedSensors();
