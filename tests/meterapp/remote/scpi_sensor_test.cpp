// The sensor rows of the command table through the real TCP server, against
// simulated sensors measured by the real port handlers. The test plays the
// detection thread and the display pass: every 20 ms one detection pass,
// the channel question answered from the test's own channel map, and the
// reading of every measuring port pushed into the remote-control record.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "configuration.h"
#include "current_monitors.h"
#include "loopback_client.h"
#include "pulse_sensor_config.h"
#include "remote_fixture.h"
#include "scpi_record.h"
#include "scpi_remote.h"
#include "sensor_detect.h"
#include "sensor_manager.h"
#include "sensor_port_handler.h"
#include "simulator.h"
#include "usb_sensor.h"
#include "usb_test_timing.h"

namespace {

using namespace std::chrono_literals;
using remote_test::RemoteRoot;

const bool kPortChosenBySystem = ::setenv("METER_SCPI_PORT", "0", 1) == 0;

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

class Client : public test_support::LoopbackClient {
 public:
  using LoopbackClient::LoopbackClient;

  // The reply to one program message (empty for a command): the message is
  // followed by *IDN?, whose reply marks the end of the first one's.
  std::string exchange(const std::string& message) {
    if (!send(message + "\n*IDN?\n")) return "<send>";
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    for (;;) {
      const std::size_t marker = input_.find("TALVEK,");
      const std::size_t end = marker == std::string::npos ? marker : input_.find("\r\n", marker);
      if (end != std::string::npos) {
        std::string reply = input_.substr(0, marker);
        input_.erase(0, end + 2);
        if (reply.size() >= 2) reply.resize(reply.size() - 2);  // its CR LF
        return reply;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      // Nothing more within the time left: the time is up, or the meter closed.
      if (!receiveSome(input_, left)) return std::chrono::steady_clock::now() < deadline ? "<closed>" : "<timeout>";
    }
  }

 private:
  std::string input_;
};

// Where the sensors sit: model per simulator port name, and the channel the
// user picks for each meter port when asked.
struct Plug {
  const char* sensor;  // "usb1", "usb2", "serial1", "serial2"
  const char* model;
  int port;
  std::uint32_t channel;  // sensorLogicalChannel1 or 2
};

// Written by the test, read by the harness thread that answers the channel question.
std::array<std::atomic<std::uint32_t>, kSensorPortCount> gChannelChoice{};

class ScpiSensorTest : public ::testing::Test {
 protected:
  void start(const std::vector<Plug>& plugs, bool pulseMode = true, UsbHandlerTiming timing = fastTiming()) {
    ASSERT_TRUE(kPortChosenBySystem);
    device = std::make_unique<RemoteRoot>(CS8, false);
    SimOptions options;
    options.root = device->root.str();
    options.paced = false;
    options.usbTimeoutTenths = 2;
    sim = std::make_unique<Simulator>(options);
    configuration_setUseLegacy(true);  // TCP only; the RS-232 server is tested end to end
    configuration_setPulseMode(pulseMode);
    sensorPortHandler_setPulseConfigFile("");
    UsbSensor_setTiming(timing);
    findINA219Devices();
    SensorManager_Create();
    SensorManager_setChannelQuestion({[](int port) {
                                        SensorManager_answerChannelQuestion(
                                            port, gChannelChoice[static_cast<std::size_t>(port)]);
                                      },
                                      [] {}});
    for (int port = 0; port < kSensorPortCount; ++port) SensorPortHandler_Create(port);
    startScpiParser();
    harness = std::jthread([](const std::stop_token& stop) {
      CONNECTED_SENSORS previous;
      while (!stop.stop_requested()) {
        previous = SensorDetect_getConnectedSensors(previous);
        SensorManager_UpdateLogicalChannel();
        for (int port = 0; port < kSensorPortCount; ++port) {
          if (sensorPortHandler_getSensorStatus(port).status == isReady) {
            scpiUpdateMeasurement(port, sensorPortHandler_getSensorMeasurements(port));
          }
        }
        std::this_thread::sleep_for(20ms);
      }
    });
    client = std::make_unique<Client>(scpiTcpServer_port());
    ASSERT_TRUE(client->connected());
    // One after the other: a USB slot goes to the node that appears first.
    for (const Plug& p : plugs) {
      plug(p);
      ASSERT_TRUE(measuring(p.channel + 1)) << p.sensor;
    }
  }

  void TearDown() override {
    client.reset();
    harness = {};
    destroyScpiParser();
    for (int port = 0; port < kSensorPortCount; ++port) {
      sensorPortHandler_setIsConnected(port, false);
      SensorPortHandler_Stop(port);
    }
    for (int port : {sensorPort_USB1, sensorPort_USB2}) UsbSlot_release(port, 1000);
    SensorManager_Destroy();
    sim.reset();
    device.reset();
    configuration_setPulseMode(false);
    UsbSensor_setTiming(UsbHandlerTiming{});
  }

  static UsbHandlerTiming fastTiming() {
    // The full INIT wait: every sensor of these tests gets ready, some only
    // late on a loaded or emulated machine.
    return test_support::fastUsbTiming(UsbHandlerTiming{}.initTries);
  }

  void control(const std::string& line) { ASSERT_EQ(sim->control(line).substr(0, 2), "OK") << line; }
  void plug(const Plug& p) {
    gChannelChoice[static_cast<std::size_t>(p.port)] = p.channel;
    control(std::string("plug ") + p.sensor + " " + p.model);
  }
  // The channel answers a reading (not the stale mark) and has no error.
  bool measuring(std::uint32_t channel) {
    return waitUntil([&] {
      const std::string reply = client->exchange("MEAS:AVER? " + std::to_string(channel));
      errors();
      return !reply.empty() && reply != "9.91E+37";
    });
  }
  std::string ask(const std::string& message) { return client->exchange(message); }
  // Asks until the reply is `expected` (a new reading takes a cycle or two);
  // what the attempts before queued is dropped.
  std::string askUntil(const std::string& message, const std::string& expected) {
    std::string reply;
    waitUntil(
        [&] {
          reply = ask(message);
          if (reply == expected) return true;
          errors();
          return false;
        },
        5s);
    return reply;
  }
  std::vector<std::string> errors() {
    std::vector<std::string> list;
    for (int i = 0; i < 20; ++i) {
      const std::string reply = client->exchange("SYST:ERR?");
      if (reply.rfind("0,", 0) == 0 || reply.empty()) break;
      list.push_back(reply);
    }
    return list;
  }
  // The commands (not queries) the sensor took since the last reset, INIT
  // (sent every cycle) left out.
  std::string received(const std::string& sensor) {
    std::string list;
    const std::string answer = sim->control("received " + sensor);
    std::size_t at = answer.find(' ', 3);
    while (at != std::string::npos) {
      const std::size_t next = answer.find(' ', at + 1);
      const std::string item = answer.substr(at + 1, next == std::string::npos ? next : next - at - 1);
      if (item.rfind("INIT=", 0) != 0) list += (list.empty() ? "" : " ") + item;
      at = next;
    }
    return list;
  }
  std::string sensorSays(const std::string& sensor, const std::string& query) {
    const std::string reply = sim->control("scpi " + sensor + " " + query);
    return reply.size() > 3 ? reply.substr(3) : std::string();
  }

  struct Row {
    const char* message;
    const char* reply;
    std::vector<std::string> errors;
  };
  void runTable(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      SCOPED_TRACE(row.message);
      EXPECT_EQ(ask(row.message), row.reply);
      EXPECT_EQ(errors(), row.errors);
    }
  }

  std::unique_ptr<RemoteRoot> device;
  std::unique_ptr<Simulator> sim;
  std::jthread harness;
  std::unique_ptr<Client> client;
};

const std::string kBadChannel = "-220,\"Parameter error;The channel number is not valid\"";
const std::string kNoSensor = "-220,\"Parameter error;No sensor connected on the channel\"";
const std::string kParameter = "-220,\"Parameter error\"";
const std::string kMissing = "-109,\"Missing parameter\"";
const std::string kCwMode = "-100,\"Command error;The command is not valid in CW mode.\"";
const std::string kP803 = "-100,\"Command error;The command is not supported in P803 family sensors.\"";
const std::string kPulseGate = "-100,\"Command error;The command is not supported when using the Pulse Gate model.\"";
const std::string kTriggered =
    "-100,\"Command error;The command is not supported when using the Triggered Gate model.\"";
const std::string kC60x = "-100,\"Command error;The command is not supported for C60x CW sensors.\"";
const std::string kStale = "-230,\"Data corrupt or stale;The sensor on the channel is not measuring\"";

const Plug kP804OnUsb1{"usb1", "P804", sensorPort_USB1, sensorLogicalChannel1};
const Plug kC604OnSerial1{"serial1", "C604", sensorPort_Serial1, sensorLogicalChannel2};

// Every sensor row of the table once, by family, in pulse mode with a P804
// on channel 1 and a C604 on channel 2.
TEST_F(ScpiSensorTest, EveryRowAnswersThroughTheServer) {
  start({kP804OnUsb1, kC604OnSerial1});
  control("set usb1 gatemin 0.25");
  control("set usb1 fwd 4e-8");
  control("set serial1 fwd 4");
  ASSERT_EQ(askUntil("MEAS:AVER?", "4e-08"), "4e-08") << "a small power is not rounded away";
  ASSERT_EQ(askUntil("MEAS:AVER? 2", "4"), "4");
  ASSERT_EQ(askUntil("MEAS:GATE:MIN?", "0.25"), "0.25") << "fetched later in the cycle than the power";
  runTable({
      // MEASure, from the copy of the last display pass.
      {"MEAS:TEMP?", "25", {}},
      {"MEAS:FREQ?", "1000", {}},
      {"MEAS:SCAL:POW:DCYC?", "10", {}},
      {"MEAS:PER?", "1000", {}},
      {"MEAS:PRF?", "1000", {}},
      {"MEAS:WIDT?", "100", {}},
      {"MEAS:POW:FORW:AVER?", "4e-08", {}},
      {"MEAS:REFL:AVER?", "0.01", {}},
      {"MEAS:GATE:MAX?", "2", {}},
      {"MEAS:GATE?", "0.5", {}},
      {"MEASURE:GATE:MINIMUM?", "0.25", {}},
      {"MEAS:GATE:MAX?;:MEAS:GATE:MIN?", "2;0.25", {}},
      {"MEAS:GATE:MAX?;MEAS:GATE:MIN?", "2", {"-113,\"Undefined header;MEAS:GATE:MIN?\""}},
      {"MEAS:STAT2:MAX?", "", {kPulseGate}},
      {"MEAS:GATE? 2", "", {kC60x}},
      // CALCulate on the staged configuration.
      {"CALC:PULS?", "PULS", {}},
      {"CALC:GATE:BEG 1US", "", {}},
      {"CALC:GATE:BEG?", "1e-06", {}},
      {"CALC:GATE:END:DEL 2 US", "", {}},
      {"CALC:GATE:END?", "2e-06", {}},
      {"CALC:PULS FOO", "", {kParameter}},
      {"CALC:PULS TRIG", "", {}},
      {"CALC:PULSE:MODEL?", "TRIG", {}},
      {"CALC:GATE:BEG 1US", "", {kTriggered}},
      {"CALC:STAT3:ENAB ON", "", {}},
      {"CALC:STAT3:ENAB?", "1", {}},
      {"CALC:STAT:ENAB?", "0", {}},
      {"CALC:STAT3:ENAB -1", "", {"-220,\"Parameter error;The state is not valid\""}},
      {"CALC:STAT3:BEG 10 US", "", {}},
      {"CALC:STATE3:BEGIN:DELAY?", "1e-05", {}},
      {"CALC:STAT3:END:D 2MS", "", {}},
      {"CALC:STAT3:END?", "0.002", {}},
      // SENSe.
      {"SENS:FREQ:AUTO 0", "", {}},
      {"SENS:FREQ:AUTO?", "0", {}},
      {"SENS:FREQ 2400", "", {}},
      {"SENS:FREQ?", "2400", {}},
      {"SENS:FREQ 915.5", "", {}},
      {"SENS:FREQ?", "915.5", {}},
      {"SENS:FREQ 2.4 GHZ", "", {}},
      {"SENS:FREQ?", "2400", {}},
      {"SENS:FREQ 2400 KHZ", "", {}},
      {"SENS:FREQ?", "2.4", {}},
      {"SENS:PER:AUTO 0", "", {kTriggered}},
      {"SENS:PER:AUTO?", "1", {}},
      {"SENS:PER 100 US", "", {}},
      {"SENS:PER?", "0.0001", {}},
      // TRIGger.
      {"TRIG:LEV:AUTO OFF", "", {}},
      {"TRIG:LEV:AUTO?", "0", {}},
      {"TRIG:LEV 500 MW", "", {}},
      {"TRIG:LEV?", "0.5", {}},
      {"TRIG:LEV 2KW", "", {}},
      {"TRIG:LEV?", "2000", {}},
      {"TRIG:LEV 0.1;:TRIG:LEV?", "0.1", {}},
      {"TRIG:LEV 0.2;TRIG:LEV?", "", {"-113,\"Undefined header;TRIG:LEV?\""}},
      {"TRIG:LEV?", "0.2", {}},
      {"TRIG:LEV NAN", "", {kParameter}},
      {"TRIG:LEV 1E39", "", {kParameter}},
      {"TRIG:LEV INF", "", {kParameter}},
      {"TRIG:LEV?", "0.2", {}},
      {"TRIG:SLOP NEG", "", {}},
      {"TRIG:SLOP?", "NEG", {}},
      {"TRIG:SLOP", "", {kMissing, kMissing}},
      {"TRIG:SLOP EITHER", "", {kParameter}},
      {"TRIG:DEL 3", "", {}},
      {"TRIG:DEL?", "3", {}},
      {"TRIG:DEL 10 US", "", {}},
      {"TRIG:DEL?", "1e-05", {}},
      {"TRIG:DEL 2MS", "", {}},
      {"TRIG:DEL?", "0.002", {}},
      {"TRIG:DEL 10US", "", {}},
      {"TRIG:DEL?", "1e-05", {}},
      {"TRIG:DEL 3X", "", {kParameter}},
      {"TRIG:LEV? 2", "", {kC60x}},
      // The sensor's identity.
      {"SYST:IDEN:SENS?", "P804", {}},
      {"SYST:IDEN:SENS:SN?", "80412345", {}},
      {"SYST:IDEN:SENS:FWR?", "1.02.03", {}},
      {"SYST:IDEN:SENS:SN? 2", "60412345", {}},
      // Synchronise drops the staging.
      {"SYST:PULS:CONF:SYNC", "", {}},
      {"TRIG:LEV?", "0", {}},
      {"CALC:PULS?", "PULS", {}},
      {"SYST:PULS:CONF:SYNC 2", "", {kC60x}},
  });
}

TEST_F(ScpiSensorTest, ChannelParameter) {
  start({kP804OnUsb1});
  runTable({
      {"TRIG:LEV?", "0", {}},
      {"TRIG:LEV? 1", "0", {}},
      {"TRIG:LEV? 1.4", "0", {}},
      {"TRIG:LEV? 0", "", {kBadChannel}},
      {"TRIG:LEV? 3", "", {kBadChannel}},
      {"TRIG:LEV? -1", "", {kBadChannel}},
      {"TRIG:LEV? 1e10", "", {kBadChannel}},
      {"TRIG:LEV? MAX", "", {kParameter}},
      {"TRIG:LEV? NAN", "", {kParameter}},
      {"TRIG:LEV? FOO", "", {"-224,\"Illegal parameter value\"", kParameter}},
      {"TRIG:LEV? 2", "", {kNoSensor}},
      {"MEAS:AVER? 2", "", {kNoSensor}},
      {"TRIG:LEV 0.5,2", "", {kNoSensor}},
      {"TRIG:LEV 0.5,1", "", {}},
      {"TRIG:LEV?", "0.5", {}},
  });
}

// The first failing precondition speaks, in the order S, M, T, G, P. A
// P803 takes USB1 and is put on channel 2, then a P804 takes USB2 and gets
// channel 1: the triggered-gates check looks at the channel's own sensor.
TEST_F(ScpiSensorTest, PreconditionsInTheirOrder) {
  start({{"usb1", "P803", sensorPort_USB1, sensorLogicalChannel2},
         {"usb2", "P804", sensorPort_USB2, sensorLogicalChannel1}},
        false);
  ASSERT_EQ(ask("SYST:IDEN:SENS? 1"), "P804");
  runTable({
      {"CALC:STAT3:ENAB 1", "", {kCwMode}},
      {"CALC:STAT3:ENAB 1,2", "", {kCwMode}},
      {"TRIG:LEV? 2", "", {kP803}},
      {"SENS:FREQ 2400", "", {}},
      {"SYST:PULS:ENAB 1", "", {}},
      {"CALC:STAT3:ENAB 1", "", {kPulseGate}},
      {"CALC:STAT3:ENAB 1,2", "", {kP803}},
      {"CALC:PULS TRIG,2", "", {kP803}},
      {"CALC:PULS TRIG", "", {}},
      {"CALC:STAT3:ENAB 1", "", {}},
      {"CALC:GATE:END 1US", "", {kTriggered}},
      {"MEAS:GATE?", "", {kTriggered}},
      {"MEAS:GATE? 2", "0.5", {}},
  });
}

TEST_F(ScpiSensorTest, SensorCwOnASerialPortFailsTheSensorCheckFirst) {
  start({{"serial2", "C604", sensorPort_Serial2, sensorLogicalChannel1}}, false);
  // The serial sensor reports its temperature in a later exchange than its
  // powers: wait for the first one (a slow machine may not have it yet).
  ASSERT_EQ(askUntil("MEAS:TEMP?", "25"), "25");
  runTable({
      {"CALC:STAT3:ENAB 1", "", {kC60x}},
      {"SENS:FREQ?", "", {kC60x}},
      {"SYST:PULS:CONF:COMM", "", {kC60x}},
      {"MEAS:TEMP?", "25", {}},
      {"SYST:IDEN:SENS?", "C604", {}},
  });
}

TEST_F(ScpiSensorTest, CommitSendsOnlyWhatWasStagedWithTheStatesCompacted) {
  start({kP804OnUsb1});
  control("received usb1 reset");
  EXPECT_EQ(ask("SYST:PULS:CONF:COMM"), "");
  EXPECT_EQ(errors(), std::vector<std::string>{});
  std::this_thread::sleep_for(200ms);  // several measuring cycles
  EXPECT_EQ(received("usb1"), "") << "nothing staged, nothing sent";

  // States 1 and 3 enabled: the second slot gets state 3's window.
  for (const char* line : {"CALC:PULS TRIG", "CALC:STAT1:ENAB 1", "CALC:STAT1:BEG 1US", "CALC:STAT1:END 2US",
                           "CALC:STAT3:ENAB 1", "CALC:STAT3:BEG 5US", "CALC:STAT3:END 6US"}) {
    EXPECT_EQ(ask(line), "") << line;
  }
  EXPECT_EQ(errors(), std::vector<std::string>{});
  EXPECT_EQ(ask("SYST:PULS:CONF:COMM"), "");
  EXPECT_EQ(errors(), std::vector<std::string>{});
  EXPECT_EQ(sensorSays("usb1", "CALC:STAT1:ENAB?"), "1");
  EXPECT_EQ(sensorSays("usb1", "CALC:STAT1:BEG:DEL?"), "1e-06");
  EXPECT_EQ(sensorSays("usb1", "CALC:STAT2:ENAB?"), "1");
  EXPECT_EQ(sensorSays("usb1", "CALC:STAT2:BEG:DEL?"), "5e-06");
  EXPECT_EQ(sensorSays("usb1", "CALC:STAT2:END:DEL?"), "6e-06");
  EXPECT_EQ(sensorSays("usb1", "CALC:STAT3:ENAB?"), "0");
  EXPECT_EQ(ask("CALC:STAT2:ENAB?;:CALC:STAT3:ENAB?"), "1;0") << "the staging is what was sent";
  EXPECT_EQ(ask("SENS:PER:AUTO?"), "0") << "no automatic period with triggered gates";
  EXPECT_EQ(sensorSays("usb1", "SENS:PER:AUTO?"), "0");
  EXPECT_NE(received("usb1").find("CALC:STAT2:ENAB=1"), std::string::npos) << received("usb1");

  // The committed staging is synchronised: committing again sends nothing.
  control("received usb1 reset");
  EXPECT_EQ(ask("SYST:PULS:CONF:COMM"), "");
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(received("usb1"), "");

  // The readings of the enabled states follow.
  control("set usb1 state2.max 0.75");
  EXPECT_EQ(askUntil("MEAS:STAT2:MAX?", "0.75"), "0.75");
}

TEST_F(ScpiSensorTest, ARejectedCommitReportsEachTextAndStaysModified) {
  start({kP804OnUsb1});
  for (const char* line : {"SENS:FREQ:AUTO 0", "SENS:FREQ 5000", "TRIG:DEL 5"}) EXPECT_EQ(ask(line), "") << line;
  const std::vector<std::string> rejected = {"-220,\"Parameter error;Freq is not valid\"",
                                             "-220,\"Parameter error;Trigger Delay is not valid\""};
  EXPECT_EQ(ask("SYST:PULS:CONF:COMM"), "");
  EXPECT_EQ(errors(), rejected);
  control("received usb1 reset");
  EXPECT_EQ(ask("SYST:PULS:CONF:COMM"), "");
  EXPECT_EQ(errors(), rejected) << "still modified: sent again";
  EXPECT_NE(received("usb1").find("SENS:FREQ=1"), std::string::npos);
  EXPECT_EQ(ask("TRIG:DEL?"), "5") << "the staging is kept for the client to mend";
  EXPECT_EQ(ask("TRIG:DEL 0.001;:SENS:FREQ 2400;:SYST:PULS:CONF:COMM"), "");
  EXPECT_EQ(errors(), std::vector<std::string>{});
  EXPECT_EQ(sensorSays("usb1", "SENS:FREQ?"), "2400");
}

// No malformed value stages anything: each is refused with an error, and a
// COMMit afterwards has nothing to send.
TEST_F(ScpiSensorTest, MalformedValuesStageNothing) {
  start({kP804OnUsb1});
  const char* headers[] = {"TRIG:LEV",      "TRIG:DEL",       "TRIG:SLOP", "TRIG:LEV:AUTO", "SENS:FREQ",
                           "SENS:FREQ:AUTO", "SENS:PER",      "CALC:PULS", "CALC:GATE:BEG"};
  const char* values[] = {"",     "X",        "1E39", "-1E39", "NAN",  "INF",   "#H10", "1.2.3", "-",
                          "1 2",  "1,,",      "(1)",  "#15hello", "1E-50", "2 XS", "5 HZZ", "ON OFF"};
  const std::string longValue(300, '9');
  for (const char* header : headers) {
    for (const char* value : values) {
      const std::string message = std::string(header) + " " + value;
      SCOPED_TRACE(message);
      EXPECT_EQ(ask(message), "");
      EXPECT_FALSE(errors().empty());
    }
    EXPECT_EQ(ask(std::string(header) + " " + longValue), "");
    EXPECT_FALSE(errors().empty());
  }
  control("received usb1 reset");
  EXPECT_EQ(ask("SYST:PULS:CONF:COMM"), "");
  EXPECT_EQ(errors(), std::vector<std::string>{});
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(received("usb1"), "");
  EXPECT_EQ(ask("TRIG:LEV?;:SENS:FREQ:AUTO?;:CALC:PULS?"), "0;1;PULS");
}

// Another sensor on the same channel gets neither the staging nor the
// readings of the one before; until it measures, a query answers the
// not-a-number mark with -230.
TEST_F(ScpiSensorTest, ASwappedSensorStartsFromItsOwnConfigurationAndReadings) {
  UsbHandlerTiming slowStart = fastTiming();
  slowStart.clearSettle = 600ms;  // a window in which the new sensor is there but not measuring
  start({kP804OnUsb1}, true, slowStart);
  EXPECT_EQ(ask("TRIG:LEV 0.5"), "");
  EXPECT_EQ(ask("TRIG:LEV?"), "0.5");
  EXPECT_EQ(ask("MEAS:AVER?"), "1");

  // No command sees the channel empty in between: only the sensor's
  // identity tells that it is another one.
  control("pull usb1");
  std::this_thread::sleep_for(300ms);  // detection has seen it go
  control("set usb1 fwd 3.5");
  control("plug usb1 P804 80499999");
  ASSERT_TRUE(waitUntil([] {
    // Read through the manager's locked copy: detection runs on another thread.
    const int port = SensorManager_getActivePorts()[0];
    return port == sensorPort_USB1 && SensorInstance_GetLogicalChannel(port) == sensorLogicalChannel1;
  }));
  EXPECT_EQ(ask("MEAS:AVER?"), "9.91E+37") << "not the previous sensor's 1";
  EXPECT_EQ(errors(), std::vector<std::string>{kStale});
  // Staged before the sensor has been read: dropped once it measures.
  EXPECT_EQ(ask("SENS:FREQ:AUTO 0"), "");
  EXPECT_EQ(errors(), std::vector<std::string>{});
  EXPECT_EQ(askUntil("MEAS:AVER?", "3.5"), "3.5");
  EXPECT_EQ(ask("SYST:IDEN:SENS:SN?"), "80499999");
  EXPECT_EQ(ask("TRIG:LEV?"), "0") << "the new sensor's own setting";
  EXPECT_EQ(ask("SENS:FREQ:AUTO?"), "1");
  control("received usb1 reset");
  EXPECT_EQ(ask("SYST:PULS:CONF:COMM"), "");
  EXPECT_EQ(errors(), std::vector<std::string>{});
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(received("usb1"), "") << "nothing of the old staging is sent";
}

}  // namespace
