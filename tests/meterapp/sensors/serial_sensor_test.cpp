#include "serial_sensor.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "device_fixtures.h"
#include "log_manager.h"
#include "platform.h"
#include "scripted_sensor.h"
#include "sensor_port_handler.h"
#include "serial_port.h"
#include "text_field.h"

namespace {

using namespace std::chrono_literals;
using test_support::identityReply;
using test_support::PseudoTerminal;
using test_support::ScratchRoot;
using test_support::ScriptedIdentity;
using test_support::ScriptedSensor;
using test_support::waitUntil;

constexpr int kPort = sensorPort_Serial1;

std::string modelOf(int port) {
  return std::string(TextField_view(sensorPortHandler_getSensorInformation(port).sensorIdentity.sensorModel));
}
std::string serialOf(int port) {
  return std::string(TextField_view(sensorPortHandler_getSensorInformation(port).serialNumber));
}
bool isReadyNow(int port) { return sensorPortHandler_getSensorStatus(port).status == isReady; }

// ---- Reply parsing -------------------------------------------------------

TEST(SerialIdentity, ParsesTheFortyByteReply) {
  struct Case {
    const char* name;
    ScriptedIdentity sent;
    const char* model;
    std::array<char, 16> capabilities;
  };
  const Case cases[] = {
      {"padded model", {"C604", "1.02", "FRHTSIZ", 150.0F, 0.001F}, "C604", {'F', 'R', 'H', 'T', 'S', 'I', 'Z'}},
      {"full-length model", {"C602A200", "V2", "F R  H", 1.0F, 0.5F}, "C602A200", {'F', 0, 'R', 0, 0, 'H'}},
      {"no capabilities", {"QRV", "", "", 2.0F, 0.25F}, "QRV", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SENSOR_IDENTITY identity;
    SerialSensor_parseIdentity(identityReply(c.sent).data(), &identity);
    EXPECT_EQ(TextField_view(identity.sensorModel), c.model);
    EXPECT_EQ(TextField_view(identity.sensorFirmwareRevision), c.sent.firmware);
    EXPECT_EQ(identity.sensorSupportedCommands, c.capabilities);
    // The limits are stored as sent, not squared like the readings.
    EXPECT_FLOAT_EQ(identity.sensorPower.max, c.sent.maxPower);
    EXPECT_FLOAT_EQ(identity.sensorPower.min, c.sent.minPower);
  }
}

TEST(SerialIdentity, OnlyTrailingPaddingIsRemovedFromTheModel) {
  std::string reply = identityReply({"C6\xFF" "04", "1", "", 1.0F, 1.0F});
  SENSOR_IDENTITY identity;
  SerialSensor_parseIdentity(reply.data(), &identity);
  EXPECT_EQ(TextField_view(identity.sensorModel), "C6\xFF" "04");
}

TEST(SerialIdentity, ModelsWithoutSerialNumberMemory) {
  const struct {
    const char* model;
    bool hasMemory;
  } cases[] = {{"C602A200", false}, {"C602A2001", false}, {"QRV", false}, {"QRV-12", false},
               {"C602A20", true},   {"C604", true},       {"QR", true},  {"", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    EXPECT_EQ(SerialSensor_hasSerialNumberMemory(c.model), c.hasMemory);
  }
}

TEST(SerialNumber, KeepsTheDigitsUpToEight) {
  const struct {
    std::string memory;
    const char* serial;
  } cases[] = {
      {"12-345678", "12345678"},
      {"123456789", "12345678"},  // nine digits: the field holds eight
      {std::string("\xFF\xFF" "42\x00" "7abc", 8), "427"},
      {"--------", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.memory);
    std::array<char, 9> serial;
    serial.fill('x');
    SerialSensor_keepDigits(c.memory, serial);
    EXPECT_EQ(TextField_view(serial), c.serial);
    EXPECT_EQ(serial.back(), '\0');
  }
}

// ---- Waiting for a reply -------------------------------------------------

TEST(WaitForSensorResponse, CollectsPartsAndStopsAtTheLimit) {
  PseudoTerminal pty;
  const int fd = serial_open_forsensor(pty.slavePath().c_str());
  ASSERT_GE(fd, 0);
  ScriptedSensor quiet(pty.master());  // raw master; answers nothing unasked
  std::array<char, 8> buffer;
  buffer.fill('#');

  std::jthread writer([&] {
    pty.writeMaster("ab");
    std::this_thread::sleep_for(50ms);
    pty.writeMaster("cd");
  });
  EXPECT_EQ(waitForSensorResponse(fd, buffer.data(), 4, 2000), 4);
  EXPECT_EQ(std::string(buffer.data(), 4), "abcd");
  writer.join();

  // A short reply gives what arrived; the rest of the buffer is cleared.
  buffer.fill('#');
  pty.writeMaster("xyz");
  EXPECT_EQ(waitForSensorResponse(fd, buffer.data(), 4, 200), 3);
  EXPECT_EQ(std::string(buffer.data(), 4), std::string("xyz\0", 4));
  ::close(fd);

  EXPECT_EQ(waitForSensorResponse(-1, buffer.data(), 4, 10), 0);
}

// ---- The handler thread against a scripted sensor ------------------------

class SerialHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pty.linkAs(root, "/dev/ttyS1");
    sensor = std::make_unique<ScriptedSensor>(pty.master());
  }
  void TearDown() override {
    sensorPortHandler_setIsConnected(kPort, false);
    SensorPortHandler_Stop(kPort);
    sensor.reset();
  }
  void attach() {
    SensorPortHandler_Create(kPort);
    sensorPortHandler_setIsConnected(kPort, true);
  }
  void attachAndWaitReady() {
    attach();
    ASSERT_TRUE(waitUntil([] { return isReadyNow(kPort); })) << "commands: " << sensor->commands();
  }
  // Waits until a reading with this forward power has been stored.
  bool waitForForward(float watts) {
    return waitUntil([&] { return sensorPortHandler_getSensorMeasurements(kPort).fwdPwrVal == watts; });
  }

  ScratchRoot root;
  PseudoTerminal pty;
  std::unique_ptr<ScriptedSensor> sensor;
};

TEST_F(SerialHandlerTest, IdentifiesReadsTheSerialNumberAndMeasures) {
  sensor->setMemory(std::string("12-345678", 9));
  attachAndWaitReady();
  EXPECT_TRUE(sensorPortHandler_getIsInitialized(kPort));

  const SENSOR_INFORMATION_DATA info = sensorPortHandler_getSensorInformation(kPort);
  EXPECT_EQ(TextField_view(info.sensorIdentity.sensorModel), "C604");
  EXPECT_EQ(TextField_view(info.sensorIdentity.sensorFirmwareRevision), "1.02");
  EXPECT_EQ(TextField_view(info.serialNumber), "12345678");
  EXPECT_FLOAT_EQ(sensorPortHandler_getSensorMaxPower(kPort), 150.0F);
  EXPECT_FLOAT_EQ(sensorPortHandler_getSensorMinPower(kPort), 0.001F);
  // The serial number is read byte by byte from the nine memory addresses,
  // each with the three-byte memory read "Z", 0x04, address.
  EXPECT_EQ(sensor->commands().substr(0, 11), "SIZZZZZZZZZ");
  std::string memoryReads;
  for (char address = 0x30; address <= 0x38; ++address) memoryReads += std::string{'Z', '\x04', address};
  EXPECT_EQ(sensor->received().substr(2, memoryReads.size()), memoryReads);

  ASSERT_TRUE(waitForForward(100.0F));
  ASSERT_TRUE(waitUntil([] { return SensorPortHandler_getSerialCycleTiming(kPort).measCycle_time_ms > 0.0; }));
  const SENSOR_MEASUREMENTS m = sensorPortHandler_getSensorMeasurements(kPort);
  EXPECT_FLOAT_EQ(m.rflPwrVal, 4.0F);        // squared like forward
  EXPECT_FLOAT_EQ(m.freqVal, 915.0F);        // as sent
  EXPECT_FLOAT_EQ(m.temperatureVal, 23.5F);  // as sent
  EXPECT_EQ(m.prdVal, 0.0F);
  // The cycle is F, R, H, T, S over and over.
  std::size_t firstCycle = std::string::npos;
  ASSERT_TRUE(waitUntil([&] {
    const std::string commands = sensor->commands();
    firstCycle = commands.find('F');
    return firstCycle != std::string::npos && commands.size() >= firstCycle + 10;
  }));
  EXPECT_EQ(sensor->commands().substr(firstCycle, 10), "FRHTSFRHTS");
  EXPECT_TRUE(waitUntil([] { return newMeasurementIsAvailable[kPort].load(); }));

  // Readings follow the sensor; a change can land in the middle of a cycle,
  // so wait for all four.
  sensor->setReadings({3.0F, 1.5F, 2450.0F, 31.0F});
  EXPECT_TRUE(waitUntil([] {
    const SENSOR_MEASUREMENTS changed = sensorPortHandler_getSensorMeasurements(kPort);
    return changed.fwdPwrVal == 9.0F && changed.rflPwrVal == 2.25F && changed.freqVal == 2450.0F &&
           changed.temperatureVal == 31.0F;
  }));
}

TEST_F(SerialHandlerTest, InvalidMemoryAnswersGiveAnEmptySerialNumber) {
  sensor->setMemory("123456789", 1);
  attachAndWaitReady();
  EXPECT_EQ(serialOf(kPort), "");
}

TEST_F(SerialHandlerTest, NineDigitSerialNumberKeepsTheFirstEight) {
  sensor->setMemory("987654321");
  attachAndWaitReady();
  EXPECT_EQ(serialOf(kPort), "98765432");
}

TEST_F(SerialHandlerTest, ModelsWithoutMemoryAreReadyWithoutMemoryReads) {
  for (const char* model : {"C602A200", "QRV7"}) {
    SCOPED_TRACE(model);
    ScriptedIdentity identity;
    identity.model = model;
    sensor->setIdentity(identity);
    const std::size_t before = sensor->commands().size();
    attachAndWaitReady();
    EXPECT_EQ(modelOf(kPort), model);
    EXPECT_EQ(serialOf(kPort), "");
    ASSERT_TRUE(waitUntil([&] { return sensor->commands().find('F', before) != std::string::npos; }));
    const std::string sinceAttach = sensor->commands().substr(before);
    EXPECT_EQ(sinceAttach.substr(0, 3), "SIF");
    EXPECT_EQ(sinceAttach.find('Z'), std::string::npos);
    sensorPortHandler_setIsConnected(kPort, false);
    SensorPortHandler_Stop(kPort);
  }
}

TEST_F(SerialHandlerTest, ShortForwardReplyResynchronisesAndKeepsTheLastReading) {
  attachAndWaitReady();
  ASSERT_TRUE(waitForForward(100.0F));

  // Catch the sensor at the start of a cycle, so that the new readings below
  // can only show up after the fault.
  sensor->holdNext('F');
  ASSERT_TRUE(waitUntil([&] { return sensor->isHolding(); }));
  const std::size_t before = sensor->commands().size() - 1;
  sensor->setReadings({5.0F, 1.0F, 100.0F, 20.0F});
  sensor->shortReplyToNextForward();
  sensor->holdNext('I');
  ASSERT_TRUE(waitUntil([&] { return sensor->isHolding(); }));
  // Resynchronising: the old reading and identity are still there.
  const SENSOR_MEASUREMENTS meanwhile = sensorPortHandler_getSensorMeasurements(kPort);
  EXPECT_FLOAT_EQ(meanwhile.fwdPwrVal, 100.0F);
  EXPECT_FLOAT_EQ(meanwhile.rflPwrVal, 4.0F);
  EXPECT_TRUE(isReadyNow(kPort));
  EXPECT_EQ(modelOf(kPort), "C604");
  sensor->release();

  ASSERT_TRUE(waitForForward(25.0F));
  EXPECT_EQ(sensor->faults(), 1);
  // After the broken "F": flush (silence), then "S", "I", the nine memory
  // reads and only then the next cycle.
  EXPECT_EQ(sensor->commands().substr(before, 13), "FSIZZZZZZZZZF");
}

TEST_F(SerialHandlerTest, APowerBeyondTheFloatRangeIsTakenForLineNoise) {
  attachAndWaitReady();
  ASSERT_TRUE(waitForForward(100.0F));
  for (const ScriptedSensor::Readings bad : {ScriptedSensor::Readings{1e20F, 2.0F, 915.0F, 23.5F},
                                             ScriptedSensor::Readings{10.0F, -3e19F, 915.0F, 23.5F}}) {
    sensor->holdNext('F');
    ASSERT_TRUE(waitUntil([&] { return sensor->isHolding(); }));
    const std::size_t before = sensor->commands().size();
    sensor->setReadings(bad);
    sensor->release();
    // Its square would be an infinite power: the handler resynchronises
    // instead, and the last good reading stays.
    ASSERT_TRUE(waitUntil([&] { return sensor->commands().find('I', before) != std::string::npos; }));
    const SENSOR_MEASUREMENTS m = sensorPortHandler_getSensorMeasurements(kPort);
    EXPECT_FLOAT_EQ(m.fwdPwrVal, 100.0F);
    EXPECT_FLOAT_EQ(m.rflPwrVal, 4.0F);
    sensor->setReadings({});
    ASSERT_TRUE(waitUntil([&] { return isReadyNow(kPort) && SensorPortHandler_getSerialState(kPort) == stateSerTemp; }));
  }
}

TEST_F(SerialHandlerTest, ASensorWithoutMemoryFoundOnResyncHasNoSerialNumber) {
  attachAndWaitReady();
  ASSERT_EQ(serialOf(kPort), "12345678");
  // The line drops out and the sensor that answers afterwards is another one.
  sensor->holdNext('F');
  ASSERT_TRUE(waitUntil([&] { return sensor->isHolding(); }));
  ScriptedIdentity other;
  other.model = "QRV7";
  sensor->setIdentity(other);
  sensor->shortReplyToNextForward();
  sensor->release();
  ASSERT_TRUE(waitUntil([] { return modelOf(kPort) == "QRV7"; }));
  EXPECT_EQ(serialOf(kPort), "");
}

TEST_F(SerialHandlerTest, ASensorThatNeverStopsSendingKeepsTheHandlerFlushing) {
  sensor->setBabbling(true);
  attach();
  std::this_thread::sleep_for(3500ms);  // longer than one flush limit
  EXPECT_EQ(SensorPortHandler_getSerialState(kPort), stateSerFlush);
  EXPECT_EQ(sensor->bytesReceived(), 0U) << "the handler sent something while the line was busy";
  EXPECT_FALSE(isReadyNow(kPort));
  EXPECT_FALSE(sensorPortHandler_getIsInitialized(kPort));

  sensor->setBabbling(false);
  EXPECT_TRUE(waitUntil([] { return isReadyNow(kPort); }));
}

TEST_F(SerialHandlerTest, ClearingTheFlagEndsTheCycleAfterTheCurrentExchange) {
  attachAndWaitReady();
  ASSERT_TRUE(waitForForward(100.0F));
  sensor->setReadings({10.0F, 2.0F, 433.0F, 23.5F});
  sensor->holdNext('H');
  ASSERT_TRUE(waitUntil([&] { return sensor->isHolding(); }));
  sensorPortHandler_setIsConnected(kPort, false);
  const std::size_t atClear = sensor->commands().size();
  sensor->release();

  // The frequency exchange in progress completes, then the handler stops.
  ASSERT_TRUE(waitUntil([] { return sensorPortHandler_getSensorMeasurements(kPort).freqVal == 433.0F; }));
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(sensor->commands().size(), atClear) << sensor->commands().substr(atClear);
  EXPECT_EQ(SensorPortHandler_getSerialState(kPort), stateSerTemp);
  // Identity and reading stay until the next attachment.
  EXPECT_EQ(modelOf(kPort), "C604");
  EXPECT_FLOAT_EQ(sensorPortHandler_getSensorMeasurements(kPort).fwdPwrVal, 100.0F);

  // Attaching again starts from scratch: the information is reset, then
  // flush, sync, identify.
  sensor->holdNext('S');
  sensorPortHandler_setIsConnected(kPort, true);
  ASSERT_TRUE(waitUntil([&] { return sensor->isHolding(); }));
  EXPECT_EQ(modelOf(kPort), "");
  EXPECT_EQ(serialOf(kPort), "");
  EXPECT_FLOAT_EQ(sensorPortHandler_getSensorMaxPower(kPort), kUnidentifiedMaxPower);
  EXPECT_TRUE(std::isnan(sensorPortHandler_getSensorMeasurements(kPort).fwdPwrVal));
  EXPECT_FALSE(isReadyNow(kPort));
  EXPECT_FALSE(sensorPortHandler_getIsInitialized(kPort));
  sensor->release();
  EXPECT_TRUE(waitUntil([] { return isReadyNow(kPort); }));
  EXPECT_EQ(sensor->commands().substr(atClear, 3), "SIZ");
}

// How many descriptors of this process are open on `path`.
int descriptorsOpenOn(const std::string& path) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ignored;
    if (std::filesystem::read_symlink(entry.path(), ignored) == path) ++count;
  }
  return count;
}

TEST(SerialHandlerPort, ASensorLineThatVanishesMidExchangeKeepsTheLastReadingAndLeaksNothing) {
  constexpr int port = sensorPort_Serial2;
  ScratchRoot root;
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string slave = ::ptsname(master);
  std::filesystem::create_directories(root / "/dev");
  std::filesystem::create_symlink(slave, root / "/dev/ttyS2");
  auto sensor = std::make_unique<ScriptedSensor>(master);

  SensorPortHandler_Create(port);
  sensorPortHandler_setIsConnected(port, true);
  ASSERT_TRUE(waitUntil([] { return sensorPortHandler_getSensorMeasurements(port).fwdPwrVal == 100.0F; }));
  EXPECT_EQ(descriptorsOpenOn(slave), 1);
  // The far end goes away while the handler waits for a reply.
  sensor->replyNextWith('H', "");
  sensor->holdNext('H');
  ASSERT_TRUE(waitUntil([&] { return sensor->isHolding(); }));
  sensor.reset();
  ::close(master);

  // Every exchange fails from now on: the handler stays out of the cycle and
  // what it read last stays readable.
  const auto measuringNow = [] {
    const sensorSerCommState state = SensorPortHandler_getSerialState(port);
    return state >= stateSerFwd && state <= stateSerFramingSync;
  };
  ASSERT_TRUE(waitUntil([&] { return !measuringNow(); }, 5000ms));
  std::this_thread::sleep_for(1500ms);
  EXPECT_FALSE(measuringNow());
  EXPECT_FLOAT_EQ(sensorPortHandler_getSensorMeasurements(port).fwdPwrVal, 100.0F);
  EXPECT_EQ(modelOf(port), "C604");
  EXPECT_EQ(serialOf(port), "12345678");

  sensorPortHandler_setIsConnected(port, false);
  SensorPortHandler_Stop(port);
  EXPECT_EQ(descriptorsOpenOn(slave), 0) << "the port's descriptor outlived its handler";
}

TEST(SerialHandlerPort, APortThatCannotBeOpenedWarnsAndNeverBecomesReady) {
  ScratchRoot root;  // no dev/ttyS1 under it
  SensorPortHandler_Create(kPort);
  sensorPortHandler_setIsConnected(kPort, true);
  EXPECT_TRUE(waitUntil([&] { return root.messages().find("USER_WARNING:  Unable to open sensor port 0.") !=
                                     std::string::npos; }));
  std::this_thread::sleep_for(2000ms);
  EXPECT_FALSE(isReadyNow(kPort));
  EXPECT_FALSE(sensorPortHandler_getIsInitialized(kPort));
  EXPECT_EQ(modelOf(kPort), "");
  sensorPortHandler_setIsConnected(kPort, false);
  SensorPortHandler_Stop(kPort);
}

// ---- One step of the state machine at a time ------------------------------

// Counts the new-reading signals the handler gives the reading listener (the
// legacy RS-232 interface on the meter), for the test's port only.
class ReadingSignals {
 public:
  explicit ReadingSignals(const ScratchRoot&) {
    calls_ = 0;
    sensorPortHandler_setReadingListener(&ReadingSignals::heard);
  }
  ReadingSignals(const ReadingSignals&) = delete;
  ReadingSignals& operator=(const ReadingSignals&) = delete;
  ~ReadingSignals() { sensorPortHandler_setReadingListener(nullptr); }
  // Calls since the previous count.
  int count() { return calls_.exchange(0); }

 private:
  static void heard(int port) {
    if (port == kPort) ++calls_;
  }
  static inline std::atomic<int> calls_{0};
};

// A handler record of the test's own, stepped by hand against a scripted
// sensor (no handler thread), so that every transition can be seen alone.
class SerialStateMachineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fd = serial_open_forsensor(pty.slavePath().c_str());
    ASSERT_GE(fd, 0);
    h.serialPort.channelIndex = kPort;
    h.serialPort.fd = fd;
    sensor = std::make_unique<ScriptedSensor>(pty.master());
    sensorPortHandler_resetSensorInformation(kPort);
    sensorPortHandler_setSensorStatus(kPort, notReady, "");
  }
  void TearDown() override {
    sensor.reset();
    if (fd >= 0) ::close(fd);
  }
  // Runs one step from `state`; gives the next state and what was sent.
  std::pair<sensorSerCommState, std::string> stepFrom(sensorSerCommState state) {
    const std::size_t before = sensor->commands().size();
    h.sensorState = state;
    sensorSerialHandler_handleSensorStates(&h);
    // The scripted sensor notes each command before it answers, so the
    // list is complete once the step is over.
    return {h.sensorState.load(), sensor->commands().substr(before)};
  }

  ScratchRoot root;
  PseudoTerminal pty;
  int fd = -1;
  SERIAL_HANDLER_DATA h;
  std::unique_ptr<ScriptedSensor> sensor;
};

TEST_F(SerialStateMachineTest, EachStateSendsItsCommandAndMovesOnOnlyAfterAFullReply) {
  const std::string shortWord = test_support::sensorWord(1.0F).substr(0, 3);
  const std::optional<std::string> asSent;
  const struct {
    const char* name;
    sensorSerCommState from;
    char faultyCommand;  // its next reply is replaced by `reply`
    std::optional<std::string> reply;
    const char* sent;
    sensorSerCommState next;
  } cases[] = {
      {"not communicating is no state to stay in", stateSerConnect, 0, asSent, "", stateSerFlush},
      {"flush on a quiet line", stateSerFlush, 0, asSent, "", stateSerInitialSync},
      {"sync", stateSerInitialSync, 0, asSent, "S", stateSerIdentify},
      {"sync answered with another letter", stateSerInitialSync, 'S', "s", "S", stateSerFlush},
      {"sync unanswered", stateSerInitialSync, 'S', "", "S", stateSerFlush},
      {"identity of a sensor with memory", stateSerIdentify, 'I', asSent, "I", stateSerSerialNum},
      {"identity one byte short", stateSerIdentify, 'I', identityReply({}).substr(0, 39), "I", stateSerFlush},
      {"serial number", stateSerSerialNum, 0, asSent, "ZZZZZZZZZ", stateSerFwd},
      {"forward", stateSerFwd, 0, asSent, "F", stateSerRfl},
      {"forward short", stateSerFwd, 'F', shortWord, "F", stateSerFlush},
      {"reflected", stateSerRfl, 0, asSent, "R", stateSerFreq},
      {"reflected short", stateSerRfl, 'R', shortWord, "R", stateSerFlush},
      {"frequency", stateSerFreq, 0, asSent, "H", stateSerTemp},
      {"frequency short", stateSerFreq, 'H', shortWord, "H", stateSerFlush},
      {"temperature", stateSerTemp, 0, asSent, "T", stateSerFramingSync},
      {"temperature short", stateSerTemp, 'T', shortWord, "T", stateSerFlush},
      {"closing sync", stateSerFramingSync, 0, asSent, "S", stateSerFwd},
      {"closing sync unanswered", stateSerFramingSync, 'S', "", "S", stateSerFlush},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.reply) sensor->replyNextWith(c.faultyCommand, *c.reply);
    const auto [next, sent] = stepFrom(c.from);
    EXPECT_EQ(next, c.next);
    EXPECT_EQ(sent, c.sent);
  }
}

TEST_F(SerialStateMachineTest, ASerialNumberReadThatNobodyAnswersStartsOver) {
  sensor->setMemory("");  // no memory answers at all
  EXPECT_EQ(stepFrom(stateSerSerialNum), std::make_pair(stateSerFlush, std::string("ZZZZZZZZZ")));
  EXPECT_FALSE(h.isInitialized);
  EXPECT_FALSE(isReadyNow(kPort));
}

TEST_F(SerialStateMachineTest, EveryGoodForwardReadingIsSignalledOnce) {
  ReadingSignals signals(root);
  EXPECT_EQ(stepFrom(stateSerFwd).first, stateSerRfl);
  EXPECT_TRUE(newMeasurementIsAvailable[kPort]);
  EXPECT_FLOAT_EQ(h.sensorMeasurements.fwdPwrVal, 100.0F);
  EXPECT_EQ(signals.count(), 0) << "signalled before the reflected exchange";
  EXPECT_EQ(stepFrom(stateSerRfl).first, stateSerFreq);
  EXPECT_EQ(signals.count(), 1);

  // A reflected exchange that fails still hands on the new forward reading.
  EXPECT_EQ(stepFrom(stateSerFwd).first, stateSerRfl);
  sensor->replyNextWith('R', "");
  EXPECT_EQ(stepFrom(stateSerRfl).first, stateSerFlush);
  EXPECT_EQ(signals.count(), 1);

  // A failed forward exchange has no new reading to hand on.
  sensor->replyNextWith('F', "");
  EXPECT_EQ(stepFrom(stateSerFwd).first, stateSerFlush);
  EXPECT_FALSE(newMeasurementIsAvailable[kPort]);
  EXPECT_FLOAT_EQ(h.sensorMeasurements.fwdPwrVal, 100.0F);
  EXPECT_EQ(stepFrom(stateSerRfl).first, stateSerFreq);
  EXPECT_EQ(signals.count(), 0);
}

TEST_F(SerialStateMachineTest, TheCycleIsTimedFromForwardToTheClosingSync) {
  ASSERT_EQ(stepFrom(stateSerFwd).first, stateSerRfl);
  std::this_thread::sleep_for(50ms);
  for (const sensorSerCommState state : {stateSerRfl, stateSerFreq, stateSerTemp}) stepFrom(state);
  ASSERT_EQ(h.measCycle_time_ms, 0.0) << "timed before the cycle was closed";
  ASSERT_EQ(stepFrom(stateSerFramingSync).first, stateSerFwd);
  EXPECT_DOUBLE_EQ(h.measCycle_time_ms, h.finish_time_ms - h.start_time_ms);
  EXPECT_GE(h.measCycle_time_ms, 50.0);
  EXPECT_LT(h.measCycle_time_ms, 2000.0);
}

// ---- Readers on other threads ---------------------------------------------

TEST_F(SerialHandlerTest, ReadersOnOtherThreadsSeeOnlyWholeRecords) {
  const ScriptedIdentity a{"C604", "A-1.0", "FRHT", 100.0F, 0.01F};
  const ScriptedIdentity b{"C605XL", "B-2.0", "FR HT S", 200.0F, 0.02F};
  sensor->countCycles(true);
  sensor->faultEvery(150, a, b);
  attach();

  std::atomic<bool> done{false};
  std::atomic<int> readings{0};
  std::atomic<int> switches{0};
  auto reader = [&] {
    float lastFrequency = -1.0F;
    std::string lastModel;
    while (!done) {
      const SENSOR_INFORMATION_DATA info = sensorPortHandler_getSensorInformation(kPort);
      const std::string model(TextField_view(info.sensorIdentity.sensorModel));
      const std::string firmware(TextField_view(info.sensorIdentity.sensorFirmwareRevision));
      const float max = info.sensorIdentity.sensorPower.max;
      if (model == a.model) {
        EXPECT_EQ(firmware, a.firmware);
        EXPECT_EQ(max, a.maxPower);
      } else if (model == b.model) {
        EXPECT_EQ(firmware, b.firmware);
        EXPECT_EQ(max, b.maxPower);
      } else {
        EXPECT_EQ(model, "");
        EXPECT_EQ(max, kUnidentifiedMaxPower);
      }
      if (!lastModel.empty() && model != lastModel) ++switches;
      lastModel = model;
      const std::string serial(TextField_view(info.serialNumber));
      EXPECT_TRUE(serial.empty() || serial == "12345678") << serial;

      const SENSOR_MEASUREMENTS m = sensorPortHandler_getSensorMeasurements(kPort);
      if (!std::isnan(m.freqVal)) {
        // Every value is one the sensor sent (a whole cycle number) and
        // readings never go back in time.
        EXPECT_EQ(m.freqVal, std::floor(m.freqVal));
        EXPECT_GE(m.freqVal, lastFrequency);
        lastFrequency = m.freqVal;
        ++readings;
      }
      if (!std::isnan(m.fwdPwrVal)) {
        const float amplitude = std::sqrt(m.fwdPwrVal);
        EXPECT_EQ(amplitude, std::floor(amplitude)) << m.fwdPwrVal;
      }
      (void)sensorPortHandler_getSensorStatus(kPort);
      (void)sensorPortHandler_getIsInitialized(kPort);
      (void)SensorPortHandler_getSerialCycleTiming(kPort);
      (void)SensorPortHandler_getSerialState(kPort);
    }
  };
  std::vector<std::jthread> readers;
  for (int i = 0; i < 3; ++i) readers.emplace_back(reader);
  const bool sawTwoFaults = waitUntil([&] { return sensor->faults() >= 2 && isReadyNow(kPort); }, 30s);
  done = true;
  readers.clear();
  EXPECT_TRUE(sawTwoFaults);
  EXPECT_GT(readings.load(), 0);
  EXPECT_GT(switches.load(), 0) << "the identity never changed while readers watched";
}

}  // namespace
