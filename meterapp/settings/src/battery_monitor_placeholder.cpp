// Placeholder of the battery monitor, until it is built: the meter behaves as
// a model without a battery (no battery polls, no critical-battery shutdown).
#include <linux/i2c-dev.h>

#include <cerrno>
#include <cstring>

#include "battery_monitor.h"
#include "device_io.h"
#include "log_manager.h"

bool batteryPresent = false;
int batteryCharging = BATT_MISSING;
int batteryPercent = 0;

namespace {

std::uint8_t lastInputCurrentLimit = 39;

#define PLACEHOLDER() logManager_printToLog(NoCategory, "placeholder: %s\n", __func__)

}  // namespace

int initBatteryMonitor() {
  PLACEHOLDER();
  return 0;
}
void disableBatteryMonitor() { PLACEHOLDER(); }
void checkModelForBattery() { PLACEHOLDER(); }
bool modelHasBattery() { return false; }
void pollI2CBatteryMonitor(bool*, int*) { PLACEHOLDER(); }
void pollI2CFuelGauge() { PLACEHOLDER(); }
void pollBatteryPercent(int*) { PLACEHOLDER(); }
float getFuelGaugeVoltage() { return 0.0F; }
float getFuelGaugeCurrent() { return -1.0F; }
std::uint32_t getFuelGaugeAccumCharge() { return 0; }
float getFuelGaugeTemperature() { return 0.0F; }
std::uint8_t getLastInputCurrentLimit() { return lastInputCurrentLimit; }
std::uint8_t setInputCurrentLimit(std::uint8_t limit) {
  PLACEHOLDER();
  lastInputCurrentLimit = limit;
  return limit;
}

std::uint16_t readLTC4162Register(int fd, std::uint8_t address, std::uint8_t reg) {
  std::uint8_t data[2] = {0, 0};
  if (Device_ioctlValue(fd, I2C_SLAVE, address) < 0 || Device_write(fd, &reg, 1) != 1) {
    logManager_printToLog(I2CTransactions, "readLTC4162Register failed to write to i2c bus: command code = 0x%02X\n", reg);
    logManager_printToLog(I2CTransactions, "%s\n", std::strerror(errno));
    return 0;
  }
  if (Device_ioctlValue(fd, I2C_SLAVE, address) < 0 || Device_read(fd, data, 2) != 2) return 0;
  return static_cast<std::uint16_t>(data[0] | (data[1] << 8));
}
