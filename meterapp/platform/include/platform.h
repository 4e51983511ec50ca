// The one place that knows where the meter's hardware and system files are.
//
// On the device every path is used as written ("/dev/ttyS1", "/sys/...",
// "/etc/meterapp/..."). Off the device the environment variable METER_ROOT
// names a directory that stands in for "/": every absolute device path is
// taken under it, system commands that would change the host are recorded
// instead of run, and system-log messages are mirrored into a file under it.
// No other code builds device paths or runs shell commands by hand.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "device_paths.h"
#include "unique_fd.h"

// Reads METER_ROOT and METER_SCPI_PORT. Called once at start-up; the other
// functions call it themselves if nobody did. A relative root is made
// absolute here, once, so that it still names the same folder after the
// meter has changed its working directory.
void Platform_init();

// Replaces the device root (empty: the real device; relative: taken from the
// current working directory now). For tests and tools that
// host several simulated devices one after another.
void Platform_setRoot(std::string_view root);

// The device root, empty on the real device.
std::string Platform_root();
bool Platform_isSimulated();

// Maps an absolute device path ("/dev/ttyS1") to the path to open. Relative
// paths, "/dev/null" and the process's own "/proc/self/..." are returned
// unchanged.
std::string Platform_path(std::string_view devicePath);

// Under a device root, creates the folders above the mapped path so that a
// file the device keeps in a system folder ("/tmp", "/var/run") can be
// created in a fresh root. Does nothing on the device.
void Platform_prepareParent(std::string_view devicePath);

// Runs a shell command the way the device does ("touch F", "echo 1 > F",
// "shutdown", "/etc/init.d/network restart"). On the device it goes to the
// system shell. Under a device root, "touch" and "echo ... > F" act on files
// under the root, and every other command is appended to var/log/commands.log
// instead of being run; "shutdown" then ends the process with status 0 (the
// simulated power-off). Returns the shell's status, 0 for a recorded command.
int Platform_runCommand(std::string_view command);

// Sends one message to the system logger; under a device root it is also
// appended to var/log/messages as "<priority> <text>" on one line.
void Platform_syslog(int priority, std::string_view message);

// TCP port of the SCPI server: METER_SCPI_PORT when set to a valid port,
// otherwise 5025. Port 0 lets the system choose a free port, for test runs
// of several meters at once that do not talk to the server.
std::uint16_t Platform_scpiPort();
// The port a METER_SCPI_PORT text stands for (5025 when absent or invalid).
std::uint16_t Platform_parseScpiPort(const char* text);

// Which IPv4 setting of an interface Platform_interfaceAddress reads.
enum class InterfaceAddressKind { address, netmask };

// The live IPv4 address or netmask of a network interface off the device:
// the first line of "/sys/class/net/<name>/ipv4_address" (or ipv4_netmask)
// under the device root, empty when the file is missing, so that the meter's
// network view does not depend on the host's interfaces. On the device it
// returns nothing and the caller asks the system's interface list.
std::optional<std::string> Platform_interfaceAddress(std::string_view name, InterfaceAddressKind kind);
