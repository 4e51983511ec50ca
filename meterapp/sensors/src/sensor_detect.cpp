// One detection pass: serial sensors by their port's supply current, USB
// sensors by their usbtmc device nodes, bound to the two USB slots in the
// order they appear.
#include "sensor_detect.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "current_monitors.h"
#include "device_io.h"
#include "device_paths.h"
#include "log_manager.h"
#include "platform.h"
#include "sensor_manager.h"
#include "usbtmc_port.h"

namespace {

constexpr std::array<const char*, kUsbPortCount> kUsbNodes = {DevicePath::kUsbTmc0, DevicePath::kUsbTmc1};
constexpr std::array<int, kUsbPortCount> kUsbSlots = {sensorPort_USB1, sensorPort_USB2};
// How long one pass waits for a busy handler to finish its step before it
// leaves the release for the next pass (the detection thread must keep its
// 500 ms rhythm).
constexpr std::uint32_t kReleaseWaitMs = 100;

std::uint32_t bitOf(int port) { return kSensorPortDetectionBit[static_cast<std::size_t>(port)]; }

// The slot that holds `node` open, or sensorPort_None.
int slotHolding(std::string_view node) {
  for (int port : kUsbSlots) {
    if (UsbSlot_descriptor(port) > 0 && UsbSlot_node(port) == node) return port;
  }
  return sensorPort_None;
}

int firstFreeSlot() {
  for (int port : kUsbSlots) {
    if (UsbSlot_isFree(port)) return port;
  }
  return sensorPort_None;
}

// The descriptor still names the node's current file: a node that vanished
// and came back between two passes is a new sensor behind the same name.
bool holdsCurrentNode(int port, const DeviceFileId& node) {
  DeviceFileId held;
  return Device_descriptorId(UsbSlot_descriptor(port), &held) && held == node;
}

// Binds, keeps or lets go of the slot of one node. False when the node
// exists but cannot be opened.
bool pollUsbNode(std::string_view node) {
  const std::string path = Platform_path(node);
  // The entry itself counts, not what it leads to: a dangling link is a node
  // that cannot be opened.
  std::error_code error;
  const bool exists = std::filesystem::exists(std::filesystem::symlink_status(path, error));
  DeviceFileId id;
  const bool identified = exists && Device_fileId(path, &id);
  const int holder = slotHolding(node);
  if (holder != sensorPort_None) {
    if (UsbSlot_isReleasing(holder)) return true;  // carried on below
    if (!identified || !holdsCurrentNode(holder, id)) {
      logManager_printToLog(SensorDetection, "pollUsbTmcMonitor: %.*s went away from port %d\n",
                            static_cast<int>(node.size()), node.data(), holder);
      UsbSlot_release(holder, kReleaseWaitMs);
    }
    return true;
  }
  if (!exists) return true;
  const int slot = firstFreeSlot();
  if (slot == sensorPort_None) return true;  // both slots busy: tried again next pass
  const int fd = UsbTmcPort_Open(slot, node);
  if (fd < 0) {
    // Only this node fails (a dangling link, or the moment before udev sets
    // its permissions); a healthy sensor in the other slot stays.
    logManager_printToLog(SensorDetection, "pollUsbTmcMonitor: cannot open %.*s: %s\n", static_cast<int>(node.size()),
                          node.data(), std::strerror(errno));
    return false;
  }
  UsbSlot_bind(slot, fd, node);
  logManager_printToLog(SensorDetection, "pollUsbTmcMonitor: %.*s bound to port %d\n", static_cast<int>(node.size()),
                        node.data(), slot);
  return true;
}

}  // namespace

int pollUsbTmcMonitor(CONNECTED_SENSORS* record) {
  bool allOpened = true;
  for (const char* node : kUsbNodes) allOpened = pollUsbNode(node) && allOpened;
  for (int port : kUsbSlots) {
    if (UsbSlot_isReleasing(port)) UsbSlot_release(port, kReleaseWaitMs);
    if (UsbSlot_descriptor(port) > 0 && !UsbSlot_isReleasing(port)) {
      record->detectedSensors |= bitOf(port);
    } else {
      record->detectedSensors &= ~bitOf(port);
    }
  }
  return allOpened ? 1 : 0;
}

CONNECTED_SENSORS SensorDetect_getConnectedSensors(CONNECTED_SENSORS previous) {
  CONNECTED_SENSORS now;
  for (int port = sensorPort_Serial1; port <= sensorPort_Serial2; ++port) {
    if (pollI2CCurrentMonitor(port)) now.detectedSensors |= bitOf(port);
  }
  pollUsbTmcMonitor(&now);
  now.detectedSensorsChanged = previous.detectedSensors ^ now.detectedSensors;
  SensorManager_UpdatePhysicalSensors(&now, true);
  return now;
}
