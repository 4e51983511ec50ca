#include "simple_timer.h"

#include <gtest/gtest.h>
#include <sys/time.h>

#include <cstdint>

namespace {

struct TimerCase {
  const char* name;
  std::uint32_t start;
  std::uint32_t interval;
  std::uint32_t now;
  bool expired;
};

constexpr TimerCase kCases[] = {
    {"just reset", 1000, 5000, 1000, false},
    {"exactly the interval", 1000, 5000, 6000, false},
    {"one millisecond more", 1000, 5000, 6001, true},
    {"across the wrap, before", 0xFFFFF000U, 5000, 0xFFFFF000U + 5000U, false},
    {"across the wrap, at the boundary", 0xFFFFFF00U, 5000, 5000U - 0x100U, false},
    {"across the wrap, after", 0xFFFFFF00U, 5000, 5001U - 0x100U, true},
    {"zero interval", 42, 0, 43, true},
};

TEST(SimpleTimer, ExpiresOnlyAfterMoreThanTheInterval) {
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    SimpleTimerData sut{c.interval, c.start};
    EXPECT_EQ(CSimpleTimer_IsExpiredAt(&sut, c.now), c.expired);
  }
}

TEST(SimpleTimer, ResetTakesTheClockAndTheInterval) {
  SimpleTimerData sut;
  const std::uint32_t before = getTime_ms();
  CSimpleTimer_Reset(&sut, 5000);
  const std::uint32_t after = getTime_ms();
  EXPECT_EQ(sut.interval, 5000U);
  EXPECT_LE(sut.start - before, after - before);
  EXPECT_FALSE(CSimpleTimer_IsExpiredAt(&sut, sut.start + 5000U));
  EXPECT_TRUE(CSimpleTimer_IsExpiredAt(&sut, sut.start + 5001U));
}

TEST(SimpleTimer, ClockIsWallClockMillisecondsTruncatedTo32Bits) {
  timeval tv{};
  ::gettimeofday(&tv, nullptr);
  const auto expected = static_cast<std::uint32_t>(static_cast<std::uint64_t>(tv.tv_sec) * 1000U +
                                                   static_cast<std::uint64_t>(tv.tv_usec) / 1000U);
  const std::uint32_t now = getTime_ms();
  // Taken just after: never behind, and within a generous bound of the sample.
  EXPECT_LT(now - expected, 60000U);
}

}  // namespace
