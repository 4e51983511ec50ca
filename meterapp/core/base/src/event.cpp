#include "event.h"

#include <pthread.h>

#include <chrono>
#include <system_error>

#include "log_manager.h"

namespace {

// A failing lock or wait leaves the hand-off in an unknown state: the
// calling thread reports it and ends, as it cannot carry on meaningfully.
[[noreturn]] void endThread(const char* call, const std::system_error& error) {
  DIAGNOSTIC("%s: %s\n", call, error.code().message().c_str());
  USER_ERROR("\n");
  ::pthread_exit(nullptr);
}

}  // namespace

void Event_Initialize(Event_t* event) {
  try {
    std::lock_guard guard(event->mutex);
    event->signalled = false;
  } catch (const std::system_error& error) {
    endThread("pthread_mutex_lock", error);
  }
}

void Event_WaitForNext(Event_t* event) {
  try {
    std::unique_lock lock(event->mutex);
    event->signalled = false;
    event->condition.wait(lock, [event] { return event->signalled; });
    event->signalled = false;
  } catch (const std::system_error& error) {
    endThread("pthread_cond_wait", error);
  }
}

bool Event_WaitForNextFor(Event_t* event, std::uint32_t timeoutMs) {
  try {
    std::unique_lock lock(event->mutex);
    event->signalled = false;
    const bool woken = event->condition.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                                 [event] { return event->signalled; });
    event->signalled = false;
    return woken;
  } catch (const std::system_error& error) {
    endThread("pthread_cond_wait", error);
  }
}

void Event_Signal(Event_t* event) {
  try {
    {
      std::lock_guard guard(event->mutex);
      event->signalled = true;
    }
    event->condition.notify_one();
  } catch (const std::system_error& error) {
    endThread("pthread_mutex_lock", error);
  }
}
