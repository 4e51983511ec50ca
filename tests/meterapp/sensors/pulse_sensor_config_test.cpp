#include "pulse_sensor_config.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <rapidjson/document.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "scratch_root.h"

namespace {

constexpr const char* kFile = "/etc/meterapp/TalvekPulseSensor.conf";

class PulseConfigFile : public ::testing::Test {
 protected:
  void SetUp() override { sensorPortHandler_setPulseConfigFile(kFile); }
  test_support::ScratchRoot root;
};

// Capability flags set, every stored field off its default.
SENSOR_CONFIGS withCapabilities() {
  SENSOR_CONFIGS c;
  c.bSupportsAutoPeriod = true;
  c.bSupportsAutoTiggerLevel = true;
  c.bSupportsTriggeredGates = true;
  return c;
}

SENSOR_CONFIGS sample(float seed) {
  SENSOR_CONFIGS c;
  c.bAutoFrequency = false;
  c.freqVal = 5.0e7F + seed;
  c.bAutoPeriod = false;
  c.prdVal = 0.1F + seed;
  c.bAutoTriggerLevel = false;
  c.trigLevelVal = 0.3F;
  c.trigDelayVal = 5e-8F;
  c.trigSlope = 0;
  c.bModelIsTriggeredGates = true;
  c.numStates = 3;
  for (int i = 0; i < 4; ++i) {
    c.pulseStates[static_cast<std::size_t>(i)] = {i % 2 == 0, -1e-6F * static_cast<float>(i), 2e-6F + seed};
  }
  c.gateBegin = 1e-5F;
  c.gateEnd = 2.5e-4F;
  return c;
}

void expectStoredFieldsEqual(const SENSOR_CONFIGS& a, const SENSOR_CONFIGS& b) {
  EXPECT_EQ(a.bAutoFrequency, b.bAutoFrequency);
  EXPECT_EQ(a.freqVal, b.freqVal);
  EXPECT_EQ(a.bAutoPeriod, b.bAutoPeriod);
  EXPECT_EQ(a.prdVal, b.prdVal);
  EXPECT_EQ(a.bAutoTriggerLevel, b.bAutoTriggerLevel);
  EXPECT_EQ(a.trigLevelVal, b.trigLevelVal);
  EXPECT_EQ(a.trigDelayVal, b.trigDelayVal);
  EXPECT_EQ(a.trigSlope, b.trigSlope);
  EXPECT_EQ(a.bModelIsTriggeredGates, b.bModelIsTriggeredGates);
  EXPECT_EQ(a.numStates, b.numStates);
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(a.pulseStates[i].bEnabled, b.pulseStates[i].bEnabled);
    EXPECT_EQ(a.pulseStates[i].begin, b.pulseStates[i].begin);
    EXPECT_EQ(a.pulseStates[i].end, b.pulseStates[i].end);
  }
  EXPECT_EQ(a.gateBegin, b.gateBegin);
  EXPECT_EQ(a.gateEnd, b.gateEnd);
}

std::vector<std::string> memberNames(const rapidjson::Value& object) {
  std::vector<std::string> names;
  for (const auto& m : object.GetObject()) names.emplace_back(m.name.GetString());
  return names;
}

TEST_F(PulseConfigFile, MissingFileIsRecreatedWithTheDefaults) {
  SENSOR_CONFIGS configs = withCapabilities();
  configs.freqVal = 123.0F;
  sensorPortHandler_loadSensorConfig(configs);

  expectStoredFieldsEqual(configs, PulseSensorConfig_defaults());
  EXPECT_TRUE(configs.bAutoFrequency && configs.bAutoPeriod && configs.bAutoTriggerLevel);
  EXPECT_EQ(configs.trigSlope, 1);
  EXPECT_TRUE(configs.bSupportsAutoPeriod && configs.bSupportsAutoTiggerLevel && configs.bSupportsTriggeredGates)
      << "capability flags are the caller's";
  EXPECT_NE(root.messages().find("Error: Attempt to access pulse sensor configuration file"), std::string::npos);

  const std::string text = root.read(kFile);
  rapidjson::Document doc;
  doc.Parse(text.c_str());
  ASSERT_FALSE(doc.HasParseError()) << text;
  ASSERT_TRUE(doc.IsObject());
  const std::vector<std::string> order = {"name",           "autoFrequency",     "freqValue",         "autoPeriod",
                                          "periodValue",    "autoTriggerLevel",  "triggerLevelValue", "triggerLevelDelay",
                                          "triggerSlope",   "signalModel",       "numStates",         "state1",
                                          "state2",         "state3",            "state4",            "gateBegin",
                                          "gateEnd"};
  EXPECT_EQ(memberNames(doc), order);
  EXPECT_STREQ(doc["name"].GetString(), "Default");
  EXPECT_EQ(doc["autoFrequency"].GetInt(), 1);
  EXPECT_EQ(doc["triggerSlope"].GetInt(), 1);
  EXPECT_EQ(doc["signalModel"].GetInt(), 0);
  EXPECT_EQ(memberNames(doc["state3"]), (std::vector<std::string>{"enabled", "begin", "end"}));
  EXPECT_NE(text.find("\n    \"autoFrequency\": 1,\n"), std::string::npos) << "pretty printed:\n" << text;
}

TEST_F(PulseConfigFile, MembersReadAsStoredAndMissingOnesAsZero) {
  struct Case {
    const char* json;
    void (*check)(const SENSOR_CONFIGS&);
  };
  const Case cases[] = {
      {R"({"autoFrequency": 0, "freqValue": 5e7})",
       [](const SENSOR_CONFIGS& c) {
         EXPECT_FALSE(c.bAutoFrequency);
         EXPECT_EQ(c.freqVal, 5e7F);
         EXPECT_FALSE(c.bAutoPeriod);
         EXPECT_FALSE(c.bAutoTriggerLevel);
         EXPECT_EQ(c.trigSlope, 0) << "falling";
         EXPECT_FALSE(c.bModelIsTriggeredGates);
         EXPECT_EQ(c.numStates, 0);
         EXPECT_EQ(c.prdVal, 0.0F);
         EXPECT_FALSE(c.pulseStates[0].bEnabled);
         EXPECT_EQ(c.gateEnd, 0.0F);
       }},
      {R"({"signalModel": 2})", [](const SENSOR_CONFIGS& c) { EXPECT_TRUE(c.bModelIsTriggeredGates); }},
      {R"({"signalModel": 0.5})", [](const SENSOR_CONFIGS& c) { EXPECT_FALSE(c.bModelIsTriggeredGates); }},
      {R"({"signalModel": 256, "triggerSlope": 257, "numStates": -3})",
       [](const SENSOR_CONFIGS& c) {
         EXPECT_TRUE(c.bModelIsTriggeredGates) << "saturated, not wrapped to 0";
         EXPECT_EQ(c.trigSlope, 255) << "saturated, not wrapped to 1 (rising)";
         EXPECT_EQ(c.numStates, 0);
       }},
      {R"({"autoPeriod": 0.25, "freqValue": "fifty", "state2": {"enabled": 1, "begin": -1e-6, "end": 2e-6},
          "state4": 7, "gateBegin": 1.5})",
       [](const SENSOR_CONFIGS& c) {
         EXPECT_TRUE(c.bAutoPeriod) << "non-zero is true";
         EXPECT_EQ(c.freqVal, 0.0F) << "a member that is not a number reads as 0";
         EXPECT_TRUE(c.pulseStates[1].bEnabled);
         EXPECT_EQ(c.pulseStates[1].begin, -1e-6F);
         EXPECT_EQ(c.pulseStates[1].end, 2e-6F);
         EXPECT_FALSE(c.pulseStates[3].bEnabled);
         EXPECT_EQ(c.gateBegin, 1.5F);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    root.write(kFile, c.json);
    SENSOR_CONFIGS configs = withCapabilities();
    sensorPortHandler_loadSensorConfig(configs);
    c.check(configs);
    EXPECT_TRUE(configs.bSupportsTriggeredGates);
    EXPECT_EQ(root.read(kFile), c.json) << "loading never rewrites an existing file";
  }
}

TEST_F(PulseConfigFile, MalformedFileGivesTheDefaultsAndStaysAsItIs) {
  const char* cases[] = {"", "not json", "[1, 2]", "{\"autoFrequency\": 0", "{\"autoFrequency\": 0} trailing",
                         "\"text\"", "{\"freqValue\": NaN}"};
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    root.write(kFile, text);
    SENSOR_CONFIGS configs = sample(0);
    sensorPortHandler_loadSensorConfig(configs);
    expectStoredFieldsEqual(configs, PulseSensorConfig_defaults());
    EXPECT_EQ(root.read(kFile), text);
  }
  EXPECT_NE(root.messages().find("Error: Attempt to read the pulse sensor configuration file"), std::string::npos);
}

// Runs `work` on a thread with a small stack, as a sensor thread may have.
void onSmallStack(void (*work)(void*), void* argument) {
  struct Call {
    void (*work)(void*);
    void* argument;
  } call{work, argument};
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, 1024 * 1024), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attributes,
                           [](void* p) -> void* {
                             auto* c = static_cast<Call*>(p);
                             c->work(c->argument);
                             return nullptr;
                           },
                           &call),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
}

TEST_F(PulseConfigFile, DeeplyNestedFileIsMalformedNotACrash) {
  // A file of nothing but opening brackets, as large as a load accepts.
  for (const char* open : {"[", "{\"a\":"}) {
    SCOPED_TRACE(open);
    std::string text;
    while (text.size() < 60000) text += open;
    root.write(kFile, text);
    SENSOR_CONFIGS configs = sample(0);
    onSmallStack([](void* c) { sensorPortHandler_loadSensorConfig(*static_cast<SENSOR_CONFIGS*>(c)); }, &configs);
    expectStoredFieldsEqual(configs, PulseSensorConfig_defaults());
    EXPECT_EQ(root.read(kFile), text);
  }
}

TEST_F(PulseConfigFile, NumbersBeyondTheFloatRangeReadAsZero) {
  root.write(kFile, R"({"freqValue": 1e300, "periodValue": -1e39, "gateEnd": 2.5e-4,
                        "state1": {"enabled": 1, "begin": 1e200, "end": 1e-3}})");
  SENSOR_CONFIGS configs = sample(0);
  sensorPortHandler_loadSensorConfig(configs);
  EXPECT_EQ(configs.freqVal, 0.0F);
  EXPECT_EQ(configs.prdVal, 0.0F);
  EXPECT_EQ(configs.gateEnd, 2.5e-4F);
  EXPECT_TRUE(configs.pulseStates[0].bEnabled);
  EXPECT_EQ(configs.pulseStates[0].begin, 0.0F);
  EXPECT_EQ(configs.pulseStates[0].end, 1e-3F);
}

TEST_F(PulseConfigFile, SaveKeepsEveryStoredFieldButNoCapabilities) {
  SENSOR_CONFIGS saved = sample(0);
  saved.bSupportsAutoPeriod = true;
  saved.bSupportsTriggeredGates = true;
  sensorPortHandler_saveSensorConfig(saved);
  const std::string text = root.read(kFile);
  EXPECT_EQ(text.find("upports"), std::string::npos) << text;
  EXPECT_NE(text.find("\"triggerLevelDelay\": 5e-8"), std::string::npos) << "floats in their short exact form\n" << text;

  SENSOR_CONFIGS loaded;  // capability flags false
  sensorPortHandler_loadSensorConfig(loaded);
  expectStoredFieldsEqual(loaded, saved);
  EXPECT_FALSE(loaded.bSupportsAutoPeriod);
  EXPECT_FALSE(loaded.bSupportsTriggeredGates);

  sensorPortHandler_presetSensorConfig();
  sensorPortHandler_loadSensorConfig(loaded);
  expectStoredFieldsEqual(loaded, PulseSensorConfig_defaults());
}

TEST_F(PulseConfigFile, FileSelectionAndItsFolder) {
  sensorPortHandler_setPulseConfigFile("/etc/other/pulse.conf");
  EXPECT_EQ(sensorPortHandler_getPulseConfigFile(), "/etc/other/pulse.conf");
  EXPECT_TRUE(std::filesystem::is_directory(root.host("/etc/other")));
  sensorPortHandler_presetSensorConfig();
  EXPECT_TRUE(std::filesystem::exists(root.host("/etc/other/pulse.conf")));

  // A name that does not fit the field is refused rather than cut to another file.
  const std::string tooLong = "/etc/" + std::string(60, 'x') + "/pulse.conf";
  sensorPortHandler_setPulseConfigFile(tooLong);
  EXPECT_EQ(sensorPortHandler_getPulseConfigFile(), "/etc/other/pulse.conf");

  sensorPortHandler_setPulseConfigFile("");
  EXPECT_EQ(sensorPortHandler_getPulseConfigFile(), kFile);
}

TEST_F(PulseConfigFile, WriteFailureIsLoggedAndChangesNothing) {
  root.write("/etc/blocked", "a file where a folder should be");
  sensorPortHandler_setPulseConfigFile("/etc/blocked/pulse.conf");
  sensorPortHandler_saveSensorConfig(sample(0));
  EXPECT_NE(root.messages().find("Error: Attempt to write the pulse sensor configuration file"), std::string::npos);
  EXPECT_EQ(root.read("/etc/blocked"), "a file where a folder should be");
}

TEST_F(PulseConfigFile, ConcurrentWritersNeverLeaveATornFile) {
  sensorPortHandler_presetSensorConfig();
  std::atomic<bool> writing{true};
  std::atomic<int> torn{0};
  std::atomic<int> reads{0};
  std::thread reader([&] {
    while (writing) {
      const std::string text = root.read(kFile);
      SENSOR_CONFIGS c;
      if (!PulseSensorConfig_fromJson(text, c)) ++torn;
      ++reads;
    }
  });
  std::vector<std::thread> writers;
  for (int w = 0; w < 4; ++w) {
    writers.emplace_back([w] {
      for (int i = 0; i < 40; ++i) {
        if (w == 0) {
          sensorPortHandler_presetSensorConfig();
        } else {
          sensorPortHandler_saveSensorConfig(sample(static_cast<float>(w)));
        }
      }
    });
  }
  for (auto& t : writers) t.join();
  writing = false;
  reader.join();
  EXPECT_EQ(torn.load(), 0) << "of " << reads.load() << " reads";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(root.host("/etc/meterapp"))) {
    ++files;
    EXPECT_EQ(entry.path().filename(), "TalvekPulseSensor.conf") << "no temporary file is left behind";
  }
  EXPECT_EQ(files, 1);
}

}  // namespace
