#include "configuration.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "device_fixtures.h"
#include "serial_config.h"
#include "serial_port.h"

namespace {

using test_support::PseudoTerminal;
using test_support::ScratchRoot;

constexpr const char* kFile = "/etc/meterapp/TalvekApplicationSettings.conf";

const char* const kDefaultFileText =
    "displayForwardPower 1\n"
    "displayReflectedPower 1\n"
    "powerUnitsIsdBm 0\n"
    "displayVSWR_ReturnLoss_or_ReflCoeff_Value 1\n"
    "matchMeasurementType 0\n"
    "displayGraph 0\n"
    "graphReflectedMode_ch1 0\n"
    "graphDisplayMode_ch1 0\n"
    "graphAverageCount_ch1 64\n"
    "graphDisplayMinPower_ch1 3000.000000\n"
    "graphDisplayMaxPower_ch1 10000000.000000\n"
    "limitLineMin_ch1 3000.000000\n"
    "limitLineMax_ch1 10000000.000000\n"
    "unit_ch1 0\n"
    "graphReflectedMode_ch2 0\n"
    "graphDisplayMode_ch2 0\n"
    "graphAverageCount_ch2 64\n"
    "graphDisplayMinPower_ch2 3000.000000\n"
    "graphDisplayMaxPower_ch2 10000000.000000\n"
    "limitLineMin_ch2 3000.000000\n"
    "limitLineMax_ch2 10000000.000000\n"
    "unit_ch2 0\n"
    "scale_ch1_fwd_autoScale 1\n"
    "scale_ch1_fwd_scaleIndex 7\n"
    "scale_ch1_rfl_autoScale 1\n"
    "scale_ch1_rfl_scaleIndex 7\n"
    "scale_ch1_gatedPower_autoScale 1\n"
    "scale_ch1_gatedPower_scaleIndex 7\n"
    "scale_ch2_fwd_autoScale 1\n"
    "scale_ch2_fwd_scaleIndex 7\n"
    "scale_ch2_rfl_autoScale 1\n"
    "scale_ch2_rfl_scaleIndex 7\n"
    "scale_ch2_gatedPower_autoScale 1\n"
    "scale_ch2_gatedPower_scaleIndex 7\n"
    "state_scale_ch1_0_autoScale 1\n"
    "state_scale_ch1_0_scaleIndex 7\n"
    "state_scale_ch1_1_autoScale 1\n"
    "state_scale_ch1_1_scaleIndex 7\n"
    "state_scale_ch1_2_autoScale 1\n"
    "state_scale_ch1_2_scaleIndex 7\n"
    "state_scale_ch1_3_autoScale 1\n"
    "state_scale_ch1_3_scaleIndex 7\n"
    "state_scale_ch2_0_autoScale 1\n"
    "state_scale_ch2_0_scaleIndex 7\n"
    "state_scale_ch2_1_autoScale 1\n"
    "state_scale_ch2_1_scaleIndex 7\n"
    "state_scale_ch2_2_autoScale 1\n"
    "state_scale_ch2_2_scaleIndex 7\n"
    "state_scale_ch2_3_autoScale 1\n"
    "state_scale_ch2_3_scaleIndex 7\n"
    "useLegacyRS232Commands 0\n"
    "legacyCommandModeSW 0\n"
    "sensorPulseMode 0\n";

TALVEK_APP_SETTINGS defaults() {
  // restoreDefaultSettings works on the process-wide record: read it back.
  // This replaces the record, so tests take it before they set anything.
  restoreDefaultSettings();
  return configuration_getTalvekAppConfiguration();
}

class ConfigurationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SerialPort_Close();
    // As at start-up: the RS-232 lines belong to the serial settings.
    SerialConfig_registerWithSettingsFile();
    ASSERT_EQ(setConfigurationFile(nullptr), 0);
  }
  void TearDown() override { SerialPort_Close(); }

  // Reads a settings file with this text and returns the resulting record.
  TALVEK_APP_SETTINGS readText(const std::string& text) {
    root.write(kFile, text);
    readConfigFile();
    return configuration_getTalvekAppConfiguration();
  }
  std::string file() const { return root.read(kFile); }

  ScratchRoot root;
};

TEST_F(ConfigurationTest, MissingFileIsWrittenWithTheDefaults) {
  ASSERT_TRUE(std::filesystem::is_directory(root / "/etc/meterapp"));
  readConfigFile();
  EXPECT_EQ(file(), kDefaultFileText);
  EXPECT_EQ(configuration_getTalvekAppConfiguration(), defaults());
  const std::string log = root.messages();
  EXPECT_NE(log.find("Warning: Unable to open settings file " + (root / kFile).string() + " for reading"),
            std::string::npos);
  EXPECT_NE(log.find("Using defaults"), std::string::npos);
}

TEST_F(ConfigurationTest, ReadingLines) {
  using Edit = std::function<void(TALVEK_APP_SETTINGS&)>;
  struct Case {
    const char* what;
    std::string text;
    Edit edit;
  } cases[] = {
      {"a bool", "displayForwardPower 0\n", [](auto& s) { s.displayForwardPower = false; }},
      {"non-zero is true", "powerUnitsIsdBm 7\n", [](auto& s) { s.powerUnitsIsdBm = true; }},
      {"scale index 12 reads as 7", "scale_ch1_fwd_scaleIndex 12\nscale_ch1_fwd_autoScale 0\n",
       [](auto& s) { s.scale[0][0] = {false, 7}; }},
      {"negative scale index reads as 7", "state_scale_ch2_3_scaleIndex -1\nscale_ch2_gatedPower_scaleIndex 10\n",
       [](auto& s) { s.gatedPowerScale[1].scaleIndex = 10; }},
      {"unit 5 reads as dBm", "unit_ch2 5\nunit_ch1 -3\n", [](auto& s) { s.graphSettings[1].unit = graphScale_dBm; }},
      {"older graph mode key sets both channels", "displayGraphRadioButtonActive 1\n",
       [](auto& s) { s.graphSettings[0].displayMode = s.graphSettings[1].displayMode = graphModeAverage; }},
      {"older key is not taken for displayGraph", "displayGraphRadioButtonActive 1\ndisplayGraph 1\n",
       [](auto& s) {
         s.graphSettings[0].displayMode = s.graphSettings[1].displayMode = graphModeAverage;
         s.displayGraph = true;
       }},
      {"trailing text ignored", "displayGraph 1abc\ngraphAverageCount_ch1 12 samples\n",
       [](auto& s) {
         s.displayGraph = true;
         s.graphSettings[0].averageCount = 12;
       }},
      {"decimals go through single precision", "graphDisplayMinPower_ch2 12.3456789\n",
       [](auto& s) { s.graphSettings[1].minPower = static_cast<double>(12.3456789f); }},
      {"graph settings are not validated on reading", "graphAverageCount_ch1 100\nlimitLineMax_ch1 -5\n",
       [](auto& s) {
         s.graphSettings[0].averageCount = 100;
         s.graphSettings[0].maxLimitLine = -5;
       }},
      {"channels other than 1 and 2 are ignored", "scale_ch3_fwd_autoScale 0\ngraphReflectedMode_ch0 1\n",
       [](auto&) {}},
      {"match type in range", "matchMeasurementType 2\n", [](auto& s) { s.matchMeasurementType = rfMatch_RflCoeff; }},
      {"match type out of range reads as VSWR", "matchMeasurementType 2\nmatchMeasurementType 9\n", [](auto&) {}},
      {"graph mode out of range reads as raw", "graphDisplayMode_ch2 4\n", [](auto&) {}},
      {"unknown, empty and odd lines", "\n%%%%\nserialFoo 1\ndisplayForwardPowerX 0\n \n", [](auto&) {}},
      {"CRLF line ends", "displayGraph 1\r\nuseLegacyRS232Commands 1\r\n",
       [](auto& s) {
         s.displayGraph = true;
         s.useLegacyRS232Commands = true;
       }},
      {"file cut after a value", "displayForwardPower 0\ngraphDisplayMaxPower_ch1 12",
       [](auto& s) {
         s.displayForwardPower = false;
         s.graphSettings[0].maxPower = 12;
       }},
      {"file cut inside a key", "displayForwardPower 0\ngraphDisplayMa",
       [](auto& s) { s.displayForwardPower = false; }},
      {"file cut before a value: empty reads as 0", "displayGraph 1\ndisplayReflectedPower",
       [](auto& s) {
         s.displayGraph = true;
         s.displayReflectedPower = false;
       }},
      {"the last line of a key wins", "sensorPulseMode 1\nsensorPulseMode 0\nlegacyCommandModeSW 1\n",
       [](auto& s) { s.legacyCommandModeSW = true; }},
      {"a line longer than the old line buffer", "displayForwardPower 0" + std::string(200, ' ') + "1\n",
       [](auto& s) { s.displayForwardPower = false; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TALVEK_APP_SETTINGS expected = defaults();
    c.edit(expected);
    EXPECT_EQ(readText(c.text), expected);
    EXPECT_EQ(file(), c.text);  // reading never rewrites an existing file
  }
}

TEST_F(ConfigurationTest, EveryKeyIsWrittenAndReadBack) {
  readConfigFile();
  configuration_setDisplayFowardPower(false);
  configuration_setDisplayReflectedPower(false);
  configuration_setPowerUnitsIsdBm(true);
  configuration_setDisplayMatch(false);
  configuration_setMatchMeasurementType(rfMatch_RL);
  configuration_setDisplayGraph(true);
  configuration_setGraphSettings({70, -10, 60, -5, graphScale_dBm, 16, true, graphModeAverage}, 0);
  configuration_setGraphSettings({5000000, 10000, 4000000, 20000, graphScale_mW, 8, false, graphModeRaw}, 1);
  for (int ch = 0; ch < 2; ++ch) {
    for (int dir = 0; dir < 2; ++dir) {
      configuration_setRfPowerScale({(ch + dir) % 2 == 0, static_cast<std::uint32_t>(ch * 2 + dir + 1)}, ch, dir);
    }
    configuration_setGatedPowerScale({false, static_cast<std::uint32_t>(5 + ch)}, ch);
    for (int state = 0; state < 4; ++state) {
      configuration_setStatePowerScale({state % 2 == 0, static_cast<std::uint32_t>((ch * 4 + state + 1) % 11)}, ch,
                                       state);
    }
  }
  configuration_setUseLegacy(true);
  configuration_setCommandModeSW(true);
  configuration_setPulseMode(true);

  const TALVEK_APP_SETTINGS written = configuration_getTalvekAppConfiguration();
  EXPECT_EQ(configuration_getGraphSettings(0).maxPower, 70);
  EXPECT_TRUE(configuration_getGraphRflMode(0));
  EXPECT_FALSE(configuration_getGraphRflMode(1));
  EXPECT_EQ(configuration_getRfPowerScale(1, 1).scaleIndex, 4u);
  EXPECT_EQ(configuration_getStatePowerScale(1, 3).scaleIndex, 8u);
  EXPECT_EQ(configuration_getGatedPowerScale(1).scaleIndex, 6u);
  EXPECT_EQ(configuration_getMatchMeasurementType(), rfMatch_RL);

  const std::string text = file();
  EXPECT_NE(text.find("\ngraphDisplayMinPower_ch1 -10.000000\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nstate_scale_ch2_3_scaleIndex 8\n"), std::string::npos) << text;
  restoreDefaultSettings();
  readConfigFile();
  EXPECT_EQ(configuration_getTalvekAppConfiguration(), written);
  EXPECT_EQ(file(), text);
}

TEST_F(ConfigurationTest, GraphSettingsAreValidatedWhenSet) {
  struct Case {
    const char* what;
    GraphScaleUnit_t unit;
    double min, max;
    std::uint32_t averageCount;
    double wantMin, wantMax;
    std::uint32_t wantAverageCount;
  } cases[] = {
      {"dBm max above the bound", graphScale_dBm, 50, 100, 64, 50, 80, 64},
      {"dBm pair wholly above", graphScale_dBm, 90, 100, 64, 79, 80, 64},
      {"dBm pair wholly below", graphScale_dBm, -100, -90, 64, -60, -59, 64},
      {"dBm pair around both bounds", graphScale_dBm, -100, 100, 64, -60, 80, 64},
      {"dBm swapped", graphScale_dBm, 20, 10, 64, 10, 20, 64},
      {"dBm too narrow", graphScale_dBm, 10, 10.5, 64, 9.5, 10.5, 64},
      {"dBm narrow at the lower bound", graphScale_dBm, -60, -60, 64, -60, -59, 64},
      {"mW span 5 by lowering the minimum", graphScale_mW, 10, 12, 64, 7, 12, 64},
      {"mW too narrow at zero", graphScale_mW, 0, 2, 64, 0, 5, 64},
      {"mW pair wholly below", graphScale_mW, -20, -10, 64, 0, 5, 64},
      {"mW pair wholly above", graphScale_mW, 2e8, 3e8, 64, 99999994, 99999999, 64},
      {"averageCount 1", graphScale_mW, 3000, 10000000, 1, 3000, 10000000, 2},
      {"averageCount 100", graphScale_mW, 3000, 10000000, 100, 3000, 10000000, 64},
      {"averageCount inside", graphScale_mW, 3000, 10000000, 17, 3000, 10000000, 17},
  };
  readConfigFile();
  for (int channel = 0; channel < 2; ++channel) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.what) + " channel " + std::to_string(channel));
      GraphSettings_t g = configuration_getGraphSettings(channel);
      g.unit = c.unit;
      g.minPower = g.minLimitLine = c.min;
      g.maxPower = g.maxLimitLine = c.max;
      g.averageCount = c.averageCount;
      configuration_setGraphSettings(g, channel);
      const GraphSettings_t stored = configuration_getGraphSettings(channel);
      EXPECT_DOUBLE_EQ(stored.minPower, c.wantMin);
      EXPECT_DOUBLE_EQ(stored.maxPower, c.wantMax);
      EXPECT_DOUBLE_EQ(stored.minLimitLine, c.wantMin);
      EXPECT_DOUBLE_EQ(stored.maxLimitLine, c.wantMax);
      EXPECT_EQ(stored.averageCount, c.wantAverageCount);
      char line[80];
      std::snprintf(line, sizeof line, "\ngraphDisplayMaxPower_ch%d %f\n", channel + 1, c.wantMax);
      EXPECT_NE(file().find(line), std::string::npos) << line;
    }
  }
}

TEST(ValidateRange, NotANumberTakesTheBound) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  double min = nan, max = 20;
  validateRange(min, max, -60, 80, 1);
  EXPECT_EQ(min, -60);
  EXPECT_EQ(max, 20);
  min = 5;
  max = nan;
  validateRange(min, max, -60, 80, 1);
  EXPECT_EQ(min, 5);
  EXPECT_EQ(max, 80);
  min = -std::numeric_limits<double>::infinity();
  max = std::numeric_limits<double>::infinity();
  validateRange(min, max, 0, 99999999.0, 5);
  EXPECT_EQ(min, 0);
  EXPECT_EQ(max, 99999999.0);
}

TEST_F(ConfigurationTest, ResetKeepsTheLegacySettingsOnly) {
  TALVEK_APP_SETTINGS expected = defaults();
  expected.useLegacyRS232Commands = true;
  expected.legacyCommandModeSW = true;
  readConfigFile();
  configuration_setUseLegacy(true);
  configuration_setCommandModeSW(true);
  configuration_setPulseMode(true);
  configuration_setDisplayGraph(true);
  configuration_setRfPowerScale({false, 2}, 1, 0);
  resetConfigToDefaults();

  EXPECT_EQ(configuration_getTalvekAppConfiguration(), expected);
  EXPECT_FALSE(configuration_getPulseMode());
  std::string text = kDefaultFileText;
  text.replace(text.find("useLegacyRS232Commands 0"), 24, "useLegacyRS232Commands 1");
  text.replace(text.find("legacyCommandModeSW 0"), 21, "legacyCommandModeSW 1");
  EXPECT_EQ(file(), text);
}

TEST_F(ConfigurationTest, InvalidSetterArgumentsAreLoggedAndChangeNothing) {
  readConfigFile();
  const TALVEK_APP_SETTINGS before = configuration_getTalvekAppConfiguration();
  struct Case {
    const char* what;
    std::function<void()> call;
    std::vector<std::string> messages;
  } cases[] = {
      {"state 4", [] { configuration_setStatePowerScale({false, 1}, 0, 4); }, {"Invalid parameter, stateIndex = 4"}},
      {"state -1 and index 11", [] { configuration_setStatePowerScale({false, 11}, 1, -1); },
       {"Invalid parameter, stateIndex = -1", "Invalid parameter, scale.scaleIndex = 11"}},
      {"everything wrong", [] { configuration_setRfPowerScale({false, 12}, 2, 2); },
       {"Invalid parameter, channel = 2", "Invalid parameter, direction = 2", "Invalid parameter, scale.scaleIndex = 12"}},
      {"gated channel", [] { configuration_setGatedPowerScale({false, 3}, -1); }, {"Invalid parameter, channel = -1"}},
      {"gated index", [] { configuration_setGatedPowerScale({false, 11}, 0); },
       {"Invalid parameter, scale.scaleIndex = 11"}},
      {"graph channel", [] { configuration_setGraphSettings({1, 0, 1, 0, graphScale_mW, 2, true, graphModeRaw}, 2); },
       {"Invalid parameter, channel = 2"}},
      {"match type", [] { configuration_setMatchMeasurementType(static_cast<rfMatchType_t>(3)); },
       {"Invalid parameter, matchMeasurementType = 3"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(root / "/var/log/messages");
    Platform_setRoot(root.path().string());  // reopens the message file
    c.call();
    EXPECT_EQ(configuration_getTalvekAppConfiguration(), before);
    EXPECT_EQ(file(), kDefaultFileText);
    const std::string log = root.messages();
    for (const auto& message : c.messages) EXPECT_NE(log.find(message + "\n"), std::string::npos) << message;
    EXPECT_EQ(static_cast<size_t>(std::count(log.begin(), log.end(), '\n')), c.messages.size()) << log;
  }
  // Getters out of range answer the defaults instead of reading past the record.
  EXPECT_EQ(configuration_getRfPowerScale(5, 0), (rfPowerScale{true, 7}));
  EXPECT_EQ(configuration_getStatePowerScale(0, 4), (rfPowerScale{true, 7}));
  EXPECT_EQ(configuration_getGatedPowerScale(2), (rfPowerScale{true, 7}));
  EXPECT_EQ(configuration_getGraphSettings(-1), defaults().graphSettings[0]);
}

TEST_F(ConfigurationTest, UnwritableFileKeepsTheValueInMemory) {
  readConfigFile();
  std::filesystem::remove(root / kFile);
  std::filesystem::create_directories(root / kFile / "in-the-way");  // rename cannot replace it
  configuration_setDisplayGraph(true);
  EXPECT_TRUE(configuration_getDisplayGraph());
  EXPECT_NE(root.messages().find("Warning: Unable to open settings file " + (root / kFile).string() + " for writing."),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(root / (std::string(kFile) + ".new")));
}

TEST_F(ConfigurationTest, UnreadableFileIsNotReplacedByTheDefaults) {
  // Only root can drop to another user for this; elsewhere the case cannot be
  // built, since the owner can always read its own file.
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to read as another user";
  const std::string stored = "displayGraph 1\npowerUnitsIsdBm 1\n";
  root.write(kFile, stored);
  const auto folder = (root / "/etc/meterapp").string();
  ASSERT_EQ(::chmod(root.path().c_str(), 0755), 0);  // the way there is open
  ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);  // the writer could replace the file
  ASSERT_EQ(::chmod((root / kFile).c_str(), 0600), 0);
  // The log mirror takes the child's messages too.
  root.write("/var/log/messages", "");
  ASSERT_EQ(::chmod((root / "/var/log/messages").c_str(), 0666), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // nobody cannot read the root-owned file, but may rename over it.
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    readConfigFile();
    if (configuration_getDisplayGraph()) ::_exit(3);  // the defaults are used in memory
    // Changes are kept in memory, but never written over the user's file.
    configuration_setDisplayGraph(true);
    configuration_setRfPowerScale(rfPowerScale{false, 3}, 0, 0);
    configuration_setGraphSettings(configuration_getGraphSettings(1), 1);
    resetConfigToDefaults();
    configuration_setPulseMode(true);
    if (configuration_saveSettings() != -1) ::_exit(4);
    ::_exit(configuration_getPulseMode() ? 0 : 5);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(file(), stored);  // the user's file is still there
  EXPECT_FALSE(std::filesystem::exists(root / (std::string(kFile) + ".new")));
  // The user is told once.
  const std::string log = root.messages();
  const std::string warning = "USER_WARNING:  Settings file " + (root / kFile).string() +
                              " cannot be read: defaults in use, changes will not be saved";
  const auto first = log.find(warning);
  EXPECT_NE(first, std::string::npos) << log;
  EXPECT_EQ(log.find(warning, first + 1), std::string::npos) << log;
}

TEST_F(ConfigurationTest, FileNames) {
  EXPECT_STREQ(configuration_getFileName(), kFile);
  const std::string longest = "/etc/other/" + std::string(64 - 16, 'x') + ".conf";
  ASSERT_EQ(longest.size(), 64u);
  EXPECT_EQ(setConfigurationFile(longest.c_str()), 0);
  EXPECT_TRUE(std::filesystem::is_directory(root / "/etc/other"));
  EXPECT_EQ(setConfigurationFile((longest + "y").c_str()), -1);  // would name another file: refused
  EXPECT_STREQ(configuration_getFileName(), longest.c_str());
  readConfigFile();
  EXPECT_EQ(root.read(longest), kDefaultFileText);
  EXPECT_EQ(setConfigurationFile(""), 0);
  EXPECT_STREQ(configuration_getFileName(), kFile);
}

TEST_F(ConfigurationTest, SerialLinesFollowTheSettingsAndComeFromThePort) {
  PseudoTerminal pty;
  pty.linkAs(root, "/dev/ttyS4");
  ASSERT_GE(SerialPort_Open(Platform_path("/dev/ttyS4").c_str()), 0);
  readText(std::string(kDefaultFileText) + "serialSpeed 4800\nserialStopBits 2\nserialParity\n");
  termios t{};
  ASSERT_EQ(SerialPort_GetConfig(&t), 0);
  EXPECT_EQ(SerialConfig_TermiosGetSpeed(&t), static_cast<speed_t>(B4800));
  EXPECT_EQ(SerialConfig_TermiosGetStopBits(&t), STOP_BITS_2);

  // A change made on the port itself reaches the file with the next save.
  SerialConfig_TermiosPutSpeed(&t, B600);
  ASSERT_EQ(SerialPort_SetConfig(&t), 0);
  EXPECT_EQ(configuration_saveSettings(), 0);
  EXPECT_NE(file().find("serialSpeed 600\n"), std::string::npos);

  SerialConfig_TermiosPutSpeed(&t, B4800);
  ASSERT_EQ(SerialPort_SetConfig(&t), 0);
  configuration_setDisplayGraph(false);
  EXPECT_EQ(file(), std::string(kDefaultFileText) +
                        "serialSpeed 4800\nserialDataBits 8\nserialStopBits 2\nserialParity NONE\n");

  // Without the port the lines read from the file are kept, not dropped.
  SerialPort_Close();
  readText(std::string(kDefaultFileText) + "serialSpeed 300\n");
  configuration_setDisplayGraph(false);
  EXPECT_EQ(file(), std::string(kDefaultFileText) + "serialSpeed 300\n");
}

// Setters from several threads: each stores and writes under the one lock, so
// the file on disk always ends as the snapshot of the record in memory.
TEST_F(ConfigurationTest, ConcurrentSettersLeaveTheFileMatchingTheRecord) {
  readConfigFile();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 25; ++i) {
        configuration_setStatePowerScale({i % 2 == 0, static_cast<std::uint32_t>((i + t) % 11)}, t % 2, t);
        configuration_setDisplayGraph(((i + t) % 3) == 0);
        (void)configuration_getTalvekAppConfiguration();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  const TALVEK_APP_SETTINGS inMemory = configuration_getTalvekAppConfiguration();
  readConfigFile();
  EXPECT_EQ(configuration_getTalvekAppConfiguration(), inMemory);
}

// A child process writes the settings over and over and is killed at random
// moments: whatever moment it dies, the file reads as one whole snapshot.
TEST_F(ConfigurationTest, InterruptedWritesLeaveOldOrNewContent) {
  readConfigFile();
  configuration_setGraphSettings({70, -10, 60, -5, graphScale_dBm, 16, true, graphModeAverage}, 0);
  const std::string second = file();
  resetConfigToDefaults();
  const std::string first = file();
  ASSERT_NE(first, second);

  std::mt19937 random(12345);
  std::uniform_int_distribution<int> delayUs(0, 4000);
  int sawSecond = 0;
  for (int round = 0; round < 30; ++round) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(ready[0]);
      for (bool told = false;; told = true) {
        configuration_setGraphSettings({70, -10, 60, -5, graphScale_dBm, 16, true, graphModeAverage}, 0);
        resetConfigToDefaults();
        if (!told) (void)!::write(ready[1], "x", 1);
      }
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ::usleep(static_cast<useconds_t>(delayUs(random)));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    const std::string text = file();
    ASSERT_TRUE(text == first || text == second) << "round " << round << ":\n" << text;
    sawSecond += text == second ? 1 : 0;
  }
  // The reader copes with the leftover of the killed writer.
  readConfigFile();
  const TALVEK_APP_SETTINGS record = configuration_getTalvekAppConfiguration();
  EXPECT_TRUE(record == defaults() || record.graphSettings[0].averageCount == 16);
  RecordProperty("rounds that stopped on the second content", sawSecond);
}

}  // namespace
