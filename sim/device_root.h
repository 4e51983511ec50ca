// The files of a simulated device under its root directory: device nodes,
// sysfs entries of the current monitors, charger and fuel gauge, the power
// key pipe and the system folders the meter writes to.
#pragma once

#include <optional>
#include <string>

// Creates every folder and file of the device that is missing; files that
// already exist are kept, so a root can be built once and attached to again.
// Throws std::runtime_error when the root cannot be written.
void DeviceRoot_build(const std::string& root);

// The supply current of a serial sensor port (index 0 or 1) in mA: above
// 250 the meter sees a sensor plugged in.
void DeviceRoot_setCurrent(const std::string& root, int serialIndex, int milliamperes);

// Points `link` (a path under the root) at `target`, replacing any old link
// in one step; removing is silent when there is no link.
void DeviceRoot_link(const std::string& target, const std::string& link);
void DeviceRoot_unlink(const std::string& link);

// Replaces a file's content in one step (write beside, rename).
void DeviceRoot_writeFile(const std::string& path, const std::string& content);

// The charger and fuel-gauge attribute files ("voltage_now", "chargerState_raw"
// ...): their path under the root (empty for an unknown name), and the value
// a file holds as text, read the way a driver takes a write: up to the first
// NUL, line end or blank (the meter pads its writes with NUL bytes). Nothing
// (std::nullopt) when the file is missing.
std::string DeviceRoot_batteryFile(const std::string& root, const std::string& name);
std::optional<std::string> DeviceRoot_readAttribute(const std::string& path);
