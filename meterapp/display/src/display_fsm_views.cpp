// The screen side of the display state machine's views table.
//
// The window's containers and the power and no-connection displays are
// reached through main_window.h. What the window does not offer yet is noted
// in the category log (SensorMmngr), so that every view change the state
// machine makes can be followed there.
#include "display_fsm_views.h"

#include "graph.h"
#include "log_manager.h"

namespace {

const char* containerName(FsmContainer container) {
  static constexpr const char* kNames[] = {
      "singleSensorContainer",    "noConnectionScreen",  "singleMeasurementView", "singleChannel1Screen",
      "singleChannel1ScreenGraph", "singleChannelPulseScreen", "dualSensorContainer", "dualNoConnectionScreens",
      "dualMeasurementViews",     "dualCWChannels",      "dualCWChannelsGraph",   "dualPWChannels"};
  return container >= 0 && container < fsmContainerCount ? kNames[container] : "?";
}

bool isDual(FsmContainer container) { return container >= fsmDualNoConnectionScreens; }

void noteContainer(const char* what, FsmContainer container, int channel) {
  if (isDual(container)) {
    logManager_printToLog(SensorMmngr, "DisplayView: %s %s[%d]\n", what, containerName(container), channel);
  } else {
    logManager_printToLog(SensorMmngr, "DisplayView: %s %s\n", what, containerName(container));
  }
}

void showContainer(FsmContainer container, int channel) { noteContainer("show", container, channel); }
void hideContainer(FsmContainer container, int channel) { noteContainer("hide", container, channel); }

// The sensor family named on the connecting and error pages.
const char* familyOf(const char* portName) {
  return std::string_view(portName).starts_with("Serial") ? "Precision CW" : "Precision CW & Pulse";
}

void writePage(GtkSensorInstance instance, FsmPage page, const char* portName) {
  switch (page) {
    case fsmPageNoConnection:
      logManager_printToLog(SensorMmngr, "DisplayView: page %d \"No Sensor Detected\"\n", instance);
      break;
    case fsmPageConnecting:
      logManager_printToLog(SensorMmngr,
                            "DisplayView: page %d \"Connecting...\" \"A %s sensor on port %s is powering on and "
                            "initializing. Please wait.\"\n",
                            instance, familyOf(portName), portName);
      break;
    case fsmPageSensorError:
      logManager_printToLog(SensorMmngr, "DisplayView: page %d \"Critical Sensor Error\" (%s sensor on port %s)\n",
                            instance, familyOf(portName), portName);
      break;
  }
}

void prepareDisplay(GtkSensorInstance instance, int channel, int port, int labelLength) {
  logManager_printToLog(SensorMmngr, "DisplayView: display %d for channel %d port %d (label %d)\n", instance, channel,
                        port, labelLength);
  // A pulse view binds itself to the channel and port (no-op for the others).
  if (instance >= 0 && instance < gtkSensorInstanceCount) {
    CGTKPowerDisplay_preparePulse(&gtkSensor[static_cast<std::size_t>(instance)].power, channel, port, labelLength);
  }
}

void refreshDisplay(GtkSensorInstance, int) {}

void updateCw(GtkSensorInstance instance, const SENSOR_MEASUREMENTS&, bool graph) {
  if (graph) CGTKTimePowerGraph_update(CGTKPowerDisplay_getGraph(instance));
}

void updatePulse(GtkSensorInstance instance, const SENSOR_MEASUREMENTS& measurements) {
  if (instance < 0 || instance >= gtkSensorInstanceCount) return;
  CGTKPowerDisplay_updatePulseMeasurements(&gtkSensor[static_cast<std::size_t>(instance)].power, measurements);
}

void resetGraph(int channel) { CGraphData_reset(&sensorDisplays[static_cast<std::size_t>(channel)].graphDataPwr); }

constexpr DisplayFsmViews kScreen = {showContainer, hideContainer, writePage,  prepareDisplay,
                                     refreshDisplay, updateCw,     updatePulse, resetGraph};

}  // namespace

const DisplayFsmViews& DisplayFsmViews_screen() { return kScreen; }
