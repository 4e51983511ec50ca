#include "sensor_data.h"

#include <atomic>
#include <chrono>
#include <cstring>

#include "configuration.h"
#include "device_paths.h"
#include "text_field.h"
#include "usb_sensor.h"
#include "usbtmc_port.h"

namespace {

template <std::size_t N>
constexpr std::array<char, N> nameField(const char* text) {
  std::array<char, N> field{};
  for (std::size_t i = 0; i + 1 < N && text[i] != '\0'; ++i) field[i] = text[i];
  return field;
}

}  // namespace

std::array<SERIAL_HANDLER_DATA, kSerialPortCount> sensorSerialHandlerData;
std::array<USB_HANDLER_DATA, kUsbPortCount> sensorUsbHandlerData;
std::array<bool, kSensorPortCount> sensorIsConnected{};
std::array<std::atomic<bool>, kSensorPortCount> newMeasurementIsAvailable{};

std::array<std::mutex, kSensorPortCount> sensorPortMutex;
std::array<std::mutex, kSensorPortCount> sensorPortMeasureMutex;
std::array<std::mutex, kSensorPortCount> sensorPortConfigMutex;
std::array<std::mutex, kSensorPortCount> sensorPortInfoMutex;

std::array<char, 11> serialPort1Name = nameField<11>(DevicePath::kSerialSensor1);
std::array<char, 11> serialPort2Name = nameField<11>(DevicePath::kSerialSensor2);
std::array<char, 13> usbPort1Name = nameField<13>(DevicePath::kUsbTmc0);
std::array<char, 13> usbPort2Name = nameField<13>(DevicePath::kUsbTmc1);

namespace {

SENSOR_IDENTITY unidentifiedIdentity() {
  SENSOR_IDENTITY identity;
  identity.sensorPower.max = kUnidentifiedMaxPower;
  return identity;
}

// A port that was never attached reads like one whose attachment has just
// started: no identity, a maximum power of kUnidentifiedMaxPower.
[[maybe_unused]] const bool tablesPrepared = [] {
  for (auto& handler : sensorSerialHandlerData) handler.sensorIdentity = unidentifiedIdentity();
  for (auto& handler : sensorUsbHandlerData) handler.sensorIdentity = unidentifiedIdentity();
  return true;
}();

auto idx(int port) { return static_cast<std::size_t>(port); }

SERIAL_HANDLER_DATA& serialHandler(int port) { return sensorSerialHandlerData[idx(port)]; }
USB_HANDLER_DATA& usbHandler(int port) { return sensorUsbHandlerData[idx(port - kSerialPortCount)]; }

// The reading, identity and status fields of either kind of handler.
struct PortRecords {
  SENSOR_MEASUREMENTS& measurements;
  SENSOR_IDENTITY& identity;
  std::array<char, 9>& serialNumber;
  SENSOR_STATUS& status;
  std::atomic<bool>& initialized;
};

PortRecords records(int port) {
  if (SensorPort_isSerial(port)) {
    auto& h = serialHandler(port);
    return {h.sensorMeasurements, h.sensorIdentity, h.serialNumber, h.sensorStatus, h.isInitialized};
  }
  auto& h = usbHandler(port);
  return {h.sensorMeasurements, h.sensorIdentity, h.serialNumber, h.sensorStatus, h.isInitialized};
}

void copyScalarReadings(const SENSOR_MEASUREMENTS& from, SENSOR_MEASUREMENTS& to) {
  to.fwdPwrVal = from.fwdPwrVal;
  to.rflPwrVal = from.rflPwrVal;
  to.freqVal = from.freqVal;
  to.temperatureVal = from.temperatureVal;
  to.batteryVal = from.batteryVal;
  to.prdVal = from.prdVal;
  to.prfVal = from.prfVal;
  to.widthVal = from.widthVal;
  to.dutyCycleVal = from.dutyCycleVal;
}

}  // namespace

bool SensorPort_isValid(int port) { return port >= 0 && port < kSensorPortCount; }
bool SensorPort_isSerial(int port) { return port >= 0 && port < kSerialPortCount; }
bool SensorPort_isUsb(int port) { return port >= kSerialPortCount && port < kSensorPortCount; }

SENSOR_MEASUREMENTS sensorPortHandler_getSensorMeasurements(int port) {
  SENSOR_MEASUREMENTS copy;
  if (!SensorPort_isValid(port)) return copy;
  if (SensorPort_isSerial(port)) {
    std::lock_guard guard(sensorPortMeasureMutex[idx(port)]);
    copyScalarReadings(serialHandler(port).sensorMeasurements, copy);
    return copy;
  }
  // Statistics of a pulse state count only while the state is enabled in the
  // port's configuration; a disabled state reads 0, also in the handler's
  // own record, so that stale values cannot reappear when it is re-enabled.
  const SENSOR_CONFIGS configs = sensorPortHandler_getSensorConfigs(port);
  auto& reading = usbHandler(port).sensorMeasurements;
  std::lock_guard guard(sensorPortMeasureMutex[idx(port)]);
  copyScalarReadings(reading, copy);
  for (std::size_t i = 0; i < reading.pulseStates.size(); ++i) {
    if (!configs.pulseStates[i].bEnabled) reading.pulseStates[i] = PULSE_STATES{};
    copy.pulseStates[i] = reading.pulseStates[i];
  }
  copy.gateMean = reading.gateMean;
  copy.gateMax = reading.gateMax;
  copy.gateMin = reading.gateMin;
  return copy;
}

SENSOR_STATUS sensorPortHandler_getSensorStatus(int port) {
  if (!SensorPort_isValid(port)) return SENSOR_STATUS{};
  std::lock_guard guard(sensorPortInfoMutex[idx(port)]);
  return records(port).status;
}

SENSOR_INFORMATION_DATA sensorPortHandler_getSensorInformation(int port) {
  SENSOR_INFORMATION_DATA copy;
  if (!SensorPort_isValid(port)) {
    copy.sensorIdentity = unidentifiedIdentity();
    return copy;
  }
  const PortRecords r = records(port);
  std::lock_guard guard(sensorPortInfoMutex[idx(port)]);
  copy.sensorIdentity = r.identity;
  copy.serialNumber = r.serialNumber;
  return copy;
}

SENSOR_CONFIGS sensorPortHandler_getSensorConfigs(int port) {
  if (!SensorPort_isUsb(port)) return SENSOR_CONFIGS{};
  std::lock_guard guard(sensorPortConfigMutex[idx(port)]);
  return usbHandler(port).sensorConfigs;
}

float sensorPortHandler_getSensorMaxPower(int port) {
  if (!SensorPort_isValid(port)) return kSensorNaN;
  const PortRecords r = records(port);
  std::lock_guard guard(sensorPortInfoMutex[idx(port)]);
  return r.identity.sensorPower.max;
}

float sensorPortHandler_getSensorMinPower(int port) {
  if (!SensorPort_isValid(port)) return kSensorNaN;
  const PortRecords r = records(port);
  std::lock_guard guard(sensorPortInfoMutex[idx(port)]);
  return r.identity.sensorPower.min;
}

bool sensorPortHandler_getIsInitialized(int port) {
  if (!SensorPort_isValid(port)) return false;
  return records(port).initialized.load();
}

bool sensorPortHandler_getIsConnected(int port) {
  if (!SensorPort_isValid(port)) return false;
  std::lock_guard guard(sensorPortMutex[idx(port)]);
  return sensorIsConnected[idx(port)];
}

void sensorPortHandler_setIsConnected(int port, bool flag) {
  if (!SensorPort_isValid(port)) return;
  std::lock_guard guard(sensorPortMutex[idx(port)]);
  sensorIsConnected[idx(port)] = flag;
}

namespace {

USBTMC_PARAM_ERRORS oneError(const char* text) {
  USBTMC_PARAM_ERRORS errors;
  sensorPortHandler_addParamError(&errors, text);
  return errors;
}

// The answer to request `sequence`, which has been answered. Called with
// the configuration lock held.
USBTMC_PARAM_ERRORS outcomeOf(const USB_HANDLER_DATA& handler, std::uint64_t sequence) {
  for (const USB_CONFIG_OUTCOME& outcome : handler.configOutcomes) {
    if (outcome.first <= sequence && sequence <= outcome.last) return outcome.errors;
  }
  // Only when more answers than the ring holds came in while this requester
  // was not scheduled; the latest send is the nearest truth.
  return handler.usbtmc_Errors;
}

// Records an answer for every unanswered request up to `sequence`. Called
// with the configuration lock held.
void answerUpTo(USB_HANDLER_DATA& handler, std::uint64_t sequence, const USBTMC_PARAM_ERRORS& errors) {
  if (sequence <= handler.configAnsweredUpTo) return;
  USB_CONFIG_OUTCOME& slot = handler.configOutcomes[handler.configOutcomeNext];
  slot.first = handler.configAnsweredUpTo + 1;
  slot.last = sequence;
  slot.errors = errors;
  handler.configOutcomeNext = (handler.configOutcomeNext + 1) % handler.configOutcomes.size();
  handler.configAnsweredUpTo = sequence;
}

}  // namespace

USBTMC_PARAM_ERRORS sensorPortHandler_setSensorConfigs(int port, const SENSOR_CONFIGS& configs) {
  if (!SensorPort_isUsb(port)) return USBTMC_PARAM_ERRORS{};
  auto& handler = usbHandler(port);
  const bool sensorThere = handler.isInitialized.load() && sensorPortHandler_getIsConnected(port) &&
                           handler.usbPort.fd.load() > 0;
  const bool pulseMode = configuration_getPulseMode();
  std::unique_lock lock(sensorPortConfigMutex[idx(port)]);
  SENSOR_CONFIGS stored = configs;
  // The capabilities belong to the sensor model, never to the caller.
  stored.bSupportsAutoPeriod = handler.sensorConfigs.bSupportsAutoPeriod;
  stored.bSupportsAutoTiggerLevel = handler.sensorConfigs.bSupportsAutoTiggerLevel;
  stored.bSupportsTriggeredGates = handler.sensorConfigs.bSupportsTriggeredGates;
  if (stored.bModelIsTriggeredGates) stored.bAutoPeriod = false;
  handler.sensorConfigs = stored;
  handler.newConfig = true;
  const std::uint64_t sequence = ++handler.configRequested;
  // The handler sends a configuration only in pulse mode and only to an
  // identified sensor; anywhere else nobody would answer, so say at once
  // what became of it rather than wait or report it as accepted.
  if (!sensorThere) return oneError("Sensor is not ready");
  if (!pulseMode) return oneError("Stored, applied in pulse mode");
  const std::uint64_t passesBefore = handler.configPasses;
  const auto deadline = std::chrono::steady_clock::now() + UsbSensor_configWaitLimit();
  const int passes = UsbSensor_timing().configWaitPasses;
  const bool answered = handler.configAnswered.wait_until(lock, deadline, [&] {
    return handler.configAnsweredUpTo >= sequence ||
           handler.configPasses - passesBefore > static_cast<std::uint64_t>(passes);
  });
  if (!answered || handler.configAnsweredUpTo < sequence) return oneError("Sensor did not respond");
  return outcomeOf(handler, sequence);
}

void sensorPortHandler_resendSensorConfig(int port) {
  if (!SensorPort_isUsb(port)) return;
  auto& handler = usbHandler(port);
  std::lock_guard guard(sensorPortConfigMutex[idx(port)]);
  if (handler.usbPort.portState == sensorPortConnected) handler.newConfig = true;
}

bool sensorPortHandler_takeConfigRequest(int port, SENSOR_CONFIGS& configs, std::uint64_t& sequence) {
  if (!SensorPort_isUsb(port)) return false;
  auto& handler = usbHandler(port);
  std::lock_guard guard(sensorPortConfigMutex[idx(port)]);
  if (!handler.newConfig) return false;
  // Cleared as the copy is taken: a request that comes in while this one is
  // being sent sets it again and is sent on the next pass.
  handler.newConfig = false;
  configs = handler.sensorConfigs;
  sequence = handler.configRequested;
  return true;
}

void sensorPortHandler_answerConfigRequests(int port, std::uint64_t sequence, const USBTMC_PARAM_ERRORS& errors) {
  if (!SensorPort_isUsb(port)) return;
  auto& handler = usbHandler(port);
  {
    std::lock_guard guard(sensorPortConfigMutex[idx(port)]);
    handler.usbtmc_Errors = errors;
    answerUpTo(handler, sequence, errors);
  }
  handler.configAnswered.notify_all();
}

void sensorPortHandler_failConfigRequests(int port, const char* text) {
  if (!SensorPort_isUsb(port)) return;
  auto& handler = usbHandler(port);
  {
    std::lock_guard guard(sensorPortConfigMutex[idx(port)]);
    answerUpTo(handler, handler.configRequested, oneError(text));
  }
  handler.configAnswered.notify_all();
}

void sensorPortHandler_countConfigPass(int port) {
  if (!SensorPort_isUsb(port)) return;
  auto& handler = usbHandler(port);
  {
    std::lock_guard guard(sensorPortConfigMutex[idx(port)]);
    ++handler.configPasses;
  }
  handler.configAnswered.notify_all();
}

void sensorPortHandler_releaseUsbDescriptor(int port) {
  if (!SensorPort_isUsb(port)) return;
  auto& handler = usbHandler(port);
  const int old = handler.usbPort.fd.exchange(0);
  if (old <= 0) return;
  // A descriptor still waiting here was released a whole detection pass ago:
  // no request uses it any more.
  UsbTmcPort_Close(handler.retiredFd.exchange(old));
}

void sensorPortHandler_closeRetiredUsbDescriptor(int port) {
  if (!SensorPort_isUsb(port)) return;
  UsbTmcPort_Close(usbHandler(port).retiredFd.exchange(0));
}

void sensorPortHandler_resetUsbSlot(int port) {
  if (!SensorPort_isUsb(port)) return;
  auto& handler = usbHandler(port);
  ++handler.slotResets;
  handler.sensorState = stateUsbStart;
  handler.usbPort.portState = sensorPortDisconnected;
  handler.usbPort.portClosed = true;
  handler.usbPort.configDone = false;
  handler.isInitialized = false;
  sensorPortHandler_resetSensorInformation(port);
  sensorPortHandler_setSensorStatus(port, notReady, "");
  {
    std::lock_guard guard(sensorPortConfigMutex[idx(port)]);
    handler.sensorConfigs = SENSOR_CONFIGS{};
    handler.newConfig = true;
  }
  sensorPortHandler_failConfigRequests(port, "Not applied: sensor removed");
}

const char* SensorPortHandler_getSensorUSBStateName(int state) {
  static constexpr std::array<const char*, 12> kNames = {
      "stateUsbStart",           "stateUsbConnect",      "stateUsbIdent",         "stateUsbGetConfig",
      "stateUsbSendConfig",      "stateUsbSendConfigCW", "stateUsbSendConfigPulse",
      "stateUsbResendConfigPulse", "stateUsbInit",       "stateUsbCwMeasure",     "stateUsbPulseMeasure",
      "stateUsbIdle",
  };
  if (state < 0 || state >= static_cast<int>(kNames.size())) return "UnknownState?";
  return kNames[static_cast<std::size_t>(state)];
}

void sensorPortHandler_resetSensorInformation(int port) {
  if (!SensorPort_isValid(port)) return;
  const PortRecords r = records(port);
  {
    std::lock_guard guard(sensorPortInfoMutex[idx(port)]);
    r.identity = unidentifiedIdentity();
    r.serialNumber.fill('\0');
  }
  std::lock_guard guard(sensorPortMeasureMutex[idx(port)]);
  r.measurements = SENSOR_MEASUREMENTS{};
}

void sensorPortHandler_setSensorStatus(int port, SensorStatus status, const char* errorText) {
  if (!SensorPort_isValid(port)) return;
  const PortRecords r = records(port);
  std::lock_guard guard(sensorPortInfoMutex[idx(port)]);
  r.status.status = status;
  TextField_copy(r.status.errorString, errorText != nullptr ? errorText : "");
}

void SensorPortHandler_setSimulatedMeasurements(int port, const SENSOR_MEASUREMENTS& measurements) {
  if (!SensorPort_isValid(port)) return;
  const PortRecords r = records(port);
  std::lock_guard guard(sensorPortMeasureMutex[idx(port)]);
  r.measurements = measurements;
}

void sensorPortHandler_addParamError(USBTMC_PARAM_ERRORS* errors, const char* text) {
  if (errors->count < 0) errors->count = 0;
  if (errors->count >= kMaxParamErrors) return;
  TextField_copy(errors->errors[idx(errors->count)], text != nullptr ? text : "");
  ++errors->count;
}

namespace {
std::atomic<SensorReadingListener> readingListener{nullptr};
}  // namespace

void sensorPortHandler_setReadingListener(SensorReadingListener listener) { readingListener = listener; }

void sensorPortHandler_signalReadingAvailable(int port) {
  if (SensorReadingListener listener = readingListener.load()) listener(port);
}
