// The display state machine driven through the records (sensor manager
// channels, port statuses and readings, stored settings), with a recording
// views table in place of the screen and no sensor thread.
#include "display_fsm.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "configuration.h"
#include "device_fixtures.h"
#include "display_fsm_views.h"
#include "sensor_manager.h"

namespace {

// What the screen would look like: container visibility and pages, plus
// every update handed to a display.
struct Screen {
  std::map<std::pair<int, int>, bool> visible;  // (container, channel)
  std::map<int, std::pair<FsmPage, std::string>> pages;
  struct Update {
    GtkSensorInstance instance;
    float fwd;
    bool graph;
    bool pulse;
  };
  std::vector<Update> updates;
  std::vector<int> published;  // ports handed to the remote record
  std::map<int, int> labelLengths;  // the last sensor label length given to each display
  int graphResets = 0;

  static int channelKey(FsmContainer c, int channel) { return c >= fsmDualNoConnectionScreens ? channel : 0; }
  bool shown(FsmContainer c, int channel = 0) const {
    auto it = visible.find({c, channelKey(c, channel)});
    return it != visible.end() && it->second;
  }
};
Screen screen;

const DisplayFsmViews kRecorder = {
    [](FsmContainer c, int ch) { screen.visible[{c, Screen::channelKey(c, ch)}] = true; },
    [](FsmContainer c, int ch) { screen.visible[{c, Screen::channelKey(c, ch)}] = false; },
    [](GtkSensorInstance i, FsmPage p, const char* port) { screen.pages[i] = {p, port}; },
    [](GtkSensorInstance i, int, int, int length) { screen.labelLengths[i] = length; },
    [](GtkSensorInstance i, int length) { screen.labelLengths[i] = length; },
    [](GtkSensorInstance i, const SENSOR_MEASUREMENTS& m, bool graph) {
      screen.updates.push_back({i, m.fwdPwrVal, graph, false});
    },
    [](GtkSensorInstance i, const SENSOR_MEASUREMENTS& m) { screen.updates.push_back({i, m.fwdPwrVal, false, true}); },
    [](int) { ++screen.graphResets; },
};

class DisplayFsmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    screen = Screen{};
    configuration_setPulseMode(false);
    configuration_setDisplayGraph(false);
    SensorManager_Create();
    for (int port = 0; port < kSensorPortCount; ++port) sensorPortHandler_setSensorStatus(port, notReady, "");
    CSensorDisplayFSM_setViews(&kRecorder);
    CSensorDisplayFSM_setMeasurementListener([](int port, SENSOR_MEASUREMENTS) { screen.published.push_back(port); });
    CSensorDisplayFSM_reset();
  }
  void TearDown() override {
    CSensorDisplayFSM_setViews(nullptr);
    CSensorDisplayFSM_setMeasurementListener(nullptr);
    SensorManager_Destroy();
  }
  // A sensor on `port`, accepted by the manager and given `channel`.
  void attach(int port, std::uint32_t channel) {
    CONNECTED_SENSORS record;
    record.detectedSensors = present | kSensorPortDetectionBit[static_cast<std::size_t>(port)];
    record.detectedSensorsChanged = record.detectedSensors ^ present;
    SensorManager_UpdatePhysicalSensors(&record, true);
    present = record.detectedSensors;
    SensorInstance_SetLogicalChannel(port, channel);
    CSensorDisplayFSM_connect(port);
  }
  void ready(int port, float fwd) {
    SENSOR_MEASUREMENTS m;
    m.fwdPwrVal = fwd;
    SensorPortHandler_setSimulatedMeasurements(port, m);
    sensorPortHandler_setSensorStatus(port, isReady, "");
  }
  // The measurement part of one display pass.
  void passUpdates() {
    for (int port = 0; port < kSensorPortCount; ++port) CSensorDisplayFSM_updateMeasurements(port);
  }
  void measure(int port, std::uint32_t channel, float fwd) {
    attach(port, channel);
    ready(port, fwd);
    passUpdates();
  }
  static const CSensorDisplayFSM& fsm(int channel) { return sensorFSM[static_cast<std::size_t>(channel)]; }
  static GtkSensorInstance shownOn(int channel) { return sensorDisplays[static_cast<std::size_t>(channel)].display; }
  std::uint32_t present = 0;
};

TEST_F(DisplayFsmTest, StartsOnTheFullScreenNoSensorPage) {
  EXPECT_EQ(fsm(0).activeState, Active);
  EXPECT_EQ(fsm(0).state, NotConnected);
  EXPECT_TRUE(fsm(0).fullSCreen);
  EXPECT_EQ(fsm(1).activeState, NotActive);
  EXPECT_TRUE(screen.shown(fsmSingleSensorContainer));
  EXPECT_TRUE(screen.shown(fsmNoConnectionScreen));
  EXPECT_FALSE(screen.shown(fsmDualSensorContainer));
  EXPECT_EQ(screen.pages[gtkSensorSingleNoConnection].first, fsmPageNoConnection);
  EXPECT_EQ(shownOn(0), gtkSensorSingleNoConnection);
  EXPECT_EQ(sensorDisplays[0].sensorPort.load(), sensorPort_None);
  EXPECT_EQ(screen.graphResets, 2);
}

TEST_F(DisplayFsmTest, AUsbSensorConnectsThenShowsItsView) {
  struct Case {
    const char* name;
    bool pulseMode;
    bool graph;
    int port;
    GtkSensorInstance view;
    FsmContainer container;
  };
  const Case cases[] = {
      {"CW", false, false, sensorPort_USB1, gtkSensorSingleChannel1, fsmSingleChannel1Screen},
      {"CW with graph", false, true, sensorPort_USB1, gtkSensorSingleChannel1withGraph, fsmSingleChannel1ScreenGraph},
      {"pulse", true, false, sensorPort_USB1, gtkSensorSinglePulse, fsmSingleChannelPulseScreen},
      {"pulse mode, serial sensor", true, false, sensorPort_Serial1, gtkSensorSingleChannel1, fsmSingleChannel1Screen},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    present = 0;
    configuration_setPulseMode(c.pulseMode);
    configuration_setDisplayGraph(c.graph);
    attach(c.port, sensorLogicalChannel1);
    EXPECT_EQ(fsm(0).state, Connecting);
    EXPECT_EQ(sensorDisplays[0].sensorPort.load(), c.port);
    EXPECT_EQ(screen.pages[gtkSensorSingleNoConnection].first, fsmPageConnecting);
    EXPECT_EQ(screen.pages[gtkSensorSingleNoConnection].second, CSensorDisplayFSM_getSensorPortName(c.port));
    passUpdates();  // not ready yet: the connecting page stays
    EXPECT_EQ(fsm(0).state, Connecting);
    EXPECT_TRUE(screen.updates.empty());
    ready(c.port, 7.5F);
    passUpdates();
    EXPECT_EQ(fsm(0).state, Measuring);
    EXPECT_EQ(shownOn(0), c.view);
    EXPECT_TRUE(screen.shown(c.container));
    EXPECT_TRUE(screen.shown(fsmSingleMeasurementView));
    EXPECT_FALSE(screen.shown(fsmNoConnectionScreen));
    // Ready and the first update in the same pass.
    ASSERT_EQ(screen.updates.size(), 1u);
    EXPECT_EQ(screen.updates[0].instance, c.view);
    EXPECT_EQ(screen.updates[0].fwd, 7.5F);
    EXPECT_EQ(screen.published, std::vector<int>{c.port});
  }
}

TEST_F(DisplayFsmTest, ASecondSensorSplitsTheScreenAndChannel0KeepsItsView) {
  configuration_setDisplayGraph(true);
  measure(sensorPort_USB1, sensorLogicalChannel1, 1.0F);
  ASSERT_EQ(shownOn(0), gtkSensorSingleChannel1withGraph);
  configuration_setDisplayGraph(false);  // a later choice must not change channel 0's view
  attach(sensorPort_Serial1, sensorLogicalChannel2);
  EXPECT_EQ(countSubState, DualSensors);
  EXPECT_FALSE(fsm(0).fullSCreen);
  EXPECT_FALSE(fsm(1).fullSCreen);
  EXPECT_EQ(fsm(0).state, Measuring);
  EXPECT_EQ(fsm(0).graphSubState, ShowGraph);
  EXPECT_EQ(shownOn(0), gtkSensorDualChannel1withGraph);
  EXPECT_TRUE(screen.shown(fsmDualSensorContainer));
  EXPECT_FALSE(screen.shown(fsmSingleSensorContainer));
  EXPECT_TRUE(screen.shown(fsmDualCWChannelsGraph, 0));
  EXPECT_TRUE(screen.shown(fsmDualMeasurementViews, 0));
  EXPECT_EQ(fsm(1).state, Connecting);
  EXPECT_EQ(screen.pages[gtkSensorDualNoConnectionCh2].first, fsmPageConnecting);
  EXPECT_TRUE(screen.shown(fsmDualNoConnectionScreens, 1));
  ready(sensorPort_Serial1, 2.0F);
  screen.updates.clear();
  passUpdates();
  EXPECT_EQ(fsm(1).state, Measuring);
  EXPECT_EQ(shownOn(1), gtkSensorDualChannel2);
  EXPECT_TRUE(screen.shown(fsmDualMeasurementViews, 1));
  EXPECT_FALSE(screen.shown(fsmDualNoConnectionScreens, 1));
  // Both channels updated, each on its own half.
  ASSERT_EQ(screen.updates.size(), 2u);
  EXPECT_EQ(screen.updates[0].instance, gtkSensorDualChannel2);  // port 0 comes first
  EXPECT_EQ(screen.updates[1].instance, gtkSensorDualChannel1withGraph);
  EXPECT_TRUE(screen.updates[1].graph);
  // Beside the half-screen graph the label keeps its shorter length through
  // the updates; the other views use the full length.
  EXPECT_EQ(screen.labelLengths[gtkSensorDualChannel1withGraph], 22);
  EXPECT_EQ(screen.labelLengths[gtkSensorDualChannel2], 30);
  EXPECT_EQ(screen.labelLengths[gtkSensorSingleChannel1withGraph], 30);
}

TEST_F(DisplayFsmTest, RemovingChannelsLeavesTheOtherOnTheFullScreen) {
  struct Case {
    const char* name;
    std::vector<int> pulled;
    SensorDisplayState_t channel0;
    SensorDisplayActiveState_t channel0Active;
    SensorDisplayState_t channel1;
    SensorDisplayActiveState_t channel1Active;
  };
  const Case cases[] = {
      {"channel 0's sensor", {sensorPort_USB1}, NotConnected, NotActive, Measuring, Active},
      {"channel 1's sensor", {sensorPort_Serial2}, Measuring, Active, NotConnected, NotActive},
      {"both, channel 0 first", {sensorPort_USB1, sensorPort_Serial2}, NotConnected, Active, NotConnected, NotActive},
      {"both, channel 1 first", {sensorPort_Serial2, sensorPort_USB1}, NotConnected, Active, NotConnected, NotActive},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    present = 0;
    measure(sensorPort_USB1, sensorLogicalChannel1, 1.0F);
    measure(sensorPort_Serial2, sensorLogicalChannel2, 2.0F);
    ASSERT_EQ(fsm(1).state, Measuring);
    for (int port : c.pulled) {
      sensorPortHandler_setSensorStatus(port, notReady, "");
      CSensorDisplayFSM_disconnect(port);
    }
    EXPECT_EQ(fsm(0).state, c.channel0);
    EXPECT_EQ(fsm(0).activeState, c.channel0Active);
    EXPECT_EQ(fsm(1).state, c.channel1);
    EXPECT_EQ(fsm(1).activeState, c.channel1Active);
    EXPECT_EQ(countSubState, SingleSensor);
    EXPECT_TRUE(screen.shown(fsmSingleSensorContainer));
    EXPECT_FALSE(screen.shown(fsmDualSensorContainer));
    const int remaining = c.channel0Active == Active ? 0 : 1;
    EXPECT_TRUE(fsm(remaining).fullSCreen);
    if (fsm(remaining).state == Measuring) {
      EXPECT_EQ(shownOn(remaining), gtkSensorSingleChannel1);
      EXPECT_TRUE(screen.shown(fsmSingleMeasurementView));
      EXPECT_FALSE(screen.shown(fsmNoConnectionScreen));
    } else {
      EXPECT_EQ(shownOn(remaining), gtkSensorSingleNoConnection);
      EXPECT_EQ(screen.pages[gtkSensorSingleNoConnection].first, fsmPageNoConnection);
      EXPECT_TRUE(screen.shown(fsmNoConnectionScreen));
      EXPECT_FALSE(screen.shown(fsmSingleMeasurementView));
    }
    for (int port : c.pulled) EXPECT_NE(sensorDisplays[0].sensorPort.load(), port);
    // The remaining sensor, if any, still gets its readings.
    screen.updates.clear();
    passUpdates();
    EXPECT_EQ(screen.updates.size(), c.pulled.size() == 2 ? 0u : 1u);
  }
}

TEST_F(DisplayFsmTest, PulseModeOnlyForUsbSensors) {
  measure(sensorPort_Serial1, sensorLogicalChannel1, 1.0F);
  CSensorDisplayFSM_setPulse();
  EXPECT_EQ(fsm(0).typeSubState, CW);
  EXPECT_EQ(shownOn(0), gtkSensorSingleChannel1);
  CSensorDisplayFSM_disconnect(sensorPort_Serial1);
  measure(sensorPort_USB2, sensorLogicalChannel1, 1.0F);
  CSensorDisplayFSM_setPulse();
  EXPECT_EQ(fsm(0).typeSubState, Pulse);
  EXPECT_EQ(shownOn(0), gtkSensorSinglePulse);
  EXPECT_TRUE(screen.shown(fsmSingleChannelPulseScreen));
  EXPECT_FALSE(screen.shown(fsmSingleChannel1Screen));
  // The graph cannot be switched in the pulse view; setCW reads the setting.
  configuration_setDisplayGraph(true);
  CSensorDisplayFSM_showGraph();
  EXPECT_EQ(shownOn(0), gtkSensorSinglePulse);
  CSensorDisplayFSM_setCW();
  EXPECT_EQ(fsm(0).typeSubState, CW);
  EXPECT_EQ(shownOn(0), gtkSensorSingleChannel1withGraph);
  EXPECT_FALSE(screen.shown(fsmSingleChannelPulseScreen));
  CSensorDisplayFSM_hideGraph();
  EXPECT_EQ(shownOn(0), gtkSensorSingleChannel1);
  EXPECT_FALSE(screen.shown(fsmSingleChannel1ScreenGraph));
}

TEST_F(DisplayFsmTest, ReplugOnTheSamePortWhileTheOldStatusIsStillReady) {
  measure(sensorPort_USB1, sensorLogicalChannel1, 1.0F);
  // The display pass sees the pull and the new plug together; the handler
  // has not reset the status yet.
  CSensorDisplayFSM_disconnect(sensorPort_USB1);
  CSensorDisplayFSM_connect(sensorPort_USB1);
  EXPECT_EQ(fsm(0).state, Connecting);
  EXPECT_EQ(fsm(1).activeState, NotActive);
  screen.updates.clear();
  passUpdates();
  EXPECT_EQ(fsm(0).state, Measuring);
  EXPECT_TRUE(fsm(0).fullSCreen);
  EXPECT_EQ(screen.updates.size(), 1u);
  EXPECT_TRUE(screen.shown(fsmSingleMeasurementView));
  EXPECT_FALSE(screen.shown(fsmNoConnectionScreen));
  EXPECT_FALSE(screen.shown(fsmDualSensorContainer));
}

TEST_F(DisplayFsmTest, EventsThatDoNotApplyAreRefused) {
  SensorInstance_SetLogicalChannel(sensorPort_USB1, sensorLogicalNoChannel);
  CSensorDisplayFSM_connect(sensorPort_USB1);  // no channel: only a diagnostic
  EXPECT_EQ(fsm(0).state, NotConnected);
  CSensorDisplayFSM& upper = sensorFSM[UpperDisplay];
  CSensorDisplayFSM& lower = sensorFSM[LowerDisplay];
  EXPECT_FALSE(CSensorDisplayFSM_handleActivateEvents(&lower, evSensorDetected, sensorPort_USB1));
  EXPECT_FALSE(CSensorDisplayFSM_handleActivateEvents(&upper, evSensorReady, sensorPort_USB1));
  EXPECT_FALSE(CSensorDisplayFSM_handleActivateEvents(&upper, evSensorDisconnect, sensorPort_USB1));
  EXPECT_FALSE(CSensorDisplayFSM_handleActivateEvents(&upper, evUpdateMeasurements, sensorPort_USB1));
  EXPECT_TRUE(CSensorDisplayFSM_handleActivateEvents(&upper, evSensorDetected, sensorPort_USB1));
  EXPECT_TRUE(CSensorDisplayFSM_handleActivateEvents(&upper, evSensorError, sensorPort_USB1));
  EXPECT_EQ(upper.state, SensorError);
  EXPECT_EQ(screen.pages[gtkSensorSingleNoConnection].first, fsmPageSensorError);
  EXPECT_FALSE(CSensorDisplayFSM_handleActivateEvents(&upper, evSensorReady, sensorPort_USB1));
  EXPECT_TRUE(CSensorDisplayFSM_handleActivateEvents(&upper, evSensorDisconnect, sensorPort_USB1));
  EXPECT_EQ(upper.state, NotConnected);
}

TEST(DisplayFsmNamesTest, NamesOfEventsStatesAndPorts) {
  EXPECT_STREQ(CSensorDisplayFSM_getEventName(evSensorDetected), "evSensorDetected");
  EXPECT_STREQ(CSensorDisplayFSM_getEventName(evUpdateMeasurements), "evUpdateMeasurements");
  EXPECT_STREQ(CSensorDisplayFSM_getEventName(evDeactivate), "evDeactivate");
  EXPECT_STREQ(CSensorDisplayFSM_getEventName(13), "Unknown event");
  EXPECT_STREQ(CSensorDisplayFSM_getStateName(Measuring), "Measuring");
  EXPECT_STREQ(CSensorDisplayFSM_getStateName(-1), "Unknown state");
  EXPECT_STREQ(CSensorDisplayFSM_getTypeSubStateName(Pulse), "Pulse");
  EXPECT_STREQ(CSensorDisplayFSM_getGraphSubStateName(2), "Unknown substate");
  EXPECT_STREQ(CSensorDisplayFSM_getCountSubStateName(DualSensors), "DualSensors");
  EXPECT_STREQ(CSensorDisplayFSM_getSensorPortName(sensorPort_USB2), "USB2");
  EXPECT_STREQ(CSensorDisplayFSM_getSensorPortName(sensorPort_None), "None");
  EXPECT_STREQ(CSensorDisplayFSM_getSensorPortName(7), "Unknown port");
}

}  // namespace
