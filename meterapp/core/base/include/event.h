// One-shot event: hands a "done" signal from one thread to another.
//
// Only a signal given after the wait has begun ends it: a waiter never
// returns because of a signal that was already there when it started.
// Exactly one thread is expected to wait on an event at a time.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

struct Event_t {
  std::mutex mutex;
  std::condition_variable condition;
  bool signalled = false;
};

void Event_Initialize(Event_t* event);
void Event_WaitForNext(Event_t* event);
// The same wait with a time limit, for requesters that must not block for
// ever on a partner that may never answer. Returns false on time-out.
bool Event_WaitForNextFor(Event_t* event, std::uint32_t timeoutMs);
void Event_Signal(Event_t* event);
