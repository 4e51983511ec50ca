#include "platform.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("platform-test-" + std::to_string(::getpid()));
    fs::create_directories(root);
    Platform_setRoot(root.string());
  }
  void TearDown() override {
    Platform_setRoot("");
    fs::remove_all(root);
  }
  fs::path root;
};

TEST_F(PlatformTest, MapsAbsoluteDevicePathsUnderTheRoot) {
  struct Case {
    const char* device;
    std::string expected;
  } cases[] = {
      {"/dev/ttyS1", root.string() + "/dev/ttyS1"},
      {"/etc/meterapp/TalvekApplicationSettings.conf", root.string() + "/etc/meterapp/TalvekApplicationSettings.conf"},
      {"/sys/class/hwmon/", root.string() + "/sys/class/hwmon/"},
      {"/dev/null", "/dev/null"},
      {"/proc/self/exe", "/proc/self/exe"},
      // The routing table is the device's, not the host's.
      {"/proc/net/route", root.string() + "/proc/net/route"},
      {"./resources/battery5.png", "./resources/battery5.png"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.device);
    EXPECT_EQ(Platform_path(c.device), c.expected);
  }
}

// The meter changes its working directory at start-up: a root given relative
// to where it was started must keep naming the same folder afterwards.
TEST_F(PlatformTest, ARelativeRootIsMadeAbsoluteWhenItIsSet) {
  const fs::path before = fs::current_path();
  fs::create_directories(root / "device");
  fs::current_path(root);
  Platform_setRoot("device/");
  fs::current_path(before);
  EXPECT_EQ(Platform_root(), (root / "device").string());
  EXPECT_EQ(Platform_path("/dev/ttyS1"), (root / "device/dev/ttyS1").string());
  Platform_syslog(7, "after the directory change");
  EXPECT_TRUE(fs::exists(root / "device/var/log/messages"));
}

TEST_F(PlatformTest, WithoutRootPathsAreUnchanged) {
  Platform_setRoot("");
  EXPECT_FALSE(Platform_isSimulated());
  EXPECT_EQ(Platform_path("/dev/ttyS1"), "/dev/ttyS1");
}

TEST_F(PlatformTest, FileCommandsActUnderTheRoot) {
  EXPECT_EQ(Platform_runCommand("touch /var/run/Talvek_autorun"), 0);
  EXPECT_TRUE(fs::exists(root / "var/run/Talvek_autorun"));

  EXPECT_EQ(Platform_runCommand("echo 1 > /sys/class/leds/talvekR905a:KeepOn/brightness"), 0);
  EXPECT_EQ(readFile(root / "sys/class/leds/talvekR905a:KeepOn/brightness"), "1\n");
  EXPECT_FALSE(fs::exists(root / "var/log/commands.log"));
}

TEST_F(PlatformTest, SystemCommandsAreRecordedNotRun) {
  EXPECT_EQ(Platform_runCommand("/etc/init.d/network restart"), 0);
  EXPECT_EQ(Platform_runCommand("echo nonsense"), 0);
  EXPECT_EQ(readFile(root / "var/log/commands.log"), "/etc/init.d/network restart\necho nonsense\n");
}

TEST_F(PlatformTest, ShutdownIsRecordedAndEndsTheProcessWithStatusZero) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Platform_runCommand("shutdown");
    ::_exit(7);  // not reached when the power-off is simulated
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(readFile(root / "var/log/commands.log"), "shutdown\n");
}

TEST_F(PlatformTest, SyslogMessagesAreMirroredOneLineEach) {
  Platform_syslog(7, "DIAGNOSTIC:x.cpp:1:f(): first\n");
  Platform_syslog(4, "USER_WARNING:  two\nlines\n\n");
  EXPECT_EQ(readFile(root / "var/log/messages"), "7 DIAGNOSTIC:x.cpp:1:f(): first\n4 USER_WARNING:  two lines\n");
}

TEST(PlatformScpiPort, OverrideTakesOnlyValidPortNumbers) {
  struct Case {
    const char* text;
    std::uint16_t port;
  } const cases[] = {{nullptr, 5025}, {"", 5025},   {"6000", 6000}, {"0", 0},       {"65535", 65535},
                     {"65536", 5025}, {"-1", 5025}, {"50x", 5025},  {" 80", 5025}, {"80 ", 5025}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text != nullptr ? c.text : "(unset)");
    EXPECT_EQ(Platform_parseScpiPort(c.text), c.port);
  }
}

TEST_F(PlatformTest, PrepareParentCreatesFoldersOnlyUnderARoot) {
  Platform_prepareParent("/var/run/Talvek_autorun");
  EXPECT_TRUE(fs::is_directory(root / "var/run"));
  EXPECT_FALSE(fs::exists(root / "var/run/Talvek_autorun"));
}

}  // namespace
