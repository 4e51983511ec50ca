// The sensor manager driven with detection records directly: display slots,
// logical channels and the question to the user.
#include "sensor_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

namespace {

// The question as the screen would show it: every ask and withdraw noted.
std::vector<int> asked;
int withdrawn = 0;

class SensorManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    asked.clear();
    withdrawn = 0;
    SensorManager_Create();
    SensorManager_setChannelQuestion({[](int port) { asked.push_back(port); }, [] { ++withdrawn; }});
  }
  void TearDown() override {
    SensorManager_setChannelQuestion({});
    SensorManager_Destroy();
    for (int port = 0; port < kSensorPortCount; ++port) sensorPortHandler_setIsConnected(port, false);
  }
  // One detection pass reporting `present`.
  CONNECTED_SENSORS pass(std::uint32_t present) {
    CONNECTED_SENSORS record;
    record.detectedSensors = present;
    record.detectedSensorsChanged = present ^ previous.detectedSensors;
    SensorManager_UpdatePhysicalSensors(&record, true);
    previous = record;
    return record;
  }
  CONNECTED_SENSORS previous;
};

std::uint32_t channelOf(int port) { return SensorInstance_GetLogicalChannel(port); }

TEST_F(SensorManagerTest, ALoneSensorIsAskedAboutOnce) {
  EXPECT_TRUE(pass(0x01).promptForlogicalChannel);
  EXPECT_FALSE(SensorManager_UpdateLogicalChannel());
  EXPECT_FALSE(SensorManager_UpdateLogicalChannel());  // still open: not asked again
  EXPECT_EQ(asked, std::vector<int>{0});
  SensorManager_answerChannelQuestion(0, sensorLogicalChannel2);
  EXPECT_TRUE(SensorManager_UpdateLogicalChannel());
  EXPECT_EQ(channelOf(0), std::uint32_t{sensorLogicalChannel2});
  EXPECT_EQ(SensorManager_openQuestion(), sensorPort_None);
}

TEST_F(SensorManagerTest, TheActivePortsFollowTheSlots) {
  using Ports = std::array<int, 2>;
  EXPECT_EQ(SensorManager_getActivePorts(), (Ports{sensorPort_None, sensorPort_None}));
  pass(0x01);
  SensorManager_UpdateLogicalChannel();
  SensorManager_answerChannelQuestion(0, sensorLogicalChannel1);
  SensorManager_UpdateLogicalChannel();
  pass(0x11);
  SensorManager_UpdateLogicalChannel();
  const Ports both = SensorManager_getActivePorts();
  EXPECT_EQ(std::count(both.begin(), both.end(), 0), 1);
  EXPECT_EQ(std::count(both.begin(), both.end(), 2), 1);
  pass(0x10);  // the serial sensor pulled
  const Ports one = SensorManager_getActivePorts();
  EXPECT_EQ(std::count(one.begin(), one.end(), 0), 0);
  EXPECT_EQ(std::count(one.begin(), one.end(), 2), 1);
}

TEST_F(SensorManagerTest, ASecondSensorTakesTheOtherChannelWithoutAsking) {
  pass(0x01);
  SensorManager_UpdateLogicalChannel();
  SensorManager_answerChannelQuestion(0, sensorLogicalChannel2);
  SensorManager_UpdateLogicalChannel();
  asked.clear();
  EXPECT_FALSE(pass(0x11).promptForlogicalChannel);
  EXPECT_TRUE(SensorManager_UpdateLogicalChannel());
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(channelOf(2), std::uint32_t{sensorLogicalChannel1});
  EXPECT_EQ(SensorInstance_GetActiveCount(), 2);
  EXPECT_TRUE(SensorInstance_IsLogicalChannelAssigned(sensorLogicalChannel1));
  EXPECT_TRUE(SensorInstance_IsLogicalChannelAssigned(sensorLogicalChannel2));
}

TEST_F(SensorManagerTest, TwoSensorsInOnePassAskOnce) {
  EXPECT_TRUE(pass(0x12).promptForlogicalChannel);
  EXPECT_FALSE(SensorManager_UpdateLogicalChannel());
  // Slot 1's sensor is the one asked about: USB1 comes before Serial2.
  EXPECT_EQ(asked, std::vector<int>{2});
  SensorManager_answerChannelQuestion(2, sensorLogicalChannel1);
  EXPECT_TRUE(SensorManager_UpdateLogicalChannel());
  EXPECT_EQ(asked.size(), 1u);
  EXPECT_EQ(channelOf(2), std::uint32_t{sensorLogicalChannel1});
  EXPECT_EQ(channelOf(1), std::uint32_t{sensorLogicalChannel2});
}

TEST_F(SensorManagerTest, ASensorPulledWhileAskedIsSkipped) {
  struct Case {
    const char* name;
    bool answerBeforePull;
    bool passSeesThePull;  // a display pass runs between the pull and the answer
    bool replugSamePort;
    int withdrawn;
  };
  const Case cases[] = {
      {"pulled, then answered", false, false, false, 0},
      {"answered, pulled before the pass", true, false, false, 0},
      {"pulled, the pass withdraws the question, a late answer", false, true, false, 1},
      {"pulled and plugged in again", false, false, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    previous = {};
    pass(0x01);
    SensorManager_UpdateLogicalChannel();
    ASSERT_EQ(SensorManager_openQuestion(), 0);
    if (c.answerBeforePull) SensorManager_answerChannelQuestion(0, sensorLogicalChannel2);
    pass(0x00);
    if (c.replugSamePort) pass(0x01);
    if (c.passSeesThePull) {
      EXPECT_TRUE(SensorManager_UpdateLogicalChannel());
    }
    if (!c.answerBeforePull) SensorManager_answerChannelQuestion(0, sensorLogicalChannel2);
    const bool settled = SensorManager_UpdateLogicalChannel();
    EXPECT_EQ(withdrawn, c.withdrawn);
    if (c.replugSamePort) {
      // The answer was for the sensor that left; the new one is asked anew.
      EXPECT_FALSE(settled);
      EXPECT_EQ(asked, (std::vector<int>{0, 0}));
      EXPECT_EQ(channelOf(0), std::uint32_t{sensorLogicalNoChannel});
    } else {
      EXPECT_TRUE(settled);
      EXPECT_EQ(channelOf(0), std::uint32_t{sensorLogicalNoChannel});
      EXPECT_EQ(SensorManager_openQuestion(), sensorPort_None);
    }
  }
}

// With two sensors waiting, pulling the one asked about leaves the other,
// which is asked about next.
TEST_F(SensorManagerTest, ThePulledSensorsQuestionPassesToTheOther) {
  pass(0x11);
  SensorManager_UpdateLogicalChannel();
  ASSERT_EQ(asked, std::vector<int>{2});
  pass(0x01);
  EXPECT_FALSE(SensorManager_UpdateLogicalChannel());
  EXPECT_EQ(asked, (std::vector<int>{2, 0}));
  EXPECT_EQ(withdrawn, 1);
  SensorManager_answerChannelQuestion(2, sensorLogicalChannel1);  // stale: ignored
  EXPECT_FALSE(SensorManager_UpdateLogicalChannel());
  SensorManager_answerChannelQuestion(0, sensorLogicalChannel1);
  EXPECT_TRUE(SensorManager_UpdateLogicalChannel());
  EXPECT_EQ(channelOf(0), std::uint32_t{sensorLogicalChannel1});
}

TEST_F(SensorManagerTest, RemovalGivesAFreshInstance) {
  pass(0x20);
  EXPECT_TRUE(SensorManager_IsSensorActive(3));
  EXPECT_TRUE(sensorPortHandler_getIsConnected(3));
  const SensorInstance* instance = SensorManager_GetSensorInstance(3);
  ASSERT_NE(instance, nullptr);
  EXPECT_TRUE(instance->isPulseSensor);
  EXPECT_EQ(instance->physicalChannel, 0x20u);
  pass(0x00);
  EXPECT_FALSE(SensorManager_IsSensorActive(3));
  EXPECT_FALSE(sensorPortHandler_getIsConnected(3));
  EXPECT_EQ(instance->index, std::uint32_t{sensorPort_None});
  EXPECT_EQ(instance->physicalChannel, 0u);
  EXPECT_EQ(SensorInstance_GetActiveCount(), 0);
  EXPECT_EQ(SensorManager_GetSensorInstance(4), nullptr);
  EXPECT_FALSE(SensorManager_IsSensorActive(4));
}

TEST_F(SensorManagerTest, WithoutAScreenTheFirstChannelIsTaken) {
  SensorManager_setChannelQuestion({});
  pass(0x02);
  EXPECT_TRUE(SensorManager_UpdateLogicalChannel());
  EXPECT_EQ(channelOf(1), std::uint32_t{sensorLogicalChannel1});
}

TEST(SensorManagerLifecycleTest, NothingBeforeCreation) {
  EXPECT_EQ(SensorManager_GetActiveSensors(), nullptr);
  EXPECT_TRUE(SensorManager_UpdateLogicalChannel());
  EXPECT_EQ(SensorInstance_GetActiveCount(), 0);
}

}  // namespace
