// The main window: every screen container and display instance, built once
// at start-up and afterwards only shown or hidden; colours, fonts and styles.
// Main loop only.
#pragma once

#include <gtk/gtk.h>

#include <array>
#include <atomic>

#include "graph.h"
#include "power_display.h"

// The display instances, each with its place on the screen.
enum GtkSensorInstance {
  gtkSensorSingleChannel1 = 0,
  gtkSensorSingleChannel1withGraph,
  gtkSensorDualChannel1,
  gtkSensorDualChannel1withGraph,
  gtkSensorDualChannel2,
  gtkSensorDualChannel2withGraph,
  gtkSensorSinglePulse,
  gtkSensorDualPulseChannel1,
  gtkSensorDualPulseChannel2,
  gtkSensorSingleNoConnection,
  gtkSensorDualNoConnectionCh1,
  gtkSensorDualNoConnectionCh2,
  gtkSensorInstanceCount,
};

// What the window calls in the application: the window's close handler and
// the filling of the top strip (the battery indicator), handed in by main.
struct MainWindowHooks {
  void (*closeWindow)() = nullptr;
  void (*fillTopStrip)(GtkWidget* topStrip) = nullptr;
  // The settings button's "clicked" handler.
  GCallback settingsClicked = nullptr;
  // The settings button's picture (the menu picture the application loaded);
  // without one the window loads "./resources/hamburger.png" itself.
  GtkWidget* settingsPicture = nullptr;
  // "clicked" of every units button (the W/dBm toggle) and of the sensor
  // button (user data: the display index).
  GCallback unitsClicked = nullptr;
  GCallback sensorInfoClicked = nullptr;
};

// The window and its screen containers, each named after its field (the
// two-entry ones with their index, e.g. "dualCWChannels[1]").
struct MAIN_WINDOW {
  GtkWidget* mainWindow = nullptr;
  GtkWidget* entireScreenContainer = nullptr;
  GtkWidget* topFixedLine = nullptr;
  GtkWidget* singleSensorContainer = nullptr;
  GtkWidget* noConnectionScreen = nullptr;
  GtkWidget* singleMeasurementView = nullptr;
  GtkWidget* singleChannel1Screen = nullptr;
  GtkWidget* singleChannel1ScreenGraph = nullptr;
  GtkWidget* singleChannelPulseScreen = nullptr;
  GtkWidget* dualSensorContainer = nullptr;
  std::array<GtkWidget*, 2> dualNoConnectionScreens{};
  std::array<GtkWidget*, 2> dualMeasurementViews{};
  std::array<GtkWidget*, 2> dualCWChannels{};
  std::array<GtkWidget*, 2> dualCWChannelsGraph{};
  std::array<GtkWidget*, 2> dualPWChannels{};
};
extern MAIN_WINDOW entireScreen;

// The twelve display instances. Power displays are entries 0 to 5 (and the
// pulse views 6 to 8, built by the pulse display), no-connection pages 9 to 11.
extern std::array<CGTKSensorDisplay, gtkSensorInstanceCount> gtkSensor;

// How createGTKDisplays builds each instance.
enum class DisplayKind { power, pulse, noConnection };
struct DisplayInstancePlan {
  DisplayKind kind;
  GtkWidget* MAIN_WINDOW::*container;  // single containers
  std::array<GtkWidget*, 2> MAIN_WINDOW::*pair;  // or one of a pair
  int pairIndex;
  ChannelLayoutIndex layout;
  int displayIndex;
  const char* name;
};
extern const std::array<DisplayInstancePlan, gtkSensorInstanceCount> displayInstanceTable;
// The container an instance is built in.
GtkWidget* MainWindow_instanceContainer(GtkSensorInstance instance);

void initColors();
void loadFonts();
// Builds the window and publishes it as mainWindow; sets screenInitComplete
// last.
void createGTKDisplays(const MainWindowHooks& hooks);

// The start page: the single-channel area with the no-connection page
// ("No Sensor Detected"), every other screen hidden.
void MainWindow_showStartPage();

extern GtkWidget* mainWindow;
// The screens exist (the graph sampler waits for it).
extern std::atomic<bool> screenInitComplete;

// The time-power graph of a power display instance.
CGTKTimePowerGraph* CGTKPowerDisplay_getGraph(GtkSensorInstance instance);
