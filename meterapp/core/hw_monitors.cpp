#include "hw_monitors.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <thread>

#include "app_state.h"
#include "log_manager.h"
#include "platform.h"
#include "text_field.h"

namespace {

constexpr const char* kHwmonDir = "/sys/class/hwmon/";
constexpr const char* kKeepOnPin = "/sys/class/leds/talvekR905a:KeepOn/brightness";
constexpr int kSensorPresentMilliamps = 250;
constexpr std::uint32_t kSerial1MonitorAddress = 0x40;
constexpr std::uint32_t kSerial2MonitorAddress = 0x45;

// Reads up to `limit` bytes of a file; false when it cannot be opened or read.
bool readSmallFile(const std::string& path, std::size_t limit, std::string* text) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (!fd.valid()) return false;
  std::string buffer(limit, '\0');
  ssize_t n;
  do {
    n = ::read(fd.get(), buffer.data(), limit);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return false;
  buffer.resize(static_cast<std::size_t>(n));
  *text = buffer;
  return true;
}

bool getDeviceName(const std::string& entry, std::string* name) {
  const std::string path = entry + "/name";
  if (!readSmallFile(path, 50, name)) {
    logManager_printToLog(SensorDetection, "findINA219Devices: Failed to open %s\n", path.c_str());
    return false;
  }
  while (!name->empty() && (name->back() == '\n' || name->back() == '\0')) name->pop_back();
  logManager_printToLog(SensorDetection, "getDeviceName name = \"%s\"\n", name->c_str());
  return true;
}

bool getDeviceAddr(const std::string& entry, std::uint32_t* address) {
  const std::string path = entry + "/device/of_node/reg";
  std::string bytes;
  if (!readSmallFile(path, 4, &bytes) || bytes.size() < 4) {
    logManager_printToLog(SensorDetection, "getDeviceAddr: Failed to read %s\n", path.c_str());
    return false;
  }
  // The device tree stores the address as one big-endian 32-bit cell.
  *address = 0;
  for (unsigned char byte : bytes) *address = (*address << 8) | byte;
  logManager_printToLog(SensorDetection, "getDeviceAddr addr = %x\n", *address);
  return true;
}

void bindMonitor(int port, const std::string& devicePath) {
  if (!TextField_copy(ina219CurrentMonitors[static_cast<std::size_t>(port)], devicePath)) {
    // A cut path would read some other file: leave the port unbound.
    ina219CurrentMonitors[static_cast<std::size_t>(port)].fill('\0');
    DIAGNOSTIC("findINA219Devices: path too long: %s\n", devicePath.c_str());
  }
}

}  // namespace

void findINA219Devices() {
  std::lock_guard guard(i2cMutex);
  for (auto& monitor : ina219CurrentMonitors) monitor.fill('\0');
  DIR* dir = ::opendir(Platform_path(kHwmonDir).c_str());
  if (dir == nullptr) {
    logManager_printToLog(SensorDetection, "findINA219Devices: Failed to open %s\n", kHwmonDir);
    return;
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string entryName = entry->d_name;
    if (entryName.find("hwmon") == std::string::npos) continue;
    logManager_printToLog(SensorDetection, "findINA219Devices: next entry is %s\n", entryName.c_str());
    const std::string devicePath = std::string(kHwmonDir) + entryName;
    const std::string path = Platform_path(devicePath);
    std::string name;
    if (!getDeviceName(path, &name)) {
      logManager_printToLog(SensorDetection, "findINA219Devices: getDeviceName failed (%s)\n", entryName.c_str());
      continue;
    }
    if (name.find("ina219") == std::string::npos) continue;
    std::uint32_t address = 0;
    if (!getDeviceAddr(path, &address)) {
      logManager_printToLog(SensorDetection, "findINA219Devices: getDeviceAddr failed (%s)\n", entryName.c_str());
      continue;
    }
    if (address == kSerial1MonitorAddress) bindMonitor(0, devicePath + "/curr1_input");
    if (address == kSerial2MonitorAddress) bindMonitor(1, devicePath + "/curr1_input");
  }
  ::closedir(dir);
}

bool pollI2CCurrentMonitor(int port) {
  if (port < 0 || port > 1) {
    logManager_printToLog(SensorDetection, "pollI2CCurrentMonitor: Invalid port index: %d. Index must be 0 or 1.\n", port);
    return false;
  }
  std::string text;
  bool ok;
  {
    std::lock_guard guard(i2cMutex);
    const std::string_view device = TextField_view(ina219CurrentMonitors[static_cast<std::size_t>(port)]);
    ok = !device.empty() && readSmallFile(Platform_path(device), 16, &text);
  }
  char* end = nullptr;
  errno = 0;
  const long current = ok ? std::strtol(text.c_str(), &end, 10) : -1;
  if (!ok || end == text.c_str() || errno != 0) {
    logManager_printToLog(SensorDetection, "pollI2CCurrentMonitor: Error: current at port %d = %d\n", port, -1);
    return false;
  }
  return current > kSensorPresentMilliamps;
}

void initGPIO() {
  const std::string command = std::string("echo 1 > ") + kKeepOnPin;
  logManager_printToLog(PowerManagement, "initGPIO - \"%s\"\n", command.c_str());
  Platform_runCommand(command);
}

std::uint16_t readLTC4162Register(int fd, std::uint8_t address, std::uint8_t reg) {
  std::uint8_t data[2] = {0, 0};
  if (::ioctl(fd, I2C_SLAVE, address) < 0 || ::write(fd, &reg, 1) != 1) {
    logManager_printToLog(I2CTransactions, "readLTC4162Register failed to write to i2c bus: command code = 0x%02X\n", reg);
    logManager_printToLog(I2CTransactions, "%s\n", std::strerror(errno));
    return 0;
  }
  if (::ioctl(fd, I2C_SLAVE, address) < 0 || ::read(fd, data, 2) != 2) return 0;
  return static_cast<std::uint16_t>(data[0] | (data[1] << 8));
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
