#include "meter_loops.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <string>

#include "battery_monitor.h"
#include "configuration.h"
#include "detection_handoff.h"
#include "device_io.h"
#include "display_fsm.h"
#include "display_update.h"
#include "hw_monitors.h"
#include "i2c_lock.h"
#include "log_manager.h"
#include "main_window.h"
#include "meter_threads.h"
#include "platform.h"
#include "sensor_detect.h"
#include "sensor_manager.h"
#include "warning_dialog.h"

namespace {

using namespace std::chrono_literals;

constexpr int kNormalInputCurrentLimit = 39;
constexpr float kDeratingTemperature = 45.0F;
constexpr int kCriticalPercent = 1;
constexpr std::uint32_t kShutdownWarningMs = 25000;
constexpr const char* kPowerSwitchDevice = DevicePath::kPowerKey;

gboolean focusCheckOnMainLoop(gpointer) {
  DisplayUpdate_focusCheck();
  return G_SOURCE_REMOVE;
}

void superviseInputCurrent() {
  const int wanted = BatterySupervisor_inputCurrentLimitFor(getFuelGaugeTemperature());
  if (getLastInputCurrentLimit() == wanted) return;
  const int readBack = setInputCurrentLimit(static_cast<std::uint8_t>(wanted));
  if (readBack != wanted) USER_WARNING("input current limit is %d; should be %d\n", readBack, wanted);
}

void superviseBatteryCharge(BatterySupervisor* supervisor) {
  int percent = batteryPercent;
  pollBatteryPercent(&percent);
  batteryPercent = percent;
  DIAGNOSTIC("state = %d, batteryPercent = %d, threshold = %d.", supervisor->state, percent, kCriticalPercent);
  switch (BatterySupervisor_step(supervisor, percent, batteryCharging, getTime_ms())) {
    case batteryActionShowWarning:
      WarningDialog_show(&batteryWarningDialog);
      break;
    case batteryActionCloseWarning:
      WarningDialog_close(&batteryWarningDialog);
      break;
    case batteryActionShutDown:
      quit = true;
      break;
    case batteryActionNone:
      break;
  }
}

bool sampleChannel(int channel, const CONNECTED_SENSORS& detected) {
  auto& display = sensorDisplays[static_cast<std::size_t>(channel)];
  const int port = display.sensorPort.load();
  if (!SensorPort_isValid(port)) return false;
  if ((detected.detectedSensors & kSensorPortDetectionBit[static_cast<std::size_t>(port)]) == 0) return false;
  if (sensorPortHandler_getSensorStatus(port).status != isReady) return false;
  const SENSOR_MEASUREMENTS m = sensorPortHandler_getSensorMeasurements(port);
  CGraphData_addItem(&display.graphDataPwr, configuration_getGraphRflMode(channel) ? m.rflPwrVal : m.fwdPwrVal);
  return true;
}

void pollBattery() {
  if (!modelHasBattery()) return;
  std::lock_guard guard(i2cMutex);
  bool present = batteryPresent;
  int charging = batteryCharging;
  pollI2CBatteryMonitor(&present, &charging);
  batteryPresent = present;
  batteryCharging = charging;
  if (present) pollI2CFuelGauge();
}

void powerSwitchAlive(AliveTimer* alive) {
  if (AliveTimer_due(alive)) {
    logManager_printToLog(ThreadMonitor, "softPowerSwitchPollingThread: Thread is alive at %ul ms.\n", getTime_ms());
  }
}

// Waits without time limit until the power key device is readable (false
// when stopped first), saying that it is alive while it waits.
bool waitReadable(std::stop_token stop, int fd, AliveTimer* alive) {
  while (!stop.stop_requested()) {
    powerSwitchAlive(alive);
    pollfd p{fd, POLLIN, 0};
    const int n = Device_poll(&p, 1, 1000);
    if (n != 0) return true;  // ready, or failed: let the read report it
  }
  return false;
}

}  // namespace

int BatterySupervisor_inputCurrentLimitFor(float temperature) {
  if (!(temperature > kDeratingTemperature)) return kNormalInputCurrentLimit;
  const long derated = 84 - std::lround(temperature);
  return derated < 0 ? 0 : static_cast<int>(derated);
}

BatterySupervisorAction BatterySupervisor_step(BatterySupervisor* supervisor, int percent, int chargeState,
                                               std::uint32_t now) {
  switch (supervisor->state) {
    case shutdownIdle:
      if (percent <= kCriticalPercent && chargeState == BATT_NOT_CHARGING) {
        supervisor->timer = {kShutdownWarningMs, now};
        supervisor->state = shutdownWarning;
        return batteryActionShowWarning;
      }
      return batteryActionNone;
    case shutdownWarning:
      if (chargeState != BATT_NOT_CHARGING) {
        supervisor->state = shutdownIdle;
        return batteryActionCloseWarning;
      }
      if (CSimpleTimer_IsExpiredAt(&supervisor->timer, now)) {
        supervisor->state = shutdownShuttingDown;
        return batteryActionShutDown;
      }
      return batteryActionNone;
    case shutdownShuttingDown:
      return batteryActionNone;
  }
  return batteryActionNone;
}

void focusThread(std::stop_token stop) {
  AliveTimer alive;
  AliveTimer_start(&alive);
  while (MeterThread_sleep(stop, 5s)) {
    g_idle_add_full(G_PRIORITY_DEFAULT, focusCheckOnMainLoop, nullptr, nullptr);
    if (AliveTimer_due(&alive)) logManager_printToLog(ThreadMonitor, "focusThread: Thread is alive at %ul ms.\n", getTime_ms());
  }
}

void batteryThread(std::stop_token stop) {
  AliveTimer alive;
  AliveTimer_start(&alive);
  BatterySupervisor supervisor;
  while (MeterThread_sleep(stop, 5s)) {
    {
      std::lock_guard guard(i2cMutex);
      superviseInputCurrent();
      if (modelHasBattery()) superviseBatteryCharge(&supervisor);
    }
    if (AliveTimer_due(&alive)) logManager_printToLog(ThreadMonitor, "batteryThread: Thread is alive at %ul ms.\n", getTime_ms());
  }
}

void graphUpdateThread(std::stop_token stop) {
  while (!screenInitComplete) {
    if (!MeterThread_sleep(stop, 125ms)) return;
  }
  AliveTimer alive;
  AliveTimer_start(&alive);
  while (MeterThread_sleep(stop, 1s)) {
    if (configuration_getDisplayGraph()) {
      CONNECTED_SENSORS detected;
      {
        std::lock_guard guard(sensorDetectionMutex);
        detected = PowerSensors;
      }
      for (int channel = 0; channel < 2; ++channel) sampleChannel(channel, detected);
    }
    if (AliveTimer_due(&alive)) DIAGNOSTIC("Thread is alive at %ul ms.\n\n", getTime_ms());
  }
}

CONNECTED_SENSORS hwPollingThread_detect(CONNECTED_SENSORS previous) {
  CONNECTED_SENSORS result = SensorDetect_getConnectedSensors(previous);
  if (resetSensorDetect) {
    result.detectedSensors = 0;
    result.detectedSensorsChanged = previous.detectedSensors;
    // The manager lets go of them too, so that the next pass attaches and
    // identifies them afresh.
    CONNECTED_SENSORS released;
    released.detectedSensorsChanged = ~0U;
    SensorManager_UpdatePhysicalSensors(&released, true);
    resetSensorDetect = false;
  }
  gtkThread_SensorChanged(result);
  return result;
}

void hwPollingThread(std::stop_token stop) {
  AliveTimer alive;
  AliveTimer_start(&alive);
  CONNECTED_SENSORS previous;
  while (MeterThread_sleep(stop, 500ms)) {
    pollBattery();
    previous = hwPollingThread_detect(previous);
    if (quit) {
      DIAGNOSTIC("hwPollingThread: shutdown signal detected...");
      for (int port = 0; port < kSensorPortCount; ++port) sensorPortHandler_setIsConnected(port, false);
      shutDownPower();
    }
    if (AliveTimer_due(&alive)) DIAGNOSTIC("hwPollingThread: Thread is alive at %ul ms.\n\n", getTime_ms());
  }
}

void softPowerSwitchPollingThread(std::stop_token stop) {
  AliveTimer alive;
  AliveTimer_start(&alive);
  const std::string path = Platform_path(kPowerSwitchDevice);
  do {
    // Non-blocking open: a named pipe standing in for the key would
    // otherwise block the open until someone writes.
    const UniqueFd fd(Device_open(path.c_str(), O_RDONLY | O_NONBLOCK));
    if (!fd.valid()) {
      logManager_printToLog(ThreadMonitor,
                            "softPowerSwitchPollingThread: Failed to open the Power Switch File \"%s\"****************\n",
                            kPowerSwitchDevice);
    } else {
      if (waitReadable(stop, fd.get(), &alive)) {
        char buffer[31];
        if (Device_read(fd.get(), buffer, sizeof buffer) > 0) {
          quit = true;
          DIAGNOSTIC("softPowerSwitchPollingThread: quit = %d\n", quit ? 1 : 0);
        }
      }
    }
    powerSwitchAlive(&alive);
  } while (MeterThread_sleep(stop, 50ms));
}
