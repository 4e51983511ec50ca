// A scratch device root with the RS-232 port on a pseudo-terminal, a settings
// file, an interfaces file, an identity file and a build record: what the
// remote-control tests need before the record is created.
#pragma once

#include <gtest/gtest.h>
#include <termios.h>

#include <string>

#include "configuration.h"
#include "device_fixtures.h"
#include "device_paths.h"
#include "meter_identity.h"
#include "platform.h"
#include "serial_config.h"
#include "serial_port.h"

namespace remote_test {

inline constexpr const char* kInterfaces =
    "auto lo\niface lo inet loopback\n\nauto eth0\niface eth0 inet dhcp\n\nauto eth0:0\niface eth0:0 inet static\n"
    "    address 192.168.254.254\n    netmask 255.255.255.0\n";

struct RemoteRoot {
  test_support::ScratchRoot root;
  test_support::PseudoTerminal pty;

  // lineBits: CSIZE/CSTOPB/PARENB bits the port carries before the meter
  // starts (as the settings file would have set them).
  explicit RemoteRoot(tcflag_t lineBits = CS8, bool linkPort = true) {
    root.write("/etc/network/interfaces", kInterfaces);
    root.write("/etc/meterapp/meterIdentity.conf", "model R9050X\nserial SN4242\n");
    // A build record written on a host with CR LF line ends.
    root.write("/usr/local/etc/defconfig/buildInstalled",
               "BUILD_DATE=2026-03-01T08:15:00\r\nBUILD_UUID=1234-abcd\r\n");
    root.write("/var/log/messages", "");
    MeterIdentity_reload();
    if (linkPort) {
      pty.linkAs(root, DevicePath::kCommandPort);
      SerialPort_Open(Platform_path(DevicePath::kCommandPort).c_str());
      termios config{};
      SerialPort_GetConfig(&config);
      config.c_cflag = (config.c_cflag & ~(CSIZE | CSTOPB | PARENB | PARODD)) | lineBits;
      SerialPort_SetConfig(&config);
    }
    // The user's stored line settings, as the settings file keeps them.
    root.write(DevicePath::kSettingsFile,
               std::string("serialSpeed 9600\nserialDataBits ") + ((lineBits & CSIZE) == CS7 ? "7" : "8") +
                   "\nserialStopBits " + ((lineBits & CSTOPB) != 0 ? "2" : "1") + "\nserialParity " +
                   ((lineBits & PARENB) == 0 ? "NONE" : (lineBits & PARODD) != 0 ? "ODD" : "EVEN") + "\n");
    SerialConfig_registerWithSettingsFile();
    setConfigurationFile(DevicePath::kSettingsFile);
    readConfigFile();
    configuration_setUseLegacy(false);
  }
  ~RemoteRoot() { SerialPort_Close(); }

  std::string settings() const { return root.read(DevicePath::kSettingsFile); }
  std::string commandsLog() const { return root.read("/var/log/commands.log"); }
  std::string interfaces() const { return root.read(DevicePath::kNetworkInterfaces); }
};

}  // namespace remote_test
