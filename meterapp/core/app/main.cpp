// The meter application: start-up in the order the device needs, then the
// GTK main loop until the device is powered off.
#include <gtk/gtk.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "app_callbacks.h"
#include "app_state.h"
#include "battery_monitor.h"
#include "channel_dialog.h"
#include "command_line.h"
#include "configuration.h"
#include "crash_log.h"
#include "current_monitors.h"
#include "display_fsm.h"
#include "display_update.h"
#include "graph.h"
#include "hw_monitors.h"
#include "i2c_lock.h"
#include "legacy_serial.h"
#include "log_manager.h"
#include "main_window.h"
#include "meter_loops.h"
#include "meter_threads.h"
#include "platform.h"
#include "pulse_config_dialog.h"
#include "pulse_sensor_config.h"
#include "scpi_remote.h"
#include "sensor_manager.h"
#include "sensor_port_handler.h"
#include "serial_config.h"
#include "serial_port.h"
#include "settings_menu.h"
#include "text_field.h"
#include "warning_dialog.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kStartMarker = DevicePath::kStartMarker;
constexpr const char* kRemotePort = DevicePath::kCommandPort;
constexpr const char* kSettingsFile = DevicePath::kSettingsFile;
constexpr const char* kPulseSensorFile = DevicePath::kPulseSensorFile;
constexpr const char* kDefaultApplicationDir = DevicePath::kDefaultApplicationDir;
constexpr const char* kBatteryWarning = "Warning: Battery is critically low.\r\nConnect AC to continue operating.";
constexpr int kDragThresholdPixels = 300;

void markStarted() {
  Platform_prepareParent(kStartMarker);
  Platform_runCommand(std::string("touch ") + kStartMarker);
}

void initI2CDevices() {
  std::lock_guard guard(i2cMutex);
  logManager_printToLog(I2CTransactions, "**************** initI2CDevices ****************\n");
  if (initBatteryMonitor() < 0) {
    logManager_printToLog(I2CTransactions, "**************** Failed to initialize the battery monitor\n");
    return;
  }
  int percent = batteryPercent;
  pollBatteryPercent(&percent);
  batteryPercent = percent;
}

void enterApplicationDirectory() {
  std::array<char, 4096> exe{};
  const ssize_t n = ::readlink(DevicePath::kOwnExecutable, exe.data(), exe.size() - 1);
  std::string dir = n > 0 ? std::string(exe.data(), static_cast<std::size_t>(n)) : std::string();
  const std::size_t slash = dir.rfind('/');
  dir = slash == std::string::npos ? std::string() : dir.substr(0, slash);
  if (dir.empty()) dir = kDefaultApplicationDir;
  TextField_copy(application_dir, dir);
  if (::chdir(application_dir.data()) != 0) {
    std::fprintf(stderr, "Unable to change to application directory: %s\n", std::strerror(errno));
    std::fflush(nullptr);
    std::_Exit(-1);
  }
  DIAGNOSTIC("Application directory = %s\n", application_dir.data());
}

void initGtk(int* argc, char*** argv) {
  gdk_disable_multidevice();
  // Every screen is drawn with cairo; without this GDK probes GLX at start and
  // maps the GL driver (with a software renderer about 50 MB resident) for
  // nothing. A GDK_GL given from outside is kept.
  g_setenv("GDK_GL", "disable", FALSE);
  if (!gtk_init_check(argc, argv)) {
    DIAGNOSTIC("Cannot open the display\n");
    std::fprintf(stderr, "meterapp: cannot open the display\n");
    std::fflush(nullptr);
    std::_Exit(-1);
  }
  g_object_set(gtk_settings_get_default(), "gtk-dnd-drag-threshold", kDragThresholdPixels, nullptr);
}

bool guiReady() { return gtk_init_done.load(); }

// The settings panel stores its options through the application's actions,
// which also reset or redraw the graphs.
void createSettingsMenu() {
  AppSettingsMenuHooks hooks;
  hooks.guiReady = guiReady;
  hooks.setDisplayForward = settings_setDisplayForward;
  hooks.setDisplayReflected = settings_setDisplayReflected;
  hooks.setDisplayMatch = settings_setDisplayMatch;
  hooks.setMatchType = settings_setMatchType;
  hooks.setDisplayGraph = settings_setDisplayGraph;
  hooks.setGraphMode = settings_setGraphMode;
  hooks.setSensorPulseMode = settings_setSensorPulseMode;
  AppSettingsMenu_create(mainWindow, hooks);
}

void buildScreens() {
  SensorManager_Create();
  SensorManager_setChannelQuestion(ChannelDialog_question());
  CSensorDisplayFSM_setMeasurementListener(scpiUpdateMeasurement);
  loadBatteryImages();
  initColors();
  loadFonts();
  MainWindowHooks hooks;
  hooks.closeWindow = closeAppWindow;
  hooks.fillTopStrip = DisplayUpdate_placeBatteryIndicator;
  hooks.settingsClicked = G_CALLBACK(settingsCallback);
  hooks.settingsPicture = menuImage;
  hooks.unitsClicked = G_CALLBACK(callbackWattdBm);
  hooks.sensorInfoClicked = G_CALLBACK(callbackSensorInfo);
  createGTKDisplays(hooks);
  checkModelForBattery();
  WarningDialog_create(&batteryWarningDialog, mainWindow, kBatteryWarning);
  createSettingsMenu();
  graphSettingsDialog_Create();
  pulseConfigDialog_Create(&gPulseConfigDlgP803, ModelP803);
  pulseConfigDialog_Create(&gPulseConfigDlgP804, ModelP804);
}

void startDisplayThread() {
  MeterThread_start("gtkThread", gtkThread);
  while (!gtk_init_done) std::this_thread::sleep_for(100ms);
}

void prepareChannels() {
  for (int channel = 0; channel < 2; ++channel) {
    auto& display = sensorDisplays[static_cast<std::size_t>(channel)];
    display.display = gtkSensorSingleChannel1;
    display.sensorPort = sensorPort_None;
    CGraphData_create(&display.graphDataPwr, configuration_getGraphSettings(channel).averageCount);
  }
}

void startSensorPorts() {
  sensorPortHandler_setPulseConfigFile(kPulseSensorFile);
  for (int port = 0; port < kSensorPortCount; ++port) SensorPortHandler_Create(port);
}

void startPollingThreads() {
  MeterThread_start("focusThread", focusThread);
  MeterThread_start("batteryThread", batteryThread);
  MeterThread_start("graphUpdateThread", graphUpdateThread);
  MeterThread_start("hwPollingThread", hwPollingThread);
  MeterThread_start("softPowerSwitchPollingThread", softPowerSwitchPollingThread);
  MeterThread_start("debugPrintfThread", debugPrintfThread);
}

}  // namespace

int main(int argc, char** argv) {
  // Options first: "-v" and "-?" must not touch the device.
  if (const int status = CommandLine_parse(argc, argv); status != kCommandLineStart) return status;

  Platform_init();
  CrashLog_install();
  CrashLog_raiseStackLimit();
  markStarted();
  LogManager_create();
  initI2CDevices();
  initGPIO();
  SerialPort_Open(Platform_path(kRemotePort).c_str());
  SerialConfig_registerWithSettingsFile();
  setConfigurationFile(kSettingsFile);
  readConfigFile();
  findINA219Devices();
  enterApplicationDirectory();
  initGtk(&argc, &argv);
  buildScreens();
  startDisplayThread();
  prepareChannels();
  startSensorPorts();
  startPollingThreads();
  startScpiParser();
  SerialCommand_Start();

  gtk_main();

  disableBatteryMonitor();
  destroyScpiParser();
  // The other threads still run: end without static destruction under them.
  std::fflush(nullptr);
  std::_Exit(0);
}
