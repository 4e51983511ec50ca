// Process-wide state of the meter application: the flags its threads poll,
// the detection hand-off between the detection and display threads and the
// records of the start-up path.
#pragma once

#include <array>
#include <atomic>
#include <mutex>

#include "sensor_data.h"
#include "warning_dialog.h"

// Written by one thread, polled by the others.
extern std::atomic<bool> quit;                 // shut the device down
extern std::atomic<bool> gtk_init_done;        // the display update thread runs
extern std::atomic<bool> resetSensorDetect;    // report every sensor removed once
extern std::atomic<bool> sensorConnectionsChanged;  // a detection result waits for the display

// The detection result handed to the display update thread, guarded by
// sensorDetectionMutex together with multipleUpdateCount.
extern CONNECTED_SENSORS PowerSensors;
extern int multipleUpdateCount;
extern std::mutex sensorDetectionMutex;

enum enShutDownStates { shutdownIdle = 0, shutdownWarning = 1, shutdownShuttingDown = 2 };

// The critical-battery warning, requested by the battery supervisor and
// carried out by the display pass.
extern WarningDialog batteryWarningDialog;

// The directory the program runs from; resources are under "./resources/".
extern std::array<char, 4096> application_dir;

// "meterapp v3.0.1 built <date> <time>".
const char* app_version();

// Makes the next detection pass report every sensor as removed, so that each
// is identified again on the pass after.
void resetDetectedSensors();
