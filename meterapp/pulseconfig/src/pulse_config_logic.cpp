#include "pulse_config_logic.h"

#include <glib.h>
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>


namespace {

constexpr float kEpsilon = std::numeric_limits<float>::epsilon();
constexpr float kMaxGateDelay = 0.0009F;  // s: the gate lies within 900 us of the pulse edge
constexpr float kMicro = 1.0e6F;
constexpr float kNewStateWidth = 0.0001F;
constexpr float kUnusedStateEnd = 0.001F;
constexpr float kMinDbm = -60.0F;
constexpr std::uint32_t kTopRange = 10;

PulseConfigRanges ranges;

bool within(float value, float low, float high) { return !less(value, low) && !greater(value, high); }

std::string format(const char* pattern, double a, double b) {
  char text[160];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"  // patterns are the constant messages below
  std::snprintf(text, sizeof text, pattern, a, b);
#pragma GCC diagnostic pop
  return text;
}

std::string formatState(const char* pattern, int state, double a = 0.0, double b = 0.0) {
  char text[160];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"  // patterns are the constant messages below
#pragma GCC diagnostic ignored "-Wformat-extra-args"  // not every state message prints the limits
  std::snprintf(text, sizeof text, pattern, state, a, b);
#pragma GCC diagnostic pop
  return text;
}

void fail(PulseValidation& v, std::string message, PulseFocus focus) {
  v.valid = false;
  v.messages.push_back(std::move(message));
  v.focus = focus;
}

bool checkFrequency(PulseValidation& v, const SENSOR_CONFIGS& c, const SENSOR_IDENTITY& limits) {
  if (c.bAutoFrequency) return true;
  if (within(c.freqVal, limits.sensorFrequency.min, limits.sensorFrequency.max)) return true;
  fail(v, format("The frequency value must be between %f and %f Hz.", limits.sensorFrequency.min,
                 limits.sensorFrequency.max),
       {pulseFieldFrequency, 0});
  return false;
}

bool checkGate(PulseValidation& v, const SENSOR_CONFIGS& c) {
  if (!within(c.gateBegin, 0.0F, kMaxGateDelay)) {
    fail(v, format("The gate begin delay value must be between %f and %f us.", 0.0, kMaxGateDelay * kMicro),
         {pulseFieldGateBegin, 0});
    return false;
  }
  if (!within(c.gateEnd, -kMaxGateDelay, 0.0F)) {
    fail(v, format("The gate end delay value must be between %f and %f us.", -kMaxGateDelay * kMicro, 0.0),
         {pulseFieldGateEnd, 0});
    return false;
  }
  return true;
}

// The state windows of the triggered-gates model; the aggregate width is
// checked after the loop whatever it found.
void checkStates(PulseValidation& v, SENSOR_CONFIGS& c, const SENSOR_IDENTITY& limits, float typedPeriod) {
  const float p = limits.sensorPulsePeriod.max;
  float lowestBegin = p;
  float highestEnd = -p;
  const int count = std::min<int>(c.numStates, kPulseStateCount);
  for (int i = 0; i < count; ++i) {
    const PULSE_STATE_INTVL& s = c.pulseStates[static_cast<std::size_t>(i)];
    lowestBegin = std::min(lowestBegin, s.begin);
    highestEnd = std::max(highestEnd, s.end);
    const PulseFocus begin{pulseFieldStateBegin, i};
    if (!within(s.begin, -p, p)) {
      fail(v, formatState("The begin value of state %d must\nbe between %f and %f s.", i + 1, -p, p), begin);
      break;
    }
    if (!less(s.begin, s.end)) {
      fail(v, formatState("The ending value of state %d must\nbe greater than the beginning value.", i + 1), begin);
      break;
    }
    if (greater(s.end - s.begin, p)) {
      fail(v, formatState("The state width of state %d may not\nbe greater than %f s.", i + 1, p), begin);
      break;
    }
  }
  for (int i = count; i < kPulseStateCount; ++i) {
    c.pulseStates[static_cast<std::size_t>(i)].begin = 0.0F;
    c.pulseStates[static_cast<std::size_t>(i)].end = kUnusedStateEnd;
  }
  if (greater(highestEnd - lowestBegin, typedPeriod)) {
    fail(v, format("The aggregate width of all the states must\nbe less than %f s.", typedPeriod, 0.0),
         {pulseFieldStateBegin, 0});
  }
}

std::string trimmed(const char* text) {
  std::string_view view(text);
  while (!view.empty() && view.front() == ' ') view.remove_prefix(1);
  return std::string(view);
}

PulseEntryText inRow(float value, const PulseRangeRow& row) {
  char text[48];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"  // formats come from the constant range tables
  std::snprintf(text, sizeof text, row.format, static_cast<double>(value * row.multiplier));
#pragma GCC diagnostic pop
  return {trimmed(text), row.label};
}

bool sameText(const char* a, const char* b, std::size_t n) {
  return std::strlen(a) == std::strlen(b) && std::strncmp(a, b, n) == 0;
}

}  // namespace

bool equal(float a, float b) {
  const float scale = std::max(std::fabs(a), std::fabs(b));
  return std::fabs(a - b) <= std::max(kEpsilon, scale * kEpsilon);
}
bool less(float a, float b) { return a < b && !equal(a, b); }
bool greater(float a, float b) { return a > b && !equal(a, b); }

std::string PulseValidation::text() const {
  std::string out;
  for (const std::string& m : messages) {
    if (!out.empty()) out += "\n\n";
    out += m;
  }
  return out;
}

double PulseUnits_frequencyFactor(std::string_view units) {
  const std::string u(units.substr(0, 3));
  if (u.size() == 3 && strncasecmp(u.c_str(), "KHz", 3) == 0) return 1000.0;
  if (u.size() == 3 && strncasecmp(u.c_str(), "MHz", 3) == 0) return 1.0e6;
  return 1.0;
}

double PulseUnits_timeFactor(std::string_view units) {
  const std::string u(units.substr(0, 2));
  if (u == "ms") return 0.001;
  if (u == "us") return 1.0e-6;
  return 1.0;
}

double PulseUnits_powerFactor(std::string_view units) {
  if (units == "mW") return 0.001;
  if (units == "kW") return 1000.0;
  return 1.0;
}

const char* PulseUnits_nextFrequency(std::string_view units) {
  if (units == "Hz") return "KHz";
  if (units == "KHz") return "MHz";
  return "Hz";
}

const char* PulseUnits_nextTime(std::string_view units) {
  if (units == "us") return "ms";
  if (units == "ms") return "s";
  return "us";
}

std::uint32_t PulseUnits_nextLevelIndex(std::uint32_t index) {
  if (index <= 3) return 4;
  if (index <= 7) return 8;
  if (index <= kTopRange) return kLevelIndexDbm;
  return 0;
}

const char* PulseUnits_levelLabel(std::uint32_t index) {
  if (index == kLevelIndexDbm) return "dBm";
  if (index <= 3) return "mW";
  return index <= 7 ? "W" : "kW";
}

float cvtDBm2Watt(float dBm) { return static_cast<float>(std::pow(10.0, static_cast<double>(dBm) / 10.0) / 1000.0); }
float cvtWatt2dBm(float watts) { return static_cast<float>(10.0 * std::log10(static_cast<double>(watts) * 1000.0)); }

std::optional<double> PulseConfig_parseNumber(std::string_view text) {
  const std::string copy(text);
  const char* start = copy.c_str();
  while (*start == ' ') ++start;
  char* end = nullptr;
  const double value = g_ascii_strtod(start, &end);
  if (end == start || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string PulseConfig_missingNumberMessage(PulseFocus field) {
  static constexpr const char* kNames[] = {"",        "frequency",        "pulse period",   "trigger level",
                                           "trigger delay", "gate begin delay", "gate end delay"};
  std::string name;
  if (field.field == pulseFieldStateBegin || field.field == pulseFieldStateEnd) {
    name = std::string(field.field == pulseFieldStateBegin ? "begin" : "end") + " value of state " +
           std::to_string(field.state + 1);
  } else {
    name = kNames[std::clamp<int>(field.field, 0, pulseFieldGateEnd)];
  }
  return "The " + name + " field holds no number.\nPlease enter a value.";
}

void PulseConfig_setRanges(const PulseConfigRanges& r) { ranges = r; }

std::uint32_t PulseConfig_levelRange(float watts, std::uint32_t current) {
  if (ranges.findPowerRange == nullptr) return 0;
  return ranges.findPowerRange(watts, static_cast<std::uint8_t>(std::min(current, kTopRange)));
}

PulseEntryText PulseConfig_frequencyText(float hertz) {
  return inRow(hertz, ranges.frequencyRow != nullptr ? ranges.frequencyRow(hertz) : PulseRangeRow{"%g", "Hz", 1.0F});
}

PulseEntryText PulseConfig_timeText(float seconds) {
  return inRow(seconds, ranges.timeRow != nullptr ? ranges.timeRow(seconds) : PulseRangeRow{"%g", "s", 1.0F});
}

PulseEntryText PulseConfig_levelText(float watts, std::uint32_t index) {
  if (index == kLevelIndexDbm) {
    if (watts == 0.0F) return {"-60.00", "dBm"};
    char text[32];
    std::snprintf(text, sizeof text, "%6.2f", static_cast<double>(std::max(cvtWatt2dBm(watts), kMinDbm)));
    return {trimmed(text), "dBm"};
  }
  const std::uint32_t row = std::min(index, kTopRange);
  return inRow(watts, ranges.powerRow != nullptr ? ranges.powerRow(row) : PulseRangeRow{"%g", "W", 1.0F});
}

PulseValidation validatePulseConfigurationP803(const SENSOR_CONFIGS& config, const SENSOR_IDENTITY& limits) {
  PulseValidation v;
  if (!checkFrequency(v, config, limits)) return v;
  checkGate(v, config);
  return v;
}

PulseValidation validatePulseConfigurationP804(SENSOR_CONFIGS& config, const SENSOR_IDENTITY& limits,
                                               float typedPeriod) {
  PulseValidation v;
  if (!checkFrequency(v, config, limits)) return v;
  if (!config.bAutoPeriod && !within(config.prdVal, limits.sensorPulsePeriod.min, limits.sensorPulsePeriod.max)) {
    fail(v, format("The pulse period value must be between %f and %f s.", limits.sensorPulsePeriod.min,
                   limits.sensorPulsePeriod.max),
         {pulseFieldPeriod, 0});
    return v;
  }
  if (!config.bAutoTriggerLevel && !within(config.trigLevelVal, 0.0F, limits.sensorPower.max)) {
    fail(v, format("The trigger level value must be between %f and %f W.", 0.0, limits.sensorPower.max),
         {pulseFieldLevel, 0});
    return v;
  }
  if (!within(config.trigDelayVal, limits.sensorTriggerDelay.min, limits.sensorTriggerDelay.max)) {
    fail(v, format("The trigger delay value must be between %f and %f s.", limits.sensorTriggerDelay.min,
                   limits.sensorTriggerDelay.max),
         {pulseFieldDelay, 0});
    return v;
  }
  if (!config.bModelIsTriggeredGates) {
    checkGate(v, config);
    return v;
  }
  checkStates(v, config, limits, typedPeriod);
  return v;
}

bool PulseConfig_addState(SENSOR_CONFIGS& config) {
  if (config.numStates >= kPulseStateCount) return false;
  const std::size_t i = config.numStates;
  const float begin = i == 0 ? 0.0F : config.pulseStates[i - 1].end;
  config.pulseStates[i] = {true, begin, begin + kNewStateWidth};
  ++config.numStates;
  return true;
}

bool PulseConfig_deleteState(SENSOR_CONFIGS& config, int state) {
  const int count = std::min<int>(config.numStates, kPulseStateCount);
  if (state < 0 || state >= count) return false;
  for (int i = state; i + 1 < count; ++i) {
    config.pulseStates[static_cast<std::size_t>(i)] = config.pulseStates[static_cast<std::size_t>(i + 1)];
  }
  config.numStates = static_cast<std::uint8_t>(count - 1);
  for (int i = count - 1; i < kPulseStateCount; ++i) config.pulseStates[static_cast<std::size_t>(i)] = {};
  return true;
}

void PulseConfig_disableUnusedStates(SENSOR_CONFIGS& config) {
  for (std::size_t i = std::min<std::size_t>(config.numStates, kPulseStateCount); i < config.pulseStates.size(); ++i) {
    config.pulseStates[i].bEnabled = false;
  }
}

SENSOR_CONFIGS initializePulseConfig() {
  SENSOR_CONFIGS c;
  c.bAutoFrequency = true;
  c.freqVal = 1.0e6F;
  c.bAutoPeriod = true;
  c.prdVal = 0.1F;
  c.bAutoTriggerLevel = true;
  c.trigLevelVal = 0.0F;
  c.trigDelayVal = 0.0F;
  c.trigSlope = 1;
  c.bModelIsTriggeredGates = false;
  c.gateBegin = 0.0F;
  c.gateEnd = 0.0F;
  c.numStates = 0;
  c.pulseStates = {};
  return c;
}

std::string PulseConfig_rejectionText(const std::vector<std::string>& errors) {
  std::string text =
      "Parameter Errors occured in the sensor.\n\rSee the manual for valid parmaeter ranges:\n\r";
  if (text.size() > kRejectionTextLimit) text.resize(kRejectionTextLimit);
  for (const std::string& e : errors) {
    const std::string line = "  " + e + "\n\r";
    if (text.size() + line.size() <= kRejectionTextLimit) text += line;
  }
  return text;
}

std::string PulseConfig_rejectionText(const USBTMC_PARAM_ERRORS& errors) {
  std::vector<std::string> list;
  const int count = std::clamp(errors.count, 0, kMaxParamErrors);
  for (int i = 0; i < count; ++i) {
    const auto& e = errors.errors[static_cast<std::size_t>(i)];
    list.emplace_back(e.data(), strnlen(e.data(), e.size()));
  }
  return PulseConfig_rejectionText(list);
}

PulseSensorStamp PulseConfig_stampOf(int port, const SENSOR_INFORMATION_DATA& info) {
  PulseSensorStamp stamp;
  stamp.port = port;
  stamp.model = info.sensorIdentity.sensorModel;
  stamp.serialNumber = info.serialNumber;
  stamp.model.back() = '\0';
  stamp.serialNumber.back() = '\0';
  return stamp;
}

bool PulseConfig_sameSensor(const PulseSensorStamp& stamp, int port, SensorStatus status,
                            const SENSOR_INFORMATION_DATA& info) {
  if (port != stamp.port || status != isReady) return false;
  const PulseSensorStamp now = PulseConfig_stampOf(port, info);
  return sameText(now.model.data(), stamp.model.data(), now.model.size()) &&
         sameText(now.serialNumber.data(), stamp.serialNumber.data(), now.serialNumber.size());
}
