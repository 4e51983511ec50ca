// The r9050-sim program as users and scripts run it.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "sim_test_support.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Process {
  pid_t pid = -1;
  UniqueFd in;   // its standard input
  UniqueFd out;  // its standard output

  // Runs the simulator with the arguments, stdin and stdout on pipes.
  explicit Process(const std::vector<std::string>& args) {
    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    std::vector<std::string> all = {R9050_SIM_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&pid, R9050_SIM_PROGRAM, &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    in.reset(toChild[1]);
    out.reset(fromChild[0]);
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // One line of its output, or "" after the time limit.
  std::string line(std::chrono::milliseconds limit = 5000ms) {
    std::string text;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      pollfd pfd{out.get(), POLLIN, 0};
      if (::poll(&pfd, 1, 50) <= 0) continue;
      char c = 0;
      if (::read(out.get(), &c, 1) != 1) break;
      if (c == '\n') return text;
      text.push_back(c);
    }
    return text;
  }

  // The exit status, waiting at most `limit`; -1 when it did not end.
  int wait(std::chrono::milliseconds limit = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(10ms);
    }
    return -1;
  }

  ~Process() {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
};

// Runs "r9050-sim --send SOCKET COMMAND" and returns its status and answer.
std::pair<int, std::string> send(const std::string& socket, const std::string& command) {
  Process p({"--send", socket, command});
  std::string answer = p.line();
  return {p.wait(), answer};
}

TEST(SimProgram, StartsPlugsAndTakesCommandsFromSocketAndStdin) {
  ScratchDir dir;
  Process sim({"--root", dir.str(), "--unpaced", "--serial1", "C602A200", "--usb1", "P804",
                                "--usb-timeout", "3"});
  ASSERT_GT(sim.pid, 0);
  const std::string socket = dir / "sim/control.sock";
  EXPECT_EQ(sim.line(), "READY root=" + dir.str() + " control=" + socket);
  EXPECT_EQ(readText(dir / "sys/class/hwmon/hwmon0/curr1_input"), "320\n");
  EXPECT_TRUE(fs::is_symlink(dir / "dev/usbtmc0"));

  UniqueFd serial = openRaw(dir / "dev/ttyS1");
  EXPECT_EQ(exchange(serial.get(), "I", 40).substr(0, 8), "C602A200");

  EXPECT_EQ(send(socket, "pull usb1"), std::make_pair(0, std::string("OK")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "dev/usbtmc0")));
  const auto [status, answer] = send(socket, "plug usb9");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(answer.substr(0, 4), "ERR ");

  ASSERT_EQ(::write(sim.in.get(), "status\n", 7), 7);
  EXPECT_EQ(sim.line(), "OK serial1=C602A200:plugged serial2=C604:pulled usb1=P804:pulled usb2=P804:pulled");

  EXPECT_EQ(send(socket, "quit").first, 0);
  EXPECT_EQ(sim.wait(), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "dev/ttyS1")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(socket)));
}

TEST(SimProgram, AttachesToAnExistingRootAndStopsOnASignal) {
  ScratchDir dir;
  fs::create_directories(dir / "etc/meterapp");
  std::ofstream(dir / "etc/meterapp/TalvekApplicationSettings.conf") << "kept\n";
  std::ofstream(dir / "sys/class/hwmon/hwmon1/name") << "ina219\n";
  Process sim({"--root", dir.str(), "--no-stdin", "--serial2", "C604"});
  ASSERT_EQ(sim.line().substr(0, 5), "READY");
  EXPECT_EQ(readText(dir / "etc/meterapp/TalvekApplicationSettings.conf"), "kept\n");
  EXPECT_EQ(readText(dir / "sys/class/hwmon/hwmon1/curr1_input"), "320\n");
  ::close(sim.in.get());  // the end of its standard input does not stop it
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(send(dir / "sim/control.sock", "status").first, 0);
  ::kill(sim.pid, SIGTERM);
  EXPECT_EQ(sim.wait(), 0);
}

TEST(SimProgram, MalformedCommandLineIsRefused) {
  ScratchDir dir;
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--root"},
      {"--root", dir.str(), "--usb-timeout", "x"},
      {"--root", dir.str(), "--frobnicate"},
      {"--root", dir.str(), "--usb3", "P804"},
      {"--root", dir.str(), "--serial1", "WAYTOOLONGMODEL"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args.empty() ? "(none)" : args.back());
    Process p(args);
    EXPECT_EQ(p.wait(), 2);
  }
  EXPECT_EQ(send(dir / "no/such.sock", "status").first, 2);
}

}  // namespace
