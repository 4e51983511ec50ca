// The USB slot handler against the simulated P803 and P804: identification,
// the measuring cycle, configuration hand-off and the faults a sensor shows.
// The test plays the detection thread: it opens the node the simulator
// links, binds it to slot USB1 and sets the connection flag.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "configuration.h"
#include "pulse_sensor_config.h"
#include "sensor_data.h"
#include "sensor_port_handler.h"
#include "simulator.h"
#include "scratch_root.h"
#include "text_field.h"
#include "usb_sensor.h"
#include "usbtmc_requests.h"

namespace {

using namespace std::chrono_literals;

constexpr int kPort = sensorPort_USB1;

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

// A number as the sensor prints it: the shortest text of the float.
std::string number(float value) {
  std::array<char, 32> text{};
  const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
  return std::string(text.data(), result.ptr);
}

USB_HANDLER_DATA& handler() { return sensorUsbHandlerData[0]; }

class UsbHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sensorPortHandler_setPulseConfigFile("");
    UsbHandlerTiming fast;
    fast.attachSettle = 5ms;
    fast.clearSettle = 10ms;
    fast.connectStep = 5ms;
    fast.identRetry = 5ms;
    fast.idle = 5ms;
    fast.retryPause = 10ms;
    fast.initTries = 10;  // half a second instead of a minute
    fast.configWaitSlack = 3000ms;
    UsbSensor_setTiming(fast);
    SimOptions options;
    options.root = root.str();
    options.paced = false;
    options.usbTimeoutTenths = 2;
    sim = std::make_unique<Simulator>(options);
    SensorPortHandler_Create(kPort);
  }

  void TearDown() override {
    sensorPortHandler_setIsConnected(kPort, false);
    SensorPortHandler_Stop(kPort);
    detectRemoval();
    sensorPortHandler_closeRetiredUsbDescriptor(kPort);  // the stopped handler no longer does
    sim.reset();
    configuration_setPulseMode(false);
    UsbSensor_setTiming(UsbHandlerTiming{});
  }

  void control(const std::string& line) { ASSERT_EQ(sim->control(line).substr(0, 2), "OK") << line; }
  int count(const std::string& header) { return std::stoi(sim->control("count usb1 " + header).substr(3)); }
  // The sensor's answer to one query, as the simulator reports it.
  // Empty when it does not answer.
  std::string ask(const std::string& query) {
    const std::string reply = sim->control("scpi usb1 " + query);
    return reply.size() > 3 ? reply.substr(3) : std::string();
  }

  // A node appears and detection binds it to the slot.
  void plug(const std::string& model) {
    control("plug usb1 " + model);
    const int fd = UsbTmcPort_Open(kPort, "/dev/usbtmc0");
    ASSERT_GT(fd, 0);
    TextField_copy(handler().usbPort.usbPortName, "/dev/usbtmc0");
    handler().usbPort.fd = fd;
    handler().usbPort.portClosed = false;
    handler().usbPort.portState = sensorPortConnected;
    sensorPortHandler_setIsConnected(kPort, true);
  }
  // The node has gone and detection frees the slot.
  void detectRemoval() {
    sensorPortHandler_setIsConnected(kPort, false);
    sensorPortHandler_releaseUsbDescriptor(kPort);
    handler().usbPort.usbPortName.fill('\0');
    sensorPortHandler_resetUsbSlot(kPort);
    // Detection passes are 500 ms apart: the handler has long finished the
    // request it was in before a new node can get the same descriptor.
    std::this_thread::sleep_for(100ms);
  }
  bool measuring(std::uint64_t cycles = 2) {
    const std::uint64_t before = SensorPortHandler_getUsbCycleCount(kPort);
    return waitUntil([&] {
      return sensorPortHandler_getSensorStatus(kPort).status == isReady &&
             SensorPortHandler_getUsbCycleCount(kPort) >= before + cycles;
    });
  }

  test_support::ScratchRoot root;
  std::unique_ptr<Simulator> sim;
};

std::vector<std::string> texts(const USBTMC_PARAM_ERRORS& errors) {
  std::vector<std::string> out;
  for (int i = 0; i < errors.count; ++i) out.emplace_back(TextField_view(errors.errors[static_cast<std::size_t>(i)]));
  return out;
}

// A pulse configuration that differs from the sensor's power-on settings in
// every field a P804 has.
SENSOR_CONFIGS everythingChanged(const SENSOR_CONFIGS& from) {
  SENSOR_CONFIGS c = from;
  c.bAutoPeriod = false;
  c.prdVal = 0.001F;
  c.bAutoTriggerLevel = false;
  c.trigLevelVal = 1.5F;
  c.trigDelayVal = 1e-4F;
  c.trigSlope = 0;
  c.bModelIsTriggeredGates = true;
  c.numStates = 1;
  c.pulseStates[0] = {true, 1e-5F, 2e-5F};
  return c;
}

TEST_F(UsbHandlerTest, ModelsGetTheCommandsTheyHave) {
  struct Case {
    const char* model;
    bool extended;
    float maxPower;
  };
  const Case cases[] = {{"P803", false, 500.0F}, {"P804", true, 1000.0F}};
  // Headers only an extended sensor is sent, whether at the CW start or in a
  // pulse configuration.
  const char* extendedOnly[] = {"SENS:PER:AUTO", "SENS:SWE:TIME:AUTO", "SENS:PER",         "SENS:SWE:TIME",
                                "TRIG:LEV:AUTO", "TRIG:LEV",           "TRIG:DEL",         "TRIG:SLOP",
                                "CALC:STAT1:ENAB", "CALC:STAT1:BEG:DEL", "CALC:STAT1:END:DEL", "SENS:PER?"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    configuration_setPulseMode(false);
    plug(c.model);
    ASSERT_TRUE(measuring());
    const SENSOR_INFORMATION_DATA info = sensorPortHandler_getSensorInformation(kPort);
    EXPECT_EQ(TextField_view(info.sensorIdentity.sensorModel), c.model);
    EXPECT_EQ(TextField_view(info.sensorIdentity.sensorFirmwareRevision), "1.02.03");
    EXPECT_EQ(TextField_view(info.serialNumber), std::string(c.model).substr(1, 3) + "12345");
    EXPECT_FLOAT_EQ(info.sensorIdentity.sensorPower.max, c.maxPower);
    const SENSOR_CONFIGS start = sensorPortHandler_getSensorConfigs(kPort);
    EXPECT_EQ(start.bSupportsAutoPeriod, c.extended);
    EXPECT_EQ(start.bSupportsAutoTiggerLevel, c.extended);
    EXPECT_EQ(start.bSupportsTriggeredGates, c.extended);
    // CW: the extended sensor is set to a fixed period, not an automatic one.
    EXPECT_EQ(count("SENS:SWE:TIME:AUTO"), c.extended ? 1 : 0);
    if (c.extended) {
      EXPECT_EQ(ask("SENS:PER:AUTO?"), "0");
    }

    configuration_setPulseMode(true);
    ASSERT_TRUE(waitUntil([] { return handler().sensorPulseModeEnabled.load(); }));
    const USBTMC_PARAM_ERRORS errors = sensorPortHandler_setSensorConfigs(kPort, everythingChanged(start));
    EXPECT_EQ(texts(errors), std::vector<std::string>{});
    for (const char* header : extendedOnly) {
      SCOPED_TRACE(header);
      if (c.extended) {
        EXPECT_GE(count(header), 1);
      } else {
        EXPECT_EQ(count(header), 0);
      }
    }
    if (c.extended) {
      EXPECT_EQ(ask("TRIG:SLOP?"), "NEG");
      EXPECT_EQ(ask("CALC:STAT1:ENAB?"), "1");
      EXPECT_EQ(ask("SENS:PER?"), "0.001");
    }

    // Readings arrive in the units of the meter.
    control("set usb1 fwd 7.5");
    ASSERT_TRUE(waitUntil([] { return sensorPortHandler_getSensorMeasurements(kPort).fwdPwrVal == 7.5F; }));
    const SENSOR_MEASUREMENTS m = sensorPortHandler_getSensorMeasurements(kPort);
    EXPECT_FLOAT_EQ(m.freqVal, 1.0e9F);
    EXPECT_FLOAT_EQ(m.temperatureVal, 25.0F);
    EXPECT_FLOAT_EQ(m.prdVal, 1.0e-3F);
    EXPECT_FLOAT_EQ(m.widthVal, 1.0e-4F);
    EXPECT_FLOAT_EQ(m.rflPwrVal, 0.01F);
    detectRemoval();
  }
}

TEST_F(UsbHandlerTest, ReadBackKeepsWhatTheSensorCannotTellAndAnIdenticalConfigurationSendsNothing) {
  // The number of states is nothing the sensor can be asked about.
  SENSOR_CONFIGS stored = PulseSensorConfig_defaults();
  stored.numStates = 3;
  sensorPortHandler_saveSensorConfig(stored);
  configuration_setPulseMode(true);
  plug("P804");
  ASSERT_TRUE(measuring());
  const SENSOR_CONFIGS current = sensorPortHandler_getSensorConfigs(kPort);
  EXPECT_EQ(current.numStates, 3);
  EXPECT_EQ(current.trigSlope, 1) << "read from the sensor, which has POS";
  EXPECT_FLOAT_EQ(current.freqVal, 1.0e9F);

  // Every command but INIT, which goes on every cycle.
  const auto commandsSent = [&] {
    int total = 0;
    for (const SENSOR_CMD_S& row : sensor_cmd_param) {
      if (row.cmd != C_TRIGGER_INIT) total += count(row.cmd_str.data());
    }
    return total;
  };
  const int before = commandsSent();
  const USBTMC_PARAM_ERRORS errors = sensorPortHandler_setSensorConfigs(kPort, current);
  EXPECT_EQ(errors.count, 0);
  EXPECT_EQ(commandsSent(), before);
  EXPECT_GT(count("CALC:STAT1:ENAB?"), 0) << "the read-back asked";
}

TEST_F(UsbHandlerTest, RejectedParameterIsReportedAndTheRestStillSent) {
  struct Case {
    const char* name;
    std::function<void(SENSOR_CONFIGS&)> change;
    std::vector<std::string> errors;
  };
  const Case cases[] = {
      {"frequency out of range", [](SENSOR_CONFIGS& c) { c.bAutoFrequency = false; c.freqVal = 9.0e9F; },
       {"Freq is not valid"}},
      {"trigger level out of range", [](SENSOR_CONFIGS& c) { c.bAutoTriggerLevel = false; c.trigLevelVal = 500.0F; },
       {"Trigger Level is not valid"}},
      {"trigger delay out of range", [](SENSOR_CONFIGS& c) { c.trigDelayVal = 5.0F; }, {"Trigger Delay is not valid"}},
      {"gate begin beyond the period", [](SENSOR_CONFIGS& c) { c.gateBegin = 3.0F; }, {"Gate Begin is not valid"}},
      {"two at once", [](SENSOR_CONFIGS& c) { c.bAutoFrequency = false; c.freqVal = 0.0F; c.trigDelayVal = -4.0F; },
       {"Freq is not valid", "Trigger Delay is not valid"}},
  };
  configuration_setPulseMode(true);
  plug("P804");
  ASSERT_TRUE(measuring());
  const SENSOR_CONFIGS base = sensorPortHandler_getSensorConfigs(kPort);
  float gateEnd = 1e-4F;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SENSOR_CONFIGS request = base;
    c.change(request);
    // The last command of the send: still sent after the rejection.
    gateEnd += 1e-4F;
    request.gateEnd = gateEnd;
    EXPECT_EQ(texts(sensorPortHandler_setSensorConfigs(kPort, request)), c.errors);
    EXPECT_EQ(ask("CALC:GATE:END:DEL?"), number(gateEnd));
    EXPECT_EQ(ask("SYST:ERR:COUN?"), "0") << "the error queue was drained";
  }
  EXPECT_NE(root.messages().find("USER_WARNING:  USB sensor 2 frequency command failed with error 2."),
            std::string::npos);
}

TEST_F(UsbHandlerTest, QuestionablePulseBitZeroesThePulseReadingsWhileItLasts) {
  configuration_setPulseMode(true);
  plug("P804");
  ASSERT_TRUE(measuring());
  ASSERT_FLOAT_EQ(sensorPortHandler_getSensorMeasurements(kPort).prdVal, 1.0e-3F);
  control("set usb1 questionable 512");
  control("set usb1 fwd 3");
  ASSERT_TRUE(waitUntil([] {
    const SENSOR_MEASUREMENTS m = sensorPortHandler_getSensorMeasurements(kPort);
    return m.fwdPwrVal == 3.0F && m.prdVal == 0.0F;
  }));
  ASSERT_TRUE(measuring());
  const SENSOR_MEASUREMENTS m = sensorPortHandler_getSensorMeasurements(kPort);
  for (const float value : {m.prdVal, m.prfVal, m.widthVal, m.dutyCycleVal, m.gateMean, m.gateMax, m.gateMin}) {
    EXPECT_EQ(value, 0.0F);
  }
  EXPECT_EQ(m.fwdPwrVal, 3.0F) << "the CW readings go on";
  // Once the condition has cleared the pulse readings come back.
  control("set usb1 questionable 0");
  EXPECT_TRUE(waitUntil([] { return sensorPortHandler_getSensorMeasurements(kPort).prdVal == 1.0e-3F; }));
}

TEST_F(UsbHandlerTest, ShortModelIsAskedFiveTimesThenTheSlotRestarts) {
  plug("P8");
  ASSERT_TRUE(waitUntil([&] { return count("*RST") >= 2; }));
  EXPECT_EQ(count("SYST:IDEN:MOD?"), 5);
  EXPECT_EQ(count("SYST:IDEN:SN?"), 0);
  EXPECT_EQ(sensorPortHandler_getSensorStatus(kPort).status, notReady);
  EXPECT_FALSE(sensorPortHandler_getIsInitialized(kPort));
}

TEST_F(UsbHandlerTest, NeverCompletingMeasurementRestartsAndFailsTheRequestWaitingAcrossIt) {
  configuration_setPulseMode(true);
  plug("P804");
  ASSERT_TRUE(measuring());
  EXPECT_FALSE(handler().usbPort.initTimeout.load());
  control("fault usb1 opc-never");
  ASSERT_TRUE(waitUntil([&] { return count("*RST") >= 2; }));
  EXPECT_TRUE(handler().usbPort.initTimeout.load());

  // A request made while the handler is stuck is answered, and not as applied.
  SENSOR_CONFIGS request = sensorPortHandler_getSensorConfigs(kPort);
  request.trigDelayVal = 0.125F;
  const std::vector<std::string> answer = texts(sensorPortHandler_setSensorConfigs(kPort, request));
  ASSERT_EQ(answer.size(), 1U);
  EXPECT_EQ(answer[0].rfind("Not applied: ", 0), 0U) << answer[0];

  control("fault usb1 none");
  ASSERT_TRUE(waitUntil([] { return !handler().usbPort.initTimeout.load(); }));
  ASSERT_TRUE(measuring());
  EXPECT_EQ(count("SYST:IDEN:MOD?"), 1) << "a restart after configuration skips identification";
  request = sensorPortHandler_getSensorConfigs(kPort);
  request.trigDelayVal = 0.125F;
  EXPECT_EQ(sensorPortHandler_setSensorConfigs(kPort, request).count, 0);
  EXPECT_EQ(ask("TRIG:DEL?"), "0.125");
}

TEST_F(UsbHandlerTest, SensorPulledInMidCycleIsNotShownAsLive) {
  configuration_setPulseMode(true);
  plug("P804");
  ASSERT_TRUE(measuring());
  control("pull usb1");
  EXPECT_TRUE(waitUntil([] { return sensorPortHandler_getSensorStatus(kPort).status == notReady; }, 3s));
  EXPECT_FALSE(sensorPortHandler_getIsInitialized(kPort));
  EXPECT_TRUE(std::isnan(sensorPortHandler_getSensorMeasurements(kPort).fwdPwrVal));
  // The slot is left for detection; a request meanwhile gets an answer at once.
  EXPECT_TRUE(sensorPortHandler_getIsConnected(kPort));
  EXPECT_EQ(texts(sensorPortHandler_setSensorConfigs(kPort, sensorPortHandler_getSensorConfigs(kPort))),
            std::vector<std::string>{"Sensor is not ready"});
  detectRemoval();
  plug("P803");
  ASSERT_TRUE(measuring());
  EXPECT_EQ(TextField_view(sensorPortHandler_getSensorInformation(kPort).sensorIdentity.sensorModel), "P803");
}

TEST_F(UsbHandlerTest, TwoRequestersAtOnceEachGetTheirOwnAnswer) {
  configuration_setPulseMode(true);
  plug("P804");
  ASSERT_TRUE(measuring());
  constexpr int kRounds = 6;
  std::atomic<int> stale{0};
  std::atomic<int> unanswered{0};
  // Each requester changes the trigger delay to values of its own; when its
  // call returns, the sensor holds its value or the other's newer one, never
  // its own previous one.
  const auto requester = [&](float sign) {
    float previous = 0.0F;
    for (int round = 1; round <= kRounds; ++round) {
      SENSOR_CONFIGS request = sensorPortHandler_getSensorConfigs(kPort);
      const float value = sign * static_cast<float>(round) * 0.01F;
      request.trigDelayVal = value;
      const USBTMC_PARAM_ERRORS errors = sensorPortHandler_setSensorConfigs(kPort, request);
      if (errors.count != 0) ++unanswered;
      if (ask("TRIG:DEL?") == number(previous) && round > 1) ++stale;
      previous = value;
    }
  };
  std::thread first(requester, 1.0F);
  std::thread second(requester, -1.0F);
  first.join();
  second.join();
  EXPECT_EQ(unanswered.load(), 0);
  EXPECT_EQ(stale.load(), 0);
}

TEST_F(UsbHandlerTest, CwModeStoresTheRequestUntilPulseModeIsOn) {
  SENSOR_CONFIGS request = sensorPortHandler_getSensorConfigs(kPort);
  request.trigDelayVal = 0.25F;
  EXPECT_EQ(texts(sensorPortHandler_setSensorConfigs(kPort, request)), std::vector<std::string>{"Sensor is not ready"});
  configuration_setPulseMode(false);
  plug("P804");
  ASSERT_TRUE(measuring());
  request = sensorPortHandler_getSensorConfigs(kPort);
  request.trigDelayVal = 0.25F;
  EXPECT_EQ(texts(sensorPortHandler_setSensorConfigs(kPort, request)),
            std::vector<std::string>{"Stored, applied in pulse mode"});
  EXPECT_EQ(ask("TRIG:DEL?"), "0");
  configuration_setPulseMode(true);
  EXPECT_TRUE(waitUntil([&] { return ask("TRIG:DEL?") == "0.25"; }));
}

TEST(UsbSensorNames, StateNamesAndModels) {
  const char* names[] = {"stateUsbStart",         "stateUsbConnect",           "stateUsbIdent",
                         "stateUsbGetConfig",     "stateUsbSendConfig",        "stateUsbSendConfigCW",
                         "stateUsbSendConfigPulse", "stateUsbResendConfigPulse", "stateUsbInit",
                         "stateUsbCwMeasure",     "stateUsbPulseMeasure",      "stateUsbIdle"};
  for (int state = 0; state < 12; ++state) {
    EXPECT_STREQ(SensorPortHandler_getSensorUSBStateName(state), names[state]);
  }
  EXPECT_STREQ(SensorPortHandler_getSensorUSBStateName(12), "UnknownState?");
  EXPECT_STREQ(SensorPortHandler_getSensorUSBStateName(-1), "UnknownState?");
  EXPECT_FALSE(UsbSensor_isExtendedModel("P803"));
  EXPECT_FALSE(UsbSensor_isExtendedModel("XP805-B"));
  EXPECT_TRUE(UsbSensor_isExtendedModel("P804"));
}

}  // namespace
