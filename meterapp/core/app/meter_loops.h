// The meter's polling threads: focus watchdog, battery supervisor, graph
// sampler, detection and power switch. Each runs until the process ends
// (or, in tests, until its stop token is triggered).
#pragma once

#include <cstdint>
#include <stop_token>

#include "app_state.h"
#include "simple_timer.h"

void focusThread(std::stop_token stop);
void batteryThread(std::stop_token stop);
void graphUpdateThread(std::stop_token stop);
void hwPollingThread(std::stop_token stop);
void softPowerSwitchPollingThread(std::stop_token stop);

// Input current limit code for a fuel gauge temperature in degrees Celsius:
// 39 normally, derated above 45 degrees, never below 0.
int BatterySupervisor_inputCurrentLimitFor(float temperature);

// Critical-battery supervision: with 1 % or less and no charger the user is
// warned, and 25 s later the device powers off unless a charger came.
struct BatterySupervisor {
  enShutDownStates state = shutdownIdle;
  SimpleTimerData timer;
};
enum BatterySupervisorAction { batteryActionNone, batteryActionShowWarning, batteryActionCloseWarning, batteryActionShutDown };
BatterySupervisorAction BatterySupervisor_step(BatterySupervisor* supervisor, int percent, int chargeState,
                                               std::uint32_t now);

// One detection pass of the detection thread: runs detection, applies a
// pending forced reset and hands the result to the display. Returns the
// result, which is the next pass's `previous`.
CONNECTED_SENSORS hwPollingThread_detect(CONNECTED_SENSORS previous);
