#include "usb_sensor.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

constexpr std::size_t kMaxErrors = 10;
constexpr std::size_t kBlockSize = 512;
constexpr std::size_t kMaxCountedHeaders = 256;
constexpr std::size_t kMaxListedCommands = 64;

struct Limit {
  float min;
  float max;
};
constexpr Limit kFrequencyMHz{1.0F, 4000.0F};
constexpr Limit kTriggerDelay{-1.0F, 1.0F};
constexpr Limit kTriggerLevel{-100.0F, 100.0F};
constexpr int kQuestionableSummary = 0x08;
constexpr int kErrorQueueNotEmpty = 0x04;
constexpr int kMessageAvailable = 0x10;

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

std::string upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::optional<float> parseNumber(std::string_view text) {
  text = trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  float value = 0.0F;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string line(std::string text) {
  text.push_back('\n');
  return text;
}

std::string item(const char* kind, const char* name, const char* unit, const char* min, const char* max) {
  std::string out = "  <";
  out += kind;
  out += " name=\"";
  out += name;
  out += "\">\n    <Units>";
  out += unit;
  out += "</Units>\n";
  if (min != nullptr) out += std::string("    <Minimum>") + min + "</Minimum>\n";
  if (max != nullptr) out += std::string("    <Maximum>") + max + "</Maximum>\n";
  out += "  </";
  out += kind;
  out += ">\n";
  return out;
}

std::string pnpDocument(const std::string& model, const std::string& serial, bool extended) {
  std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SensorDescription model=\"" + model +
                    "\" serial=\"" + serial + "\" version=\"1.0\">\n";
  doc += item("ScalarMeasurement", "Measurement.ForwardAveragePower", "W", "0.001", extended ? "1000" : "500");
  doc += item("ScalarMeasurement", "Measurement.ReflectedAveragePower", "W", "0.001", "100");
  doc += item("ScalarMeasurement", "Measurement.PRF", "Hz", "10", "500000");
  doc += item("ScalarConfiguration", "Configuration.CorrectionFrequency", "Hz", "1e6", "4e9");
  doc += item("ScalarConfiguration", "Configuration.MaximumPulsePeriod", "s", "6e-06", extended ? "1" : "0.1");
  doc += item("ScalarConfiguration", "Configuration.TriggerDelay", "s", "-1", "1");
  // Calibration points make the document span several blocks, as a real one does.
  doc += "  <CalibrationTable name=\"Calibration.Frequency\">\n";
  for (int i = 0; i < 24; ++i) {
    char row[96];
    std::snprintf(row, sizeof row, "    <Point><Frequency>%d</Frequency><Factor>%.4f</Factor></Point>\n",
                  25 + i * 160, 1.0 - i * 0.0021);
    doc += row;
  }
  doc += "  </CalibrationTable>\n</SensorDescription>\n";
  return doc;
}

}  // namespace

std::string UsbSensor_number(float value) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  return ec == std::errc() ? std::string(text, end) : std::string("0");
}

UsbSensor::UsbSensor(std::string model, std::string serial)
    : model_(std::move(model)),
      serial_(std::move(serial)),
      extended_(model_.find("P803") == std::string::npos && model_.find("P805") == std::string::npos),
      maxPeriod_(extended_ ? 1.0F : 0.1F),
      pnp_(pnpDocument(model_, serial_, extended_)) {}

void UsbSensor::pushError(int code, std::string_view text) {
  if (errors_.size() >= kMaxErrors) {
    errors_.back() = {-350, "Queue overflow"};
    return;
  }
  errors_.emplace_back(code, std::string(text));
}

int UsbSensor::received(std::string_view header) const {
  const auto it = received_.find(upper(header));
  return it == received_.end() ? 0 : it->second;
}

void UsbSensor::resetCommands() {
  commands_.clear();
  commandTotal_ = 0;
}

int UsbSensor::statusByte() const {
  int stb = kMessageAvailable;
  if (!errors_.empty()) stb |= kErrorQueueNotEmpty;
  if (readings.questionable != 0) stb |= kQuestionableSummary;
  return stb;
}

std::optional<std::string> UsbSensor::handle(std::string_view message) {
  message = trim(message);
  if (message.empty()) return std::nullopt;
  const std::size_t blank = message.find(' ');
  const std::string header = upper(message.substr(0, blank));
  const std::string_view argument = blank == std::string_view::npos ? std::string_view() : trim(message.substr(blank));
  if (const auto it = received_.find(header); it != received_.end()) {
    ++it->second;
  } else if (received_.size() < kMaxCountedHeaders) {
    // Headers are counted for tests; a stream of distinct garbage headers
    // must not grow the table without end.
    received_.emplace(header, 1);
  }
  if (header.empty() || header.back() != '?') {
    ++commandTotal_;
    const auto listed = std::find_if(commands_.begin(), commands_.end(),
                                     [&](const CommandCount& c) { return c.header == header; });
    if (listed != commands_.end()) {
      ++listed->count;
    } else if (commands_.size() < kMaxListedCommands) {
      commands_.push_back({header, 1});
    }
  }

  std::optional<std::string> reply = dispatch(header, argument);
  if (!reply) return reply;
  switch (fault) {
    case UsbFault::silent:
      return std::nullopt;
    case UsbFault::shortReply: {
      std::string cut = reply->substr(0, reply->size() - 1);  // no line feed
      cut.resize(std::max<std::size_t>(1, (cut.size() + 1) / 2));
      return cut;
    }
    case UsbFault::opcNever:
      if (header == "*OPC?") return line("0");
      return reply;
    case UsbFault::none:
      return reply;
  }
  return reply;
}

std::optional<std::string> UsbSensor::dispatch(std::string_view header, std::string_view argument) {
  if (!header.empty() && header.back() == '?') {
    if (!argument.empty()) {
      pushError(-108, "Parameter not allowed");
      return std::nullopt;
    }
    return query(header);
  }
  return command(header, argument);
}

std::optional<std::string> UsbSensor::command(std::string_view header, std::string_view argument) {
  if (header == "*RST") {
    settings_ = UsbSensorSettings{};
  } else if (header == "*CLS") {
    errors_.clear();
  } else if (header == "INIT") {
    // Measurements complete at once; "*OPC?" reports them done.
  } else if (header == "PNP:ITR") {
    blockNumber_ = 1;
  } else if (header == "PNP:FILE:BLOC:NUMB") {
    const auto n = parseNumber(argument);
    const int total = static_cast<int>((pnp_.size() + kBlockSize - 1) / kBlockSize);
    if (!n || *n != std::floor(*n)) {
      pushError(-104, "Data type error");
    } else if (*n < 1 || *n > static_cast<float>(total)) {
      pushError(-222, "Data out of range");
    } else {
      blockNumber_ = static_cast<int>(*n);
    }
  } else if (!settingCommand(header, argument)) {
    pushError(-113, "Undefined header");
  }
  return std::nullopt;
}

bool UsbSensor::setFloat(std::string_view argument, float min, float max, float& to) {
  const auto value = parseNumber(argument);
  if (!value) {
    pushError(-104, "Data type error");
  } else if (*value < min || *value > max) {
    pushError(-222, "Data out of range");
  } else {
    to = *value;
  }
  return true;
}

bool UsbSensor::setFlag(std::string_view argument, int& to) {
  const std::string text = upper(trim(argument));
  if (text == "1" || text == "ON") {
    to = 1;
  } else if (text == "0" || text == "OFF") {
    to = 0;
  } else if (parseNumber(text)) {
    pushError(-222, "Data out of range");
  } else {
    pushError(-104, "Data type error");
  }
  return true;
}

// The settings; false for a header the model does not know.
bool UsbSensor::settingCommand(std::string_view header, std::string_view argument) {
  auto& s = settings_;
  if (header == "SENS:FREQ") return setFloat(argument, kFrequencyMHz.min, kFrequencyMHz.max, s.freqMHz);
  if (header == "SENS:FREQ:AUTO") return setFlag(argument, s.freqAuto);
  if (header == "SENS:REFL:ENAB") return setFlag(argument, s.reflectedEnabled);
  if (header == "CALC:GATE:BEG:DEL") return setFloat(argument, -maxPeriod_, maxPeriod_, s.gateBegin);
  if (header == "CALC:GATE:END:DEL") return setFloat(argument, -maxPeriod_, maxPeriod_, s.gateEnd);
  if (!extended_) return false;
  if (header == "SENS:PER") return setFloat(argument, 6e-6F, maxPeriod_, s.period);
  if (header == "SENS:PER:AUTO") return setFlag(argument, s.periodAuto);
  if (header == "SENS:SWE:TIME") return setFloat(argument, 6e-6F, maxPeriod_, s.sweepTime);
  if (header == "SENS:SWE:TIME:AUTO") return setFlag(argument, s.sweepTimeAuto);
  if (header == "TRIG:LEV") return setFloat(argument, kTriggerLevel.min, kTriggerLevel.max, s.triggerLevel);
  if (header == "TRIG:LEV:AUTO") return setFlag(argument, s.triggerLevelAuto);
  if (header == "TRIG:DEL") return setFloat(argument, kTriggerDelay.min, kTriggerDelay.max, s.triggerDelay);
  if (header == "TRIG:SOUR" || header == "TRIG:SLOP") {
    const std::string value = upper(trim(argument));
    const bool source = header == "TRIG:SOUR";
    const bool valid = source ? (value == "INT" || value == "EXT") : (value == "POS" || value == "NEG");
    if (!valid) {
      pushError(-224, "Illegal parameter value");
    } else {
      (source ? s.triggerSource : s.triggerSlope) = value;
    }
    return true;
  }
  for (int i = 0; i < 4; ++i) {
    const std::string prefix = "CALC:STAT" + std::to_string(i + 1);
    if (header == prefix + ":ENAB") return setFlag(argument, s.stateEnabled[static_cast<std::size_t>(i)]);
    if (header == prefix + ":BEG:DEL") {
      return setFloat(argument, -maxPeriod_, maxPeriod_, s.stateBegin[static_cast<std::size_t>(i)]);
    }
    if (header == prefix + ":END:DEL") {
      return setFloat(argument, -maxPeriod_, maxPeriod_, s.stateEnd[static_cast<std::size_t>(i)]);
    }
  }
  return false;
}

std::optional<std::string> UsbSensor::query(std::string_view header) {
  if (header == "*STB?") return line(std::to_string(statusByte()));
  if (header == "*OPC?") return line("1");
  if (header == "*IDN?") return line("Simulated," + model_ + "," + serial_ + ",1.02.03");
  if (header == "SYST:IDEN:MOD?") return line(model_);
  if (header == "SYST:IDEN:SN?") return line(serial_);
  if (header == "SYST:IDEN:FWR?") return line("1.02.03");
  if (header == "SYST:ERR:COUN?") return line(std::to_string(errors_.size()));
  if (header == "SYST:ERR?") {
    if (errors_.empty()) return line("0,\"No error\"");
    auto [code, text] = errors_.front();
    errors_.pop_front();
    return line(std::to_string(code) + ",\"" + text + "\"");
  }
  if (header == "STAT:QUES:COND?") return line(std::to_string(readings.questionable));
  if (auto reply = fetchQuery(header)) return reply;
  if (auto reply = pnpQuery(header)) return reply;
  if (auto reply = settingQuery(header)) return reply;
  pushError(-113, "Undefined header");
  return std::nullopt;
}

std::optional<std::string> UsbSensor::fetchQuery(std::string_view header) {
  const auto& r = readings;
  if (header == "FETC:FORW:AVER?") return line(UsbSensor_number(r.forward));
  if (header == "FETC:REFL:AVER?") return line(UsbSensor_number(r.reflected));
  if (header == "FETC:FREQ?") return line(UsbSensor_number(r.frequency / 1.0e6F));
  if (header == "FETC:TEMP?") return line(UsbSensor_number(r.temperature));
  if (header == "FETC:PER?") return line(UsbSensor_number(r.period * 1.0e6F));
  if (header == "FETC:PRF?") return line(UsbSensor_number(r.prf));
  if (header == "FETC:WIDT?") return line(UsbSensor_number(r.width * 1.0e6F));
  if (header == "FETC:DCYC?") return line(UsbSensor_number(r.dutyCycle));
  if (header == "FETC:GATE:COUN?") return line("1");
  if (header == "FETC:GATE:MEAN?") return line(UsbSensor_number(r.gateMean));
  if (header == "FETC:GATE:MAX?") return line(UsbSensor_number(r.gateMax));
  if (header == "FETC:GATE:MIN?") return line(UsbSensor_number(r.gateMin));
  if (!extended_) return std::nullopt;
  static constexpr std::array<const char*, 3> kStatistics{"MEAN?", "MAX?", "MIN?"};
  for (std::size_t i = 0; i < 4; ++i) {
    for (std::size_t k = 0; k < kStatistics.size(); ++k) {
      if (header == "FETC:STAT" + std::to_string(i + 1) + ":" + kStatistics[k]) {
        return line(UsbSensor_number(r.states[i][k]));
      }
    }
  }
  return std::nullopt;
}

std::string UsbSensor::block(int number) const {
  const std::size_t start = static_cast<std::size_t>(number - 1) * kBlockSize;
  const std::string data = start < pnp_.size() ? pnp_.substr(start, kBlockSize) : std::string();
  char header[8];
  std::snprintf(header, sizeof header, "#3%03zu", data.size());
  return std::string(header) + data + "\n";
}

std::optional<std::string> UsbSensor::pnpQuery(std::string_view header) {
  if (header == "PNP:AVA?") return line("1");
  if (header == "PNP:VERS?") return line("1.0");
  if (header == "PNP:FILE:SIZE?") return line(std::to_string(pnp_.size()));
  if (header == "PNP:FILE:BLOC:TOT?") return line(std::to_string((pnp_.size() + kBlockSize - 1) / kBlockSize));
  if (header == "PNP:FILE:BLOC:NUMB?") return line(std::to_string(blockNumber_));
  if (header == "PNP:FILE:BLOC:DATA?") return block(blockNumber_);
  return std::nullopt;
}

std::optional<std::string> UsbSensor::settingQuery(std::string_view header) {
  const auto& s = settings_;
  auto num = [](float v) { return line(UsbSensor_number(v)); };
  auto flag = [](int v) { return line(std::to_string(v)); };
  if (header == "SENS:FREQ?") return num(s.freqMHz);
  if (header == "SENS:FREQ:AUTO?") return flag(s.freqAuto);
  if (header == "SENS:REFL:ENAB?") return flag(s.reflectedEnabled);
  if (header == "CALC:GATE:BEG:DEL?") return num(s.gateBegin);
  if (header == "CALC:GATE:END:DEL?") return num(s.gateEnd);
  if (!extended_) return std::nullopt;
  if (header == "SENS:PER?") return num(s.period);
  if (header == "SENS:PER:AUTO?") return flag(s.periodAuto);
  if (header == "SENS:SWE:TIME?") return num(s.sweepTime);
  if (header == "SENS:SWE:TIME:AUTO?") return flag(s.sweepTimeAuto);
  if (header == "TRIG:SOUR?") return line(s.triggerSource);
  if (header == "TRIG:SLOP?") return line(s.triggerSlope);
  if (header == "TRIG:LEV?") return num(s.triggerLevel);
  if (header == "TRIG:LEV:AUTO?") return flag(s.triggerLevelAuto);
  if (header == "TRIG:DEL?") return num(s.triggerDelay);
  for (std::size_t i = 0; i < 4; ++i) {
    const std::string prefix = "CALC:STAT" + std::to_string(i + 1);
    if (header == prefix + ":ENAB?") return flag(s.stateEnabled[i]);
    if (header == prefix + ":BEG:DEL?") return num(s.stateBegin[i]);
    if (header == prefix + ":END:DEL?") return num(s.stateEnd[i]);
  }
  return std::nullopt;
}
