// Millisecond clock and polled interval timer.
#pragma once

#include <cstdint>

struct SimpleTimerData {
  std::uint32_t interval = 0;  // milliseconds
  std::uint32_t start = 0;     // getTime_ms() when the timer was reset
};

// Wall-clock milliseconds, truncated to 32 bits: it wraps after about 49.7
// days, which the timer below handles.
std::uint32_t getTime_ms();

void CSimpleTimer_Reset(SimpleTimerData* timer, std::uint32_t intervalMs);
// True once more than `interval` milliseconds have passed since the reset.
// The timer is only polled; it never fires by itself.
bool CSimpleTimer_IsExpired(const SimpleTimerData* timer);
// The same question for a given clock reading (lets the wrap be checked).
bool CSimpleTimer_IsExpiredAt(const SimpleTimerData* timer, std::uint32_t now);
