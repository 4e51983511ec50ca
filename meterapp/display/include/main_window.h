// The main window: every screen container and display instance, built once
// at start-up and afterwards only shown or hidden; colours, fonts and styles.
// Main loop only.
#pragma once

#include <gtk/gtk.h>

#include <atomic>

#include "graph.h"

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
};

void initColors();
void loadFonts();
// Builds the window and publishes it as mainWindow; sets screenInitComplete
// last.
void createGTKDisplays(const MainWindowHooks& hooks);

extern GtkWidget* mainWindow;
// The screens exist (the graph sampler waits for it).
extern std::atomic<bool> screenInitComplete;

// The time-power graph of a power display instance.
CGTKTimePowerGraph* CGTKPowerDisplay_getGraph(GtkSensorInstance instance);
