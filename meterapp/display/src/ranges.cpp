#include "ranges.h"

#include <algorithm>
#include <cmath>

#include "log_manager.h"

// clang-format off
const std::array<DISPLAY_RANGE_FORMAT, kRangeCount> rangeFormats = {{
    {"% 7.4f", "%9.0f", "mW", 0, 1000.0F, -1.0F, 0.0018F},
    {"% 7.3f", "%9.0f", "mW", 0, 1000.0F, 0.002F, 0.018F},
    {"% 7.2f", "%9.0f", "mW", 0, 1000.0F, 0.02F, 0.18F},
    {"% 7.1f", "%9.0f", "mW", 0, 1000.0F, 0.2F, 0.8F},
    {"% 7.4f", "%8.3f", "W", 3, 1.0F, 1.2F, 1.8F},
    {"% 7.3f", "%8.2f", "W", 3, 1.0F, 2.0F, 18.0F},
    {"% 7.2f", "%8.1f", "W", 2, 1.0F, 20.0F, 180.0F},
    {"% 7.1f", "%8.0f", "W", 1, 1.0F, 200.0F, 800.0F},
    {"% 7.4f", "%8.3f", "kW", 4, 0.001F, 1200.0F, 1800.0F},
    {"% 7.3f", "%8.2f", "kW", 3, 0.001F, 2000.0F, 18000.0F},
    {"% 7.2f", "%8.1f", "kW", 2, 0.001F, 20000.0F, -1.0F},
}};

const std::array<DISPLAY_RANGE_FORMAT, kRangeCount> timeRangeFormats = {{
    {"% 7.4f", "", "us", 0, 1000000.0F, -1.0F, 0.0000018F},
    {"% 7.3f", "", "us", 0, 1000000.0F, 0.000002F, 0.000018F},
    {"% 7.2f", "", "us", 0, 1000000.0F, 0.00002F, 0.00018F},
    {"% 7.1f", "", "us", 0, 1000000.0F, 0.0002F, 0.0008F},
    {"% 7.4f", "", "ms", 0, 1000.0F, 0.0012F, 0.0018F},
    {"% 7.3f", "", "ms", 0, 1000.0F, 0.002F, 0.018F},
    {"% 7.2f", "", "ms", 0, 1000.0F, 0.02F, 0.18F},
    {"% 7.1f", "", "ms", 0, 1000.0F, 0.2F, 0.8F},
    {"% 7.4f", "", "s", 0, 1.0F, 1.2F, 1.8F},
    {"% 7.3f", "", "s", 0, 1.0F, 2.0F, 18.0F},
    {"% 7.2f", "", "s", 0, 1.0F, 20.0F, -1.0F},
}};

const std::array<DISPLAY_RANGE_FORMAT, kRangeCount> freqRangeFormats = {{
    {"% 7.4f", "", "Hz", 0, 1.0F, -1.0F, 1.8F},
    {"% 7.3f", "", "Hz", 0, 1.0F, 2.0F, 18.0F},
    {"% 7.2f", "", "Hz", 0, 1.0F, 20.0F, 180.0F},
    {"% 7.1f", "", "Hz", 0, 1.0F, 200.0F, 800.0F},
    {"% 7.4f", "", "KHz", 0, 0.001F, 1200.0F, 1800.0F},
    {"% 7.3f", "", "KHz", 0, 0.001F, 2000.0F, 18000.0F},
    {"% 7.2f", "", "KHz", 0, 0.001F, 20000.0F, 180000.0F},
    {"% 7.1f", "", "KHz", 0, 0.001F, 200000.0F, 800000.0F},
    {"% 7.4f", "", "MHz", 0, 0.000001F, 1200000.0F, 1800000.0F},
    {"% 7.3f", "", "MHz", 0, 0.000001F, 2000000.0F, 18000000.0F},
    {"% 7.2f", "", "MHz", 0, 0.000001F, 20000000.0F, -1.0F},
}};

const std::array<float, kRangeCount> maxScalePowerList = {
    0.0019999491F, 0.019999489F, 0.19999491F, 1.999949F, 1.999949F, 19.999491F,
    199.9949F,     1999.949F,    1999.949F,   19999.49F, 199994.9F,
};
// clang-format on

namespace {

constexpr float kPowerTolerance = 0.000005F;
constexpr float kTimeTolerance = 0.0000005F;

// The hysteresis search shared by the power, time and frequency tables: a
// lower row i is taken while v <= D[i], a higher row while v > U[i] - eps;
// the upward pass wins when it moves.
std::uint8_t findInTable(const std::array<DISPLAY_RANGE_FORMAT, kRangeCount>& table, float value,
                         std::uint8_t currentRange, float tolerance, const char* name) {
  const int current = std::min<int>(currentRange, kTopRange);
  if (!std::isfinite(value)) {
    logManager_printToLog(NoCategory, "%s: value not finite, row %d kept\n", name, current);
    return static_cast<std::uint8_t>(current);
  }
  int result = current;
  for (int i = current - 1; i >= 0; --i) {
    if (table[static_cast<std::size_t>(i)].downThreshold < value) break;
    result = i;
  }
  for (int i = current + 1; i <= kTopRange; ++i) {
    if (value - table[static_cast<std::size_t>(i)].upThreshold <= -tolerance) break;
    result = i;
  }
  logManager_printToLog(NoCategory, "%s(%g, %d) = %d\n", name, static_cast<double>(value), current, result);
  return static_cast<std::uint8_t>(result);
}

}  // namespace

std::uint8_t findNewRange(float power, std::uint8_t currentRange) {
  return findInTable(rangeFormats, power, currentRange, kPowerTolerance, "findNewRange");
}

std::uint8_t findTimeRange(float time, std::uint8_t currentRange) {
  return findInTable(timeRangeFormats, std::fabs(time), currentRange, kTimeTolerance, "findTimeRange");
}

std::uint8_t findFreqRange(float frequency, std::uint8_t currentRange) {
  return findInTable(freqRangeFormats, frequency, currentRange, kPowerTolerance, "findFreqRange");
}
