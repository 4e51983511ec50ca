// Every path of the device the meter uses, as the device names it.
//
// These are the only device paths in the meter's code: every other module
// names a path through this table and opens it through Platform_path (or the
// device_io primitives), which take it under METER_ROOT off the device.
#pragma once

namespace DevicePath {

// Sensor ports and the RS-232 command port.
inline constexpr const char* kSerialSensor1 = "/dev/ttyS1";
inline constexpr const char* kSerialSensor2 = "/dev/ttyS2";
inline constexpr const char* kCommandPort = "/dev/ttyS4";
inline constexpr const char* kUsbTmc0 = "/dev/usbtmc0";
inline constexpr const char* kUsbTmc1 = "/dev/usbtmc1";

// The power key.
inline constexpr const char* kPowerKey = "/dev/input/event0";

// Current monitors of the serial sensor ports (one hwmonN folder each).
inline constexpr const char* kHwmonDir = "/sys/class/hwmon/";
// The keep-on power pin.
inline constexpr const char* kKeepOnPin = "/sys/class/leds/talvekR905a:KeepOn/brightness";
// Network interface attributes ("/sys/class/net/<name>/address").
inline constexpr const char* kNetClassDir = "/sys/class/net/";
// The kernel's routing table.
inline constexpr const char* kRouteTable = "/proc/net/route";

// Charger and fuel gauge (sysfs attribute folders of their drivers).
inline constexpr const char* kChargerDir = "/sys/devices/virtual/battery_charger/ltc4162/";
inline constexpr const char* kFuelGaugeDir = "/sys/class/power_supply/fuel_gauge/";
// Marker left once the battery has been charged to full and calibrated.
inline constexpr const char* kBatteryChargedMarker = "/root/.battcharged";

// Settings files.
inline constexpr const char* kSettingsDir = "/etc/meterapp/";
inline constexpr const char* kSettingsFile = "/etc/meterapp/TalvekApplicationSettings.conf";
inline constexpr const char* kPulseSensorFile = "/etc/meterapp/TalvekPulseSensor.conf";
inline constexpr const char* kMeterIdentityFile = "/etc/meterapp/meterIdentity.conf";
inline constexpr const char* kNetworkInterfaces = "/etc/network/interfaces";
inline constexpr const char* kNetworkRestart = "/etc/init.d/network restart";
// The build record of the installed firmware.
inline constexpr const char* kBuildInstalled = "/usr/local/etc/defconfig/buildInstalled";

// Run-time files.
inline constexpr const char* kStartMarker = "/var/run/Talvek_autorun";
inline constexpr const char* kCrashLog = "/tmp/crashlog.txt";
inline constexpr const char* kDebugSwitch = "/tmp/debug";
inline constexpr const char* kLogConfig = "/tmp/logConfig";

// Not rerouted under a device root: they are the process's own or nobody's.
inline constexpr const char* kNull = "/dev/null";
inline constexpr const char* kOwnExecutable = "/proc/self/exe";

// Where the program lives on the device when /proc/self/exe cannot be read.
inline constexpr const char* kDefaultApplicationDir = "/usr/local/bin";

}  // namespace DevicePath
