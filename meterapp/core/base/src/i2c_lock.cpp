#include "i2c_lock.h"

std::mutex i2cMutex;
