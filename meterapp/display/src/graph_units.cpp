// The graph's time axis, unit conversions, label formats and automatic scale.
// Pure functions: no widgets, no locks.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "graph.h"
#include "graph_internal.h"

const graphScaleX_t scalesX[kGraphTimeRows] = {
    {60, 1, "seconds"},    {120, 1, "seconds"},   {240, 1, "seconds"},   {480, 1, "seconds"},
    {900, 60, "minutes"},  {1800, 60, "minutes"}, {3600, 60, "minutes"}, {7200, 60, "minutes"},
    {14400, 60, "minutes"}, {28800, 3600, " hours "}, {57600, 3600, " hours "}, {86400, 3600, " hours "},
};

namespace {

// The graph columns of the power display's range rows.
constexpr GraphRangeFormat kRangeRows[] = {
    {"mW", 0, 1000.0F}, {"mW", 0, 1000.0F}, {"mW", 0, 1000.0F}, {"mW", 0, 1000.0F},
    {"W", 3, 1.0F},     {"W", 3, 1.0F},     {"W", 2, 1.0F},     {"W", 1, 1.0F},
    {"kW", 4, 0.001F},  {"kW", 3, 0.001F},  {"kW", 2, 0.001F},
};

bool isLabel(const char* label, const char* wanted) { return label != nullptr && std::strcmp(label, wanted) == 0; }

}  // namespace

int graphTimeRow_forSampleCount(std::uint32_t samples) {
  for (int i = 0; i < kGraphTimeRows; ++i) {
    const std::uint32_t limit = scalesX[i].maxSeconds + scalesX[i].maxSeconds / 10 - 1;
    if (samples < limit) return i;
  }
  return kGraphTimeRows - 1;
}

GraphRangeFormat graphRange_format(std::uint32_t row) { return kRangeRows[std::min<std::uint32_t>(row, 10)]; }

double getGraphPowerValueInCorrectUnits(double value, GraphScaleUnit_t storedUnit, bool isdBm) {
  if (!isdBm && storedUnit == graphScale_dBm) return std::pow(10.0, value / 10.0);
  if (isdBm && storedUnit == graphScale_mW) return value > 0.000001 ? 10.0 * std::log10(value) : -60.0;
  return value;
}

double getPowerInCorrectUnits(double watts, bool isdBm) {
  if (!isdBm) return watts;
  return watts > 0.000000001 ? 10.0 * std::log10(watts) + 30.0 : -60.0;
}

void getUnitForGraphScale(char* buffer, std::size_t size, bool isdBm, std::uint32_t scaleRow) {
  if (isdBm) {
    std::snprintf(buffer, size, "Power (dBm)");
  } else {
    std::snprintf(buffer, size, "Power (%s)", graphRange_format(scaleRow).displayLabel);
  }
}

void graphFormat_trimmed(char* buffer, std::size_t size, double value, std::uint32_t precision) {
  precision = std::min<std::uint32_t>(precision, 6);
  if (!std::isfinite(value)) {
    std::snprintf(buffer, size, "0");
    return;
  }
  long long unit = 1;
  for (std::uint32_t i = 0; i < precision; ++i) unit *= 10;
  const double magnitude = std::min(std::fabs(value), 1e12);
  const long long scaled = std::llround(magnitude * static_cast<double>(unit));
  const long long whole = scaled / unit;
  long long fraction = scaled % unit;
  const char* sign = (value < 0 && scaled != 0) ? "-" : "";
  if (fraction == 0) {
    std::snprintf(buffer, size, "%s%lld", sign, whole);
    return;
  }
  int digits = static_cast<int>(precision);
  while (fraction % 10 == 0) {
    fraction /= 10;
    --digits;
  }
  std::snprintf(buffer, size, "%s%lld.%0*lld", sign, whole, digits, fraction);
}

void formatValueForLabel(char* buffer, std::size_t size, double value_mW, const char* unitLabel,
                         std::uint32_t precision) {
  const double divisor = isLabel(unitLabel, "W") ? 1e3 : isLabel(unitLabel, "kW") ? 1e6 : 1.0;
  graphFormat_trimmed(buffer, size, value_mW / divisor, precision);
}

void formatPowerForDisplay(double value, char* buffer, std::size_t size, bool isdBm, std::uint32_t scaleRow) {
  if (isdBm) {
    std::snprintf(buffer, size, "%.2f", value);
    // The same text under every locale.
    if (char* comma = std::strchr(buffer, ','); comma != nullptr) *comma = '.';
    return;
  }
  const GraphRangeFormat row = graphRange_format(scaleRow);
  formatValueForLabel(buffer, size, value, row.displayLabel, row.precisionForGraph);
}

void rightJustifyString(char* text) {
  const std::size_t length = std::strlen(text);
  if (length < 1 || length > 4) return;
  const std::size_t pad = 5 - length;
  std::memmove(text + pad, text, length + 1);
  std::memset(text, ' ', pad);
}

double getSettingFromScale(double value, const char* unitLabel) {
  if (isLabel(unitLabel, "mW")) return value;
  if (isLabel(unitLabel, "W")) return value * 1000.0;
  return value * 1000000.0;
}

double getScaleFromSetting(double value_mW, const char* unitLabel) {
  if (isLabel(unitLabel, "W")) return value_mW / 1000.0;
  if (isLabel(unitLabel, "kW")) return value_mW / 1000000.0;
  return value_mW;
}

GraphAutoRange graphAutoScale_compute(double lowest, double highest, bool isdBm) {
  const double step = isdBm ? 1.0 : 5.0;
  const double floorValue = isdBm ? -60.0 : 0.0;
  if (!std::isfinite(lowest) || !std::isfinite(highest)) return {floorValue, floorValue + step};
  if (lowest > highest) std::swap(lowest, highest);
  const double margin = (highest - lowest) * 0.025;
  const double lo = lowest - margin;
  const double hi = highest + margin;
  double minimum = step * std::floor(lo / step);
  double maximum = step * std::ceil(hi / step);
  if (maximum - minimum < step) {
    // A steady reading on a step boundary: the rounding alone gives no span,
    // so centre the data in one step.
    minimum = lo - step / 2;
    maximum = hi + step / 2;
  } else if (std::fabs(hi - minimum) < step / 10) {
    minimum -= step / 2;
    maximum -= step / 2;
  } else if (std::fabs(maximum - lo) < step / 10) {
    minimum += step / 2;
    maximum += step / 2;
  }
  if (minimum > maximum) std::swap(minimum, maximum);
  if (minimum < floorValue) minimum = floorValue;
  if (maximum < floorValue) maximum = floorValue + step;
  if (maximum - minimum < step / 10) maximum = minimum + step;
  return {minimum, maximum};
}

GraphSettings_t graphAutoScale_settings(const GraphSettings_t& current, double lowest, double highest, bool isdBm) {
  const GraphAutoRange range = graphAutoScale_compute(lowest, highest, isdBm);
  GraphSettings_t result = current;
  // The limit lines are kept, moved into the unit the bounds are now stored in.
  result.maxLimitLine = getGraphPowerValueInCorrectUnits(current.maxLimitLine, current.unit, isdBm);
  result.minLimitLine = getGraphPowerValueInCorrectUnits(current.minLimitLine, current.unit, isdBm);
  if (isdBm) {
    result.unit = graphScale_dBm;
    result.minPower = range.minimum;
    result.maxPower = range.maximum;
  } else {
    result.unit = graphScale_mW;
    result.minPower = range.minimum * 1000.0;
    result.maxPower = range.maximum * 1000.0;
  }
  return result;
}

GraphSettings_t graphSettings_sanitize(const GraphSettings_t& settings) {
  GraphSettings_t result = settings;
  if (result.unit != graphScale_mW && result.unit != graphScale_dBm) result.unit = graphScale_mW;
  if (result.displayMode != graphModeRaw && result.displayMode != graphModeAverage) result.displayMode = graphModeRaw;
  validateGraphSettings(result);  // also takes a NaN bound as the limit on its side
  return result;
}
