#include "app_state.h"

std::atomic<bool> quit{false};
std::atomic<bool> gtk_init_done{false};
std::atomic<bool> resetSensorDetect{false};
std::atomic<bool> sensorConnectionsChanged{false};

CONNECTED_SENSORS PowerSensors;
int multipleUpdateCount = 0;
std::mutex sensorDetectionMutex;

WarningDialog batteryWarningDialog;
std::array<char, 4096> application_dir{};

const char* app_version() { return "meterapp v3.0.1 built " __DATE__ " " __TIME__; }

void resetDetectedSensors() { resetSensorDetect = true; }
