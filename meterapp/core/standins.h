// Placeholders for operations of subsystems that are not built yet.
//
// Each group carries the final names and signatures of the operations the
// start-up path and the threads call; the placeholders only note the call in
// the category log (category None). A group disappears, and its real header
// takes over, when the subsystem that owns it arrives.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>

#include "sensor_data.h"

#include "configuration.h"
#include "pulse_sensor_config.h"
#include "sensor_port_handler.h"
#include "serial_port.h"

// --- sensor detection and sensor manager -----------------------------------
void SensorManager_Create();
CONNECTED_SENSORS SensorDetect_getConnectedSensors(CONNECTED_SENSORS previous);
void SensorManager_UpdateLogicalChannel();

// --- battery monitor --------------------------------------------------------
enum batteryState {
  BATT_MISSING = 0,
  BATT_NOT_CHARGING = 1,
  BATT_CHARGING_ACCUM = 2,
  BATT_CHARGING_VOLTAGE = 3,
  BATT_FULLY_CHARGED = 4,
};
extern bool batteryPresent;
extern int batteryCharging;
extern int batteryPercent;
int initBatteryMonitor();
void disableBatteryMonitor();
void checkModelForBattery();
bool modelHasBattery();
void pollI2CBatteryMonitor(bool* present, int* charging);
void pollI2CFuelGauge();
void pollBatteryPercent(int* percent);
float getFuelGaugeTemperature();
std::uint8_t getLastInputCurrentLimit();
std::uint8_t setInputCurrentLimit(std::uint8_t limit);

// --- display: state machine, graph, window, dialogs ------------------------
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
struct CGraphData {};
struct CGTKTimePowerGraph {};
void CGraphData_create(CGraphData* instance, std::uint32_t filterWidth);
void CGraphData_addItem(CGraphData* instance, float power);
// The time-power graph of a power display instance.
CGTKTimePowerGraph* CGTKPowerDisplay_getGraph(GtkSensorInstance instance);
void CGTKTimePowerGraph_reset(CGTKTimePowerGraph* instance);
void CGTKTimePowerGraph_invalidateGraph(CGTKTimePowerGraph* instance);
void CSensorDisplayFSM_reset();
void CSensorDisplayFSM_setCW();
void CSensorDisplayFSM_setPulse();
void CSensorDisplayFSM_showGraph();
void CSensorDisplayFSM_hideGraph();
void CSensorDisplayFSM_connect(int port);
void CSensorDisplayFSM_disconnect(int port);
void CSensorDisplayFSM_updateMeasurements(int port);
void initColors();
void loadFonts();
// Builds the main window; sets screenInitComplete when done. For now a plain
// 1024 x 768 window with the battery indicator in its top strip.
void createGTKDisplays();
extern GtkWidget* mainWindow;
void graphSettingsDialog_Create();
struct PULSE_CONFIG_DIALOG {};
extern PULSE_CONFIG_DIALOG gPulseConfigDlgP803;
extern PULSE_CONFIG_DIALOG gPulseConfigDlgP804;
void pulseConfigDialog_Create(PULSE_CONFIG_DIALOG* dialog, enPulseSensorModel model);

// --- settings menu and warning dialog ---------------------------------------
struct WarningDialog {};
void WarningDialog_create(WarningDialog* dialog, GtkWidget* parent, const char* message);
void WarningDialog_show(WarningDialog* dialog);
void WarningDialog_close(WarningDialog* dialog);
void WarningDialog_handleState(WarningDialog* dialog);
bool settingsMenuIsVisible();
void AppSettingsMenu_show();
void AppSettingsMenu_hide();

// --- remote control ---------------------------------------------------------
void startScpiParser();
void destroyScpiParser();
void SerialCommand_Start();
