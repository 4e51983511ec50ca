// Measuring cycle of a serial CW sensor port.
//
// The handler of serial port 1 reads a simulated C604 that answers at 9600
// baud 8N1, and each iteration is one complete F, R, H, T, S cycle as the
// handler itself times it (measCycle_time_ms). One cycle moves 22 bytes of 10
// bits over the line, so it cannot be shorter than about 22.9 ms; the
// counters report the median and its ratio to that limit. The unpaced run
// (argument 0) shows what the handler itself adds to a cycle.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform.h"
#include "scratch.h"
#include "sensor_data.h"
#include "sensor_port_handler.h"
#include "serial_sensor.h"
#include "simulator.h"

namespace {

using namespace std::chrono_literals;

constexpr int kPort = sensorPort_Serial1;
constexpr double kLineLimitMs = 22.0 * 10.0 / 9600.0 * 1000.0;

using test_support::ScratchDir;

template <typename Condition>
bool waitFor(Condition condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[index];
}

void BM_SerialCwMeasuringCycle(benchmark::State& state) {
  ScratchDir dir("serialcw-bench");  // throws when no scratch folder can be made
  const bool paced = state.range(0) != 0;
  Simulator sim(SimOptions{dir.str(), paced, 50});
  sim.control("plug serial1 C604");
  Platform_setRoot(dir.str());
  SensorPortHandler_Create(kPort);
  sensorPortHandler_setIsConnected(kPort, true);

  std::vector<double> cycles;
  double lastFinish = 0.0;
  const bool measuring = waitFor(
      [&] {
        lastFinish = SensorPortHandler_getSerialCycleTiming(kPort).finish_time_ms;
        return lastFinish > 0.0;
      },
      30s);
  if (!measuring) state.SkipWithError("the sensor never completed a cycle");

  for (auto _ : state) {
    SerialCycleTiming timing;
    if (!waitFor(
            [&] {
              timing = SensorPortHandler_getSerialCycleTiming(kPort);
              return timing.finish_time_ms != lastFinish;
            },
            5s)) {
      state.SkipWithError("the measuring cycle stopped");
      break;
    }
    lastFinish = timing.finish_time_ms;
    cycles.push_back(timing.measCycle_time_ms);
    state.SetIterationTime(timing.measCycle_time_ms / 1000.0);
  }

  sensorPortHandler_setIsConnected(kPort, false);
  SensorPortHandler_Stop(kPort);
  Platform_setRoot("");
  if (cycles.empty()) return;
  const double median = percentile(cycles, 0.5);
  state.counters["cycles"] = static_cast<double>(cycles.size());
  state.counters["median_ms"] = median;
  state.counters["min_ms"] = *std::min_element(cycles.begin(), cycles.end());
  state.counters["p90_ms"] = percentile(cycles, 0.9);
  state.counters["max_ms"] = *std::max_element(cycles.begin(), cycles.end());
  if (paced) {
    state.counters["line_limit_ms"] = kLineLimitMs;
    state.counters["median_over_limit"] = median / kLineLimitMs;
  }
}

BENCHMARK(BM_SerialCwMeasuringCycle)->ArgName("paced")->Arg(1)->Arg(0)->Iterations(200)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
