#include "device_root.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct FileEntry {
  const char* path;
  std::string content;
};

constexpr const char* kCharger = "/sys/devices/virtual/battery_charger/ltc4162/";
constexpr const char* kFuelGauge = "/sys/class/power_supply/fuel_gauge/";

std::string hwmon(int index) { return "/sys/class/hwmon/hwmon" + std::to_string(index) + "/"; }

// The INA219 address as the device tree holds it: four bytes, big-endian.
std::string regBytes(unsigned address) {
  return std::string{'\0', '\0', '\0', static_cast<char>(address)};
}

void createIfMissing(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  if (fs::exists(fs::symlink_status(path))) return;
  DeviceRoot_writeFile(path, content);
}

}  // namespace

void DeviceRoot_writeFile(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  const std::string temporary = path + ".sim-new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.flush()) throw std::runtime_error("cannot write " + temporary);
  }
  fs::rename(temporary, path);
}

void DeviceRoot_build(const std::string& root) {
  if (root.empty() || root == "/") throw std::runtime_error("refusing to build a device root at \"/\"");
  for (const char* folder : {"/dev/input", "/etc/meterapp", "/etc/network", "/tmp", "/var/run", "/var/log", "/root",
                             "/sim"}) {
    fs::create_directories(root + folder);
  }
  const std::vector<FileEntry> files = {
      {"name", "ina219\n"},
      {"device/of_node/reg", regBytes(0x40)},
      {"curr1_input", "0\n"},
  };
  for (int i = 0; i < 2; ++i) {
    for (const auto& f : files) {
      std::string content = f.content;
      if (std::strcmp(f.path, "device/of_node/reg") == 0) content = regBytes(i == 0 ? 0x40 : 0x45);
      createIfMissing(root + hwmon(i) + f.path, content);
    }
  }
  const std::vector<std::pair<std::string, std::string>> system = {
      {std::string(kCharger) + "armShipMode_raw", "0\n"},
      {std::string(kCharger) + "configBits_raw", "12\n"},
      {std::string(kCharger) + "cOverXTerm_enable", "enable\n"},
      {std::string(kCharger) + "cellCount", "3\n"},
      {std::string(kCharger) + "inputCurrentLimit_raw", "39\n"},
      {std::string(kCharger) + "chargerState_raw", "64\n"},  // constant-current charging
      {std::string(kFuelGauge) + "voltage_now", "11850000\n"},
      {std::string(kFuelGauge) + "current_now", "450000\n"},
      {std::string(kFuelGauge) + "charge_now", "9000000\n"},
      {std::string(kFuelGauge) + "temp", "2650\n"},
      {"/sys/class/leds/talvekR905a:KeepOn/brightness", "0\n"},
      {"/sys/class/net/eth0/address", "02:00:52:90:50:01\n"},
      // The identity the factory provisions: model and serial number.
      {"/etc/meterapp/meterIdentity.conf", "# provisioned identity of this meter\nmodel R9050\nserial 905026001\n"},
      // The live IPv4 settings the meter reads off the device, instead of the host's interfaces.
      {"/sys/class/net/eth0/ipv4_address", "192.168.1.50\n"},
      {"/sys/class/net/eth0/ipv4_netmask", "255.255.255.0\n"},
      {"/sys/class/net/eth0:0/ipv4_address", "169.254.90.50\n"},
      {"/sys/class/net/eth0:0/ipv4_netmask", "255.255.0.0\n"},
      {"/usr/local/etc/defconfig/buildInstalled",
       "BUILD_HOSTNAME=r9050-sim\nBUILD_DATE=2026-01-15T10:00:00\nBUILD_UUID=00000000-sim0-0000-0000-000000009050\n"},
  };
  for (const auto& [path, content] : system) createIfMissing(root + path, content);

  const std::string key = root + "/dev/input/event0";
  if (!fs::exists(fs::symlink_status(key)) && ::mkfifo(key.c_str(), 0600) != 0) {
    throw std::runtime_error("mkfifo " + key + ": " + std::strerror(errno));
  }
}

void DeviceRoot_setCurrent(const std::string& root, int serialIndex, int milliamperes) {
  DeviceRoot_writeFile(root + hwmon(serialIndex) + "curr1_input", std::to_string(milliamperes) + "\n");
}

void DeviceRoot_link(const std::string& target, const std::string& link) {
  fs::create_directories(fs::path(link).parent_path());
  const std::string temporary = link + ".sim-new";
  ::unlink(temporary.c_str());
  if (::symlink(target.c_str(), temporary.c_str()) != 0 || ::rename(temporary.c_str(), link.c_str()) != 0) {
    throw std::runtime_error("cannot link " + link + ": " + std::strerror(errno));
  }
}

void DeviceRoot_unlink(const std::string& link) { ::unlink(link.c_str()); }

std::string DeviceRoot_batteryFile(const std::string& root, const std::string& name) {
  static const std::vector<std::string> kChargerFiles = {"armShipMode_raw", "configBits_raw", "cOverXTerm_enable",
                                                         "cellCount", "inputCurrentLimit_raw", "chargerState_raw"};
  static const std::vector<std::string> kGaugeFiles = {"voltage_now", "current_now", "charge_now", "temp"};
  for (const auto& f : kChargerFiles) {
    if (f == name) return root + kCharger + name;
  }
  for (const auto& f : kGaugeFiles) {
    if (f == name) return root + kFuelGauge + name;
  }
  return {};
}

std::optional<std::string> DeviceRoot_readAttribute(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t end = text.find_first_of(std::string("\0\n \r", 4));
  return end == std::string::npos ? text : text.substr(0, end);
}
