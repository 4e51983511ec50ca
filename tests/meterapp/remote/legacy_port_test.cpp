// The legacy interface's threads on a pseudo-terminal standing in for the
// RS-232 port: status answers, reading requests answered after a new reading
// of the answered port, and a port that goes away.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <optional>
#include <string>
#include <thread>

#include "configuration.h"
#include "device_fixtures.h"
#include "legacy_serial.h"
#include "network.h"
#include "sensor_data.h"
#include "sensor_manager.h"

namespace {

using namespace std::chrono_literals;
using test_support::PseudoTerminal;
using test_support::ScratchRoot;

constexpr int kPort = sensorPort_USB1;
constexpr int kOtherPort = sensorPort_Serial1;

class LegacyPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setConfigurationFile(nullptr);
    SensorManager_Create();
    ASSERT_EQ(SerialCommand_Initialize(line->slavePath().c_str()), 0);
    ASSERT_TRUE(SerialCommand_StartThreads());
  }
  void TearDown() override {
    SerialCommand_Stop();
    sensorPortHandler_setIsConnected(kPort, false);
    SensorManager_Destroy();
    configuration_setCommandModeSW(false);
  }

  // Binds kPort to channel 1 with a reading of `forward` / `reflected` W.
  void bindSensor(float forward, float reflected = 0.5F) {
    // As detection and the display pass do it: the sensor is found, asked
    // about, and given channel 1.
    CONNECTED_SENSORS record;
    record.detectedSensors = kSensorPortDetectionBit[kPort];
    record.detectedSensorsChanged = record.detectedSensors;
    SensorManager_UpdatePhysicalSensors(&record, true);
    SensorManager_UpdateLogicalChannel();
    SensorManager_answerChannelQuestion(kPort, sensorLogicalChannel1);
    ASSERT_TRUE(SensorManager_UpdateLogicalChannel());
    sensorPortHandler_setIsConnected(kPort, true);
    setReading(forward, reflected);
  }
  void setReading(float forward, float reflected = 0.5F) {
    SENSOR_MEASUREMENTS m;
    m.fwdPwrVal = forward;
    m.rflPwrVal = reflected;
    SensorPortHandler_setSimulatedMeasurements(kPort, m);
  }
  void send(const std::string& text) { ASSERT_TRUE(line->writeMaster(text)); }
  // Everything that arrives within `ms` of quiet.
  std::string received(int ms = 300) {
    std::string text;
    while (test_support::waitReadable(line->master(), ms)) {
      const std::string more = line->readMaster(1, ms);
      if (more.empty()) break;
      text += more;
    }
    return text;
  }
  std::string ask(const std::string& text) {
    send(text);
    return received();
  }
  // A reading arrives on `port` after the request has been taken.
  void newReading(int port) {
    std::this_thread::sleep_for(100ms);
    sensorPortHandler_signalReadingAvailable(port);
  }

  ScratchRoot root;
  std::optional<PseudoTerminal> line{std::in_place};
};

TEST_F(LegacyPortTest, StatusAnswers) {
  EXPECT_EQ(ask("U0"), " R904  FCRYYPYYTT1XF\r\n");
  EXPECT_EQ(ask("R05RCT5U0"), " R904  RCR05PYYTT5XF\r\n");
  EXPECT_EQ(ask("RYYU0"), " R904  RCRYYPYYTT5XF\r\n");
  EXPECT_EQ(ask("U1"), " R904  VCM VCO FL \r\n");
  EXPECT_EQ(ask("\rR18J0U1"), " R904  ICM ICO PS \r\n");
  EXPECT_EQ(ask("U1"), " R904  VCM VCO FL \r\n");  // U1 reset the flags
  EXPECT_EQ(ask("u2"), " R904   0100 RS232\r\n");
}

TEST_F(LegacyPortTest, StatusAWithTheBuildRecord) {
  root.write("/sys/class/net/eth0/address", "02:00:52:90:50:01\n");
  const std::string ip = get_ip_address("eth0");
  root.write("/usr/local/etc/defconfig/buildInstalled",
             "BUILD_HOSTNAME=r9050-build\r\nBUILD_DATE=2026-01-15T10:00:00\r\nOTHER=x\nBUILD_UUID=1234-abcd\n");
  EXPECT_EQ(ask("UA"), "UA 02:00:52:90:50:01;" + ip + ";r9050-build 2026-01-15T10:00:00 1234-abcd\r\n");

  // Fields at their longest (and longer): the answer keeps its CR LF.
  const std::string host(40, 'h');
  const std::string date(40, 'd');
  const std::string uuid(60, 'u');
  root.write("/usr/local/etc/defconfig/buildInstalled",
             "BUILD_HOSTNAME=" + host + "\nBUILD_DATE=" + date + "\nBUILD_UUID=" + uuid + "\n");
  const std::string expected = "UA 02:00:52:90:50:01;" + ip + ";" + host.substr(0, 32) + " " + date.substr(0, 32) +
                               " " + uuid.substr(0, 48) + "\r\n";
  EXPECT_EQ(ask("UA"), expected);

  std::filesystem::remove(root / "/usr/local/etc/defconfig/buildInstalled");
  EXPECT_EQ(ask("UA"), "UA 02:00:52:90:50:01;" + ip + ";  \r\n");
  EXPECT_NE(root.messages().find("fopen /usr/local/etc/defconfig/buildInstalled errno="), std::string::npos);
}

TEST_F(LegacyPortTest, ARequestWaitsForANewReadingOfTheAnsweredPort) {
  bindSensor(12.5F);
  send("R10ENT");
  newReading(kOtherPort);  // another port's reading does not release it
  EXPECT_EQ(received(), "");
  setReading(13.5F);
  sensorPortHandler_signalReadingAvailable(kPort);
  EXPECT_EQ(received(), "NFC  13.500   W\r\n");
}

TEST_F(LegacyPortTest, TriggerModes) {
  bindSensor(12.5F, 1.5F);
  send("T1ENT");
  newReading(kPort);
  EXPECT_EQ(received(), "NFC  12.500   W\r\n");  // auto-ranged

  send("T5ENT");
  newReading(kPort);
  EXPECT_EQ(received(), "");  // no FC or RC since T5
  send("RCENT");
  newReading(kPort);
  EXPECT_EQ(received(), "NRC  1.5000   W\r\n");
  send("ENT");
  newReading(kPort);
  EXPECT_EQ(received(), "");  // the selection was used up

  configuration_setCommandModeSW(true);
  send("FC");
  newReading(kPort);
  EXPECT_EQ(received(), "NFC  12.500   W\r\n");
  send("ENT");
  newReading(kPort);
  EXPECT_EQ(received(), "");
}

TEST_F(LegacyPortTest, RequestsWhileBusyAreAnsweredInTurn) {
  bindSensor(250.0F);
  send("ENTent");
  newReading(kPort);
  newReading(kPort);
  EXPECT_EQ(received(), "NFC   .2500  KW\r\nNFC   .2500  KW\r\n");
}

TEST_F(LegacyPortTest, NoSensorNoAnswer) {
  send("ENT");
  newReading(kPort);
  EXPECT_EQ(received(), "");
  EXPECT_EQ(ask("U2"), " R904   0100 RS232\r\n");  // still listening
}

TEST_F(LegacyPortTest, AnswersNeverInterleave) {
  bindSensor(12.5F);
  std::jthread readings([](std::stop_token stop) {
    while (!stop.stop_requested()) {
      sensorPortHandler_signalReadingAvailable(kPort);
      std::this_thread::sleep_for(1ms);
    }
  });
  std::string requests;
  std::string expected;
  for (int i = 0; i < 20; ++i) {
    requests += "ENTU2";
    expected += "NFC  12.500   W\r\n R904   0100 RS232\r\n";
  }
  send(requests);
  const std::string text = received(500);
  readings.request_stop();
  // Every line is whole; the order of power and status lines may differ.
  std::size_t power = 0;
  std::size_t status = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find("\r\n", at);
    ASSERT_NE(end, std::string::npos) << text;
    const std::string lineText = text.substr(at, end + 2 - at);
    if (lineText == "NFC  12.500   W\r\n") ++power;
    else if (lineText == " R904   0100 RS232\r\n") ++status;
    else ADD_FAILURE() << "mixed line: " << lineText;
    at = end + 2;
  }
  EXPECT_EQ(power, 20U);
  EXPECT_EQ(status, 20U);
}

TEST_F(LegacyPortTest, IntWritesTheDefaultsButKeepsLegacyFlagsAndRanges) {
  configuration_setUseLegacy(true);
  configuration_setCommandModeSW(true);
  configuration_setPowerUnitsIsdBm(true);
  send("R05T5INT");
  EXPECT_EQ(ask("U0"), " R904  FCR05PYYTT1XF\r\n");
  EXPECT_FALSE(configuration_getPowerUnitsIsdBm());
  EXPECT_TRUE(configuration_getUseLegacy());
  EXPECT_TRUE(configuration_getCommandModeSW());
  const std::string file = root.read("/etc/meterapp/TalvekApplicationSettings.conf");
  EXPECT_NE(file.find("useLegacyRS232Commands 1"), std::string::npos) << file;
  configuration_setUseLegacy(false);
}

TEST_F(LegacyPortTest, APortThatGoesAwayEndsTheInputThread) {
  ASSERT_TRUE(SerialCommand_InputRunning());
  line.reset();  // the other end hangs up
  for (int i = 0; i < 50 && SerialCommand_InputRunning(); ++i) std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(SerialCommand_InputRunning());
  EXPECT_NE(root.messages().find("SerialCommand_InputThread: the port is gone"), std::string::npos);
  // It backed off instead of spinning: a handful of failed reads, not thousands.
  const std::string messages = root.messages();
  std::size_t reads = 0;
  for (std::size_t at = messages.find("read errno="); at != std::string::npos; at = messages.find("read errno=", at + 1)) {
    ++reads;
  }
  EXPECT_LE(reads, 10U);
}

}  // namespace
