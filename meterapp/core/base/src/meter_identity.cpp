#include "meter_identity.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "atomic_file.h"
#include "platform.h"
#include "text_field.h"

namespace {

constexpr const char* kDefaultModel = "R9050";
constexpr const char* kDefaultSerial = "000000000";
constexpr std::size_t kMaxFileBytes = 4096;
constexpr std::size_t kMaxBuildLine = 1024;

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

// Each line of `text` in turn, without its line feed.
template <typename Visit>
void forEachLine(std::string_view text, Visit visit) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (!visit(text.substr(0, end))) return;
    if (end == std::string_view::npos) return;
    text.remove_prefix(end + 1);
  }
}

MeterIdentity readIdentity() {
  MeterIdentity identity;
  TextField_copy(identity.model, kDefaultModel);
  TextField_copy(identity.serial, kDefaultSerial);
  std::string text;
  if (!AtomicFile_read(Platform_path(DevicePath::kMeterIdentityFile), text, kMaxFileBytes)) return identity;
  forEachLine(text, [&](std::string_view line) {
    line = trimmed(line);
    if (line.empty() || line.front() == '#') return true;
    const std::size_t blank = line.find_first_of(" \t");
    const std::string_view key = line.substr(0, blank);
    const std::string_view value = blank == std::string_view::npos ? std::string_view() : trimmed(line.substr(blank));
    if (value.empty()) return true;
    // An over-long value is cut to the field: the identity is shown, never parsed.
    if (key == "model") TextField_copy(identity.model, value.substr(0, identity.model.size() - 1));
    if (key == "serial") TextField_copy(identity.serial, value.substr(0, identity.serial.size() - 1));
    return true;
  });
  return identity;
}

struct IdentityCache {
  std::mutex lock;
  bool loaded = false;
  MeterIdentity identity;
};

IdentityCache& cache() {
  static IdentityCache c;
  return c;
}

std::string withoutLineEnds(std::string_view text) {
  const std::size_t end = text.find_first_of("\r\n");
  return std::string(text.substr(0, end));
}

}  // namespace

const MeterIdentity& MeterIdentity_get() {
  auto& c = cache();
  std::lock_guard guard(c.lock);
  if (!c.loaded) {
    c.identity = readIdentity();
    c.loaded = true;
  }
  return c.identity;
}

const MeterIdentity& MeterIdentity_reload() {
  auto& c = cache();
  std::lock_guard guard(c.lock);
  c.identity = readIdentity();
  c.loaded = true;
  return c.identity;
}

bool getFwVersion(std::array<char, 128>& result) {
  std::string version = std::string("unknown: ") + __DATE__ + " " + __TIME__;
  bool fromRecord = false;
  std::string text;
  if (AtomicFile_read(Platform_path(DevicePath::kBuildInstalled), text, 1024 * kMaxBuildLine)) {
    bool haveDate = false;
    forEachLine(text, [&](std::string_view line) {
      line = line.substr(0, kMaxBuildLine);
      if (!haveDate) {
        const std::size_t at = line.find("BUILD_DATE=");
        if (at == std::string_view::npos) return true;
        version = withoutLineEnds(line.substr(at + 11));
        if (const std::size_t t = version.find('T'); t != std::string::npos) version[t] = ' ';
        haveDate = true;
        fromRecord = true;
        return true;
      }
      const std::size_t at = line.find("BUILD_UUID=");
      if (at == std::string_view::npos) return true;
      version += "  " + withoutLineEnds(line.substr(at + 11));
      return false;
    });
  }
  while (!version.empty() && (version.back() == ' ' || version.back() == '\t')) version.pop_back();
  // Bounded: an over-long record is cut to the buffer, never past it.
  TextField_copy(result, std::string_view(version).substr(0, result.size() - 1));
  return fromRecord;
}
