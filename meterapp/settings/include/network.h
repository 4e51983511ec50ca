// Network utilities of the wired interface: its live addresses, its stanza of
// the interfaces file "/etc/network/interfaces", the network restart, and the
// address and netmask checks used by the Ethernet settings and SCPI commands.
#pragma once

#include <array>
#include <string>
#include <string_view>

// A dotted-quad address, at most 15 characters.
using IpText = std::array<char, 16>;

struct ETHCONFIG_IP_S {
  IpText address;
  IpText netmask;
  IpText gateway;
};

// How the interface gets its address.
enum inet_method_t { INET_METHOD_UNKNOWN = -1, INET_METHOD_DHCP = 0, INET_METHOD_STATIC = 1 };

// First line of /sys/class/net/<name>/address (at most 17 characters); empty
// when it cannot be read.
std::string get_mac_address(std::string_view name);
// First IPv4 address / netmask of the interface, dotted; empty when none.
std::string get_ip_address(std::string_view name);
std::string get_netmask(std::string_view name);
// Gateway of the interface's default route in /proc/net/route, dotted; empty
// when it has none.
std::string get_gateway(std::string_view name);
// The same from a routing table file in the /proc/net/route format.
std::string get_gateway_from(const std::string& routeFile, std::string_view name);

// Reads the interface's "iface <name> inet <method>" stanza. method becomes
// INET_METHOD_DHCP, INET_METHOD_STATIC, or INET_METHOD_UNKNOWN (other method,
// or no stanza); for a static stanza the address, netmask and gateway options
// fill the buffers (each cleared first, so a missing option reads as empty).
// Returns 1, leaving everything unchanged, when the name is empty or the file
// cannot be read; else 0.
int get_conf_inet(std::string_view name, int& method, IpText& address, IpText& netmask, IpText& gateway);

// Replaces the interface's stanza with a DHCP or static one (gateway line only
// when gateway is not empty); every other line of the file is kept byte for
// byte. Without a stanza for the interface, a new one goes before the
// "auto <name>:0" alias stanza, or at the end of the file, with an
// "auto <name>" line when no line brings the interface up yet. The file is
// replaced atomically. Returns 1 when it cannot be read or written, else 0.
int set_conf_inet(std::string_view name, int method, std::string_view address, std::string_view netmask,
                  std::string_view gateway);

// The new interfaces-file text (the pure part of set_conf_inet).
std::string Network_replaceStanza(std::string_view fileText, std::string_view name, int method,
                                  std::string_view address, std::string_view netmask, std::string_view gateway);

// Restarts the network service ("/etc/init.d/network restart").
int network_restart();

// Four dot-separated decimal parts of 0..255, nothing else.
bool validate_ip(std::string_view text);
// A valid dotted quad whose one-bits form one block from the top bit, not 0.
bool validate_netmask(std::string_view text);
