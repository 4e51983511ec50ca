#include "log_manager.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform.h"

namespace {

constexpr std::array<const char*, CategoryCount> categoryNames = {
    "None",           "",          "ThreadMonitor",  "SensorCommunications",
    "SensorDetection", "PowerManagement", "I2CTransactions", "TestSerialPort",
    "BatteryMonitor",  "ScpiParser",      "SensorManager",
};
constexpr std::array<bool, CategoryCount> defaultCategories{};

// Written by the log switch thread, read by every thread without a lock:
// atomics keep each read whole.
std::array<std::atomic<bool>, CategoryCount> enabledCategories{};
std::atomic<FILE*> devNullFp{nullptr};
std::atomic<FILE*> outfp{nullptr};

constexpr size_t kMaxConfigLine = 100;

void setDefaults() {
  for (size_t i = 0; i < enabledCategories.size(); ++i) {
    enabledCategories[i].store(defaultCategories[i], std::memory_order_relaxed);
  }
}

bool readable(const std::string& path) { return ::access(path.c_str(), R_OK) == 0; }

void writeV(int category, const char* format, va_list args) {
  if (!LogManager_isEnabled(category)) return;
  FILE* out = outfp.load();
  if (out == nullptr) return;
  std::string text;
  try {
    text = SystemLog_formatV(format, args);
  } catch (const std::bad_alloc&) {
    std::fputs("Error while logging a message: Memory allocation failed.\n", out);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), out);
  std::fflush(out);
}

}  // namespace

void LogManager_create() {
  setDefaults();
  if (devNullFp.load() == nullptr) {
    FILE* fp = std::fopen(DevicePath::kNull, "w");
    if (fp == nullptr) {
      std::fprintf(stderr, "devNullFp /dev/null is NULL: %s\n", std::strerror(errno));
      std::exit(1);
    }
    devNullFp.store(fp);
  }
  outfp.store(devNullFp.load());
}

void LogManager_enable(int category, bool on) {
  if (category < 0 || category >= CategoryCount) return;
  enabledCategories[static_cast<size_t>(category)].store(on, std::memory_order_relaxed);
}

bool LogManager_isEnabled(int category) {
  if (category < 0 || category >= CategoryCount) return false;
  return enabledCategories[static_cast<size_t>(category)].load(std::memory_order_relaxed);
}

void logManager_printToLog(int category, const char* format, ...) {
  if (!LogManager_isEnabled(category)) return;
  va_list args;
  va_start(args, format);
  writeV(category, format, args);
  va_end(args);
}

void logManager_fprintf_wrapper(const char* format, ...) {
  if (!LogManager_isEnabled(NoCategory)) return;
  va_list args;
  va_start(args, format);
  writeV(NoCategory, format, args);
  va_end(args);
}

void logManager_fprintf(const char* format, ...) {
  if (!LogManager_isEnabled(NoCategory)) return;
  FILE* out = outfp.load();
  if (out == nullptr) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(out, format, args);
  va_end(args);
  std::fflush(out);
}

int LookupCategory(const char* name) {
  if (name == nullptr) return -1;
  for (size_t i = 0; i < categoryNames.size(); ++i) {
    if (categoryNames[i][0] != '\0' && std::strcmp(categoryNames[i], name) == 0) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

char* LogManager_trimwhitespace(char* text) {
  while (*text != '\0' && std::isspace(static_cast<unsigned char>(*text))) ++text;
  if (*text == '\0') return text;
  char* end = text + std::strlen(text) - 1;
  while (end > text && std::isspace(static_cast<unsigned char>(*end))) --end;
  end[1] = '\0';
  return text;
}

bool loadLogConfigFile(const char* path) {
  FILE* fp = std::fopen(path, "r");
  if (fp == nullptr) return false;
  setDefaults();
  std::array<char, kMaxConfigLine + 1> line{};
  while (std::fgets(line.data(), static_cast<int>(line.size()), fp) != nullptr) {
    const int category = LookupCategory(LogManager_trimwhitespace(line.data()));
    if (category >= 0) LogManager_enable(category, true);
  }
  std::fclose(fp);
  return true;
}

void LogManager_switchPass() {
  const std::string debugPath = Platform_path(DevicePath::kDebugSwitch);
  outfp.store(readable(debugPath) ? stdout : devNullFp.load());
  const std::string configPath = Platform_path(DevicePath::kLogConfig);
  if (!readable(configPath) || !loadLogConfigFile(configPath.c_str())) setDefaults();
}

void debugPrintfThread(std::stop_token stop) {
  while (!stop.stop_requested()) {
    LogManager_switchPass();
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
}
