#include "current_monitors.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform.h"
#include "text_field.h"

namespace {

namespace fs = std::filesystem;

// A scratch device root with the current monitors as the simulator lays
// them out.
class CurrentMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("hw-monitors-" + std::to_string(::getpid()));
    fs::create_directories(root);
    Platform_setRoot(root.string());
  }
  void TearDown() override {
    Platform_setRoot("");
    fs::remove_all(root);
  }
  void addMonitor(const std::string& entry, const std::string& name, unsigned address) {
    const fs::path dir = root / "sys/class/hwmon" / entry;
    fs::create_directories(dir / "device/of_node");
    std::ofstream(dir / "name") << name << "\n";
    const char reg[4] = {static_cast<char>(address >> 24), static_cast<char>(address >> 16),
                         static_cast<char>(address >> 8), static_cast<char>(address)};
    std::ofstream(dir / "device/of_node/reg", std::ios::binary).write(reg, 4);
    setCurrent(entry, "0");
  }
  void setCurrent(const std::string& entry, const std::string& text) {
    std::ofstream(root / "sys/class/hwmon" / entry / "curr1_input") << text;
  }
  fs::path root;
};

TEST_F(CurrentMonitorTest, MonitorsAreBoundByTheirAddress) {
  addMonitor("hwmon0", "ina219", 0x45);
  addMonitor("hwmon1", "ina219", 0x40);
  addMonitor("hwmon2", "lm75", 0x40);    // not a current monitor
  addMonitor("hwmon3", "ina219", 0x41);  // not a sensor port
  findINA219Devices();
  EXPECT_EQ(TextField_view(ina219CurrentMonitors[0]), "/sys/class/hwmon/hwmon1/curr1_input");
  EXPECT_EQ(TextField_view(ina219CurrentMonitors[1]), "/sys/class/hwmon/hwmon0/curr1_input");
}

TEST_F(CurrentMonitorTest, SensorIsPresentAboveTwoHundredFiftyMilliamps) {
  addMonitor("hwmon0", "ina219", 0x40);
  addMonitor("hwmon1", "ina219", 0x45);
  findINA219Devices();
  struct Case {
    const char* text;
    bool present;
  } const cases[] = {{"250\n", false}, {"251\n", true}, {"0", false}, {"1200", true}, {"-5", false}, {"", false}, {"abc", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    setCurrent("hwmon0", c.text);
    EXPECT_EQ(pollI2CCurrentMonitor(0), c.present);
  }
  setCurrent("hwmon1", "300");
  EXPECT_TRUE(pollI2CCurrentMonitor(1));
  EXPECT_FALSE(pollI2CCurrentMonitor(2));
  EXPECT_FALSE(pollI2CCurrentMonitor(-1));
}

TEST_F(CurrentMonitorTest, PortWithoutMonitorNeverReportsASensor) {
  addMonitor("hwmon0", "ina219", 0x40);
  findINA219Devices();
  EXPECT_EQ(TextField_view(ina219CurrentMonitors[1]), "");
  EXPECT_FALSE(pollI2CCurrentMonitor(1));
  // A monitor that disappears after start-up reads as no sensor.
  setCurrent("hwmon0", "900");
  EXPECT_TRUE(pollI2CCurrentMonitor(0));
  fs::remove_all(root / "sys");
  EXPECT_FALSE(pollI2CCurrentMonitor(0));
}

}  // namespace
