// The character grammar of the older meter and the handler state it drives.
//
// The input thread alone interprets and changes the state; the output thread
// reads the ranges, the selection and the auto-range flag while it answers,
// so every shared field is atomic.
#include <cctype>

#include "legacy_state.h"

LegacyState legacyState;

namespace {

command_t wordError() {
  legacyState.validCommand = false;
  legacyState.receive_state = RECEIVE_STATE_INITIAL;
  return COMMAND_RETRY;
}

command_t parameterError() {
  legacyState.validParameter = false;
  legacyState.receive_state = RECEIVE_STATE_INITIAL;
  return COMMAND_NONE;
}

command_t complete(command_t command) {
  legacyState.receive_state = RECEIVE_STATE_INITIAL;
  return command;
}

command_t go(receive_state_t next) {
  legacyState.receive_state = next;
  return COMMAND_NONE;
}

command_t fromInitial(char c) {
  switch (c) {
    case 'T':
      return go(RECEIVE_STATE_TRIGGER);
    case 'F':
      return go(RECEIVE_STATE_FORWARD);
    case 'R':
      return go(RECEIVE_STATE_R);
    case 'E':
      return go(RECEIVE_STATE_ENTER_E);
    case 'U':
      return go(RECEIVE_STATE_STATUS_U);
    case 'I':
      return go(RECEIVE_STATE_RESET_I);
    case 'J':
      return go(RECEIVE_STATE_SELFTEST_J);
    case 'Y':
      return go(RECEIVE_STATE_TERMINATOR_Y);
    case 'P':
      return go(RECEIVE_STATE_PREFIX_P);
    case 'X':
      return go(RECEIVE_STATE_SOFTWAREHANDSHAKE_X);
    default:
      legacyState.validCommand = false;  // CR and LF too
      return COMMAND_NONE;
  }
}

command_t fromR(char c) {
  switch (c) {
    case 'C':
      return complete(COMMAND_REFLECTED);
    case 'Y':
      return go(RECEIVE_STATE_RY);
    case 'N':
      return go(RECEIVE_STATE_RN);
    case '0':
      return go(RECEIVE_STATE_R0);
    case '1':
      return go(RECEIVE_STATE_R1);
    default:
      return wordError();
  }
}

command_t fromStatus(char c) {
  switch (c) {
    case '0':
      return complete(COMMAND_STATUS0);
    case '1':
      return complete(COMMAND_STATUS1);
    case '2':
      return complete(COMMAND_STATUS2);
    case 'A':
      return complete(COMMAND_STATUSA);
    default:
      return parameterError();
  }
}

command_t letter(char c, char wanted, receive_state_t next) { return c == wanted ? go(next) : wordError(); }
command_t last(char c, char wanted, command_t command) { return c == wanted ? complete(command) : wordError(); }
command_t parameter(char c, char wanted, command_t command) { return c == wanted ? complete(command) : parameterError(); }

}  // namespace

command_t serial_command_interpret_input(char received) {
  // Letters count in either case; digits as they come.
  const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(received)));
  switch (legacyState.receive_state.load()) {
    case RECEIVE_STATE_INITIAL:
      return fromInitial(c);
    case RECEIVE_STATE_TRIGGER:
      if (c == '1') return complete(COMMAND_TRIGGER_1);
      if (c == '5') return complete(COMMAND_TRIGGER_5);
      return parameterError();
    case RECEIVE_STATE_FORWARD:
      return last(c, 'C', COMMAND_FORWARD);
    case RECEIVE_STATE_R:
      return fromR(c);
    case RECEIVE_STATE_RY:
      return last(c, 'Y', COMMAND_RYY);
    case RECEIVE_STATE_RN:
      return last(c, 'N', COMMAND_RNN);
    case RECEIVE_STATE_R0:
      if (c >= '0' && c <= '9') return complete(static_cast<command_t>(COMMAND_R00 + (c - '0')));
      return parameterError();
    case RECEIVE_STATE_R1:
      if (c >= '0' && c <= '7') return complete(static_cast<command_t>(COMMAND_R10 + (c - '0')));
      return parameterError();
    case RECEIVE_STATE_ENTER_E:
      return letter(c, 'N', RECEIVE_STATE_ENTER_N);
    case RECEIVE_STATE_ENTER_N:
      return last(c, 'T', COMMAND_ENTER);
    case RECEIVE_STATE_STATUS_U:
      return fromStatus(c);
    case RECEIVE_STATE_RESET_I:
      return letter(c, 'N', RECEIVE_STATE_RESET_N);
    case RECEIVE_STATE_RESET_N:
      return last(c, 'T', COMMAND_RESET);
    case RECEIVE_STATE_SELFTEST_J:
      return parameter(c, '0', COMMAND_SELFTEST);
    case RECEIVE_STATE_TERMINATOR_Y:
      return parameter(c, 'T', COMMAND_NONE);
    case RECEIVE_STATE_PREFIX_P:
      return parameter(c, 'Y', COMMAND_NONE);
    case RECEIVE_STATE_SOFTWAREHANDSHAKE_X:
      return parameter(c, 'F', COMMAND_NONE);
  }
  legacyState.receive_state = RECEIVE_STATE_INITIAL;
  return COMMAND_NONE;
}

void SerialRange_Setrange(int range) {
  const int forward = range < 0 ? 0 : range > 17 ? 17 : range;
  legacyState.forward_range = forward;
  legacyState.reflected_range = forward == 0 ? 0 : forward - 1;
  legacyState.autoscale = false;
}

void LegacyState_reset() {
  legacyState.receive_state = RECEIVE_STATE_INITIAL;
  legacyState.trigger_mode = TRIGGER_MODE_1;
  legacyState.measure_select = MEASURE_SELECT_FORWARD;
  legacyState.measurement_selected = false;
  legacyState.forward_range = 0;
  legacyState.reflected_range = 0;
  legacyState.autoscale = true;
  LegacyState_resetStatusFlags();
}

void LegacyState_resetStatusFlags() {
  legacyState.validCommand = true;
  legacyState.validParameter = true;
  legacyState.selfTestStatus = false;
}

int serial_command_handler_get_triggerMode() { return legacyState.trigger_mode; }

SerialCommandStatus SerialCommand_getStatus() {
  return {legacyState.receive_state,  legacyState.trigger_mode,
          legacyState.measure_select, legacyState.measurement_selected,
          legacyState.forward_range,  legacyState.reflected_range,
          legacyState.autoscale,      legacyState.validCommand,
          legacyState.validParameter, legacyState.selfTestStatus};
}
