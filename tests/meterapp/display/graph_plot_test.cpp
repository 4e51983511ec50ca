// The plot drawn into a cairo image surface, checked pixel by pixel: the
// trace colour where the samples are, none where they are not. No display.
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <initializer_list>
#include <memory>

#include "graph.h"

namespace {

// 0 .. 10 W (stored in mW), limit lines at 2 W and 8 W, raw samples.
GraphSettings_t wattSettings() {
  return GraphSettings_t{10000.0, 0.0, 8000.0, 2000.0, graphScale_mW, 10, false, graphModeRaw};
}

struct Rgb {
  int r, g, b;
};

class GraphPlotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    data = std::make_unique<CGraphData>();
    CGraphData_create(data.get(), 10);
  }
  void TearDown() override { CGTKGraphComponent_releaseSurface(&sut); }

  // A plot area whose time axis (w - 4 pixels for 60 s in row 0) gives 10
  // pixels per sample, and 100 pixels per 10 W... (h - 4 = 200).
  void makePlot(int w = 604, int h = 204) { CGTKGraphComponent_setPlotSize(&sut, w, h); }

  void add(std::initializer_list<float> watts) {
    for (float p : watts) CGraphData_addItem(data.get(), p);
  }
  void addSteady(int n, float watts) {
    for (int i = 0; i < n; ++i) CGraphData_addItem(data.get(), watts);
  }

  Rgb pixel(int x, int y) const {
    const unsigned char* base = cairo_image_surface_get_data(sut.plotAreaSurface);
    const int stride = cairo_image_surface_get_stride(sut.plotAreaSurface);
    std::uint32_t p;
    std::memcpy(&p, base + y * stride + x * 4, 4);
    return {static_cast<int>((p >> 16) & 0xff), static_cast<int>((p >> 8) & 0xff), static_cast<int>(p & 0xff)};
  }
  static bool isTrace(Rgb c) { return c.r > 180 && c.g < 130 && c.b < 130; }
  static bool isLimit(Rgb c) { return c.g > 120 && c.r < 130 && c.b < 130; }
  bool traceNear(int x, int y, int radius = 1) const {
    for (int dy = -radius; dy <= radius; ++dy) {
      for (int dx = -radius; dx <= radius; ++dx) {
        const int px = x + dx;
        const int py = y + dy;
        if (px >= 0 && py >= 0 && px < width() && py < height() && isTrace(pixel(px, py))) return true;
      }
    }
    return false;
  }
  int traceCount(int x0, int y0, int x1, int y1) const {
    int n = 0;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) n += isTrace(pixel(x, y)) ? 1 : 0;
    }
    return n;
  }
  int width() const { return static_cast<int>(sut.plotAreaDimensions.width); }
  int height() const { return static_cast<int>(sut.plotAreaDimensions.height); }
  bool plot(const GraphSettings_t& s = wattSettings(), bool dBm = false) {
    return CGTKGraphComponent_plot(&sut, data.get(), s, dBm);
  }

  CGTKGraphComponent sut;
  std::unique_ptr<CGraphData> data;
};

TEST_F(GraphPlotTest, ClearingDrawsTheAxesOnBlack) {
  makePlot();
  const Rgb axis = pixel(0, 100);
  EXPECT_EQ(axis.r, 0);
  EXPECT_GT(axis.b, 150);  // the blue axis
  const Rgb bottom = pixel(300, 200);
  EXPECT_GT(bottom.b, 150);
  const Rgb inside = pixel(300, 100);
  EXPECT_EQ(inside.r + inside.g + inside.b, 0);
  EXPECT_EQ(sut.previousDataIdx, 0U);
}

TEST_F(GraphPlotTest, ASteadyTraceIsDrawnWhereTheSamplesAreOnly) {
  makePlot();
  addSteady(30, 5.0F);  // 5 W: y = 200 - 200 * 0.5 = 100
  EXPECT_TRUE(plot());
  EXPECT_EQ(sut.previousDataIdx, 29U);
  for (int x = 2; x < 290; x += 7) EXPECT_TRUE(traceNear(x, 100)) << x;
  // Nothing after the last sample, nothing above or below the trace.
  EXPECT_EQ(traceCount(295, 0, width(), height()), 0);
  EXPECT_EQ(traceCount(0, 0, 290, 90), 0);
  EXPECT_EQ(traceCount(0, 110, 290, 200), 0);
  // The limit lines run across the plot: 8 W at y 40, 2 W at y 160.
  EXPECT_TRUE(isLimit(pixel(500, 40)));
  EXPECT_TRUE(isLimit(pixel(500, 160)));
}

TEST_F(GraphPlotTest, EachStepDrawsOnlyTheNewSamples) {
  makePlot();
  addSteady(10, 2.5F);  // y 150
  plot();
  EXPECT_EQ(sut.previousDataIdx, 9U);
  EXPECT_FALSE(plot());  // nothing new
  add({7.5F, 7.5F, 7.5F});  // y 50 from x 100 on
  EXPECT_TRUE(plot());
  EXPECT_EQ(sut.previousDataIdx, 12U);
  EXPECT_TRUE(traceNear(50, 150));   // the old part is still there
  EXPECT_TRUE(traceNear(115, 50));   // the new part
  EXPECT_TRUE(traceNear(95, 100));   // the rise between them
  EXPECT_EQ(traceCount(130, 0, width(), height()), 0);
}

TEST_F(GraphPlotTest, AHistoryEmptiedElsewhereStartsTheDrawingAgain) {
  makePlot();
  addSteady(30, 5.0F);
  plot();
  CGraphData_reset(data.get());
  EXPECT_TRUE(plot());  // the old trace is gone at once
  EXPECT_EQ(traceCount(0, 0, width(), height()), 0);
  addSteady(5, 2.5F);
  plot();
  EXPECT_TRUE(traceNear(20, 150));
  EXPECT_EQ(traceCount(60, 0, width(), height()), 0);
  EXPECT_EQ(traceCount(0, 90, 60, 110), 0);
}

TEST_F(GraphPlotTest, ASampleAboveTheMaximumMeetsTheTopEdgeInTwoHalves) {
  makePlot();
  add({5.0F, 20.0F, 5.0F});
  plot();
  // Half a segment up from sample 0 to the top at x 5, and down again from
  // x 15 to sample 2 at x 20.
  EXPECT_TRUE(traceNear(1, 98));
  EXPECT_TRUE(traceNear(5, 1));
  EXPECT_TRUE(traceNear(15, 1));
  EXPECT_TRUE(traceNear(19, 98));
  // Between the two halves the trace is off the plot: nothing at sample 1.
  EXPECT_EQ(traceCount(8, 0, 13, 200), 0);
}

TEST_F(GraphPlotTest, OutOfRangeSegmentsAreCutAtTheEdges) {
  makePlot();
  // below -> above, above -> below, below -> below, above -> above.
  add({-1.0F, 12.0F, -1.0F, -2.0F, 15.0F, 16.0F});
  plot();
  EXPECT_TRUE(traceNear(5, 100));    // vertical at the middle of segment 1
  EXPECT_TRUE(traceNear(15, 100));   // and of segment 2
  EXPECT_EQ(traceCount(22, 0, 28, 200), 0);  // segment 3 lies below: nothing
  EXPECT_TRUE(traceNear(35, 100));   // segment 4 crosses upward
  EXPECT_EQ(traceCount(42, 0, 48, 200), 0);  // segment 5 lies above: nothing
}

TEST_F(GraphPlotTest, TheTimeAxisWidensWhenTheSamplesOutgrowIt) {
  makePlot();
  addSteady(61, 5.0F);  // 60 s are not exceeded
  plot();
  EXPECT_EQ(sut.scaleIdxX, 0);
  EXPECT_EQ(sut.previousDataIdx, 60U);
  // The segment to the 61st sample would end on the axis' end (60 s): the
  // trace stops one segment before it.
  EXPECT_TRUE(traceNear(588, 100));
  EXPECT_EQ(traceCount(593, 0, width(), height()), 0);

  add({5.0F});  // the 62nd: row 1 (120 s), drawn again from the first sample
  plot();
  EXPECT_EQ(sut.scaleIdxX, 1);
  EXPECT_EQ(sut.previousDataIdx, 61U);
  EXPECT_TRUE(traceNear(3, 100));
  EXPECT_TRUE(traceNear(300, 100));  // 61 s at 5 pixels a second
  EXPECT_EQ(traceCount(310, 0, width(), height()), 0);
}

TEST_F(GraphPlotTest, AfterInvalidationTheRowFitsTheHistory) {
  makePlot();
  addSteady(400, 5.0F);
  CGTKGraphComponent_updateTimeScale(&sut, graphTimeRow_forSampleCount(400));
  EXPECT_EQ(sut.scaleIdxX, 3);  // 480 s
  plot();
  EXPECT_EQ(sut.scaleIdxX, 3);

  CGraphData_reset(data.get());
  addSteady(500, 5.0F);
  CGTKGraphComponent_updateTimeScale(&sut, graphTimeRow_forSampleCount(500));
  EXPECT_EQ(sut.scaleIdxX, 3);
  plot();  // 499 s exceed 480 s
  EXPECT_EQ(sut.scaleIdxX, 4);
  EXPECT_EQ(sut.previousDataIdx, 499U);
}

TEST_F(GraphPlotTest, ADaysHistoryUsesTheLastRow) {
  makePlot(1016, 354);
  for (std::uint32_t i = 0; i < kGraphRawCapacity; ++i) CGraphData_addItem(data.get(), ((i / 3600) % 2 ? 7.0F : 3.0F) + ((i % 600) == 0 ? 2.0F : 0.0F));
  CGTKGraphComponent_updateTimeScale(&sut, graphTimeRow_forSampleCount(kGraphMaxShownSamples));
  plot();
  const std::filesystem::path artifacts = std::filesystem::path(R9050_BINARY_DIR) / "artifacts";
  std::filesystem::create_directories(artifacts);
  cairo_surface_write_to_png(sut.plotAreaSurface, (artifacts / "graph_plot_day.png").c_str());
  EXPECT_EQ(sut.scaleIdxX, 11);
  EXPECT_EQ(sut.previousDataIdx, kGraphMaxShownSamples - 1);
  // One hour is 1012 / 24 pixels: low in the first hour, high in the second.
  EXPECT_TRUE(traceNear(20, 350 - 350 * 3 / 10, 2));
  EXPECT_TRUE(traceNear(62, 350 - 350 * 7 / 10, 2));
}

TEST_F(GraphPlotTest, AveragedModeWaitsForTheFirstAverage) {
  makePlot();
  GraphSettings_t s = wattSettings();
  s.displayMode = graphModeAverage;
  addSteady(9, 5.0F);  // width 10: no average yet
  EXPECT_TRUE(plot(s));
  EXPECT_EQ(sut.waitIndicator.state, 1U);
  EXPECT_GT(traceCount(150, 100, 600, 170), 50);  // "Waiting for prefill..."
  for (int i = 0; i < 23; ++i) plot(s);
  EXPECT_EQ(sut.waitIndicator.state, 0U);  // a full turn: now clearing
  EXPECT_FALSE(sut.waitIndicator.fill);

  add({5.0F, 5.0F});  // two averages: the drawing starts afresh
  plot(s);
  EXPECT_EQ(sut.previousDataIdx, 1U);
  EXPECT_EQ(traceCount(150, 120, 600, 170), 0);
  EXPECT_TRUE(traceNear(5, 100));
}

TEST_F(GraphPlotTest, DbmModeUsesTheDbmRange) {
  makePlot();
  // -10 .. 40 dBm; 1 W is 30 dBm: y = 200 - 200 * 40 / 50 = 40.
  const GraphSettings_t s{40.0, -10.0, 40.0, -10.0, graphScale_dBm, 10, false, graphModeRaw};
  addSteady(5, 1.0F);
  plot(s, true);
  EXPECT_TRUE(traceNear(20, 40));
  EXPECT_EQ(traceCount(0, 50, 60, 200), 0);
}

TEST_F(GraphPlotTest, ABrokenRangeDrawsNoTrace) {
  makePlot();
  addSteady(20, 5.0F);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (GraphSettings_t s : {GraphSettings_t{5000, 5000, 0, 0, graphScale_mW, 10, false, graphModeRaw},
                            GraphSettings_t{1000, 9000, 0, 0, graphScale_mW, 10, false, graphModeRaw},
                            GraphSettings_t{nan, 0, 0, 0, graphScale_mW, 10, false, graphModeRaw}}) {
    sut.previousDataIdx = 0;
    plot(s);
    EXPECT_EQ(traceCount(0, 0, width(), height()), 0);
  }
  // The same settings made safe draw the trace.
  sut.previousDataIdx = 0;
  plot(graphSettings_sanitize(GraphSettings_t{1000, 9000, 0, 0, graphScale_mW, 10, false, graphModeRaw}));
  EXPECT_GT(traceCount(0, 0, width(), height()), 0);
}

TEST_F(GraphPlotTest, ATinyPlotDrawsNothingAndDoesNotFail) {
  addSteady(100, 5.0F);
  for (int side : {1, 3, 7}) {
    CGTKGraphComponent_setPlotSize(&sut, side, side);
    EXPECT_FALSE(plot());
    EXPECT_EQ(traceCount(0, 0, width(), height()), 0);
  }
  CGTKGraphComponent_setPlotSize(&sut, 0, -5);  // before any allocation
  EXPECT_EQ(width(), 1);
  EXPECT_FALSE(plot());
}

// The wait indicator's text makes cairo cache a font; the cache is released
// at the end so that a leak check sees only leaks of the graph.
class CairoCaches : public ::testing::Environment {
 public:
  void TearDown() override {
    cairo_debug_reset_static_data();
    FcFini();
  }
};
[[maybe_unused]] ::testing::Environment* const cairoCaches = ::testing::AddGlobalTestEnvironment(new CairoCaches);

}  // namespace
