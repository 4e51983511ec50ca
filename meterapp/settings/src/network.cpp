#include "network.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <vector>

#include "atomic_file.h"
#include "log_manager.h"
#include "platform.h"
#include "text_field.h"

namespace {

constexpr const char* kInterfacesFile = DevicePath::kNetworkInterfaces;
constexpr std::size_t kMacLength = 17;

// The Ethernet dialog and both SCPI servers may change the interfaces file at
// the same time. Each change reads the whole file, edits its own stanza and
// writes it back through one ".new" file beside it: without this lock two
// changes would write into that one file together, and one of them would
// overwrite the other's edit or fail half-way.
std::mutex interfacesFileMutex;

std::vector<std::string_view> wordsOf(std::string_view line) {
  constexpr std::string_view blanks = " \t\r\n\f\v";
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while ((i = line.find_first_not_of(blanks, i)) != std::string_view::npos) {
    const std::size_t end = std::min(line.find_first_of(blanks, i), line.size());
    words.push_back(line.substr(i, end - i));
    i = end;
  }
  return words;
}

// The file's lines, each with its own line end, so that kept lines are
// written back byte for byte.
std::vector<std::string_view> linesOf(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::size_t length = end == std::string_view::npos ? text.size() : end + 1;
    lines.push_back(text.substr(0, length));
    text.remove_prefix(length);
  }
  return lines;
}

// Lines with a '#' anywhere are not read for settings (the file has no
// end-of-line comments, so such a line is commented out or malformed).
bool hasComment(std::string_view line) { return line.find('#') != std::string_view::npos; }

// A line that is only a comment.
bool isCommentLine(std::string_view line) {
  const auto start = line.find_first_not_of(" \t");
  return start != std::string_view::npos && line[start] == '#';
}

bool isBlankLine(std::string_view line) { return wordsOf(line).empty(); }

// A stanza keyword starts the next stanza of the interfaces file.
bool isKeywordLine(std::string_view line) {
  const auto words = wordsOf(line);
  if (words.empty()) return false;
  const std::string_view word = words.front();
  return word == "iface" || word == "auto" || word == "mapping" || word == "source" ||
         word == "source-directory" || word == "rename" || word == "no-auto-down" || word == "no-scripts" ||
         word.starts_with("allow-");
}

bool isInetStanzaOf(std::string_view line, std::string_view name) {
  if (hasComment(line)) return false;
  const auto words = wordsOf(line);
  return words.size() >= 3 && words[0] == "iface" && words[1] == name && words[2] == "inet";
}

bool isAliasAutoLine(std::string_view line, std::string_view name) {
  if (hasComment(line)) return false;
  const auto words = wordsOf(line);
  const std::string alias = std::string(name) + ":0";
  return words.size() >= 2 && words[0] == "auto" && words[1] == alias;
}

// True when some line already brings the interface up at boot.
bool bringsUp(const std::vector<std::string_view>& lines, std::string_view name) {
  for (const auto line : lines) {
    if (hasComment(line)) continue;
    const auto words = wordsOf(line);
    if (words.empty() || (words[0] != "auto" && !words[0].starts_with("allow-"))) continue;
    for (std::size_t i = 1; i < words.size(); ++i) {
      if (words[i] == name) return true;
    }
  }
  return false;
}

std::optional<std::size_t> findLine(const std::vector<std::string_view>& lines, std::size_t from,
                                    bool (*match)(std::string_view, std::string_view), std::string_view name) {
  for (std::size_t i = from; i < lines.size(); ++i) {
    if (match(lines[i], name)) return i;
  }
  return std::nullopt;
}

// The line after the last line of the stanza that starts at ifaceLine.
std::size_t nextStanza(const std::vector<std::string_view>& lines, std::size_t ifaceLine) {
  std::size_t i = ifaceLine + 1;
  while (i < lines.size() && !isKeywordLine(lines[i])) ++i;
  return i;
}

// The part of a stanza that a new stanza replaces: its options (with the
// comments among them) and the blank lines after them. Comments between the
// last option and the next stanza belong to what follows and stay.
std::size_t replacedEnd(const std::vector<std::string_view>& lines, std::size_t ifaceLine) {
  const std::size_t next = nextStanza(lines, ifaceLine);
  std::size_t last = ifaceLine;
  for (std::size_t i = ifaceLine + 1; i < next; ++i) {
    if (!isBlankLine(lines[i]) && !isCommentLine(lines[i])) last = i;
  }
  std::size_t end = last + 1;
  while (end < next && isBlankLine(lines[end])) ++end;
  return end;
}

std::string stanzaText(std::string_view name, int method, std::string_view address, std::string_view netmask,
                       std::string_view gateway) {
  std::string text = "iface " + std::string(name) + " inet ";
  if (method == INET_METHOD_DHCP) return text + "dhcp\n\n";
  text += "static\n";
  text += "    address " + std::string(address) + "\n";
  text += "    netmask " + std::string(netmask) + "\n";
  if (!gateway.empty()) text += "    gateway " + std::string(gateway) + "\n";
  return text + "\n";
}

// A value written into the interfaces file must stay one word on its line.
bool safeWord(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '#' || c == 0x7f) return false;
  }
  return true;
}

std::optional<std::uint32_t> parseDottedQuad(std::string_view text) {
  std::uint32_t value = 0;
  int parts = 0;
  for (;;) {
    const std::size_t dot = text.find('.');
    const std::string_view part = text.substr(0, dot);
    if (part.empty() || part.size() > 3 || ++parts > 4) return std::nullopt;
    unsigned octet = 0;
    const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), octet);
    if (error != std::errc() || end != part.data() + part.size() || octet > 255) return std::nullopt;
    value = (value << 8) | octet;
    if (dot == std::string_view::npos) break;
    text.remove_prefix(dot + 1);
  }
  if (parts != 4) return std::nullopt;
  return value;
}

std::string dotted(const struct sockaddr* address) {
  if (address == nullptr || address->sa_family != AF_INET) return {};
  char host[NI_MAXHOST] = {};
  const int result = ::getnameinfo(address, sizeof(struct sockaddr_in), host, sizeof host, nullptr, 0, NI_NUMERICHOST);
  if (result != 0) {
    DIAGNOSTIC("getnameinfo() failed: %s\n", ::gai_strerror(result));
    return {};
  }
  return host;
}

// The first IPv4 address (or netmask) the system lists for the interface.
std::string firstInetOf(std::string_view name, bool netmask) {
  struct ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) {
    DIAGNOSTIC("getifaddrs errno=%d\n", errno);
    return {};
  }
  std::string result;
  for (const struct ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    if (name != entry->ifa_name) continue;
    result = dotted(netmask ? entry->ifa_netmask : entry->ifa_addr);
    break;
  }
  ::freeifaddrs(list);
  return result;
}

// Interface names end up in file paths: nothing that could leave the folder.
bool safeInterfaceName(std::string_view name) {
  return !name.empty() && name.find('/') == std::string_view::npos && name != "." && name != "..";
}

void fillOption(IpText& field, std::string_view key, std::string_view value) {
  if (!TextField_copy(field, value)) {
    DIAGNOSTIC("%s '%s' too long, ignored\n", std::string(key).c_str(), std::string(value).c_str());
    field[0] = '\0';
  }
}

}  // namespace

std::string get_mac_address(std::string_view name) {
  if (!safeInterfaceName(name)) return {};
  const std::string path = Platform_path(DevicePath::kNetClassDir + std::string(name) + "/address");
  FILE* fp = std::fopen(path.c_str(), "r");
  if (fp == nullptr) {
    DIAGNOSTIC("fopen %s errno=%d\n", path.c_str(), errno);
    return {};
  }
  std::array<char, kMacLength + 1> line{};
  std::string mac;
  if (std::fgets(line.data(), static_cast<int>(line.size()), fp) == nullptr) {
    DIAGNOSTIC("fgets errno=%d\n", errno);
  } else {
    mac = line.data();
    while (!mac.empty() && (mac.back() == '\n' || mac.back() == '\r')) mac.pop_back();
  }
  std::fclose(fp);
  return mac;
}

std::string get_ip_address(std::string_view name) {
  if (auto simulated = Platform_interfaceAddress(name, InterfaceAddressKind::address)) return *simulated;
  return firstInetOf(name, false);
}

std::string get_netmask(std::string_view name) {
  if (auto simulated = Platform_interfaceAddress(name, InterfaceAddressKind::netmask)) return *simulated;
  return firstInetOf(name, true);
}

std::string get_gateway(std::string_view name) { return get_gateway_from(Platform_path(DevicePath::kRouteTable), name); }

std::string get_gateway_from(const std::string& routeFile, std::string_view name) {
  std::string text;
  if (!AtomicFile_read(routeFile, text)) {
    DIAGNOSTIC("fopen %s errno=%d\n", routeFile.c_str(), errno);
    return {};
  }
  for (const auto line : linesOf(text)) {
    const auto words = wordsOf(line);
    if (words.size() < 3 || words[0] != name) continue;
    std::uint32_t destination = 0;
    std::uint32_t gateway = 0;
    const auto d = std::from_chars(words[1].data(), words[1].data() + words[1].size(), destination, 16);
    const auto g = std::from_chars(words[2].data(), words[2].data() + words[2].size(), gateway, 16);
    if (d.ec != std::errc() || g.ec != std::errc() || d.ptr != words[1].end() || g.ptr != words[2].end()) continue;
    if (destination != 0) continue;
    // The kernel prints the address as the integer it keeps in network order.
    struct in_addr address {};
    address.s_addr = gateway;
    char dottedText[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, dottedText, sizeof dottedText);
    return dottedText;
  }
  return {};
}

int get_conf_inet(std::string_view name, int& method, IpText& address, IpText& netmask, IpText& gateway) {
  if (name.empty()) return 1;
  std::string text;
  const std::string path = Platform_path(kInterfacesFile);
  if (!AtomicFile_read(path, text)) {
    DIAGNOSTIC("fopen %s errno=%d\n", path.c_str(), errno);
    return 1;
  }
  method = INET_METHOD_UNKNOWN;
  address[0] = netmask[0] = gateway[0] = '\0';

  const auto lines = linesOf(text);
  const auto iface = findLine(lines, 0, isInetStanzaOf, name);
  if (!iface) return 0;
  const auto words = wordsOf(lines[*iface]);
  const std::string_view word = words.size() > 3 ? words[3] : std::string_view();
  if (word == "dhcp") method = INET_METHOD_DHCP;
  if (word == "static") method = INET_METHOD_STATIC;
  if (method != INET_METHOD_STATIC) return 0;

  const std::size_t end = nextStanza(lines, *iface);
  for (std::size_t i = *iface + 1; i < end; ++i) {
    if (hasComment(lines[i])) continue;
    const auto option = wordsOf(lines[i]);
    if (option.size() < 2) continue;
    if (option[0] == "address") fillOption(address, option[0], option[1]);
    if (option[0] == "netmask") fillOption(netmask, option[0], option[1]);
    if (option[0] == "gateway") fillOption(gateway, option[0], option[1]);
  }
  return 0;
}

std::string Network_replaceStanza(std::string_view fileText, std::string_view name, int method,
                                  std::string_view address, std::string_view netmask, std::string_view gateway) {
  const auto lines = linesOf(fileText);
  const std::string stanza = stanzaText(name, method, address, netmask, gateway);
  auto join = [&](std::size_t from, std::size_t to) {
    std::string text;
    for (std::size_t i = from; i < to; ++i) text += lines[i];
    return text;
  };

  if (const auto iface = findLine(lines, 0, isInetStanzaOf, name)) {
    return join(0, *iface) + stanza + join(replacedEnd(lines, *iface), lines.size());
  }

  const std::string autoLine = bringsUp(lines, name) ? std::string() : "auto " + std::string(name) + "\n";
  if (const auto alias = findLine(lines, 0, isAliasAutoLine, name)) {
    return join(0, *alias) + autoLine + stanza + join(*alias, lines.size());
  }
  std::string text(fileText);
  if (!text.empty() && !text.ends_with('\n')) text += '\n';
  if (!text.empty() && !text.ends_with("\n\n")) text += '\n';
  return text + autoLine + stanza;
}

int set_conf_inet(std::string_view name, int method, std::string_view address, std::string_view netmask,
                  std::string_view gateway) {
  const bool isStatic = method == INET_METHOD_STATIC;
  if (!safeInterfaceName(name) || !safeWord(name) || (method != INET_METHOD_DHCP && !isStatic) ||
      (isStatic && (address.empty() || netmask.empty() || !safeWord(address) || !safeWord(netmask) ||
                    !safeWord(gateway)))) {
    DIAGNOSTIC("Invalid interface settings for '%s' (method %d), file unchanged\n", std::string(name).c_str(),
               method);
    return 1;
  }
  const std::string path = Platform_path(kInterfacesFile);
  const std::lock_guard guard(interfacesFileMutex);
  std::string text;
  if (!AtomicFile_read(path, text)) {
    DIAGNOSTIC("fopen %s errno=%d\n", path.c_str(), errno);
    return 1;
  }
  const std::string updated = Network_replaceStanza(text, name, method, address, netmask, gateway);
  return AtomicFile_replace(path, updated) == 0 ? 0 : 1;
}

int network_restart() { return Platform_runCommand(DevicePath::kNetworkRestart); }

bool validate_ip(std::string_view text) { return parseDottedQuad(text).has_value(); }

bool validate_netmask(std::string_view text) {
  const auto value = parseDottedQuad(text);
  if (!value || *value == 0) return false;
  const std::uint32_t hostPart = ~*value;
  // The host part is a block of ones at the bottom: adding one leaves a
  // single bit (or wraps to zero for 255.255.255.255).
  const std::uint32_t next = hostPart + 1;
  return (next & hostPart) == 0;
}
