// Starting the meter's long-running threads and pacing their loops.
//
// Every thread function takes a std::stop_token and keeps its own name. In
// the product the threads run until the process ends (the power-off path
// ends it); the stop token lets tests run a thread function and end it.
#pragma once

#include <chrono>
#include <functional>
#include <stop_token>

#include "simple_timer.h"

// Starts `body` on a thread owned by the process-wide thread table. A thread
// that cannot be created ends the program with status -1 after the
// diagnostic "Fail...Cannot spawn the <name>.".
void MeterThread_start(const char* name, std::function<void(std::stop_token)> body);

// Requests every started thread to stop and joins it (tests only).
void MeterThread_stopAll();

// Sleeps for `ms` milliseconds unless a stop is requested first; returns
// false when the thread should end.
bool MeterThread_sleep(std::stop_token stop, std::chrono::milliseconds ms);

// The "alive" message of a long-running thread: true once every 5000 ms.
struct AliveTimer {
  SimpleTimerData timer;
};
void AliveTimer_start(AliveTimer* alive);
bool AliveTimer_due(AliveTimer* alive);
