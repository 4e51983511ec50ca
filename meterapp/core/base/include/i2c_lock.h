// The one I2C bus of the device carries the current monitors of the serial
// sensor ports, the battery charger and the fuel gauge. Whoever talks to one
// of them holds this lock for the whole exchange.
#pragma once

#include <mutex>

extern std::mutex i2cMutex;
