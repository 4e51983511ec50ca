#include "autorange_rs232.h"

#include <algorithm>
#include <cstddef>

namespace {

template <std::size_t F, std::size_t U>
constexpr DISPLAY_RANGE_FORMAT_RS232 row(const char (&format)[F], const char (&unit)[U], float multiplier, float up,
                                         float down) {
  static_assert(F <= 16 && U <= 16);
  DISPLAY_RANGE_FORMAT_RS232 r{};
  std::copy(format, format + F, r.formatString.begin());
  std::copy(unit, unit + U, r.unitLabel.begin());
  r.multiplier = multiplier;
  r.upThreshold = up;
  r.downThreshold = down;
  return r;
}

}  // namespace

const std::array<DISPLAY_RANGE_FORMAT_RS232, kRangeRS232Count> rangeFormatsRS232{{
    row("% 7.4f", "nW", 1e9F, -1.0F, 1.8e-9F),
    row("% 7.3f", "nW", 1e9F, 1.999e-9F, 1.8e-8F),
    row("% 7.2f", "nW", 1e9F, 1.999e-8F, 1.8e-7F),
    row("% 7.4f", "uW", 1e6F, 1.999e-7F, 1.8e-6F),
    row("% 7.3f", "uW", 1e6F, 1.999e-6F, 1.8e-5F),
    row("% 7.2f", "uW", 1e6F, 1.999e-5F, 1.8e-4F),
    row("% 7.4f", "mW", 1e3F, 1.999e-4F, 0.0018F),
    row("% 7.3f", "mW", 1e3F, 0.001999F, 0.018F),
    row("% 7.2f", "mW", 1e3F, 0.01999F, 0.18F),
    row("% 7.4f", "W", 1.0F, 0.1999F, 1.8F),
    row("% 7.3f", "W", 1.0F, 1.999F, 18.0F),
    row("% 7.2f", "W", 1.0F, 19.99F, 180.0F),
    row("% 7.4f", "KW", 0.001F, 199.9F, 1800.0F),
    row("% 7.3f", "KW", 0.001F, 1999.0F, 18000.0F),
    row("% 7.2f", "KW", 0.001F, 19990.0F, 180000.0F),
    row("% 7.4f", "MW", 0.000001F, 199900.0F, 1800000.0F),
    row("% 7.3f", "MW", 0.000001F, 1999000.0F, 18000000.0F),
    row("% 7.2f", "MW", 0.000001F, 19990000.0F, -1.0F),
}};

int AutoRangeRS232_findNewRange(float power, int currentRange) {
  const int current = std::clamp(currentRange, 0, kRangeRS232Count - 1);
  int result = current;
  for (int i = current - 1; i >= 0 && power <= rangeFormatsRS232[static_cast<std::size_t>(i)].downThreshold; --i) {
    result = i;
  }
  if (current > kRangeRS232Count - 2) return result;
  for (int i = current + 1; i < kRangeRS232Count && power >= rangeFormatsRS232[static_cast<std::size_t>(i)].upThreshold;
       ++i) {
    result = i;
  }
  return std::min(result, kRangeRS232Count - 1);
}

const DISPLAY_RANGE_FORMAT_RS232& AutoRangeRS232_getRange(int index) {
  return rangeFormatsRS232[static_cast<std::size_t>(std::clamp(index, 0, kRangeRS232Count - 1))];
}
