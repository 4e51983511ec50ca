// Remote control over SCPI: the servers on TCP port 5025 (METER_SCPI_PORT
// off the device) and on the RS-232 port, and the remote-control record they
// answer from.
#pragma once

#include "sensor_data.h"

// Starts the servers; the RS-232 server only while the legacy mode is off.
void initScpiParser();
void startScpiParser();
void destroyScpiParser();

// The display pass hands every reading of a measuring sensor to the record:
// `index` is the sensor's port.
void scpiUpdateMeasurement(int index, SENSOR_MEASUREMENTS measurements);
