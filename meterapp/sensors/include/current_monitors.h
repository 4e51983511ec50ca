// Serial sensor presence: the INA219 current monitor of each serial sensor
// port reports the current the port supplies; a sensor draws more than 250 mA.
#pragma once

#include <array>

// Finds the INA219 current monitors of the two serial sensor ports under
// "/sys/class/hwmon/" and binds their "curr1_input" files. Takes i2cMutex.
void findINA219Devices();

// True when serial port 0 or 1 draws more than 250 mA (a sensor is plugged
// in). Any other port, or a failed read, reports no sensor.
bool pollI2CCurrentMonitor(int port);

// sysfs "curr1_input" of the current monitor of serial port 1 (index 0) and
// 2 (index 1), as device paths; empty when not found. Guarded by i2cMutex.
extern std::array<std::array<char, 50>, 2> ina219CurrentMonitors;
