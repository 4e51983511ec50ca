// The sensor manager: one instance per sensor port, and the two display slots
// (logical channels 1 and 2) that at most two attached sensors occupy.
//
// The detection thread applies each detection pass (SensorManager_Update-
// PhysicalSensors); the display update pass then asks the user for a channel
// where the mapping is not obvious (SensorManager_UpdateLogicalChannel). The
// question itself is a dialog on the screen: the display layer hands it in
// with SensorManager_setChannelQuestion, so this module stays free of GTK.
#pragma once

#include <array>
#include <cstdint>

#include "sensor_data.h"

enum enSensorState : std::uint32_t { sensorIdle = 0, sensorActive = 1, sensorError = 2 };
enum enSensorLogicalChannel : std::uint32_t {
  sensorLogicalChannel1 = 0,
  sensorLogicalChannel2 = 1,
  sensorLogicalNoChannel = 255,
};

struct SensorInstance {
  bool isPulseSensor = false;                        // a USB sensor
  std::uint32_t state = sensorIdle;                  // enSensorState
  std::uint32_t index = sensorPort_None;             // the port (SensorPort), 255 while none
  std::uint32_t logicalChannel = sensorLogicalNoChannel;
  std::uint32_t physicalChannel = 0;                 // the port's detection bit, 0 while none
};

// The instances in the two display slots; null while a slot is empty.
struct ActiveSensors {
  SensorInstance* sensor1 = nullptr;
  SensorInstance* sensor2 = nullptr;
};

struct SensorManager {
  std::array<SensorInstance, kSensorPortCount> sensor{};
  CONNECTED_SENSORS connectedSensors;
  ActiveSensors activeSensors;
};

void SensorManager_Create();
void SensorManager_Destroy();
bool SensorManager_UpdatePhysicalSensors(CONNECTED_SENSORS* record, bool twoChannels);
bool SensorManager_AssignLogicalChannels(bool twoChannels);
void SensorManager_UpdateLogicalChannel();
ActiveSensors* SensorManager_GetActiveSensors();
SensorInstance* SensorManager_GetSensorInstance(int port);
int SensorInstance_GetActiveCount();
bool SensorManager_IsSensorActive(int port);
bool SensorInstance_IsLogicalChannelAssigned(int channel);
std::uint32_t SensorInstance_GetLogicalChannel(int port);
void SensorInstance_SetLogicalChannel(int port, std::uint32_t channel);
std::uint32_t SensorInstance_GetPhysicalChannel(int port);
void SensorInstance_SetPhysicalChannel(int port, std::uint32_t channel);
std::uint32_t SensorInstance_GetState(int port);
void SensorInstance_SetState(int port, std::uint32_t state);

// Asks the user which logical channel the sensor on `port` takes and returns
// sensorLogicalChannel1 or sensorLogicalChannel2. Runs on the GTK main loop.
using SensorManager_ChannelQuestion = std::uint32_t (*)(int port);
void SensorManager_setChannelQuestion(SensorManager_ChannelQuestion question);
