// The dialog in which the user edits, checks and applies the pulse
// measurement configuration of a USB sensor. One dialog per sensor family:
// P803 (frequency and gate) and P804 (timing, trigger, gate or up to four
// states). Both are built once at start-up and afterwards only shown and
// hidden. GTK main loop only.
//
// Apply sends the configuration from a worker thread (the sensor answers
// between two of its measuring cycles, which may take long): the screen keeps
// being updated meanwhile, and the outcome comes back to the main loop.
#pragma once

#include <gtk/gtk.h>

#include <array>
#include <cstdint>
#include <string>
#include <thread>

#include "keypad.h"
#include "pulse_config_logic.h"
#include "sensor_data.h"

struct PULSE_CONFIG_DIALOG {
  int channel = sensorPort_None;  // the sensor port the dialog edits
  std::uint32_t triggerLevelScaleIndex = 0;
  bool powerUnitIsdBm = true;
  bool configUnitIsdBm = false;
  std::uint32_t configLevelScaleIndex = 0;
  float configLevelDBm = 0.0F;
  float configLevelWatt = 0.0F;
  SENSOR_CONFIGS pulseConfig;
  std::array<char, 30> dialogTitle{};
  GtkWidget* pEntryTarget = nullptr;

  enPulseSensorModel model = ModelP803;
  GtkBuilder* builder = nullptr;  // kept: widgets are found by id
  GtkWidget* dialog = nullptr;
  GtkWidget* title = nullptr;
  GtkWidget* freqAuto = nullptr;
  GtkWidget* freqEntry = nullptr;
  GtkWidget* freqUnits = nullptr;
  GtkWidget* periodAuto = nullptr;
  GtkWidget* periodEntry = nullptr;
  GtkWidget* periodUnits = nullptr;
  GtkWidget* levelAuto = nullptr;
  GtkWidget* levelEntry = nullptr;
  GtkWidget* levelUnits = nullptr;
  GtkWidget* delayEntry = nullptr;
  GtkWidget* delayUnits = nullptr;
  GtkWidget* radioRising = nullptr;
  GtkWidget* radioFalling = nullptr;
  GtkWidget* radioPulseGate = nullptr;
  GtkWidget* radioTriggeredGates = nullptr;
  GtkWidget* gateBeginEntry = nullptr;
  GtkWidget* gateBeginUnits = nullptr;
  GtkWidget* gateEndEntry = nullptr;
  GtkWidget* gateEndUnits = nullptr;
  std::array<GtkWidget*, 10> keypadDigits{};
  GtkWidget* keypadMinus = nullptr;
  GtkWidget* keypadPeriod = nullptr;
  GtkWidget* keypadBackspace = nullptr;
  GtkWidget* keypadClear = nullptr;
  GtkWidget* keypadNext = nullptr;
  GtkWidget* delayGrid = nullptr;
  GtkWidget* stateGrid = nullptr;
  GtkWidget* attrBox = nullptr;
  GtkWidget* cfgBox = nullptr;
  GtkWidget* actionBox = nullptr;
  GtkWidget* addStateButton = nullptr;
  GtkWidget* restoreButton = nullptr;
  GtkWidget* applyButton = nullptr;
  GtkWidget* applyAndStoreButton = nullptr;
  GtkWidget* cancelButton = nullptr;
  CKeypadManager_Instance keypadManager;

  bool loadingWidgets = false;  // the widgets are being filled, not changed by the user
  PulseSensorStamp sensor;      // the sensor the dialog was opened for
  bool applying = false;        // a send is under way (the action buttons are off)
  std::jthread applyWorker;
};
extern PULSE_CONFIG_DIALOG gPulseConfigDlgP803;
extern PULSE_CONFIG_DIALOG gPulseConfigDlgP804;
// Which model the P804 dialog shows (true: triggered gates).
extern bool bUseTriggeredGatesModel;

// What the dialog calls outside its layer, handed in by the application.
struct PulseConfigHooks {
  // Flips the display's power unit between W and dBm.
  void (*toggleWattdBm)() = nullptr;
};
void pulseConfigDialog_setHooks(const PulseConfigHooks& hooks);

// Builds a dialog from "./resources/pulseConfigP803.ui" or
// "./resources/pulseConfigP804.ui"; a file that cannot be loaded leaves the
// dialog absent ("Error loading file: %s").
void pulseConfigDialog_Create(PULSE_CONFIG_DIALOG* dialog, enPulseSensorModel model);
// Opens the variant for the configuration's capabilities, filled with it.
void pulseConfigDialog_Show(const SENSOR_CONFIGS& configuration, int channel, const char* title);
// Reads the port's configuration and shows the dialog for it.
void pulseConfigDialog_open(int channel, const char* title);

// What a pulse view's configuration button hands over.
struct PulseConfigRequest {
  int channel = sensorPort_None;
  std::array<char, 31> title{};
};
// The handler of a pulse view's configuration button; data: a
// PulseConfigRequest.
void callbackPulseConfig(GtkWidget* widget, gpointer data);

// Reads the widgets into the dialog's configuration. False, with the
// message and the entry to focus, when a needed entry holds no number.
bool updatePulseSensorConfiguration(PULSE_CONFIG_DIALOG* dialog, PulseValidation& problem);
void callbackPulseConfigBtnClicked(GtkWidget* widget, gpointer data);
void callbackRestoreSavedConfig(GtkWidget* widget, gpointer data);
void applyPulseSensorConfiguration(PULSE_CONFIG_DIALOG* dialog);
void PulseConfig_setTextInTargetWidget(PULSE_CONFIG_DIALOG* dialog, const char* text, bool select);
void PulseConfig_setTextInWidgetCallBackP803(const char* text, bool select);
void PulseConfig_setTextInWidgetCallBackP804(const char* text, bool select);

// Shown without waiting: the display keeps running while it is open. A new
// message replaces one still open.
void showErrorDialog(GtkWidget* parent, const char* text);

// For tests and screenshots: a dialog's widget by builder id, the state
// rows' widgets (row 1 to 4, column 0 to 5), the text of the error dialog
// now open (empty when none), and whether a send is still under way.
GtkWidget* pulseConfigDialog_lookup(const PULSE_CONFIG_DIALOG* dialog, const char* id);
GtkWidget* pulseConfigDialog_stateCell(const PULSE_CONFIG_DIALOG* dialog, int row, int column);
std::string pulseConfigDialog_errorText();
void pulseConfigDialog_closeError();
bool pulseConfigDialog_isApplying(const PULSE_CONFIG_DIALOG* dialog);
