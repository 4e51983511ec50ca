#include "pulse_sensor_config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>
#include <optional>

#include "atomic_file.h"
#include "log_manager.h"
#include "platform.h"
#include "text_field.h"

namespace {

constexpr const char* kDefaultFile = DevicePath::kPulseSensorFile;
constexpr std::size_t kMaxFileBytes = 64 * 1024;  // the real file is well under 1 KiB

struct ConfigFileState {
  ConfigFileState() {
    TextField_copy(pulseConfigFileName, kDefaultFile);
    TextField_copy(pulseConfigFilePath, std::string_view(DevicePath::kSettingsDir, std::strlen(DevicePath::kSettingsDir) - 1));
  }
  std::mutex lock;  // name and directory; also lets this process's writers take turns
  std::array<char, 64> pulseConfigFileName{};
  std::array<char, 64> pulseConfigFilePath{};
};

ConfigFileState& fileState() {
  static ConfigFileState s;
  return s;
}

// Host path of the selected file.
std::string hostFile() {
  auto& s = fileState();
  std::lock_guard guard(s.lock);
  return Platform_path(TextField_view(s.pulseConfigFileName));
}

// Stored as the shortest decimal text of the float, so 0.1 is written "0.1"
// and reads back as the same float.
double jsonNumber(float value) {
  if (!std::isfinite(value)) return 0.0;
  std::array<char, 32> text{};
  const auto [end, ec] = std::to_chars(text.data(), text.data() + text.size(), value);
  double out = value;
  if (ec == std::errc()) std::from_chars(text.data(), end, out);
  return out;
}

// A number that does not fit is saturated rather than wrapped round.
std::uint8_t toByte(double value) {
  if (!(value > 0.0)) return 0;
  if (value >= 255.0) return 255;
  return static_cast<std::uint8_t>(value);
}

// A stored value a float cannot hold is as unusable as one that is not a
// number: it reads as 0 rather than as an infinity sent to the sensor.
float toFloat(double value) {
  if (!(std::fabs(value) <= static_cast<double>(std::numeric_limits<float>::max()))) return 0.0F;
  return static_cast<float>(value);
}

double numberAt(const rapidjson::Value& object, const char* dotted) {
  const rapidjson::Value* v = &object;
  std::string_view path(dotted);
  while (true) {
    const std::size_t dot = path.find('.');
    const std::string name(path.substr(0, dot));
    if (!v->IsObject()) return 0.0;
    const auto member = v->FindMember(name.c_str());
    if (member == v->MemberEnd()) return 0.0;
    v = &member->value;
    if (dot == std::string_view::npos) break;
    path.remove_prefix(dot + 1);
  }
  return v->IsNumber() ? v->GetDouble() : 0.0;
}

void copyStoredFields(const SENSOR_CONFIGS& from, SENSOR_CONFIGS& to) {
  const bool autoPeriod = to.bSupportsAutoPeriod;
  const bool autoTrigger = to.bSupportsAutoTiggerLevel;
  const bool gates = to.bSupportsTriggeredGates;
  to = from;
  to.bSupportsAutoPeriod = autoPeriod;
  to.bSupportsAutoTiggerLevel = autoTrigger;
  to.bSupportsTriggeredGates = gates;
}

SENSOR_CONFIGS zeroed() {
  SENSOR_CONFIGS c;
  c.bAutoFrequency = false;
  c.bAutoPeriod = false;
  c.bAutoTriggerLevel = false;
  c.trigSlope = 0;
  return c;
}

void setPulseSensorConfig(const SENSOR_CONFIGS& configs) {
  const std::string path = hostFile();
  const std::string json = PulseSensorConfig_toJson(configs);
  auto& s = fileState();
  std::lock_guard guard(s.lock);
  if (AtomicFile_replace(path, json) != 0) {
    const int error = errno;
    DIAGNOSTIC("Error: Attempt to write the pulse sensor configuration file (%s) failed with errno = %d (%s).\n",
               path.c_str(), error, std::strerror(error));
  }
}

std::optional<std::string> readFile(const std::string& path) {
  std::string content;
  if (!AtomicFile_read(path, content, kMaxFileBytes)) return std::nullopt;
  return content;
}

SENSOR_CONFIGS getPulseSensorConfig(const std::string& path) {
  errno = 0;
  const auto content = readFile(path);
  SENSOR_CONFIGS configs = zeroed();
  if (!content || !PulseSensorConfig_fromJson(*content, configs)) {
    const int error = content ? EINVAL : errno;
    DIAGNOSTIC("Error: Attempt to read the pulse sensor configuration file (%s) failed with errno = %d (%s).\n",
               path.c_str(), error, std::strerror(error));
    return PulseSensorConfig_defaults();
  }
  return configs;
}

}  // namespace

SENSOR_CONFIGS PulseSensorConfig_defaults() {
  SENSOR_CONFIGS c = zeroed();
  c.bAutoFrequency = true;
  c.bAutoPeriod = true;
  c.bAutoTriggerLevel = true;
  c.trigSlope = 1;
  return c;
}

std::string PulseSensorConfig_toJson(const SENSOR_CONFIGS& c) {
  rapidjson::StringBuffer out;
  rapidjson::PrettyWriter<rapidjson::StringBuffer> w(out);
  w.StartObject();
  w.Key("name");
  w.String("Default");
  w.Key("autoFrequency");
  w.Int(c.bAutoFrequency ? 1 : 0);
  w.Key("freqValue");
  w.Double(jsonNumber(c.freqVal));
  w.Key("autoPeriod");
  w.Int(c.bAutoPeriod ? 1 : 0);
  w.Key("periodValue");
  w.Double(jsonNumber(c.prdVal));
  w.Key("autoTriggerLevel");
  w.Int(c.bAutoTriggerLevel ? 1 : 0);
  w.Key("triggerLevelValue");
  w.Double(jsonNumber(c.trigLevelVal));
  w.Key("triggerLevelDelay");
  w.Double(jsonNumber(c.trigDelayVal));
  w.Key("triggerSlope");
  w.Uint(c.trigSlope);
  w.Key("signalModel");
  w.Uint(c.bModelIsTriggeredGates ? 1U : 0U);
  w.Key("numStates");
  w.Uint(c.numStates);
  for (std::size_t i = 0; i < c.pulseStates.size(); ++i) {
    const std::string name = "state" + std::to_string(i + 1);
    w.Key(name.c_str());
    w.StartObject();
    w.Key("enabled");
    w.Int(c.pulseStates[i].bEnabled ? 1 : 0);
    w.Key("begin");
    w.Double(jsonNumber(c.pulseStates[i].begin));
    w.Key("end");
    w.Double(jsonNumber(c.pulseStates[i].end));
    w.EndObject();
  }
  w.Key("gateBegin");
  w.Double(jsonNumber(c.gateBegin));
  w.Key("gateEnd");
  w.Double(jsonNumber(c.gateEnd));
  w.EndObject();
  return std::string(out.GetString(), out.GetSize()) + "\n";
}

bool PulseSensorConfig_fromJson(std::string_view json, SENSOR_CONFIGS& c) {
  rapidjson::Document doc;
  // Iterative: a file of nothing but opening brackets must not use up the
  // stack of the thread that loads it.
  doc.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseFullPrecisionFlag>(json.data(), json.size());
  if (doc.HasParseError() || !doc.IsObject()) return false;
  auto flag = [&doc](const char* name) { return numberAt(doc, name) != 0.0; };
  auto value = [&doc](const char* name) { return toFloat(numberAt(doc, name)); };
  c.bAutoFrequency = flag("autoFrequency");
  c.freqVal = value("freqValue");
  c.bAutoPeriod = flag("autoPeriod");
  c.prdVal = value("periodValue");
  c.bAutoTriggerLevel = flag("autoTriggerLevel");
  c.trigLevelVal = value("triggerLevelValue");
  c.trigDelayVal = value("triggerLevelDelay");
  c.trigSlope = toByte(numberAt(doc, "triggerSlope"));
  c.bModelIsTriggeredGates = toByte(numberAt(doc, "signalModel")) != 0;
  c.numStates = toByte(numberAt(doc, "numStates"));
  for (std::size_t i = 0; i < c.pulseStates.size(); ++i) {
    const std::string state = "state" + std::to_string(i + 1);
    c.pulseStates[i].bEnabled = flag((state + ".enabled").c_str());
    c.pulseStates[i].begin = value((state + ".begin").c_str());
    c.pulseStates[i].end = value((state + ".end").c_str());
  }
  c.gateBegin = value("gateBegin");
  c.gateEnd = value("gateEnd");
  return true;
}

void sensorPortHandler_setPulseConfigFile(std::string_view path) {
  if (path.empty()) path = kDefaultFile;
  auto& s = fileState();
  std::string hostDir;
  {
    std::lock_guard guard(s.lock);
    if (path.size() >= s.pulseConfigFileName.size()) {
      DIAGNOSTIC("pulse sensor configuration file name too long (%zu characters): %.*s\n", path.size(),
                 static_cast<int>(path.size()), path.data());
      return;
    }
    TextField_copy(s.pulseConfigFileName, path);
    const std::size_t slash = path.rfind('/');
    TextField_copy(s.pulseConfigFilePath, slash == std::string_view::npos ? std::string_view() : path.substr(0, slash));
    hostDir = TextField_view(s.pulseConfigFilePath).empty() ? std::string()
                                                             : Platform_path(TextField_view(s.pulseConfigFilePath));
  }
  if (hostDir.empty()) return;
  // Off the device the folders above it may not exist yet either.
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(hostDir).parent_path(), ec);
  if (::mkdir(hostDir.c_str(), 0777) != 0 && errno != EEXIST) {
    DIAGNOSTIC("mkdir %s errno=%d (%s)\n", hostDir.c_str(), errno, std::strerror(errno));
  }
}

std::string sensorPortHandler_getPulseConfigFile() {
  auto& s = fileState();
  std::lock_guard guard(s.lock);
  return std::string(TextField_view(s.pulseConfigFileName));
}

void sensorPortHandler_loadSensorConfig(SENSOR_CONFIGS& configs) {
  const std::string path = hostFile();
  SENSOR_CONFIGS stored;
  if (::access(path.c_str(), F_OK) != 0) {
    const int error = errno;
    DIAGNOSTIC("Error: Attempt to access pulse sensor configuration file %s failed with error %d (%s).\n",
               path.c_str(), error, std::strerror(error));
    stored = PulseSensorConfig_defaults();
    setPulseSensorConfig(stored);
  } else {
    stored = getPulseSensorConfig(path);
  }
  copyStoredFields(stored, configs);
}

void sensorPortHandler_saveSensorConfig(const SENSOR_CONFIGS& configs) {
  SENSOR_CONFIGS stored = zeroed();
  copyStoredFields(configs, stored);
  setPulseSensorConfig(stored);
}

void sensorPortHandler_presetSensorConfig() { setPulseSensorConfig(PulseSensorConfig_defaults()); }
