// The graph's drawing cost. A full redraw happens after invalidation, a time
// row change or a resize; otherwise each display pass (every 300 ms) draws
// only the new samples.
#include <benchmark/benchmark.h>
#include <gtk/gtk.h>

#include <cmath>
#include <memory>

#include "display_fsm.h"
#include "graph.h"

namespace {

const GraphSettings_t kSettings{14000.0, 0.0, 11000.0, 3000.0, graphScale_mW, 10, false, graphModeRaw};

std::unique_ptr<CGraphData> fullDay() {
  auto data = std::make_unique<CGraphData>();
  CGraphData_create(data.get(), 64);
  for (std::uint32_t i = 0; i < kGraphRawCapacity; ++i) {
    // A noisy slow wave, so that the trace moves on every pixel.
    const double t = static_cast<double>(i);
    CGraphData_addItem(data.get(), static_cast<float>(7.0 + 5.0 * std::sin(t / 3000.0) + std::sin(t * 1.7)));
  }
  return data;
}

// Plot sizes of the single-channel graph (1020 x 350) and of one dual-channel
// graph (460 x 325), without the axis label margins.
void plotSizes(benchmark::internal::Benchmark* b) {
  b->Args({978, 314, RawData})->Args({418, 289, RawData})->Args({978, 314, AveragedData});
}

void BM_FullRedrawAtFullStore(benchmark::State& state) {
  const auto mode = static_cast<GraphDataMode_t>(state.range(2));
  const auto data = fullDay();
  GraphSettings_t settings = kSettings;
  settings.displayMode = mode == RawData ? graphModeRaw : graphModeAverage;
  CGTKGraphComponent component;
  CGTKGraphComponent_setPlotSize(&component, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  CGTKGraphComponent_updateTimeScale(&component, kGraphTimeRows - 1);
  for (auto _ : state) {
    component.previousDataIdx = 0;  // what invalidation does
    benchmark::DoNotOptimize(CGTKGraphComponent_plot(&component, data.get(), settings, false));
  }
  state.counters["samples"] = static_cast<double>(component.previousDataIdx + 1);
  CGTKGraphComponent_releaseSurface(&component);
}
BENCHMARK(BM_FullRedrawAtFullStore)->Apply(plotSizes)->Unit(benchmark::kMillisecond);

// One display pass with one new sample at the end of a full day.
void BM_RedrawStepOneNewSample(benchmark::State& state) {
  const auto data = fullDay();
  CGTKGraphComponent component;
  CGTKGraphComponent_setPlotSize(&component, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  CGTKGraphComponent_updateTimeScale(&component, kGraphTimeRows - 1);
  CGTKGraphComponent_plot(&component, data.get(), kSettings, false);
  const std::uint32_t last = component.previousDataIdx;
  for (auto _ : state) {
    component.previousDataIdx = last - 1;
    benchmark::DoNotOptimize(CGTKGraphComponent_plot(&component, data.get(), kSettings, false));
  }
  CGTKGraphComponent_releaseSurface(&component);
}
BENCHMARK(BM_RedrawStepOneNewSample)->Args({978, 314})->Args({418, 289})->Unit(benchmark::kMicrosecond);

// A display pass with nothing new (most passes: 300 ms passes, 1 s samples).
void BM_RedrawStepNothingNew(benchmark::State& state) {
  const auto data = fullDay();
  CGTKGraphComponent component;
  CGTKGraphComponent_setPlotSize(&component, 978, 314);
  CGTKGraphComponent_updateTimeScale(&component, kGraphTimeRows - 1);
  CGTKGraphComponent_plot(&component, data.get(), kSettings, false);
  for (auto _ : state) benchmark::DoNotOptimize(CGTKGraphComponent_plot(&component, data.get(), kSettings, false));
  CGTKGraphComponent_releaseSurface(&component);
}
BENCHMARK(BM_RedrawStepNothingNew)->Unit(benchmark::kMicrosecond);

// The sampler's append, with the moving average of the widest filter.
void BM_AddItem(benchmark::State& state) {
  auto data = std::make_unique<CGraphData>();
  CGraphData_create(data.get(), 64);
  std::uint32_t n = 0;
  for (auto _ : state) {
    if (++n == kGraphRawCapacity) {
      state.PauseTiming();
      CGraphData_reset(data.get());
      n = 0;
      state.ResumeTiming();
    }
    CGraphData_addItem(data.get(), 5.0F);
  }
}
BENCHMARK(BM_AddItem);

// Changing the filter width recomputes a full day of averages.
void BM_SetFilterWidthFullStore(benchmark::State& state) {
  const auto data = fullDay();
  std::uint32_t width = 2;
  for (auto _ : state) {
    CGraphData_setFilterWidth(data.get(), width);
    width = width == 64 ? 2 : 64;
  }
}
BENCHMARK(BM_SetFilterWidthFullStore)->Unit(benchmark::kMillisecond);


// Two dual-layout graphs on screen, as the display pass drives them: each
// pass redraws both (one new sample per channel each second) and GTK paints
// them. Needs a display (run under Xvfb); skipped without one.
void BM_TwoVisibleGraphsOneSecond(benchmark::State& state) {
  if (!gtk_init_check(nullptr, nullptr)) {
    state.SkipWithError("no display");
    return;
  }
  static CGTKTimePowerGraph graphs[2];
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWidget* fixed = gtk_fixed_new();
  gtk_container_add(GTK_CONTAINER(window), fixed);
  for (int c = 0; c < 2; ++c) {
    CGraphData_create(&sensorDisplays[c].graphDataPwr, 10);
    for (int i = 0; i < 80000; ++i) CGraphData_addItem(&sensorDisplays[c].graphDataPwr, 5.0F + static_cast<float>(i % 7));
    CGTKTimePowerGraph_create(&graphs[c], fixed, 560, 1 + 344 * c, 460, 325, &sensorDisplays[c].graphDataPwr, nullptr);
  }
  gtk_widget_show_all(window);
  while (gtk_events_pending()) gtk_main_iteration();
  for (auto& g : graphs) CGTKTimePowerGraph_update(&g);  // the full redraw after invalidation
  while (gtk_events_pending()) gtk_main_iteration();
  // GTK paints on its frame clock, not within the pass: the paint of each
  // plot area that changed is done here explicitly, into a scratch surface of
  // the screen's format.
  cairo_surface_t* screen = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 460, 325);
  for (auto _ : state) {
    // One second of the meter: the sampler appends once, the display pass
    // runs about three times.
    for (int c = 0; c < 2; ++c) CGraphData_addItem(&sensorDisplays[c].graphDataPwr, 6.0F);
    for (int pass = 0; pass < 3; ++pass) {
      for (auto& g : graphs) {
        const std::uint32_t before = g.graph.previousDataIdx;
        CGTKTimePowerGraph_update(&g);
        if (g.graph.previousDataIdx != before) {
          cairo_t* cr = cairo_create(screen);
          gtk_widget_draw(g.graph.plotArea, cr);
          cairo_destroy(cr);
        }
      }
      while (gtk_events_pending()) gtk_main_iteration();
    }
  }
  cairo_surface_destroy(screen);
  gtk_widget_destroy(window);
}
BENCHMARK(BM_TwoVisibleGraphsOneSecond)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
