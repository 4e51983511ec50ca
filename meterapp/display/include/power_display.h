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
  // Pulse-view members, built and driven by the pulse display.
  gtkPowerDisplay_RFPower period;
  gtkPowerDisplay_RFPower repeat;
  gtkPowerDisplay_RFPower width;
  gtkPowerDisplay_RFPower dutyCycleVal;
  gtkPowerDisplay_RFPower frequency;
  GtkWidget* pGridGated = nullptr;
  gtkPowerDisplay_RFPower gatedPower;
  rfPowerScale gatedPowerScale{true, kDefaultScaleIndex};
  CallbackData_AutoScale callbackDataAutoscaleGatedPower;
  CGTKScaleControls scaleControlsGatedPower;
  GtkWidget* pGridState = nullptr;
  std::array<gtkPowerDisplay_RFPower, kPulseStateCount> stateArray{};
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
