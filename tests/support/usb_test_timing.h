// The USB handler's waits shortened for tests against the simulator, which
// answers at once: a slot is measuring within a few tens of milliseconds
// instead of the seconds a real sensor needs.
#pragma once

#include <chrono>

#include "usb_sensor.h"

namespace test_support {

// initTries bounds the INIT wait ("*OPC?" polls): ten polls, half a second
// instead of a minute, for tests that watch a sensor that never gets ready.
inline UsbHandlerTiming fastUsbTiming(int initTries = 10) {
  using namespace std::chrono_literals;
  UsbHandlerTiming fast;
  fast.attachSettle = 5ms;
  fast.clearSettle = 10ms;
  fast.connectStep = 5ms;
  fast.identRetry = 5ms;
  fast.idle = 5ms;
  fast.retryPause = 10ms;
  fast.initTries = initTries;
  fast.configWaitSlack = 3000ms;
  return fast;
}

}  // namespace test_support
