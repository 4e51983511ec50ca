#include "hw_monitors.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <thread>

#include "battery_monitor.h"
#include "log_manager.h"
#include "platform.h"

namespace {

constexpr const char* kKeepOnPin = DevicePath::kKeepOnPin;

}  // namespace

void initGPIO() {
  const std::string command = std::string("echo 1 > ") + kKeepOnPin;
  logManager_printToLog(PowerManagement, "initGPIO - \"%s\"\n", command.c_str());
  Platform_runCommand(command);
}

void shutDownPower() {
  disableBatteryMonitor();
  DIAGNOSTIC("**************** shutDownPower Attempting to issue ARM SHIP MODE ****************\n");
  std::this_thread::sleep_for(std::chrono::seconds(3));
  DIAGNOSTIC("**************** shutDownPower Turning off the power by writing a zero to the KeepOn GPIO pin ****************\n");
  std::fflush(nullptr);
  Platform_runCommand("shutdown");
}

SENSOR_MEASUREMENTS getSimulatedMeasurements() {
  const auto now = static_cast<unsigned>(std::time(nullptr));
  std::uniform_real_distribution<float> unit(-1.0F, 1.0F);
  std::minstd_rand random(now);
  const float r = unit(random);
  SENSOR_MEASUREMENTS m;
  m.fwdPwrVal = 1000.0F + 50.0F * r;
  m.rflPwrVal = 100.0F + 5.0F * r;
  m.freqVal = 2.0F + 0.1F * r;
  m.temperatureVal = 22.0F + 1.1F * r;
  for (unsigned i = 0; i < m.pulseStates.size(); ++i) {
    std::minstd_rand stateRandom(now + i + 1);
    const float s = unit(stateRandom) - static_cast<float>(i);
    m.pulseStates[i] = {s + 15.0F, s + 25.0F, s + 20.0F};
  }
  return m;
}

void setSimulatedMeasurements(int port) { SensorPortHandler_setSimulatedMeasurements(port, getSimulatedMeasurements()); }
