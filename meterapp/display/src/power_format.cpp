#include "power_format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "ranges.h"
#include "text_field.h"

namespace {

constexpr float kMinDbm = -60.0F;
constexpr float kMaxDbm = 60.0F;
constexpr double kOverRangeMargin = 1.2;
constexpr std::size_t kMaxModelLength = 19;
constexpr std::size_t kMaxSerialLength = 9;
// Room for the longest page text with any port name: the error text alone
// takes 139 characters with "USB2", so a cut at 127 would end every error
// page in the middle of its last sentence.
constexpr std::size_t kMaxDescriptionLength = 191;

std::string cut(std::string text, std::size_t length) {
  if (text.size() > length) text.resize(length);
  return text;
}

std::string_view sensorKind(std::string_view portName) {
  return portName.starts_with("Serial") ? "Precision CW" : "Precision CW & Pulse";
}

}  // namespace

float convertTodBm(float watts) {
  if (!(watts > 0.0F)) return kMinDbm;
  const double dBm = 10.0 * std::log10(static_cast<double>(watts) * 1000.0);
  return static_cast<float>(std::clamp(dBm, static_cast<double>(kMinDbm), static_cast<double>(kMaxDbm)));
}

float PowerFormat_maxPowerForRange(float sensorMaxPower, rfPowerScale scale, rfPowerType powerType) {
  // A port whose rating is not known yet (0 or NaN) would show every reading
  // as over range, or none: take the rating of an unidentified sensor.
  if (!(sensorMaxPower > 0.0F)) sensorMaxPower = kUnidentifiedMaxPower;
  const auto rated = static_cast<float>(static_cast<double>(sensorMaxPower) * kOverRangeMargin);
  if (powerType == rfPower_dBm) return rated;
  const float fullScale =
      scale.autoScale ? kAutoRangeFullScale : maxScalePowerList[std::min<std::uint32_t>(scale.scaleIndex, kTopRange)];
  return std::min(rated, fullScale);
}

bool PowerFormat_isOverRange(float sensorMaxPower, float power, rfPowerScale scale, rfPowerType powerType) {
  return power >= PowerFormat_maxPowerForRange(sensorMaxPower, scale, powerType);
}

PowerRowView PowerFormat_row(float power, rfPowerScale scale, rfPowerType powerType, float sensorMaxPower) {
  PowerRowView view;
  scale.scaleIndex = std::min<std::uint32_t>(scale.scaleIndex, kTopRange);
  view.scale = scale;
  view.overRange = PowerFormat_isOverRange(sensorMaxPower, power, scale, powerType);
  if (view.overRange) {
    std::snprintf(view.text.data(), view.text.size(), "%7s", "Range");
  } else if (powerType == rfPower_dBm) {
    std::snprintf(view.text.data(), view.text.size(), " % 6.2f", static_cast<double>(convertTodBm(power)));
  } else {
    if (scale.autoScale) {
      view.scale.scaleIndex = findNewRange(power, static_cast<std::uint8_t>(scale.scaleIndex));
      view.scaleChanged = view.scale.scaleIndex != scale.scaleIndex;
    }
    const DISPLAY_RANGE_FORMAT& range = rangeFormats[view.scale.scaleIndex];
    DisplayRange_print(view.text, range.formatString, static_cast<double>(power * range.multiplier));
  }
  if (powerType == rfPower_dBm) {
    TextField_copy(view.units, "dBm");
  } else {
    TextField_copy(view.units, rangeFormats[view.scale.scaleIndex].displayLabel);
    view.showScale = true;
  }
  return view;
}

float PowerFormat_reflectionCoefficient(float forward, float reflected) {
  // NaN compares false, so a NaN side ends up at 0 here.
  const float f = forward > 0.0F ? forward : 0.0F;
  const float r = reflected > 0.0F ? reflected : 0.0F;
  if (f <= r) return 1.0F;
  return std::clamp(std::sqrt(r / f), 0.0F, 1.0F);
}

MatchView PowerFormat_match(float forward, float reflected, rfMatchType_t type) {
  MatchView view;
  const float rho = PowerFormat_reflectionCoefficient(forward, reflected);
  switch (type) {
    case rfMatch_RL: {
      const double rl = rho <= 0.00001F ? -99.99 : 20.0 * std::log10(static_cast<double>(rho));
      std::snprintf(view.text.data(), view.text.size(), "% 7.2f", rl);
      view.title = "RL:";
      view.units = "dB";
      break;
    }
    case rfMatch_RflCoeff:
      std::snprintf(view.text.data(), view.text.size(), "% 7.3f", static_cast<double>(rho));
      view.title = "RHO:";
      break;
    case rfMatch_VSWR:
    default: {
      const double vswr = rho >= 0.99F ? 199.0 : (1.0 + rho) / (1.0 - rho);
      std::snprintf(view.text.data(), view.text.size(), "% 7.2f", vswr);
      view.title = "VSWR:";
      break;
    }
  }
  return view;
}

std::string PowerFormat_sensorLabel(SensorStatus status, bool serialChannel, std::string_view model,
                                    std::string_view serial, int length) {
  if (length <= 1) return {};
  const auto room = static_cast<std::size_t>(length - 1);
  if (status == notReady) return cut("Connecting...", room);
  if (status == hasFatalError) return cut("Critical Sensor Error...", room);
  std::string modelText(model.empty() ? (serialChannel ? "C60x" : "P80x") : model.substr(0, kMaxModelLength));
  const std::string serialText(serial.substr(0, kMaxSerialLength));
  // "model: serial" needs two characters besides the texts and one for the end.
  const std::size_t fixed = serialText.size() + 3;
  const std::size_t modelRoom = static_cast<std::size_t>(length) > fixed ? static_cast<std::size_t>(length) - fixed : 0;
  modelText = cut(modelText, std::min(modelRoom, kMaxModelLength));
  return cut(modelText + ": " + serialText, room);
}

NoConnectionTexts NoConnection_noConnectTexts() {
  return {"No Sensor Detected",
          "Please Connect a Talvek Precision CW or Precision CW & Pulse sensor to the R9050 in order to make "
          "measurements."};
}

NoConnectionTexts NoConnection_connectingTexts(std::string_view portName) {
  std::string text = "A " + std::string(sensorKind(portName)) + " sensor on port " + std::string(portName) +
                     " is powering on and initializing. Please wait.";
  return {"Connecting...", cut(std::move(text), kMaxDescriptionLength)};
}

NoConnectionTexts NoConnection_sensorErrorTexts(std::string_view portName) {
  std::string text = "A critical error occured in the " + std::string(sensorKind(portName)) + " sensor on port " +
                     std::string(portName) + ".\nTry disconnecting and reconnecting the sensor or contact Talvek.";
  return {"Critical Sensor Error", cut(std::move(text), kMaxDescriptionLength)};
}
