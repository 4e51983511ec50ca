// The battery monitor over the charger's and the fuel gauge's sysfs files.
//
// Every attribute is decimal text. A write sends a 16-byte buffer holding the
// text padded with NUL bytes (the drivers parse the text up to its end); a
// read takes at most 8 characters. A read that fails keeps the last good
// value: a missing or failing gauge must never look like a flat battery, or
// the supervisor would power the meter off.
#include "battery_monitor.h"

#include <fcntl.h>
#include <linux/i2c-dev.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "device_io.h"
#include "i2c_lock.h"
#include "log_manager.h"
#include "meter_identity.h"
#include "platform.h"
#include "unique_fd.h"

std::atomic<bool> batteryPresent{false};
std::atomic<int> batteryCharging{BATT_MISSING};
std::atomic<int> batteryPercent{kBatteryPercentUnknown};

namespace {

constexpr std::size_t kWriteBufferSize = 16;
constexpr std::size_t kReadLimit = 8;
constexpr std::uint8_t kNormalInputCurrentLimit = 39;
constexpr const char* kNoBatteryModelPrefix = "R90508";

enum BatteryFile {
  fileArmShipMode,
  fileConfigBits,
  fileCOverXTerm,
  fileCellCount,
  fileInputCurrentLimit,
  fileChargerState,
  fileVoltage,
  fileCurrent,
  fileCharge,
  fileTemperature,
  batteryFileCount,
};

struct BatteryFileEntry {
  const char* name;
  bool charger;  // charger folder, else fuel-gauge folder
};

constexpr std::array<BatteryFileEntry, batteryFileCount> kFiles{{
    {"armShipMode_raw", true},
    {"configBits_raw", true},
    {"cOverXTerm_enable", true},
    {"cellCount", true},
    {"inputCurrentLimit_raw", true},
    {"chargerState_raw", true},
    {"voltage_now", false},
    {"current_now", false},
    {"charge_now", false},
    {"temp", false},
}};

// The last good readings; they outlive the record so that a late caller
// during power-off still gets a sensible value.
struct LastReadings {
  std::optional<float> voltage;
  std::optional<float> current;
  std::optional<std::uint32_t> charge;
  std::optional<float> temperature;
  std::optional<unsigned> chargerState;
  std::array<bool, batteryFileCount> failing{};  // reported once until it works again
};

std::unique_ptr<BATT_MONITOR> battMon;  // guarded by i2cMutex
LastReadings last;                      // guarded by i2cMutex
std::atomic<bool> hasBatteryFlag{true};
std::atomic<std::uint8_t> lastInputCurrentLimit{0};

std::string filePath(BatteryFile file) {
  const BatteryFileEntry& entry = kFiles[file];
  return Platform_path(std::string(entry.charger ? DevicePath::kChargerDir : DevicePath::kFuelGaugeDir) + entry.name);
}

// A file that cannot be opened is reported to the system log the first time
// only (the polls would repeat it twice a second), and every time in the
// battery-monitor category.
void reportOpenFailure(const char* caller, BatteryFile file) {
  const char* kind = kFiles[file].charger ? "battery charger" : "fuel gauge";
  logManager_printToLog(BatteryMonitor, "%s: Failed to open %s file: %s\n", caller, kind, kFiles[file].name);
  if (!last.failing[file]) DIAGNOSTIC("%s: Failed to open %s file: %s\n", caller, kind, kFiles[file].name);
  last.failing[file] = true;
}

bool writeFile(const char* caller, BatteryFile file, std::string_view text) {
  std::array<char, kWriteBufferSize> buffer{};
  std::memcpy(buffer.data(), text.data(), std::min(text.size(), buffer.size() - 1));
  const UniqueFd fd(Device_open(filePath(file).c_str(), O_WRONLY | O_TRUNC));
  if (!fd.valid()) {
    reportOpenFailure(caller, file);
    return false;
  }
  if (!Device_writeAll(fd.get(), std::string_view(buffer.data(), buffer.size()))) {
    DIAGNOSTIC("%s: writing %s failed: %s\n", caller, kFiles[file].name, std::strerror(errno));
    return false;
  }
  last.failing[file] = false;
  return true;
}

// The decimal value of a file: digits with an optional sign, then nothing
// but a line end, blanks or the NUL padding of a write.
std::optional<long> readFile(const char* caller, BatteryFile file) {
  std::string text;
  if (!Device_readSmallFile(filePath(file), kReadLimit, &text)) {
    reportOpenFailure(caller, file);
    return std::nullopt;
  }
  last.failing[file] = false;
  std::string_view view(text);
  while (!view.empty() && view.front() == ' ') view.remove_prefix(1);
  long value = 0;
  const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), value);
  bool clean = ec == std::errc() && end != view.data();
  for (const char* p = end; clean && p != view.data() + view.size(); ++p) {
    clean = *p == '\n' || *p == ' ' || *p == '\0';
  }
  if (!clean) {
    logManager_printToLog(BatteryMonitor, "%s: %s holds no number: \"%.8s\"\n", caller, kFiles[file].name, text.c_str());
    return std::nullopt;
  }
  return value;
}

enum class Detection { present, absent, retry };

// At power-up only. A battery still being detected, or a register that
// cannot be read, is asked again at the next poll instead of being taken
// for absent until the meter restarts.
Detection checkBattery() {
  const auto bits = readFile(__func__, fileChargerState);
  if (!bits) return Detection::retry;
  const auto value = static_cast<unsigned long>(*bits);
  if ((value & kChargerBattDetection) != 0) {
    logManager_printToLog(BatteryMonitor, "%s: battery detection\n", __func__);
    return Detection::retry;
  }
  if ((value & kChargerBattMissingFault) != 0) {
    logManager_printToLog(BatteryMonitor, "%s: battery not present\n", __func__);
    return Detection::absent;
  }
  if ((value & kChargerBattDetectFailed) != 0) {
    logManager_printToLog(BatteryMonitor, "%s: battery fault\n", __func__);
    return Detection::absent;
  }
  logManager_printToLog(BatteryMonitor, "%s: battery present\n", __func__);
  return Detection::present;
}

void checkIfCharging(BATT_MONITOR* mon) {
  if (!mon->battPresent) {
    mon->battChargeState = BATT_MISSING;
    return;
  }
  const auto bits = readFile(__func__, fileChargerState);
  if (!bits) return;  // unread: the last state stands
  const auto value = static_cast<unsigned long>(*bits);
  if ((value & (kChargerCOverXTerm | kChargerTimerTerm)) != 0) {
    mon->battChargeState = BATT_FULLY_CHARGED;
    mon->setAccumCharge = true;
    logManager_printToLog(BatteryMonitor, "%s: battery fully charged\n", __func__);
  } else if ((value & kChargerSuspended) != 0) {
    mon->battChargeState = BATT_NOT_CHARGING;
    logManager_printToLog(BatteryMonitor, "%s: battery not charging\n", __func__);
  } else if ((value & kChargerCcCvCharge) != 0) {
    mon->battChargeState = mon->accumChargeWasSet ? BATT_CHARGING_ACCUM : BATT_CHARGING_VOLTAGE;
    logManager_printToLog(BatteryMonitor, "%s: battery charging\n", __func__);
  } else {
    logManager_printToLog(BatteryMonitor, "%s: unknown battery charger state\n", __func__);
  }
}

const char* stateName(int state) {
  switch (state) {
    case BATT_MON_STATE_POWERUP:
      return "POWERUP";
    case BATT_MON_STATE_CHARGE:
      return "CHARGE";
    case BATT_MON_STATE_DISCHARGE:
      return "DISCHARGE";
  }
  return "UNKNOWN";
}

void applyCalibrationRule(BATT_MONITOR* mon) {
  const int from = mon->lastState;
  const int to = mon->state;
  logManager_printToLog(BatteryMonitor, "%s: %s -> %s\n", __func__, stateName(from), stateName(to));
  logManager_printToLog(BatteryMonitor, "%s: accumChargeWasSet %d\n", __func__, mon->accumChargeWasSet ? 1 : 0);
  logManager_printToLog(BatteryMonitor, "%s: setAccumCharge %d\n", __func__, mon->setAccumCharge ? 1 : 0);
  if (from == BATT_MON_STATE_POWERUP || to == BATT_MON_STATE_POWERUP) return;
  if (to == BATT_MON_STATE_CHARGE) {
    if (mon->battChargeState == BATT_FULLY_CHARGED) setFuelGaugeAccumCharge();
  } else if (from == BATT_MON_STATE_CHARGE) {
    if (!mon->accumChargeWasSet && mon->setAccumCharge) setFuelGaugeAccumCharge();
  }
}

bool markerExists() {
  const UniqueFd fd(Device_open(Platform_path(DevicePath::kBatteryChargedMarker).c_str(), O_RDONLY));
  return fd.valid();
}

void createMarker() {
  Platform_prepareParent(DevicePath::kBatteryChargedMarker);
  const std::string path = Platform_path(DevicePath::kBatteryChargedMarker);
  const UniqueFd fd(Device_open(path.c_str(), O_WRONLY | O_CREAT, 0644));
  if (!fd.valid()) DIAGNOSTIC("Warning: Unable to open file %s for writing.", DevicePath::kBatteryChargedMarker);
}

// The charger set-up of initBatteryMonitor; false at the first file that
// cannot be written or read.
bool setUpCharger(BATT_MONITOR* mon) {
  if (!writeFile("initBatteryMonitor", fileArmShipMode, "0")) return false;
  if (!writeFile("initBatteryMonitor", fileConfigBits, "12")) return false;
  if (setInputCurrentLimit(kNormalInputCurrentLimit) == 0) return false;
  if (!writeFile("initBatteryMonitor", fileCOverXTerm, "enable")) return false;
  // The driver reports its cell count; the pack always has three.
  if (!readFile("initBatteryMonitor", fileCellCount)) return false;
  if (!mon->accumChargeWasSet && markerExists()) mon->accumChargeWasSet = true;
  return true;
}

}  // namespace

int initBatteryMonitor() {
  try {
    battMon = std::make_unique<BATT_MONITOR>();
  } catch (const std::bad_alloc&) {
    DIAGNOSTIC("%s: memory allocation failed", __func__);
    std::fflush(nullptr);
    std::_Exit(-1);
  }
  last = LastReadings{};
  battMon->hasBattery = hasBatteryFlag;
  return setUpCharger(battMon.get()) ? 0 : -1;
}

void disableBatteryMonitor() {
  std::lock_guard guard(i2cMutex);
  if (!battMon) return;
  battMon.reset();
  logManager_printToLog(BatteryMonitor, "%s: battery monitor released\n", __func__);
}

void checkModelForBattery() {
  const std::string_view model(MeterIdentity_get().model.data());
  const bool has = !model.starts_with(kNoBatteryModelPrefix);
  hasBatteryFlag = has;
  std::lock_guard guard(i2cMutex);
  if (battMon) battMon->hasBattery = has;
}

bool modelHasBattery() { return hasBatteryFlag; }

void pollI2CBatteryMonitor(bool* present, int* charging) {
  if (!battMon || !battMon->hasBattery) return;
  BATT_MONITOR* mon = battMon.get();
  if (mon->state == BATT_MON_STATE_POWERUP) {
    const Detection found = checkBattery();
    if (found == Detection::retry) {
      *present = false;
      *charging = BATT_MISSING;
      return;  // still powering up: ask again next time
    }
    mon->battPresent = found == Detection::present;
    *present = mon->battPresent;
  }
  checkIfCharging(mon);
  *charging = mon->battChargeState;
  mon->lastState = mon->state;
  mon->state = mon->battChargeState != BATT_MISSING ? BATT_MON_STATE_CHARGE : BATT_MON_STATE_DISCHARGE;
  applyCalibrationRule(mon);
}

void pollI2CFuelGauge() {
  if (!battMon) return;
  battMon->lipoBattVoltage = getFuelGaugeVoltage();
}

void pollBatteryPercent(int* percent) {
  if (!battMon || battMon->state == BATT_MON_STATE_POWERUP) return;
  if (battMon->accumChargeWasSet) {
    const std::uint32_t counts = getFuelGaugeAccumCharge();
    if (last.charge) *percent = BatteryMonitor_percentFromCharge(counts);
    return;
  }
  // No voltage read yet: the percentage stays as it was.
  if (!(battMon->lipoBattVoltage > 0.0F)) return;
  *percent = BatteryMonitor_percentFromVoltage(battMon->lipoBattVoltage, battMon->cellCount);
}

float getFuelGaugeVoltage() {
  if (const auto value = readFile(__func__, fileVoltage)) last.voltage = static_cast<float>(*value) / 1e6F;
  return last.voltage.value_or(0.0F);
}

float getFuelGaugeCurrent() {
  if (const auto value = readFile(__func__, fileCurrent)) last.current = static_cast<float>(*value) / 1e6F;
  return last.current.value_or(-1.0F);
}

std::uint32_t getFuelGaugeAccumCharge() {
  if (const auto value = readFile(__func__, fileCharge); value && *value >= 0 && static_cast<unsigned long>(*value) <= 0xFFFFFFFFUL) {
    last.charge = static_cast<std::uint32_t>(*value);
  }
  return last.charge.value_or(0);
}

float getFuelGaugeTemperature() {
  if (const auto value = readFile(__func__, fileTemperature)) last.temperature = static_cast<float>(*value) / 100.0F;
  return last.temperature.value_or(0.0F);
}

std::uint8_t getLastInputCurrentLimit() { return battMon ? battMon->inputCurrentLimit : lastInputCurrentLimit.load(); }

std::uint8_t setInputCurrentLimit(std::uint8_t limit) {
  if (!battMon) return 0;
  std::uint8_t readBack = 0;
  if (writeFile(__func__, fileInputCurrentLimit, std::to_string(limit))) {
    const auto value = readFile(__func__, fileInputCurrentLimit);
    if (value && *value >= 0 && *value <= 255) readBack = static_cast<std::uint8_t>(*value);
  }
  battMon->inputCurrentLimit = readBack;
  lastInputCurrentLimit = readBack;
  return readBack;
}

void setFuelGaugeAccumCharge() {
  if (!battMon) return;
  // An uncalibrated gauge must not be taken for a calibrated one: without the
  // write the percentage keeps following the voltage.
  if (!writeFile(__func__, fileCharge, std::to_string(kFuelGaugeFullCharge))) return;
  last.charge = kFuelGaugeFullCharge;
  createMarker();
  battMon->accumChargeWasSet = true;
  battMon->setAccumCharge = false;
  logManager_printToLog(BatteryMonitor, "%s: fuel gauge calibrated\n", __func__);
}

int BatteryMonitor_percentFromVoltage(float packVolts, unsigned cellCount) {
  // Per-cell breakpoints in microvolts and their percentages. Whole numbers
  // keep a voltage exactly on a breakpoint on its breakpoint's percentage.
  struct Point {
    long microvolts;
    long percent;
  };
  static constexpr std::array<Point, 6> kCurve{{
      {3440000, 0}, {3490000, 5}, {3580000, 25}, {3770000, 50}, {3940000, 75}, {4130000, 100}}};
  const long cells = cellCount == 0 ? 3 : static_cast<long>(cellCount);
  const long pack = std::lround(static_cast<double>(packVolts) * 1e6);
  if (pack < cells * kCurve.front().microvolts) return 0;
  if (pack >= cells * kCurve.back().microvolts) return 100;
  for (std::size_t i = 1; i < kCurve.size(); ++i) {
    const long upper = cells * kCurve[i].microvolts;
    if (pack > upper) continue;
    const long lower = cells * kCurve[i - 1].microvolts;
    const long span = kCurve[i].percent - kCurve[i - 1].percent;
    return static_cast<int>(kCurve[i - 1].percent + (pack - lower) * span / (upper - lower));
  }
  return 100;
}

int BatteryMonitor_percentFromCharge(std::uint32_t counts) {
  const long long above = static_cast<long long>(counts) - kFuelGaugeEmptyCounts;
  const long long percent = above * 100 / static_cast<long long>(kFuelGaugeRangeCounts);
  return static_cast<int>(percent < 0 ? 0 : percent > 100 ? 100 : percent);
}

bool BatteryMonitor_snapshot(BATT_MONITOR* out) {
  if (!battMon) return false;
  *out = *battMon;
  return true;
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
