// The legacy interface's handler state, shared by its input and output
// threads (private to the remote module).
#pragma once

#include <atomic>

#include "legacy_serial.h"

struct LegacyState {
  std::atomic<int> receive_state{RECEIVE_STATE_INITIAL};
  std::atomic<int> trigger_mode{TRIGGER_MODE_1};
  std::atomic<int> measure_select{MEASURE_SELECT_FORWARD};
  std::atomic<bool> measurement_selected{false};
  std::atomic<int> forward_range{0};
  std::atomic<int> reflected_range{0};
  std::atomic<bool> autoscale{true};
  std::atomic<bool> validCommand{true};
  std::atomic<bool> validParameter{true};
  std::atomic<bool> selfTestStatus{false};
};

extern LegacyState legacyState;

void LegacyState_reset();
void LegacyState_resetStatusFlags();
