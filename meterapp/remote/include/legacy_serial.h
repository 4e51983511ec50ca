// The older meter's character protocol on the RS-232 port, spoken instead of
// SCPI when the legacy setting is on.
//
// Two threads: the input thread reads the port one character at a time,
// interprets it and answers status requests; the output thread answers
// reading requests (ENT) once a new measurement of the answered channel's
// port has arrived. Every answer is written to the port whole, under one lock.
#pragma once

#include <array>
#include <cstddef>

enum receive_state_t {
  RECEIVE_STATE_INITIAL = 0,
  RECEIVE_STATE_TRIGGER = 1,
  RECEIVE_STATE_FORWARD = 2,
  RECEIVE_STATE_R = 3,
  RECEIVE_STATE_RY = 4,
  RECEIVE_STATE_RN = 5,
  RECEIVE_STATE_R0 = 6,
  RECEIVE_STATE_R1 = 7,
  RECEIVE_STATE_ENTER_E = 8,
  RECEIVE_STATE_ENTER_N = 9,
  RECEIVE_STATE_STATUS_U = 10,
  RECEIVE_STATE_RESET_I = 11,
  RECEIVE_STATE_RESET_N = 12,
  RECEIVE_STATE_SELFTEST_J = 13,
  RECEIVE_STATE_TERMINATOR_Y = 14,
  RECEIVE_STATE_PREFIX_P = 15,
  RECEIVE_STATE_SOFTWAREHANDSHAKE_X = 16,
};

enum trigger_mode_t { TRIGGER_MODE_1 = 0, TRIGGER_MODE_5 = 1 };
enum measure_select_t { MEASURE_SELECT_FORWARD = 0, MEASURE_SELECT_REFLECTED = 1 };

enum command_t {
  COMMAND_NONE = 0,
  COMMAND_TRIGGER_1 = 1,
  COMMAND_TRIGGER_5 = 2,
  COMMAND_FORWARD = 3,
  COMMAND_REFLECTED = 4,
  COMMAND_ENTER = 5,
  COMMAND_R00 = 6,  // ... COMMAND_R00 + 17 = range 17
  COMMAND_R10 = 16,
  COMMAND_R17 = 23,
  COMMAND_RNN = 24,
  COMMAND_RYY = 25,
  COMMAND_STATUS0 = 26,
  COMMAND_STATUS1 = 27,
  COMMAND_STATUS2 = 28,
  COMMAND_STATUSA = 29,
  COMMAND_RESET = 30,
  COMMAND_SELFTEST = 31,
  COMMAND_RETRY = 32,  // feed the same character again from the initial state
};

// The scpi terminator of every answer.
inline constexpr const char* scpi_terminator = "\r\n";

// Starts the interface when the legacy setting is on; nothing otherwise.
void SerialCommand_Start();
// Opens the port in raw mode, keeping its line settings, and resets the
// interpreter, the handler and the status flags. 0 or positive on success.
int SerialCommand_Initialize(const char* path);
// Starts the input and output threads on the initialised port and listens
// for new readings. False (with the user warning) when a thread cannot start.
bool SerialCommand_StartThreads();
// Stops both threads and the reading listener (tests, and a port that went
// away).
void SerialCommand_Stop();
// Whether the input thread still reads the port.
bool SerialCommand_InputRunning();
// A port handler has a new reading of `port`.
void SerialCommand_SignalReadingAvailable(int port);
int serial_command_handler_get_triggerMode();

// The interpreter: one character in, the command it completes (or
// COMMAND_NONE / COMMAND_RETRY).
command_t serial_command_interpret_input(char c);
// Applies a command to the handler state; status commands answer at once.
void serial_command_handle_command(command_t command);
void SerialRange_Setrange(int range);

// A snapshot of the handler state and the status flags.
struct SerialCommandStatus {
  int receive_state;
  int trigger_mode;
  int measure_select;
  bool measurement_selected;
  int forward_range;
  int reflected_range;
  bool autoscale;
  bool validCommand;
  bool validParameter;
  bool selfTestStatus;
};
SerialCommandStatus SerialCommand_getStatus();

// One power answer ("NFC  12.500   W\r\n") in `out`: the range is stored
// back through `range`. Returns the length, or -1 (out empty) when the value
// cannot be shown in the 7-character field.
inline constexpr std::size_t kPowerAnswerSize = 64;
int format_power(std::array<char, kPowerAnswerSize>& out, float value, float minPower, float maxPower, const char* tag,
                 int* range, bool autoscale);

// The status answers. UA is sized for its longest form: "UA ", a 17-character
// MAC, ";", a 15-character address, ";", then the 32-, 32- and 48-character
// build-record fields with a blank between them, and CR LF.
inline constexpr std::size_t kStatusAnswerSize = 128;
inline constexpr std::size_t kStatusAAnswerSize = 160;
void SerialCommand_statusText(command_t status, std::array<char, kStatusAAnswerSize>& out);
