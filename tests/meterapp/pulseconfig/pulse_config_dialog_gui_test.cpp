// The pulse configuration dialogs in a real GTK on a (virtual) display,
// applied to a simulated P803 / P804 through the real USB slot handler. The
// test plays the detection thread (binds the simulator's node to slot USB1)
// and clicks the dialog's buttons and keys.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "configuration.h"
#include "gtk_screenshot.h"
#include "main_window.h"
#include "power_display.h"
#include "pulse_config_dialog.h"
#include "pulse_sensor_config.h"
#include "ranges.h"
#include "scratch_root.h"
#include "sensor_data.h"
#include "sensor_port_handler.h"
#include "simulator.h"
#include "text_field.h"
#include "usb_sensor.h"
#include "usb_test_timing.h"
#include "usbtmc_requests.h"
#include "widget_utils.h"

namespace {

using namespace std::chrono_literals;

constexpr int kPort = sensorPort_USB1;

void drainMainLoop() {
  while (gtk_events_pending()) gtk_main_iteration();
}

bool runUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    drainMainLoop();
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

PulseRangeRow rowOf(const DISPLAY_RANGE_FORMAT& r) { return {r.formatString, r.displayLabel, r.multiplier}; }

void useDisplayRanges() {
  PulseConfigRanges ranges;
  ranges.frequencyRow = [](float hz) { return rowOf(freqRangeFormats[findFreqRange(hz, 0)]); };
  ranges.timeRow = [](float s) { return rowOf(timeRangeFormats[findTimeRange(s, 0)]); };
  ranges.powerRow = [](std::uint32_t i) { return rowOf(rangeFormats[std::min<std::uint32_t>(i, kTopRange)]); };
  ranges.findPowerRange = findNewRange;
  PulseConfig_setRanges(ranges);
}

USB_HANDLER_DATA& handler() { return sensorUsbHandlerData[0]; }

class PulseConfigDialogGuiTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    displayAvailable = gtk_init_check(nullptr, nullptr);
    if (!displayAvailable) return;
    ASSERT_EQ(::chdir(R9050_SOURCE_DIR), 0);  // "./resources/..."
    useDisplayRanges();
    pulseConfigDialog_Create(&gPulseConfigDlgP803, ModelP803);
    pulseConfigDialog_Create(&gPulseConfigDlgP804, ModelP804);
  }

  void SetUp() override {
    if (!displayAvailable) GTEST_SKIP() << "needs a display (run under xvfb-run -a)";
    ASSERT_NE(gPulseConfigDlgP803.dialog, nullptr);
    ASSERT_NE(gPulseConfigDlgP804.dialog, nullptr);
    ASSERT_EQ(setConfigurationFile(nullptr), 0);
    readConfigFile();
    configuration_setPulseMode(true);
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
    if (!displayAvailable) return;
    runUntil([] { return !pulseConfigDialog_isApplying(&gPulseConfigDlgP803) &&
                         !pulseConfigDialog_isApplying(&gPulseConfigDlgP804); });
    pulseConfigDialog_closeError();
    for (PULSE_CONFIG_DIALOG* d : {&gPulseConfigDlgP803, &gPulseConfigDlgP804}) gtk_widget_hide(d->dialog);
    drainMainLoop();
    sensorPortHandler_setIsConnected(kPort, false);
    SensorPortHandler_Stop(kPort);
    removeSensor();
    sim.reset();
    UsbSensor_setTiming(UsbHandlerTiming{});
  }

  void plug(const std::string& model) {
    ASSERT_EQ(sim->control("plug usb1 " + model).substr(0, 2), "OK");
    const int fd = UsbTmcPort_Open(kPort, "/dev/usbtmc0");
    ASSERT_GT(fd, 0);
    UsbSlot_bind(kPort, fd, "/dev/usbtmc0");
    sensorPortHandler_setIsConnected(kPort, true);
    const std::uint64_t before = SensorPortHandler_getUsbCycleCount(kPort);
    ASSERT_TRUE(runUntil([&] {
      return sensorPortHandler_getSensorStatus(kPort).status == isReady &&
             SensorPortHandler_getUsbCycleCount(kPort) >= before + 2;
    }));
  }

  void removeSensor() {
    ASSERT_TRUE(UsbSlot_release(kPort, 1000));  // as detection lets go of a vanished node
    std::this_thread::sleep_for(100ms);
  }

  int count(const std::string& header) { return std::stoi(sim->control("count usb1 " + header).substr(3)); }
  std::string ask(const std::string& query) {
    const std::string reply = sim->control("scpi usb1 " + query);
    return reply.size() > 3 ? reply.substr(3) : std::string();
  }

  PULSE_CONFIG_DIALOG* open() {
    pulseConfigDialog_open(kPort, "P80x: test");
    drainMainLoop();
    const bool extended = sensorPortHandler_getSensorConfigs(kPort).bSupportsTriggeredGates;
    return extended ? &gPulseConfigDlgP804 : &gPulseConfigDlgP803;
  }

  static GtkWidget* w(PULSE_CONFIG_DIALOG* d, const char* id) {
    GtkWidget* widget = pulseConfigDialog_lookup(d, id);
    EXPECT_NE(widget, nullptr) << id;
    return widget;
  }
  static void click(GtkWidget* button) {
    gtk_button_clicked(GTK_BUTTON(button));
    drainMainLoop();
  }
  static void click(PULSE_CONFIG_DIALOG* d, const char* id) { click(w(d, id)); }
  static std::string text(GtkWidget* widget) {
    if (GTK_IS_ENTRY(widget)) return gtk_entry_get_text(GTK_ENTRY(widget));
    if (GTK_IS_BUTTON(widget)) return gtk_button_get_label(GTK_BUTTON(widget));
    return gtk_label_get_text(GTK_LABEL(widget));
  }
  static std::string text(PULSE_CONFIG_DIALOG* d, const char* id) { return text(w(d, id)); }
  static void type(PULSE_CONFIG_DIALOG*, GtkWidget* entry, const char* value) {
    gtk_entry_set_text(GTK_ENTRY(entry), value);
  }
  // Keys of the dialog's keypad: digits, ".", "-", N (next), C (clear), B (backspace).
  static void press(PULSE_CONFIG_DIALOG* d, const std::string& keys) {
    for (char k : keys) {
      std::string id = "btnKeypad";
      switch (k) {
        case '.': id += "Period"; break;
        case '-': id += "Minus"; break;
        case 'N': id += "Next"; break;
        case 'C': id += "Clear"; break;
        case 'B': id += "Backspace"; break;
        default: id += k; break;
      }
      click(d, id.c_str());
    }
  }
  static bool shown(PULSE_CONFIG_DIALOG* d) { return gtk_widget_get_visible(d->dialog) != FALSE; }
  bool applied(PULSE_CONFIG_DIALOG* d) {
    return runUntil([d] { return !pulseConfigDialog_isApplying(d); }, 15s);
  }

  // The dialog's own window, or (d null) the whole screen with every window on it.
  static void screenshot(PULSE_CONFIG_DIALOG* d, const std::string& name) {
    const std::string path = std::string(R9050_ARTIFACT_DIR) + "/" + name;
    if (d != nullptr) {
      test_support::saveWindowPicture(d->dialog, path);
    } else {
      test_support::saveScreenPicture(path);
    }
  }

  inline static bool displayAvailable = false;
  test_support::ScratchRoot root;
  std::unique_ptr<Simulator> sim;
};

TEST_F(PulseConfigDialogGuiTest, BothBuilderFilesHoldEveryIdentifier) {
  const char* common[] = {"pulseConfigTwoStateDialog", "pulse.labelTitle", "pulse.attrBox", "pulse.cfgBox",
                          "pulse.actionBox", "pulse.freqLabel", "pulse.chkFreqAuto", "pulse.freqValue",
                          "pulse.freqUnits", "pulse.lblGateDelays", "pulse.lblBegin", "pulse.lblEnd",
                          "pulse.entryBegin", "pulse.btnUnitsBegin", "pulse.entryEnd", "pulse.btnUnitsEnd",
                          "pulse.btnRestore", "pulse.btnApply", "pulse.btnApplyAndStore", "pulse.btnCancel",
                          "btnKeypad0", "btnKeypad9", "btnKeypadMinus", "btnKeypadPeriod", "btnKeypadBackspace",
                          "btnKeypadClear", "btnKeypadNext"};
  const char* p804[] = {"pulse.periodLabel", "pulse.chkPeriodAuto", "pulse.periodValue", "pulse.periodUnits",
                        "pulse.levelLabel", "pulse.chkLevelAuto", "pulse.levelValue", "pulse.levelUnits",
                        "pulse.delayLabel", "pulse.delayValue", "pulse.delayUnits", "pulse.edgeLabel",
                        "pulse.radioRising", "pulse.radioFalling", "pulse.modeLabel", "pulse.radioPulseGate",
                        "pulse.radioTriggeredGates", "pulse.delayGrid", "pulse.stateGrid", "pulse.hdrGate",
                        "pulse.hdrBegin", "pulse.hdrEnd", "pulse.hdrDelete", "pulse.btnAddState"};
  for (PULSE_CONFIG_DIALOG* d : {&gPulseConfigDlgP803, &gPulseConfigDlgP804}) {
    for (const char* id : common) EXPECT_NE(pulseConfigDialog_lookup(d, id), nullptr) << id;
  }
  for (const char* id : p804) EXPECT_NE(pulseConfigDialog_lookup(&gPulseConfigDlgP804, id), nullptr) << id;
  EXPECT_EQ(pulseConfigDialog_lookup(&gPulseConfigDlgP803, "pulse.stateGrid"), nullptr);
}

TEST_F(PulseConfigDialogGuiTest, P803GateLimitsAndTheKeypad) {
  plug("P803");
  PULSE_CONFIG_DIALOG* d = open();
  ASSERT_EQ(d, &gPulseConfigDlgP803);
  ASSERT_TRUE(shown(d));
  EXPECT_EQ(text(d, "pulse.labelTitle"), "P80x: test");
  // Frequency is automatic: the keypad starts on the gate begin.
  EXPECT_EQ(d->pEntryTarget, w(d, "pulse.entryBegin"));
  EXPECT_EQ(text(d, "pulse.btnUnitsBegin"), "us");
  press(d, "901");
  EXPECT_EQ(text(d, "pulse.entryBegin"), "901");
  const int sentBefore = count("CALC:GATE:BEG:DEL");
  click(d, "pulse.btnApply");
  EXPECT_EQ(pulseConfigDialog_errorText(), "The gate begin delay value must be between 0.000000 and 900.000000 us.");
  EXPECT_TRUE(shown(d));
  screenshot(nullptr, "pulse_dialog_p803_error.png");
  pulseConfigDialog_closeError();
  // The refused entry is the keypad's target again, its text selected.
  EXPECT_EQ(d->pEntryTarget, w(d, "pulse.entryBegin"));
  press(d, "900");  // the limit is accepted
  EXPECT_EQ(text(d, "pulse.entryBegin"), "900");
  press(d, "N1-");  // gate end: +1 us would be refused, -1 us is fine
  EXPECT_EQ(text(d, "pulse.entryEnd"), "-1");
  click(d, "pulse.btnApply");
  ASSERT_TRUE(applied(d));
  EXPECT_EQ(pulseConfigDialog_errorText(), "");
  EXPECT_FALSE(shown(d));
  EXPECT_EQ(count("CALC:GATE:BEG:DEL"), sentBefore + 1);
  EXPECT_NEAR(std::stof(ask("CALC:GATE:BEG:DEL?")), 0.0009F, 1e-9F);
  EXPECT_NEAR(std::stof(ask("CALC:GATE:END:DEL?")), -0.000001F, 1e-10F);
  EXPECT_EQ(count("SENS:PER"), 0);  // a P803 never gets period, trigger or state commands
  EXPECT_EQ(count("TRIG:DEL"), 0);
}

TEST_F(PulseConfigDialogGuiTest, GateEndAboveZeroAndAnEmptyEntryAreRefusedWithoutSending) {
  plug("P803");
  PULSE_CONFIG_DIALOG* d = open();
  const int before = count("CALC:GATE:END:DEL") + count("CALC:GATE:BEG:DEL");
  type(d, w(d, "pulse.entryEnd"), "1");
  click(d, "pulse.btnApply");
  EXPECT_EQ(pulseConfigDialog_errorText(), "The gate end delay value must be between -900.000000 and 0.000000 us.");
  EXPECT_EQ(d->pEntryTarget, w(d, "pulse.entryEnd"));
  type(d, w(d, "pulse.entryEnd"), "0");
  type(d, w(d, "pulse.entryBegin"), "");
  click(d, "pulse.btnApply");
  EXPECT_EQ(pulseConfigDialog_errorText(), "The gate begin delay field holds no number.\nPlease enter a value.");
  EXPECT_EQ(d->pEntryTarget, w(d, "pulse.entryBegin"));
  // An Auto frequency outside every range is not validated; unchecked it is.
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w(d, "pulse.chkFreqAuto")), FALSE);
  drainMainLoop();
  EXPECT_EQ(d->pEntryTarget, w(d, "pulse.freqValue"));
  EXPECT_FALSE(gtk_widget_get_sensitive(w(d, "btnKeypadMinus")));  // frequencies are never negative
  type(d, w(d, "pulse.entryBegin"), "0");
  type(d, w(d, "pulse.freqValue"), "");
  click(d, "pulse.btnApply");
  EXPECT_EQ(pulseConfigDialog_errorText(), "The frequency field holds no number.\nPlease enter a value.");
  EXPECT_EQ(count("CALC:GATE:END:DEL") + count("CALC:GATE:BEG:DEL"), before);
  EXPECT_TRUE(shown(d));
}

TEST_F(PulseConfigDialogGuiTest, TheErrorDialogLeavesTheMainLoopRunning) {
  plug("P803");
  PULSE_CONFIG_DIALOG* d = open();
  type(d, w(d, "pulse.entryBegin"), "901");
  int ticks = 0;
  g_timeout_add(10, [](gpointer data) -> gboolean { return ++*static_cast<int*>(data) < 5; }, &ticks);
  click(d, "pulse.btnApply");  // returns with the error dialog open
  ASSERT_NE(pulseConfigDialog_errorText(), "");
  EXPECT_TRUE(runUntil([&] { return ticks >= 5; }, 2s));
  EXPECT_NE(pulseConfigDialog_errorText(), "");  // still open while the loop ran
}

TEST_F(PulseConfigDialogGuiTest, TriggeredGatesAddDeleteAndApplyFourStates) {
  plug("P804");
  PULSE_CONFIG_DIALOG* d = open();
  ASSERT_EQ(d, &gPulseConfigDlgP804);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w(d, "pulse.radioTriggeredGates")), TRUE);
  drainMainLoop();
  EXPECT_TRUE(bUseTriggeredGatesModel);
  EXPECT_FALSE(gtk_widget_get_visible(w(d, "pulse.chkPeriodAuto")));  // the triggered-gates model has no Auto period
  EXPECT_FALSE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w(d, "pulse.chkPeriodAuto"))));
  EXPECT_TRUE(gtk_widget_get_visible(w(d, "pulse.periodValue")));
  EXPECT_FALSE(gtk_widget_get_visible(w(d, "pulse.delayGrid")));
  type(d, w(d, "pulse.periodValue"), "1");
  gtk_button_set_label(GTK_BUTTON(w(d, "pulse.periodUnits")), "ms");
  for (int i = 0; i < 4; ++i) click(d, "pulse.btnAddState");
  EXPECT_FALSE(gtk_widget_get_visible(w(d, "pulse.btnAddState")));
  // The first state is 0 ... 100 us; each next one follows the previous one.
  EXPECT_EQ(text(pulseConfigDialog_stateCell(d, 1, 1)), "0.0000");
  EXPECT_EQ(text(pulseConfigDialog_stateCell(d, 1, 3)), "100.00");
  EXPECT_EQ(text(pulseConfigDialog_stateCell(d, 1, 4)), "us");
  EXPECT_EQ(text(pulseConfigDialog_stateCell(d, 4, 1)), "300.0");
  EXPECT_EQ(d->pEntryTarget, pulseConfigDialog_stateCell(d, 4, 1));
  screenshot(d, "pulse_dialog_p804_states.png");
  // Delete state 2: the rows below move up and are renumbered.
  click(pulseConfigDialog_stateCell(d, 2, 5));
  EXPECT_EQ(pulseConfigDialog_stateCell(d, 4, 1), nullptr);
  for (int r = 1; r <= 3; ++r) EXPECT_EQ(text(pulseConfigDialog_stateCell(d, r, 0)), std::to_string(r));
  EXPECT_EQ(text(pulseConfigDialog_stateCell(d, 2, 1)), "200.0");
  EXPECT_TRUE(gtk_widget_get_visible(w(d, "pulse.btnAddState")));
  EXPECT_EQ(d->pEntryTarget, pulseConfigDialog_stateCell(d, 2, 1));
  click(d, "pulse.btnAddState");
  click(d, "pulse.btnApply");
  ASSERT_TRUE(applied(d));
  EXPECT_EQ(pulseConfigDialog_errorText(), "");
  EXPECT_FALSE(shown(d));
  EXPECT_EQ(ask("CALC:STAT4:ENAB?"), "1");
  EXPECT_NEAR(std::stof(ask("CALC:STAT2:BEG:DEL?")), 0.0002F, 1e-9F);
  EXPECT_NEAR(std::stof(ask("CALC:STAT4:END:DEL?")), 0.0005F, 1e-9F);  // added after the old last state
  const SENSOR_CONFIGS c = sensorPortHandler_getSensorConfigs(kPort);
  EXPECT_EQ(c.numStates, 4);
  EXPECT_TRUE(c.bModelIsTriggeredGates);
}

TEST_F(PulseConfigDialogGuiTest, TwoStatesLeaveThreeAndFourIdleAndApplyAndStoreWritesTheFile) {
  plug("P804");
  PULSE_CONFIG_DIALOG* d = open();
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w(d, "pulse.radioTriggeredGates")), TRUE);
  drainMainLoop();
  type(d, w(d, "pulse.periodValue"), "10");
  gtk_button_set_label(GTK_BUTTON(w(d, "pulse.periodUnits")), "ms");
  click(d, "pulse.btnAddState");
  click(d, "pulse.btnAddState");
  click(d, "pulse.btnApplyAndStore");
  ASSERT_TRUE(applied(d));
  EXPECT_EQ(pulseConfigDialog_errorText(), "");
  EXPECT_FALSE(shown(d));
  SENSOR_CONFIGS stored;
  sensorPortHandler_loadSensorConfig(stored);
  EXPECT_TRUE(stored.bModelIsTriggeredGates);
  EXPECT_EQ(stored.numStates, 2);
  EXPECT_TRUE(stored.pulseStates[1].bEnabled);
  EXPECT_FALSE(stored.pulseStates[2].bEnabled);
  EXPECT_FLOAT_EQ(stored.pulseStates[2].begin, 0.0F);
  EXPECT_FLOAT_EQ(stored.pulseStates[3].end, 0.001F);
  EXPECT_FLOAT_EQ(stored.prdVal, 0.01F);
  EXPECT_EQ(ask("CALC:STAT3:ENAB?"), "0");
}

TEST_F(PulseConfigDialogGuiTest, RestoreFillsTheStoredConfiguration) {
  plug("P804");
  SENSOR_CONFIGS saved = PulseSensorConfig_defaults();
  saved.gateBegin = 0.0005F;
  saved.bAutoFrequency = false;
  saved.freqVal = 2.5e9F;
  sensorPortHandler_saveSensorConfig(saved);
  PULSE_CONFIG_DIALOG* d = open();
  EXPECT_EQ(text(d, "pulse.entryBegin"), "0.0000");
  click(d, "pulse.btnRestore");
  EXPECT_EQ(text(d, "pulse.entryBegin"), "500.0");
  EXPECT_EQ(text(d, "pulse.btnUnitsBegin"), "us");
  EXPECT_FALSE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w(d, "pulse.chkFreqAuto"))));
  EXPECT_EQ(text(d, "pulse.freqValue"), "2500.00");
  EXPECT_EQ(text(d, "pulse.freqUnits"), "MHz");
  EXPECT_TRUE(d->pulseConfig.bSupportsTriggeredGates);  // capabilities stay those of the sensor
  click(d, "pulse.btnCancel");
  EXPECT_FALSE(shown(d));
}

TEST_F(PulseConfigDialogGuiTest, ApplyAfterTheSensorWasPulledSendsNothing) {
  plug("P804");
  PULSE_CONFIG_DIALOG* d = open();
  type(d, w(d, "pulse.entryBegin"), "12");
  removeSensor();
  ASSERT_EQ(sim->control("pull usb1").substr(0, 2), "OK");
  ASSERT_EQ(sim->control("plug usb1 P804").substr(0, 2), "OK");
  const int before = count("CALC:GATE:BEG:DEL");
  click(d, "pulse.btnApply");
  EXPECT_NE(pulseConfigDialog_errorText().find("removed or replaced"), std::string::npos);
  EXPECT_FALSE(pulseConfigDialog_isApplying(d));
  EXPECT_TRUE(shown(d));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(count("CALC:GATE:BEG:DEL"), before);
}

TEST_F(PulseConfigDialogGuiTest, ASwappedSensorWithAnotherSerialNumberGetsNothing) {
  plug("P804");
  PULSE_CONFIG_DIALOG* d = open();
  type(d, w(d, "pulse.entryBegin"), "12");
  {
    // The slot now holds another sensor of the same model.
    std::lock_guard guard(sensorPortInfoMutex[kPort]);
    TextField_copy(handler().serialNumber, "80499999");
  }
  const int before = count("CALC:GATE:BEG:DEL");
  click(d, "pulse.btnApply");
  EXPECT_NE(pulseConfigDialog_errorText().find("removed or replaced"), std::string::npos);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(count("CALC:GATE:BEG:DEL"), before);
}

TEST_F(PulseConfigDialogGuiTest, ASensorRejectionIsListedAndTheDialogStaysOpen) {
  plug("P804");
  PULSE_CONFIG_DIALOG* d = open();
  // 500 W lies within the sensor's power range, which the dialog checks,
  // but beyond the trigger levels the sensor itself takes.
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w(d, "pulse.chkLevelAuto")), FALSE);
  drainMainLoop();
  type(d, w(d, "pulse.levelValue"), "500");
  gtk_button_set_label(GTK_BUTTON(w(d, "pulse.levelUnits")), "W");
  d->configUnitIsdBm = false;
  click(d, "pulse.btnApply");
  ASSERT_TRUE(applied(d));
  const std::string error = pulseConfigDialog_errorText();
  EXPECT_EQ(error.rfind("Parameter Errors occured in the sensor.\n\r", 0), 0U) << error;
  EXPECT_NE(error.find("  Trigger Level is not valid\n\r"), std::string::npos) << error;
  EXPECT_LE(error.size(), kRejectionTextLimit);
  EXPECT_TRUE(shown(d));
}

TEST_F(PulseConfigDialogGuiTest, NextCyclesThroughTheP804FieldsSkippingAutomaticOnes) {
  plug("P804");
  PULSE_CONFIG_DIALOG* d = open();
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w(d, "pulse.chkLevelAuto")), FALSE);
  drainMainLoop();
  EXPECT_EQ(d->pEntryTarget, w(d, "pulse.levelValue"));
  press(d, "N");
  EXPECT_EQ(d->pEntryTarget, w(d, "pulse.delayValue"));
  EXPECT_TRUE(gtk_widget_get_sensitive(w(d, "btnKeypadMinus")));  // a delay may be negative
  press(d, "N");
  EXPECT_EQ(d->pEntryTarget, w(d, "pulse.entryBegin"));
  press(d, "NN");
  EXPECT_EQ(d->pEntryTarget, w(d, "pulse.levelValue"));
  EXPECT_FALSE(gtk_widget_get_sensitive(w(d, "btnKeypadMinus")));  // a level in watts is not negative
  click(d, "pulse.levelUnits");
  click(d, "pulse.levelUnits");
  click(d, "pulse.levelUnits");
  EXPECT_EQ(text(d, "pulse.levelUnits"), "dBm");
  EXPECT_TRUE(gtk_widget_get_sensitive(w(d, "btnKeypadMinus")));
  screenshot(d, "pulse_dialog_p804_gate.png");
}

TEST_F(PulseConfigDialogGuiTest, AQuestionableSensorShowsZerosOnThePulseView) {
  // From the sensor to the screen: while the sensor flags its pulse readings
  // questionable (bit 0x200), the handler reads them as 0 and the view shows
  // zeros instead of the last good values.
  initColors();
  loadFonts();
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWidget* container = gtk_fixed_new();
  gtk_container_add(GTK_CONTAINER(window), container);
  CGTKPowerDisplay view;
  ASSERT_TRUE(initPulseDisplay(container, &view, true));
  gtk_widget_show_all(window);
  CGTKPowerDisplay_preparePulse(&view, 0, kPort, 30);
  plug("P804");
  ASSERT_EQ(sim->control("set usb1 prd 0.000123").substr(0, 2), "OK");
  ASSERT_EQ(sim->control("set usb1 gatemean 0.5").substr(0, 2), "OK");
  const auto reading = [] { return sensorPortHandler_getSensorMeasurements(kPort); };
  ASSERT_TRUE(runUntil([&] { return std::fabs(reading().prdVal - 0.000123F) < 1e-9F; }));
  CGTKPowerDisplay_updatePulseMeasurements(&view, reading());
  const auto shown = [&](const char* id) {
    GtkWidget* w = PulseDisplay_lookup(&view, id);
    return w != nullptr ? std::string(gtk_label_get_text(GTK_LABEL(w))) : std::string("<missing>");
  };
  EXPECT_EQ(shown("pulse.valuePeriod"), " 123.00");
  EXPECT_EQ(shown("pulse.valueGatedMean"), "  500.0");
  ASSERT_EQ(sim->control("set usb1 questionable 512").substr(0, 2), "OK");
  ASSERT_TRUE(runUntil([&] { return reading().prdVal == 0.0F && reading().gateMean == 0.0F; }));
  CGTKPowerDisplay_updatePulseMeasurements(&view, reading());
  EXPECT_EQ(shown("pulse.valuePeriod"), " 0.0000");
  EXPECT_EQ(shown("pulse.valueDuty"), "0.00");
  EXPECT_EQ(shown("pulse.valueGatedMean"), " 0.0000");
  EXPECT_EQ(shown("pulse.valueGatedMax"), " 0.0000");
  gtk_widget_destroy(window);
}

TEST_F(PulseConfigDialogGuiTest, TheConfigurationButtonOpensTheVariantOfTheSensorInItsPort) {
  plug("P804");
  PulseConfigRequest request;
  request.channel = kPort;
  TextField_copy(request.title, "P804: 80412345");
  callbackPulseConfig(nullptr, &request);
  drainMainLoop();
  ASSERT_TRUE(shown(&gPulseConfigDlgP804));
  EXPECT_FALSE(shown(&gPulseConfigDlgP803));
  EXPECT_EQ(text(&gPulseConfigDlgP804, "pulse.labelTitle"), "P804: 80412345");
  EXPECT_EQ(gPulseConfigDlgP804.channel, kPort);
  // The dialog shows what the sensor has: the simulated P804 starts with
  // automatic frequency, period and level, pulse gate, rising edge.
  EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w(&gPulseConfigDlgP804, "pulse.chkFreqAuto"))));
  EXPECT_FALSE(gtk_widget_get_visible(w(&gPulseConfigDlgP804, "pulse.freqValue")));
  EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w(&gPulseConfigDlgP804, "pulse.radioPulseGate"))));
  EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w(&gPulseConfigDlgP804, "pulse.radioRising"))));
  EXPECT_FALSE(gtk_widget_get_visible(w(&gPulseConfigDlgP804, "pulse.stateGrid")));
  click(&gPulseConfigDlgP804, "pulse.btnCancel");
  EXPECT_FALSE(shown(&gPulseConfigDlgP804));
}

}  // namespace
