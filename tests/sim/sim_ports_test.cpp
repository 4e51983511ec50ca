// The simulator's ports seen from the meter's side of the device root.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "sensor_float.h"
#include "serial_sensor.h"
#include "sim_test_support.h"
#include "simulator.h"

namespace {

using namespace std::string_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

class SimPorts : public ::testing::Test {
 protected:
  std::unique_ptr<Simulator> start(bool paced) {
    SimOptions options;
    options.root = dir.str();
    options.paced = paced;
    options.usbTimeoutTenths = 3;
    return std::make_unique<Simulator>(options);
  }
  std::string current(int index) { return readText(dir / ("sys/class/hwmon/hwmon" + std::to_string(index) + "/curr1_input")); }
  ScratchDir dir;
};

float wordValue(const std::string& bytes) {
  std::uint32_t word = 0;
  for (const char c : bytes) word = (word << 8) | static_cast<unsigned char>(c);
  return floatTalvekToIeee(word);
}

TEST_F(SimPorts, DeviceRootHasEveryNodeTheMeterOpens) {
  auto sim = start(false);
  const std::string reg0 = readText(dir / "sys/class/hwmon/hwmon0/device/of_node/reg");
  const std::string reg1 = readText(dir / "sys/class/hwmon/hwmon1/device/of_node/reg");
  EXPECT_EQ(reg0, "\0\0\0\x40"s);
  EXPECT_EQ(reg1, "\0\0\0\x45"s);
  EXPECT_EQ(readText(dir / "sys/class/hwmon/hwmon0/name"), "ina219\n");
  EXPECT_EQ(current(0), "0\n");
  EXPECT_TRUE(fs::is_fifo(dir / "dev/input/event0"));
  for (const char* link : {"dev/ttyS1", "dev/ttyS2", "dev/ttyS4", "sim/rs232"}) {
    SCOPED_TRACE(link);
    EXPECT_TRUE(fs::is_symlink(dir / link));
    EXPECT_TRUE(fs::is_character_file(dir / link));
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "dev/usbtmc0")));
  for (const char* file : {"sys/class/power_supply/fuel_gauge/voltage_now",
                           "sys/devices/virtual/battery_charger/ltc4162/chargerState_raw",
                           "sys/class/leds/talvekR905a:KeepOn/brightness", "usr/local/etc/defconfig/buildInstalled"}) {
    SCOPED_TRACE(file);
    EXPECT_FALSE(readText(dir / file).empty());
  }
  sim.reset();
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "dev/ttyS1"))) << "links to vanished terminals are removed";
}

TEST_F(SimPorts, SerialSensorAnsweredByteForByte) {
  auto sim = start(false);
  UniqueFd fd = openRaw(dir / "dev/ttyS1");
  ASSERT_TRUE(fd.valid());
  EXPECT_EQ(exchange(fd.get(), "S", 1), "") << "no sensor plugged in: no answer";

  ASSERT_EQ(sim->control("plug serial1 C604"), "OK");
  EXPECT_EQ(current(0), "320\n");
  ASSERT_EQ(sim->control("set serial1 fwd 100"), "OK");
  EXPECT_EQ(exchange(fd.get(), "S", 1), "S");
  EXPECT_EQ(exchange(fd.get(), "I", 40), SerialSensor("C604").identity());
  std::string serial;
  for (char address = 0x30; address <= 0x38; ++address) {
    const std::string reply = exchange(fd.get(), "Z\x04"s + address, 2);
    ASSERT_EQ(reply.size(), 2U);
    EXPECT_EQ(reply[1], '\0') << "status byte: valid";
    serial += reply[0];
  }
  EXPECT_EQ(serial, "60412345\0"s);
  EXPECT_FLOAT_EQ(wordValue(exchange(fd.get(), "F", 4)), 10.0F);

  ASSERT_EQ(sim->control("fault serial1 short"), "OK");
  EXPECT_EQ(exchange(fd.get(), "F", 4).size(), 3U);
  ASSERT_EQ(sim->control("fault serial1 none"), "OK");

  ASSERT_EQ(sim->control("pull serial1"), "OK");
  EXPECT_EQ(current(0), "0\n");
  EXPECT_EQ(exchange(fd.get(), "S", 1), "");
}

// One measurement cycle as the meter runs it: each command waits for its reply.
double cycleMilliseconds(int fd) {
  const auto start = Clock::now();
  for (const char* command : {"F", "R", "H", "T"}) {
    if (exchange(fd, command, 4).size() != 4) return -1;
  }
  if (exchange(fd, "S", 1) != "S") return -1;
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

TEST_F(SimPorts, PacedSerialCycleTakesAtLeastTheLineTime) {
  // F, R, H, T, S out and 4 + 4 + 4 + 4 + 1 bytes back: 22 bytes of 10 bits at 9600 baud.
  const double lineTime = 22 * 10 * 1000.0 / 9600.0;
  for (const bool paced : {true, false}) {
    auto sim = start(paced);
    ASSERT_EQ(sim->control("plug serial2"), "OK");
    UniqueFd fd = openRaw(dir / "dev/ttyS2");
    double fastest = 1e9;
    double total = 0;
    constexpr int kCycles = 10;
    for (int i = 0; i < kCycles; ++i) {
      const double ms = cycleMilliseconds(fd.get());
      ASSERT_GT(ms, 0) << "a reply was missing";
      fastest = std::min(fastest, ms);
      total += ms;
    }
    const std::string what = paced ? "paced" : "unpaced";
    std::cout << "[ MEASURED ] " << what << " F/R/H/T/S cycle: mean " << total / kCycles << " ms, fastest " << fastest
              << " ms (line time " << lineTime << " ms)\n";
    RecordProperty(what + "_cycle_mean_ms", std::to_string(total / kCycles));
    if (paced) {
      EXPECT_GE(fastest, lineTime);
    }
  }
}

TEST_F(SimPorts, BabblingSensorNeverStops) {
  auto sim = start(true);
  ASSERT_EQ(sim->control("plug serial1"), "OK");
  ASSERT_EQ(sim->control("fault serial1 babble"), "OK");
  UniqueFd fd = openRaw(dir / "dev/ttyS1", 2);
  const std::string first = readCount(fd.get(), 50);
  EXPECT_EQ(first.size(), 50U);
  EXPECT_EQ(exchange(fd.get(), "S", 100).size(), 100U) << "still sending, not answering";
  ASSERT_EQ(sim->control("fault serial1 none"), "OK");
  readCount(fd.get(), 100000);  // drain what is on the line
  EXPECT_EQ(exchange(fd.get(), "S", 1), "S");
}

TEST_F(SimPorts, UsbSensorAppearsAndVanishesWithItsNode) {
  auto sim = start(false);
  ASSERT_EQ(sim->control("plug usb2 P803"), "OK");
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "dev/usbtmc0")));
  UniqueFd fd = openRaw(dir / "dev/usbtmc1");
  ASSERT_TRUE(fd.valid());
  EXPECT_EQ(exchange(fd.get(), "SYST:IDEN:MOD?\n", 5), "P803\n");
  EXPECT_EQ(exchange(fd.get(), "SENS:PER?\n", 64), "") << "a P803 has no period";
  EXPECT_EQ(sim->control("count usb2 SENS:PER?"), "OK 1");

  ASSERT_EQ(sim->control("pull usb2"), "OK");
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "dev/usbtmc1")));
  char byte = 0;
  EXPECT_LE(::read(fd.get(), &byte, 1), 0) << "the vanished sensor reads as an error or nothing";

  ASSERT_EQ(sim->control("plug usb2"), "OK");
  UniqueFd again = openRaw(dir / "dev/usbtmc1");
  EXPECT_EQ(exchange(again.get(), "SYST:IDEN:MOD?\n", 5), "P803\n") << "the model stays with the slot";
}

TEST_F(SimPorts, UsbSensorDropsAnOverlongMessage) {
  auto sim = start(false);
  ASSERT_EQ(sim->control("plug usb1"), "OK");
  UniqueFd fd = openRaw(dir / "dev/usbtmc0");
  ASSERT_TRUE(fd.valid());
  // Far more than any message, without a line feed: dropped up to its end
  // and reported, and the sensor answers the next message.
  const std::string flood(100000, 'A');
  EXPECT_EQ(exchange(fd.get(), flood, 0), "");
  EXPECT_EQ(exchange(fd.get(), "TAIL\nSYST:IDEN:MOD?\n", 5), "P804\n");
  EXPECT_EQ(exchange(fd.get(), "SYST:ERR?\n", 64), "-363,\"Input buffer overrun\"\n");
  EXPECT_EQ(exchange(fd.get(), "SYST:ERR:COUN?\n", 64), "0\n");
}

TEST_F(SimPorts, RemotePortIsANullModem) {
  auto sim = start(false);
  UniqueFd meter = openRaw(dir / "dev/ttyS4");
  UniqueFd computer = openRaw(dir / "sim/rs232");
  EXPECT_EQ(exchange(computer.get(), "*IDN?\r\n", 7), "");
  EXPECT_EQ(readCount(meter.get(), 7), "*IDN?\r\n");
  EXPECT_EQ(exchange(meter.get(), "R9050\n", 0), "");
  EXPECT_EQ(readCount(computer.get(), 6), "R9050\n");
}

TEST_F(SimPorts, ControlCommandsRejectMistakesAndCarryOn) {
  auto sim = start(false);
  const char* bad[] = {"",
                       "dance",
                       "plug",
                       "plug usb3",
                       "plug serial1 TOOLONGMODEL",
                       "set usb1 fwd",
                       "set usb1 fwd many",
                       "set usb1 colour 3",
                       "set serial1 prf 3",
                       "fault usb1 babble",
                       "fault serial1 opc-never",
                       "error usb1 12",
                       "error usb1 -1e10",
                       "error usb1 nan",
                       "error usb1 -2.5",
                       "error usb1 -40000",
                       "set usb1 questionable 1e30",
                       "set usb1 questionable -1",
                       "set usb1 questionable 1.5",
                       "set usb1 questionable nan",
                       "error serial1 -100",
                       "count usb1",
                       "received usb1 now",
                       "received serial1",
                       "plug usb1 P804 12AB",
                       "plug usb1 P804 123456789",
                       "scpi usb1"};
  for (const char* line : bad) {
    SCOPED_TRACE(line);
    EXPECT_EQ(sim->control(line).substr(0, 4), "ERR ");
  }
  EXPECT_EQ(sim->control("set usb1 state4.max 2.5"), "OK");
  EXPECT_EQ(sim->control("scpi usb1 FETC:STAT4:MAX?"), "OK 2.5");
  EXPECT_EQ(sim->control("error usb1 -222 Data out of range"), "OK");
  EXPECT_EQ(sim->control("scpi usb1 SYST:ERR?"), "OK -222,\"Data out of range\"");
  EXPECT_EQ(sim->control("set usb1 questionable 512"), "OK");
  EXPECT_EQ(sim->control("scpi usb1 STAT:QUES:COND?"), "OK 512");
  // Commands, not queries, are listed since the last reset, in the order
  // first seen; a new plug starts a fresh sensor with its own serial number.
  EXPECT_EQ(sim->control("received usb1 reset"), "OK");
  EXPECT_EQ(sim->control("scpi usb1 SENS:FREQ 2400"), "OK");
  EXPECT_EQ(sim->control("scpi usb1 SENS:FREQ?"), "OK 2400");
  EXPECT_EQ(sim->control("scpi usb1 TRIG:LEV 0.5"), "OK");
  EXPECT_EQ(sim->control("scpi usb1 SENS:FREQ 100"), "OK");
  EXPECT_EQ(sim->control("received usb1"), "OK 3 SENS:FREQ=2 TRIG:LEV=1");
  EXPECT_EQ(sim->control("plug usb1 P804 80499999"), "OK");
  EXPECT_EQ(sim->control("received usb1"), "OK 0");
  EXPECT_EQ(sim->control("scpi usb1 SYST:IDEN:SN?"), "OK 80499999");
  EXPECT_EQ(sim->control("pull usb1"), "OK");
  EXPECT_EQ(sim->control("status"), "OK serial1=C604:pulled serial2=C604:pulled usb1=P804:pulled usb2=P804:pulled");
  EXPECT_FALSE(sim->quitRequested());
  EXPECT_EQ(sim->control("quit"), "OK");
  EXPECT_TRUE(sim->quitRequested());
}

}  // namespace
