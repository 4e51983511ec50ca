#include "platform.h"

#include <cstdarg>

#include "device_io.h"
#include "system_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <vector>

namespace {

constexpr std::uint16_t kDefaultScpiPort = 5025;

struct PlatformState {
  std::mutex lock;
  bool initialised = false;
  std::string root;
  std::uint16_t scpiPort = kDefaultScpiPort;
  int messagesFd = -1;  // var/log/messages under the root, opened on first use
};

PlatformState& state() {
  static PlatformState s;
  return s;
}

std::optional<std::uint16_t> parsePort(const char* text) {
  // Digits only: no sign, no blanks, nothing after the number.
  if (text == nullptr || *text < '0' || *text > '9') return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || value < 0 || value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

std::string normaliseRoot(std::string_view root) {
  std::string r(root);
  if (!r.empty() && r.front() != '/') {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(r, ec);
    if (!ec) r = absolute.string();
  }
  while (r.size() > 1 && r.back() == '/') r.pop_back();
  return r;
}

void initLocked(PlatformState& s) {
  if (s.initialised) return;
  s.initialised = true;
  const char* root = std::getenv("METER_ROOT");
  s.root = root != nullptr ? normaliseRoot(root) : std::string();
  s.scpiPort = parsePort(std::getenv("METER_SCPI_PORT")).value_or(kDefaultScpiPort);
}

std::string rootCopy() {
  auto& s = state();
  std::lock_guard guard(s.lock);
  initLocked(s);
  return s.root;
}

void makeParents(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
}

// Appends one line to a file under the root, creating it and its folder.
void appendLine(const std::string& path, std::string_view line) {
  makeParents(path);
  const int fd = Device_open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (fd < 0) return;
  std::string text(line);
  text.push_back('\n');
  Device_writeAll(fd, text);
  Device_close(fd);
}

std::vector<std::string_view> splitWords(std::string_view text) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    const size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

int simulatedTouch(std::string_view devicePath) {
  const std::string path = Platform_path(devicePath);
  makeParents(path);
  const int fd = Device_open(path.c_str(), O_WRONLY | O_CREAT, 0644);
  if (fd < 0) return 1;
  ::futimens(fd, nullptr);
  Device_close(fd);
  return 0;
}

// "echo WORDS > FILE" or "echo WORDS >> FILE": the words, joined by one blank,
// and a line end go to the file under the root.
std::optional<int> simulatedEcho(const std::vector<std::string_view>& words) {
  size_t redirect = 0;
  for (size_t i = 1; i < words.size(); ++i) {
    if (words[i] == ">" || words[i] == ">>") redirect = i;
  }
  if (redirect == 0 || redirect + 2 != words.size()) return std::nullopt;
  std::string text;
  for (size_t i = 1; i < redirect; ++i) {
    if (i > 1) text.push_back(' ');
    text.append(words[i]);
  }
  text.push_back('\n');
  const std::string path = Platform_path(words.back());
  makeParents(path);
  const int flags = O_WRONLY | O_CREAT | (words[redirect] == ">>" ? O_APPEND : O_TRUNC);
  const int fd = Device_open(path.c_str(), flags, 0644);
  if (fd < 0) return 1;
  const bool ok = Device_writeAll(fd, text);
  Device_close(fd);
  return ok ? 0 : 1;
}

std::string oneLine(std::string_view message) {
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.remove_suffix(1);
  }
  std::string line(message);
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return line;
}

}  // namespace

void Platform_init() {
  auto& s = state();
  std::lock_guard guard(s.lock);
  initLocked(s);
}

void Platform_setRoot(std::string_view root) {
  auto& s = state();
  std::lock_guard guard(s.lock);
  initLocked(s);
  s.root = normaliseRoot(root);
  if (s.messagesFd >= 0) {
    Device_close(s.messagesFd);
    s.messagesFd = -1;
  }
}

std::string Platform_root() { return rootCopy(); }

bool Platform_isSimulated() { return !rootCopy().empty(); }

std::string Platform_path(std::string_view devicePath) {
  std::string root = rootCopy();
  if (root.empty() || devicePath.empty() || devicePath.front() != '/') {
    return std::string(devicePath);
  }
  // The process's own entries describe this process wherever it runs; every
  // other system file, "/proc/net/route" included, is the device's.
  if (devicePath == "/dev/null" || devicePath.starts_with("/proc/self/")) {
    return std::string(devicePath);
  }
  root.append(devicePath);
  return root;
}

void Platform_prepareParent(std::string_view devicePath) {
  if (rootCopy().empty()) return;
  makeParents(Platform_path(devicePath));
}

int Platform_runCommand(std::string_view command) {
  const std::string root = rootCopy();
  if (root.empty()) {
    const std::string text(command);
    return std::system(text.c_str());
  }
  const auto words = splitWords(command);
  if (words.size() == 2 && words[0] == "touch") return simulatedTouch(words[1]);
  if (!words.empty() && words[0] == "echo") {
    if (auto result = simulatedEcho(words)) return *result;
  }
  appendLine(root + "/var/log/commands.log", oneLine(command));
  if (!words.empty() && words[0] == "shutdown") {
    std::fflush(nullptr);
    ::_exit(0);
  }
  return 0;
}

void Platform_syslog(int priority, std::string_view message) {
  const std::string line = oneLine(message);
  ::syslog(priority, "%s", line.c_str());
  auto& s = state();
  std::lock_guard guard(s.lock);
  initLocked(s);
  if (s.root.empty()) return;
  if (s.messagesFd < 0) {
    const std::string path = s.root + "/var/log/messages";
    makeParents(path);
    s.messagesFd = Device_open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (s.messagesFd < 0) return;
  }
  Device_writeAll(s.messagesFd, std::to_string(priority) + " " + line + "\n");
}

std::uint16_t Platform_parseScpiPort(const char* text) { return parsePort(text).value_or(kDefaultScpiPort); }

std::uint16_t Platform_scpiPort() {
  auto& s = state();
  std::lock_guard guard(s.lock);
  initLocked(s);
  return s.scpiPort;
}

std::string SystemLog_formatV(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length < 0) return std::string();
  std::string text(static_cast<size_t>(length), '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, args);
  return text;
}

void diagnostic_message(int priority, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Platform_syslog(priority, SystemLog_formatV(format, args));
  va_end(args);
}

void user_message(int priority, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Platform_syslog(priority, SystemLog_formatV(format, args));
  va_end(args);
}

std::optional<std::string> Platform_interfaceAddress(std::string_view name, InterfaceAddressKind kind) {
  if (!Platform_isSimulated()) return std::nullopt;
  // The name becomes part of a path: nothing that could leave the folder.
  if (name.empty() || name.find('/') != std::string_view::npos || name == "." || name == "..") return std::string();
  const char* file = kind == InterfaceAddressKind::address ? "/ipv4_address" : "/ipv4_netmask";
  std::string text;
  if (!Device_readSmallFile(Platform_path(DevicePath::kNetClassDir + std::string(name) + file), 64, &text)) {
    return std::string();
  }
  const std::size_t end = text.find_first_of("\r\n");
  if (end != std::string::npos) text.resize(end);
  return text;
}
