#include "current_monitors.h"

#include <dirent.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "device_io.h"
#include "i2c_lock.h"
#include "log_manager.h"
#include "platform.h"
#include "text_field.h"

std::array<std::array<char, 50>, 2> ina219CurrentMonitors{};

namespace {

constexpr const char* kHwmonDir = DevicePath::kHwmonDir;
constexpr int kSensorPresentMilliamps = 250;
constexpr std::uint32_t kSerial1MonitorAddress = 0x40;
constexpr std::uint32_t kSerial2MonitorAddress = 0x45;

bool getDeviceName(const std::string& entry, std::string* name) {
  const std::string path = entry + "/name";
  if (!Device_readSmallFile(path, 50, name)) {
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
  if (!Device_readSmallFile(path, 4, &bytes) || bytes.size() < 4) {
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
    ok = !device.empty() && Device_readSmallFile(Platform_path(device), 16, &text);
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

