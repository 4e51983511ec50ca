#include "configuration.h"

#include <locale.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "atomic_file.h"
#include "log_manager.h"
#include "platform.h"
#include "text_field.h"

namespace {

constexpr const char* kDefaultFile = DevicePath::kSettingsFile;
constexpr std::size_t kMaxFileName = 64;
constexpr const char* kLegacyGraphModeKey = "displayGraphRadioButtonActive";

// The owner of the lines this module does not know (the RS-232 line
// settings), registered at start-up.
ConfigurationExtraLines extraLines;

// The process-wide settings record, its file name and its lock.
TALVEK_APP_SETTINGS talvekAppSettings{};
std::array<char, kMaxFileName + 1> configFileName{};
std::mutex configurationMutex;
// The settings file exists but could not be read at start-up: it still holds
// the user's settings, so the record (the defaults and later changes) stays
// in memory and the file is never written over with it.
bool settingsFileUnreadable = false;

// Settings files are written and read in the C locale whatever the screen's
// locale is, so "%f" always uses a decimal point.
class CLocaleScope {
 public:
  CLocaleScope() : c_(::newlocale(LC_ALL_MASK, "C", nullptr)), previous_(c_ ? ::uselocale(c_) : nullptr) {}
  CLocaleScope(const CLocaleScope&) = delete;
  CLocaleScope& operator=(const CLocaleScope&) = delete;
  ~CLocaleScope() {
    if (c_ == nullptr) return;
    ::uselocale(previous_);
    ::freelocale(c_);
  }

 private:
  locale_t c_;
  locale_t previous_;
};

// Range indexes outside 0..10 read as the default index.
struct ScaleIndexField {
  std::uint32_t* index;
};
using FieldRef = std::variant<bool*, rfMatchType_t*, TimeGraphMode*, std::uint32_t*, double*, GraphScaleUnit_t*,
                              ScaleIndexField>;

struct SettingLine {
  std::string key;
  FieldRef field;
};

std::string channelKey(const char* prefix, int channel) { return prefix + std::to_string(channel + 1); }

// Every line of the file, in the order it is written, bound to its field.
std::vector<SettingLine> settingLines(TALVEK_APP_SETTINGS& s) {
  std::vector<SettingLine> lines = {
      {"displayForwardPower", &s.displayForwardPower},
      {"displayReflectedPower", &s.displayReflectedPower},
      {"powerUnitsIsdBm", &s.powerUnitsIsdBm},
      {"displayVSWR_ReturnLoss_or_ReflCoeff_Value", &s.displayVSWR_ReturnLoss_or_ReflCoeff_Value},
      {"matchMeasurementType", &s.matchMeasurementType},
      {"displayGraph", &s.displayGraph},
  };
  for (int ch = 0; ch < kSettingsChannels; ++ch) {
    GraphSettings_t& g = s.graphSettings[ch];
    lines.push_back({channelKey("graphReflectedMode_ch", ch), &g.bReflectedMode});
    lines.push_back({channelKey("graphDisplayMode_ch", ch), &g.displayMode});
    lines.push_back({channelKey("graphAverageCount_ch", ch), &g.averageCount});
    lines.push_back({channelKey("graphDisplayMinPower_ch", ch), &g.minPower});
    lines.push_back({channelKey("graphDisplayMaxPower_ch", ch), &g.maxPower});
    lines.push_back({channelKey("limitLineMin_ch", ch), &g.minLimitLine});
    lines.push_back({channelKey("limitLineMax_ch", ch), &g.maxLimitLine});
    lines.push_back({channelKey("unit_ch", ch), &g.unit});
  }
  for (int ch = 0; ch < kSettingsChannels; ++ch) {
    const std::string prefix = channelKey("scale_ch", ch);
    const char* directions[kSettingsDirections] = {"fwd", "rfl"};
    for (int dir = 0; dir < kSettingsDirections; ++dir) {
      rfPowerScale& scale = s.scale[ch][dir];
      lines.push_back({prefix + "_" + directions[dir] + "_autoScale", &scale.autoScale});
      lines.push_back({prefix + "_" + directions[dir] + "_scaleIndex", ScaleIndexField{&scale.scaleIndex}});
    }
    lines.push_back({prefix + "_gatedPower_autoScale", &s.gatedPowerScale[ch].autoScale});
    lines.push_back({prefix + "_gatedPower_scaleIndex", ScaleIndexField{&s.gatedPowerScale[ch].scaleIndex}});
  }
  for (int ch = 0; ch < kSettingsChannels; ++ch) {
    for (int state = 0; state < kSettingsPulseStates; ++state) {
      const std::string prefix = channelKey("state_scale_ch", ch) + "_" + std::to_string(state);
      rfPowerScale& scale = s.pulseStateScale[ch][state];
      lines.push_back({prefix + "_autoScale", &scale.autoScale});
      lines.push_back({prefix + "_scaleIndex", ScaleIndexField{&scale.scaleIndex}});
    }
  }
  lines.push_back({"useLegacyRS232Commands", &s.useLegacyRS232Commands});
  lines.push_back({"legacyCommandModeSW", &s.legacyCommandModeSW});
  lines.push_back({"sensorPulseMode", &s.sensorPulseModeIsActive});
  return lines;
}

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};

std::string formatValue(const FieldRef& field) {
  char text[512];  // room for any double written with "%f"
  std::visit(Overloaded{
                 [&](bool* v) { std::snprintf(text, sizeof text, "%d", *v ? 1 : 0); },
                 [&](rfMatchType_t* v) { std::snprintf(text, sizeof text, "%d", static_cast<int>(*v)); },
                 [&](TimeGraphMode* v) { std::snprintf(text, sizeof text, "%d", static_cast<int>(*v)); },
                 [&](std::uint32_t* v) { std::snprintf(text, sizeof text, "%d", static_cast<int>(*v)); },
                 [&](double* v) { std::snprintf(text, sizeof text, "%f", *v); },
                 [&](GraphScaleUnit_t* v) { std::snprintf(text, sizeof text, "%d", static_cast<int>(*v)); },
                 [&](ScaleIndexField v) { std::snprintf(text, sizeof text, "%d", static_cast<int>(*v.index)); },
             },
             field);
  return text;
}

// The C library's decimal reading: leading blanks skipped, trailing text
// ignored, an empty value reads as 0.
int readInt(const std::string& value) {
  const long v = std::strtol(value.c_str(), nullptr, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

void parseValue(const FieldRef& field, const std::string& value, std::string_view key) {
  const int number = readInt(value);
  std::visit(Overloaded{
                 [&](bool* v) { *v = number != 0; },
                 [&](rfMatchType_t* v) {
                   // Display code indexes its tables with this value.
                   if (number < rfMatch_VSWR || number > rfMatch_RflCoeff) {
                     DIAGNOSTIC("%s %d out of range, VSWR used\n", std::string(key).c_str(), number);
                     *v = rfMatch_VSWR;
                   } else {
                     *v = static_cast<rfMatchType_t>(number);
                   }
                 },
                 [&](TimeGraphMode* v) {
                   if (number < graphModeRaw || number > graphModeAverage) {
                     DIAGNOSTIC("%s %d out of range, raw used\n", std::string(key).c_str(), number);
                     *v = graphModeRaw;
                   } else {
                     *v = static_cast<TimeGraphMode>(number);
                   }
                 },
                 [&](std::uint32_t* v) { *v = static_cast<std::uint32_t>(number); },
                 [&](double* v) { *v = static_cast<float>(std::strtod(value.c_str(), nullptr)); },
                 [&](GraphScaleUnit_t* v) {
                   *v = number <= graphScale_mW ? graphScale_mW : graphScale_dBm;
                 },
                 [&](ScaleIndexField v) {
                   const bool inRange = number >= 0 && static_cast<std::uint32_t>(number) <= kMaxScaleIndex;
                   *v.index = inRange ? static_cast<std::uint32_t>(number) : kDefaultScaleIndex;
                 },
             },
             field);
}

void applyLegacyGraphMode(TALVEK_APP_SETTINGS& s, const std::string& value) {
  for (auto& graph : s.graphSettings) parseValue(&graph.displayMode, value, kLegacyGraphModeKey);
}

// One line of the file: "key value". Unknown keys go to the serial settings.
void readLine(TALVEK_APP_SETTINGS& s, const std::vector<SettingLine>& known, std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.empty()) return;
  const std::size_t space = line.find(' ');
  const std::string_view key = line.substr(0, space);
  const std::string value(space == std::string_view::npos ? std::string_view() : line.substr(space + 1));

  if (key == kLegacyGraphModeKey) {
    applyLegacyGraphMode(s, value);
    return;
  }
  for (const auto& entry : known) {
    if (entry.key == key) {
      parseValue(entry.field, value, key);
      return;
    }
  }
  if (extraLines.read != nullptr) extraLines.read(key, value);
}

void readSettingsText(TALVEK_APP_SETTINGS& s, std::string_view text) {
  const CLocaleScope cLocale;
  const auto known = settingLines(s);
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::size_t length = end == std::string_view::npos ? text.size() : end + 1;
    readLine(s, known, text.substr(0, length));
    text.remove_prefix(length);
  }
}

// The file's text for the record, serial port lines included.
bool settingsText(TALVEK_APP_SETTINGS& s, std::string& text) {
  const CLocaleScope cLocale;
  for (const auto& line : settingLines(s)) text += line.key + " " + formatValue(line.field) + "\n";

  char* buffer = nullptr;
  std::size_t size = 0;
  FILE* stream = ::open_memstream(&buffer, &size);
  if (stream == nullptr) return false;
  const int result = extraLines.write != nullptr ? extraLines.write(stream) : 0;
  std::fclose(stream);
  if (buffer != nullptr) text.append(buffer, size);
  std::free(buffer);
  return result == 0;
}

std::string settingsPath() { return Platform_path(configFileName.data()); }

void applyDefaults(TALVEK_APP_SETTINGS& s) {
  s.displayForwardPower = true;
  s.displayReflectedPower = true;
  s.powerUnitsIsdBm = false;
  s.displayVSWR_ReturnLoss_or_ReflCoeff_Value = true;
  s.matchMeasurementType = rfMatch_VSWR;
  s.displayGraph = false;
  for (auto& graph : s.graphSettings) {
    graph.bReflectedMode = false;
    graph.displayMode = graphModeRaw;
    graph.averageCount = 64;
    graph.minPower = 3000.0;
    graph.minLimitLine = 3000.0;
    graph.maxPower = 10000000.0;
    graph.maxLimitLine = 10000000.0;
    graph.unit = graphScale_mW;
  }
  const rfPowerScale automatic{true, kDefaultScaleIndex};
  for (auto& channel : s.scale) {
    for (auto& scale : channel) scale = automatic;
  }
  for (auto& scale : s.gatedPowerScale) scale = automatic;
  for (auto& channel : s.pulseStateScale) {
    for (auto& scale : channel) scale = automatic;
  }
  s.useLegacyRS232Commands = false;
  s.legacyCommandModeSW = false;
  s.sensorPulseModeIsActive = false;
}

TALVEK_APP_SETTINGS defaultSettings() {
  TALVEK_APP_SETTINGS s{};
  applyDefaults(s);
  return s;
}

bool validChannel(int channel) { return channel >= 0 && channel < kSettingsChannels; }

// Checks of the scale setters: one diagnostic per failed check.
bool checkScale(const rfPowerScale& scale, int channel, const char* indexName, int index, int count) {
  bool ok = true;
  if (!validChannel(channel)) {
    DIAGNOSTIC("Invalid parameter, channel = %d\n", channel);
    ok = false;
  }
  if (indexName != nullptr && (index < 0 || index >= count)) {
    DIAGNOSTIC("Invalid parameter, %s = %d\n", indexName, index);
    ok = false;
  }
  if (scale.scaleIndex > kMaxScaleIndex) {
    DIAGNOSTIC("Invalid parameter, scale.scaleIndex = %d\n", static_cast<int>(scale.scaleIndex));
    ok = false;
  }
  return ok;
}

// Stores one value under the lock and writes the file.
template <class T>
void store(T TALVEK_APP_SETTINGS::*field, T value) {
  std::lock_guard guard(configurationMutex);
  talvekAppSettings.*field = value;
  writeConfigFile();
}

template <class T>
T load(T TALVEK_APP_SETTINGS::*field) {
  std::lock_guard guard(configurationMutex);
  return talvekAppSettings.*field;
}

}  // namespace

int setConfigurationFile(const char* path) {
  const std::string_view name = (path == nullptr || *path == '\0') ? kDefaultFile : path;
  if (name.size() > kMaxFileName) {
    DIAGNOSTIC("Settings file name longer than %zu characters refused: %s\n", kMaxFileName,
               std::string(name).c_str());
    if (configFileName[0] == '\0') TextField_copy(configFileName, kDefaultFile);
    return -1;
  }
  TextField_copy(configFileName, name);
  const auto slash = name.rfind('/');
  if (slash != std::string_view::npos && slash > 0) {
    const std::string folder = Platform_path(name.substr(0, slash));
    // Created with mode 0777 less the umask; an existing folder is kept as it is.
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) DIAGNOSTIC("mkdir %s failed: %s\n", folder.c_str(), error.message().c_str());
  }
  return 0;
}

const char* configuration_getFileName() {
  if (configFileName[0] == '\0') TextField_copy(configFileName, kDefaultFile);
  return configFileName.data();
}

void readConfigFile() {
  std::lock_guard guard(configurationMutex);
  configuration_getFileName();
  applyDefaults(talvekAppSettings);
  if (extraLines.forget != nullptr) extraLines.forget();
  const std::string path = settingsPath();
  std::string text;
  if (!AtomicFile_read(path, text)) {
    const int readError = errno;
    DIAGNOSTIC("Warning: Unable to open settings file %s for reading\n\n", path.c_str());
    DIAGNOSTIC("Using defaults\n\n");
    // Only a missing file is replaced by the defaults. A file that exists but
    // cannot be read now (permissions, a failing medium) still holds the
    // user's settings; overwriting it at start-up would lose them for good.
    settingsFileUnreadable = readError != ENOENT;
    if (settingsFileUnreadable) {
      USER_WARNING("Settings file %s cannot be read: defaults in use, changes will not be saved\n", path.c_str());
    } else {
      writeConfigFile();
    }
    return;
  }
  settingsFileUnreadable = false;
  readSettingsText(talvekAppSettings, text);
}

int writeConfigFile() {
  if (settingsFileUnreadable) return -1;
  const std::string path = settingsPath();
  std::string text;
  if (!settingsText(talvekAppSettings, text)) {
    DIAGNOSTIC("Warning: Unable to open settings file %s for writing.\n\n", path.c_str());
    return -1;
  }
  if (AtomicFile_replace(path, text) != 0) {
    DIAGNOSTIC("Warning: Unable to open settings file %s for writing.\n\n", path.c_str());
    return -1;
  }
  return 0;
}

int configuration_saveSettings() {
  std::lock_guard guard(configurationMutex);
  return writeConfigFile();
}

int writeConfigFileWithValidation() {
  for (auto& graph : talvekAppSettings.graphSettings) validateGraphSettings(graph);
  return writeConfigFile();
}

void resetConfigToDefaults() {
  std::lock_guard guard(configurationMutex);
  const bool useLegacy = talvekAppSettings.useLegacyRS232Commands;
  const bool commandModeSW = talvekAppSettings.legacyCommandModeSW;
  applyDefaults(talvekAppSettings);
  talvekAppSettings.useLegacyRS232Commands = useLegacy;
  talvekAppSettings.legacyCommandModeSW = commandModeSW;
  writeConfigFile();
}

void restoreDefaultSettings() { applyDefaults(talvekAppSettings); }

TALVEK_APP_SETTINGS configuration_getTalvekAppConfiguration() {
  std::lock_guard guard(configurationMutex);
  return talvekAppSettings;
}

void validateRange(double& min, double& max, double lower, double upper, double span) {
  if (std::isnan(min)) min = lower;
  if (std::isnan(max)) max = upper;
  if (min > max) std::swap(min, max);
  if (max - min < span) min = max - span;
  if (upper <= min) {
    max = upper;
    min = max - span;
  } else if (upper < max) {
    max = upper;
    if (max - min < span) min = max - span;
  }
  if (lower > max) {
    min = lower;
    max = min + span;
  } else if (lower > min) {
    min = lower;
    if (max - min < span) max = min + span;
  }
}

void validateGraphSettings(GraphSettings_t& g) {
  if (g.averageCount < 2) g.averageCount = 2;
  if (g.averageCount > 64) g.averageCount = 64;
  const bool dBm = g.unit == graphScale_dBm;
  const double lower = dBm ? -60.0 : 0.0;
  const double upper = dBm ? 80.0 : 99999999.0;
  const double span = dBm ? 1.0 : 5.0;
  validateRange(g.minPower, g.maxPower, lower, upper, span);
  validateRange(g.minLimitLine, g.maxLimitLine, lower, upper, span);
}

void configuration_setDisplayFowardPower(bool on) { store(&TALVEK_APP_SETTINGS::displayForwardPower, on); }
bool configuration_getDisplayFowardPower() { return load(&TALVEK_APP_SETTINGS::displayForwardPower); }
void configuration_setDisplayReflectedPower(bool on) { store(&TALVEK_APP_SETTINGS::displayReflectedPower, on); }
bool configuration_getDisplayReflectedPower() { return load(&TALVEK_APP_SETTINGS::displayReflectedPower); }
void configuration_setPowerUnitsIsdBm(bool on) { store(&TALVEK_APP_SETTINGS::powerUnitsIsdBm, on); }
bool configuration_getPowerUnitsIsdBm() { return load(&TALVEK_APP_SETTINGS::powerUnitsIsdBm); }
void configuration_setDisplayMatch(bool on) {
  store(&TALVEK_APP_SETTINGS::displayVSWR_ReturnLoss_or_ReflCoeff_Value, on);
}
bool configuration_getDisplayMatch() { return load(&TALVEK_APP_SETTINGS::displayVSWR_ReturnLoss_or_ReflCoeff_Value); }

void configuration_setMatchMeasurementType(rfMatchType_t type) {
  if (type < rfMatch_VSWR || type > rfMatch_RflCoeff) {
    DIAGNOSTIC("Invalid parameter, matchMeasurementType = %d\n", static_cast<int>(type));
    return;
  }
  store(&TALVEK_APP_SETTINGS::matchMeasurementType, type);
}
rfMatchType_t configuration_getMatchMeasurementType() { return load(&TALVEK_APP_SETTINGS::matchMeasurementType); }
void configuration_setDisplayGraph(bool on) { store(&TALVEK_APP_SETTINGS::displayGraph, on); }
bool configuration_getDisplayGraph() { return load(&TALVEK_APP_SETTINGS::displayGraph); }

void configuration_setGraphSettings(const GraphSettings_t& settings, int channel) {
  if (!validChannel(channel)) {
    DIAGNOSTIC("Invalid parameter, channel = %d\n", channel);
    return;
  }
  std::lock_guard guard(configurationMutex);
  talvekAppSettings.graphSettings[channel] = settings;
  writeConfigFileWithValidation();
}

GraphSettings_t configuration_getGraphSettings(int channel) {
  if (!validChannel(channel)) {
    DIAGNOSTIC("Invalid parameter, channel = %d\n", channel);
    return defaultSettings().graphSettings[0];
  }
  std::lock_guard guard(configurationMutex);
  return talvekAppSettings.graphSettings[channel];
}

bool configuration_getGraphRflMode(int channel) { return configuration_getGraphSettings(channel).bReflectedMode; }

void configuration_setRfPowerScale(rfPowerScale scale, int channel, int direction) {
  if (!checkScale(scale, channel, "direction", direction, kSettingsDirections)) return;
  std::lock_guard guard(configurationMutex);
  talvekAppSettings.scale[channel][direction] = scale;
  writeConfigFile();
}

rfPowerScale configuration_getRfPowerScale(int channel, int direction) {
  if (!validChannel(channel) || direction < 0 || direction >= kSettingsDirections) {
    DIAGNOSTIC("Invalid parameter, channel = %d, direction = %d\n", channel, direction);
    return {true, kDefaultScaleIndex};
  }
  std::lock_guard guard(configurationMutex);
  return talvekAppSettings.scale[channel][direction];
}

void configuration_setGatedPowerScale(rfPowerScale scale, int channel) {
  if (!checkScale(scale, channel, nullptr, 0, 0)) return;
  std::lock_guard guard(configurationMutex);
  talvekAppSettings.gatedPowerScale[channel] = scale;
  writeConfigFile();
}

rfPowerScale configuration_getGatedPowerScale(int channel) {
  if (!validChannel(channel)) {
    DIAGNOSTIC("Invalid parameter, channel = %d\n", channel);
    return {true, kDefaultScaleIndex};
  }
  std::lock_guard guard(configurationMutex);
  return talvekAppSettings.gatedPowerScale[channel];
}

void configuration_setStatePowerScale(rfPowerScale scale, int channel, int state) {
  if (!checkScale(scale, channel, "stateIndex", state, kSettingsPulseStates)) return;
  std::lock_guard guard(configurationMutex);
  talvekAppSettings.pulseStateScale[channel][state] = scale;
  writeConfigFile();
}

rfPowerScale configuration_getStatePowerScale(int channel, int state) {
  if (!validChannel(channel) || state < 0 || state >= kSettingsPulseStates) {
    DIAGNOSTIC("Invalid parameter, channel = %d, stateIndex = %d\n", channel, state);
    return {true, kDefaultScaleIndex};
  }
  std::lock_guard guard(configurationMutex);
  return talvekAppSettings.pulseStateScale[channel][state];
}

void configuration_setUseLegacy(bool on) { store(&TALVEK_APP_SETTINGS::useLegacyRS232Commands, on); }
bool configuration_getUseLegacy() { return load(&TALVEK_APP_SETTINGS::useLegacyRS232Commands); }
void configuration_setCommandModeSW(bool on) { store(&TALVEK_APP_SETTINGS::legacyCommandModeSW, on); }
bool configuration_getCommandModeSW() { return load(&TALVEK_APP_SETTINGS::legacyCommandModeSW); }
void configuration_setPulseMode(bool on) { store(&TALVEK_APP_SETTINGS::sensorPulseModeIsActive, on); }
bool configuration_getPulseMode() { return load(&TALVEK_APP_SETTINGS::sensorPulseModeIsActive); }

void configuration_setExtraLines(const ConfigurationExtraLines& lines) {
  std::lock_guard guard(configurationMutex);
  extraLines = lines;
}
