// The sensor manager: per-port sensor instances, the two display slots and
// their logical channels.
#include "sensor_manager.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

#include "log_manager.h"

namespace {

// The open question to the user: which sensor attachment it is about, and
// the answer once given.
struct ChannelQuestionState {
  int port = sensorPort_None;
  std::uint32_t attachment = 0;  // the attachment count of the port when asked
  bool answered = false;
  std::uint32_t answer = sensorLogicalNoChannel;
};

struct ManagerState {
  SensorManager record;
  // Counts the accepted attachments of each port, so that an answer to a
  // sensor that was pulled and plugged in again is not taken for the new one.
  std::array<std::uint32_t, kSensorPortCount> attachments{};
  ChannelQuestionState question;
};

std::unique_ptr<ManagerState> gSensors;
std::mutex managerLock;  // the instances, slots and the question
SensorManager_ChannelQuestion channelQuestion;

std::size_t idx(int port) { return static_cast<std::size_t>(port); }
std::uint32_t bitOf(int port) { return kSensorPortDetectionBit[idx(port)]; }
bool validPort(int port) { return port >= 0 && port < kSensorPortCount; }

SensorInstance* instanceOf(int port) { return &gSensors->record.sensor[idx(port)]; }

bool isActive(const SensorInstance* instance) { return instance != nullptr && instance->state == sensorActive; }

std::uint32_t otherChannel(std::uint32_t channel) {
  return channel == sensorLogicalChannel1 ? sensorLogicalChannel2 : sensorLogicalChannel1;
}

bool hasChannel(const SensorInstance* instance) {
  return instance->logicalChannel == sensorLogicalChannel1 || instance->logicalChannel == sensorLogicalChannel2;
}

void removeSensor(int port) {
  SensorInstance* instance = instanceOf(port);
  *instance = SensorInstance{};
  ActiveSensors& slots = gSensors->record.activeSensors;
  for (SensorInstance** slot : {&slots.sensor1, &slots.sensor2}) {
    if (*slot == instance || (*slot != nullptr && (*slot)->index == sensorPort_None)) *slot = nullptr;
  }
  sensorPortHandler_setIsConnected(port, false);
  logManager_printToLog(SensorMmngr, "SensorManager: port %d removed\n", port);
}

// False when both display slots are taken.
bool addSensor(int port) {
  ActiveSensors& slots = gSensors->record.activeSensors;
  const bool accepted = slots.sensor1 == nullptr || slots.sensor2 == nullptr;
  if (accepted) {
    SensorInstance* instance = instanceOf(port);
    instance->state = sensorActive;
    instance->index = static_cast<std::uint32_t>(port);
    instance->isPulseSensor = SensorPort_isUsb(port);
    instance->logicalChannel = sensorLogicalNoChannel;
    instance->physicalChannel = bitOf(port);
    (slots.sensor1 == nullptr ? slots.sensor1 : slots.sensor2) = instance;
    ++gSensors->attachments[idx(port)];
  }
  sensorPortHandler_setIsConnected(port, accepted);
  logManager_printToLog(SensorMmngr, "SensorManager: port %d %s\n", port, accepted ? "accepted" : "ignored, no free slot");
  return accepted;
}

bool assignLogicalChannels() {
  const ActiveSensors& slots = gSensors->record.activeSensors;
  SensorInstance* first = isActive(slots.sensor1) ? slots.sensor1 : nullptr;
  SensorInstance* second = isActive(slots.sensor2) ? slots.sensor2 : nullptr;
  if (first != nullptr && second != nullptr) {
    if (hasChannel(first)) {
      second->logicalChannel = otherChannel(first->logicalChannel);
      return true;
    }
    if (hasChannel(second)) {
      first->logicalChannel = otherChannel(second->logicalChannel);
      return true;
    }
    return false;
  }
  if (first == nullptr) first = second;
  return first == nullptr || hasChannel(first);
}

// The sensor the user must be asked about: slot 1's before slot 2's, and
// only when the other cannot settle it.
SensorInstance* sensorToAsk() {
  const ActiveSensors& slots = gSensors->record.activeSensors;
  for (SensorInstance* instance : {slots.sensor1, slots.sensor2}) {
    if (isActive(instance) && !hasChannel(instance)) return instance;
  }
  return nullptr;
}

// Applies a given answer, or drops the question when its sensor is gone.
// Returns whether the question is still open.
bool settleQuestion(bool* withdraw) {
  ChannelQuestionState& q = gSensors->question;
  if (q.port == sensorPort_None) return false;
  SensorInstance* instance = instanceOf(q.port);
  const bool stillThere = isActive(instance) && gSensors->attachments[idx(q.port)] == q.attachment;
  if (!stillThere) {
    logManager_printToLog(SensorMmngr, "SensorManager: the sensor on port %d went away before the answer\n", q.port);
    *withdraw = !q.answered;
    q = ChannelQuestionState{};
    return false;
  }
  if (!q.answered) return true;
  if (!hasChannel(instance)) instance->logicalChannel = q.answer;
  logManager_printToLog(SensorMmngr, "SensorManager: port %d on logical channel %u\n", q.port, instance->logicalChannel);
  q = ChannelQuestionState{};
  return false;
}

}  // namespace

void SensorManager_Create() {
  std::lock_guard guard(managerLock);
  try {
    gSensors = std::make_unique<ManagerState>();
  } catch (const std::bad_alloc&) {
    DIAGNOSTIC("Unable to allocate memory for gSensors.\n");
    std::fflush(nullptr);
    std::_Exit(-1);
  }
}

void SensorManager_Destroy() {
  std::lock_guard guard(managerLock);
  gSensors.reset();
}

bool SensorManager_UpdatePhysicalSensors(CONNECTED_SENSORS* record, bool twoChannels) {
  std::lock_guard guard(managerLock);
  if (!gSensors) return false;
  SensorManager& manager = gSensors->record;
  bool changed = false;
  if (record->detectedSensorsChanged != 0) {
    const std::uint32_t before = manager.connectedSensors.detectedSensors;
    for (int port = 0; port < kSensorPortCount; ++port) {
      if ((record->detectedSensors & bitOf(port)) == 0 && (before & bitOf(port)) != 0) {
        removeSensor(port);
        changed = true;
      }
    }
    for (int port : {sensorPort_USB1, sensorPort_USB2, sensorPort_Serial1, sensorPort_Serial2}) {
      if ((record->detectedSensors & bitOf(port)) == 0 || (before & bitOf(port)) != 0) continue;
      if (addSensor(port)) {
        changed = true;
      } else {
        // Unseen for now: the next pass offers it again.
        record->detectedSensors &= ~bitOf(port);
        record->detectedSensorsChanged &= ~bitOf(port);
      }
    }
    (void)twoChannels;  // the meter always has two display channels
    record->promptForlogicalChannel = !assignLogicalChannels();
  }
  manager.connectedSensors = *record;
  return changed;
}

bool SensorManager_AssignLogicalChannels(bool) {
  std::lock_guard guard(managerLock);
  return gSensors && assignLogicalChannels();
}

bool SensorManager_UpdateLogicalChannel() {
  int askPort = sensorPort_None;
  bool withdraw = false;
  bool settled = false;
  {
    std::lock_guard guard(managerLock);
    if (!gSensors) return true;
    if (settleQuestion(&withdraw)) return false;
    for (;;) {
      if (assignLogicalChannels()) {
        settled = true;
        break;
      }
      SensorInstance* instance = sensorToAsk();
      if (instance == nullptr) {
        settled = true;
        break;
      }
      const int port = static_cast<int>(instance->index);
      if (channelQuestion.ask == nullptr) {
        // Nobody to ask (no screen): the first channel.
        instance->logicalChannel = sensorLogicalChannel1;
        continue;
      }
      gSensors->question = {port, gSensors->attachments[idx(port)], false, sensorLogicalNoChannel};
      askPort = port;
      break;
    }
  }
  // The screen side runs outside the lock: the detection thread must not
  // wait for a dialog to appear.
  if (withdraw && channelQuestion.withdraw != nullptr) channelQuestion.withdraw();
  if (askPort != sensorPort_None) channelQuestion.ask(askPort);
  return settled;
}

void SensorManager_answerChannelQuestion(int port, std::uint32_t channel) {
  std::lock_guard guard(managerLock);
  if (!gSensors || gSensors->question.port != port || gSensors->question.port == sensorPort_None) return;
  if (channel != sensorLogicalChannel1 && channel != sensorLogicalChannel2) return;
  gSensors->question.answered = true;
  gSensors->question.answer = channel;
}

int SensorManager_openQuestion() {
  std::lock_guard guard(managerLock);
  return gSensors ? gSensors->question.port : sensorPort_None;
}

void SensorManager_setChannelQuestion(SensorManager_ChannelQuestion question) {
  std::lock_guard guard(managerLock);
  channelQuestion = question;
}

ActiveSensors* SensorManager_GetActiveSensors() {
  std::lock_guard guard(managerLock);
  if (!gSensors) {
    DIAGNOSTIC("Unexpected error: SensorManager instance is NULL.\n");
    return nullptr;
  }
  return &gSensors->record.activeSensors;
}

std::array<int, 2> SensorManager_getActivePorts() {
  std::lock_guard guard(managerLock);
  std::array<int, 2> ports{sensorPort_None, sensorPort_None};
  if (!gSensors) return ports;
  const ActiveSensors& slots = gSensors->record.activeSensors;
  if (isActive(slots.sensor1)) ports[0] = static_cast<int>(slots.sensor1->index);
  if (isActive(slots.sensor2)) ports[1] = static_cast<int>(slots.sensor2->index);
  return ports;
}

SensorInstance* SensorManager_GetSensorInstance(int port) {
  std::lock_guard guard(managerLock);
  if (!validPort(port)) {
    DIAGNOSTIC("Invalid sensor index (%d).\n", port);
    return nullptr;
  }
  return gSensors ? instanceOf(port) : nullptr;
}

int SensorInstance_GetActiveCount() {
  std::lock_guard guard(managerLock);
  if (!gSensors) return 0;
  const ActiveSensors& slots = gSensors->record.activeSensors;
  return (isActive(slots.sensor1) ? 1 : 0) + (isActive(slots.sensor2) ? 1 : 0);
}

bool SensorManager_IsSensorActive(int port) {
  std::lock_guard guard(managerLock);
  return gSensors && validPort(port) && instanceOf(port)->state == sensorActive;
}

bool SensorInstance_IsLogicalChannelAssigned(int channel) {
  std::lock_guard guard(managerLock);
  if (!gSensors) return false;
  const ActiveSensors& slots = gSensors->record.activeSensors;
  for (const SensorInstance* instance : {slots.sensor1, slots.sensor2}) {
    if (isActive(instance) && instance->logicalChannel == static_cast<std::uint32_t>(channel)) return true;
  }
  return false;
}

// The field accessors take a valid port; an invalid one reads as a fresh
// instance and is not written.
std::uint32_t SensorInstance_GetLogicalChannel(int port) {
  std::lock_guard guard(managerLock);
  return gSensors && validPort(port) ? instanceOf(port)->logicalChannel : sensorLogicalNoChannel;
}
void SensorInstance_SetLogicalChannel(int port, std::uint32_t channel) {
  std::lock_guard guard(managerLock);
  if (gSensors && validPort(port)) instanceOf(port)->logicalChannel = channel;
}
std::uint32_t SensorInstance_GetPhysicalChannel(int port) {
  std::lock_guard guard(managerLock);
  return gSensors && validPort(port) ? instanceOf(port)->physicalChannel : 0;
}
void SensorInstance_SetPhysicalChannel(int port, std::uint32_t channel) {
  std::lock_guard guard(managerLock);
  if (gSensors && validPort(port)) instanceOf(port)->physicalChannel = channel;
}
std::uint32_t SensorInstance_GetState(int port) {
  std::lock_guard guard(managerLock);
  return gSensors && validPort(port) ? instanceOf(port)->state : static_cast<std::uint32_t>(sensorIdle);
}
void SensorInstance_SetState(int port, std::uint32_t state) {
  std::lock_guard guard(managerLock);
  if (gSensors && validPort(port)) instanceOf(port)->state = state;
}
