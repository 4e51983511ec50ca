#include "sensor_limits.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "log_manager.h"

namespace {

struct LimitItem {
  const char* item;
  const char* element;
  float defaultMin;  // NaN: no default
  float defaultMax;
  PULSE_RANGES SENSOR_IDENTITY::*range;
};

const LimitItem kItems[] = {
    {"Measurement.ForwardAveragePower", "ScalarMeasurement", 0.0F, 100000.0F, &SENSOR_IDENTITY::sensorPower},
    {"Measurement.PRF", "ScalarMeasurement", kSensorNaN, kSensorNaN, &SENSOR_IDENTITY::sensorPrf},
    {"Configuration.CorrectionFrequency", "ScalarConfiguration", 360000.0F, 105000000.0F,
     &SENSOR_IDENTITY::sensorFrequency},
    {"Configuration.MaximumPulsePeriod", "ScalarConfiguration", 0.000006F, 1.0F, &SENSOR_IDENTITY::sensorPulsePeriod},
    {"Configuration.TriggerDelay", "ScalarConfiguration", -1.0F, 1.0F, &SENSOR_IDENTITY::sensorTriggerDelay},
};

// The decimal number between the tags, blanks around it allowed; the same
// under every locale.
float tagged(std::string_view section, std::string_view open, std::string_view close) {
  const std::size_t start = section.find(open);
  if (start == std::string_view::npos) return kSensorNaN;
  std::string_view rest = section.substr(start + open.size());
  const std::size_t end = rest.find(close);
  if (end == std::string_view::npos) return kSensorNaN;
  std::string_view number = rest.substr(0, end);
  while (!number.empty() && std::isspace(static_cast<unsigned char>(number.front()))) number.remove_prefix(1);
  while (!number.empty() && std::isspace(static_cast<unsigned char>(number.back()))) number.remove_suffix(1);
  if (!number.empty() && number.front() == '+') number.remove_prefix(1);
  double value = 0.0;
  const auto [last, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (ec != std::errc() || last != number.data() + number.size()) return kSensorNaN;
  // A limit a float cannot hold is no limit at all: the item's default applies.
  if (!(std::fabs(value) <= static_cast<double>(std::numeric_limits<float>::max()))) return kSensorNaN;
  return static_cast<float>(value);
}

}  // namespace

void getMaxMin(const char* text, const char* element, const char* item, float& max, float& min) {
  max = kSensorNaN;
  min = kSensorNaN;
  if (text == nullptr || element == nullptr || item == nullptr) return;
  const std::string_view doc(text);
  const std::size_t at = doc.find(item);
  if (at == std::string_view::npos) return;
  const std::string closing = std::string("</") + element + ">";
  const std::size_t end = doc.find(closing, at);
  if (end == std::string_view::npos) return;
  // The whole section counts, however long: cutting it could drop a limit.
  const std::string_view section = doc.substr(at, end - at);
  min = tagged(section, "<Minimum>", "</Minimum>");
  max = tagged(section, "<Maximum>", "</Maximum>");
}

void SensorLimits_fromDescription(const char* text, SENSOR_IDENTITY& identity) {
  for (const LimitItem& limit : kItems) {
    float max = kSensorNaN;
    float min = kSensorNaN;
    getMaxMin(text, limit.element, limit.item, max, min);
    if (std::isnan(min)) min = limit.defaultMin;
    if (std::isnan(max)) max = limit.defaultMax;
    identity.*limit.range = PULSE_RANGES{min, max};
  }
  const float period = identity.sensorPulsePeriod.max;
  for (PULSE_DELAY_RANGES& state : identity.pulseStates) {
    state.begin = PULSE_RANGES{-period, period};
    state.end = PULSE_RANGES{-period, period};
  }
}

int getMinMaxParameters(int fd, UsbRxBuffer buffer, SENSOR_IDENTITY& identity) {
  std::vector<char> file(PNP_FILE_BUFFER_SIZE, '\0');
  const int rc = openPnPFile(fd, buffer, file);
  if (rc < 0) return rc;
  SensorLimits_fromDescription(file.data(), identity);
  logManager_printToLog(SensorCommunications, "getMinMaxParameters: power %g..%g W, period up to %g s\n",
                        static_cast<double>(identity.sensorPower.min), static_cast<double>(identity.sensorPower.max),
                        static_cast<double>(identity.sensorPulsePeriod.max));
  return 0;
}
