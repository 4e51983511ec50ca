// The per-channel power history: raw samples and their moving averages.
//
// The sampler thread appends once a second while the display thread reads;
// every operation holds the store's mutex for its whole run.
#include <algorithm>
#include <cmath>
#include <limits>

#include "graph.h"
#include "simple_timer.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

std::uint32_t clampWidth(std::uint32_t width) {
  return std::clamp(width, kGraphMinFilterWidth, kGraphMaxFilterWidth);
}

// averageData[s] = mean of rawData[s .. s + w - 1], stamped like rawData[s].
void computeAverage(CGraphData& d, std::uint32_t s) {
  double sum = 0.0;
  for (std::uint32_t i = s; i < s + d.filterWidth; ++i) sum += d.rawData[i].power;
  d.averageData[s].power = static_cast<float>(sum / d.filterWidth);
  d.averageData[s].timestamp = d.rawData[s].timestamp;
}

std::uint32_t averagedCount(const CGraphData& d) {
  return d.filterWidth != 0 && d.count >= d.filterWidth ? d.count - d.filterWidth + 1 : 0;
}

GraphDataItem rawItem(const CGraphData& d, std::uint32_t index) {
  if (index < d.count) return d.rawData[index];
  return {kNaN, 0};
}

GraphDataItem filterItem(const CGraphData& d, std::uint32_t index) {
  if (index < averagedCount(d)) return d.averageData[index];
  return {kNaN, 0};
}

// The items an extreme is taken over. Before the first average exists the
// raw samples stand in, so the automatic scale always has finite bounds.
struct Scan {
  const GraphDataItem* items;
  std::uint32_t n;
};
Scan scanOf(const CGraphData& d, GraphDataMode_t mode) {
  if (mode == AveragedData && averagedCount(d) > 0) {
    return {d.averageData.data(), std::min(averagedCount(d), kGraphMaxShownSamples)};
  }
  return {d.rawData.data(), std::min(d.count, kGraphMaxShownSamples)};
}

}  // namespace

void CGraphData_create(CGraphData* instance, std::uint32_t filterWidth) {
  std::lock_guard guard(instance->mutex);
  instance->filterWidth = clampWidth(filterWidth);
  instance->rawData.fill({});
  instance->averageData.fill({});
  instance->count = 0;
}

void CGraphData_reset(CGraphData* instance) {
  std::lock_guard guard(instance->mutex);
  instance->rawData.fill({});
  instance->averageData.fill({});
  instance->count = 0;
}

void CGraphData_addItem(CGraphData* instance, float power) {
  if (std::isnan(power)) return;
  const std::uint32_t now = getTime_ms();
  std::lock_guard guard(instance->mutex);
  CGraphData& d = *instance;
  if (d.count >= kGraphRawCapacity) return;  // the store does not wrap
  d.rawData[d.count] = {power, now};
  ++d.count;
  if (d.filterWidth != 0 && d.count >= d.filterWidth) computeAverage(d, d.count - d.filterWidth);
}

void CGraphData_setFilterWidth(CGraphData* instance, std::uint32_t width) {
  std::lock_guard guard(instance->mutex);
  CGraphData& d = *instance;
  d.filterWidth = clampWidth(width);
  d.averageData.fill({});
  const std::uint32_t n = averagedCount(d);
  for (std::uint32_t s = 0; s < n; ++s) computeAverage(d, s);
}

std::uint32_t CGraphData_getFilterWidth(const CGraphData* instance) {
  std::lock_guard guard(instance->mutex);
  return instance->filterWidth;
}

GraphDataItem CGraphData_getRawItem(const CGraphData* instance, std::uint32_t index) {
  std::lock_guard guard(instance->mutex);
  return rawItem(*instance, index);
}

GraphDataItem CGraphData_getFilterItem(const CGraphData* instance, std::uint32_t index) {
  std::lock_guard guard(instance->mutex);
  return filterItem(*instance, index);
}

GraphDataItem CGraphData_getItem(const CGraphData* instance, std::uint32_t index, GraphDataMode_t mode) {
  return mode == RawData ? CGraphData_getRawItem(instance, index) : CGraphData_getFilterItem(instance, index);
}

std::uint32_t CGraphData_getCount(const CGraphData* instance, GraphDataMode_t mode) {
  std::lock_guard guard(instance->mutex);
  return mode == RawData ? instance->count : averagedCount(*instance);
}

float CGraphData_getMinValue(const CGraphData* instance, GraphDataMode_t mode) {
  std::lock_guard guard(instance->mutex);
  const Scan scan = scanOf(*instance, mode);
  if (scan.n == 0) return kNaN;
  float result = std::numeric_limits<float>::max();
  for (std::uint32_t i = 0; i < scan.n; ++i) result = std::min(result, scan.items[i].power);
  return result;
}

float CGraphData_getMaxValue(const CGraphData* instance, GraphDataMode_t mode) {
  std::lock_guard guard(instance->mutex);
  const Scan scan = scanOf(*instance, mode);
  if (scan.n == 0) return kNaN;
  float result = std::numeric_limits<float>::min();  // smallest positive normal: powers are not negative
  for (std::uint32_t i = 0; i < scan.n; ++i) result = std::max(result, scan.items[i].power);
  return result;
}

std::uint32_t CGraphData_copyItems(const CGraphData* instance, std::uint32_t first, GraphDataMode_t mode,
                                   GraphDataItem* out, std::uint32_t capacity) {
  std::lock_guard guard(instance->mutex);
  const CGraphData& d = *instance;
  const std::uint32_t n = mode == RawData ? d.count : averagedCount(d);
  if (first >= n) return 0;
  const std::uint32_t copied = std::min(n - first, capacity);
  const GraphDataItem* source = mode == RawData ? d.rawData.data() : d.averageData.data();
  std::copy(source + first, source + first + copied, out);
  return copied;
}
