// The battery charger and the fuel gauge: charge state, percentage, voltage,
// current and temperature, and the input current limit. Read by the
// detection thread's battery poll, the battery supervisor and the battery
// indicator. Everything reaches the hardware through the drivers' sysfs
// attribute files under the charger and fuel-gauge folders.
//
// Locking: callers hold i2cMutex around every call, except
// disableBatteryMonitor and checkModelForBattery, which take it themselves
// (disableBatteryMonitor runs from the power-off path while the polls may
// still run), and modelHasBattery, a plain flag read by the screen.
#pragma once

#include <atomic>
#include <cstdint>

enum batteryState {
  BATT_MISSING = 0,
  BATT_NOT_CHARGING = 1,
  BATT_CHARGING_ACCUM = 2,
  BATT_CHARGING_VOLTAGE = 3,
  BATT_FULLY_CHARGED = 4,
};

enum battMonState {
  BATT_MON_STATE_POWERUP = 0,
  BATT_MON_STATE_CHARGE = 1,
  BATT_MON_STATE_DISCHARGE = 2,
};

// The monitor's record, one per process (created by initBatteryMonitor,
// released by disableBatteryMonitor).
struct BATT_MONITOR {
  int state = BATT_MON_STATE_POWERUP;
  int lastState = BATT_MON_STATE_POWERUP;
  std::uint16_t cellCount = 3;
  float lipoBattVoltage = 0.0F;  // V
  int battChargeState = BATT_MISSING;
  bool accumChargeWasSet = false;  // the gauge's accumulated charge is calibrated
  bool setAccumCharge = false;     // a full charge was seen: calibrate when possible
  bool battPresent = false;
  bool hasBattery = true;
  std::uint8_t inputCurrentLimit = 0;
};

// The shared battery values: written by the polls, read by the screen and
// the supervisor on other threads.
extern std::atomic<bool> batteryPresent;
extern std::atomic<int> batteryCharging;  // batteryState
// 0..100 once known; kBatteryPercentUnknown until a charge or voltage has
// been read (the indicator shows no number then, and the supervisor does
// not take it for a flat battery).
extern std::atomic<int> batteryPercent;
inline constexpr int kBatteryPercentUnknown = 101;

// Charger state bits (LTC4162 charger-state register).
inline constexpr unsigned kChargerBattMissingFault = 0x0002;
inline constexpr unsigned kChargerCOverXTerm = 0x0008;
inline constexpr unsigned kChargerTimerTerm = 0x0010;
inline constexpr unsigned kChargerCcCvCharge = 0x0040;
inline constexpr unsigned kChargerSuspended = 0x0100;
inline constexpr unsigned kChargerBattDetection = 0x0800;
inline constexpr unsigned kChargerBattDetectFailed = 0x1000;

// The accumulated charge of a full battery, written to calibrate the gauge,
// and the counts of an empty and a full battery for the percentage.
inline constexpr std::uint32_t kFuelGaugeFullCharge = 11140951;
inline constexpr std::uint32_t kFuelGaugeEmptyCounts = 5940950;
inline constexpr std::uint32_t kFuelGaugeRangeCounts = 5200000;

// Creates the record and sets the charger up. Negative when a charger file
// could not be written or read (the remaining set-up steps are skipped; the
// record exists and the polls still run).
int initBatteryMonitor();
// Releases the record. Safe to call any number of times, from any thread;
// polls after it do nothing.
void disableBatteryMonitor();
// A meter model without a battery ("R90508...") is never polled.
void checkModelForBattery();
bool modelHasBattery();
void pollI2CBatteryMonitor(bool* present, int* charging);
void pollI2CFuelGauge();
// Leaves *percent alone while powering up or while nothing has been read yet.
void pollBatteryPercent(int* percent);
// A failed read gives the last value read (0, current -1, before any).
float getFuelGaugeVoltage();
float getFuelGaugeCurrent();
std::uint32_t getFuelGaugeAccumCharge();
float getFuelGaugeTemperature();
std::uint8_t getLastInputCurrentLimit();
std::uint8_t setInputCurrentLimit(std::uint8_t limit);
// Writes the full charge to the gauge and leaves the marker file.
void setFuelGaugeAccumCharge();

// The percentage of a 3-cell pack voltage before calibration, and of an
// accumulated charge after it (both 0..100).
int BatteryMonitor_percentFromVoltage(float packVolts, unsigned cellCount);
int BatteryMonitor_percentFromCharge(std::uint32_t counts);
// A copy of the record; false while there is none.
bool BatteryMonitor_snapshot(BATT_MONITOR* out);

// Reads one 16-bit charger register through an I2C device descriptor.
std::uint16_t readLTC4162Register(int fd, std::uint8_t address, std::uint8_t reg);
