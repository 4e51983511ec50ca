// The CW power display of one channel (title with the sensor button; forward,
// reflected and match rows with their range buttons; the time-power graph in
// the graph layouts) and the page shown while no sensor measures. Built once
// by the main window; updated by the display state machine on the main loop.
#pragma once

#include <gtk/gtk.h>

#include <array>
#include <cstdint>

#include "configuration.h"
#include "graph.h"
#include "layouts.h"
#include "power_format.h"
#include "pulse_format.h"
#include "scale_controls.h"
#include "sensor_data.h"

struct gtkPowerDisplay_Title {
  GtkWidget* container = nullptr;
  GtkWidget* sensorButton = nullptr;
  GtkWidget* sensorButtonLabel = nullptr;
  GtkWidget* configButton = nullptr;  // pulse views only
  bool clickablePainted = false;      // the sensor button wears the clickable colour
};

struct gtkPowerDisplay_RFPower {
  GtkWidget* container = nullptr;
  GtkWidget* label = nullptr;
  GtkWidget* value = nullptr;
  GtkWidget* unitsButton = nullptr;
  GtkWidget* unitsButtonLabel = nullptr;
  int shownColours = -1;  // the colour pair last applied (-1: none yet)
};

// The gated-power row of a pulse view: mean, maximum and minimum in one unit.
struct gtkPowerDisplay_GatedPower {
  GtkWidget* container = nullptr;
  GtkWidget* meanValue = nullptr;
  GtkWidget* minValue = nullptr;
  GtkWidget* maxValue = nullptr;
  GtkWidget* unitsButton = nullptr;
  GtkWidget* unitsButtonLabel = nullptr;
};

// One pulse state row (states page of a pulse view); direction of its
// callback data = the state number 0 to 3.
struct gtkPowerDisplay_PulseState {
  GtkWidget* container = nullptr;
  GtkWidget* state = nullptr;  // row title
  GtkWidget* min = nullptr;
  GtkWidget* max = nullptr;
  GtkWidget* mean = nullptr;
  GtkWidget* unitsButton = nullptr;
  GtkWidget* unitsButtonLabel = nullptr;
  CGTKScaleControls scaleControls;
  CallbackData_AutoScale callbackDataAutoscale;
  rfPowerScale powerScale{true, kDefaultScaleIndex};
};

struct CGTKPowerDisplay_RFPower_Parameters {
  bool isVisible = true;
  const char* title = "";
  const char* units = "";
  GCallback callbackMeasFunction = nullptr;
  const gtkWidgetParameters* layoutParameters = nullptr;  // title, value, units button
};

struct CGTKPowerDisplay_Parameters {
  const char* name = "";
  int sensorChannel = 0;
  int displayIndex = 0;
  GtkWidget* container = nullptr;
  GCallback callbackMeasFunction = nullptr;        // units buttons (W/dBm)
  GCallback callbackSensorInfoFunction = nullptr;  // sensor button; user data = display index
  ChannelLayoutIndex layout = layoutSingleChannel;
  std::array<std::uint32_t, 6> yLinePositions{};
  std::uint32_t yOffset = 0;
};

struct CGTKPowerDisplay {
  int sensorChannel = 0;
  int displayIndex = 0;
  GtkWidget* container = nullptr;
  gtkPowerDisplay_Title title;
  GtkWidget* pGridAttr = nullptr;  // pulse view
  gtkPowerDisplay_RFPower fwdRFPower;
  gtkPowerDisplay_RFPower rflRFPower;
  gtkPowerDisplay_RFPower match;
  CGTKTimePowerGraph graph;
  bool hasGraph = false;
  CGTKScaleControls scaleControlsFwd;
  CGTKScaleControls scaleControlsRfl;
  rfPowerType powerType = rfPower_W;
  rfMatchType_t matchType = rfMatch_VSWR;
  rfPowerScale scaleFwd{true, kDefaultScaleIndex};
  rfPowerScale scaleRfl{true, kDefaultScaleIndex};
  bool enableFwd = true;
  bool enableRfl = true;
  bool enableMatch = true;
  CallbackData_AutoScale callbackDataAutoscaleFwd;
  CallbackData_AutoScale callbackDataAutoscaleRfl;
  // Pulse-view members, built and driven by the pulse display
  // (pulse_display.cpp). The timing rows have a value label and a units
  // label (unitsButtonLabel) but no units button.
  gtkPowerDisplay_RFPower period;
  gtkPowerDisplay_RFPower repeat;
  gtkPowerDisplay_RFPower width;
  gtkPowerDisplay_RFPower dutyCycleVal;
  gtkPowerDisplay_RFPower frequency;
  GtkWidget* pGridGated = nullptr;
  gtkPowerDisplay_GatedPower gatedPower;
  rfPowerScale gatedPowerScale{true, kDefaultScaleIndex};
  CallbackData_AutoScale callbackDataAutoscaleGatedPower;
  CGTKScaleControls scaleControlsGatedPower;
  GtkWidget* pGridState = nullptr;
  std::array<gtkPowerDisplay_PulseState, kPulseStateCount> stateArray{};
  // The pulse view itself: its root, layout and the mode last applied.
  GtkWidget* pulseScreen = nullptr;
  bool isPulseView = false;
  bool pulseFullScreen = false;
  pwrDisplayMode pulseMode = modeSingleSimple;
  bool pulseModeApplied = false;  // CGTKPowerDisplay_setup ran at least once
  GtkBuilder* pulseBuilder = nullptr;  // kept for the process lifetime: widgets are found by id
};

struct CGTKNoConnectionDisplay {
  int sensorChannel = 0;
  int displayIndex = 0;
  GtkWidget* container = nullptr;
  GtkWidget* title = nullptr;
  GtkTextBuffer* descriptionBuffer = nullptr;
  GtkWidget* descriptionView = nullptr;
};

// One display instance: a power display or a no-connection page; which one an
// instance is follows from its GtkSensorInstance (main_window.h). Both parts
// live side by side rather than overlaid, so the records keep their
// initialisers and no member is read through the wrong type.
struct CGTKSensorDisplay {
  CGTKPowerDisplay power;
  CGTKNoConnectionDisplay noConnection;
};

void CGTKPowerDisplay_Create(CGTKPowerDisplay* instance, const CGTKPowerDisplay_Parameters& parameters);
// The rows only; the graph of a graph view is redrawn by its caller (the
// display state machine), from the graph's own store.
void CGTKPowerDisplay_updateMeasurements(CGTKPowerDisplay* instance, SENSOR_MEASUREMENTS measurements);
void CGTKPowerDisplay_updateScale(CGTKPowerDisplay* instance);
void CGTKPowerDisplay_setDisplayIndex(CGTKPowerDisplay* instance, int index);
int CGTKPowerDisplay_getDisplayIndex(const CGTKPowerDisplay* instance);
void CGTKPowerDisplay_setSensorChannel(CGTKPowerDisplay* instance, int channel);
int CGTKPowerDisplay_getSensorChannel(const CGTKPowerDisplay* instance);
void CGTKPowerDisplay_setSensorLabel(CGTKPowerDisplay* instance, int maxLength);
// Writes at most length - 1 characters and the end into buffer.
void CGTKPowerDisplay_getSensorLabel(const CGTKPowerDisplay* instance, char* buffer, int length);

bool gtkPowerDisplay_isOverRange(int sensorChannel, float power, rfPowerScale scale, rfPowerType powerType);
float gtkPowerDisplay_getMaxPowerForRange(int sensorChannel, rfPowerScale scale, rfPowerType powerType);
// Shows or hides a row's container and, when given, its range buttons.
void gtkPowerDisplay_setVisible(gtkPowerDisplay_RFPower* row, CGTKScaleControls* scaleControls, bool visible);
// Builds one row (title label, value label, units button) in a new fixed
// container; also used by the pulse display.
void gtkPowerDisplay_RFPower_create(gtkPowerDisplay_RFPower* row, const CGTKPowerDisplay_RFPower_Parameters& parameters);

void CGTKNoConnectionDisplay_Create(CGTKNoConnectionDisplay* instance, const CGTKPowerDisplay_Parameters& parameters,
                                    const char* title);
void CGTKNoConnectionDisplay_setNoConnect(CGTKNoConnectionDisplay* instance);
void CGTKNoConnectionDisplay_setConnecting_withPort(CGTKNoConnectionDisplay* instance, const char* portName);
void CGTKNoConnectionDisplay_setSensorError_withPort(CGTKNoConnectionDisplay* instance, const char* portName);
void CGTKNoConnectionDisplay_setTitle(CGTKNoConnectionDisplay* instance, const char* text);
void CGTKNoConnectionDisplay_setDescription(CGTKNoConnectionDisplay* instance, const char* text);

// ---- Pulse views (pulse_display.cpp) ----

// What the pulse views call outside the display layer, handed in by the
// application before the window is built.
struct PulseDisplayHooks {
  GCallback unitsClicked = nullptr;       // every units button (the W/dBm toggle)
  // The sensor button; user data = the display index shown at the click.
  void (*sensorInfoClicked)(GtkWidget* widget, gpointer data) = nullptr;
  // The configuration button: opens the pulse configuration dialog for a
  // sensor port, titled with the sensor label.
  void (*openPulseConfig)(int port, const char* title) = nullptr;
};
void PulseDisplay_setHooks(const PulseDisplayHooks& hooks);

// Builds a pulse view from "./resources/pulseDisplay.ui" (full screen) or
// "./resources/pulseDisplayHalf.ui" into container. False (with a
// diagnostic) when the file cannot be loaded or lacks an id; the view then
// stays empty and its updates do nothing.
bool initPulseDisplay(GtkWidget* container, CGTKPowerDisplay* instance, bool fullScreen);
void CGTKPowerDisplay_updatePulseMeasurements(CGTKPowerDisplay* instance, SENSOR_MEASUREMENTS measurements);
// Fonts, range pictures and timing rows of a mode.
void CGTKPowerDisplay_setup(CGTKPowerDisplay* instance, pwrDisplayMode mode);
// Binds a pulse view to a channel and port (as the state machine does for
// every view of a channel) and refreshes its range buttons and label.
void CGTKPowerDisplay_preparePulse(CGTKPowerDisplay* instance, int displayIndex, int port, int labelLength);
// The widget of a pulse view by builder id (tests, screenshots); null when
// the view has none.
GtkWidget* PulseDisplay_lookup(const CGTKPowerDisplay* instance, const char* id);
