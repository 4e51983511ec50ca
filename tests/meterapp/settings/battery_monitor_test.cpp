// The battery monitor over the charger and fuel-gauge files of the project's
// simulator: the simulator sets the files as the drivers would and reads back
// what the monitor wrote.
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "battery_monitor.h"
#include "device_fixtures.h"
#include "i2c_lock.h"
#include "meter_identity.h"
#include "simulator.h"

namespace {

using test_support::ScratchRoot;

constexpr const char* kChargerDir = "/sys/devices/virtual/battery_charger/ltc4162/";
constexpr const char* kGaugeDir = "/sys/class/power_supply/fuel_gauge/";

class BatteryMonitorTest : public ::testing::Test {
 protected:
  BatteryMonitorTest() : sim(SimOptions{root.path().string(), false, 5}) {}
  ~BatteryMonitorTest() override { disableBatteryMonitor(); }

  void control(const std::string& line) { ASSERT_EQ(sim.control(line).substr(0, 2), "OK") << line; }
  std::string readBack(const std::string& file) { return sim.control("battery read " + file); }
  bool markerExists() const { return std::filesystem::exists(root / "/root/.battcharged"); }

  int init() {
    std::lock_guard guard(i2cMutex);
    return initBatteryMonitor();
  }
  // One pass of the detection thread's battery poll.
  void poll() {
    std::lock_guard guard(i2cMutex);
    bool p = present;
    int c = charging;
    pollI2CBatteryMonitor(&p, &c);
    present = p;
    charging = c;
    if (present) pollI2CFuelGauge();
  }
  int percent(int before = -7) {
    std::lock_guard guard(i2cMutex);
    int value = before;
    pollBatteryPercent(&value);
    return value;
  }
  BATT_MONITOR record() {
    BATT_MONITOR r;
    EXPECT_TRUE(BatteryMonitor_snapshot(&r));
    return r;
  }

  ScratchRoot root;
  Simulator sim;
  bool present = false;
  int charging = BATT_MISSING;
};

TEST_F(BatteryMonitorTest, StartUpSetsTheChargerUpWithNulPaddedWrites) {
  control("battery write inputCurrentLimit_raw 50");
  ASSERT_EQ(init(), 0);
  EXPECT_EQ(readBack("armShipMode_raw"), "OK 0");
  EXPECT_EQ(readBack("configBits_raw"), "OK 12");
  EXPECT_EQ(readBack("inputCurrentLimit_raw"), "OK 39");
  EXPECT_EQ(readBack("cOverXTerm_enable"), "OK enable");
  EXPECT_EQ(getLastInputCurrentLimit(), 39);
  const std::string raw = root.read(std::string(kChargerDir) + "configBits_raw");
  EXPECT_EQ(raw, std::string("12\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 16));
  EXPECT_FALSE(record().accumChargeWasSet);
}

TEST_F(BatteryMonitorTest, AMissingChargerFileIsLoggedAndSkipsTheRestOfTheSetUp) {
  control("battery write inputCurrentLimit_raw 50");
  control("battery remove configBits_raw");
  root.write("/root/.battcharged", "");
  EXPECT_LT(init(), 0);
  EXPECT_NE(root.messages().find("initBatteryMonitor: Failed to open battery charger file: configBits_raw"),
            std::string::npos);
  EXPECT_EQ(readBack("inputCurrentLimit_raw"), "OK 50");
  EXPECT_EQ(readBack("cOverXTerm_enable"), "OK enable");  // the simulator's own value, never written
  EXPECT_FALSE(record().accumChargeWasSet);
}

TEST_F(BatteryMonitorTest, TheMarkerFileMeansCalibrated) {
  root.write("/root/.battcharged", "");
  ASSERT_EQ(init(), 0);
  EXPECT_TRUE(record().accumChargeWasSet);
}

TEST_F(BatteryMonitorTest, PercentFollowsThePackVoltageBeforeCalibration) {
  struct Row {
    const char* volts;
    int percent;
  };
  const Row rows[] = {
      {"12.6", 100}, {"11.55", 61}, {"10.0", 0},    {"10.32", 0},   {"10.319", 0},  {"10.40", 2},
      {"10.47", 5},  {"10.74", 25}, {"11.31", 50},  {"11.82", 75},  {"12.389", 99}, {"12.39", 100},
      {"13.5", 100}, {"10.6", 14},  {"11.0", 36},   {"12.0", 82},
  };
  control("battery state 0x0100");
  ASSERT_EQ(init(), 0);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.volts);
    control(std::string("battery voltage ") + row.volts);
    poll();
    EXPECT_EQ(percent(), row.percent);
  }
  EXPECT_TRUE(present);
  EXPECT_EQ(charging, BATT_NOT_CHARGING);
}

TEST_F(BatteryMonitorTest, PercentFollowsTheAccumulatedChargeOnceCalibrated) {
  struct Row {
    const char* counts;
    int percent;
  };
  const Row rows[] = {
      {"11140950", 100}, {"5940950", 0}, {"8540950", 50}, {"20000000", 100}, {"1000", 0}, {"5992949", 0}, {"5992950", 1},
  };
  root.write("/root/.battcharged", "");
  control("battery state 0x0100");
  control("battery voltage 10.0");  // would be 0 % by voltage
  ASSERT_EQ(init(), 0);
  poll();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.counts);
    control(std::string("battery charge ") + row.counts);
    EXPECT_EQ(percent(), row.percent);
  }
}

TEST_F(BatteryMonitorTest, ChargerStateBits) {
  struct Row {
    const char* bits;
    int state;
  };
  const Row rows[] = {
      {"0x0040", BATT_CHARGING_VOLTAGE}, {"0x0100", BATT_NOT_CHARGING}, {"0x0140", BATT_NOT_CHARGING},
      {"0x0008", BATT_FULLY_CHARGED},    {"0x0000", BATT_FULLY_CHARGED},  // unknown: left as it was
      {"0x0010", BATT_FULLY_CHARGED},    {"0x0048", BATT_FULLY_CHARGED},  {"0x0040", BATT_CHARGING_ACCUM},
  };
  control("battery remove charge_now");  // no calibration yet
  control("battery state 0x0040");
  ASSERT_EQ(init(), 0);
  bool first = true;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.bits);
    control(std::string("battery state ") + row.bits);
    poll();
    EXPECT_EQ(charging, row.state);
    EXPECT_EQ(record().state, BATT_MON_STATE_CHARGE);
    if (first) {
      EXPECT_EQ(record().lastState, BATT_MON_STATE_POWERUP);
    }
    first = false;
    // Once the gauge can take the full charge, the next full charge calibrates it.
    if (std::string(row.bits) == "0x0048") {
      control("battery write charge_now 0");
      poll();
    }
  }
}

TEST_F(BatteryMonitorTest, DetectionAtPowerUp) {
  struct Row {
    const char* bits;
    bool present;
    int monitorState;
  };
  const Row rows[] = {
      {"0x0002", false, BATT_MON_STATE_DISCHARGE},
      {"0x1000", false, BATT_MON_STATE_DISCHARGE},
      {"0x0800", false, BATT_MON_STATE_POWERUP},  // still detecting: asked again
      {"0x0100", true, BATT_MON_STATE_CHARGE},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.bits);
    control(std::string("battery state ") + row.bits);
    ASSERT_EQ(init(), 0);
    present = true;
    poll();
    EXPECT_EQ(present, row.present);
    EXPECT_EQ(record().state, row.monitorState);
    EXPECT_EQ(record().battPresent, row.present);
    EXPECT_EQ(charging, row.present ? BATT_NOT_CHARGING : BATT_MISSING);
  }
}

TEST_F(BatteryMonitorTest, ABatteryStillBeingDetectedIsRecognisedAtALaterPoll) {
  control("battery state 0x0800");
  control("battery voltage 11.55");
  ASSERT_EQ(init(), 0);
  for (int i = 0; i < 3; ++i) poll();
  EXPECT_FALSE(present);
  EXPECT_EQ(percent(), -7);  // nothing changes while powering up
  control("battery state 0x0100");
  poll();
  EXPECT_TRUE(present);
  EXPECT_EQ(charging, BATT_NOT_CHARGING);
  EXPECT_EQ(percent(), 61);
}

TEST_F(BatteryMonitorTest, CalibrationOnlyWhenFullyChargedWithItsMarker) {
  control("battery state 0x0040");
  control("battery charge 9000000");
  ASSERT_EQ(init(), 0);
  for (int i = 0; i < 3; ++i) poll();
  EXPECT_EQ(charging, BATT_CHARGING_VOLTAGE);
  EXPECT_EQ(readBack("charge_now"), "OK 9000000");
  EXPECT_FALSE(markerExists());

  control("battery state 0x0008");
  poll();
  EXPECT_EQ(charging, BATT_FULLY_CHARGED);
  EXPECT_EQ(readBack("charge_now"), "OK 11140951");
  EXPECT_TRUE(markerExists());
  EXPECT_TRUE(record().accumChargeWasSet);
  EXPECT_FALSE(record().setAccumCharge);

  control("battery charge 8540950");
  control("battery state 0x0100");
  poll();
  EXPECT_EQ(percent(), 50);
  control("battery state 0x0040");
  poll();
  EXPECT_EQ(charging, BATT_CHARGING_ACCUM);
}

TEST_F(BatteryMonitorTest, AGaugeThatCannotTakeTheFullChargeStaysUncalibrated) {
  control("battery state 0x0008");
  control("battery voltage 11.55");
  control("battery remove charge_now");
  ASSERT_EQ(init(), 0);
  poll();
  poll();
  EXPECT_EQ(charging, BATT_FULLY_CHARGED);
  EXPECT_FALSE(markerExists());
  EXPECT_FALSE(record().accumChargeWasSet);
  EXPECT_EQ(percent(), 61);  // still from the voltage
}

TEST_F(BatteryMonitorTest, AFailedReadKeepsTheLastGoodValue) {
  control("battery state 0x0100");
  control("battery voltage 11.55");
  control("battery temp 50.4");
  ASSERT_EQ(init(), 0);
  poll();
  ASSERT_EQ(percent(), 61);
  {
    std::lock_guard guard(i2cMutex);
    ASSERT_FLOAT_EQ(getFuelGaugeTemperature(), 50.4F);
  }
  for (const char* damage : {"battery remove voltage_now", "battery write voltage_now garbage"}) {
    SCOPED_TRACE(damage);
    control(damage);
    control("battery remove temp");
    control("battery remove chargerState_raw");
    poll();
    EXPECT_EQ(percent(), 61);
    EXPECT_EQ(charging, BATT_NOT_CHARGING);
    std::lock_guard guard(i2cMutex);
    EXPECT_FLOAT_EQ(getFuelGaugeVoltage(), 11.55F);
    EXPECT_FLOAT_EQ(getFuelGaugeTemperature(), 50.4F);
  }
  // Reported once to the system log, not at every poll.
  const std::string messages = root.messages();
  const std::string text = "Failed to open fuel gauge file: voltage_now";
  const auto first = messages.find(text);
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(messages.find(text, first + 1), std::string::npos);
}

TEST_F(BatteryMonitorTest, NothingReadYetLeavesThePercentageUnknown) {
  control("battery state 0x0100");
  control("battery remove voltage_now");
  control("battery remove current_now");
  ASSERT_EQ(init(), 0);
  poll();
  EXPECT_EQ(percent(kBatteryPercentUnknown), kBatteryPercentUnknown);
  std::lock_guard guard(i2cMutex);
  EXPECT_FLOAT_EQ(getFuelGaugeCurrent(), -1.0F);
  EXPECT_FLOAT_EQ(getFuelGaugeVoltage(), 0.0F);
}

TEST_F(BatteryMonitorTest, GaugeReadingsInTheirUnits) {
  control("battery current -0.45");
  control("battery temp 26.5");
  control("battery voltage 12.1");
  control("battery charge 9000000");
  ASSERT_EQ(init(), 0);
  std::lock_guard guard(i2cMutex);
  EXPECT_FLOAT_EQ(getFuelGaugeCurrent(), -0.45F);
  EXPECT_FLOAT_EQ(getFuelGaugeTemperature(), 26.5F);
  EXPECT_FLOAT_EQ(getFuelGaugeVoltage(), 12.1F);
  EXPECT_EQ(getFuelGaugeAccumCharge(), 9000000U);
}

TEST_F(BatteryMonitorTest, InputCurrentLimitIsReadBack) {
  ASSERT_EQ(init(), 0);
  std::lock_guard guard(i2cMutex);
  EXPECT_EQ(setInputCurrentLimit(34), 34);
  EXPECT_EQ(readBack("inputCurrentLimit_raw"), "OK 34");
  EXPECT_EQ(getLastInputCurrentLimit(), 34);
  control("battery remove inputCurrentLimit_raw");
  EXPECT_EQ(setInputCurrentLimit(39), 0);
  EXPECT_EQ(getLastInputCurrentLimit(), 0);
}

TEST_F(BatteryMonitorTest, AModelWithoutBatteryIsNeverPolled) {
  root.write("/etc/meterapp/meterIdentity.conf", "model R90508B\n");
  MeterIdentity_reload();
  ASSERT_EQ(init(), 0);
  checkModelForBattery();
  EXPECT_FALSE(modelHasBattery());
  control("battery state 0x0100");
  poll();
  EXPECT_EQ(record().state, BATT_MON_STATE_POWERUP);
  EXPECT_FALSE(present);

  std::filesystem::remove(root / "/etc/meterapp/meterIdentity.conf");
  MeterIdentity_reload();
  checkModelForBattery();
  EXPECT_TRUE(modelHasBattery());
  poll();
  EXPECT_TRUE(present);
}

TEST_F(BatteryMonitorTest, ReleaseIsIdempotentAndSafeBesidePolls) {
  control("battery state 0x0100");
  ASSERT_EQ(init(), 0);
  std::jthread poller([this](std::stop_token stop) {
    while (!stop.stop_requested()) poll();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  disableBatteryMonitor();
  disableBatteryMonitor();
  poller.request_stop();
  poller.join();
  BATT_MONITOR r;
  EXPECT_FALSE(BatteryMonitor_snapshot(&r));
  int value = 42;
  pollBatteryPercent(&value);
  EXPECT_EQ(value, 42);
  EXPECT_EQ(setInputCurrentLimit(39), 0);
}

TEST(BatteryPercentTest, VoltageCurveOfAnyCellCount) {
  EXPECT_EQ(BatteryMonitor_percentFromVoltage(8.26F, 2), 100);
  EXPECT_EQ(BatteryMonitor_percentFromVoltage(7.54F, 2), 50);
  EXPECT_EQ(BatteryMonitor_percentFromVoltage(0.0F, 3), 0);
  EXPECT_EQ(BatteryMonitor_percentFromCharge(0), 0);
  EXPECT_EQ(BatteryMonitor_percentFromCharge(0xFFFFFFFFU), 100);
}

}  // namespace
