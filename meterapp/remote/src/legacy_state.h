// The legacy interface's handler state, shared by its input and output
// threads (private to the remote module).
#pragma once

#include <atomic>

#include "legacy_serial.h"

struct LegacyState {
  std::atomic<int> receiveState{RECEIVE_STATE_INITIAL};
  std::atomic<int> triggerMode{TRIGGER_MODE_1};
  std::atomic<int> measureSelect{MEASURE_SELECT_FORWARD};
  std::atomic<bool> measurementSelected{false};
  std::atomic<int> forwardRange{0};
  std::atomic<int> reflectedRange{0};
  std::atomic<bool> autoscale{true};
  std::atomic<bool> validCommand{true};
  std::atomic<bool> validParameter{true};
  std::atomic<bool> selfTestStatus{false};
};

extern LegacyState legacyState;

void LegacyState_reset();
void LegacyState_resetStatusFlags();
