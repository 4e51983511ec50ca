#include "standins.h"

#include "app_state.h"
#include "display_update.h"
#include "log_manager.h"

#define STAND_IN() logManager_printToLog(NoCategory, "stand-in: %s\n", __func__)

// --- sensor detection and sensor manager -----------------------------------
void SensorManager_Create() { STAND_IN(); }
CONNECTED_SENSORS SensorDetect_getConnectedSensors(CONNECTED_SENSORS previous) {
  // No sensor is ever seen; a sensor reported before is reported removed.
  CONNECTED_SENSORS now;
  now.detectedSensorsChanged = previous.detectedSensors;
  return now;
}
void SensorManager_UpdateLogicalChannel() { STAND_IN(); }

// --- battery monitor --------------------------------------------------------
// Until the battery monitor exists the meter behaves like a model without a
// battery: no battery polls, no critical-battery shutdown.
bool batteryPresent = false;
int batteryCharging = BATT_MISSING;
int batteryPercent = 0;
namespace {
std::uint8_t standInInputCurrentLimit = 39;
}
int initBatteryMonitor() { STAND_IN(); return 0; }
void disableBatteryMonitor() { STAND_IN(); }
void checkModelForBattery() { STAND_IN(); }
bool modelHasBattery() { return false; }
void pollI2CBatteryMonitor(bool*, int*) { STAND_IN(); }
void pollI2CFuelGauge() { STAND_IN(); }
void pollBatteryPercent(int*) { STAND_IN(); }
float getFuelGaugeTemperature() { return 0.0F; }
std::uint8_t getLastInputCurrentLimit() { return standInInputCurrentLimit; }
std::uint8_t setInputCurrentLimit(std::uint8_t limit) { STAND_IN(); standInInputCurrentLimit = limit; return limit; }

// --- display: state machine, graph, window, dialogs ------------------------
GtkWidget* mainWindow = nullptr;
PULSE_CONFIG_DIALOG gPulseConfigDlgP803;
PULSE_CONFIG_DIALOG gPulseConfigDlgP804;
void CGraphData_create(CGraphData*, std::uint32_t) { STAND_IN(); }
void CGraphData_addItem(CGraphData*, float) { STAND_IN(); }
CGTKTimePowerGraph* CGTKPowerDisplay_getGraph(GtkSensorInstance) {
  static CGTKTimePowerGraph graph;
  return &graph;
}
void CGTKTimePowerGraph_reset(CGTKTimePowerGraph*) { STAND_IN(); }
void CGTKTimePowerGraph_invalidateGraph(CGTKTimePowerGraph*) { STAND_IN(); }
void CSensorDisplayFSM_reset() { STAND_IN(); }
void CSensorDisplayFSM_setCW() { STAND_IN(); }
void CSensorDisplayFSM_setPulse() { STAND_IN(); }
void CSensorDisplayFSM_showGraph() { STAND_IN(); }
void CSensorDisplayFSM_hideGraph() { STAND_IN(); }
void CSensorDisplayFSM_connect(int port) { logManager_printToLog(NoCategory, "stand-in: %s(%d)\n", __func__, port); }
void CSensorDisplayFSM_disconnect(int port) { logManager_printToLog(NoCategory, "stand-in: %s(%d)\n", __func__, port); }
void CSensorDisplayFSM_updateMeasurements(int) {}
void initColors() { STAND_IN(); }
void loadFonts() { STAND_IN(); }
namespace {
gboolean onMainWindowDelete(GtkWidget*, GdkEvent*, gpointer) {
  closeAppWindow();
  return TRUE;
}
void onMainWindowDestroy(GtkWidget*, gpointer) { closeAppWindow(); }
}  // namespace
void createGTKDisplays() {
  STAND_IN();
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_set_name(window, "mainWindowR9050");
  gtk_window_set_title(GTK_WINDOW(window), "R9050");
  gtk_window_set_default_size(GTK_WINDOW(window), 1024, 768);
  GtkWidget* screen = gtk_fixed_new();
  gtk_widget_set_name(screen, "entireScreenContainerR9050");
  gtk_widget_set_size_request(screen, 1024, 768);
  gtk_container_add(GTK_CONTAINER(window), screen);
  GtkWidget* topFixedLine = gtk_fixed_new();
  gtk_widget_set_size_request(topFixedLine, 724, 80);
  gtk_fixed_put(GTK_FIXED(screen), topFixedLine, 0, 0);
  DisplayUpdate_placeBatteryIndicator(topFixedLine);
  g_signal_connect(window, "delete_event", G_CALLBACK(onMainWindowDelete), nullptr);
  g_signal_connect(window, "destroy", G_CALLBACK(onMainWindowDestroy), nullptr);
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, "window#mainWindowR9050 { background-color: black; }", -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css), 600);
  g_object_unref(css);
  gtk_widget_show_all(window);
  gtk_window_set_focus(GTK_WINDOW(window), nullptr);
  mainWindow = window;
  screenInitComplete = true;
}
void graphSettingsDialog_Create() { STAND_IN(); }
void pulseConfigDialog_Create(PULSE_CONFIG_DIALOG*, enPulseSensorModel) { STAND_IN(); }

// --- settings menu and warning dialog ---------------------------------------
void WarningDialog_create(WarningDialog*, GtkWidget*, const char*) { STAND_IN(); }
void WarningDialog_show(WarningDialog*) { STAND_IN(); }
void WarningDialog_close(WarningDialog*) { STAND_IN(); }
void WarningDialog_handleState(WarningDialog*) {}
bool settingsMenuIsVisible() { return false; }
void AppSettingsMenu_show() { STAND_IN(); }
void AppSettingsMenu_hide() { STAND_IN(); }

// --- remote control ---------------------------------------------------------
void startScpiParser() { STAND_IN(); }
void destroyScpiParser() { STAND_IN(); }
void SerialCommand_Start() { STAND_IN(); }
