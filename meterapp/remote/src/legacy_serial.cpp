// The legacy interface's port, threads and answers.
//
// Hand-over between the threads: a reading request (ENT, or FC/RC in command
// mode) goes into a short queue, so that a request arriving while the output
// thread still waits for the previous reading is answered after it instead of
// being lost. New measurements are counted per port; a request is answered
// only once the port being answered has a reading newer than the request, so
// a reading of another port never releases a stale value.
#include <poll.h>
#include <termios.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include "autorange_rs232.h"
#include "configuration.h"
#include "device_io.h"
#include "legacy_state.h"
#include "log_manager.h"
#include "network.h"
#include "platform.h"
#include "sensor_data.h"
#include "sensor_manager.h"
#include "serial_port.h"

namespace {

using namespace std::chrono_literals;

constexpr float kOverRangeLimit = 199990000.0F;  // W
constexpr double kOverRangeNumber = 199.99;
constexpr std::size_t kMaxPendingRequests = 32;
constexpr int kGoneAfterFailures = 5;
constexpr std::size_t kBuildLineLimit = 64;
constexpr std::size_t kMacLimit = 17;
constexpr std::size_t kAddressLimit = 15;

struct Request {
  int measure_select;
};

struct BuildRecord {
  std::string hostname;
  std::string date;
  std::string uuid;
};

// The tags of the build record the UA answer shows, and how much of each
// value it keeps; other tags are ignored.
struct BuildTag {
  std::string_view tag;
  std::size_t limit;
  std::string BuildRecord::*field;
};
constexpr BuildTag tag_label[] = {
    {"BUILD_DATE", 32, &BuildRecord::date},
    {"BUILD_HOSTNAME", 32, &BuildRecord::hostname},
    {"BUILD_UUID", 48, &BuildRecord::uuid},
};

std::mutex portWriteMutex;  // one whole answer at a time on the port

std::mutex requestMutex;
std::condition_variable_any requestCondition;
// The pending reading requests, oldest first (guarded by requestMutex).
std::deque<Request> reading_request;

std::mutex readingMutex;
std::condition_variable_any readingCondition;
// New measurements so far, per port (guarded by readingMutex).
std::array<unsigned long long, kSensorPortCount> reading_available{};

std::jthread inputThread;
std::jthread outputThread;
std::atomic<bool> inputRunning{false};

void sendAnswer(const char* text) {
  std::lock_guard guard(portWriteMutex);
  SerialPort_puts(text);
}

// ----- status answers -----

std::string_view bounded(std::string_view text, std::size_t limit) { return text.substr(0, limit); }

// Lines "TAG=value" of at most 64 characters; a value runs to the end of its
// line, without its line end.
BuildRecord readBuildRecord() {
  BuildRecord record;
  std::string text;
  const std::string path = Platform_path(DevicePath::kBuildInstalled);
  if (!Device_readSmallFile(path, 4096, &text)) {
    DIAGNOSTIC("fopen %s errno=%d", DevicePath::kBuildInstalled, errno);
    return record;
  }
  std::string_view rest(text);
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    line = line.substr(0, kBuildLineLimit);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view tag = line.substr(0, equals);
    const std::string_view value = line.substr(equals + 1);
    for (const BuildTag& known : tag_label) {
      if (tag == known.tag) record.*known.field = bounded(value, known.limit);
    }
  }
  return record;
}

void statusA(std::array<char, kStatusAAnswerSize>& out) {
  const std::string mac = std::string(bounded(get_mac_address("eth0"), kMacLimit));
  const std::string address = std::string(bounded(get_ip_address("eth0"), kAddressLimit));
  const BuildRecord build = readBuildRecord();
  std::snprintf(out.data(), out.size(), "UA %s;%s;%s %s %s%s", mac.c_str(), address.c_str(), build.hostname.c_str(),
                build.date.c_str(), build.uuid.c_str(), scpi_terminator);
}

void handleStatus(command_t status) {
  std::array<char, kStatusAAnswerSize> answer{};
  SerialCommand_statusText(status, answer);
  sendAnswer(answer.data());
  if (status == COMMAND_STATUS1) LegacyState_resetStatusFlags();
}

// ----- reading requests and answers -----

void requestReading() {
  const Request request{legacyState.measure_select};
  // In trigger mode 5 only a fresh FC or RC selection earns a reading.
  if (legacyState.trigger_mode == TRIGGER_MODE_5 && !legacyState.measurement_selected.exchange(false)) return;
  std::lock_guard guard(requestMutex);
  if (reading_request.size() >= kMaxPendingRequests) {
    logManager_printToLog(NoCategory, "SerialCommand: %zu readings already requested; request dropped\n",
                          reading_request.size());
    return;
  }
  reading_request.push_back(request);
  requestCondition.notify_one();
}

// The port of the first display channel with a connected sensor, or -1.
int answerPort() {
  for (const int port : SensorManager_getActivePorts()) {
    if (SensorPort_isValid(port) && sensorPortHandler_getIsConnected(port)) return port;
  }
  return -1;
}

unsigned long long readingCount(int port) {
  std::lock_guard guard(readingMutex);
  return reading_available[static_cast<std::size_t>(port)];
}

// Waits for a reading of the answered channel newer than the request; the
// channel may change (or go) while it waits. Returns the port, or -1.
int waitForFreshReading(std::stop_token stop) {
  int port = answerPort();
  if (port < 0) return -1;
  unsigned long long seen = readingCount(port);
  while (!stop.stop_requested()) {
    {
      std::unique_lock lock(readingMutex);
      const bool fresh = readingCondition.wait_for(
          lock, stop, 500ms, [&] { return reading_available[static_cast<std::size_t>(port)] != seen; });
      if (fresh) return port;
    }
    const int now = answerPort();
    if (now < 0) return -1;
    if (now != port) {
      port = now;
      seen = readingCount(port);
    }
  }
  return -1;
}

using PowerAnswer = std::array<char, kPowerAnswerSize>;

// One power answer of `port`'s sensor, in the direction's range (stored back
// when auto-ranging moves it). Returns the length, 0 or less for nothing.
int respondPower(int port, bool reflected, PowerAnswer& out) {
  const SENSOR_MEASUREMENTS m = sensorPortHandler_getSensorMeasurements(port);
  std::atomic<int>& stored = reflected ? legacyState.reflected_range : legacyState.forward_range;
  int range = stored;
  const int length =
      format_power(out, reflected ? m.rflPwrVal : m.fwdPwrVal, sensorPortHandler_getSensorMinPower(port),
                   sensorPortHandler_getSensorMaxPower(port), reflected ? "RC" : "FC", &range, legacyState.autoscale);
  stored = range;
  return length;
}

int respond_forward_power(int port, PowerAnswer& out) { return respondPower(port, false, out); }
int respond_reflected_power(int port, PowerAnswer& out) { return respondPower(port, true, out); }

// Builds the answer to one reading request, once the answered channel has a
// reading newer than the request. The trigger-mode-5 rule (a reading needs a
// fresh FC or RC) was applied when the request was queued, against the
// selection as it stood at that ENT. Returns the length, 0 or less for
// nothing to send.
int serial_command_handle_response(std::stop_token stop, const Request& request, PowerAnswer& out) {
  out[0] = '\0';
  const int port = waitForFreshReading(stop);
  if (port < 0) {
    logManager_printToLog(NoCategory, "SerialCommand: no sensor to answer the reading request\n");
    return 0;
  }
  return request.measure_select == MEASURE_SELECT_REFLECTED ? respond_reflected_power(port, out)
                                                            : respond_forward_power(port, out);
}

void SerialCommand_OutputThread(std::stop_token stop) {
  while (!stop.stop_requested()) {
    Request request{};
    {
      std::unique_lock lock(requestMutex);
      if (!requestCondition.wait(lock, stop, [] { return !reading_request.empty(); })) return;
      request = reading_request.front();
      reading_request.pop_front();
    }
    PowerAnswer text{};
    if (serial_command_handle_response(stop, request, text) > 0) sendAnswer(text.data());
  }
}

// ----- input -----

void handleCharacter(char c) {
  command_t command = COMMAND_NONE;
  do {
    command = serial_command_interpret_input(c);
  } while (command == COMMAND_RETRY);
  serial_command_handle_command(command);
  if (configuration_getCommandModeSW() && legacyState.trigger_mode == TRIGGER_MODE_5) {
    if (command == COMMAND_FORWARD || command == COMMAND_REFLECTED) requestReading();
  } else if (command == COMMAND_ENTER) {
    requestReading();
  }
}

bool portGone(int result, int error) {
  // A blocking raw read that returns nothing is a hang-up.
  return result == SERIAL_TIMEOUT || error == EIO || error == ENXIO || error == ENODEV || error == EBADF;
}

void SerialCommand_InputThread(std::stop_token stop) {
  int failures = 0;
  while (!stop.stop_requested()) {
    pollfd p{*SerialPort_getfd(), POLLIN, 0};
    const int ready = Device_poll(&p, 1, 200);
    if (ready == 0) continue;
    errno = 0;
    const int c = ready < 0 ? -1 : SerialPort_getc();
    if (c >= 0) {
      failures = 0;
      handleCharacter(static_cast<char>(c));
      continue;
    }
    // A failing port must not spin: back off, and give up once it is gone.
    const int error = errno;
    ++failures;
    if (portGone(c, error) && failures >= kGoneAfterFailures) {
      DIAGNOSTIC("SerialCommand_InputThread: the port is gone (errno=%d); the serial command interface stops\n", error);
      break;
    }
    const auto pause = std::min<std::chrono::milliseconds>(10ms * (1 << std::min(failures, 7)), 1000ms);
    std::mutex sleepMutex;
    std::condition_variable_any sleeper;
    std::unique_lock lock(sleepMutex);
    sleeper.wait_for(lock, stop, pause, [] { return false; });
  }
  inputRunning = false;
}

// Reopening the port must keep the line settings the user chose.
int reopenKeepingLineSettings(const char* path) {
  termios saved{};
  const bool hadSettings = SerialPort_GetConfig(&saved) == 0;
  if (SerialPort_Open(path) < 0) return -1;
  if (!hadSettings) return 0;
  termios raw{};
  if (SerialPort_GetConfig(&raw) != 0) return 0;
  constexpr tcflag_t kLine = CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS;
  raw.c_cflag = (raw.c_cflag & ~kLine) | (saved.c_cflag & kLine);
  ::cfsetispeed(&raw, ::cfgetispeed(&saved));
  ::cfsetospeed(&raw, ::cfgetospeed(&saved));
  SerialPort_SetConfig(&raw);
  return 0;
}

void notEnabled() { USER_WARNING("Serial command interface is not enabled.\n"); }

}  // namespace

void SerialCommand_Start() {
  if (!configuration_getUseLegacy()) return;
  const std::string path = Platform_path(DevicePath::kCommandPort);
  if (SerialCommand_Initialize(path.c_str()) < 0) return;
  SerialCommand_StartThreads();
}

int SerialCommand_Initialize(const char* path) {
  if (reopenKeepingLineSettings(path) < 0) {
    DIAGNOSTIC("Could not open %s", path);
    notEnabled();
    return -1;
  }
  {
    std::lock_guard guard(requestMutex);
    reading_request.clear();
  }
  {
    std::lock_guard guard(readingMutex);
    reading_available.fill(0);
  }
  LegacyState_reset();
  return 0;
}

bool SerialCommand_StartThreads() {
  SerialCommand_Stop();
  sensorPortHandler_setReadingListener(SerialCommand_SignalReadingAvailable);
  try {
    inputRunning = true;
    inputThread = std::jthread(SerialCommand_InputThread);
  } catch (const std::system_error& e) {
    inputRunning = false;
    DIAGNOSTIC("pthread_create for SerialCommand_InputThread failed with error %s", e.what());
    notEnabled();
    return false;
  }
  try {
    outputThread = std::jthread(SerialCommand_OutputThread);
  } catch (const std::system_error& e) {
    DIAGNOSTIC("pthread_create for SerialCommand_OutputThread failed with error %s", e.what());
    notEnabled();
    SerialCommand_Stop();
    return false;
  }
  return true;
}

void SerialCommand_Stop() {
  sensorPortHandler_setReadingListener(nullptr);
  for (std::jthread* t : {&inputThread, &outputThread}) {
    if (!t->joinable()) continue;
    t->request_stop();
    t->join();
  }
  inputRunning = false;
}

bool SerialCommand_InputRunning() { return inputRunning; }

void SerialCommand_SignalReadingAvailable(int port) {
  if (!SensorPort_isValid(port)) return;
  std::lock_guard guard(readingMutex);
  ++reading_available[static_cast<std::size_t>(port)];
  readingCondition.notify_all();
}

void serial_command_handle_command(command_t command) {
  if (command >= COMMAND_R00 && command <= COMMAND_R17) {
    SerialRange_Setrange(command - COMMAND_R00);
    return;
  }
  switch (command) {
    case COMMAND_TRIGGER_1:
      legacyState.trigger_mode = TRIGGER_MODE_1;
      break;
    case COMMAND_TRIGGER_5:
      legacyState.trigger_mode = TRIGGER_MODE_5;
      legacyState.measurement_selected = false;
      break;
    case COMMAND_FORWARD:
    case COMMAND_REFLECTED:
      legacyState.measure_select = command == COMMAND_FORWARD ? MEASURE_SELECT_FORWARD : MEASURE_SELECT_REFLECTED;
      legacyState.measurement_selected = true;
      break;
    case COMMAND_RNN:
      legacyState.autoscale = false;
      break;
    case COMMAND_RYY:
      legacyState.autoscale = true;
      break;
    case COMMAND_STATUS0:
    case COMMAND_STATUS1:
    case COMMAND_STATUS2:
    case COMMAND_STATUSA:
      handleStatus(command);
      break;
    case COMMAND_RESET:
      resetConfigToDefaults();  // keeps the legacy flags
      legacyState.trigger_mode = TRIGGER_MODE_1;
      break;
    case COMMAND_SELFTEST:
      legacyState.selfTestStatus = true;
      break;
    default:
      break;
  }
}

void SerialCommand_statusText(command_t status, std::array<char, kStatusAAnswerSize>& out) {
  out[0] = '\0';
  switch (status) {
    case COMMAND_STATUS0: {
      char range[16] = "RYY";
      if (!legacyState.autoscale) {
        std::snprintf(range, sizeof range, "R%02d", std::clamp(legacyState.forward_range.load(), 0, 17));
      }
      std::snprintf(out.data(), kStatusAnswerSize, " R904 %s%sPYYT%sXF%s",
                    legacyState.measure_select == MEASURE_SELECT_REFLECTED ? " RC" : " FC", range,
                    legacyState.trigger_mode == TRIGGER_MODE_5 ? "T5" : "T1", scpi_terminator);
      break;
    }
    case COMMAND_STATUS1:
      std::snprintf(out.data(), kStatusAnswerSize, " R904 %s%s%s %s", legacyState.validCommand ? " VCM" : " ICM",
                    legacyState.validParameter ? " VCO" : " ICO", legacyState.selfTestStatus ? " PS" : " FL",
                    scpi_terminator);
      break;
    case COMMAND_STATUS2:
      std::snprintf(out.data(), kStatusAnswerSize, " R904   0100 RS232%s", scpi_terminator);
      break;
    case COMMAND_STATUSA:
      statusA(out);
      break;
    default:
      break;
  }
}

int format_power(std::array<char, kPowerAnswerSize>& out, float value, float minPower, float maxPower, const char* tag,
                 int* range, bool autoscale) {
  out[0] = '\0';
  if (std::isnan(value)) return -1;  // not measured: nothing to show
  // A power below zero is the zero offset's noise: shown as no power.
  const float power = value < 0.0F ? 0.0F : value;
  int row = std::clamp(*range, 0, kRangeRS232Count - 1);
  if (autoscale) row = AutoRangeRS232_findNewRange(std::max(power, minPower), row);
  const float nextUp = row < kRangeRS232Count - 1 ? rangeFormatsRS232[static_cast<std::size_t>(row + 1)].upThreshold
                                                  : kOverRangeLimit;
  const bool over = power > nextUp || power > 1.2F * maxPower || power > kOverRangeLimit;
  if (over) row = std::min(3 * (row / 3 + 1) - 1, kRangeRS232Count - 1);
  *range = row;
  const DISPLAY_RANGE_FORMAT_RS232& format = rangeFormatsRS232[static_cast<std::size_t>(row)];
  const double number = over ? kOverRangeNumber : static_cast<double>(power) * format.multiplier;
  // The row's format is "% 7.Nf": the field of 7 with N decimals.
  const int decimals = format.formatString[4] - '0';
  std::array<char, 16> field{};
  const int n = std::snprintf(field.data(), field.size(), "% 7.*f", decimals, number);
  if (n < 0) {
    USER_WARNING("An error occurred formatting a serial command response.\n");
    DIAGNOSTIC("snprintf errno=%d", errno);
    return -1;
  }
  if (n > 7) {
    USER_WARNING("An error occurred formatting a serial command response.\n");
    DIAGNOSTIC("formatting value of %f with %s exceeds sizeof(buffer)=%d", number, format.formatString.data(), 8);
    return -1;
  }
  if (decimals == 4 && field[1] == '0') field[1] = ' ';
  const int length = std::snprintf(out.data(), out.size(), "%c%s %s  %2s%s", over ? 'O' : 'N', tag, field.data(),
                                   format.unitLabel.data(), scpi_terminator);
  return length;
}
