// The lease that the detection thread and a USB slot's handler share over the
// slot's descriptor (see sensor_data.h).
#include <chrono>
#include <thread>

#include "log_manager.h"
#include "sensor_data.h"
#include "text_field.h"
#include "usbtmc_port.h"

namespace {

std::array<std::mutex, kUsbPortCount> slotLease;

// Takes a slot's lease within `limitMs`. Polled rather than a timed lock:
// the handler's steps are short, and a plain mutex is what every tool that
// checks the locking understands.
bool takeLeaseWithin(std::unique_lock<std::mutex>& lease, std::uint32_t limitMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (!lease.try_lock()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
// Set by the detection thread before it waits for the lease; the handler's
// next lease sees no descriptor.
std::array<std::atomic<bool>, kUsbPortCount> releasePending{};

std::size_t slotOf(int port) { return static_cast<std::size_t>(port - kSerialPortCount); }
USB_HANDLER_DATA& handlerOf(int port) { return sensorUsbHandlerData[slotOf(port)]; }

// Back to a port without sensor; the caller holds the lease, so no step of
// the handler is using the descriptor or the protocol state.
void resetHandlerRecord(int port) {
  USB_HANDLER_DATA& h = handlerOf(port);
  sensorPortHandler_resetUsbSlot(port);
  h.usbtmcSubstate = 0;
  h.usbtmcRetryCount = 0;
  h.usbPort.fd = 0;
  h.usbPort.usbPortName.fill('\0');
}

}  // namespace

UsbSlotLease UsbSlot_lease(int port) {
  UsbSlotLease lease;
  if (!SensorPort_isUsb(port)) return lease;
  lease.hold = std::unique_lock(slotLease[slotOf(port)]);
  if (!releasePending[slotOf(port)].load()) lease.fd = handlerOf(port).usbPort.fd;
  return lease;
}

bool UsbSlot_isFree(int port) {
  if (!SensorPort_isUsb(port)) return false;
  const USB_PORT_DATA& slot = handlerOf(port).usbPort;
  return slot.fd < 1 && slot.usbPortName[0] == '\0' && !releasePending[slotOf(port)].load();
}

bool UsbSlot_isReleasing(int port) { return SensorPort_isUsb(port) && releasePending[slotOf(port)].load(); }

std::string_view UsbSlot_node(int port) {
  if (!SensorPort_isUsb(port)) return {};
  return TextField_view(handlerOf(port).usbPort.usbPortName);
}

int UsbSlot_descriptor(int port) { return SensorPort_isUsb(port) ? handlerOf(port).usbPort.fd.load() : 0; }

void UsbSlot_bind(int port, int fd, std::string_view node) {
  if (!SensorPort_isUsb(port)) return;
  std::lock_guard guard(slotLease[slotOf(port)]);
  USB_PORT_DATA& slot = handlerOf(port).usbPort;
  slot.fd = fd;
  TextField_copy(slot.usbPortName, node);
  slot.portState = sensorPortConnected;
  slot.portClosed = false;
}

bool UsbSlot_release(int port, std::uint32_t limitMs) {
  if (!SensorPort_isUsb(port)) return false;
  // The handler must not start another step with this sensor.
  sensorPortHandler_setIsConnected(port, false);
  releasePending[slotOf(port)] = true;
  std::unique_lock lease(slotLease[slotOf(port)], std::defer_lock);
  if (!takeLeaseWithin(lease, limitMs)) {
    logManager_printToLog(SensorDetection, "USB port %d: handler still busy, release pending\n", port);
    return false;
  }
  UsbTmcPort_Close(handlerOf(port).usbPort.fd);
  resetHandlerRecord(port);
  releasePending[slotOf(port)] = false;
  return true;
}
