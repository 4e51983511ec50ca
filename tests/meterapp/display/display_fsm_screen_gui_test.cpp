// The display channels on the real window (a virtual display): sensors
// attached through the sensor manager's records, their statuses and readings
// set in the port records, no sensor thread. Checks which containers are on
// the screen (shown with every parent), the page texts and what the power
// displays show, and saves screenshots of the views the channels go through.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "configuration.h"
#include "device_fixtures.h"
#include "display_fsm.h"
#include "display_fsm_views.h"
#include "main_window.h"
#include "power_display.h"
#include "sensor_manager.h"
#include "text_field.h"
#include "widget_utils.h"
#include "window_test_support.h"

namespace {

using display_test::drainMainLoop;

std::string labelText(GtkWidget* label) { return label != nullptr ? gtk_label_get_text(GTK_LABEL(label)) : "<none>"; }

std::string pageDescription(const CGTKNoConnectionDisplay& page) {
  GtkTextIter start;
  GtkTextIter end;
  gtk_text_buffer_get_bounds(page.descriptionBuffer, &start, &end);
  gchar* text = gtk_text_buffer_get_text(page.descriptionBuffer, &start, &end, FALSE);
  std::string result = text;
  g_free(text);
  return result;
}

// Every screen container of the window, by name.
std::vector<GtkWidget*> allScreens() {
  const MAIN_WINDOW& w = entireScreen;
  std::vector<GtkWidget*> screens = {w.singleSensorContainer,     w.noConnectionScreen,
                                     w.singleMeasurementView,     w.singleChannel1Screen,
                                     w.singleChannel1ScreenGraph, w.singleChannelPulseScreen,
                                     w.dualSensorContainer};
  for (std::size_t i = 0; i < 2; ++i) {
    for (GtkWidget* s : {w.dualNoConnectionScreens[i], w.dualMeasurementViews[i], w.dualCWChannels[i],
                         w.dualCWChannelsGraph[i], w.dualPWChannels[i]}) {
      screens.push_back(s);
    }
  }
  return screens;
}

// Exactly these containers are on the screen (shown, and every parent too).
void expectOnScreen(std::initializer_list<GtkWidget*> wanted) {
  const std::set<GtkWidget*> expected(wanted);
  for (GtkWidget* screen : allScreens()) {
    SCOPED_TRACE(gtk_widget_get_name(screen));
    EXPECT_EQ(gtk_widget_is_visible(screen) != FALSE, expected.count(screen) == 1);
  }
}

void identify(int port, const char* model, const char* serial, float maxPower) {
  {
    std::lock_guard guard(sensorPortInfoMutex[static_cast<std::size_t>(port)]);
    auto& identity = port < 2 ? sensorSerialHandlerData[static_cast<std::size_t>(port)].sensorIdentity
                              : sensorUsbHandlerData[static_cast<std::size_t>(port - 2)].sensorIdentity;
    auto& number = port < 2 ? sensorSerialHandlerData[static_cast<std::size_t>(port)].serialNumber
                            : sensorUsbHandlerData[static_cast<std::size_t>(port - 2)].serialNumber;
    TextField_copy(identity.sensorModel, model);
    identity.sensorPower = {0.001F, maxPower};
    TextField_copy(number, serial);
  }
}

void reading(int port, float forward, float reflected) {
  SENSOR_MEASUREMENTS m;
  m.fwdPwrVal = forward;
  m.rflPwrVal = reflected;
  SensorPortHandler_setSimulatedMeasurements(port, m);
}

using display_test::settle;

void saveScreenshot(const char* name) {
  display_test::saveWindowScreenshot(entireScreen.mainWindow, R9050_ARTIFACT_DIR, name);
}

const CGTKPowerDisplay& power(GtkSensorInstance i) { return gtkSensor[static_cast<std::size_t>(i)].power; }
const CGTKNoConnectionDisplay& page(GtkSensorInstance i) { return gtkSensor[static_cast<std::size_t>(i)].noConnection; }

class DisplayFsmScreenTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    displayAvailable = gtk_init_check(nullptr, nullptr);
    if (!displayAvailable) return;
    root = std::make_unique<test_support::ScratchRoot>();
    setConfigurationFile(nullptr);
    readConfigFile();
    ASSERT_EQ(::chdir(R9050_SOURCE_DIR), 0);  // the resources are relative
    initColors();
    loadFonts();
    for (auto& channel : sensorDisplays) CGraphData_create(&channel.graphDataPwr, 4);
    createGTKDisplays(MainWindowHooks{});
    gtk_window_move(GTK_WINDOW(mainWindow), 0, 0);
    drainMainLoop();
  }
  static void TearDownTestSuite() { root.reset(); }
  void SetUp() override {
    if (!displayAvailable) GTEST_SKIP() << "needs a display (run under xvfb-run -a)";
    resetConfigToDefaults();
    configuration_setPowerUnitsIsdBm(false);
    configuration_setMatchMeasurementType(rfMatch_VSWR);
    configuration_setPulseMode(false);
    configuration_setDisplayGraph(false);
    for (int channel = 0; channel < 2; ++channel) {
      for (int direction = 0; direction < 2; ++direction) configuration_setRfPowerScale({true, 7}, channel, direction);
    }
    SensorManager_Create();
    for (int port = 0; port < kSensorPortCount; ++port) sensorPortHandler_setSensorStatus(port, notReady, "");
    CSensorDisplayFSM_setViews(nullptr);  // the screen's own table
    MainWindow_showStartPage();           // every screen hidden again, as after start-up
    CSensorDisplayFSM_reset();
    present = 0;
    drainMainLoop();
  }
  void TearDown() override { SensorManager_Destroy(); }

  // Detection accepts the sensor, the manager gives it `channel`, and the
  // display pass connects it.
  void attach(int port, std::uint32_t channel) {
    CONNECTED_SENSORS record;
    record.detectedSensors = present | kSensorPortDetectionBit[static_cast<std::size_t>(port)];
    record.detectedSensorsChanged = record.detectedSensors ^ present;
    SensorManager_UpdatePhysicalSensors(&record, true);
    present = record.detectedSensors;
    SensorInstance_SetLogicalChannel(port, channel);
    CSensorDisplayFSM_connect(port);
    drainMainLoop();
  }
  void detach(int port) {
    CONNECTED_SENSORS record;
    record.detectedSensors = present & ~kSensorPortDetectionBit[static_cast<std::size_t>(port)];
    record.detectedSensorsChanged = record.detectedSensors ^ present;
    sensorPortHandler_setSensorStatus(port, notReady, "");
    CSensorDisplayFSM_disconnect(port);
    SensorManager_UpdatePhysicalSensors(&record, true);
    present = record.detectedSensors;
    drainMainLoop();
  }
  static void pass() {
    for (int port = 0; port < kSensorPortCount; ++port) CSensorDisplayFSM_updateMeasurements(port);
    drainMainLoop();
  }

  static bool displayAvailable;
  static std::unique_ptr<test_support::ScratchRoot> root;
  std::uint32_t present = 0;
};
bool DisplayFsmScreenTest::displayAvailable = false;
std::unique_ptr<test_support::ScratchRoot> DisplayFsmScreenTest::root;

TEST_F(DisplayFsmScreenTest, StartPageIsTheFullScreenNoSensorPage) {
  const MAIN_WINDOW& w = entireScreen;
  expectOnScreen({w.singleSensorContainer, w.noConnectionScreen});
  EXPECT_EQ(labelText(page(gtkSensorSingleNoConnection).title), "No Sensor Detected");
  EXPECT_EQ(pageDescription(page(gtkSensorSingleNoConnection)),
            "Please Connect a Talvek Precision CW or Precision CW & Pulse sensor to the R9050 in order to make "
            "measurements.");
  // The dual pages are ready for a second sensor.
  EXPECT_EQ(labelText(page(gtkSensorDualNoConnectionCh2).title), "No Sensor Detected");
  saveScreenshot("fsm_no_sensor.png");
}

TEST_F(DisplayFsmScreenTest, OneSensorConnectsThenShowsItsReadingsFullScreen) {
  const MAIN_WINDOW& w = entireScreen;
  identify(sensorPort_USB1, "P804", "80412345", 100.0F);
  attach(sensorPort_USB1, sensorLogicalChannel1);
  expectOnScreen({w.singleSensorContainer, w.noConnectionScreen});
  EXPECT_EQ(labelText(page(gtkSensorSingleNoConnection).title), "Connecting...");
  EXPECT_EQ(pageDescription(page(gtkSensorSingleNoConnection)),
            "A Precision CW & Pulse sensor on port USB1 is powering on and initializing. Please wait.");
  saveScreenshot("fsm_connecting.png");
  pass();  // not ready: the page stays
  expectOnScreen({w.singleSensorContainer, w.noConnectionScreen});

  reading(sensorPort_USB1, 100.0F, 1.0F);
  sensorPortHandler_setSensorStatus(sensorPort_USB1, isReady, "");
  pass();
  expectOnScreen({w.singleSensorContainer, w.singleMeasurementView, w.singleChannel1Screen});
  const CGTKPowerDisplay& d = power(gtkSensorSingleChannel1);
  EXPECT_EQ(CGTKPowerDisplay_getSensorChannel(&d), sensorPort_USB1);
  EXPECT_EQ(labelText(d.title.sensorButtonLabel), "P804: 80412345");
  EXPECT_EQ(labelText(d.fwdRFPower.value), " 100.00");  // auto-ranged from row 7 to row 6
  EXPECT_EQ(labelText(d.fwdRFPower.unitsButtonLabel), "W");
  EXPECT_EQ(labelText(d.match.value), "   1.22");
  // The screen follows a new reading on the next pass.
  reading(sensorPort_USB1, 2.5F, 0.0F);
  pass();
  EXPECT_EQ(labelText(d.fwdRFPower.value), "  2.500");
  EXPECT_EQ(labelText(d.match.value), "   1.00");
  saveScreenshot("fsm_one_sensor.png");
}

TEST_F(DisplayFsmScreenTest, TwoSensorsShareTheScreenAndPullingOneGivesTheOtherTheFullScreen) {
  const MAIN_WINDOW& w = entireScreen;
  identify(sensorPort_USB1, "P804", "80412345", 100.0F);
  identify(sensorPort_Serial2, "C604", "60412345", 1000.0F);
  configuration_setDisplayGraph(true);
  attach(sensorPort_USB1, sensorLogicalChannel1);
  reading(sensorPort_USB1, 12.34F, 0.056F);
  sensorPortHandler_setSensorStatus(sensorPort_USB1, isReady, "");
  pass();
  expectOnScreen({w.singleSensorContainer, w.singleMeasurementView, w.singleChannel1ScreenGraph});

  // The second sensor: both halves, channel 0 keeps its graph view.
  attach(sensorPort_Serial2, sensorLogicalChannel2);
  pass();
  expectOnScreen({w.dualSensorContainer, w.dualMeasurementViews[0], w.dualCWChannelsGraph[0],
                  w.dualNoConnectionScreens[1]});
  EXPECT_EQ(labelText(page(gtkSensorDualNoConnectionCh2).title), "Connecting...");
  EXPECT_EQ(pageDescription(page(gtkSensorDualNoConnectionCh2)),
            "A Precision CW sensor on port Serial2 is powering on and initializing. Please wait.");
  EXPECT_EQ(labelText(power(gtkSensorDualChannel1withGraph).fwdRFPower.value), " 12.340");
  saveScreenshot("fsm_second_sensor_connecting.png");

  reading(sensorPort_Serial2, 612.0F, 3.2F);
  sensorPortHandler_setSensorStatus(sensorPort_Serial2, isReady, "");
  pass();
  // Channel 1 starts with the graph too (the stored choice).
  expectOnScreen({w.dualSensorContainer, w.dualMeasurementViews[0], w.dualCWChannelsGraph[0],
                  w.dualMeasurementViews[1], w.dualCWChannelsGraph[1]});
  const CGTKPowerDisplay& lower = power(gtkSensorDualChannel2withGraph);
  EXPECT_EQ(CGTKPowerDisplay_getSensorChannel(&lower), sensorPort_Serial2);
  EXPECT_EQ(labelText(lower.fwdRFPower.value), "  612.0");
  EXPECT_EQ(labelText(lower.title.sensorButtonLabel), "C604: 60412345");  // within the 22 of this view
  saveScreenshot("fsm_two_sensors_graph.png");

  CSensorDisplayFSM_hideGraph();
  pass();
  expectOnScreen({w.dualSensorContainer, w.dualMeasurementViews[0], w.dualCWChannels[0], w.dualMeasurementViews[1],
                  w.dualCWChannels[1]});
  EXPECT_EQ(labelText(power(gtkSensorDualChannel1).fwdRFPower.value), " 12.340");
  EXPECT_EQ(labelText(power(gtkSensorDualChannel2).fwdRFPower.value), "  612.0");
  GtkWidget* divider = find_child(w.dualSensorContainer, "dualDivider");
  ASSERT_NE(divider, nullptr);
  EXPECT_TRUE(gtk_widget_is_visible(divider));
  saveScreenshot("fsm_two_sensors.png");

  // Pulling channel 0's sensor: channel 1 takes the full-screen display,
  // bound to its own port, ranges and graph store.
  detach(sensorPort_USB1);
  reading(sensorPort_Serial2, 700.0F, 7.0F);
  pass();
  expectOnScreen({w.singleSensorContainer, w.singleMeasurementView, w.singleChannel1Screen});
  const CGTKPowerDisplay& single = power(gtkSensorSingleChannel1);
  EXPECT_EQ(CGTKPowerDisplay_getSensorChannel(&single), sensorPort_Serial2);
  EXPECT_EQ(CGTKPowerDisplay_getDisplayIndex(&single), 1);
  EXPECT_EQ(power(gtkSensorSingleChannel1withGraph).graph.pData, &sensorDisplays[1].graphDataPwr);
  EXPECT_EQ(labelText(single.title.sensorButtonLabel), "C604: 60412345");
  EXPECT_EQ(labelText(single.fwdRFPower.value), "  700.0");
  saveScreenshot("fsm_after_pull.png");

  // And the last one: the no-sensor page of channel 0 again.
  detach(sensorPort_Serial2);
  pass();
  expectOnScreen({w.singleSensorContainer, w.noConnectionScreen});
  EXPECT_EQ(labelText(page(gtkSensorSingleNoConnection).title), "No Sensor Detected");
}

TEST_F(DisplayFsmScreenTest, PulseModeShowsThePulseContainerOfAUsbSensorOnly) {
  const MAIN_WINDOW& w = entireScreen;
  identify(sensorPort_USB2, "P804", "80412345", 100.0F);
  identify(sensorPort_Serial1, "C604", "60412345", 1000.0F);
  configuration_setPulseMode(true);
  attach(sensorPort_USB2, sensorLogicalChannel1);
  reading(sensorPort_USB2, 1.0F, 0.01F);
  sensorPortHandler_setSensorStatus(sensorPort_USB2, isReady, "");
  pass();
  expectOnScreen({w.singleSensorContainer, w.singleMeasurementView, w.singleChannelPulseScreen});
  // A serial sensor beside it measures CW in its half; the USB one keeps
  // its pulse view.
  attach(sensorPort_Serial1, sensorLogicalChannel2);
  reading(sensorPort_Serial1, 5.0F, 0.05F);
  sensorPortHandler_setSensorStatus(sensorPort_Serial1, isReady, "");
  pass();
  expectOnScreen({w.dualSensorContainer, w.dualMeasurementViews[0], w.dualPWChannels[0], w.dualMeasurementViews[1],
                  w.dualCWChannels[1]});
  EXPECT_EQ(labelText(power(gtkSensorDualChannel2).fwdRFPower.value), "  5.000");
  configuration_setPulseMode(false);
  CSensorDisplayFSM_setCW();
  pass();
  expectOnScreen({w.dualSensorContainer, w.dualMeasurementViews[0], w.dualCWChannels[0], w.dualMeasurementViews[1],
                  w.dualCWChannels[1]});
  EXPECT_EQ(labelText(power(gtkSensorDualChannel1).fwdRFPower.value), " 1.0000");
}

TEST_F(DisplayFsmScreenTest, ASensorErrorShowsTheErrorPageOfItsHalf) {
  const MAIN_WINDOW& w = entireScreen;
  identify(sensorPort_Serial1, "C604", "60412345", 1000.0F);
  identify(sensorPort_USB2, "P804", "80412345", 100.0F);
  attach(sensorPort_Serial1, sensorLogicalChannel1);
  reading(sensorPort_Serial1, 5.0F, 0.05F);
  sensorPortHandler_setSensorStatus(sensorPort_Serial1, isReady, "");
  pass();
  attach(sensorPort_USB2, sensorLogicalChannel2);
  CSensorDisplayFSM_sensorError(sensorPort_USB2);
  drainMainLoop();
  expectOnScreen({w.dualSensorContainer, w.dualMeasurementViews[0], w.dualCWChannels[0],
                  w.dualNoConnectionScreens[1]});
  EXPECT_EQ(labelText(page(gtkSensorDualNoConnectionCh2).title), "Critical Sensor Error");
  EXPECT_EQ(pageDescription(page(gtkSensorDualNoConnectionCh2)),
            "A critical error occured in the Precision CW & Pulse sensor on port USB2.\nTry disconnecting and "
            "reconnecting the sensor or contact Talvek.");
  saveScreenshot("fsm_sensor_error.png");
}

}  // namespace
