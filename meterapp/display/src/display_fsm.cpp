// The per-channel display state machine. Runs only on the GTK main loop,
// inside the display pass; it touches the screen only through the views
// table (display_fsm_views.h).
#include "display_fsm.h"

#include "configuration.h"
#include "display_fsm_views.h"
#include "log_manager.h"
#include "sensor_manager.h"

namespace {
std::array<CGraphData, 2> channelGraphStores;
}  // namespace
std::array<SensorDisplayInstance, 2> sensorDisplays{{{.graphDataPwr = channelGraphStores[0]},
                                                     {.graphDataPwr = channelGraphStores[1]}}};
std::array<CSensorDisplayFSM, NumberOfDisplays> sensorFSM;
SensorCountSubState_t countSubState = SingleSensor;

namespace {

// The three measurement views of a channel.
enum ViewKind { viewCw = 0, viewCwGraph, viewPulse };

constexpr int kLabelLength = 30;
constexpr int kDualGraphLabelLength = 22;

const DisplayFsmViews* views = nullptr;
CSensorDisplayFSM_MeasurementListener measurementListener = nullptr;

const DisplayFsmViews& screen() { return views != nullptr ? *views : DisplayFsmViews_screen(); }

int channelOf(const CSensorDisplayFSM* fsm) { return static_cast<int>(fsm->display); }
SensorDisplayInstance& channelRecord(const CSensorDisplayFSM* fsm) {
  return sensorDisplays[static_cast<std::size_t>(fsm->display)];
}
CSensorDisplayFSM& otherOf(const CSensorDisplayFSM* fsm) {
  return sensorFSM[fsm->display == UpperDisplay ? LowerDisplay : UpperDisplay];
}

void show(const CSensorDisplayFSM* fsm, FsmContainer container) { screen().show(container, channelOf(fsm)); }
void hide(const CSensorDisplayFSM* fsm, FsmContainer container) { screen().hide(container, channelOf(fsm)); }

GtkSensorInstance viewInstance(bool full, int channel, ViewKind kind) {
  static constexpr GtkSensorInstance kSingle[] = {gtkSensorSingleChannel1, gtkSensorSingleChannel1withGraph,
                                                  gtkSensorSinglePulse};
  static constexpr GtkSensorInstance kDual[2][3] = {
      {gtkSensorDualChannel1, gtkSensorDualChannel1withGraph, gtkSensorDualPulseChannel1},
      {gtkSensorDualChannel2, gtkSensorDualChannel2withGraph, gtkSensorDualPulseChannel2}};
  return full ? kSingle[kind] : kDual[channel][kind];
}
GtkSensorInstance viewInstance(const CSensorDisplayFSM* fsm, ViewKind kind) {
  return viewInstance(fsm->fullSCreen, channelOf(fsm), kind);
}

FsmContainer viewContainer(bool full, ViewKind kind) {
  static constexpr FsmContainer kSingle[] = {fsmSingleChannel1Screen, fsmSingleChannel1ScreenGraph,
                                             fsmSingleChannelPulseScreen};
  static constexpr FsmContainer kDual[] = {fsmDualCWChannels, fsmDualCWChannelsGraph, fsmDualPWChannels};
  return full ? kSingle[kind] : kDual[kind];
}

FsmContainer measurementContainer(const CSensorDisplayFSM* fsm) {
  return fsm->fullSCreen ? fsmSingleMeasurementView : fsmDualMeasurementViews;
}
FsmContainer noConnectionContainer(const CSensorDisplayFSM* fsm) {
  return fsm->fullSCreen ? fsmNoConnectionScreen : fsmDualNoConnectionScreens;
}
GtkSensorInstance noConnectionInstance(const CSensorDisplayFSM* fsm) {
  if (fsm->fullSCreen) return gtkSensorSingleNoConnection;
  return fsm->display == UpperDisplay ? gtkSensorDualNoConnectionCh1 : gtkSensorDualNoConnectionCh2;
}

ViewKind cwKind(const CSensorDisplayFSM* fsm) { return fsm->graphSubState == ShowGraph ? viewCwGraph : viewCw; }
ViewKind currentKind(const CSensorDisplayFSM* fsm) { return fsm->typeSubState == Pulse ? viewPulse : cwKind(fsm); }

void record(const CSensorDisplayFSM* fsm, GtkSensorInstance instance) { channelRecord(fsm).display = instance; }

void writePage(const CSensorDisplayFSM* fsm, FsmPage page) {
  screen().page(noConnectionInstance(fsm), page, CSensorDisplayFSM_getSensorPortName(fsm->port));
}

void useLayoutContainers(const CSensorDisplayFSM* fsm) {
  if (fsm->fullSCreen) {
    show(fsm, fsmSingleSensorContainer);
    hide(fsm, fsmDualSensorContainer);
  } else {
    show(fsm, fsmDualSensorContainer);
    hide(fsm, fsmSingleSensorContainer);
  }
}

void showNoConnectionPage(const CSensorDisplayFSM* fsm, FsmPage page) {
  writePage(fsm, page);
  hide(fsm, measurementContainer(fsm));
  show(fsm, noConnectionContainer(fsm));
}

// A layout change while no measurement view is shown.
void switchPageLayout(CSensorDisplayFSM* fsm, bool full, FsmPage page) {
  fsm->fullSCreen = full;
  showNoConnectionPage(fsm, page);
  record(fsm, noConnectionInstance(fsm));
  useLayoutContainers(fsm);
}

FsmPage pageOf(SensorDisplayState_t state) {
  if (state == Connecting) return fsmPageConnecting;
  if (state == SensorError) return fsmPageSensorError;
  return fsmPageNoConnection;
}

// The sensor label's length in each view: the half-screen graph view leaves
// its label only the space beside the graph. The updates keep to the same
// length, or the first reading would widen the label over the graph.
int labelLengthOf(bool full, ViewKind kind) {
  return !full && kind == viewCwGraph ? kDualGraphLabelLength : kLabelLength;
}

void prepareViews(const CSensorDisplayFSM* fsm, bool full) {
  for (ViewKind kind : {viewCw, viewCwGraph, viewPulse}) {
    screen().prepare(viewInstance(full, channelOf(fsm), kind), channelOf(fsm), fsm->port, labelLengthOf(full, kind));
  }
}

void hideViews(const CSensorDisplayFSM* fsm) {
  for (ViewKind kind : {viewCw, viewCwGraph, viewPulse}) hide(fsm, viewContainer(fsm->fullSCreen, kind));
}

void showView(CSensorDisplayFSM* fsm, ViewKind kind) {
  show(fsm, viewContainer(fsm->fullSCreen, kind));
  record(fsm, viewInstance(fsm, kind));
}

void enterMeasurementView(CSensorDisplayFSM* fsm) {
  if (fsm->fullSCreen) prepareViews(fsm, true);
  prepareViews(fsm, false);
  if (configuration_getPulseMode() && SensorPort_isUsb(fsm->port)) {
    fsm->typeSubState = Pulse;
  } else {
    fsm->graphSubState = configuration_getDisplayGraph() ? ShowGraph : HideGraph;
    fsm->typeSubState = CW;
  }
  hideViews(fsm);
  showView(fsm, currentKind(fsm));
  hide(fsm, noConnectionContainer(fsm));
  show(fsm, measurementContainer(fsm));
}

// A layout change of a measuring channel.
void switchMeasurementLayout(CSensorDisplayFSM* fsm, bool full) {
  fsm->fullSCreen = full;
  hideViews(fsm);
  if (full) prepareViews(fsm, true);
  showView(fsm, currentKind(fsm));
  hide(fsm, noConnectionContainer(fsm));
  show(fsm, measurementContainer(fsm));
  useLayoutContainers(fsm);
}

void publish(int port, const SENSOR_MEASUREMENTS& measurements) {
  if (measurementListener != nullptr) measurementListener(port, measurements);
}

void updateCw(const CSensorDisplayFSM* fsm) {
  const bool graph = fsm->graphSubState == ShowGraph;
  const GtkSensorInstance instance = viewInstance(fsm, cwKind(fsm));
  screen().refresh(instance, labelLengthOf(fsm->fullSCreen, cwKind(fsm)));
  const SENSOR_MEASUREMENTS m = sensorPortHandler_getSensorMeasurements(fsm->port);
  screen().updateCw(instance, m, graph);
  logManager_printToLog(SensorMmngr, "DisplayFSM: channel %d port %s CW fwd %.6g W rfl %.6g W\n", channelOf(fsm),
                        CSensorDisplayFSM_getSensorPortName(fsm->port), static_cast<double>(m.fwdPwrVal),
                        static_cast<double>(m.rflPwrVal));
  publish(fsm->port, m);
}

void updatePulse(const CSensorDisplayFSM* fsm) {
  const GtkSensorInstance instance = viewInstance(fsm, viewPulse);
  screen().refresh(instance, 0);
  const SENSOR_MEASUREMENTS m = sensorPortHandler_getSensorMeasurements(fsm->port);
  screen().updatePulse(instance, m);
  logManager_printToLog(SensorMmngr, "DisplayFSM: channel %d port %s pulse fwd %.6g W\n", channelOf(fsm),
                        CSensorDisplayFSM_getSensorPortName(fsm->port), static_cast<double>(m.fwdPwrVal));
  publish(fsm->port, m);
}

void disconnectAction(CSensorDisplayFSM* fsm) {
  fsm->port = sensorPort_None;
  channelRecord(fsm).sensorPort = sensorPort_None;
  showNoConnectionPage(fsm, fsmPageNoConnection);
  record(fsm, noConnectionInstance(fsm));
}

void setState(CSensorDisplayFSM* fsm, SensorDisplayState_t next) {
  if (fsm->state != next) {
    DIAGNOSTIC("DisplayFSM: channel %d %s -> %s (port %s)\n", channelOf(fsm), CSensorDisplayFSM_getStateName(fsm->state),
               CSensorDisplayFSM_getStateName(next), CSensorDisplayFSM_getSensorPortName(fsm->port));
  }
  fsm->state = next;
}

bool post(CSensorDisplayFSM& fsm, SensorDisplayEvents_t event, int port = sensorPort_None) {
  return CSensorDisplayFSM_handleActivateEvents(&fsm, event, port);
}

bool connectChannel(int channel, int port) {
  CSensorDisplayFSM& fsm = sensorFSM[static_cast<std::size_t>(channel)];
  CSensorDisplayFSM& other = otherOf(&fsm);
  if (fsm.port != sensorPort_None) return false;
  post(fsm, evActivate);
  if (other.activeState == NotActive) {
    post(fsm, evUseFullDisplay);
  } else if (other.port != sensorPort_None) {
    countSubState = DualSensors;
    post(other, evUseHalfDisplay);
    post(fsm, evUseHalfDisplay);
  } else {
    post(other, evDeactivate);
    post(fsm, evUseFullDisplay);
  }
  post(fsm, evSensorDetected, port);
  return true;
}

bool disconnectChannel(int channel, int port) {
  CSensorDisplayFSM& fsm = sensorFSM[static_cast<std::size_t>(channel)];
  CSensorDisplayFSM& other = otherOf(&fsm);
  if (fsm.port != port) return false;
  post(fsm, evSensorDisconnect, port);
  if (fsm.display == UpperDisplay && other.activeState != Active) return true;
  countSubState = SingleSensor;
  post(other, evActivate);
  post(other, evUseFullDisplay);
  post(fsm, evDeactivate);
  return true;
}

// One line on the state of both channels after a connect or disconnect.
void traceChannels() {
  const CSensorDisplayFSM& upper = sensorFSM[UpperDisplay];
  const CSensorDisplayFSM& lower = sensorFSM[LowerDisplay];
  const auto layout = [](const CSensorDisplayFSM& f) {
    return f.activeState != Active ? "inactive" : f.fullSCreen ? "full" : "half";
  };
  DIAGNOSTIC("DisplayFSM: channels %s, channel 0 %s %s port %s, channel 1 %s %s port %s\n",
             CSensorDisplayFSM_getCountSubStateName(countSubState), layout(upper),
             CSensorDisplayFSM_getStateName(upper.state), CSensorDisplayFSM_getSensorPortName(upper.port),
             layout(lower), CSensorDisplayFSM_getStateName(lower.state), CSensorDisplayFSM_getSensorPortName(lower.port));
}

void postToBoth(SensorDisplayEvents_t event) {
  for (CSensorDisplayFSM& fsm : sensorFSM) post(fsm, event);
}

}  // namespace

void CSensorDisplayFSM_setViews(const DisplayFsmViews* table) { views = table; }

void CSensorDisplayFSM_setMeasurementListener(CSensorDisplayFSM_MeasurementListener listener) {
  measurementListener = listener;
}

bool CSensorDisplayFSM_handleActivateEvents(CSensorDisplayFSM* fsm, SensorDisplayEvents_t event, int port) {
  switch (fsm->activeState) {
    case NotActive:
      if (event != evActivate) return false;
      fsm->activeState = Active;
      return true;
    case Active:
      if (event == evDeactivate) {
        fsm->activeState = NotActive;
        return true;
      }
      return CSensorDisplayFSM_handleEvent(fsm, event, port);
  }
  DIAGNOSTIC("DisplayFSM: Unexpected active state %d", static_cast<int>(fsm->activeState));
  return false;
}

bool CSensorDisplayFSM_handleEvent(CSensorDisplayFSM* fsm, SensorDisplayEvents_t event, int port) {
  const SensorDisplayState_t state = fsm->state;
  switch (state) {
    case NotConnected:
    case Connecting:
    case SensorError:
      if (event == evUseFullDisplay || event == evUseHalfDisplay) {
        switchPageLayout(fsm, event == evUseFullDisplay, pageOf(state));
        return true;
      }
      if (state == NotConnected && event == evSensorDetected) {
        fsm->port = static_cast<SensorPort>(port);
        channelRecord(fsm).sensorPort = fsm->port;
        writePage(fsm, fsmPageConnecting);
        setState(fsm, Connecting);
        return true;
      }
      if (state != NotConnected && event == evSensorDisconnect) {
        disconnectAction(fsm);
        setState(fsm, NotConnected);
        return true;
      }
      if (state == Connecting && event == evSensorReady) {
        enterMeasurementView(fsm);
        setState(fsm, Measuring);
        return true;
      }
      if (state == Connecting && event == evSensorError) {
        showNoConnectionPage(fsm, fsmPageSensorError);
        setState(fsm, SensorError);
        return true;
      }
      return false;
    case Measuring:
      if (event == evSensorDisconnect) {
        disconnectAction(fsm);
        setState(fsm, NotConnected);
        return true;
      }
      if (event == evSensorError) {
        showNoConnectionPage(fsm, fsmPageSensorError);
        setState(fsm, SensorError);
        return true;
      }
      return CSensorDisplayFSM_handleTypeSubStateEvent(fsm, event, port);
  }
  DIAGNOSTIC("DisplayFSM: Unexpected substate %d", static_cast<int>(state));
  return false;
}

bool CSensorDisplayFSM_handleTypeSubStateEvent(CSensorDisplayFSM* fsm, SensorDisplayEvents_t event, int port) {
  if (fsm->typeSubState == Pulse) {
    switch (event) {
      case evSetCW:
        fsm->graphSubState = configuration_getDisplayGraph() ? ShowGraph : HideGraph;
        hide(fsm, viewContainer(fsm->fullSCreen, viewPulse));
        fsm->typeSubState = CW;
        showView(fsm, cwKind(fsm));
        return true;
      case evUpdateMeasurements:
        updatePulse(fsm);
        return true;
      case evUseFullDisplay:
      case evUseHalfDisplay:
        switchMeasurementLayout(fsm, event == evUseFullDisplay);
        return true;
      default:
        return false;
    }
  }
  if (event == evSetPulse) {
    if (!SensorPort_isUsb(fsm->port)) return false;  // only USB sensors measure pulses
    hide(fsm, viewContainer(fsm->fullSCreen, cwKind(fsm)));
    fsm->typeSubState = Pulse;
    showView(fsm, viewPulse);
    return true;
  }
  return CSensorDisplayFSM_handleGraphSubStateEvent(fsm, event, port);
}

bool CSensorDisplayFSM_handleGraphSubStateEvent(CSensorDisplayFSM* fsm, SensorDisplayEvents_t event, int) {
  switch (event) {
    case evHideGraph:
    case evShowGraph: {
      const SensorGraphSubState_t wanted = event == evShowGraph ? ShowGraph : HideGraph;
      if (fsm->graphSubState == wanted) return false;
      hide(fsm, viewContainer(fsm->fullSCreen, cwKind(fsm)));
      fsm->graphSubState = wanted;
      showView(fsm, cwKind(fsm));
      return true;
    }
    case evUpdateMeasurements:
      updateCw(fsm);
      return true;
    case evUseFullDisplay:
    case evUseHalfDisplay:
      switchMeasurementLayout(fsm, event == evUseFullDisplay);
      return true;
    default:
      return false;
  }
}

void CSensorDisplayFSM_reset() {
  sensorFSM[UpperDisplay].display = UpperDisplay;
  sensorFSM[LowerDisplay].display = LowerDisplay;
  countSubState = SingleSensor;
  for (CSensorDisplayFSM& fsm : sensorFSM) {
    fsm.fullSCreen = true;
    fsm.port = sensorPort_None;
    fsm.activeState = NotActive;
    fsm.state = NotConnected;
    fsm.typeSubState = CW;
    fsm.graphSubState = HideGraph;
    channelRecord(&fsm).sensorPort = sensorPort_None;
    channelRecord(&fsm).display = gtkSensorSingleNoConnection;
    screen().resetGraph(channelOf(&fsm));
  }
  sensorFSM[UpperDisplay].activeState = Active;
  const DisplayFsmViews& v = screen();
  v.show(fsmSingleChannel1Screen, 0);
  v.show(fsmDualCWChannels, 0);
  v.show(fsmDualCWChannels, 1);
  v.page(gtkSensorSingleNoConnection, fsmPageNoConnection, "None");
  v.show(fsmNoConnectionScreen, 0);
  v.page(gtkSensorDualNoConnectionCh1, fsmPageNoConnection, "None");
  v.page(gtkSensorDualNoConnectionCh2, fsmPageNoConnection, "None");
  v.show(fsmDualNoConnectionScreens, 0);
  v.show(fsmDualNoConnectionScreens, 1);
  v.show(fsmSingleSensorContainer, 0);
  traceChannels();
}

void CSensorDisplayFSM_setCW() { postToBoth(evSetCW); }
void CSensorDisplayFSM_setPulse() { postToBoth(evSetPulse); }
void CSensorDisplayFSM_showGraph() { postToBoth(evShowGraph); }
void CSensorDisplayFSM_hideGraph() { postToBoth(evHideGraph); }

void CSensorDisplayFSM_connect(int port) {
  const std::uint32_t channel = SensorInstance_GetLogicalChannel(port);
  if (channel == sensorLogicalNoChannel || channel >= NumberOfDisplays) {
    DIAGNOSTIC("DisplayFSM: Port %d has no assigned logical channel.", port);
    return;
  }
  if (!connectChannel(static_cast<int>(channel), port)) {
    DIAGNOSTIC("DisplayFSM: Failed to handle connect for port %d on channel %u. All FSM instances are already active.",
               port, channel);
    return;
  }
  traceChannels();
}

void CSensorDisplayFSM_disconnect(int port) {
  if (disconnectChannel(UpperDisplay, port) || disconnectChannel(LowerDisplay, port)) {
    traceChannels();
    return;
  }
  DIAGNOSTIC("DisplayFSM: Failed to handle disconnect. No FSM instance is active for port %d.", port);
}

void CSensorDisplayFSM_sensorError(int port) {
  for (CSensorDisplayFSM& fsm : sensorFSM) {
    if (fsm.port == port && port != sensorPort_None) {
      post(fsm, evSensorError, port);
      return;
    }
  }
  DIAGNOSTIC("DisplayFSM: Failed to handle sensor error. No FSM instance is active for port %s (%d).",
             CSensorDisplayFSM_getSensorPortName(port), port);
}

void CSensorDisplayFSM_updateMeasurements(int port) {
  int channel = -1;
  if (port != sensorPort_None && sensorFSM[UpperDisplay].port == port) {
    channel = UpperDisplay;
  } else if (port != sensorPort_None && sensorFSM[LowerDisplay].port == port) {
    channel = LowerDisplay;
  } else {
    return;
  }
  if (channel >= NumberOfDisplays) {
    DIAGNOSTIC("DisplayFSM: display (%d) is out of range", channel);
    return;
  }
  if (sensorPortHandler_getSensorStatus(port).status != isReady) return;
  CSensorDisplayFSM& fsm = sensorFSM[static_cast<std::size_t>(channel)];
  post(fsm, evSensorReady, port);
  post(fsm, evUpdateMeasurements, port);
}

const char* CSensorDisplayFSM_getEventName(int event) {
  static constexpr const char* kNames[] = {
      "evSensorDetected", "evSensorDisconnect", "evSensorReady",        "evSensorError",    "evSetPulse",
      "evSetCW",          "evShowGraph",        "evHideGraph",          "evUpdateMeasurements",
      "evUseFullDisplay", "evUseHalfDisplay",   "evActivate",           "evDeactivate"};
  return event >= 0 && event < static_cast<int>(std::size(kNames)) ? kNames[event] : "Unknown event";
}

const char* CSensorDisplayFSM_getStateName(int state) {
  static constexpr const char* kNames[] = {"NotConnected", "Connecting", "SensorError", "Measuring"};
  return state >= 0 && state < static_cast<int>(std::size(kNames)) ? kNames[state] : "Unknown state";
}

const char* CSensorDisplayFSM_getTypeSubStateName(int state) {
  return state == Pulse ? "Pulse" : state == CW ? "CW" : "Unknown substate";
}
const char* CSensorDisplayFSM_getGraphSubStateName(int state) {
  return state == ShowGraph ? "ShowGraph" : state == HideGraph ? "HideGraph" : "Unknown substate";
}
const char* CSensorDisplayFSM_getCountSubStateName(int state) {
  return state == SingleSensor ? "SingleSensor" : state == DualSensors ? "DualSensors" : "Unknown substate";
}

const char* CSensorDisplayFSM_getSensorPortName(int port) {
  switch (port) {
    case sensorPort_Serial1:
      return "Serial1";
    case sensorPort_Serial2:
      return "Serial2";
    case sensorPort_USB1:
      return "USB1";
    case sensorPort_USB2:
      return "USB2";
    case sensorPort_None:
      return "None";
    default:
      return "Unknown port";
  }
}

bool CSensorDisplayFSM_sensorIsPulseSensor(const CSensorDisplayFSM* fsm) { return SensorPort_isUsb(fsm->port); }
