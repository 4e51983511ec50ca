#include "usbtmc_requests.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>

#include "log_manager.h"
#include "text_field.h"

namespace {

using namespace std::chrono_literals;

constexpr int kInitMaxTries = 1200;       // 1200 x 50 ms: at most 60 s for one measurement
constexpr int kStatusMaxTries = 100;
constexpr auto kPollInterval = 50ms;
constexpr int kMaxErrorQueueEntries = 100;  // a sensor's queue is far shorter; bounds a bad count

std::string_view trimmedLine(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '\t')) {
    text.remove_suffix(1);
  }
  return text;
}

// Numbers go on the wire in the same form under every locale (the GUI sets
// the user's locale, whose decimal separator may be a comma), and floats in
// their shortest exact form so that reading the setting back compares equal.
void formatFloat(char* out, std::size_t size, float value) {
  const auto [end, ec] = std::to_chars(out, out + size - 1, value);
  *(ec == std::errc() ? end : out) = '\0';
}

float parseFloat(const char* text) {
  while (*text == ' ' || *text == '\t') ++text;
  if (*text == '+') ++text;
  float value = 0.0F;
  const char* end = text + std::strlen(text);
  if (std::from_chars(text, end, value).ec != std::errc()) return 0.0F;
  return value;
}

int parseInt(const char* text) {
  const long value = std::strtol(text, nullptr, 10);
  return static_cast<int>(std::clamp<long>(value, -2147483647L - 1, 2147483647L));
}

void clearRecord(CMD_TYPE& record) {
  record.ival = 0;
  record.fval = 0.0F;
  record.sval.fill('\0');
}

// The command line to send, or false for an unknown parameter type.
bool formatCommand(const SENSOR_CMD_S& command, const CMD_TYPE& parameter, std::array<char, 128>& out) {
  const char* header = command.cmd_str.data();
  switch (command.param_type) {
    case USBTMC_PARAM_NONE:
      std::snprintf(out.data(), out.size(), "%s\n", header);
      return true;
    case USBTMC_PARAM_INT:
      std::snprintf(out.data(), out.size(), "%s %d\n", header, parameter.ival);
      return true;
    case USBTMC_PARAM_FLOAT: {
      std::array<char, 32> number{};
      formatFloat(number.data(), number.size(), parameter.fval);
      std::snprintf(out.data(), out.size(), "%s %s\n", header, number.data());
      return true;
    }
    case USBTMC_PARAM_TEXT:
      std::snprintf(out.data(), out.size(), "%s %.*s\n", header, static_cast<int>(parameter.sval.size()),
                    parameter.sval.data());
      return true;
    default:
      return false;
  }
}

bool sameValue(int paramType, const CMD_TYPE& wanted, const QRY_TYPE& current) {
  switch (paramType) {
    case USBTMC_PARAM_INT:
      return wanted.ival == current.ival;
    case USBTMC_PARAM_FLOAT:
      return wanted.fval == current.fval;
    case USBTMC_PARAM_TEXT: {
      // The sensor ends its reply with a line feed; the value is what precedes it.
      return trimmedLine(TextField_view(wanted.sval)) == trimmedLine(TextField_view(current.sval));
    }
    default:
      return false;
  }
}

// The error number of this thread's last failed transfer, taken from the
// failing call itself (errno is sticky and later calls overwrite it).
thread_local int lastTransportErrno = 0;

int sendText(int fd, const char* text) {
  const int sent = UsbTmcPort_Send(fd, text);
  if (sent < 0) lastTransportErrno = errno;
  return sent;
}

int receive(int fd, char* buffer, std::size_t size) {
  const int received = UsbTmcPort_Receive(fd, buffer, size);
  if (received < 0) lastTransportErrno = errno;
  return received;
}

int receiveUntilSomething(int fd, UsbRxBuffer buffer) {
  int received = 0;
  for (int attempt = 0; attempt < kStatusMaxTries; ++attempt) {
    received = receive(fd, buffer.data(), buffer.size());
    if (received > 0) break;
    std::this_thread::sleep_for(kPollInterval);
  }
  return received;
}

int queryAndPoll(int fd, UsbRxBuffer buffer, const char* text) {
  if (fd <= 0) return -1;
  const int sent = sendText(fd, text);
  if (sent < 0) return sent;
  return receiveUntilSomething(fd, buffer);
}

}  // namespace

int handleQuery(int fd, UsbRxBuffer buffer, const SENSOR_QRY_S& query, QRY_TYPE& result) {
  if (fd <= 0) return -1;
  std::array<char, 64> text{};
  std::snprintf(text.data(), text.size(), "%s\n", query.qry_str.data());
  const int sent = sendText(fd, text.data());
  if (sent < 0) return sent;
  const int received = receive(fd, buffer.data(), buffer.size());
  if (received <= 0) return received;
  clearRecord(result);
  switch (query.param_type) {
    case USBTMC_PARAM_INT:
      result.ival = parseInt(buffer.data());
      break;
    case USBTMC_PARAM_FLOAT:
      result.fval = parseFloat(buffer.data());
      break;
    default:
      TextField_copy(result.sval, std::string_view(buffer.data(), static_cast<std::size_t>(received)));
      break;
  }
  return received;
}

int handleQuery(int fd, UsbRxBuffer buffer, sensor_qry_e query, QRY_TYPE& result) {
  if (query < 0 || query >= Q_END) return -1;
  return handleQuery(fd, buffer, sensor_qry_param[static_cast<std::size_t>(query)], result);
}

int handleCmd(int fd, UsbRxBuffer buffer, const SENSOR_CMD_S& command, CMD_TYPE& parameter) {
  if (fd <= 0) return -1;
  std::array<char, 128> text{};
  if (!formatCommand(command, parameter, text)) {
    DIAGNOSTIC("unknown parameter type %d for %s\n", command.param_type, command.cmd_str.data());
    return -1;
  }
  if (command.qry >= 0 && command.qry < Q_END) {
    QRY_TYPE current;
    const int rc = handleQuery(fd, buffer, sensor_qry_param[static_cast<std::size_t>(command.qry)], current);
    if (rc <= 0) return rc;
    if (sameValue(command.param_type, parameter, current)) {
      logManager_printToLog(SensorCommunications, "%s: sensor already has the value\n", command.cmd_str.data());
      return rc;
    }
  }
  const int sent = sendText(fd, text.data());
  clearRecord(parameter);
  return sent;
}

int handleCmd(int fd, UsbRxBuffer buffer, sensor_cmd_e command, CMD_TYPE& parameter) {
  if (command < 0 || command >= C_END) return -1;
  return handleCmd(fd, buffer, sensor_cmd_param[static_cast<std::size_t>(command)], parameter);
}

namespace {

enUSBTMCErrors classify(int fd, UsbRxBuffer buffer, int requestResult) {
  if (requestResult <= 0) return usbtmc_transportError;
  const int outcome = clearSysErrCount(fd, buffer);
  if (outcome == -222) return usbtmc_sensorError222;
  if (outcome < 0) return usbtmc_sensorError;
  return usbtmc_success;
}

}  // namespace

enUSBTMCErrors handleCmdWithStatus(int fd, UsbRxBuffer buffer, sensor_cmd_e command, CMD_TYPE& parameter) {
  if (fd <= 0) return usbtmc_transportError;
  return classify(fd, buffer, handleCmd(fd, buffer, command, parameter));
}

enUSBTMCErrors handleQueryWithStatus(int fd, UsbRxBuffer buffer, sensor_qry_e query, QRY_TYPE& result) {
  if (fd <= 0) return usbtmc_transportError;
  return classify(fd, buffer, handleQuery(fd, buffer, query, result));
}

int clearSysErrCount(int fd, UsbRxBuffer buffer) {
  if (fd <= 0) return -1;
  QRY_TYPE count;
  if (handleQuery(fd, buffer, Q_SYSTEM_ERROR_COUNT, count) <= 0) return -1;
  int outcome = count.ival;
  const int entries = std::min(count.ival, kMaxErrorQueueEntries);
  for (int i = 0; i < entries; ++i) {
    QRY_TYPE error;
    const int rc = handleQuery(fd, buffer, Q_SYSTEM_ERROR, error);
    if (rc <= 0) {
      // Nothing arrived: the rest of the queue will not arrive either.
      return rc < 0 ? rc : -1;
    }
    if (error.ival < 0) outcome = error.ival;
  }
  return outcome;
}

int waitOperationComplete(int fd, UsbRxBuffer buffer, int maxTries) {
  if (fd <= 0) return -1;
  for (int attempt = 0; attempt < maxTries; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(kPollInterval);
    const int sent = sendText(fd, "*OPC?\n");
    if (sent < 0) return sent;
    const int received = receive(fd, buffer.data(), buffer.size());
    if (received > 0 && std::strcmp(buffer.data(), "1\n") == 0) return 1;
  }
  return 0;
}

int handleInitCmd(int fd, UsbRxBuffer buffer) { return handleInitCmd(fd, buffer, kInitMaxTries); }

int handleInitCmd(int fd, UsbRxBuffer buffer, int maxTries) {
  if (fd <= 0) return -1;
  const int sent = sendText(fd, "INIT\n");
  if (sent < 0) return sent;
  std::this_thread::sleep_for(10ms);
  if (sent == 0) return 0;
  return waitOperationComplete(fd, buffer, maxTries);
}

int handleReadStatusByteQuery(int fd, UsbRxBuffer buffer) { return queryAndPoll(fd, buffer, "*STB?\n"); }

int handleQuestionableEventQuery(int fd, UsbRxBuffer buffer) {
  return queryAndPoll(fd, buffer, "STAT:QUES:COND?\n");
}

int getPnPBlock(int fd, std::span<char, USBTMC_PNP_BLOCK_SIZE> block) {
  if (fd <= 0) return -1;
  const int sent = sendText(fd, "PNP:FILE:BLOC:DATA?\n");
  if (sent < 0) return sent;
  return receive(fd, block.data(), block.size());
}

namespace {

struct BlockHeader {
  std::size_t headerEnd;  // offset of the first data byte
  std::size_t length;     // data bytes announced
};

// "#" + one digit n + n length digits, at the first "#".
bool parseBlockHeader(const char* block, BlockHeader& header) {
  if (block == nullptr) return false;
  const char* hash = std::strchr(block, '#');
  if (hash == nullptr || hash[1] < '1' || hash[1] > '9') return false;
  const int digits = hash[1] - '0';
  std::size_t length = 0;
  for (int i = 0; i < digits; ++i) {
    const char c = hash[2 + i];
    if (c < '0' || c > '9') return false;
    length = length * 10 + static_cast<std::size_t>(c - '0');
  }
  header.headerEnd = static_cast<std::size_t>(hash - block) + 2 + static_cast<std::size_t>(digits);
  header.length = length;
  return true;
}

bool queryInt(int fd, UsbRxBuffer buffer, sensor_qry_e query, int& value) {
  QRY_TYPE result;
  if (handleQuery(fd, buffer, query, result) <= 0) return false;
  value = result.ival;
  return true;
}

bool commandInt(int fd, UsbRxBuffer buffer, sensor_cmd_e command, int value) {
  CMD_TYPE parameter;
  parameter.ival = value;
  return handleCmd(fd, buffer, command, parameter) > 0;
}

// Appends one received block's data to the file; false when the block is
// malformed, shorter than it claims, or the file would overflow.
bool appendBlock(const char* block, int received, std::span<char> file, std::size_t& used) {
  BlockHeader header{};
  if (!parseBlockHeader(block, header) || header.length < 1) return false;
  const auto available = static_cast<std::size_t>(received);
  if (header.headerEnd > available || header.length > available - header.headerEnd) return false;
  for (std::size_t i = 0; i < header.length; ++i) {
    const char c = block[header.headerEnd + i];
    if (c == '\0') continue;
    if (used + 1 >= file.size()) return false;
    file[used++] = c;
  }
  file[used] = '\0';
  return true;
}

}  // namespace

int getBlockSize(const char* block) {
  BlockHeader header{};
  if (!parseBlockHeader(block, header) || header.length > 2147483647U) return -1;
  return static_cast<int>(header.length);
}

int openPnPFile(int fd, UsbRxBuffer buffer, std::span<char> file) {
  if (fd <= 0 || file.empty()) return -1;
  file[0] = '\0';
  int available = 0;
  int size = 0;
  int total = 0;
  if (!queryInt(fd, buffer, Q_PNP_AVAILABLE, available) || available != 1) return -1;
  if (!commandInt(fd, buffer, C_PNP_INITIATE_TRANSFER, 0)) return -1;
  if (!queryInt(fd, buffer, Q_PNP_FILE_SIZE, size) || size <= 0) return -1;
  if (!queryInt(fd, buffer, Q_PNP_FILE_BLOCK_TOTAL, total) || total <= 0) return -1;
  std::array<char, USBTMC_PNP_BLOCK_SIZE> block{};
  std::size_t used = 0;
  for (int n = 1; n <= total; ++n) {
    if (!commandInt(fd, buffer, C_PNP_FILE_BLOCK_NUMBER, n)) return -1;
    const int received = getPnPBlock(fd, block);
    if (received <= 0 || !appendBlock(block.data(), received, file, used)) {
      DIAGNOSTIC("plug-and-play block %d of %d failed (%d bytes)\n", n, total, received);
      return -1;
    }
    block.fill('\0');
  }
  logManager_printToLog(SensorCommunications, "openPnPFile: %zu bytes in %d blocks\n", used, total);
  return 0;
}

int UsbTmcRequests_transportErrno() { return lastTransportErrno; }
void UsbTmcRequests_clearTransportErrno() { lastTransportErrno = 0; }
