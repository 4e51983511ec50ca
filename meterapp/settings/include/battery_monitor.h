// The battery charger and the fuel gauge: charge state, percentage, voltage,
// current and temperature, and the input current limit. Read by the
// detection thread's battery poll, the battery supervisor and the battery
// indicator. Callers hold i2cMutex around every call.
#pragma once

#include <cstdint>

enum batteryState {
  BATT_MISSING = 0,
  BATT_NOT_CHARGING = 1,
  BATT_CHARGING_ACCUM = 2,
  BATT_CHARGING_VOLTAGE = 3,
  BATT_FULLY_CHARGED = 4,
};

// The shared battery values: written by the polls, read by the screen.
extern bool batteryPresent;
extern int batteryCharging;  // batteryState
extern int batteryPercent;

int initBatteryMonitor();
void disableBatteryMonitor();
// A meter model without a battery ("R90508...") is never polled.
void checkModelForBattery();
bool modelHasBattery();
void pollI2CBatteryMonitor(bool* present, int* charging);
void pollI2CFuelGauge();
void pollBatteryPercent(int* percent);
float getFuelGaugeVoltage();
float getFuelGaugeCurrent();
std::uint32_t getFuelGaugeAccumCharge();
float getFuelGaugeTemperature();
std::uint8_t getLastInputCurrentLimit();
std::uint8_t setInputCurrentLimit(std::uint8_t limit);

// Reads one 16-bit charger register through an I2C device descriptor.
std::uint16_t readLTC4162Register(int fd, std::uint8_t address, std::uint8_t reg);
