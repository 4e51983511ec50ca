#include "display_update.h"

#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "app_state.h"
#include "battery_monitor.h"
#include "configuration.h"
#include "detection_handoff.h"
#include "display_fsm.h"
#include "log_manager.h"
#include "main_window.h"
#include "meter_threads.h"
#include "sensor_manager.h"
#include "warning_dialog.h"
#include "widget_utils.h"

std::array<GtkWidget*, batteryPictureCount> batteryImages{};
GtkWidget* batteryPercentLabel = nullptr;
GtkWidget* menuImage = nullptr;

namespace {

using namespace std::chrono_literals;

constexpr const char* kBatteryPictureFiles[batteryPictureCount] = {
    "./resources/battery100.png",     "./resources/battery75.png",   "./resources/battery50.png",
    "./resources/battery25.png",      "./resources/battery5.png",    "./resources/batteryCharging.png",
    "./resources/batteryPlug.png",    "./resources/batteryNC.png",
};
constexpr const char* kMenuPictureFile = "./resources/hamburger.png";
constexpr int kFocusCheckEveryPasses = 25;
constexpr auto kPassPause = 300ms;

// What the display pass remembers between passes; main loop only.
struct PassState {
  bool started = false;
  bool graphShown = false;
  bool pulseMode = false;
  int passCount = 0;
  // Detection bits of sensors whose connect waits for the user's channel
  // answer; the passes go on meanwhile.
  std::uint32_t waitingConnects = 0;
};
PassState pass;

// The pass handed from gtkThread to the main loop.
struct PassSlot {
  std::mutex lock;
  std::condition_variable_any finished;
  bool done = false;
};
PassSlot slot;

GtkWidget* loadPicture(const char* file) {
  if (::access(file, R_OK) != 0) DIAGNOSTIC("Cannot read %s\n", file);
  GtkWidget* image = gtk_image_new_from_file(file);
  // Kept alive by us until the window takes it.
  g_object_ref_sink(image);
  return image;
}

void applyGraphVisibility(bool shown) {
  if (shown) {
    CSensorDisplayFSM_showGraph();
  } else {
    CSensorDisplayFSM_hideGraph();
  }
}

void applyPulseMode(bool pulse) {
  if (pulse) {
    CSensorDisplayFSM_setPulse();
  } else {
    CSensorDisplayFSM_setCW();
  }
}

void startDisplay() {
  pass.pulseMode = configuration_getPulseMode();
  pass.graphShown = configuration_getDisplayGraph();
  CSensorDisplayFSM_reset();
  applyPulseMode(pass.pulseMode);
  applyGraphVisibility(pass.graphShown);
  pass.started = true;
}

std::uint32_t bitOf(int port) { return kSensorPortDetectionBit[static_cast<std::size_t>(port)]; }

// Disconnects at once; connects once every attached sensor has a channel.
// While the user is still asked, the question stays on the screen and the
// passes (and the other channel's readings) carry on.
void applyDetectionChanges() {
  CONNECTED_SENSORS sensors;
  const bool changed = gtkThread_TakeSensorChanges(&sensors);
  if (!changed && pass.waitingConnects == 0) return;
  if (changed) {
    const DetectionEvents events = DetectionEvents_from(sensors.detectedSensors, sensors.detectedSensorsChanged);
    for (int i = 0; i < events.disconnectCount; ++i) {
      const int port = events.disconnects[static_cast<std::size_t>(i)];
      if ((pass.waitingConnects & bitOf(port)) != 0) {
        pass.waitingConnects &= ~bitOf(port);  // never shown: nothing to take down
      } else {
        CSensorDisplayFSM_disconnect(port);
      }
    }
    for (int i = 0; i < events.connectCount; ++i) pass.waitingConnects |= bitOf(events.connects[static_cast<std::size_t>(i)]);
  }
  if (!SensorManager_UpdateLogicalChannel()) return;
  const DetectionEvents connects = DetectionEvents_from(pass.waitingConnects, pass.waitingConnects);
  pass.waitingConnects = 0;
  for (int i = 0; i < connects.connectCount; ++i) CSensorDisplayFSM_connect(connects.connects[static_cast<std::size_t>(i)]);
}

void applyStoredViewSettings() {
  const bool graph = configuration_getDisplayGraph();
  if (graph != pass.graphShown) {
    applyGraphVisibility(graph);
    pass.graphShown = graph;
  }
  const bool pulse = configuration_getPulseMode();
  if (pulse != pass.pulseMode) {
    applyPulseMode(pulse);
    pass.pulseMode = pulse;
  }
}

void updateBatteryIndicator() {
  const BatteryIndicatorView view =
      BatteryIndicator_select(modelHasBattery(), batteryPresent, batteryCharging, batteryPercent);
  for (GtkWidget* image : batteryImages) {
    if (image != nullptr) gtk_widget_hide(image);
  }
  if (batteryPercentLabel != nullptr) gtk_widget_hide(batteryPercentLabel);
  if (view.picture != batteryPictureNone && batteryImages[view.picture] != nullptr) {
    gtk_widget_show(batteryImages[view.picture]);
  }
  if (view.showLabel && batteryPercentLabel != nullptr) {
    gchar* markup = g_markup_printf_escaped("<span foreground=\"%s\">%s</span>", view.labelRed ? "red" : "white",
                                            view.label.c_str());
    gtk_label_set_markup(GTK_LABEL(batteryPercentLabel), markup);
    g_free(markup);
    gtk_widget_show(batteryPercentLabel);
  }
}

gboolean runPassOnMainLoop(gpointer) {
  DisplayUpdate_pass();
  {
    std::lock_guard guard(slot.lock);
    slot.done = true;
  }
  slot.finished.notify_all();
  return G_SOURCE_REMOVE;
}

}  // namespace

void loadBatteryImages() {
  for (std::size_t i = 0; i < batteryImages.size(); ++i) batteryImages[i] = loadPicture(kBatteryPictureFiles[i]);
  menuImage = loadPicture(kMenuPictureFile);
}

void DisplayUpdate_placeBatteryIndicator(GtkWidget* topFixedLine) {
  for (GtkWidget* image : batteryImages) {
    if (image != nullptr) gtk_fixed_put(GTK_FIXED(topFixedLine), image, 5, 5);
  }
  batteryPercentLabel = gtk_label_new(nullptr);
  gtk_label_set_markup(GTK_LABEL(batteryPercentLabel), "<span foreground=\"white\">-</span>");
  if (fontSize12 != nullptr) setWidgetFont(batteryPercentLabel, fontSize12);
  gtk_fixed_put(GTK_FIXED(topFixedLine), batteryPercentLabel, 52, 6);
}

BatteryIndicatorView BatteryIndicator_select(bool hasBattery, bool present, int chargeState, int percent) {
  BatteryIndicatorView view;
  if (!hasBattery) {
    view.picture = batteryPicturePlug;
    return view;
  }
  if (!present) {
    view.picture = batteryPictureNotPresent;
    return view;
  }
  switch (chargeState) {
    case BATT_FULLY_CHARGED:
      view.picture = batteryPicturePlug;
      view.showLabel = true;
      view.label = "100%";
      return view;
    case BATT_CHARGING_VOLTAGE:
      view.picture = batteryPictureCharging;
      view.showLabel = true;
      view.label = "---%";
      return view;
    case BATT_CHARGING_ACCUM:
      view.picture = batteryPictureCharging;
      break;
    case BATT_NOT_CHARGING:
      if (percent >= 76) {
        view.picture = batteryPicture100;
      } else if (percent >= 51) {
        view.picture = batteryPicture75;
      } else if (percent >= 26) {
        view.picture = batteryPicture50;
      } else if (percent < 6) {
        view.picture = batteryPicture5;
      } else {
        view.picture = batteryPicture25;
      }
      break;
    default:
      return view;  // battery missing: nothing is shown
  }
  if (percent < 101) {
    view.showLabel = true;
    view.label = std::to_string(percent) + "%";
    view.labelRed = percent < 6;
  }
  return view;
}

bool DisplayUpdate_focusCheck() {
  bool restored = false;
  if (mainWindow != nullptr && gtk_window_get_focus(GTK_WINDOW(mainWindow)) != nullptr) {
    gtk_window_set_focus(GTK_WINDOW(mainWindow), nullptr);
    restored = true;
  }
  logManager_printToLog(ThreadMonitor, "focusThread: focus restored = %d\n", restored ? 1 : 0);
  return restored;
}

void DisplayUpdate_pass() {
  if (!pass.started) startDisplay();
  gtk_init_done = true;
  applyDetectionChanges();
  applyStoredViewSettings();
  for (int port = 0; port < kSensorPortCount; ++port) CSensorDisplayFSM_updateMeasurements(port);
  updateBatteryIndicator();
  WarningDialog_handleState(&batteryWarningDialog);
  if (++pass.passCount % kFocusCheckEveryPasses == 0) DisplayUpdate_focusCheck();
  if (GdkDisplay* display = gdk_display_get_default()) gdk_display_flush(display);
}

void gtkThread(std::stop_token stop) {
  AliveTimer alive;
  AliveTimer_start(&alive);
  int loopCount = 0;
  do {
    // The flag only says that this thread runs: main waits for it before it
    // starts the main loop that will carry out the passes.
    gtk_init_done = true;
    {
      std::unique_lock lock(slot.lock);
      slot.done = false;
      g_idle_add_full(G_PRIORITY_DEFAULT, runPassOnMainLoop, nullptr, nullptr);
      if (!slot.finished.wait(lock, stop, [] { return slot.done; })) return;
    }
    logManager_printToLog(ThreadMonitor, "gtkThread: gtkThread loop count = %d\n", ++loopCount);
    if (AliveTimer_due(&alive)) DIAGNOSTIC("Thread is alive at %ul ms.\n\n", getTime_ms());
  } while (MeterThread_sleep(stop, kPassPause));
}

void closeAppWindow() {
  quit = true;
  // The detection thread now stops the port handlers; leave only when they
  // have all let go of their sensors.
  for (;;) {
    bool anyConnected = false;
    for (int port = 0; port < kSensorPortCount; ++port) anyConnected = anyConnected || sensorPortHandler_getIsConnected(port);
    if (!anyConnected) break;
    std::this_thread::sleep_for(1s);
  }
  if (gtk_main_level() > 0) gtk_main_quit();
}
