#include "event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

TEST(Event, SignalGivenBeforeTheWaitDoesNotEndIt) {
  Event_t sut;
  Event_Initialize(&sut);
  Event_Signal(&sut);
  EXPECT_FALSE(Event_WaitForNextFor(&sut, 50));
}

TEST(Event, EarlierSignalIsIgnoredByTheUntimedWaitToo) {
  Event_t sut;
  Event_Initialize(&sut);
  Event_Signal(&sut);
  std::atomic<bool> woke{false};
  std::thread waiter([&] {
    Event_WaitForNext(&sut);
    woke = true;
  });
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(woke.load());
  // Signals given while it waits end the wait.
  while (!woke.load()) {
    Event_Signal(&sut);
    std::this_thread::sleep_for(5ms);
  }
  waiter.join();
  EXPECT_TRUE(woke.load());
}

TEST(Event, SignalDuringTheWaitEndsIt) {
  Event_t sut;
  Event_Initialize(&sut);
  std::atomic<bool> stop{false};
  std::thread signaller([&] {
    while (!stop.load()) {
      Event_Signal(&sut);
      std::this_thread::sleep_for(2ms);
    }
  });
  EXPECT_TRUE(Event_WaitForNextFor(&sut, 10000));
  stop = true;
  signaller.join();
}

}  // namespace
