// One detection pass over the four sensor ports, run every 500 ms by the
// detection thread: serial sensors by the current their port supplies, USB
// sensors by their usbtmc device nodes.
#pragma once

#include "sensor_data.h"

// `previous` is the record of the last pass; returns this pass's record,
// already applied to the sensor manager.
CONNECTED_SENSORS SensorDetect_getConnectedSensors(CONNECTED_SENSORS previous);

// The USB part of a pass: binds device nodes to the two USB slots and sets or
// clears bits 0x10 and 0x20 of the record's detectedSensors. Returns 1, or 0
// when a node cannot be opened.
int pollUsbTmcMonitor(CONNECTED_SENSORS* record);
