// The USB sensor slot USB1 measuring a simulated P804.
//
// BM_UsbCycles: measuring cycles per second in CW and in pulse mode against
// the unpaced simulator, with the handler's own 20 ms idle at the end of each
// cycle and without it (idle_ms 0: what the exchange itself costs).
// BM_UsbReadingLatency: time from a change of the simulator's forward power
// to the new value in the slot's measurements (median and p95).
// BM_UsbProcessorUse: processor time of the handler thread per second of wall
// time while the sensor is paced like a real one: every reply takes
// kReplyTime and a measurement kMeasurementTime before "*OPC?" reports it
// complete. The paced sensor is the simulator's P804 model played by this
// program, since the simulator answers USB requests at once.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <pthread.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "configuration.h"
#include "device_root.h"
#include "platform.h"
#include "pty.h"
#include "pulse_sensor_config.h"
#include "scratch.h"
#include "sensor_data.h"
#include "sensor_port_handler.h"
#include "simulator.h"
// Two headers share the name: the meter's private handler header comes first
// on the include path, the simulator's sensor model is named by its place.
#include "../../sim/usb_sensor.h"
#include "usb_sensor.h"
#include "usbtmc_port.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kPort = sensorPort_USB1;
constexpr auto kReplyTime = 1ms;          // one USB round trip of a real sensor
constexpr auto kMeasurementTime = 100ms;  // one triggered measurement

using test_support::ScratchDir;

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!condition()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(200us);
  }
  return true;
}

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[index];
}

// The slot bound to the root's "/dev/usbtmc0", as detection binds it.
class BoundSlot {
 public:
  explicit BoundSlot(const std::string& root, bool pulse, std::chrono::milliseconds idle) {
    Platform_setRoot(root);
    sensorPortHandler_setPulseConfigFile("");
    configuration_setPulseMode(pulse);
    UsbHandlerTiming timing;
    timing.idle = idle;
    UsbSensor_setTiming(timing);
    SensorPortHandler_Create(kPort);
    USB_HANDLER_DATA& h = sensorUsbHandlerData[0];
    h.usbPort.fd = UsbTmcPort_Open(kPort, "/dev/usbtmc0");
    h.usbPort.portClosed = false;
    h.usbPort.portState = sensorPortConnected;
    cyclesAtStart_ = SensorPortHandler_getUsbCycleCount(kPort);
    sensorPortHandler_setIsConnected(kPort, true);
  }
  BoundSlot(const BoundSlot&) = delete;
  BoundSlot& operator=(const BoundSlot&) = delete;
  ~BoundSlot() {
    sensorPortHandler_setIsConnected(kPort, false);
    SensorPortHandler_Stop(kPort);
    sensorPortHandler_releaseUsbDescriptor(kPort);
    sensorPortHandler_closeRetiredUsbDescriptor(kPort);
    sensorPortHandler_resetUsbSlot(kPort);
    configuration_setPulseMode(false);
    UsbSensor_setTiming(UsbHandlerTiming{});
    Platform_setRoot("");
  }
  // The cycle count is process-wide and never reset: this slot measures once
  // two cycles of its own have completed.
  bool measuring() const {
    const std::uint64_t start = cyclesAtStart_;
    return waitFor([start] { return SensorPortHandler_getUsbCycleCount(kPort) >= start + 2; }, 30s);
  }

 private:
  std::uint64_t cyclesAtStart_ = 0;
};

void BM_UsbCycles(benchmark::State& state) {
  ScratchDir dir("usb-bench");
  const bool pulse = state.range(0) != 0;
  Simulator sim(SimOptions{dir.str(), false, 50});
  sim.control("plug usb1 P804");
  BoundSlot slot(dir.str(), pulse, std::chrono::milliseconds(state.range(1)));
  if (!slot.measuring()) {
    state.SkipWithError("the sensor never completed a cycle");
    return;
  }
  const std::uint64_t firstCycle = SensorPortHandler_getUsbCycleCount(kPort);
  const auto began = Clock::now();
  for (auto _ : state) {
    const std::uint64_t before = SensorPortHandler_getUsbCycleCount(kPort);
    if (!waitFor([&] { return SensorPortHandler_getUsbCycleCount(kPort) > before; }, 10s)) {
      state.SkipWithError("the measuring cycle stopped");
      break;
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
  const auto cycles = static_cast<double>(SensorPortHandler_getUsbCycleCount(kPort) - firstCycle);
  state.counters["cycles_per_s"] = cycles / seconds;
}

void BM_UsbReadingLatency(benchmark::State& state) {
  ScratchDir dir("usb-bench");
  Simulator sim(SimOptions{dir.str(), false, 50});
  sim.control("plug usb1 P804");
  BoundSlot slot(dir.str(), state.range(0) != 0, 20ms);
  if (!slot.measuring()) {
    state.SkipWithError("the sensor never completed a cycle");
    return;
  }
  std::vector<double> latencies;
  int step = 0;
  for (auto _ : state) {
    const float value = 10.0F + static_cast<float>(++step);
    const auto changed = Clock::now();
    sim.control("set usb1 fwd " + std::to_string(value));
    if (!waitFor([&] { return sensorPortHandler_getSensorMeasurements(kPort).fwdPwrVal == value; }, 10s)) {
      state.SkipWithError("the new reading never arrived");
      break;
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - changed).count();
    latencies.push_back(ms);
    state.SetIterationTime(ms / 1000.0);
    // Changes come at a pace of their own, not in step with the cycle.
    std::this_thread::sleep_for(std::chrono::microseconds(3000 + 7919 * step % 20000));
  }
  if (latencies.empty()) return;
  state.counters["median_ms"] = percentile(latencies, 0.5);
  state.counters["p95_ms"] = percentile(latencies, 0.95);
  state.counters["max_ms"] = *std::max_element(latencies.begin(), latencies.end());
}

// The paced sensor: the simulator's model behind a pseudo-terminal, with the
// delays of a real instrument.
void playPacedSensor(const std::stop_token& stop, const Pty& pty, ::UsbSensor& sensor) {
  std::string pending;
  Clock::time_point measured{};
  while (!stop.stop_requested()) {
    pollfd p{pty.master(), POLLIN, 0};
    if (::poll(&p, 1, 10) <= 0) continue;
    std::array<char, 512> bytes{};
    const ssize_t n = ::read(pty.master(), bytes.data(), bytes.size());
    if (n <= 0) continue;
    pending.append(bytes.data(), static_cast<std::size_t>(n));
    for (std::size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
      const std::string message = pending.substr(0, end);
      pending.erase(0, end + 1);
      std::this_thread::sleep_for(kReplyTime);
      if (message == "INIT") measured = Clock::now() + kMeasurementTime;
      std::optional<std::string> reply = sensor.handle(message);
      if (message == "*OPC?" && Clock::now() < measured) reply = "0\n";
      if (reply && ::write(pty.master(), reply->data(), reply->size()) < 0) return;
    }
  }
}

void BM_UsbProcessorUse(benchmark::State& state) {
  ScratchDir dir("usb-bench");
  DeviceRoot_build(dir.str());
  Pty pty(50);
  ::UsbSensor sensor("P804");
  DeviceRoot_link(pty.slavePath(), dir.str() + "/dev/usbtmc0");
  std::jthread player([&](std::stop_token stop) { playPacedSensor(stop, pty, sensor); });
  {
    BoundSlot slot(dir.str(), state.range(0) != 0, 20ms);
    if (!slot.measuring()) {
      state.SkipWithError("the sensor never completed a cycle");
      return;
    }
    clockid_t handlerClock{};
    if (::pthread_getcpuclockid(sensorUsbHandlerData[0].thread_id.native_handle(), &handlerClock) != 0) {
      state.SkipWithError("no processor clock for the handler thread");
      return;
    }
    const auto cpuSeconds = [&] {
      timespec t{};
      ::clock_gettime(handlerClock, &t);
      return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    };
    const double cpuBefore = cpuSeconds();
    const std::uint64_t cyclesBefore = SensorPortHandler_getUsbCycleCount(kPort);
    const auto began = Clock::now();
    for (auto _ : state) std::this_thread::sleep_for(1s);
    const double wall = std::chrono::duration<double>(Clock::now() - began).count();
    state.counters["handler_cpu_percent"] = 100.0 * (cpuSeconds() - cpuBefore) / wall;
    state.counters["cycles_per_s"] = static_cast<double>(SensorPortHandler_getUsbCycleCount(kPort) - cyclesBefore) / wall;
  }
  player.request_stop();
  DeviceRoot_unlink(dir.str() + "/dev/usbtmc0");
}

}  // namespace

BENCHMARK(BM_UsbCycles)
    ->ArgNames({"pulse", "idle_ms"})
    ->Args({0, 20})
    ->Args({1, 20})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Iterations(200)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UsbReadingLatency)->ArgName("pulse")->Arg(0)->Arg(1)->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UsbProcessorUse)->ArgName("pulse")->Arg(0)->Arg(1)->Iterations(5)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
