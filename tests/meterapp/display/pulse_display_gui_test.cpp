// The pulse views in a real GTK on a (virtual) display: built from their
// builder files, fed readings of a USB port whose configuration and limits
// the test sets, and read back through their labels.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

#include "configuration.h"
#include "device_fixtures.h"
#include "main_window.h"
#include "power_display.h"
#include "sensor_manager.h"
#include "text_field.h"
#include "widget_utils.h"
#include "window_test_support.h"

namespace {

constexpr int kPort = sensorPort_USB1;

using display_test::drainMainLoop;

std::string label(const CGTKPowerDisplay& d, const char* id) {
  GtkWidget* w = PulseDisplay_lookup(&d, id);
  if (w == nullptr) return "<missing " + std::string(id) + ">";
  // A units button's text is its child label, which the view writes.
  if (GTK_IS_BUTTON(w)) w = WidgetUtils_buttonLabel(w);
  return w != nullptr ? gtk_label_get_text(GTK_LABEL(w)) : "<no label>";
}

bool visible(const CGTKPowerDisplay& d, const char* id) {
  GtkWidget* w = PulseDisplay_lookup(&d, id);
  return w != nullptr && gtk_widget_get_visible(w) != FALSE;
}

// Drawn on screen: the widget and every parent up to the view are visible.
bool drawn(const CGTKPowerDisplay& d, const char* id) {
  GtkWidget* w = PulseDisplay_lookup(&d, id);
  return w != nullptr && gtk_widget_is_visible(w) != FALSE;
}

bool red(const CGTKPowerDisplay& d, const char* id) {
  GtkWidget* w = PulseDisplay_lookup(&d, id);
  if (w == nullptr) return false;
  GdkRGBA colour{};
  gtk_style_context_get_color(gtk_widget_get_style_context(w), GTK_STATE_FLAG_NORMAL, &colour);
  return colour.red > 0.9 && colour.green < 0.1 && colour.blue < 0.1;
}

void setUsbSensor(bool triggeredGates, int numStates) {
  {
    std::lock_guard guard(sensorPortInfoMutex[kPort]);
    auto& identity = sensorUsbHandlerData[0].sensorIdentity;
    identity.sensorPower = {0.001F, 10.0F};  // over range from 12 W
    TextField_copy(identity.sensorModel, "P804");
    TextField_copy(sensorUsbHandlerData[0].serialNumber, "80412345");
    sensorUsbHandlerData[0].sensorStatus.status = isReady;
  }
  std::lock_guard guard(sensorPortConfigMutex[kPort]);
  SENSOR_CONFIGS& c = sensorUsbHandlerData[0].sensorConfigs;
  c = SENSOR_CONFIGS{};
  c.bSupportsTriggeredGates = true;
  c.bModelIsTriggeredGates = triggeredGates;
  c.numStates = static_cast<std::uint8_t>(numStates);
  for (int i = 0; i < numStates; ++i) c.pulseStates[static_cast<std::size_t>(i)].bEnabled = true;
}

void setActiveSensors(std::uint32_t detected) {
  CONNECTED_SENSORS record;
  record.detectedSensors = detected;
  record.detectedSensorsChanged = 0x33;
  SensorManager_UpdatePhysicalSensors(&record, true);
}

SENSOR_MEASUREMENTS pulseReading() {
  SENSOR_MEASUREMENTS m;
  m.fwdPwrVal = 1.0F;
  m.rflPwrVal = 0.01F;
  m.freqVal = 1.0e9F;
  m.prdVal = 0.000123F;
  m.prfVal = 8130.0F;
  m.widthVal = 0.0001F;
  m.dutyCycleVal = 10.0F;
  m.gateMean = 0.5F;
  m.gateMax = 2.0F;
  m.gateMin = 0.25F;
  m.pulseStates[0] = {0.1F, 0.3F, 0.2F};  // min, max, mean
  m.pulseStates[1] = {1.0F, 3.0F, 2.0F};
  m.pulseStates[2] = {5.0F, 5.0F, 5.0F};
  m.pulseStates[3] = {6.0F, 6.0F, 6.0F};
  return m;
}

struct View {
  GtkWidget* container = nullptr;
  CGTKPowerDisplay display;
};

class PulseDisplayGuiTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    displayAvailable = gtk_init_check(nullptr, nullptr);
    if (!displayAvailable) return;
    ASSERT_EQ(::chdir(R9050_SOURCE_DIR), 0);  // "./resources/..."
    initColors();
    loadFonts();
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_set_name(window, "mainWindowR9050");
    gtk_window_set_default_size(GTK_WINDOW(window), 1024, 768);
    setWidgetFgAndBgColors(window, &textColorWhite, &bgColorBlack);
    GtkWidget* screen = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(window), screen);
    full.container = createSensorScreen(screen, 0, 80, 1024, 688, "singleChannelPulseScreen");
    half.container = createSensorScreen(screen, 0, 80, 1024, 344, "dualPWChannels[0]");
    fullBuilt = initPulseDisplay(full.container, &full.display, true);
    halfBuilt = initPulseDisplay(half.container, &half.display, false);
    gtk_widget_show_all(window);
    drainMainLoop();
  }

  void SetUp() override {
    if (!displayAvailable) GTEST_SKIP() << "needs a display (run under xvfb-run -a)";
    ASSERT_TRUE(fullBuilt);
    ASSERT_TRUE(halfBuilt);
    root = std::make_unique<test_support::ScratchRoot>();
    ASSERT_EQ(setConfigurationFile(nullptr), 0);
    readConfigFile();
    configuration_setPowerUnitsIsdBm(false);
    SensorManager_Create();
    setActiveSensors(0x10);
    setUsbSensor(false, 0);
    for (View* v : {&full, &half}) CGTKPowerDisplay_preparePulse(&v->display, 0, kPort, 30);
    show(full);
  }

  void TearDown() override {
    SensorManager_Destroy();
    drainMainLoop();
  }

  static void show(View& v) {
    gtk_widget_set_visible(full.container, &v == &full);
    gtk_widget_set_visible(half.container, &v == &half);
  }

  static void update(View& v, const SENSOR_MEASUREMENTS& m) {
    CGTKPowerDisplay_updatePulseMeasurements(&v.display, m);
    drainMainLoop();
  }

  static void screenshot(const std::string& name) {
    display_test::saveWindowScreenshot(window, R9050_ARTIFACT_DIR, name.c_str());
  }

  inline static bool displayAvailable = false;
  inline static bool fullBuilt = false;
  inline static bool halfBuilt = false;
  inline static GtkWidget* window = nullptr;
  inline static View full;
  inline static View half;
  std::unique_ptr<test_support::ScratchRoot> root;
};

TEST_F(PulseDisplayGuiTest, EveryIdOfBothBuilderFilesIsBound) {
  for (const CGTKPowerDisplay* d : {&full.display, &half.display}) {
    EXPECT_NE(d->title.configButton, nullptr);
    EXPECT_NE(d->pGridGated, nullptr);
    EXPECT_NE(d->pGridState, nullptr);
    for (const auto& s : d->stateArray) {
      EXPECT_NE(s.mean, nullptr);
      EXPECT_NE(s.scaleControls.gtkScaleAutoOn, nullptr);
    }
  }
  for (const char* tab : {"pulse.tabValues", "pulse.tabStates", "pulse.tabGatedPower"}) {
    EXPECT_NE(PulseDisplay_lookup(&half.display, tab), nullptr) << tab;
  }
}

TEST_F(PulseDisplayGuiTest, TimingRowsAndFrequencyOfThePulseGateModel) {
  update(full, pulseReading());
  EXPECT_EQ(label(full.display, "pulse.valuePeriod"), " 123.00");
  EXPECT_EQ(label(full.display, "pulse.unitsPeriod"), "us");
  EXPECT_EQ(label(full.display, "pulse.valueRepeat"), "  8.130");
  EXPECT_EQ(label(full.display, "pulse.unitsRepeat"), "KHz");
  EXPECT_EQ(label(full.display, "pulse.valueDuty"), "10.00");
  EXPECT_EQ(label(full.display, "pulse.unitsDuty"), "%");
  EXPECT_EQ(label(full.display, "pulse.valueFreq"), " 1000.00");
  EXPECT_EQ(label(full.display, "pulse.unitsFreq"), "MHz");
  EXPECT_EQ(label(full.display, "pulse.valueFwd"), " 1.0000");
  EXPECT_TRUE(drawn(full.display, "pulse.valueGatedMean"));
  EXPECT_FALSE(drawn(full.display, "pulse.valueMean1"));
  EXPECT_TRUE(visible(full.display, "pulse.btnConfig"));
  screenshot("pulse_single_gated.png");
}

TEST_F(PulseDisplayGuiTest, AFrequencyNotMeasuredShowsDashes) {
  SENSOR_MEASUREMENTS m = pulseReading();
  m.freqVal = kSensorNaN;
  update(full, m);
  EXPECT_EQ(label(full.display, "pulse.valueFreq"), "---");
  EXPECT_EQ(label(full.display, "pulse.unitsFreq"), "");
}

TEST_F(PulseDisplayGuiTest, TwoStatesShowTheirValuesAndHideStatesThreeAndFour) {
  setUsbSensor(true, 2);
  update(full, pulseReading());
  EXPECT_TRUE(drawn(full.display, "pulse.valueMean1"));
  EXPECT_FALSE(drawn(full.display, "pulse.valueGatedMean"));
  // Automatic range from row 7: state 1's mean of 0.2 W moves it to mW.
  EXPECT_EQ(label(full.display, "pulse.valueMean1"), "  200.0");
  EXPECT_EQ(label(full.display, "pulse.valueMax1"), "  300.0");
  EXPECT_EQ(label(full.display, "pulse.valueMin1"), "  100.0");
  EXPECT_EQ(label(full.display, "pulse.btnUnits1"), "mW");
  EXPECT_EQ(label(full.display, "pulse.valueMean2"), "  2.000");
  EXPECT_EQ(label(full.display, "pulse.btnUnits2"), "W");
  EXPECT_EQ(configuration_getStatePowerScale(0, 0).scaleIndex, 3U);  // the moved ranges are stored
  EXPECT_EQ(configuration_getStatePowerScale(0, 1).scaleIndex, 5U);
  EXPECT_TRUE(drawn(full.display, "pulse.lblState1"));
  EXPECT_TRUE(drawn(full.display, "pulse.lblState2"));
  for (const char* id : {"pulse.lblState3", "pulse.valueMean3", "pulse.valueMax3", "pulse.valueMin3", "pulse.btnUnits3",
                         "pulse.lblState4", "pulse.valueMean4", "pulse.btnScaleUp4", "pulse.btnScaleAuto4"}) {
    EXPECT_FALSE(visible(full.display, id)) << id;
  }
  // The multi-state mode leaves out the timing rows.
  EXPECT_EQ(full.display.pulseMode, modeSingleMulti);
  EXPECT_FALSE(visible(full.display, "pulse.valuePeriod"));
  EXPECT_TRUE(visible(full.display, "pulse.valueFreq"));
  screenshot("pulse_single_states.png");
  // Configured for four states, the hidden rows come back with their titles.
  setUsbSensor(true, 4);
  update(full, pulseReading());
  for (const char* id : {"pulse.lblState3", "pulse.valueMean3", "pulse.lblState4", "pulse.valueMean4"}) {
    EXPECT_TRUE(drawn(full.display, id)) << id;
  }
}

TEST_F(PulseDisplayGuiTest, GatedMeanOverRangeIsRedWhileMaximumAndMinimumStayWhite) {
  configuration_setGatedPowerScale({false, 5}, 0);
  SENSOR_MEASUREMENTS m = pulseReading();
  m.gateMean = 15.0F;  // over the 12 W the sensor allows
  m.gateMax = 5.0F;
  m.gateMin = 1.0F;
  update(full, m);
  EXPECT_EQ(label(full.display, "pulse.valueGatedMean"), "  Range");
  EXPECT_TRUE(red(full.display, "pulse.valueGatedMean"));
  EXPECT_EQ(label(full.display, "pulse.valueGatedMax"), "  5.000");
  EXPECT_EQ(label(full.display, "pulse.valueGatedMin"), "  1.000");
  EXPECT_FALSE(red(full.display, "pulse.valueGatedMax"));
  EXPECT_FALSE(red(full.display, "pulse.valueGatedMin"));
  EXPECT_EQ(label(full.display, "pulse.btnGatedUnits"), "W");
  // Back in range, the mean is white again.
  m.gateMean = 3.0F;
  update(full, m);
  EXPECT_EQ(label(full.display, "pulse.valueGatedMean"), "  3.000");
  EXPECT_FALSE(red(full.display, "pulse.valueGatedMean"));
}

TEST_F(PulseDisplayGuiTest, DbmOfZeroPowerIsClampedInGatedAndAverageRows) {
  configuration_setPowerUnitsIsdBm(true);
  SENSOR_MEASUREMENTS m = pulseReading();
  m.gateMin = 0.0F;
  m.rflPwrVal = 0.0F;
  m.gateMax = -1.0F;  // a negative reading must not print as NaN either
  update(full, m);
  EXPECT_EQ(label(full.display, "pulse.valueGatedMin"), " -60.00");
  EXPECT_EQ(label(full.display, "pulse.valueGatedMax"), " -60.00");
  EXPECT_EQ(label(full.display, "pulse.valueGatedMean"), "  26.99");
  EXPECT_EQ(label(full.display, "pulse.btnGatedUnits"), "dBm");
  EXPECT_EQ(label(full.display, "pulse.valueRfl"), " -60.00");
  EXPECT_EQ(label(full.display, "pulse.valueFwd"), "  30.00");
  EXPECT_FALSE(visible(full.display, "pulse.btnGatedScaleUp"));
}

TEST_F(PulseDisplayGuiTest, ASecondSensorSwitchesToTheDualModeOnTheNextUpdate) {
  show(half);
  update(half, pulseReading());
  EXPECT_EQ(half.display.pulseMode, modeSingleSimple);
  setActiveSensors(0x30);
  ASSERT_EQ(SensorInstance_GetActiveCount(), 2);
  update(half, pulseReading());
  EXPECT_EQ(half.display.pulseMode, modeDualSimple);
  EXPECT_TRUE(visible(half.display, "pulse.valuePeriod"));
  const auto fitsHalfScreen = [] {
    int minimum = 0;
    int natural = 0;
    gtk_widget_get_preferred_height(half.display.pulseScreen, &minimum, &natural);
    EXPECT_LE(natural, 344) << "minimum " << minimum;
    return natural <= 344;  // the other channel's view starts below
  };
  screenshot("pulse_half_values.png");  // also lets the new fonts take their size
  EXPECT_TRUE(fitsHalfScreen());
  setUsbSensor(true, 3);
  update(half, pulseReading());
  EXPECT_EQ(half.display.pulseMode, modeDualMulti);
  gtk_notebook_set_current_page(GTK_NOTEBOOK(PulseDisplay_lookup(&half.display, "pulse.notebook")), 1);
  screenshot("pulse_half_states.png");
  EXPECT_TRUE(fitsHalfScreen());
}

TEST_F(PulseDisplayGuiTest, QuestionableReadingsOfZeroShowZeros) {
  // The USB handler zeroes the pulse readings while the sensor flags them
  // questionable (bit 0x200); the view shows those zeros, not older values.
  update(full, pulseReading());
  SENSOR_MEASUREMENTS zero = pulseReading();
  zero.prdVal = zero.prfVal = zero.widthVal = zero.dutyCycleVal = 0.0F;
  zero.gateMean = zero.gateMax = zero.gateMin = 0.0F;
  update(full, zero);
  EXPECT_EQ(label(full.display, "pulse.valuePeriod"), " 0.0000");
  EXPECT_EQ(label(full.display, "pulse.valueRepeat"), " 0.0000");
  EXPECT_EQ(label(full.display, "pulse.valueDuty"), "0.00");
  EXPECT_EQ(label(full.display, "pulse.valueGatedMean"), " 0.0000");
  EXPECT_EQ(label(full.display, "pulse.btnGatedUnits"), "mW");
}

TEST_F(PulseDisplayGuiTest, AViewOnASerialPortUsesThatPortsOwnConfiguration) {
  // The USB slot is configured for states, but the view shows port 0: it
  // must take port 0's (empty) configuration, not a neighbour's record.
  setUsbSensor(true, 4);
  CGTKPowerDisplay_preparePulse(&full.display, 0, sensorPort_Serial1, 30);
  update(full, pulseReading());
  EXPECT_EQ(full.display.pulseMode, modeSingleSimple);
  EXPECT_TRUE(drawn(full.display, "pulse.valueGatedMean"));
  EXPECT_FALSE(visible(full.display, "pulse.btnConfig"));
}

TEST_F(PulseDisplayGuiTest, GatedRangeButtonsStoreTheGatedScale) {
  configuration_setGatedPowerScale({true, 7}, 0);
  update(full, pulseReading());
  gtk_button_clicked(GTK_BUTTON(PulseDisplay_lookup(&full.display, "pulse.btnGatedScaleUp")));
  const rfPowerScale stored = configuration_getGatedPowerScale(0);
  EXPECT_FALSE(stored.autoScale);
  EXPECT_EQ(stored.scaleIndex, 4U);  // 0.5 W had moved the range to row 3
}

}  // namespace
