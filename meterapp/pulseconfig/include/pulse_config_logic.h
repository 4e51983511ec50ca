// The pulse configuration dialog's rules, without any widget: the float
// comparisons, the unit factors and cycles, reading the typed numbers, the
// validation of both dialog variants against the sensor's limits, the state
// list edits and the text of a sensor's rejections. Pure functions.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sensor_data.h"

// |a - b| <= max(eps, max(|a|, |b|) x eps), eps the single-precision epsilon.
bool equal(float a, float b);
bool less(float a, float b);     // a < b and not equal
bool greater(float a, float b);  // a > b and not equal

// The entries of the dialog, as named in its messages and for the focus.
enum PulseField {
  pulseFieldNone = 0,
  pulseFieldFrequency,
  pulseFieldPeriod,
  pulseFieldLevel,
  pulseFieldDelay,
  pulseFieldGateBegin,
  pulseFieldGateEnd,
  pulseFieldStateBegin,
  pulseFieldStateEnd,
};
struct PulseFocus {
  PulseField field = pulseFieldNone;
  int state = 0;  // 0 to 3, for the state fields
};

// Validation outcome: every message in order (shown together) and the
// entry the keypad moves to (that of the last failure).
struct PulseValidation {
  bool valid = true;
  std::vector<std::string> messages;
  PulseFocus focus;
  std::string text() const;  // the messages, a blank line apart
};

// One display range row as the dialog prints with it.
struct PulseRangeRow {
  const char* format = "%g";
  const char* label = "";
  float multiplier = 1.0F;
};
// The meter's display ranges (the range tables of the display layer), handed
// in by the application: the row for a frequency and for a time, each found
// afresh from row 0, the power row of an index, and the power range finder.
// Without them values are printed plainly in Hz, s and W.
struct PulseConfigRanges {
  PulseRangeRow (*frequencyRow)(float hertz) = nullptr;
  PulseRangeRow (*timeRow)(float seconds) = nullptr;
  PulseRangeRow (*powerRow)(std::uint32_t index) = nullptr;
  std::uint8_t (*findPowerRange)(float watts, std::uint8_t current) = nullptr;
};
void PulseConfig_setRanges(const PulseConfigRanges& ranges);
// The power range row of a trigger level (0 without a range finder).
std::uint32_t PulseConfig_levelRange(float watts, std::uint32_t current);

// Unit factors when reading an entry: "KHz" 1000, "MHz" 1e6, else 1 (three
// letters, any case); "ms" 0.001, "us" 1e-6, else 1 (two letters); "mW"
// 0.001, "kW" 1000, else 1.
double PulseUnits_frequencyFactor(std::string_view units);
double PulseUnits_timeFactor(std::string_view units);
double PulseUnits_powerFactor(std::string_view units);
// The unit after a press of a units button: Hz -> KHz -> MHz -> Hz;
// us -> ms -> s -> us.
const char* PulseUnits_nextFrequency(std::string_view units);
const char* PulseUnits_nextTime(std::string_view units);
// The level units: power range rows mW (0 to 3) -> W (4) -> kW (8) -> dBm ->
// mW (0). dBm is the index kLevelIndexDbm.
constexpr std::uint32_t kLevelIndexDbm = 11;
std::uint32_t PulseUnits_nextLevelIndex(std::uint32_t index);
const char* PulseUnits_levelLabel(std::uint32_t index);

float cvtDBm2Watt(float dBm);  // 10^(dBm/10) / 1000
float cvtWatt2dBm(float watts);  // 10 log10(W x 1000)

// An entry's number (ASCII conversion, trailing text ignored). Empty text,
// or text that does not begin with a number, gives nothing: the dialog
// refuses it with the field named instead of reading it as 0.
std::optional<double> PulseConfig_parseNumber(std::string_view text);
// "The gate begin delay value is empty ..." for a field without a number.
std::string PulseConfig_missingNumberMessage(PulseFocus field);

// Entry texts for a value: the number without leading blanks and its units.
struct PulseEntryText {
  std::string number;
  std::string units;
};
PulseEntryText PulseConfig_frequencyText(float hertz);
PulseEntryText PulseConfig_timeText(float seconds);
// The trigger level in the power range row `index`, or in dBm ("-60.00"
// for 0 W) when index is kLevelIndexDbm.
PulseEntryText PulseConfig_levelText(float watts, std::uint32_t index);

// The two variants' checks, in the order the user is told about them.
// Stops at the first failure.
PulseValidation validatePulseConfigurationP803(const SENSOR_CONFIGS& config, const SENSOR_IDENTITY& limits);
// `config` is updated as applied: in the triggered-gates model the states
// from numStates to 3 get begin 0 and end 0.001 s. `typedPeriod` is the
// period entry's value in seconds.
PulseValidation validatePulseConfigurationP804(SENSOR_CONFIGS& config, const SENSOR_IDENTITY& limits,
                                               float typedPeriod);

// States list edits. Add: only below four states; the new state begins at
// the previous one's end (0 for the first) and lasts 0.0001 s. Delete:
// later states move up, the freed ones are cleared. False when refused.
bool PulseConfig_addState(SENSOR_CONFIGS& config);
bool PulseConfig_deleteState(SENSOR_CONFIGS& config, int state);
// Marks the states from numStates to 3 disabled (never past the array).
void PulseConfig_disableUnusedStates(SENSOR_CONFIGS& config);

// The initial configuration of a dialog.
SENSOR_CONFIGS initializePulseConfig();

// The text shown when the sensor rejected parameters: a fixed header and
// one "  %s\n\r" line per error, at most 320 characters (a line that does
// not fit is left out).
constexpr std::size_t kRejectionTextLimit = 320;
std::string PulseConfig_rejectionText(const std::vector<std::string>& errors);
std::string PulseConfig_rejectionText(const USBTMC_PARAM_ERRORS& errors);

// The sensor a dialog was opened for: a configuration is sent only while the
// port still holds it (same model and serial number, ready).
struct PulseSensorStamp {
  int port = sensorPort_None;
  std::array<char, 21> model{};
  std::array<char, 9> serialNumber{};
};
PulseSensorStamp PulseConfig_stampOf(int port, const SENSOR_INFORMATION_DATA& info);
bool PulseConfig_sameSensor(const PulseSensorStamp& stamp, int port, SensorStatus status,
                            const SENSOR_INFORMATION_DATA& info);
