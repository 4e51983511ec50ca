// The sensor records every part of the meter exchanges.
//
// Readings, identities, configurations and statuses are plain value records
// copied whole across threads; nobody keeps a pointer into another thread's
// copy. The per-port handler records and their locks live here too: the port
// handlers fill them, everybody else reads them through the copying getters.
//
// Units: watts, hertz and seconds as 32-bit floats; a value not measured is a
// quiet NaN.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <mutex>
#include <string_view>
#include <thread>

#include "event.h"

enum SensorPort : std::uint8_t {
  sensorPort_Serial1 = 0,
  sensorPort_Serial2 = 1,
  sensorPort_USB1 = 2,
  sensorPort_USB2 = 3,
  sensorPort_None = 255,
};

constexpr int kSensorPortCount = 4;
constexpr int kSerialPortCount = 2;
constexpr int kUsbPortCount = 2;

// Detection bits of CONNECTED_SENSORS::detectedSensors, indexed by port.
constexpr std::array<std::uint32_t, kSensorPortCount> kSensorPortDetectionBit = {0x01, 0x02, 0x10, 0x20};

enum sensorPortState { sensorPortDisconnected = 0, sensorPortConnected = 1, sensorPortError = 2 };

enum SensorStatus { notReady = 0, isReady = 1, hasFatalError = 2 };

// Protocol states of the serial CW handler.
enum sensorSerCommState {
  stateSerConnect = 0,
  stateSerFlush,
  stateSerInitialSync,
  stateSerIdentify,
  stateSerSerialNum,
  stateSerFwd,
  stateSerRfl,
  stateSerFreq,
  stateSerTemp,
  stateSerFramingSync,
};

// States of the USB sensor handler.
enum sensorUsbCommState {
  stateUsbStart = 0,
  stateUsbConnect,
  stateUsbIdent,
  stateUsbGetConfig,
  stateUsbSendConfig,
  stateUsbSendConfigCW,
  stateUsbSendConfigPulse,
  stateUsbResendConfigPulse,
  stateUsbInit,
  stateUsbCwMeasure,
  stateUsbPulseMeasure,
  stateUsbIdle,
};

enum enPulseSensorModel { ModelP803 = 0, ModelP804 = 1 };

constexpr float kSensorNaN = std::numeric_limits<float>::quiet_NaN();
// Maximum power reported for a port whose sensor is not identified yet.
constexpr float kUnidentifiedMaxPower = 199990.0F;
constexpr int kPulseStateCount = 4;
constexpr int kMaxParamErrors = 5;

struct SENSOR_STATUS {
  SensorStatus status = notReady;
  std::array<char, 32> errorString{};  // last fatal error, empty otherwise
};

struct PULSE_RANGES {
  float min = 0.0F;
  float max = 0.0F;
};

struct PULSE_DELAY_RANGES {
  PULSE_RANGES begin;
  PULSE_RANGES end;
};

struct SENSOR_IDENTITY {
  std::array<char, 21> sensorModel{};
  std::array<char, 49> sensorFirmwareRevision{};
  // Capability characters of a serial sensor at their reply positions; the
  // positions of dropped spaces stay NUL, so this is not one C string.
  std::array<char, 16> sensorSupportedCommands{};
  PULSE_RANGES sensorPower;
  // Filled only for USB sensors, from their plug-and-play description.
  PULSE_RANGES sensorPrf;
  PULSE_RANGES sensorFrequency;
  PULSE_RANGES sensorPulsePeriod;
  PULSE_RANGES sensorTriggerDelay;
  std::array<PULSE_DELAY_RANGES, kPulseStateCount> pulseStates{};
};

struct SENSOR_INFORMATION_DATA {
  SENSOR_IDENTITY sensorIdentity;
  std::array<char, 9> serialNumber{};  // up to eight decimal digits
};

struct PULSE_STATES {
  float min = 0.0F;
  float max = 0.0F;
  float mean = 0.0F;
};

// One reading of a port. A value-initialised record is the default reading:
// NaN for the four CW values, 0 everywhere else.
struct SENSOR_MEASUREMENTS {
  float fwdPwrVal = kSensorNaN;
  float rflPwrVal = kSensorNaN;
  float freqVal = kSensorNaN;
  float temperatureVal = kSensorNaN;
  float batteryVal = 0.0F;
  float prdVal = 0.0F;
  float prfVal = 0.0F;
  float widthVal = 0.0F;
  float dutyCycleVal = 0.0F;
  std::array<PULSE_STATES, kPulseStateCount> pulseStates{};
  float gateMean = 0.0F;
  float gateMax = 0.0F;
  float gateMin = 0.0F;
  // Kept inside the acquisition layer; the getter always returns 0 here.
  int statusByte = 0;
  int systemError = 0;
  int questionable = 0;
};

struct PULSE_STATE_INTVL {
  bool bEnabled = false;
  float begin = 0.0F;
  float end = 0.0F;
};

// Measurement configuration of a USB sensor. A value-initialised record is
// the configuration of a port without USB sensor: everything 0 except the
// three automatic modes and a rising trigger slope.
struct SENSOR_CONFIGS {
  bool bAutoFrequency = true;
  float freqVal = 0.0F;  // Hz
  bool bSupportsAutoPeriod = false;
  bool bSupportsAutoTiggerLevel = false;
  bool bSupportsTriggeredGates = false;
  bool bAutoPeriod = true;
  float prdVal = 0.0F;
  bool bAutoTriggerLevel = true;
  float trigLevelVal = 0.0F;
  float trigDelayVal = 0.0F;
  std::uint8_t trigSlope = 1;  // 1 rising ("POS"), anything else falling ("NEG")
  bool bModelIsTriggeredGates = false;
  std::array<PULSE_STATE_INTVL, kPulseStateCount> pulseStates{};
  std::uint8_t numStates = 0;
  float gateBegin = 0.0F;
  float gateEnd = 0.0F;
};

// Parameters a sensor rejected while a configuration was applied.
struct USBTMC_PARAM_ERRORS {
  int count = 0;
  std::array<std::array<char, 32>, kMaxParamErrors> errors{};
};

// The result of one detection pass.
struct CONNECTED_SENSORS {
  std::uint32_t detectedSensors = 0;
  std::uint32_t detectedSensorsChanged = 0;
  bool promptForlogicalChannel = false;
};

struct SERIAL_PORT_DATA {
  int channelIndex = 0;
  std::array<char, 32> serialPortName{};
  sensorPortState portState = sensorPortDisconnected;
  bool portClosed = false;
  std::array<char, 64> rxBuffer{};
  int fd = -1;
};

// Handler records. Readings are written under the port's measurement lock,
// identity, serial number and status under its information lock; the flags
// that other threads poll without a lock are atomic.
struct SERIAL_HANDLER_DATA {
  std::jthread thread_id;
  std::atomic<sensorSerCommState> sensorState{stateSerConnect};  // polled by other threads
  std::atomic<bool> isInitialized{false};
  SENSOR_STATUS sensorStatus;
  SERIAL_PORT_DATA serialPort;
  // Cycle timing, written with the reading under the measurement lock.
  double start_time_ms = 0.0;
  double finish_time_ms = 0.0;
  double measCycle_time_ms = 0.0;
  SENSOR_MEASUREMENTS sensorMeasurements;
  SENSOR_IDENTITY sensorIdentity;
  std::array<char, 9> serialNumber{};
};

// The slot's descriptor and flags are written by the detection thread and
// read by the slot's handler thread, hence atomic.
struct USB_PORT_DATA {
  int channelIndex = 0;
  std::array<char, 32> usbPortName{};  // empty while the slot is free; written while the handler is idle
  std::atomic<sensorPortState> portState{sensorPortDisconnected};
  std::atomic<bool> portClosed{false};
  std::array<char, 64> rxBuffer{};  // the handler thread's alone
  std::atomic<int> fd{0};           // 0 or less when closed
  std::atomic<bool> initTimeout{false};
  std::atomic<bool> configDone{false};
};

// What became of one or more configuration requests: every request numbered
// from `first` to `last` is answered with `errors`.
struct USB_CONFIG_OUTCOME {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  USBTMC_PARAM_ERRORS errors;
};
constexpr std::size_t kUsbConfigOutcomes = 8;

struct USB_HANDLER_DATA {
  std::jthread thread_id;
  std::atomic<sensorUsbCommState> sensorState{stateUsbStart};  // polled by other threads
  std::uint32_t usbtmcSubstate = 0;                           // the handler thread's alone
  std::uint32_t usbtmcRetryCount = 0;
  std::atomic<bool> sensorPulseModeEnabled{false};
  std::atomic<bool> isInitialized{false};
  SENSOR_STATUS sensorStatus;
  bool newConfig = false;  // guarded by the port's configuration lock
  USB_PORT_DATA usbPort;
  double start_time_ms = 0.0;  // cycle timing, written with the reading under the measurement lock
  double finish_time_ms = 0.0;
  double measCycle_time_ms = 0.0;
  SENSOR_MEASUREMENTS sensorMeasurements;
  SENSOR_CONFIGS sensorConfigs;  // guarded by the port's configuration lock
  SENSOR_IDENTITY sensorIdentity;
  std::array<char, 9> serialNumber{};
  USBTMC_PARAM_ERRORS usbtmc_Errors;  // of the last send; guarded by the configuration lock
  Event_t usbtmcConfigureComplete;    // signalled after each pass that applied a configuration
  // Counts the slot resets of detection: a handler that sees it change
  // drops the attachment it was in, however quickly the flag came back.
  std::atomic<std::uint32_t> slotResets{0};
  // A descriptor detection has let go of; the handler closes it between two
  // requests, so that it is never closed (and its number given to another
  // node) while a request is still using it.
  std::atomic<int> retiredFd{0};

  // The configuration hand-off, all guarded by the port's configuration
  // lock. Each request gets the next number; the handler answers requests
  // in order, either with what the sensor rejected (after a send that
  // reached the sensor) or with a failure (restart, re-read, removal), and
  // wakes every waiter on configAnswered.
  std::uint64_t configRequested = 0;  // number of the latest request
  std::uint64_t configAnsweredUpTo = 0;
  std::uint64_t configPasses = 0;  // passes of the handler through a configuration send
  std::array<USB_CONFIG_OUTCOME, kUsbConfigOutcomes> configOutcomes{};
  std::size_t configOutcomeNext = 0;
  std::condition_variable configAnswered;
};

// Process-wide port tables. Serial ports 0 and 1 are elements 0 and 1 of
// sensorSerialHandlerData, USB ports 2 and 3 elements 0 and 1 of
// sensorUsbHandlerData.
extern std::array<SERIAL_HANDLER_DATA, kSerialPortCount> sensorSerialHandlerData;
extern std::array<USB_HANDLER_DATA, kUsbPortCount> sensorUsbHandlerData;
extern std::array<bool, kSensorPortCount> sensorIsConnected;  // guarded by sensorPortMutex
extern std::array<std::atomic<bool>, kSensorPortCount> newMeasurementIsAvailable;

// The four locks of each port.
extern std::array<std::mutex, kSensorPortCount> sensorPortMutex;         // sensorIsConnected
extern std::array<std::mutex, kSensorPortCount> sensorPortMeasureMutex;  // the reading
extern std::array<std::mutex, kSensorPortCount> sensorPortConfigMutex;   // sensorConfigs, newConfig
extern std::array<std::mutex, kSensorPortCount> sensorPortInfoMutex;     // identity, serial number, status

// Device nodes of the ports as the device names them (the platform layer maps
// them under a simulated device root when they are opened).
extern std::array<char, 11> serialPort1Name;
extern std::array<char, 11> serialPort2Name;
extern std::array<char, 13> usbPort1Name;
extern std::array<char, 13> usbPort2Name;

bool SensorPort_isValid(int port);
bool SensorPort_isSerial(int port);
bool SensorPort_isUsb(int port);

// Copying getters. Every port outside 0 to 3 gives the record of a port
// without sensor (see each function).
SENSOR_MEASUREMENTS sensorPortHandler_getSensorMeasurements(int port);
// Port 4 or above: notReady with an empty text.
SENSOR_STATUS sensorPortHandler_getSensorStatus(int port);
SENSOR_INFORMATION_DATA sensorPortHandler_getSensorInformation(int port);
// USB ports: the slot's configuration. Serial and invalid ports: the
// configuration of a port without USB sensor.
SENSOR_CONFIGS sensorPortHandler_getSensorConfigs(int port);
// NaN for a port above 3.
float sensorPortHandler_getSensorMaxPower(int port);
float sensorPortHandler_getSensorMinPower(int port);
bool sensorPortHandler_getIsInitialized(int port);
bool sensorPortHandler_getIsConnected(int port);
void sensorPortHandler_setIsConnected(int port, bool flag);

// Hands a configuration to a USB port's handler and waits until it has been
// applied; returns what the sensor rejected. The capability flags of
// `configs` are ignored, and bAutoPeriod is stored false in the
// triggered-gates model. Serial ports return an empty list at once. Every
// request is numbered, and the call waits (bounded, a few handler cycles)
// for its own number to be answered; several threads may wait at once.
// Answers that are not the sensor's own rejections carry one entry:
//   "Sensor is not ready"            no identified sensor; kept for later
//   "Stored, applied in pulse mode"  CW mode; sent when pulse mode is on
//   "Not applied: sensor restarted"  the handler restarted before it was sent
//   "Not applied: config re-read"    the sensor's own settings were read back
//   "Not applied: sensor removed"    the sensor went away
//   "Sensor did not respond"         no answer within the time limit
USBTMC_PARAM_ERRORS sensorPortHandler_setSensorConfigs(int port, const SENSOR_CONFIGS& configs);
// Marks the configuration of a connected USB port for sending again.
void sensorPortHandler_resendSensorConfig(int port);

// Name of a USB handler state ("stateUsbInit"); "UnknownState?" otherwise.
const char* SensorPortHandler_getSensorUSBStateName(int state);

// USB handler side of the hand-off. Takes the pending configuration, if
// any: clears newConfig and gives the number of the latest request it
// covers. False when nothing is pending.
bool sensorPortHandler_takeConfigRequest(int port, SENSOR_CONFIGS& configs, std::uint64_t& sequence);
// Answers every unanswered request up to `sequence` with `errors` (also kept
// as the slot's usbtmc_Errors) and wakes the waiters.
void sensorPortHandler_answerConfigRequests(int port, std::uint64_t sequence, const USBTMC_PARAM_ERRORS& errors);
// Answers every unanswered request with one entry `text` and wakes the waiters.
void sensorPortHandler_failConfigRequests(int port, const char* text);
// Counts one pass of the handler through a configuration send.
void sensorPortHandler_countConfigPass(int port);
// Detection's end of a USB slot's descriptor: the slot's descriptor becomes
// 0 at once, and the handler thread closes the old one before its next
// request (a descriptor must not be closed under a request in flight).
void sensorPortHandler_releaseUsbDescriptor(int port);
// The handler's side: closes a descriptor detection has released.
void sensorPortHandler_closeRetiredUsbDescriptor(int port);
// Resets a USB slot whose device node has gone (detection): state
// stateUsbStart, newConfig set, disconnected and closed, configDone cleared,
// readings, identity and configuration back to those of a slot without
// sensor; unanswered configuration requests fail. The caller releases the
// descriptor first and clears the slot's connection flag.
void sensorPortHandler_resetUsbSlot(int port);

// Writer side, for the port handlers.
// Clears the identity (maximum power kUnidentifiedMaxPower), the serial
// number and the reading of a port: the start of a new attachment.
void sensorPortHandler_resetSensorInformation(int port);
void sensorPortHandler_setSensorStatus(int port, SensorStatus status, const char* errorText);
// Stores a whole reading under the measurement lock.
void SensorPortHandler_setSimulatedMeasurements(int port, const SENSOR_MEASUREMENTS& measurements);
// Appends one rejected-parameter text; a sixth and later errors are dropped.
// The legacy RS-232 interface waits for new readings. A port handler calls
// sensorPortHandler_signalReadingAvailable after every new measurement; the
// listener set here (none by default) hears of it with the port's number.
using SensorReadingListener = void (*)(int port);
void sensorPortHandler_setReadingListener(SensorReadingListener listener);
void sensorPortHandler_signalReadingAvailable(int port);

void sensorPortHandler_addParamError(USBTMC_PARAM_ERRORS* errors, const char* text);

// --- The descriptor of a USB slot (ports 2 and 3) ---
//
// The detection thread opens a slot's usbtmc node and lets go of it when the
// node vanishes or is replaced; the slot's handler talks through it. The two
// meet under the slot's lease: the handler takes one for every step that uses
// the descriptor or its own protocol state (sensorState, usbtmcSubstate,
// usbtmcRetryCount, usbPort), and never keeps the descriptor number beyond
// it. The detection thread changes the slot only while it holds the lease
// itself, so a slot is never closed or reset under a step, and a descriptor
// number is never reused while a step still has it.
struct UsbSlotLease {
  std::unique_lock<std::mutex> hold;
  // The descriptor to talk through; 0 while the slot has no node, or while
  // its release is pending (the connection flag is then cleared as well):
  // the handler ends its step and goes back to stateUsbStart.
  int fd = 0;
};
// Handler side. Blocks only while the detection thread binds or resets the
// slot (a few system calls).
UsbSlotLease UsbSlot_lease(int port);

// Detection side (detection thread only).
// The slot of `port` has no node and no release pending.
bool UsbSlot_isFree(int port);
// A release was asked for and has not been carried out yet.
bool UsbSlot_isReleasing(int port);
// The node the slot holds open ("/dev/usbtmc0"), empty when free.
std::string_view UsbSlot_node(int port);
// The slot's descriptor, 0 when none (the detection thread's own view).
int UsbSlot_descriptor(int port);
// Publishes a freshly opened descriptor of `node` into a free slot.
void UsbSlot_bind(int port, int fd, std::string_view node);
// Lets go of the slot: clears the port's connection flag first, then waits at
// most `limitMs` for the lease (for the handler to finish its step); with
// the lease it closes the descriptor and resets the slot's handler record
// under the port's locks (state stateUsbStart, newConfig set, port
// disconnected and closed, configDone cleared, reading, identity and
// configuration back to a port without sensor, status notReady) and returns
// true. Without it the release stays pending (the slot reports no sensor
// and is not reused) and the next call tries again.
bool UsbSlot_release(int port, std::uint32_t limitMs);
