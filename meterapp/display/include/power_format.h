// What a power display row shows, worked out without any widget: the number
// text, the units, over-range and the range the row moves to; the match
// figures; the sensor label; the no-connection texts. Pure functions.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "configuration.h"
#include "sensor_data.h"

enum rfPowerType { rfPower_W = 0, rfPower_dBm = 1 };

// 10 log10(P / 1 mW), clamped to -60 ... +60 dBm; zero, negative and NaN
// powers give -60 (a reflected reading of 0 W is common).
float convertTodBm(float watts);

// The limit of a row: the sensor's rated maximum x 1.2; in W mode at most the
// full scale of the range (the auto-range full scale when automatic).
float PowerFormat_maxPowerForRange(float sensorMaxPower, rfPowerScale scale, rfPowerType powerType);
// power >= limit; false for NaN.
bool PowerFormat_isOverRange(float sensorMaxPower, float power, rfPowerScale scale, rfPowerType powerType);

struct PowerRowView {
  std::array<char, 32> text{};
  std::array<char, 16> units{};
  bool overRange = false;   // title and value red
  bool showScale = false;   // range buttons visible
  rfPowerScale scale{};     // the row's range after this reading
  bool scaleChanged = false;  // the automatic range moved: store it
};
// One power row for a reading P (watts, not NaN).
PowerRowView PowerFormat_row(float power, rfPowerScale scale, rfPowerType powerType, float sensorMaxPower);

// The reflection coefficient from forward and reflected power: both clamped
// at 0 and the result kept in [0, 1]; 1 when R >= F (including both 0).
float PowerFormat_reflectionCoefficient(float forward, float reflected);

struct MatchView {
  std::array<char, 32> text{};
  const char* title = "";
  const char* units = "";
};
MatchView PowerFormat_match(float forward, float reflected, rfMatchType_t type);

// The sensor button text for a channel's status: "model: serial" when ready
// (model = family name "C60x"/"P80x" unless the sensor reported one),
// "Connecting..." or "Critical Sensor Error...". At most length - 1
// characters; a short length never underflows.
std::string PowerFormat_sensorLabel(SensorStatus status, bool serialChannel, std::string_view model,
                                    std::string_view serial, int length);

struct NoConnectionTexts {
  std::string title;
  std::string description;  // at most 191 characters
};
NoConnectionTexts NoConnection_noConnectTexts();
NoConnectionTexts NoConnection_connectingTexts(std::string_view portName);
NoConnectionTexts NoConnection_sensorErrorTexts(std::string_view portName);
