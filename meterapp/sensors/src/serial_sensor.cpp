#include "serial_sensor.h"

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>

#include "device_io.h"
#include "log_manager.h"
#include "platform.h"
#include "sensor_float.h"
#include "serial_port.h"
#include "text_field.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Idle handler threads look at their connection flag this often.
constexpr auto kIdlePoll = 10ms;
// A freshly attached sensor gets this long to power up before the first byte.
constexpr auto kAttachSettle = 100ms;
// Flushing first lets a reply that is still on the wire arrive, then reads
// until the line has been quiet for the line's read time-out.
constexpr auto kFlushSettle = 250ms;
constexpr int kFlushQuietMs = 1000;
constexpr auto kFlushLimit = 2000ms;
constexpr std::size_t kFlushChunk = 32;
// A device that reports an error (a vanished pseudo-terminal, a port that
// failed) is not asked again at once, so that a dead line cannot spin.
constexpr auto kErrorBackoff = 100ms;

constexpr std::size_t kFloatReplyLength = 4;
constexpr std::size_t kMemoryReplyLength = 2;
constexpr std::size_t kSerialNumberBytes = kSerialNumberLastAddress - kSerialNumberFirstAddress + 1;

std::size_t idx(int port) { return static_cast<std::size_t>(port); }

double nowMs() { return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count(); }

int remainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// One read of up to `length` bytes that waits at most `timeoutMs` for the
// first of them. Returns the count, 0 when nothing came, negative after an
// error (having waited out the back-off).
int readWithin(int fd, char* buffer, std::size_t length, int timeoutMs) {
  struct pollfd p {fd, POLLIN, 0};
  const int ready = Device_poll(&p, 1, timeoutMs);
  if (ready == 0) return 0;
  if (ready > 0 && (p.revents & POLLIN) != 0) {
    const int n = serial_gets(fd, buffer, length);
    if (n > 0) return n;
  }
  std::this_thread::sleep_for(kErrorBackoff);
  return -1;
}

bool sendCommand(int fd, const char* command) {
  if (fd < 0) return false;
  return serial_puts(fd, command) > 0;
}

std::uint32_t bigEndianWord(const char* bytes) {
  std::uint32_t word = 0;
  for (std::size_t i = 0; i < 4; ++i) word = (word << 8) | static_cast<unsigned char>(bytes[i]);
  return word;
}

// Sends a power query and gives the power: the sensor sends its square root.
// A square beyond the float range is no reading a sensor makes but line noise
// taken for a reply (a babbling line, for instance), so the exchange fails
// rather than storing an infinite power.
bool queryPower(SERIAL_PORT_DATA& port, const char* command, float* watts);

// Sends a one-letter query and waits for its 4-byte sensor float.
bool querySensorFloat(SERIAL_PORT_DATA& port, const char* command, float* value) {
  sendCommand(port.fd, command);
  if (waitForSensorResponse(port.fd, port.rxBuffer.data(), kFloatReplyLength, kSerialReplyLimitMs) !=
      static_cast<int>(kFloatReplyLength)) {
    return false;
  }
  *value = floatTalvekToIeee(bigEndianWord(port.rxBuffer.data()));
  return true;
}

bool queryPower(SERIAL_PORT_DATA& port, const char* command, float* watts) {
  float root = 0.0F;
  if (!querySensorFloat(port, command, &root)) return false;
  const float power = root * root;
  if (!std::isfinite(power)) {
    logManager_printToLog(SensorCommunications, "Serial sensor port %d: implausible reply to %s\n",
                          port.channelIndex, command);
    return false;
  }
  *watts = power;
  return true;
}

// The "S" handshake: the sensor echoes the letter.
bool synchronise(SERIAL_PORT_DATA& port) {
  sendCommand(port.fd, "S");
  const int n = waitForSensorResponse(port.fd, port.rxBuffer.data(), 1, kSerialReplyLimitMs);
  return n == 1 && port.rxBuffer[0] == 'S';
}

void markReady(SERIAL_HANDLER_DATA* h) {
  h->isInitialized = true;
  sensorPortHandler_setSensorStatus(h->serialPort.channelIndex, isReady, "");
}

template <typename Update>
void updateReading(SERIAL_HANDLER_DATA* h, Update update) {
  std::lock_guard guard(sensorPortMeasureMutex[idx(h->serialPort.channelIndex)]);
  update(h->sensorMeasurements);
}

sensorSerCommState flushInput(SERIAL_HANDLER_DATA* h) {
  const auto began = Clock::now();
  std::this_thread::sleep_for(kFlushSettle);
  const int fd = h->serialPort.fd;
  if (fd < 0) return stateSerInitialSync;
  std::array<char, kFlushChunk> scratch{};
  for (;;) {
    if (readWithin(fd, scratch.data(), scratch.size(), kFlushQuietMs) <= 0) return stateSerInitialSync;
    // Still talking after the limit: try again on the next step, so that the
    // thread keeps looking at its connection flag.
    if (Clock::now() - began >= kFlushLimit) return stateSerFlush;
  }
}

sensorSerCommState identify(SERIAL_HANDLER_DATA* h) {
  SERIAL_PORT_DATA& port = h->serialPort;
  sendCommand(port.fd, "I");
  if (waitForSensorResponse(port.fd, port.rxBuffer.data(), kSerialIdentityLength, kSerialIdentityLimitMs) !=
      static_cast<int>(kSerialIdentityLength)) {
    return stateSerFlush;
  }
  bool hasMemory = false;
  {
    std::lock_guard guard(sensorPortInfoMutex[idx(port.channelIndex)]);
    SerialSensor_parseIdentity(port.rxBuffer.data(), &h->sensorIdentity);
    hasMemory = SerialSensor_hasSerialNumberMemory(TextField_view(h->sensorIdentity.sensorModel));
    // A sensor without memory has no serial number; one read from a sensor
    // identified earlier on this line must not be shown as its own.
    if (!hasMemory) h->serialNumber.fill('\0');
  }
  if (hasMemory) return stateSerSerialNum;
  markReady(h);
  return stateSerFwd;
}

sensorSerCommState readSerialNumber(SERIAL_HANDLER_DATA* h) {
  SERIAL_PORT_DATA& port = h->serialPort;
  // Whatever the identity left on the line is not part of the first answer.
  waitForSensorResponse(port.fd, port.rxBuffer.data(), kSerialNumberBytes, kSerialReplyLimitMs);
  std::string memory;
  bool answered = false;
  for (unsigned address = kSerialNumberFirstAddress; address <= kSerialNumberLastAddress; ++address) {
    const char command[] = {'Z', 0x04, static_cast<char>(address), '\0'};
    sendCommand(port.fd, command);
    if (waitForSensorResponse(port.fd, port.rxBuffer.data(), kMemoryReplyLength, kSerialReplyLimitMs) !=
        static_cast<int>(kMemoryReplyLength)) {
      continue;
    }
    answered = true;
    if (port.rxBuffer[1] == 0) memory.push_back(port.rxBuffer[0]);
  }
  if (!answered) return stateSerFlush;
  {
    std::lock_guard guard(sensorPortInfoMutex[idx(port.channelIndex)]);
    SerialSensor_keepDigits(memory, h->serialNumber);
  }
  markReady(h);
  return stateSerFwd;
}

sensorSerCommState readForward(SERIAL_HANDLER_DATA* h) {
  const int port = h->serialPort.channelIndex;
  newMeasurementIsAvailable[idx(port)] = false;
  const double start = nowMs();
  updateReading(h, [&](SENSOR_MEASUREMENTS&) { h->start_time_ms = start; });
  float watts = 0.0F;
  if (!queryPower(h->serialPort, "F", &watts)) return stateSerFlush;
  updateReading(h, [&](SENSOR_MEASUREMENTS& m) { m.fwdPwrVal = watts; });
  newMeasurementIsAvailable[idx(port)] = true;
  return stateSerRfl;
}

sensorSerCommState readReflected(SERIAL_HANDLER_DATA* h) {
  float watts = 0.0F;
  const bool ok = queryPower(h->serialPort, "R", &watts);
  if (ok) updateReading(h, [&](SENSOR_MEASUREMENTS& m) { m.rflPwrVal = watts; });
  // The forward reading is what remote listeners wait for; it is new even
  // when the reflected one failed.
  if (newMeasurementIsAvailable[idx(h->serialPort.channelIndex)]) sensorPortHandler_signalReadingAvailable(h->serialPort.channelIndex);
  return ok ? stateSerFreq : stateSerFlush;
}

sensorSerCommState readFrequency(SERIAL_HANDLER_DATA* h) {
  float value = 0.0F;
  if (!querySensorFloat(h->serialPort, "H", &value)) return stateSerFlush;
  updateReading(h, [&](SENSOR_MEASUREMENTS& m) { m.freqVal = value; });
  return stateSerTemp;
}

sensorSerCommState readTemperature(SERIAL_HANDLER_DATA* h) {
  float value = 0.0F;
  if (!querySensorFloat(h->serialPort, "T", &value)) return stateSerFlush;
  updateReading(h, [&](SENSOR_MEASUREMENTS& m) { m.temperatureVal = value; });
  return stateSerFramingSync;
}

sensorSerCommState closeCycle(SERIAL_HANDLER_DATA* h) {
  if (!synchronise(h->serialPort)) return stateSerFlush;
  const double finish = nowMs();
  updateReading(h, [&](SENSOR_MEASUREMENTS&) {
    h->finish_time_ms = finish;
    h->measCycle_time_ms = finish - h->start_time_ms;
  });
  return stateSerFwd;
}

// Owns the port's descriptor for the life of the handler thread.
class OpenSensorPort {
 public:
  explicit OpenSensorPort(SERIAL_PORT_DATA& port) : port_(port) {
    const std::string path = Platform_path(TextField_view(port.serialPortName));
    port_.fd = serial_open_forsensor(path.c_str());
    port_.portClosed = port_.fd < 0;
    port_.portState = port_.fd < 0 ? sensorPortError : sensorPortConnected;
  }
  OpenSensorPort(const OpenSensorPort&) = delete;
  OpenSensorPort& operator=(const OpenSensorPort&) = delete;
  ~OpenSensorPort() {
    if (port_.fd >= 0) serial_close(port_.fd);
    port_.fd = -1;
    port_.portClosed = true;
    port_.portState = sensorPortDisconnected;
  }

 private:
  SERIAL_PORT_DATA& port_;
};

}  // namespace

int waitForSensorResponse(int fd, char* buffer, std::size_t length, std::uint32_t limitMs) {
  std::memset(buffer, 0, length);
  const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
  if (fd < 0) {
    std::this_thread::sleep_until(deadline);
    return 0;
  }
  std::size_t received = 0;
  while (received < length) {
    const int left = remainingMs(deadline);
    if (left == 0) break;
    const int n = readWithin(fd, buffer + received, length - received, left);
    if (n > 0) received += static_cast<std::size_t>(n);
  }
  return static_cast<int>(received);
}

void SerialSensor_parseIdentity(const char* reply, SENSOR_IDENTITY* identity) {
  constexpr std::size_t kModelLength = 8;
  constexpr std::size_t kFirmwareOffset = 8;
  constexpr std::size_t kFirmwareLength = 8;
  constexpr std::size_t kCapabilityOffset = 16;
  constexpr std::size_t kMaxPowerOffset = 32;
  constexpr std::size_t kMinPowerOffset = 36;

  std::string_view model(reply, kModelLength);
  while (!model.empty() && static_cast<unsigned char>(model.back()) == 0xFF) model.remove_suffix(1);
  // A NUL inside a field ends its text.
  const auto upToNul = [](std::string_view text) { return text.substr(0, text.find('\0')); };
  TextField_copy(identity->sensorModel, upToNul(model));
  TextField_copy(identity->sensorFirmwareRevision, upToNul(std::string_view(reply + kFirmwareOffset, kFirmwareLength)));

  auto& capabilities = identity->sensorSupportedCommands;
  for (std::size_t i = 0; i < capabilities.size(); ++i) {
    const char c = reply[kCapabilityOffset + i];
    capabilities[i] = c == ' ' ? '\0' : c;
  }
  identity->sensorPower.max = floatTalvekToIeee(bigEndianWord(reply + kMaxPowerOffset));
  identity->sensorPower.min = floatTalvekToIeee(bigEndianWord(reply + kMinPowerOffset));
}

bool SerialSensor_hasSerialNumberMemory(std::string_view model) {
  return !model.starts_with("C602A200") && !model.starts_with("QRV");
}

void SerialSensor_keepDigits(std::string_view memoryBytes, std::array<char, 9>& serialNumber) {
  serialNumber.fill('\0');
  std::size_t kept = 0;
  for (const char c : memoryBytes) {
    if (c < '0' || c > '9') continue;
    if (kept == serialNumber.size() - 1) break;
    serialNumber[kept++] = c;
  }
}

void sensorSerialHandler_handleSensorStates(SERIAL_HANDLER_DATA* h) {
  sensorSerCommState next = stateSerFlush;
  switch (h->sensorState.load()) {
    case stateSerFlush: next = flushInput(h); break;
    case stateSerInitialSync: next = synchronise(h->serialPort) ? stateSerIdentify : stateSerFlush; break;
    case stateSerIdentify: next = identify(h); break;
    case stateSerSerialNum: next = readSerialNumber(h); break;
    case stateSerFwd: next = readForward(h); break;
    case stateSerRfl: next = readReflected(h); break;
    case stateSerFreq: next = readFrequency(h); break;
    case stateSerTemp: next = readTemperature(h); break;
    case stateSerFramingSync: next = closeCycle(h); break;
    case stateSerConnect: break;
  }
  h->sensorState = next;
}

void sensorSerialHandlerThread(std::stop_token stop, int port) {
  SERIAL_HANDLER_DATA& h = sensorSerialHandlerData[idx(port)];
  const OpenSensorPort opened(h.serialPort);
  if (h.serialPort.fd < 0) USER_WARNING("Unable to open sensor port %d.\n", port);

  while (!stop.stop_requested()) {
    if (!sensorPortHandler_getIsConnected(port)) {
      std::this_thread::sleep_for(kIdlePoll);
      continue;
    }
    // A new attachment: forget the previous sensor.
    sensorPortHandler_resetSensorInformation(port);
    h.isInitialized = false;
    sensorPortHandler_setSensorStatus(port, notReady, "");
    h.sensorState = stateSerFlush;
    logManager_printToLog(SensorCommunications, "Serial sensor port %d attached\n", port);
    std::this_thread::sleep_for(kAttachSettle);
    while (!stop.stop_requested() && sensorPortHandler_getIsConnected(port)) {
      sensorSerialHandler_handleSensorStates(&h);
    }
    logManager_printToLog(SensorCommunications, "Serial sensor port %d released\n", port);
  }
}

SerialCycleTiming SensorPortHandler_getSerialCycleTiming(int port) {
  if (!SensorPort_isSerial(port)) return {};
  const SERIAL_HANDLER_DATA& h = sensorSerialHandlerData[idx(port)];
  std::lock_guard guard(sensorPortMeasureMutex[idx(port)]);
  return {h.start_time_ms, h.finish_time_ms, h.measCycle_time_ms};
}

sensorSerCommState SensorPortHandler_getSerialState(int port) {
  if (!SensorPort_isSerial(port)) return stateSerConnect;
  return sensorSerialHandlerData[idx(port)].sensorState.load();
}
