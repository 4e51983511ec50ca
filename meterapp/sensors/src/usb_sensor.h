// The USB CW & Pulse sensor kind: the handler thread of a USB slot (ports 2
// and 3), started by SensorPortHandler_Create. Private to the sensors module.
#pragma once

#include <stop_token>

// Runs until `stop` is requested; measures only while the slot's connection
// flag is set.
void sensorUsbHandlerThread(std::stop_token stop, int port);
