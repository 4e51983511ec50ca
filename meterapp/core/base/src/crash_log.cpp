#include "crash_log.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "device_io.h"
#include "platform.h"

namespace {

constexpr const char* kCrashLog = DevicePath::kCrashLog;
constexpr int kMaxFrames = 1000;
constexpr rlim_t kStackLimit = 0x2000000;

// The handler may only use what was prepared before: the descriptor and a
// separator line.
int crashFd = -1;
constexpr char kSeparator[] =
    "============================================================\n";

void writeSeparator() {
  if (Device_write(crashFd, kSeparator, sizeof kSeparator - 1) < 0) return;
}

void writeBacktrace() {
  if (crashFd < 0) return;
  void* frames[kMaxFrames];
  const int count = ::backtrace(frames, kMaxFrames);
  writeSeparator();
  ::backtrace_symbols_fd(frames, count, crashFd);
  writeSeparator();
  ::fsync(crashFd);
}

void onSignal(int signal) {
  switch (signal) {
    case SIGINT:
    case SIGTERM:
      return;
    case SIGUSR1:
      writeBacktrace();
      return;
    default:
      writeBacktrace();
      ::_exit(-1);
  }
}

}  // namespace

void CrashLog_install() {
  const std::string path = Platform_path(kCrashLog);
  Platform_prepareParent(kCrashLog);
  crashFd = Device_open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  // Loads the unwinder now: doing that inside the handler is not safe.
  void* frame[1];
  ::backtrace(frame, 1);

  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGINT, SIGTERM, SIGUSR1, SIGSEGV, SIGABRT}) ::sigaction(signal, &action, nullptr);
}

void CrashLog_raiseStackLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_STACK, &limit) != 0 || limit.rlim_cur >= kStackLimit) return;
  limit.rlim_cur = kStackLimit;
  const int result = ::setrlimit(RLIMIT_STACK, &limit);
  if (result != 0) std::fprintf(stderr, "setrlimit returned result = %d\n", result);
}
