// Placeholder of detection and the sensor manager, until they are built: no
// sensor is ever seen (a sensor reported before is reported removed), and the
// manager holds fresh instances only.
#include "log_manager.h"
#include "sensor_detect.h"
#include "sensor_manager.h"

namespace {

SensorManager manager;

#define PLACEHOLDER() logManager_printToLog(NoCategory, "placeholder: %s\n", __func__)

bool validPort(int port) { return port >= 0 && port < kSensorPortCount; }

}  // namespace

CONNECTED_SENSORS SensorDetect_getConnectedSensors(CONNECTED_SENSORS previous) {
  CONNECTED_SENSORS now;
  now.detectedSensorsChanged = previous.detectedSensors;
  return now;
}

int pollUsbTmcMonitor(CONNECTED_SENSORS*) { return 1; }

void SensorManager_Create() { PLACEHOLDER(); }
void SensorManager_Destroy() {}
bool SensorManager_UpdatePhysicalSensors(CONNECTED_SENSORS* record, bool) {
  manager.connectedSensors = *record;
  return false;
}
bool SensorManager_AssignLogicalChannels(bool) { return true; }
void SensorManager_UpdateLogicalChannel() { PLACEHOLDER(); }
ActiveSensors* SensorManager_GetActiveSensors() { return &manager.activeSensors; }
SensorInstance* SensorManager_GetSensorInstance(int port) {
  return validPort(port) ? &manager.sensor[static_cast<std::size_t>(port)] : nullptr;
}
int SensorInstance_GetActiveCount() { return 0; }
bool SensorManager_IsSensorActive(int) { return false; }
bool SensorInstance_IsLogicalChannelAssigned(int) { return false; }
std::uint32_t SensorInstance_GetLogicalChannel(int port) {
  return validPort(port) ? manager.sensor[static_cast<std::size_t>(port)].logicalChannel : sensorLogicalNoChannel;
}
void SensorInstance_SetLogicalChannel(int port, std::uint32_t channel) {
  if (validPort(port)) manager.sensor[static_cast<std::size_t>(port)].logicalChannel = channel;
}
std::uint32_t SensorInstance_GetPhysicalChannel(int port) {
  return validPort(port) ? manager.sensor[static_cast<std::size_t>(port)].physicalChannel : 0;
}
void SensorInstance_SetPhysicalChannel(int port, std::uint32_t channel) {
  if (validPort(port)) manager.sensor[static_cast<std::size_t>(port)].physicalChannel = channel;
}
std::uint32_t SensorInstance_GetState(int port) {
  return validPort(port) ? manager.sensor[static_cast<std::size_t>(port)].state : sensorIdle;
}
void SensorInstance_SetState(int port, std::uint32_t state) {
  if (validPort(port)) manager.sensor[static_cast<std::size_t>(port)].state = state;
}
void SensorManager_setChannelQuestion(SensorManager_ChannelQuestion) {}
