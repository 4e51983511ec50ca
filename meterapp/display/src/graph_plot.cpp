// The graph's plot: the axes, the trace, the limit lines and the wait
// indicator, drawn with cairo into the component's persistent image surface.
// Each step draws only the samples added since the last one.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "graph.h"
#include "graph_internal.h"

namespace {

// A plot smaller than this has no room for a trace (and before the first
// size allocation a widget is 1 x 1).
constexpr int kMinPlotSide = 8;
constexpr std::uint32_t kCopyChunk = 1024;

void setColour(cairo_t* cr, const GraphColour& c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

bool hasRoom(const CGTKGraphComponent& c) {
  return c.plotAreaSurface != nullptr && static_cast<int>(c.plotAreaDimensions.width) >= kMinPlotSide &&
         static_cast<int>(c.plotAreaDimensions.height) >= kMinPlotSide;
}

// The plot's geometry in floating point: x from 0 to w - 4, y from h - 4
// (the range minimum) up to 0 (the maximum).
struct Geometry {
  double plotWidth;
  double plotHeight;
  double lo;
  double hi;
  double spanMs;  // the time axis in milliseconds
  double y(double p) const { return plotHeight - plotHeight * (p - lo) / (hi - lo); }
  double x(std::uint32_t i) const { return static_cast<double>(i) * 1000.0 * plotWidth / spanMs; }
};

// Collects the trace as polylines and hands cairo at most four points per
// pixel column (entry, lowest, highest, exit): at a day's span there are
// about ninety samples per column, and stroking a jagged polyline of 86400
// points costs seconds, while the reduced one draws the same pixels.
class TraceSink {
 public:
  explicit TraceSink(cairo_t* cr) : cr_(cr) {}
  TraceSink(const TraceSink&) = delete;
  TraceSink& operator=(const TraceSink&) = delete;
  ~TraceSink() { flush(); }

  // A line from (ax, ay) to (bx, by); joins the previous one when it starts
  // where that ended.
  void line(double ax, double ay, double bx, double by) {
    if (!open_ || ax != lastX_ || ay != lastY_) {
      flush();
      cairo_move_to(cr_, ax, ay);
      open_ = true;
      startColumn(ax, ay);
    }
    point(bx, by);
  }

  void flush() {
    if (!open_) return;
    emitColumn();
    open_ = false;
  }

 private:
  void startColumn(double x, double y) {
    column_ = std::floor(x);
    firstX_ = lastX_ = x;
    firstY_ = lastY_ = minY_ = maxY_ = y;
  }
  void point(double x, double y) {
    if (std::floor(x) != column_) {
      // Into the next column: the step there is drawn as it is.
      emitColumn();
      cairo_line_to(cr_, x, y);
      startColumn(x, y);
      return;
    }
    lastX_ = x;
    lastY_ = y;
    minY_ = std::min(minY_, y);
    maxY_ = std::max(maxY_, y);
  }
  void emitColumn() {
    cairo_line_to(cr_, firstX_, firstY_);
    if (minY_ < std::min(firstY_, lastY_)) cairo_line_to(cr_, firstX_, minY_);
    if (maxY_ > std::max(firstY_, lastY_)) cairo_line_to(cr_, firstX_, maxY_);
    cairo_line_to(cr_, lastX_, lastY_);
  }

  cairo_t* cr_;
  bool open_ = false;
  double column_ = 0;
  double firstX_ = 0, firstY_ = 0, lastX_ = 0, lastY_ = 0, minY_ = 0, maxY_ = 0;
};

// One segment between samples i - 1 and i, cut at the plot's edges.
void addSegment(TraceSink& sink, const Geometry& g, std::uint32_t i, double p0, double p1) {
  const double x0 = g.x(i - 1);
  const double x1 = g.x(i);
  const double m = (x0 + x1) / 2;
  const double top = 0.0;
  const double bottom = g.plotHeight;
  const auto line = [&sink](double ax, double ay, double bx, double by) { sink.line(ax, ay, bx, by); };
  const bool in0 = p0 >= g.lo && p0 <= g.hi;
  const bool in1 = p1 >= g.lo && p1 <= g.hi;
  if (in0) {
    if (in1) {
      line(x0, g.y(p0), x1, g.y(p1));
    } else {
      line(x0, g.y(p0), m, p1 > g.hi ? top : bottom);
    }
  } else if (p0 > g.hi) {
    if (in1) {
      line(m, top, x1, g.y(p1));
    } else if (p1 < g.lo) {
      line(m, top, m, bottom);
    }
  } else if (p0 < g.lo) {  // NaN is neither above nor below: nothing drawn
    if (in1) {
      line(m, bottom, x1, g.y(p1));
    } else if (p1 > g.hi) {
      line(m, bottom, m, top);
    }
  }
}

void drawLimitLine(cairo_t* cr, const Geometry& g, double value) {
  if (!std::isfinite(value)) return;
  const double y = g.y(std::clamp(value, g.lo, g.hi));
  cairo_move_to(cr, 0, y);
  cairo_line_to(cr, g.plotWidth, y);
}

void drawSamples(cairo_t* cr, const Geometry& g, const CGraphData* data, GraphDataMode_t mode, std::uint32_t first,
                 std::uint32_t n, bool isdBm) {
  std::array<GraphDataItem, kCopyChunk> chunk;
  TraceSink sink(cr);
  // Segment i joins samples i - 1 and i; copy from first - 1 on.
  std::uint32_t next = first - 1;
  double previous = 0.0;
  bool havePrevious = false;
  while (next < n) {
    const std::uint32_t copied = CGraphData_copyItems(data, next, mode, chunk.data(), kCopyChunk);
    if (copied == 0) break;
    for (std::uint32_t k = 0; k < copied; ++k) {
      const std::uint32_t i = next + k;
      if (i >= n || static_cast<double>(i) * 1000.0 >= g.spanMs) return;
      const double p = getPowerInCorrectUnits(chunk[k].power, isdBm);
      if (havePrevious) addSegment(sink, g, i, previous, p);
      previous = p;
      havePrevious = true;
    }
    next += copied;
  }
}

}  // namespace

void CGTKGraphComponent_setPlotSize(CGTKGraphComponent* component, int width, int height) {
  width = std::max(width, 1);
  height = std::max(height, 1);
  CGTKGraphComponent& c = *component;
  if (c.plotAreaSurface == nullptr || static_cast<int>(c.plotAreaDimensions.width) != width ||
      static_cast<int>(c.plotAreaDimensions.height) != height) {
    CGTKGraphComponent_releaseSurface(component);
    c.plotAreaSurface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    c.plotAreaDimensions = {static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)};
  }
  CGTKGraphComponent_clearGraph(component);
}

void CGTKGraphComponent_releaseSurface(CGTKGraphComponent* component) {
  if (component->plotAreaSurface != nullptr) cairo_surface_destroy(component->plotAreaSurface);
  component->plotAreaSurface = nullptr;
  component->plotAreaDimensions = {};
}

void CGTKGraphComponent_clearGraph(CGTKGraphComponent* component) {
  CGTKGraphComponent& c = *component;
  c.waitIndicator = {0, true};
  c.previousDataIdx = 0;
  if (c.plotAreaSurface == nullptr) return;
  cairo_t* cr = cairo_create(c.plotAreaSurface);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  if (hasRoom(c)) {
    const double w = c.plotAreaDimensions.width;
    const double h = c.plotAreaDimensions.height;
    setColour(cr, kGraphAxisBlue);
    cairo_set_line_width(cr, 2);
    cairo_move_to(cr, 0, 0);
    cairo_line_to(cr, 0, h - 4);
    cairo_line_to(cr, w - 4, h - 4);
    cairo_stroke(cr);
  }
  cairo_destroy(cr);
  cairo_surface_flush(c.plotAreaSurface);
}

void CGTKGraphComponent_updateTimeScale(CGTKGraphComponent* component, int row) {
  CGTKGraphComponent& c = *component;
  c.scaleIdxX = std::clamp(row, 0, kGraphTimeRows - 1);
  c.previousDataIdx = 0;
  if (c.timeLabel != nullptr) gtk_label_set_text(GTK_LABEL(c.timeLabel), scalesX[c.scaleIdxX].unit);
  if (c.xAxisMaxLabel != nullptr) {
    char text[16];
    std::snprintf(text, sizeof text, "%u", scalesX[c.scaleIdxX].maxSeconds / scalesX[c.scaleIdxX].scale);
    rightJustifyString(text);
    gtk_label_set_text(GTK_LABEL(c.xAxisMaxLabel), text);
  }
}

void CGTKGraphComponent_drawWaitIndicator(CGTKGraphComponent* component) {
  CGTKGraphComponent& c = *component;
  if (!hasRoom(c)) return;
  const bool narrow = c.plotAreaDimensions.width < 600;
  cairo_t* cr = cairo_create(c.plotAreaSurface);
  setColour(cr, kGraphTraceRed);
  cairo_select_font_face(cr, "Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, narrow ? 16.0 * 96 / 72 : 28.0 * 96 / 72);
  cairo_move_to(cr, narrow ? 87 : 175, narrow ? 155 : 160);
  cairo_show_text(cr, "Waiting for prefill...");
  const double cx = narrow ? 50 : 100;
  const double cy = narrow ? 145 : 155;
  const double radius = narrow ? 18 : 25;
  const double segment = 2 * std::numbers::pi / 24;
  const double start = -std::numbers::pi / 2 + segment * c.waitIndicator.state;
  cairo_move_to(cr, cx, cy);
  cairo_arc(cr, cx, cy, radius, start, start + segment);
  cairo_close_path(cr);
  if (c.waitIndicator.fill) {
    setColour(cr, kGraphTraceRed);
  } else {
    cairo_set_source_rgb(cr, 0, 0, 0);
  }
  cairo_fill(cr);
  cairo_destroy(cr);
  cairo_surface_flush(c.plotAreaSurface);
  if (++c.waitIndicator.state >= 24) {
    c.waitIndicator.state = 0;
    c.waitIndicator.fill = !c.waitIndicator.fill;
  }
}

bool CGTKGraphComponent_plot(CGTKGraphComponent* component, const CGraphData* data, const GraphSettings_t& settings,
                             bool isdBm) {
  CGTKGraphComponent& c = *component;
  const GraphDataMode_t mode = settings.displayMode != graphModeRaw ? AveragedData : RawData;
  const std::uint32_t n = std::min(CGraphData_getCount(data, mode), kGraphMaxShownSamples);
  if (mode == AveragedData && n == 0) {
    CGTKGraphComponent_drawWaitIndicator(component);
    return true;
  }
  // A history emptied behind the graph's back (the state machine resets the
  // channel's store) must not leave the old trace to be continued.
  if (n < c.previousDataIdx) CGTKGraphComponent_clearGraph(component);
  if (n < 2 || n <= c.previousDataIdx + 1) return c.previousDataIdx == 0;
  while (static_cast<double>(n - 1) * 1000.0 > scalesX[c.scaleIdxX].maxSeconds * 1000.0 &&
         c.scaleIdxX < kGraphTimeRows - 1) {
    CGTKGraphComponent_updateTimeScale(component, c.scaleIdxX + 1);
  }
  if (n <= c.previousDataIdx) c.previousDataIdx = 0;
  if (c.previousDataIdx == 0) CGTKGraphComponent_clearGraph(component);
  if (!hasRoom(c)) return false;

  double lo = getGraphPowerValueInCorrectUnits(settings.minPower, settings.unit, isdBm);
  double hi = getGraphPowerValueInCorrectUnits(settings.maxPower, settings.unit, isdBm);
  if (!isdBm) {
    lo /= 1000.0;
    hi /= 1000.0;
  }
  // The cached settings are validated when loaded; still, never divide by a
  // span that is not a positive number.
  if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi - lo > 0)) return true;
  const Geometry g{static_cast<double>(c.plotAreaDimensions.width) - 4,
                   static_cast<double>(c.plotAreaDimensions.height) - 4, lo, hi,
                   scalesX[c.scaleIdxX].maxSeconds * 1000.0};

  cairo_t* cr = cairo_create(c.plotAreaSurface);
  cairo_set_line_width(cr, 2);
  setColour(cr, kGraphTraceRed);
  drawSamples(cr, g, data, mode, c.previousDataIdx + 1, n, isdBm);
  cairo_stroke(cr);
  c.previousDataIdx = n - 1;

  double limitMax = getGraphPowerValueInCorrectUnits(settings.maxLimitLine, settings.unit, isdBm);
  double limitMin = getGraphPowerValueInCorrectUnits(settings.minLimitLine, settings.unit, isdBm);
  if (!isdBm) {
    limitMax /= 1000.0;
    limitMin /= 1000.0;
  }
  setColour(cr, kGraphLimitGreen);
  drawLimitLine(cr, g, limitMax);
  drawLimitLine(cr, g, limitMin);
  cairo_stroke(cr);
  cairo_destroy(cr);
  cairo_surface_flush(c.plotAreaSurface);
  return true;
}
