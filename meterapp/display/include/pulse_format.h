// What the pulse view shows, worked out without any widget: the timing and
// frequency texts, the duty cycle, the view's mode and the gated or state
// power rows (mean, maximum, minimum in one unit). Pure functions.
#pragma once

#include <array>

#include "configuration.h"
#include "layouts.h"
#include "power_format.h"
#include "sensor_data.h"

struct PulseValueView {
  std::array<char, 32> text{};
  std::array<char, 16> units{};
};

// A time in seconds in the time range table, row found afresh from row 0
// (no hysteresis: the timing rows keep no range). NaN or infinite: "---".
PulseValueView PulseFormat_time(float seconds);
// Hertz in the frequency range table, row found from 0. A frequency not
// measured yet (NaN) or infinite shows "---" without units.
PulseValueView PulseFormat_frequency(float hertz);
// Percent with two decimals, units "%"; NaN: "---".
PulseValueView PulseFormat_dutyCycle(float percent);

// Triggered gates (states page) only when the sensor supports them and is
// configured for them; otherwise the pulse-gate model (gated page).
bool PulseFormat_usesStates(const SENSOR_CONFIGS& configs);
pwrDisplayMode PulseFormat_mode(const SENSOR_CONFIGS& configs, int activeSensors);
bool PulseFormat_isSimpleMode(pwrDisplayMode mode);

// Mean, maximum and minimum of a gate or state, all in the row's unit.
// Only the mean moves an automatic range; each value is tested for over
// range on its own.
struct PulsePowerGroupView {
  std::array<std::array<char, 32>, 3> text{};  // mean, max, min
  std::array<bool, 3> overRange{};
  std::array<char, 16> units{};
  bool showScale = false;
  rfPowerScale scale{};
  bool scaleChanged = false;
  bool anyOverRange() const { return overRange[0] || overRange[1] || overRange[2]; }
};
PulsePowerGroupView PulseFormat_powerGroup(float mean, float max, float min, rfPowerScale scale,
                                           rfPowerType powerType, float sensorMaxPower);
