// USB-TMC request layer: every exchange with a USB sensor goes through here.
//
// A command or query is one row of the tables below. Commands that name a
// read-back query are suppressed when the sensor already has the value;
// requests "with status" drain the sensor's error queue afterwards and
// classify the outcome as enUSBTMCErrors. No request retries by itself: the
// caller's state machine decides. Results follow the system-call style:
// positive on success, 0 when nothing arrived, negative on failure, and -1 for
// a descriptor of 0 or less (without any system call).
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "usbtmc_port.h"

// The port's receive buffer; replies longer than it are cut.
inline constexpr std::size_t USBTMC_RX_BUFFER_SIZE = 64;
using UsbRxBuffer = std::span<char, USBTMC_RX_BUFFER_SIZE>;

// One plug-and-play block: the "#3nnn" header, up to 999 data bytes, the
// line end and the terminator fit.
inline constexpr std::size_t USBTMC_PNP_BLOCK_SIZE = 1024;

// Parameter types of the table rows.
enum UsbParamType {
  USBTMC_PARAM_NONE = 0,   // commands: no parameter; queries: text result
  USBTMC_PARAM_INT = 1,
  USBTMC_PARAM_FLOAT = 2,
  USBTMC_PARAM_TEXT = 3,   // commands only
};

// Parameter of a command, result of a query.
struct CMD_TYPE {
  int ival = 0;
  float fval = 0.0F;
  std::array<char, 64> sval{};
};
using QRY_TYPE = CMD_TYPE;

enum sensor_cmd_e {
  C_COMMON_RST = 0,
  C_COMMON_CLS,
  C_TRIGGER_INIT,
  C_SENSE_FREQ,
  C_SENSE_PER,
  C_SENSE_FREQ_AUTO,
  C_SENSE_PER_AUTO,
  C_SENSE_RELFECT_EN,
  C_SENSE_SWE_TIME,
  C_SENSE_SWE_TIME_AUTO,
  C_CALCULATE_STATE1_EN,
  C_CALCULATE_STATE2_EN,
  C_CALCULATE_STATE3_EN,
  C_CALCULATE_STATE4_EN,
  C_CALCULATE_STATE1_BEGIN,
  C_CALCULATE_STATE2_BEGIN,
  C_CALCULATE_STATE3_BEGIN,
  C_CALCULATE_STATE4_BEGIN,
  C_CALCULATE_STATE1_END,
  C_CALCULATE_STATE2_END,
  C_CALCULATE_STATE3_END,
  C_CALCULATE_STATE4_END,
  C_CALC_GATE_BEGIN_DELAY,
  C_CALC_GATE_END_DELAY,
  C_PNP_INITIATE_TRANSFER,
  C_PNP_FILE_BLOCK_NUMBER,
  C_TRIGGER_SOURCE,
  C_TRIGGER_SLOPE,
  C_TRIGGER_LEVEL_AUTO,
  C_TRIGGER_LEVEL,
  C_TRIGGER_DELAY,
  C_END,
};

enum sensor_qry_e {
  Q_COMMON_STB = 0,
  Q_OPERATION_COMPLETE,
  Q_SYSTEM_MODEL,
  Q_SYSTEM_SERIAL_NUM,
  Q_SYSTEM_FIRMWARE_REV,
  Q_SYSTEM_ERROR,
  Q_SYSTEM_ERROR_COUNT,
  Q_SENSE_FREQUENCY,
  Q_SENSE_FREQUENCY_AUTO,
  Q_SENSE_PERIOD,
  Q_SENSE_PERIOD_AUTO,
  Q_SENSE_RELECTED_EN,
  Q_SENSE_SWE_TIME,
  Q_SENSE_SWE_TIME_AUTO,
  Q_STATUS_QUESTIONABLE,
  Q_FETCH_TEMPERATURE,
  Q_FETCH_DUTY_CYCLE,
  Q_FETCH_FREQUENCY,
  Q_FETCH_GATE_COUNT,
  Q_FETCH_GATE_MAX,
  Q_FETCH_GATE_MIN,
  Q_FETCH_GATE_MEAN,
  Q_FETCH_PERIOD,
  Q_FETCH_PRF,
  Q_FETCH_WIDTH,
  Q_FETCH_FORWARD_AVERAGE,
  Q_FETCH_REFLECTED_AVERAGE,
  Q_FETCH_STATE1_MEAN,
  Q_FETCH_STATE2_MEAN,
  Q_FETCH_STATE3_MEAN,
  Q_FETCH_STATE4_MEAN,
  Q_FETCH_STATE1_MAX,
  Q_FETCH_STATE2_MAX,
  Q_FETCH_STATE3_MAX,
  Q_FETCH_STATE4_MAX,
  Q_FETCH_STATE1_MIN,
  Q_FETCH_STATE2_MIN,
  Q_FETCH_STATE3_MIN,
  Q_FETCH_STATE4_MIN,
  Q_CALCULATE_STATE1_EN,
  Q_CALCULATE_STATE2_EN,
  Q_CALCULATE_STATE3_EN,
  Q_CALCULATE_STATE4_EN,
  Q_CALCULATE_STATE1_BEGIN,
  Q_CALCULATE_STATE2_BEGIN,
  Q_CALCULATE_STATE3_BEGIN,
  Q_CALCULATE_STATE4_BEGIN,
  Q_CALCULATE_STATE1_END,
  Q_CALCULATE_STATE2_END,
  Q_CALCULATE_STATE3_END,
  Q_CALCULATE_STATE4_END,
  Q_CALC_GATE_BEGIN_DELAY,
  Q_CALC_GATE_END_DELAY,
  Q_TRIGGER_SOURCE,
  Q_TRIGGER_SLOPE,
  Q_TRIGGER_LEVEL_AUTO,
  Q_TRIGGER_LEVEL,
  Q_TRIGGER_DELAY,
  Q_PNP_AVAILABLE,
  Q_PNP_VERSION,
  Q_PNP_FILE_SIZE,
  Q_PNP_FILE_BLOCK_TOTAL,
  Q_PNP_FILE_BLOCK_DATA,
  Q_PNP_FILE_BLOCK_NUMBER,
  Q_END = 64,
};

struct SENSOR_CMD_S {
  int cmd;                       // sensor_cmd_e
  std::array<char, 40> cmd_str;  // SCPI header
  int param_type;                // UsbParamType
  int qry;                       // sensor_qry_e reading the setting back, or Q_END
};

struct SENSOR_QRY_S {
  int qry;                       // sensor_qry_e
  std::array<char, 40> qry_str;  // SCPI query text
  int param_type;                // UsbParamType of the result
};

// Indexed by sensor_cmd_e / sensor_qry_e (the rows carry their own value too).
extern const std::array<SENSOR_CMD_S, C_END> sensor_cmd_param;
extern const std::array<SENSOR_QRY_S, Q_END> sensor_qry_param;

// Sends the query and reads one reply; fills `result` by the query's type
// when something arrived. Returns the send result if negative, else the
// receive result.
int handleQuery(int fd, UsbRxBuffer buffer, const SENSOR_QRY_S& query, QRY_TYPE& result);
int handleQuery(int fd, UsbRxBuffer buffer, sensor_qry_e query, QRY_TYPE& result);

// Sends the command with its parameter unless its read-back query shows the
// sensor already has the value (then the query's positive result is returned
// and nothing is sent) or that query fails (its result is returned). After a
// send the parameter record is cleared and the send result returned.
int handleCmd(int fd, UsbRxBuffer buffer, const SENSOR_CMD_S& command, CMD_TYPE& parameter);
int handleCmd(int fd, UsbRxBuffer buffer, sensor_cmd_e command, CMD_TYPE& parameter);

// The request, then the error queue drained: transport error when the
// request gave 0 or less, sensor error (-222 or other) from the queue.
enUSBTMCErrors handleCmdWithStatus(int fd, UsbRxBuffer buffer, sensor_cmd_e command, CMD_TYPE& parameter);
enUSBTMCErrors handleQueryWithStatus(int fd, UsbRxBuffer buffer, sensor_qry_e query, QRY_TYPE& result);

// Drains the error queue: -1 when the count cannot be read; otherwise the
// count, replaced by the last negative error code (or failed query result).
int clearSysErrCount(int fd, UsbRxBuffer buffer);

// Asks "*OPC?" up to maxTries times, 50 ms apart, until the reply is exactly
// "1\n". Returns 1 when complete, 0 after maxTries, negative on a send error.
int waitOperationComplete(int fd, UsbRxBuffer buffer, int maxTries);

// "INIT" and the wait for it (at most 60 s). 1 completed, 0 time-out,
// negative on a transport failure.
int handleInitCmd(int fd, UsbRxBuffer buffer);
// The same with another limit on the "*OPC?" polls.
int handleInitCmd(int fd, UsbRxBuffer buffer, int maxTries);

// "*STB?" / "STAT:QUES:COND?", then up to 100 receives 50 ms apart until
// something arrives; returns the last receive result (reply in `buffer`).
int handleReadStatusByteQuery(int fd, UsbRxBuffer buffer);
int handleQuestionableEventQuery(int fd, UsbRxBuffer buffer);

// Asks for the current plug-and-play block and reads it into `block`.
int getPnPBlock(int fd, std::span<char, USBTMC_PNP_BLOCK_SIZE> block);

// Data length of an IEEE 488.2 definite-length block ("#3005..." gives 5);
// -1 when the text holds no well-formed header.
int getBlockSize(const char* block);

// Reads the sensor's plug-and-play file into `file` (NUL bytes dropped,
// never more than file.size() - 1 bytes, always NUL-terminated). 0 on
// success, -1 on any failure.
int openPnPFile(int fd, UsbRxBuffer buffer, std::span<char> file);

// The error number of the calling thread's last failed send or receive in
// these requests (0 when none failed since the last clear). Unlike errno it
// is set only by a transfer that failed, so a caller can tell a device that
// has gone (EPIPE, ENODEV, EIO) from a reply that did not come.
int UsbTmcRequests_transportErrno();
void UsbTmcRequests_clearTransportErrno();
