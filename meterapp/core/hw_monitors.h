// The small hardware routines of the start-up path and the meter's threads:
// sensor-port current monitors, the keep-on power pin, the charger register
// read, the power-off sequence and the simulated readings.
#pragma once

#include <cstdint>

#include "sensor_data.h"

// Finds the INA219 current monitors of the two serial sensor ports under
// "/sys/class/hwmon/" and binds their "curr1_input" files.
void findINA219Devices();

// True when serial port 0 or 1 draws more than 250 mA (a sensor is plugged
// in). Any other port, or a failed read, reports no sensor.
bool pollI2CCurrentMonitor(int port);

// Switches the keep-on power pin on so that the device stays powered.
void initGPIO();

// Reads one 16-bit charger register through an I2C device descriptor.
std::uint16_t readLTC4162Register(int fd, std::uint8_t address, std::uint8_t reg);

// Releases the battery monitor and turns the power off. Under a simulated
// device root the "shutdown" command ends the process with status 0.
void shutDownPower();

// A test source of readings.
SENSOR_MEASUREMENTS getSimulatedMeasurements();
void setSimulatedMeasurements(int port);
