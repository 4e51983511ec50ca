#include "log_manager.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform.h"

namespace {

namespace fs = std::filesystem;

class LogManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("log-test-" + std::to_string(::getpid()));
    fs::create_directories(root / "tmp");
    Platform_setRoot(root.string());
    LogManager_create();
  }
  void TearDown() override {
    LogManager_create();
    Platform_setRoot("");
    fs::remove_all(root);
  }
  void writeConfig(const std::string& text) { std::ofstream(root / "tmp/logConfig") << text; }
  fs::path root;
};

TEST_F(LogManagerTest, ConfigLinesAreTrimmedAndMatchedExactly) {
  writeConfig("  ThreadMonitor \t\nsensordetection\nBogus\nScpiParser\n");
  LogManager_switchPass();
  EXPECT_TRUE(LogManager_isEnabled(ThreadMonitor));
  EXPECT_FALSE(LogManager_isEnabled(SensorDetection));  // wrong case enables nothing
  EXPECT_TRUE(LogManager_isEnabled(ScpiParser));
  EXPECT_FALSE(LogManager_isEnabled(NoCategory));
}

TEST_F(LogManagerTest, RemovingTheConfigFileSwitchesEverythingOff) {
  writeConfig("SensorManager\n");
  LogManager_switchPass();
  EXPECT_TRUE(LogManager_isEnabled(SensorMmngr));
  fs::remove(root / "tmp/logConfig");
  LogManager_switchPass();
  EXPECT_FALSE(LogManager_isEnabled(SensorMmngr));
}

TEST_F(LogManagerTest, LookupAndEnableBounds) {
  EXPECT_EQ(LookupCategory("None"), NoCategory);
  EXPECT_EQ(LookupCategory("SensorManager"), SensorMmngr);
  EXPECT_EQ(LookupCategory(""), -1);
  EXPECT_EQ(LookupCategory("ThreadMonitor "), -1);
  LogManager_enable(CategoryCount, true);  // ignored, must not write past the table
  LogManager_enable(AllCategories, true);
  EXPECT_FALSE(LogManager_isEnabled(CategoryCount));
}

TEST_F(LogManagerTest, TrimWhitespace) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {{"  a b \r\n", "a b"}, {"", ""}, {" \t ", ""}, {"x", "x"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    std::array<char, 32> buffer{};
    std::strncpy(buffer.data(), c.in, buffer.size() - 1);
    EXPECT_STREQ(LogManager_trimwhitespace(buffer.data()), c.out);
  }
}

TEST_F(LogManagerTest, DiagnosticsReachTheSystemLogWithTheirPrefix) {
  DIAGNOSTIC("value = %d\n", 42);
  USER_WARNING("careful\n");
  std::ifstream in(root / "var/log/messages");
  std::string first, second;
  std::getline(in, first);
  std::getline(in, second);
  EXPECT_TRUE(first.starts_with("7 DIAGNOSTIC:log_manager_test.cpp:")) << first;
  EXPECT_TRUE(first.ends_with("(): value = 42")) << first;
  EXPECT_EQ(second, "4 USER_WARNING:  careful");
}

}  // namespace
