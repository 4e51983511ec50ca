// The handler thread of a USB slot and its state machine.
#include "usb_sensor.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string_view>

#include "configuration.h"
#include "log_manager.h"
#include "meter_threads.h"
#include "pulse_sensor_config.h"
#include "sensor_limits.h"
#include "simple_timer.h"
#include "text_field.h"
#include "usbtmc_requests.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kIdlePoll = 10ms;  // an unattached slot looks at its flag this often
constexpr std::uint32_t kConnectStatusTries = 25;
constexpr std::uint32_t kModelTries = 5;
constexpr std::size_t kModelKept = 20;
constexpr std::size_t kSerialCharacters = 9;
constexpr int kStatusErrorQueue = 0x04;
constexpr int kStatusQuestionable = 0x08;
constexpr int kQuestionablePulse = 0x200;
constexpr float kMega = 1.0e6F;

std::mutex timingLock;
UsbHandlerTiming configuredTiming;

// Per slot, the handler thread's alone except the counters.
struct SlotState {
  std::atomic<std::uint64_t> cycles{0};
  bool signalledThisCycle = false;
};
std::array<SlotState, kUsbPortCount> slotStates;

std::size_t idx(int port) { return static_cast<std::size_t>(port); }
USB_HANDLER_DATA& handlerOf(int port) { return sensorUsbHandlerData[idx(port - kSerialPortCount)]; }

double nowMs() { return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count(); }

// One handler thread and what it needs in every state.
struct Slot {
  USB_HANDLER_DATA& h;
  int port;
  std::stop_token stop;
  UsbHandlerTiming t;
  SlotState& local;
  int fd = 0;

  UsbRxBuffer rx() { return UsbRxBuffer(h.usbPort.rxBuffer); }
  void pause(std::chrono::milliseconds ms) const { MeterThread_sleep(stop, ms); }
  void go(sensorUsbCommState state, std::uint32_t substate = 0) {
    h.sensorState = state;
    h.usbtmcSubstate = substate;
  }
};

std::string_view trimmedRight(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\r' || text.back() == '\t')) {
    text.remove_suffix(1);
  }
  return text;
}

bool extended(const Slot& s) { return sensorPortHandler_getSensorConfigs(s.port).bSupportsTriggeredGates; }

template <typename Update>
void updateReading(Slot& s, Update update) {
  std::lock_guard guard(sensorPortMeasureMutex[idx(s.port)]);
  update(s.h.sensorMeasurements);
}

void restart(Slot& s, const char* why) {
  logManager_printToLog(SensorCommunications, "USB sensor %d restarts: %s\n", s.port, why);
  sensorPortHandler_failConfigRequests(s.port, "Not applied: sensor restarted");
  s.go(stateUsbStart);
}

void markReady(Slot& s) {
  s.h.usbPort.configDone = true;
  s.h.isInitialized = true;
  sensorPortHandler_setSensorStatus(s.port, isReady, "");
}

void logErrors(const Slot& s, const USBTMC_PARAM_ERRORS& errors) {
  for (int i = 0; i < errors.count; ++i) {
    USER_ERROR("SCPIErrors: channel %d, error[%d] = %s.\n", s.port, i, errors.errors[idx(i)].data());
  }
}

bool query(Slot& s, sensor_qry_e q, QRY_TYPE& r) { return handleQuery(s.fd, s.rx(), q, r) > 0; }

bool command(Slot& s, sensor_cmd_e c) {
  CMD_TYPE none;
  return handleCmd(s.fd, s.rx(), c, none) > 0;
}

// ---- states -----------------------------------------------------------------

void usbStart(Slot& s) {
  if (handleUsbTmcClear(s.fd) < 0) {
    s.pause(s.t.retryPause);  // tried again on the next step, without spinning
    return;
  }
  s.pause(s.t.clearSettle);
  s.go(stateUsbConnect);
}

void usbConnect(Slot& s) {
  switch (s.h.usbtmcSubstate) {
    case 0:
      if (!command(s, C_COMMON_RST)) return restart(s, "*RST failed");
      s.pause(s.t.connectStep);
      s.h.usbtmcRetryCount = kConnectStatusTries;
      s.go(stateUsbConnect, 1);
      return;
    case 1: {
      QRY_TYPE status;
      if (query(s, Q_COMMON_STB, status) && status.ival != 0) {
        s.pause(s.t.connectStep);
        s.go(stateUsbConnect, 2);
        return;
      }
      if (--s.h.usbtmcRetryCount == 0) return restart(s, "no status after *RST");
      s.pause(s.t.connectStep);
      return;
    }
    default:
      if (!command(s, C_COMMON_CLS)) return restart(s, "*CLS failed");
      s.pause(s.t.connectStep);
      {
        std::lock_guard guard(sensorPortInfoMutex[idx(s.port)]);
        s.h.sensorIdentity.sensorModel.fill('\0');
        s.h.serialNumber.fill('\0');
      }
      s.h.usbtmcRetryCount = kModelTries;
      s.go(stateUsbIdent);
      return;
  }
}

void identModel(Slot& s) {
  QRY_TYPE reply;
  if (!query(s, Q_SYSTEM_MODEL, reply)) return restart(s, "model query failed");
  const std::string_view model = trimmedRight(TextField_view(reply.sval).substr(0, kModelKept));
  if (model.size() <= 3) {
    if (--s.h.usbtmcRetryCount == 0) return restart(s, "no usable model text");
    s.pause(s.t.identRetry);
    return;
  }
  const bool ext = UsbSensor_isExtendedModel(model);
  {
    std::lock_guard guard(sensorPortInfoMutex[idx(s.port)]);
    TextField_copy(s.h.sensorIdentity.sensorModel, model);
  }
  {
    std::lock_guard guard(sensorPortConfigMutex[idx(s.port)]);
    s.h.sensorConfigs.bSupportsAutoPeriod = ext;
    s.h.sensorConfigs.bSupportsAutoTiggerLevel = ext;
    s.h.sensorConfigs.bSupportsTriggeredGates = ext;
  }
  s.go(stateUsbIdent, 1);
}

void identSerial(Slot& s) {
  QRY_TYPE reply;
  if (!query(s, Q_SYSTEM_SERIAL_NUM, reply)) return restart(s, "serial number query failed");
  std::array<char, 9> digits{};
  std::size_t kept = 0;
  const std::string_view text = TextField_view(reply.sval).substr(0, kSerialCharacters);
  for (const char c : text) {
    if (c >= '0' && c <= '9' && kept + 1 < digits.size()) digits[kept++] = c;
  }
  std::lock_guard guard(sensorPortInfoMutex[idx(s.port)]);
  s.h.serialNumber = digits;
  s.go(stateUsbIdent, 2);
}

void identFirmware(Slot& s) {
  QRY_TYPE reply;
  if (!query(s, Q_SYSTEM_FIRMWARE_REV, reply)) return restart(s, "firmware query failed");
  std::lock_guard guard(sensorPortInfoMutex[idx(s.port)]);
  TextField_copy(s.h.sensorIdentity.sensorFirmwareRevision, trimmedRight(TextField_view(reply.sval)));
  s.go(stateUsbIdent, 3);
}

void identLimits(Slot& s) {
  SENSOR_IDENTITY identity;
  {
    std::lock_guard guard(sensorPortInfoMutex[idx(s.port)]);
    identity = s.h.sensorIdentity;
  }
  if (getMinMaxParameters(s.fd, s.rx(), identity) < 0) return restart(s, "plug-and-play file not read");
  {
    std::lock_guard guard(sensorPortInfoMutex[idx(s.port)]);
    s.h.sensorIdentity = identity;
  }
  s.go(stateUsbGetConfig);
}

void usbIdent(Slot& s) {
  if (s.h.usbPort.configDone) return s.go(stateUsbGetConfig);
  switch (s.h.usbtmcSubstate) {
    case 0: return identModel(s);
    case 1: return identSerial(s);
    case 2: return identFirmware(s);
    default: return identLimits(s);
  }
}

void usbGetConfig(Slot& s) {
  const bool pulse = configuration_getPulseMode();
  s.h.sensorPulseModeEnabled = pulse;
  sensorPortHandler_readSensorConfig(&s.h);
  {
    std::lock_guard guard(sensorPortConfigMutex[idx(s.port)]);
    s.h.newConfig = false;
  }
  // Whatever was still pending has been replaced by the sensor's own
  // settings: its requesters learn that it was not applied.
  sensorPortHandler_failConfigRequests(s.port, "Not applied: config re-read");
  if (!pulse) return s.go(stateUsbSendConfigCW);
  markReady(s);
  s.go(stateUsbInit);
}

void usbSendConfig(Slot& s) {
  const bool pulse = configuration_getPulseMode();
  if (pulse == s.h.sensorPulseModeEnabled) return s.go(pulse ? stateUsbSendConfigPulse : stateUsbInit);
  s.h.sensorPulseModeEnabled = pulse;
  if (!pulse) return s.go(stateUsbSendConfigCW);
  {
    std::lock_guard guard(sensorPortConfigMutex[idx(s.port)]);
    s.h.newConfig = true;
  }
  s.go(stateUsbResendConfigPulse);
}

bool cwStep(Slot& s, sensor_cmd_e c, CMD_TYPE p, const char* name, const char* errorText, USBTMC_PARAM_ERRORS& e) {
  const enUSBTMCErrors result = handleCmdWithStatus(s.fd, s.rx(), c, p);
  if (result == usbtmc_transportError) {
    USER_ERROR("USB sensor %d %s command failed with a transport error %d.\n", s.port, name, static_cast<int>(result));
    return false;
  }
  if (result != usbtmc_success) {
    USER_WARNING("USB sensor %d %s command failed with error %d.\n", s.port, name, static_cast<int>(result));
    sensorPortHandler_addParamError(&e, errorText);
  }
  return true;
}

void usbSendConfigCW(Slot& s) {
  USBTMC_PARAM_ERRORS errors;
  if (extended(s)) {
    CMD_TYPE off;
    CMD_TYPE tenMs;
    tenMs.fval = 0.01F;
    const bool reached = cwStep(s, C_SENSE_PER_AUTO, off, "period auto", "Period Auto is not valid", errors) &&
                         cwStep(s, C_SENSE_SWE_TIME_AUTO, off, "sweep time auto", "Sweep Time Auto is not valid", errors) &&
                         cwStep(s, C_SENSE_PER, tenMs, "period", "Period is not valid", errors) &&
                         cwStep(s, C_SENSE_SWE_TIME, tenMs, "sweep time", "Sweep Time is not valid", errors);
    if (!reached) return restart(s, "CW settings not sent");
  }
  logErrors(s, errors);
  {
    std::lock_guard guard(sensorPortConfigMutex[idx(s.port)]);
    s.h.usbtmc_Errors = errors;
  }
  markReady(s);
  s.go(stateUsbInit);
}

void usbSendConfigPulse(Slot& s) {
  USBTMC_PARAM_ERRORS errors;
  const int sent = sensorPortHandler_sendConfigToSensor(&s.h, errors);
  sensorPortHandler_countConfigPass(s.port);
  if (sent < 0) return restart(s, "pulse configuration not sent");
  Event_Signal(&s.h.usbtmcConfigureComplete);
  markReady(s);
  s.go(stateUsbInit);
}

void usbResendConfigPulse(Slot& s) {
  USBTMC_PARAM_ERRORS errors;
  const int sent = sensorPortHandler_sendConfigToSensor(&s.h, errors);
  sensorPortHandler_countConfigPass(s.port);
  if (sent < 0) return restart(s, "pulse configuration not sent");
  Event_Signal(&s.h.usbtmcConfigureComplete);
  if (errors.count == 0) return s.go(stateUsbInit);
  logErrors(s, errors);
  s.go(stateUsbGetConfig);  // learn what the sensor really has
}

void usbInit(Slot& s) {
  newMeasurementIsAvailable[idx(s.port)] = false;
  s.local.signalledThisCycle = false;
  const double start = nowMs();
  updateReading(s, [&](SENSOR_MEASUREMENTS&) { s.h.start_time_ms = start; });
  const int done = handleInitCmd(s.fd, s.rx(), s.t.initTries);
  if (done == 0) {
    s.h.usbPort.initTimeout = true;
    return restart(s, "measurement did not complete");
  }
  if (done < 0) return restart(s, "INIT failed");
  s.h.usbPort.initTimeout = false;
  if (handleReadStatusByteQuery(s.fd, s.rx()) <= 0) {
    s.h.usbPort.initTimeout = true;
    return restart(s, "no status byte");
  }
  const int status = std::atoi(s.h.usbPort.rxBuffer.data());
  int systemError = 0;
  bool drained = false;
  if ((status & kStatusErrorQueue) != 0) {
    systemError = clearSysErrCount(s.fd, s.rx());
    drained = true;
  }
  // A clear summary bit means nothing is questionable now: a condition
  // read in an earlier cycle must not keep blanking the pulse readings.
  int questionable = 0;
  if ((status & kStatusQuestionable) != 0 && handleQuestionableEventQuery(s.fd, s.rx()) > 0) {
    questionable = std::atoi(s.h.usbPort.rxBuffer.data());
  }
  updateReading(s, [&](SENSOR_MEASUREMENTS& m) {
    m.statusByte = status;
    if (drained) m.systemError = systemError;
    m.questionable = questionable;
  });
  s.go(stateUsbCwMeasure);
}

void signalReading(Slot& s) {
  if (!newMeasurementIsAvailable[idx(s.port)] || s.local.signalledThisCycle) return;
  s.local.signalledThisCycle = true;
  sensorPortHandler_signalReadingAvailable(s.port);
}

void usbCwMeasure(Slot& s) {
  QRY_TYPE r;
  if (query(s, Q_FETCH_FORWARD_AVERAGE, r)) {
    updateReading(s, [&](SENSOR_MEASUREMENTS& m) { m.fwdPwrVal = r.fval; });
    newMeasurementIsAvailable[idx(s.port)] = true;
  }
  if (query(s, Q_FETCH_REFLECTED_AVERAGE, r)) updateReading(s, [&](SENSOR_MEASUREMENTS& m) { m.rflPwrVal = r.fval; });
  if (query(s, Q_FETCH_FREQUENCY, r)) updateReading(s, [&](SENSOR_MEASUREMENTS& m) { m.freqVal = r.fval * kMega; });
  const bool temperature = query(s, Q_FETCH_TEMPERATURE, r);
  if (temperature) updateReading(s, [&](SENSOR_MEASUREMENTS& m) { m.temperatureVal = r.fval; });
  if (!configuration_getPulseMode()) signalReading(s);
  const double finish = nowMs();
  updateReading(s, [&](SENSOR_MEASUREMENTS&) {
    s.h.finish_time_ms = finish;
    s.h.measCycle_time_ms = finish - s.h.start_time_ms;
  });
  if (!temperature) return restart(s, "temperature fetch failed");
  s.go(stateUsbPulseMeasure);
}

void fetchInto(Slot& s, sensor_qry_e q, float scale, float SENSOR_MEASUREMENTS::*field) {
  QRY_TYPE r;
  if (query(s, q, r)) updateReading(s, [&](SENSOR_MEASUREMENTS& m) { m.*field = r.fval * scale; });
}

void fetchStates(Slot& s) {
  for (int i = 0; i < kPulseStateCount; ++i) {
    QRY_TYPE r;
    if (!query(s, static_cast<sensor_qry_e>(Q_CALCULATE_STATE1_EN + i), r) || r.ival == 0) continue;
    const std::array<std::pair<sensor_qry_e, float PULSE_STATES::*>, 3> fetches{{
        {static_cast<sensor_qry_e>(Q_FETCH_STATE1_MEAN + i), &PULSE_STATES::mean},
        {static_cast<sensor_qry_e>(Q_FETCH_STATE1_MAX + i), &PULSE_STATES::max},
        {static_cast<sensor_qry_e>(Q_FETCH_STATE1_MIN + i), &PULSE_STATES::min},
    }};
    for (const auto& [q, field] : fetches) {
      if (query(s, q, r)) updateReading(s, [&](SENSOR_MEASUREMENTS& m) { m.pulseStates[idx(i)].*field = r.fval; });
    }
  }
}

void usbPulseMeasure(Slot& s) {
  const SENSOR_CONFIGS c = sensorPortHandler_getSensorConfigs(s.port);
  const bool ext = c.bSupportsTriggeredGates;
  int questionable = 0;
  updateReading(s, [&](SENSOR_MEASUREMENTS& m) { questionable = m.questionable; });
  if ((questionable & kQuestionablePulse) != 0) {
    updateReading(s, [&](SENSOR_MEASUREMENTS& m) {
      m.prdVal = m.prfVal = m.widthVal = m.dutyCycleVal = 0.0F;
      m.gateMean = m.gateMax = m.gateMin = 0.0F;
      if (ext) m.pulseStates = {};
    });
  } else {
    fetchInto(s, Q_FETCH_PERIOD, 1.0F / kMega, &SENSOR_MEASUREMENTS::prdVal);
    fetchInto(s, Q_FETCH_PRF, 1.0F, &SENSOR_MEASUREMENTS::prfVal);
    fetchInto(s, Q_FETCH_WIDTH, 1.0F / kMega, &SENSOR_MEASUREMENTS::widthVal);
    fetchInto(s, Q_FETCH_DUTY_CYCLE, 1.0F, &SENSOR_MEASUREMENTS::dutyCycleVal);
    if (ext && c.bModelIsTriggeredGates) {
      fetchStates(s);
    } else {
      fetchInto(s, Q_FETCH_GATE_MEAN, 1.0F, &SENSOR_MEASUREMENTS::gateMean);
      fetchInto(s, Q_FETCH_GATE_MAX, 1.0F, &SENSOR_MEASUREMENTS::gateMax);
      fetchInto(s, Q_FETCH_GATE_MIN, 1.0F, &SENSOR_MEASUREMENTS::gateMin);
    }
  }
  signalReading(s);
  ++s.local.cycles;
  s.go(stateUsbIdle);
}

void usbIdle(Slot& s) {
  if (!s.h.usbPort.portClosed) s.go(stateUsbSendConfig);
  s.pause(s.t.idle);
}

// A device that has gone away answers every request with one of these.
bool deviceGone(int error) { return error == EPIPE || error == ENODEV || error == EIO || error == ENXIO; }

// The device node is still bound to the slot, but the sensor behind it has
// gone: its readings must not pass for current ones, and the slot waits for
// detection to see the node go (and the next attachment to start afresh).
void markVanished(Slot& s, int error) {
  DIAGNOSTIC("USB sensor %d is gone (errno %d); waiting for detection\n", s.port, error);
  s.h.usbPort.portState = sensorPortError;
  s.h.isInitialized = false;
  sensorPortHandler_setSensorStatus(s.port, notReady, "");
  newMeasurementIsAvailable[idx(s.port)] = false;
  updateReading(s, [](SENSOR_MEASUREMENTS& m) { m = SENSOR_MEASUREMENTS{}; });
  sensorPortHandler_failConfigRequests(s.port, "Not applied: sensor removed");
  s.go(stateUsbStart);
}

void runState(Slot& s) {
  switch (s.h.sensorState.load()) {
    case stateUsbStart: return usbStart(s);
    case stateUsbConnect: return usbConnect(s);
    case stateUsbIdent: return usbIdent(s);
    case stateUsbGetConfig: return usbGetConfig(s);
    case stateUsbSendConfig: return usbSendConfig(s);
    case stateUsbSendConfigCW: return usbSendConfigCW(s);
    case stateUsbSendConfigPulse: return usbSendConfigPulse(s);
    case stateUsbResendConfigPulse: return usbResendConfigPulse(s);
    case stateUsbInit: return usbInit(s);
    case stateUsbCwMeasure: return usbCwMeasure(s);
    case stateUsbPulseMeasure: return usbPulseMeasure(s);
    case stateUsbIdle: return usbIdle(s);
  }
  s.go(stateUsbIdle);
}

// One step runs under the slot's lease: detection cannot close or reset the
// slot while the step talks through its descriptor.
bool leasedStep(Slot& s) {
  UsbSlotLease lease = UsbSlot_lease(s.port);
  s.fd = lease.fd;
  // A slot marked in error waits for detection to free or rebind it.
  if (s.fd <= 0 || s.h.usbPort.portState == sensorPortError) return false;
  UsbTmcRequests_clearTransportErrno();
  runState(s);
  // Judged by the failing transfer's own error number, never by a stale errno.
  const int error = UsbTmcRequests_transportErrno();
  if (deviceGone(error)) markVanished(s, error);
  s.fd = 0;
  return true;
}

void step(Slot& s) {
  sensorPortHandler_closeRetiredUsbDescriptor(s.port);
  if (!leasedStep(s)) s.pause(s.t.retryPause);
}

void attach(Slot& s) {
  sensorPortHandler_resetSensorInformation(s.port);
  SENSOR_CONFIGS stored = sensorPortHandler_getSensorConfigs(s.port);
  sensorPortHandler_loadSensorConfig(stored);
  {
    std::lock_guard guard(sensorPortConfigMutex[idx(s.port)]);
    s.h.sensorConfigs = stored;
  }
  // Requests made for an earlier sensor in this slot are not carried over.
  sensorPortHandler_failConfigRequests(s.port, "Not applied: sensor removed");
  s.h.isInitialized = false;
  sensorPortHandler_setSensorStatus(s.port, notReady, "");
  s.go(stateUsbStart);
  s.pause(s.t.attachSettle);
  Event_Initialize(&s.h.usbtmcConfigureComplete);
}

}  // namespace

void UsbSensor_setTiming(const UsbHandlerTiming& timing) {
  std::lock_guard guard(timingLock);
  configuredTiming = timing;
}

UsbHandlerTiming UsbSensor_timing() {
  std::lock_guard guard(timingLock);
  return configuredTiming;
}

std::chrono::milliseconds UsbSensor_configWaitLimit() {
  const UsbHandlerTiming t = UsbSensor_timing();
  return t.initTries * 50ms + t.configWaitSlack;
}

bool UsbSensor_isExtendedModel(std::string_view model) {
  return model.find("P803") == std::string_view::npos && model.find("P805") == std::string_view::npos;
}

void sensorUsbHandlerThread(std::stop_token stop, int port) {
  Slot s{handlerOf(port), port, stop, UsbSensor_timing(), slotStates[idx(port - kSerialPortCount)]};
  AliveTimer alive;
  AliveTimer_start(&alive);
  while (!stop.stop_requested()) {
    if (AliveTimer_due(&alive)) logManager_printToLog(SensorCommunications, "USB sensor %d handler alive\n", port);
    if (!sensorPortHandler_getIsConnected(port)) {
      sensorPortHandler_closeRetiredUsbDescriptor(port);
      MeterThread_sleep(stop, kIdlePoll);
      continue;
    }
    s.t = UsbSensor_timing();
    logManager_printToLog(SensorCommunications, "USB sensor %d attached\n", port);
    const std::uint32_t resets = s.h.slotResets.load();
    attach(s);
    while (!stop.stop_requested() && sensorPortHandler_getIsConnected(port) && s.h.slotResets.load() == resets) {
      step(s);
      if (AliveTimer_due(&alive)) logManager_printToLog(SensorCommunications, "USB sensor %d handler alive\n", port);
    }
    logManager_printToLog(SensorCommunications, "USB sensor %d released\n", port);
  }
}

sensorUsbCommState SensorPortHandler_getUsbState(int port) {
  if (!SensorPort_isUsb(port)) return stateUsbStart;
  return handlerOf(port).sensorState.load();
}

std::uint64_t SensorPortHandler_getUsbCycleCount(int port) {
  if (!SensorPort_isUsb(port)) return 0;
  return slotStates[idx(port - kSerialPortCount)].cycles.load();
}

UsbCycleTiming SensorPortHandler_getUsbCycleTiming(int port) {
  if (!SensorPort_isUsb(port)) return {};
  const USB_HANDLER_DATA& h = handlerOf(port);
  std::lock_guard guard(sensorPortMeasureMutex[idx(port)]);
  return {h.start_time_ms, h.finish_time_ms, h.measCycle_time_ms};
}
