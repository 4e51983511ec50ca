#include "simple_timer.h"

#include <sys/time.h>

std::uint32_t getTime_ms() {
  timeval now{};
  ::gettimeofday(&now, nullptr);
  const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000U + static_cast<std::uint64_t>(now.tv_usec) / 1000U;
  return static_cast<std::uint32_t>(ms);
}

void CSimpleTimer_Reset(SimpleTimerData* timer, std::uint32_t intervalMs) {
  timer->start = getTime_ms();
  timer->interval = intervalMs;
}

bool CSimpleTimer_IsExpiredAt(const SimpleTimerData* timer, std::uint32_t now) {
  // Unsigned subtraction gives the elapsed time even across the wrap.
  const std::uint32_t elapsed = now - timer->start;
  return elapsed > timer->interval;
}

bool CSimpleTimer_IsExpired(const SimpleTimerData* timer) { return CSimpleTimer_IsExpiredAt(timer, getTime_ms()); }
