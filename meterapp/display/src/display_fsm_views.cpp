// The screen side of the display state machine's views table.
//
// Every operation acts on the window built by createGTKDisplays: the
// containers of entireScreen are shown and hidden, the no-connection pages get
// their texts, the power displays are bound to their channel and port and fed
// the readings. Each operation is also noted in the category log
// (SensorMmngr, "DisplayView: ..."), so that every view change the state
// machine makes, and what a display then shows, can be followed there
// without a look at the screen; the texts written to the no-connection pages
// go to the system log.
#include "display_fsm_views.h"

#include <array>
#include <string_view>

#include "graph.h"
#include "log_manager.h"
#include "main_window.h"
#include "power_display.h"

namespace {

const char* containerName(FsmContainer container) {
  static constexpr const char* kNames[] = {
      "singleSensorContainer",    "noConnectionScreen",  "singleMeasurementView", "singleChannel1Screen",
      "singleChannel1ScreenGraph", "singleChannelPulseScreen", "dualSensorContainer", "dualNoConnectionScreens",
      "dualMeasurementViews",     "dualCWChannels",      "dualCWChannelsGraph",   "dualPWChannels"};
  return container >= 0 && container < fsmContainerCount ? kNames[container] : "?";
}

bool isDual(FsmContainer container) { return container >= fsmDualNoConnectionScreens; }

// The window's widget for a container (null before the window is built or for
// a value outside the table).
GtkWidget* containerWidget(FsmContainer container, int channel) {
  MAIN_WINDOW& w = entireScreen;
  const std::size_t d = channel == 1 ? 1 : 0;
  switch (container) {
    case fsmSingleSensorContainer:
      return w.singleSensorContainer;
    case fsmNoConnectionScreen:
      return w.noConnectionScreen;
    case fsmSingleMeasurementView:
      return w.singleMeasurementView;
    case fsmSingleChannel1Screen:
      return w.singleChannel1Screen;
    case fsmSingleChannel1ScreenGraph:
      return w.singleChannel1ScreenGraph;
    case fsmSingleChannelPulseScreen:
      return w.singleChannelPulseScreen;
    case fsmDualSensorContainer:
      return w.dualSensorContainer;
    case fsmDualNoConnectionScreens:
      return w.dualNoConnectionScreens[d];
    case fsmDualMeasurementViews:
      return w.dualMeasurementViews[d];
    case fsmDualCWChannels:
      return w.dualCWChannels[d];
    case fsmDualCWChannelsGraph:
      return w.dualCWChannelsGraph[d];
    case fsmDualPWChannels:
      return w.dualPWChannels[d];
    case fsmContainerCount:
      break;
  }
  return nullptr;
}

void noteContainer(const char* what, FsmContainer container, int channel) {
  if (isDual(container)) {
    logManager_printToLog(SensorMmngr, "DisplayView: %s %s[%d]\n", what, containerName(container), channel);
  } else {
    logManager_printToLog(SensorMmngr, "DisplayView: %s %s\n", what, containerName(container));
  }
}

void showContainer(FsmContainer container, int channel) {
  noteContainer("show", container, channel);
  if (GtkWidget* widget = containerWidget(container, channel)) gtk_widget_show(widget);
}

void hideContainer(FsmContainer container, int channel) {
  noteContainer("hide", container, channel);
  if (GtkWidget* widget = containerWidget(container, channel)) gtk_widget_hide(widget);
}

bool isNoConnectionInstance(GtkSensorInstance instance) {
  return instance >= gtkSensorSingleNoConnection && instance < gtkSensorInstanceCount;
}
// The power displays, CW (0 to 5) and pulse (6 to 8).
bool isPowerInstance(GtkSensorInstance instance) { return instance >= 0 && instance < gtkSensorSingleNoConnection; }
bool isCwInstance(GtkSensorInstance instance) { return instance >= 0 && instance <= gtkSensorDualChannel2withGraph; }

CGTKPowerDisplay* powerDisplay(GtkSensorInstance instance) {
  return isPowerInstance(instance) ? &gtkSensor[static_cast<std::size_t>(instance)].power : nullptr;
}

void writePage(GtkSensorInstance instance, FsmPage page, const char* portName) {
  const std::string_view port = portName != nullptr ? portName : "";
  NoConnectionTexts texts;
  switch (page) {
    case fsmPageNoConnection:
      texts = NoConnection_noConnectTexts();
      break;
    case fsmPageConnecting:
      texts = NoConnection_connectingTexts(port);
      break;
    case fsmPageSensorError:
      texts = NoConnection_sensorErrorTexts(port);
      break;
  }
  // Pages change only with a sensor's state: always worth a line in the
  // system log (the category log is not switched on yet at start).
  DIAGNOSTIC("DisplayView: page %d \"%s\" \"%s\"\n", instance, texts.title.c_str(), texts.description.c_str());
  if (!isNoConnectionInstance(instance)) return;
  CGTKNoConnectionDisplay* display = &gtkSensor[static_cast<std::size_t>(instance)].noConnection;
  if (display->container == nullptr) return;  // no window (yet)
  switch (page) {
    case fsmPageNoConnection:
      CGTKNoConnectionDisplay_setNoConnect(display);
      break;
    case fsmPageConnecting:
      CGTKNoConnectionDisplay_setConnecting_withPort(display, portName);
      break;
    case fsmPageSensorError:
      CGTKNoConnectionDisplay_setSensorError_withPort(display, portName);
      break;
  }
}

// A label length of 0 or less refreshes only the scale buttons (the pulse
// views carry no sensor label of this kind).
void refreshDisplay(GtkSensorInstance instance, int labelLength) {
  CGTKPowerDisplay* display = powerDisplay(instance);
  if (display == nullptr || display->container == nullptr) return;
  CGTKPowerDisplay_updateScale(display);
  if (labelLength > 0) CGTKPowerDisplay_setSensorLabel(display, labelLength);
}

void prepareDisplay(GtkSensorInstance instance, int channel, int port, int labelLength) {
  logManager_printToLog(SensorMmngr, "DisplayView: display %d for channel %d port %d (label %d)\n", instance, channel,
                        port, labelLength);
  CGTKPowerDisplay* display = powerDisplay(instance);
  if (display == nullptr || display->container == nullptr) return;
  CGTKPowerDisplay_setDisplayIndex(display, channel);
  CGTKPowerDisplay_setSensorChannel(display, port);
  refreshDisplay(instance, labelLength);
}

std::string_view labelOf(GtkWidget* label) {
  const char* text = label != nullptr ? gtk_label_get_text(GTK_LABEL(label)) : nullptr;
  return text != nullptr ? text : "";
}

// What a CW display shows after an update, read back from its widgets:
// whether it is on the screen (its container and every parent shown), the
// sensor button and the three rows (title, value, units), each "-" while
// hidden.
void noteShown(GtkSensorInstance instance, const CGTKPowerDisplay* d) {
  if (!LogManager_isEnabled(SensorMmngr)) return;
  const auto row = [](const gtkPowerDisplay_RFPower& r) {
    std::string text;
    if (r.container == nullptr || !gtk_widget_get_visible(r.container)) return std::string("-");
    text.append(labelOf(r.label)).append(" \"").append(labelOf(r.value)).append("\" ").append(labelOf(r.unitsButtonLabel));
    return text;
  };
  logManager_printToLog(SensorMmngr, "DisplayView: display %d %s: \"%s\" | %s | %s | %s\n", instance,
                        gtk_widget_is_visible(d->container) ? "on screen" : "off screen",
                        std::string(labelOf(d->title.sensorButtonLabel)).c_str(), row(d->fwdRFPower).c_str(),
                        row(d->rflRFPower).c_str(), row(d->match).c_str());
}

void updateCw(GtkSensorInstance instance, const SENSOR_MEASUREMENTS& measurements, bool graph) {
  if (!isCwInstance(instance)) return;
  CGTKPowerDisplay* display = powerDisplay(instance);
  if (display->container == nullptr) return;
  CGTKPowerDisplay_updateMeasurements(display, measurements);
  // The graph draws from its store, filled by the graph sampler: it moves on
  // even while the sensor's readings are NaN.
  if (graph && display->hasGraph) CGTKTimePowerGraph_update(CGTKPowerDisplay_getGraph(instance));
  noteShown(instance, display);
}

void updatePulse(GtkSensorInstance, const SENSOR_MEASUREMENTS&) {}

void resetGraph(int channel) { CGraphData_reset(&sensorDisplays[static_cast<std::size_t>(channel)].graphDataPwr); }

constexpr DisplayFsmViews kScreen = {showContainer, hideContainer, writePage,  prepareDisplay,
                                     refreshDisplay, updateCw,     updatePulse, resetGraph};

}  // namespace

const DisplayFsmViews& DisplayFsmViews_screen() { return kScreen; }
