#include "meter_loops.h"

#include <gtest/gtest.h>

#include "battery_monitor.h"
#include "display_update.h"

namespace {

TEST(BatterySupervisor, InputCurrentLimitFollowsTheTemperature) {
  struct Case {
    float temperature;
    int limit;
  } const cases[] = {{20.0F, 39}, {45.0F, 39}, {45.4F, 39}, {45.6F, 38}, {50.4F, 34},
                     {50.5F, 33}, {84.0F, 0},  {90.0F, 0},  {-10.0F, 39}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.temperature);
    EXPECT_EQ(BatterySupervisor_inputCurrentLimitFor(c.temperature), c.limit);
  }
}

TEST(BatterySupervisor, CriticalBatteryWarnsThenShutsDownAfter25Seconds) {
  BatterySupervisor sut;
  EXPECT_EQ(BatterySupervisor_step(&sut, 2, BATT_NOT_CHARGING, 1000), batteryActionNone);
  EXPECT_EQ(BatterySupervisor_step(&sut, 1, BATT_CHARGING_ACCUM, 1000), batteryActionNone);
  EXPECT_EQ(BatterySupervisor_step(&sut, 1, BATT_NOT_CHARGING, 1000), batteryActionShowWarning);
  EXPECT_EQ(sut.state, shutdownWarning);
  EXPECT_EQ(BatterySupervisor_step(&sut, 1, BATT_NOT_CHARGING, 26000), batteryActionNone);
  EXPECT_EQ(BatterySupervisor_step(&sut, 0, BATT_NOT_CHARGING, 26001), batteryActionShutDown);
  EXPECT_EQ(sut.state, shutdownShuttingDown);
  EXPECT_EQ(BatterySupervisor_step(&sut, 0, BATT_NOT_CHARGING, 90000), batteryActionNone);
}

TEST(BatterySupervisor, ChargerWithinTheWarningClosesItAndNothingElseHappens) {
  BatterySupervisor sut;
  ASSERT_EQ(BatterySupervisor_step(&sut, 1, BATT_NOT_CHARGING, 0xFFFFF000U), batteryActionShowWarning);
  EXPECT_EQ(BatterySupervisor_step(&sut, 1, BATT_CHARGING_VOLTAGE, 5000), batteryActionCloseWarning);
  EXPECT_EQ(sut.state, shutdownIdle);
  EXPECT_EQ(BatterySupervisor_step(&sut, 1, BATT_CHARGING_VOLTAGE, 90000), batteryActionNone);
}

TEST(BatteryIndicator, PictureAndLabelPerState) {
  struct Case {
    const char* name;
    bool hasBattery;
    bool present;
    int state;
    int percent;
    BatteryPicture picture;
    const char* label;  // nullptr: no label
    bool red;
  } const cases[] = {
      {"mains model", false, true, BATT_NOT_CHARGING, 50, batteryPicturePlug, nullptr, false},
      {"battery not present", true, false, BATT_NOT_CHARGING, 50, batteryPictureNotPresent, nullptr, false},
      {"fully charged", true, true, BATT_FULLY_CHARGED, 37, batteryPicturePlug, "100%", false},
      {"charging, voltage", true, true, BATT_CHARGING_VOLTAGE, 37, batteryPictureCharging, "---%", false},
      {"charging, accumulated", true, true, BATT_CHARGING_ACCUM, 42, batteryPictureCharging, "42%", false},
      {"76 %", true, true, BATT_NOT_CHARGING, 76, batteryPicture100, "76%", false},
      {"75 %", true, true, BATT_NOT_CHARGING, 75, batteryPicture75, "75%", false},
      {"51 %", true, true, BATT_NOT_CHARGING, 51, batteryPicture75, "51%", false},
      {"50 %", true, true, BATT_NOT_CHARGING, 50, batteryPicture50, "50%", false},
      {"26 %", true, true, BATT_NOT_CHARGING, 26, batteryPicture50, "26%", false},
      {"25 %", true, true, BATT_NOT_CHARGING, 25, batteryPicture25, "25%", false},
      {"6 %", true, true, BATT_NOT_CHARGING, 6, batteryPicture25, "6%", false},
      {"5 %", true, true, BATT_NOT_CHARGING, 5, batteryPicture5, "5%", true},
      {"percentage out of range", true, true, BATT_NOT_CHARGING, 101, batteryPicture100, nullptr, false},
      {"battery missing state", true, true, BATT_MISSING, 50, batteryPictureNone, nullptr, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const BatteryIndicatorView view = BatteryIndicator_select(c.hasBattery, c.present, c.state, c.percent);
    EXPECT_EQ(view.picture, c.picture);
    EXPECT_EQ(view.showLabel, c.label != nullptr);
    if (c.label != nullptr) {
      EXPECT_EQ(view.label, c.label);
      EXPECT_EQ(view.labelRed, c.red);
    }
  }
}

}  // namespace
