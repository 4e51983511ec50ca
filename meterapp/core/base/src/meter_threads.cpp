#include "meter_threads.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "log_manager.h"

namespace {

constexpr std::uint32_t kAliveIntervalMs = 5000;

struct ThreadTable {
  std::mutex lock;
  std::vector<std::jthread> threads;
};

// The meter never runs static destructors while its threads live: every
// way out of a running meter ends the process with _exit/_Exit.
ThreadTable& table() {
  static ThreadTable t;
  return t;
}

}  // namespace

void MeterThread_start(const char* name, std::function<void(std::stop_token)> body) {
  auto& t = table();
  std::lock_guard guard(t.lock);
  try {
    t.threads.emplace_back(std::move(body));
  } catch (const std::system_error&) {
    DIAGNOSTIC("Fail...Cannot spawn the %s.\n", name);
    std::fflush(nullptr);
    std::_Exit(-1);
  }
}

void MeterThread_stopAll() {
  std::vector<std::jthread> threads;
  {
    auto& t = table();
    std::lock_guard guard(t.lock);
    threads.swap(t.threads);
  }
  for (auto& thread : threads) thread.request_stop();
  threads.clear();  // joins
}

bool MeterThread_sleep(std::stop_token stop, std::chrono::milliseconds ms) {
  std::mutex m;
  std::condition_variable_any cv;
  std::unique_lock lock(m);
  cv.wait_for(lock, stop, ms, [] { return false; });
  return !stop.stop_requested();
}

void AliveTimer_start(AliveTimer* alive) { CSimpleTimer_Reset(&alive->timer, kAliveIntervalMs); }

bool AliveTimer_due(AliveTimer* alive) {
  if (!CSimpleTimer_IsExpired(&alive->timer)) return false;
  CSimpleTimer_Reset(&alive->timer, kAliveIntervalMs);
  return true;
}
