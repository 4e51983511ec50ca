// What the display state machine does to the screen, as a small table of
// operations: shows and hides the prebuilt containers, writes the pages and
// feeds the power displays. The state machine knows no widget; the screen
// side (display_fsm_views.cpp) maps each operation onto the window, and the
// state machine's tests put a recording table in its place.
#pragma once

#include "display_fsm.h"

// The containers of the window record, by name; the dual ones are per channel.
enum FsmContainer {
  fsmSingleSensorContainer = 0,
  fsmNoConnectionScreen,
  fsmSingleMeasurementView,
  fsmSingleChannel1Screen,
  fsmSingleChannel1ScreenGraph,
  fsmSingleChannelPulseScreen,
  fsmDualSensorContainer,
  fsmDualNoConnectionScreens,
  fsmDualMeasurementViews,
  fsmDualCWChannels,
  fsmDualCWChannelsGraph,
  fsmDualPWChannels,
  fsmContainerCount,
};

// The three pages of a no-connection display.
enum FsmPage { fsmPageNoConnection = 0, fsmPageConnecting, fsmPageSensorError };

struct DisplayFsmViews {
  // `channel` picks the entry of a dual container; single ones ignore it.
  void (*show)(FsmContainer container, int channel) = nullptr;
  void (*hide)(FsmContainer container, int channel) = nullptr;
  // One of the pages on a no-connection display; `portName` as in
  // CSensorDisplayFSM_getSensorPortName.
  void (*page)(GtkSensorInstance instance, FsmPage page, const char* portName) = nullptr;
  // Binds a power display to a channel and a port and refreshes its scale
  // buttons and its sensor label (at most `labelLength` characters).
  void (*prepare)(GtkSensorInstance instance, int channel, int port, int labelLength) = nullptr;
  // Refreshes the sensor label and the scale buttons before an update.
  void (*refresh)(GtkSensorInstance instance, int labelLength) = nullptr;
  void (*updateCw)(GtkSensorInstance instance, const SENSOR_MEASUREMENTS& measurements, bool graph) = nullptr;
  void (*updatePulse)(GtkSensorInstance instance, const SENSOR_MEASUREMENTS& measurements) = nullptr;
  // The channel's graph store starts afresh.
  void (*resetGraph)(int channel) = nullptr;
};

// The screen's table (display_fsm_views.cpp).
const DisplayFsmViews& DisplayFsmViews_screen();
// Replaces the table the state machine uses (tests); null restores the
// screen's.
void CSensorDisplayFSM_setViews(const DisplayFsmViews* views);
