// The application settings: one process-wide record, guarded by one lock, kept
// in the text file "/etc/meterapp/TalvekApplicationSettings.conf" (under the
// device root off the device).
//
// Every setter stores its value and writes the whole file before it returns,
// so the file is always a complete snapshot; it is replaced atomically, so a
// power loss in the middle of a write leaves the previous snapshot. The RS-232
// port settings share the file: their lines follow this module's lines, and
// every line this module does not know is handed to the serial settings.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

enum rfMatchType_t { rfMatch_VSWR = 0, rfMatch_RL = 1, rfMatch_RflCoeff = 2 };
enum GraphScaleUnit_t { graphScale_mW = 0, graphScale_dBm = 1 };
enum TimeGraphMode { graphModeRaw = 0, graphModeAverage = 1 };

// Time-power graph settings of one display channel.
struct GraphSettings_t {
  double maxPower;
  double minPower;
  double maxLimitLine;
  double minLimitLine;
  GraphScaleUnit_t unit;
  std::uint32_t averageCount;
  bool bReflectedMode;  // graph the reflected instead of the forward power
  TimeGraphMode displayMode;
  friend bool operator==(const GraphSettings_t&, const GraphSettings_t&) = default;
};

// A display range choice: automatic, or the fixed range index 0..10.
struct rfPowerScale {
  bool autoScale;
  std::uint32_t scaleIndex;
  friend bool operator==(const rfPowerScale&, const rfPowerScale&) = default;
};

constexpr int kSettingsChannels = 2;
constexpr int kSettingsDirections = 2;  // 0 forward, 1 reflected
constexpr int kSettingsPulseStates = 4;
constexpr std::uint32_t kMaxScaleIndex = 10;
constexpr std::uint32_t kDefaultScaleIndex = 7;

struct TALVEK_APP_SETTINGS {
  bool displayForwardPower;
  bool displayReflectedPower;
  bool powerUnitsIsdBm;
  bool displayVSWR_ReturnLoss_or_ReflCoeff_Value;
  rfMatchType_t matchMeasurementType;
  bool displayGraph;
  GraphSettings_t graphSettings[kSettingsChannels];
  rfPowerScale scale[kSettingsChannels][kSettingsDirections];
  rfPowerScale gatedPowerScale[kSettingsChannels];
  rfPowerScale pulseStateScale[kSettingsChannels][kSettingsPulseStates];
  bool useLegacyRS232Commands;
  bool legacyCommandModeSW;
  bool sensorPulseModeIsActive;
  friend bool operator==(const TALVEK_APP_SETTINGS&, const TALVEK_APP_SETTINGS&) = default;
};

// The settings file also keeps lines that belong to another module (the
// RS-232 line settings). That module hands its three functions over at
// start-up, before readConfigFile:
// - read(key, rest): a line whose key the settings record does not know;
//   rest is the text after the key;
// - write(stream): appends its lines when the file is written; 0 or negative;
// - forget(): drops what it remembered from an earlier read.
// Without them such lines are ignored and none are written.
struct ConfigurationExtraLines {
  int (*read)(std::string_view key, std::string_view rest) = nullptr;
  int (*write)(FILE* stream) = nullptr;
  void (*forget)() = nullptr;
};
void configuration_setExtraLines(const ConfigurationExtraLines& lines);

// Chooses the settings file (at most 64 characters; empty or null: the default
// "/etc/meterapp/TalvekApplicationSettings.conf") and creates its folder. The
// name is a device path, mapped under the device root when the file is opened.
// A longer name is refused (-1) and the previous name stays; else 0.
int setConfigurationFile(const char* path);
// The current settings file name (a device path).
const char* configuration_getFileName();

// Start-up: applies the defaults, then reads the settings file; when it is
// missing, the defaults are written to a new file. A file that exists but
// cannot be read is left alone: the user is warned once, and until a later
// read succeeds every change stays in memory only. Runs before the other
// threads start.
void readConfigFile();
// Writes the record and the serial port lines. Called with the lock held.
// Returns 0, or -1 when the file could not be written (logged; the record
// keeps its values) or is held back because it could not be read.
int writeConfigFile();
// Takes the lock and writes the file: for code outside this module that has
// changed what the file holds without a setter (the RS-232 port settings).
int configuration_saveSettings();
// Validates both channels' graph settings, then writes. Lock held.
int writeConfigFileWithValidation();
// Defaults for everything but the legacy command settings, then writes.
void resetConfigToDefaults();
// Applies the defaults to the record (no lock, no write).
void restoreDefaultSettings();
TALVEK_APP_SETTINGS configuration_getTalvekAppConfiguration();

// Puts (min, max) inside [lower, upper] with at least span between them; the
// upper bound is applied first. A NaN end is taken as the bound on its side.
void validateRange(double& min, double& max, double lower, double upper, double span);
// Clamps averageCount and both ranges of one channel's graph settings.
void validateGraphSettings(GraphSettings_t& settings);

void configuration_setDisplayFowardPower(bool on);
bool configuration_getDisplayFowardPower();
void configuration_setDisplayReflectedPower(bool on);
bool configuration_getDisplayReflectedPower();
void configuration_setPowerUnitsIsdBm(bool on);
bool configuration_getPowerUnitsIsdBm();
void configuration_setDisplayMatch(bool on);
bool configuration_getDisplayMatch();
void configuration_setMatchMeasurementType(rfMatchType_t type);
rfMatchType_t configuration_getMatchMeasurementType();
void configuration_setDisplayGraph(bool on);
bool configuration_getDisplayGraph();

// Channels are 0 and 1. The graph settings are validated before they are
// stored; an invalid channel is logged and changes nothing (the getters then
// return the defaults).
void configuration_setGraphSettings(const GraphSettings_t& settings, int channel);
GraphSettings_t configuration_getGraphSettings(int channel);
bool configuration_getGraphRflMode(int channel);

// A scale setter whose arguments fail their checks logs one diagnostic per
// failed check and changes nothing; the getters return the default scale for
// arguments out of range.
void configuration_setRfPowerScale(rfPowerScale scale, int channel, int direction);
rfPowerScale configuration_getRfPowerScale(int channel, int direction);
void configuration_setGatedPowerScale(rfPowerScale scale, int channel);
rfPowerScale configuration_getGatedPowerScale(int channel);
void configuration_setStatePowerScale(rfPowerScale scale, int channel, int state);
rfPowerScale configuration_getStatePowerScale(int channel, int state);

void configuration_setUseLegacy(bool on);
bool configuration_getUseLegacy();
void configuration_setCommandModeSW(bool on);
bool configuration_getCommandModeSW();
void configuration_setPulseMode(bool on);
bool configuration_getPulseMode();
