// Detection passes over a scratch device root laid out as the simulator does:
// current monitors for the serial ports, usbtmc nodes as links to
// pseudo-terminals. No handler threads run; the slot leases are free unless
// a test holds one itself.
#include "sensor_detect.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <cmath>
#include <map>
#include <optional>
#include <memory>
#include <thread>
#include <vector>

#include "current_monitors.h"
#include "device_fixtures.h"
#include "device_io.h"
#include "sensor_manager.h"

namespace {

namespace fs = std::filesystem;
using test_support::PseudoTerminal;
using test_support::ScratchRoot;

class DetectBench {
 public:
  DetectBench() {
    addMonitor("hwmon0", 0x40);
    addMonitor("hwmon1", 0x45);
    findINA219Devices();
    SensorManager_Create();
  }
  ~DetectBench() {
    for (int port : {sensorPort_USB1, sensorPort_USB2}) UsbSlot_release(port, 1000);
    for (int port = 0; port < kSensorPortCount; ++port) sensorPortHandler_setIsConnected(port, false);
    SensorManager_Destroy();
  }
  void setCurrent(int port, int milliamps) {
    root.write("/sys/class/hwmon/hwmon" + std::to_string(port) + "/curr1_input", std::to_string(milliamps));
  }
  void plugUsb(const std::string& node) {
    pullUsb(node);
    ptys[node] = std::make_unique<PseudoTerminal>();
    ptys[node]->linkAs(root, node);
  }
  void pullUsb(const std::string& node) {
    std::error_code ignored;
    fs::remove(root / node, ignored);
    ptys.erase(node);
  }
  void danglingUsb(const std::string& node) {
    pullUsb(node);
    fs::create_directories((root / node).parent_path());
    fs::create_symlink(root / "dev/nothing-here", root / node);
  }
  CONNECTED_SENSORS pass() {
    previous = SensorDetect_getConnectedSensors(previous);
    return previous;
  }
  int slotPort(int slot) const {
    const ActiveSensors* active = SensorManager_GetActiveSensors();
    const SensorInstance* instance = slot == 1 ? active->sensor1 : active->sensor2;
    return instance == nullptr ? sensorPort_None : static_cast<int>(instance->index);
  }

  ScratchRoot root;
  std::map<std::string, std::unique_ptr<PseudoTerminal>> ptys;
  CONNECTED_SENSORS previous;

 private:
  void addMonitor(const std::string& entry, unsigned address) {
    root.write("/sys/class/hwmon/" + entry + "/name", "ina219\n");
    const std::string reg = {static_cast<char>(address >> 24), static_cast<char>(address >> 16),
                             static_cast<char>(address >> 8), static_cast<char>(address)};
    root.write("/sys/class/hwmon/" + entry + "/device/of_node/reg", reg);
    root.write("/sys/class/hwmon/" + entry + "/curr1_input", "0");
  }
};

// One step: what changes on the ports, then one pass and what it reports.
struct Step {
  std::function<void(DetectBench&)> change;
  std::uint32_t present;
  std::uint32_t changed;
  int slot1;  // port in display slot 1 after the pass
  int slot2;
};

struct Sequence {
  const char* name;
  std::vector<Step> steps;
};

constexpr int kNone = sensorPort_None;

void sensorAt(DetectBench& b, int serialPort) { b.setCurrent(serialPort, 400); }

const std::vector<Sequence> kSequences = {
    {"a third sensor is ignored until a slot frees",
     {{[](DetectBench& b) { sensorAt(b, 0); }, 0x01, 0x01, 0, kNone},
      {[](DetectBench& b) { b.plugUsb("/dev/usbtmc0"); }, 0x11, 0x10, 0, 2},
      {[](DetectBench& b) { sensorAt(b, 1); }, 0x11, 0x00, 0, 2},
      {[](DetectBench&) {}, 0x11, 0x00, 0, 2},
      // Serial1 leaves: its slot goes to the waiting sensor in the same pass.
      {[](DetectBench& b) { b.setCurrent(0, 0); }, 0x12, 0x03, 1, 2}}},
    {"usbtmc1 appearing first takes slot A",
     {{[](DetectBench& b) { b.plugUsb("/dev/usbtmc1"); }, 0x10, 0x10, 2, kNone},
      {[](DetectBench& b) { b.plugUsb("/dev/usbtmc0"); }, 0x30, 0x20, 2, 3},
      {[](DetectBench& b) { b.pullUsb("/dev/usbtmc1"); }, 0x20, 0x10, kNone, 3}}},
    {"exactly 250 mA is not a sensor",
     {{[](DetectBench& b) { b.setCurrent(0, 250); }, 0x00, 0x00, kNone, kNone},
      {[](DetectBench& b) { b.setCurrent(0, 251); }, 0x01, 0x01, 0, kNone},
      {[](DetectBench& b) { b.setCurrent(0, 250); }, 0x00, 0x01, kNone, kNone}}},
    {"removing the slot 1 sensor leaves slot 2",
     {{[](DetectBench& b) { sensorAt(b, 1); }, 0x02, 0x02, 1, kNone},
      {[](DetectBench& b) { b.plugUsb("/dev/usbtmc0"); }, 0x12, 0x10, 1, 2},
      {[](DetectBench& b) { b.setCurrent(1, 0); }, 0x10, 0x02, kNone, 2},
      // A new sensor fills the empty slot 1.
      {[](DetectBench& b) { sensorAt(b, 0); }, 0x11, 0x01, 0, 2}}},
    {"two sensors in one pass, USB first",
     {{[](DetectBench& b) {
         sensorAt(b, 0);
         b.plugUsb("/dev/usbtmc0");
       },
       0x11, 0x11, 2, 0}}},
};

TEST(SensorDetectTest, SequencesOfPlugsAndPulls) {
  for (const Sequence& sequence : kSequences) {
    SCOPED_TRACE(sequence.name);
    DetectBench bench;
    for (std::size_t i = 0; i < sequence.steps.size(); ++i) {
      SCOPED_TRACE("step " + std::to_string(i));
      const Step& step = sequence.steps[i];
      step.change(bench);
      const CONNECTED_SENSORS result = bench.pass();
      EXPECT_EQ(result.detectedSensors, step.present);
      EXPECT_EQ(result.detectedSensorsChanged, step.changed);
      EXPECT_EQ(bench.slotPort(1), step.slot1);
      EXPECT_EQ(bench.slotPort(2), step.slot2);
      for (int port = 0; port < kSensorPortCount; ++port) {
        const bool inSlot = bench.slotPort(1) == port || bench.slotPort(2) == port;
        EXPECT_EQ(sensorPortHandler_getIsConnected(port), inSlot) << "port " << port;
      }
    }
  }
}

TEST(SensorDetectTest, TheChannelOfTheRemainingSensorStays) {
  DetectBench bench;
  sensorAt(bench, 0);
  bench.pass();
  SensorInstance_SetLogicalChannel(0, sensorLogicalChannel2);
  bench.plugUsb("/dev/usbtmc0");
  const CONNECTED_SENSORS both = bench.pass();
  EXPECT_FALSE(both.promptForlogicalChannel);
  EXPECT_EQ(SensorInstance_GetLogicalChannel(2), std::uint32_t{sensorLogicalChannel1});
  bench.setCurrent(0, 0);
  bench.pass();
  EXPECT_EQ(bench.slotPort(1), kNone);
  EXPECT_EQ(bench.slotPort(2), 2);
  EXPECT_EQ(SensorInstance_GetLogicalChannel(2), std::uint32_t{sensorLogicalChannel1});
  EXPECT_EQ(SensorInstance_GetLogicalChannel(0), sensorLogicalNoChannel);
  EXPECT_EQ(SensorInstance_GetState(0), sensorIdle);
}

// A node that exists but cannot be opened fails its own slot only.
TEST(SensorDetectTest, ABadNodeDoesNotDropTheHealthySensor) {
  DetectBench bench;
  bench.plugUsb("/dev/usbtmc1");
  EXPECT_EQ(bench.pass().detectedSensors, 0x10u);
  bench.danglingUsb("/dev/usbtmc0");
  for (int i = 0; i < 3; ++i) {
    CONNECTED_SENSORS record;
    EXPECT_EQ(pollUsbTmcMonitor(&record), 0);
    EXPECT_EQ(record.detectedSensors, 0x10u);
    const CONNECTED_SENSORS result = bench.pass();
    EXPECT_EQ(result.detectedSensors, 0x10u);
    EXPECT_EQ(result.detectedSensorsChanged, 0x00u);
  }
  // Once the node can be opened it takes the other slot.
  bench.plugUsb("/dev/usbtmc0");
  EXPECT_EQ(bench.pass().detectedSensors, 0x30u);
  EXPECT_EQ(UsbSlot_node(sensorPort_USB2), "/dev/usbtmc0");
}

TEST(SensorDetectTest, ABadNodeAloneReportsNoUsbSensor) {
  DetectBench bench;
  bench.danglingUsb("/dev/usbtmc0");
  CONNECTED_SENSORS record;
  record.detectedSensors = 0x30;
  EXPECT_EQ(pollUsbTmcMonitor(&record), 0);
  EXPECT_EQ(record.detectedSensors, 0x00u);
  EXPECT_TRUE(UsbSlot_isFree(sensorPort_USB1));
}

bool descriptorOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

// The handler is mid-step (holds its lease) when the node goes away: the
// connection flag drops at once, but the descriptor and the record stay
// untouched until the step is over.
TEST(SensorDetectTest, TheSlotResetWaitsForTheHandlersStep) {
  DetectBench bench;
  bench.plugUsb("/dev/usbtmc0");
  bench.pass();
  ASSERT_TRUE(sensorPortHandler_getIsConnected(sensorPort_USB1));
  const int fd = UsbSlot_descriptor(sensorPort_USB1);
  ASSERT_GT(fd, 0);
  SENSOR_MEASUREMENTS reading;
  reading.fwdPwrVal = 12.5F;
  SensorPortHandler_setSimulatedMeasurements(sensorPort_USB1, reading);
  sensorPortHandler_setSensorStatus(sensorPort_USB1, isReady, "");

  UsbSlotLease step = UsbSlot_lease(sensorPort_USB1);
  EXPECT_EQ(step.fd, fd);
  bench.pullUsb("/dev/usbtmc0");
  bench.plugUsb("/dev/usbtmc1");  // must not take the slot that is being released
  std::atomic<bool> passDone{false};
  CONNECTED_SENSORS during;
  std::thread detection([&] {
    during = bench.pass();
    passDone = true;
  });
  detection.join();
  EXPECT_TRUE(passDone);
  EXPECT_EQ(during.detectedSensors & 0x10u, 0u);
  EXPECT_FALSE(sensorPortHandler_getIsConnected(sensorPort_USB1));
  EXPECT_TRUE(UsbSlot_isReleasing(sensorPort_USB1));
  EXPECT_TRUE(descriptorOpen(fd));
  EXPECT_EQ(sensorPortHandler_getSensorMeasurements(sensorPort_USB1).fwdPwrVal, 12.5F);
  EXPECT_EQ(UsbSlot_node(sensorPort_USB2), "/dev/usbtmc1");

  step = UsbSlotLease{};  // the step ends
  const CONNECTED_SENSORS after = bench.pass();
  EXPECT_FALSE(UsbSlot_isReleasing(sensorPort_USB1));
  EXPECT_TRUE(UsbSlot_isFree(sensorPort_USB1));
  EXPECT_TRUE(std::isnan(sensorPortHandler_getSensorMeasurements(sensorPort_USB1).fwdPwrVal));
  EXPECT_EQ(sensorPortHandler_getSensorStatus(sensorPort_USB1).status, notReady);
  EXPECT_EQ(UsbSlot_lease(sensorPort_USB1).fd, 0);
  EXPECT_EQ(after.detectedSensors, 0x20u);
}

// A lease taken while the release is pending gets no descriptor.
TEST(SensorDetectTest, NoDescriptorWhileTheReleaseIsPending) {
  DetectBench bench;
  bench.plugUsb("/dev/usbtmc0");
  bench.pass();
  std::optional<UsbSlotLease> step(UsbSlot_lease(sensorPort_USB1));
  std::thread([] { EXPECT_FALSE(UsbSlot_release(sensorPort_USB1, 10)); }).join();
  step.reset();
  EXPECT_EQ(UsbSlot_lease(sensorPort_USB1).fd, 0);
  EXPECT_TRUE(UsbSlot_release(sensorPort_USB1, 10));
}

// The node vanishes and comes back between two passes: the old descriptor
// names the old file, so the slot is let go and the new sensor opened.
TEST(SensorDetectTest, AQuickReplugOpensTheNewSensor) {
  DetectBench bench;
  bench.plugUsb("/dev/usbtmc0");
  bench.pass();
  const int oldFd = UsbSlot_descriptor(sensorPort_USB1);
  bench.plugUsb("/dev/usbtmc0");  // a new pseudo-terminal behind the same name
  const CONNECTED_SENSORS gone = bench.pass();
  EXPECT_EQ(gone.detectedSensors, 0x00u);
  EXPECT_EQ(gone.detectedSensorsChanged, 0x10u);
  EXPECT_FALSE(descriptorOpen(oldFd) && UsbSlot_descriptor(sensorPort_USB1) == oldFd);
  const CONNECTED_SENSORS back = bench.pass();
  EXPECT_EQ(back.detectedSensors, 0x10u);
  EXPECT_EQ(back.detectedSensorsChanged, 0x10u);
  DeviceFileId node;
  DeviceFileId held;
  ASSERT_TRUE(Device_fileId((bench.root / "/dev/usbtmc0").string(), &node));
  ASSERT_TRUE(Device_descriptorId(UsbSlot_descriptor(sensorPort_USB1), &held));
  EXPECT_EQ(node, held);
  EXPECT_TRUE(sensorPortHandler_getIsConnected(sensorPort_USB1));
}

}  // namespace
