// The small hardware routines of the start-up path and the meter's threads:
// the keep-on power pin, the power-off sequence and the simulated readings.
#pragma once

#include <cstdint>

#include "sensor_data.h"

// Switches the keep-on power pin on so that the device stays powered.
void initGPIO();

// Releases the battery monitor and turns the power off. Under a simulated
// device root the "shutdown" command ends the process with status 0.
void shutDownPower();

// A test source of readings.
SENSOR_MEASUREMENTS getSimulatedMeasurements();
void setSimulatedMeasurements(int port);
