// The USB CW & Pulse sensors (P80x family) on USB slots 2 and 3.
//
// A sensor is a USB-TMC instrument driven with SCPI text through the request
// layer (usbtmc_requests.h). Each slot's handler thread resets and identifies
// the sensor, reads its limits from its plug-and-play file, brings it into the
// user's configuration (CW or pulse) and then measures in an endless cycle:
// configuration decision, INIT and status, CW fetches, pulse fetches, idle.
// Configuration requests of other threads are handed over through
// sensorPortHandler_setSensorConfigs (sensor_data.h) and applied between two
// cycles. Private to the sensors module.
#pragma once

#include <chrono>
#include <cstdint>
#include <stop_token>
#include <string_view>

#include "sensor_data.h"

// The waits of the handler. The defaults are those of the sensor; tests
// shorten them so that a restart or a never-completing measurement does not
// take a minute.
struct UsbHandlerTiming {
  std::chrono::milliseconds attachSettle{100};   // after the connection flag is set
  std::chrono::milliseconds clearSettle{1000};   // after the USB-level clear
  std::chrono::milliseconds connectStep{500};    // between reset, status polls and clear
  std::chrono::milliseconds identRetry{500};     // before asking for a short model again
  std::chrono::milliseconds idle{20};            // at the end of every cycle
  std::chrono::milliseconds retryPause{50};      // failed clear, no descriptor, vanished sensor
  int initTries = 1200;                          // "*OPC?" polls 50 ms apart: 60 s
  int configWaitPasses = 3;                      // handler passes a requester waits for its answer
  std::chrono::milliseconds configWaitSlack{10000};  // beyond the INIT limit, for a handler stuck in a step
};

// Takes effect at the next attachment of a slot.
void UsbSensor_setTiming(const UsbHandlerTiming& timing);
UsbHandlerTiming UsbSensor_timing();
// The longest a configuration requester waits for its answer.
std::chrono::milliseconds UsbSensor_configWaitLimit();

// True for models with automatic period, automatic trigger level and
// triggered gates: all but the P803 and P805.
bool UsbSensor_isExtendedModel(std::string_view model);

// Runs until `stop` is requested; measures only while the slot's connection
// flag is set.
void sensorUsbHandlerThread(std::stop_token stop, int port);

// Reads the sensor's configuration into the slot's sensorConfigs, starting
// from the slot's present configuration so that what the sensor cannot be
// asked for (triggered-gates model, number of states) is kept. 0, or -1 when
// a query failed (nothing stored).
int sensorPortHandler_readSensorConfig(USB_HANDLER_DATA* handler);
// Sends a pending pulse configuration and answers its requests. 0 on success
// (also when nothing was pending or the sensor rejected parameters, which
// land in `errors`), -1 on a transport failure (the handler restarts).
int sensorPortHandler_sendConfigToSensor(USB_HANDLER_DATA* handler, USBTMC_PARAM_ERRORS& errors);

// For tests and benchmarks: the handler's state, its completed measuring
// cycles since start, and the timing of the last cycle.
sensorUsbCommState SensorPortHandler_getUsbState(int port);
std::uint64_t SensorPortHandler_getUsbCycleCount(int port);
struct UsbCycleTiming {
  double start_time_ms = 0.0;
  double finish_time_ms = 0.0;
  double measCycle_time_ms = 0.0;
};
UsbCycleTiming SensorPortHandler_getUsbCycleTiming(int port);
