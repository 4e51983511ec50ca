// The USB slot handler against the simulated P803 and P804: identification,
// the measuring cycle, configuration hand-off and the faults a sensor shows.
// The test plays the detection thread: it opens the node the simulator
// links, binds it to slot USB1 and sets the connection flag.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
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
#include "unique_fd.h"
#include "usb_sensor.h"
#include "usb_test_timing.h"
#include "usbtmc_requests.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

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

int occurrences(const std::string& text, std::string_view what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

// Numbers handed out to configuration requests so far.
std::uint64_t configRequests() {
  std::lock_guard guard(sensorPortConfigMutex[kPort]);
  return handler().configRequested;
}

// Holds the handler between two steps at a point where its next exchange
// with the sensor is a configuration send: the end of a cycle or the
// configuration decision. Empty when that point was not reached.
UsbSlotLease leaseBeforeSend() {
  UsbSlotLease lease;
  waitUntil([&] {
    lease = UsbSlot_lease(kPort);
    const sensorUsbCommState state = SensorPortHandler_getUsbState(kPort);
    if (state == stateUsbIdle || state == stateUsbSendConfig || state == stateUsbSendConfigPulse) return true;
    lease = UsbSlotLease{};
    return false;
  });
  return lease;
}

// Handler steps taken within `window`. Every step begins by closing the
// descriptor detection retired, so a descriptor left there is taken once a
// step; the count is bounded by how fast this loop offers them (about one
// every 100 us), far above any pausing handler.
int stepsIn(std::chrono::milliseconds window) {
  UniqueFd spare(::dup(STDERR_FILENO));
  int taken = 0;
  bool offered = false;
  for (const auto end = Clock::now() + window; Clock::now() < end; std::this_thread::sleep_for(100us)) {
    if (handler().retiredFd.load() != 0) continue;
    if (offered) ++taken;
    handler().retiredFd.store(::dup(spare.get()));
    offered = true;
  }
  if (const int notTaken = handler().retiredFd.exchange(0); notTaken > 0) ::close(notTaken);
  return taken;
}

class UsbHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sensorPortHandler_setPulseConfigFile("");
    UsbSensor_setTiming(test_support::fastUsbTiming());
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
    UsbSlot_bind(kPort, fd, "/dev/usbtmc0");
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

TEST_F(UsbHandlerTest, StepsThatCannotTalkToTheSensorPauseInsteadOfSpinning) {
  struct Case {
    const char* name;
    bool failingClear;  // else the slot has a node but no open descriptor
  };
  const Case cases[] = {{"the USB-TMC clear fails", true}, {"no descriptor", false}};
  UsbHandlerTiming timing = UsbSensor_timing();
  timing.retryPause = 25ms;
  UsbSensor_setTiming(timing);
  constexpr const char* kClearFailed = "USBTMC_IOCTL_CLEAR_OUT_HALT failed";
  // A pipe is no USB-TMC device: every clear request on it fails.
  std::array<int, 2> pipeEnds{};
  ASSERT_EQ(::pipe(pipeEnds.data()), 0);
  const UniqueFd pipeRead(pipeEnds[0]);
  const UniqueFd pipeWrite(pipeEnds[1]);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    control("plug usb1 P804");
    UsbSlot_bind(kPort, c.failingClear ? ::dup(pipeRead.get()) : 0, "/dev/usbtmc0");
    const int clearsBefore = occurrences(root.messages(), kClearFailed);
    sensorPortHandler_setIsConnected(kPort, true);
    const auto start = Clock::now();
    const int steps = stepsIn(750ms);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    const int clears = occurrences(root.messages(), kClearFailed) - clearsBefore;
    // One attempt per pause at most; twice that and a few over leaves room
    // for any scheduling, while a spinning slot takes thousands of steps.
    const int bound = 2 * static_cast<int>(elapsed / timing.retryPause) + 5;
    EXPECT_GE(steps, 2) << "the slot keeps trying";
    EXPECT_LE(steps, bound);
    if (c.failingClear) {
      EXPECT_GE(clears, 2);
      EXPECT_LE(clears, bound);
    } else {
      EXPECT_EQ(clears, 0);
    }
    EXPECT_EQ(SensorPortHandler_getUsbState(kPort), stateUsbStart);
    EXPECT_EQ(sensorPortHandler_getSensorStatus(kPort).status, notReady);
    EXPECT_EQ(count("*RST"), 0) << "nothing reached the sensor";
    // Once detection binds a working node, the waiting slot measures.
    sensorPortHandler_releaseUsbDescriptor(kPort);
    const int fd = UsbTmcPort_Open(kPort, "/dev/usbtmc0");
    ASSERT_GT(fd, 0);
    UsbSlot_bind(kPort, fd, "/dev/usbtmc0");
    EXPECT_TRUE(measuring());
    detectRemoval();
  }
}

TEST_F(UsbHandlerTest, TransportFailureDuringASendFailsEveryPendingRequest) {
  configuration_setPulseMode(true);
  plug("P804");
  ASSERT_TRUE(measuring());
  const SENSOR_CONFIGS base = sensorPortHandler_getSensorConfigs(kPort);
  // The answer of the previous send, which no later requester may be given.
  SENSOR_CONFIGS rejected = base;
  rejected.gateBegin = 3.0F;
  ASSERT_EQ(texts(sensorPortHandler_setSensorConfigs(kPort, rejected)),
            std::vector<std::string>{"Gate Begin is not valid"});
  ASSERT_TRUE(measuring());

  const auto request = [&](float delay) {
    SENSOR_CONFIGS c = base;
    c.trigDelayVal = delay;
    return texts(sensorPortHandler_setSensorConfigs(kPort, c));
  };
  UsbSlotLease lease = leaseBeforeSend();
  ASSERT_TRUE(lease.hold.owns_lock());
  const std::uint64_t before = configRequests();
  auto first = std::async(std::launch::async, request, 0.25F);
  auto second = std::async(std::launch::async, request, 0.5F);
  const bool bothPending = waitUntil([&] { return configRequests() >= before + 2; });
  // From here on the sensor takes commands but answers nothing: the send's
  // first exchange fails on the bus.
  control("fault usb1 silent");
  const int sendsBegun = count("SENS:FREQ:AUTO?");
  lease = UsbSlotLease{};
  ASSERT_TRUE(bothPending);
  const std::vector<std::string> failed{"Not applied: sensor restarted"};
  EXPECT_EQ(first.get(), failed);
  EXPECT_EQ(second.get(), failed);
  EXPECT_EQ(count("SENS:FREQ:AUTO?"), sendsBegun + 1) << "the send had begun";
  EXPECT_EQ(count("TRIG:DEL"), 0) << "and ended at its first exchange";
  EXPECT_NE(root.messages().find("USB sensor 2 frequency auto command failed with a transport error"),
            std::string::npos);

  control("fault usb1 none");
  ASSERT_TRUE(measuring());
  EXPECT_EQ(ask("TRIG:DEL?"), "0") << "nothing of the failed requests reached the sensor";
  EXPECT_EQ(request(0.125F), std::vector<std::string>{});
  EXPECT_EQ(ask("TRIG:DEL?"), "0.125");
}

TEST_F(UsbHandlerTest, TwoRequestersAcrossARestartEachGetTheAnswerOfTheirOwnRequest) {
  configuration_setPulseMode(true);
  plug("P804");
  ASSERT_TRUE(measuring());
  const SENSOR_CONFIGS base = sensorPortHandler_getSensorConfigs(kPort);
  // Every request holds rejected values, a different set each time: an
  // answer names exactly the set of the send it came from, and an empty
  // answer is never true.
  struct Rejection {
    std::function<void(SENSOR_CONFIGS&)> apply;
    const char* error;
  };
  const std::array<Rejection, 4> rejections{{
      {[](SENSOR_CONFIGS& c) { c.bAutoFrequency = false; c.freqVal = 9.0e9F; }, "Freq is not valid"},
      {[](SENSOR_CONFIGS& c) { c.bAutoTriggerLevel = false; c.trigLevelVal = 500.0F; }, "Trigger Level is not valid"},
      {[](SENSOR_CONFIGS& c) { c.trigDelayVal = 5.0F; }, "Trigger Delay is not valid"},
      {[](SENSOR_CONFIGS& c) { c.gateBegin = 3.0F; }, "Gate Begin is not valid"},
  }};
  const auto expectedFor = [&](unsigned mask) {
    std::vector<std::string> errors;  // in the order of the send
    for (std::size_t i = 0; i < rejections.size(); ++i) {
      if ((mask & (1U << i)) != 0) errors.emplace_back(rejections[i].error);
    }
    return errors;
  };
  const auto isFailure = [](const std::vector<std::string>& answer) {
    return answer == std::vector<std::string>{"Not applied: sensor restarted"} ||
           answer == std::vector<std::string>{"Not applied: config re-read"};
  };

  struct Round {
    unsigned mask;
    Clock::time_point asked;
    Clock::time_point answered;
    std::vector<std::string> answer;
  };
  struct Requester {
    std::vector<Round> rounds;
    std::atomic<int> sent{0};    // answers from a send
    std::atomic<int> failed{0};  // answers that it was not applied
  };
  std::array<Requester, 2> requesters;
  std::atomic<bool> stop{false};
  const auto run = [&](std::size_t who) {
    Requester& me = requesters[who];
    for (unsigned round = 0; !stop.load(); ++round) {
      // The two requesters never ask for the same set at the same time.
      const unsigned mask = 1U + (2U * round + static_cast<unsigned>(who)) % 15U;
      SENSOR_CONFIGS c = base;
      for (std::size_t i = 0; i < rejections.size(); ++i) {
        if ((mask & (1U << i)) != 0) rejections[i].apply(c);
      }
      Round r{mask, Clock::now(), {}, {}};
      r.answer = texts(sensorPortHandler_setSensorConfigs(kPort, c));
      r.answered = Clock::now();
      ++(isFailure(r.answer) ? me.failed : me.sent);
      me.rounds.push_back(std::move(r));
    }
  };
  const auto each = [&](const std::function<bool(const Requester&)>& condition) {
    return waitUntil([&] { return condition(requesters[0]) && condition(requesters[1]); });
  };

  std::thread first(run, 0);
  std::thread second(run, 1);
  const bool sentBefore = each([](const Requester& r) { return r.sent.load() >= 2; });
  // The next measurement never completes: the handler restarts while both
  // wait for their answers.
  const int resets = count("*RST");
  control("fault usb1 opc-never");
  const bool failedAcross = each([](const Requester& r) { return r.failed.load() >= 1; });
  // The reset follows the failed measurement after the USB-level clear.
  const bool restarted = waitUntil([&] { return count("*RST") > resets; });
  control("fault usb1 none");
  const std::array<int, 2> sentAtRecovery{requesters[0].sent.load(), requesters[1].sent.load()};
  const bool sentAfter = waitUntil([&] {
    return requesters[0].sent.load() >= sentAtRecovery[0] + 2 && requesters[1].sent.load() >= sentAtRecovery[1] + 2;
  });
  stop = true;
  first.join();
  second.join();
  EXPECT_TRUE(sentBefore);
  EXPECT_TRUE(restarted);
  EXPECT_TRUE(failedAcross) << "both requesters were answered across the restart";
  EXPECT_TRUE(sentAfter) << "and both are served after it";

  // An answer is its own request's, that it was not applied, or - when the
  // other requester's request replaced it before the send - that of a
  // request of the other made while this one was waiting.
  std::vector<std::string> wrong;
  for (std::size_t who = 0; who < requesters.size(); ++who) {
    for (const Round& r : requesters[who].rounds) {
      if (isFailure(r.answer) || r.answer == expectedFor(r.mask)) continue;
      const std::vector<Round>& other = requesters[1 - who].rounds;
      const bool replaced = std::any_of(other.begin(), other.end(), [&](const Round& o) {
        return o.asked < r.answered && o.answered > r.asked && r.answer == expectedFor(o.mask);
      });
      if (replaced) continue;
      std::string got;
      for (const std::string& text : r.answer) got += "[" + text + "]";
      wrong.push_back("requester " + std::to_string(who) + " set " + std::to_string(r.mask) + " got " + got);
    }
  }
  EXPECT_EQ(wrong, std::vector<std::string>{});
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
