#include "pulse_format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "ranges.h"
#include "text_field.h"

namespace {

constexpr const char* kNotMeasured = "---";

PulseValueView inTable(float value, const std::array<DISPLAY_RANGE_FORMAT, kRangeCount>& table, std::uint8_t row) {
  PulseValueView view;
  const DISPLAY_RANGE_FORMAT& range = table[std::min<std::uint8_t>(row, kTopRange)];
  DisplayRange_print(view.text, range.formatString, static_cast<double>(value * range.multiplier));
  TextField_copy(view.units, range.displayLabel);
  return view;
}

PulseValueView notMeasured() {
  PulseValueView view;
  TextField_copy(view.text, kNotMeasured);
  return view;
}

}  // namespace

PulseValueView PulseFormat_time(float seconds) {
  if (!std::isfinite(seconds)) return notMeasured();
  return inTable(seconds, timeRangeFormats, findTimeRange(seconds, 0));
}

PulseValueView PulseFormat_frequency(float hertz) {
  if (!std::isfinite(hertz)) return notMeasured();
  return inTable(hertz, freqRangeFormats, findFreqRange(hertz, 0));
}

PulseValueView PulseFormat_dutyCycle(float percent) {
  if (!std::isfinite(percent)) return notMeasured();
  PulseValueView view;
  std::snprintf(view.text.data(), view.text.size(), "%.2f", static_cast<double>(percent));
  TextField_copy(view.units, "%");
  return view;
}

bool PulseFormat_usesStates(const SENSOR_CONFIGS& configs) {
  return configs.bSupportsTriggeredGates && configs.bModelIsTriggeredGates;
}

pwrDisplayMode PulseFormat_mode(const SENSOR_CONFIGS& configs, int activeSensors) {
  if (!PulseFormat_usesStates(configs)) return activeSensors > 1 ? modeDualSimple : modeSingleSimple;
  return activeSensors < 2 ? modeSingleMulti : modeDualMulti;
}

bool PulseFormat_isSimpleMode(pwrDisplayMode mode) { return mode == modeSingleSimple || mode == modeDualSimple; }

PulsePowerGroupView PulseFormat_powerGroup(float mean, float max, float min, rfPowerScale scale,
                                           rfPowerType powerType, float sensorMaxPower) {
  PulsePowerGroupView view;
  const PowerRowView meanRow = PowerFormat_row(mean, scale, powerType, sensorMaxPower);
  view.text[0] = meanRow.text;
  view.overRange[0] = meanRow.overRange;
  view.units = meanRow.units;
  view.showScale = meanRow.showScale;
  view.scale = meanRow.scale;
  view.scaleChanged = meanRow.scaleChanged;
  // Maximum and minimum follow the mean's range: never re-ranged themselves.
  const rfPowerScale fixed = view.scale;
  const DISPLAY_RANGE_FORMAT& range = rangeFormats[std::min<std::uint32_t>(fixed.scaleIndex, kTopRange)];
  const float values[2] = {max, min};
  for (std::size_t i = 0; i < 2; ++i) {
    auto& text = view.text[i + 1];
    view.overRange[i + 1] = PowerFormat_isOverRange(sensorMaxPower, values[i], fixed, powerType);
    if (view.overRange[i + 1]) {
      std::snprintf(text.data(), text.size(), "%7s", "Range");
    } else if (powerType == rfPower_dBm) {
      std::snprintf(text.data(), text.size(), " % 6.2f", static_cast<double>(convertTodBm(values[i])));
    } else {
      DisplayRange_print(text, range.formatString, static_cast<double>(values[i] * range.multiplier));
    }
  }
  return view;
}
