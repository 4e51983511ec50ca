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
// Gives every active sensor a logical channel, asking the user where the
// mapping is not obvious. Never waits for the user: true when every active
// sensor holds a channel, false while a question is open (the display pass
// keeps the connects of the sensors concerned until it returns true).
bool SensorManager_UpdateLogicalChannel();
ActiveSensors* SensorManager_GetActiveSensors();
// The ports of the active sensors in display slots 1 and 2 (sensorPort_None
// for an empty slot), copied under the manager's lock: for threads other
// than detection and the display pass, which must not follow the pointers.
std::array<int, 2> SensorManager_getActivePorts();
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

// The question to the user, handed in by the application (the dialog lives
// on the screen side). `ask` shows the question for the sensor on `port` and
// returns at once; the user's answer comes back later through
// SensorManager_answerChannelQuestion. `withdraw` takes the question off the
// screen when its sensor is pulled before the user answered. Both run on the
// GTK main loop, from SensorManager_UpdateLogicalChannel.
struct SensorManager_ChannelQuestion {
  void (*ask)(int port) = nullptr;
  void (*withdraw)() = nullptr;
};
void SensorManager_setChannelQuestion(SensorManager_ChannelQuestion question);
// The user chose `channel` (sensorLogicalChannel1 or 2) for the sensor on
// `port`. Only stored: the next SensorManager_UpdateLogicalChannel applies it
// to the sensor if it is still there, and drops it otherwise.
void SensorManager_answerChannelQuestion(int port, std::uint32_t channel);
// The port a question is open for, sensorPort_None while none.
int SensorManager_openQuestion();
