// The time-power graph: each channel's power history (CGraphData, fed once a
// second by the graph sampler) and the graph drawn from it in the CW views
// (CGTKTimePowerGraph, one per power display that shows a graph), with the
// graph settings dialog that edits a channel's graph settings.
//
// CGraphData is shared between the sampler thread and the display thread and
// guards itself; everything else runs on the GTK main loop only.
#pragma once

#include <cairo.h>
#include <gtk/gtk.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "configuration.h"

struct CGTKPowerDisplay;

// ---- The power history ----------------------------------------------------

struct GraphDataItem {
  float power = 0.0F;           // watts; NaN for "no sample"
  std::uint32_t timestamp = 0;  // getTime_ms() when the sample was taken
};

enum GraphDataMode_t { RawData = 0, AveragedData = 1 };

constexpr std::uint32_t kGraphRawCapacity = 86463;      // one day of seconds plus 63
constexpr std::uint32_t kGraphAverageCapacity = 86500;
constexpr std::uint32_t kGraphMaxShownSamples = 86400;  // the 24 h time axis
constexpr std::uint32_t kGraphMinFilterWidth = 2;
constexpr std::uint32_t kGraphMaxFilterWidth = 64;

// About 1.4 MB: lives in the process-wide channel records, never on a stack.
// The store does not wrap: once full, new samples are dropped until it is
// reset. Every member starts as zero, so that the two channel stores take
// no room in the program file; CGraphData_create sets the average width.
struct CGraphData {
  mutable std::mutex mutex;
  std::uint32_t count = 0;  // raw samples held
  std::uint32_t filterWidth = 0;  // 0 until created: no averages
  std::array<GraphDataItem, kGraphRawCapacity> rawData{};
  std::array<GraphDataItem, kGraphAverageCapacity> averageData{};
};

// Clamps the width to 2..64 and empties the store.
void CGraphData_create(CGraphData* instance, std::uint32_t filterWidth);
void CGraphData_reset(CGraphData* instance);
// Appends one sample (watts) with the current time; NaN is ignored, and so
// is every sample once the store is full.
void CGraphData_addItem(CGraphData* instance, float power);
// Clamps the width to 2..64 and recomputes every average.
void CGraphData_setFilterWidth(CGraphData* instance, std::uint32_t width);
std::uint32_t CGraphData_getFilterWidth(const CGraphData* instance);
// Item `index` of the raw samples or of the moving averages; power NaN and
// timestamp 0 beyond the end.
GraphDataItem CGraphData_getItem(const CGraphData* instance, std::uint32_t index, GraphDataMode_t mode);
GraphDataItem CGraphData_getRawItem(const CGraphData* instance, std::uint32_t index);
GraphDataItem CGraphData_getFilterItem(const CGraphData* instance, std::uint32_t index);
// Raw: the samples held. Averaged: count - width + 1 once count >= width,
// else 0.
std::uint32_t CGraphData_getCount(const CGraphData* instance, GraphDataMode_t mode);
// Extremes over the first 86400 items of the chosen array; NaN while the
// store is empty. In averaged mode before the first average exists they are
// the extremes of the raw samples.
float CGraphData_getMinValue(const CGraphData* instance, GraphDataMode_t mode);
float CGraphData_getMaxValue(const CGraphData* instance, GraphDataMode_t mode);
// Copies up to `capacity` items from `first` on into `out` under one lock;
// returns how many were copied. The drawing reads its new samples this way.
std::uint32_t CGraphData_copyItems(const CGraphData* instance, std::uint32_t first, GraphDataMode_t mode,
                                   GraphDataItem* out, std::uint32_t capacity);

// ---- Time axis, units and labels --------------------------------------------

struct graphScaleX_t {
  std::uint32_t maxSeconds;
  std::uint32_t scale;  // seconds per shown unit
  char unit[8];
};
constexpr int kGraphTimeRows = 12;
extern const graphScaleX_t scalesX[kGraphTimeRows];

// The first time row whose axis holds `samples` one-second samples (with a
// tenth to spare), 11 beyond.
int graphTimeRow_forSampleCount(std::uint32_t samples);

// The graph columns of a power display range row (0..10, clamped).
struct GraphRangeFormat {
  const char* displayLabel;  // "mW", "W" or "kW"
  std::uint32_t precisionForGraph;
  float multiplier;  // shown number = watts x multiplier
};
GraphRangeFormat graphRange_format(std::uint32_t row);

// Stored settings value (in `storedUnit`) to the display unit: mW, or dBm.
double getGraphPowerValueInCorrectUnits(double value, GraphScaleUnit_t storedUnit, bool isdBm);
// Watts to the display unit: watts, or dBm (-60 at and below 1 nW).
double getPowerInCorrectUnits(double watts, bool isdBm);
// "Power (dBm)", or "Power (<label of the graph's range row>)".
void getUnitForGraphScale(char* buffer, std::size_t size, bool isdBm, std::uint32_t scaleRow);
// An axis label: dBm with two decimals, else the mW value in the unit of the
// range row with its graph precision. `buffer` holds at least 32 characters.
void formatPowerForDisplay(double value, char* buffer, std::size_t size, bool isdBm, std::uint32_t scaleRow);
// `value_mW` in the unit `unitLabel` ("W", "kW", else mW) with `precision`
// decimals, a zero fraction printed as nothing ("12", "12.5", "-0.25").
void formatValueForLabel(char* buffer, std::size_t size, double value_mW, const char* unitLabel,
                         std::uint32_t precision);
// Texts of 1 to 4 characters padded in front to 5; others unchanged.
// `text` holds at least 6 characters.
void rightJustifyString(char* text);
// Shown value in the unit `unitLabel` to mW, and back.
double getSettingFromScale(double value, const char* unitLabel);
double getScaleFromSetting(double value_mW, const char* unitLabel);

// The vertical range the "Auto" button chooses for data between `lowest`
// and `highest` (display units: watts or dBm). Always maximum > minimum and,
// above the floor (0 W, -60 dBm), minimum <= lowest <= highest <= maximum.
struct GraphAutoRange {
  double minimum;
  double maximum;
};
GraphAutoRange graphAutoScale_compute(double lowest, double highest, bool isdBm);
// The settings the "Auto" button stores for `current` (bounds in mW, or dBm).
GraphSettings_t graphAutoScale_settings(const GraphSettings_t& current, double lowest, double highest, bool isdBm);

// Cached graph settings made safe to draw with: ranges validated like the
// settings file's, a NaN or infinite bound replaced by the default.
GraphSettings_t graphSettings_sanitize(const GraphSettings_t& settings);

// ---- The graph widget group ---------------------------------------------------

struct GraphDrawingArea_t {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

struct GraphWaitIndicator_t {
  std::uint32_t state = 0;  // 0..23
  bool fill = true;
};

struct CGTKGraphComponent {
  std::uint32_t x = 0, y = 0, width = 0, height = 0;  // the graph area
  int scaleIdxX = 0;                                  // row of scalesX
  std::uint32_t previousDataIdx = 0;                  // last sample already drawn
  GraphDrawingArea_t plotAreaDimensions;              // the plot area's allocation
  GtkWidget* plotArea = nullptr;
  cairo_surface_t* plotAreaSurface = nullptr;  // the lines are drawn here, then painted
  GtkWidget* powerLabel = nullptr;
  GtkWidget* powerButton = nullptr;
  GtkWidget* powerMode = nullptr;
  GtkWidget* timeLabel = nullptr;
  GtkWidget* clearGraphLabel = nullptr;
  GtkWidget* clearGraphButton = nullptr;
  GtkWidget* autoScaleLabel = nullptr;
  GtkWidget* autoScaleButton = nullptr;
  GtkWidget* yAxisMaxLabel = nullptr;
  GtkWidget* yAxisMinLabel = nullptr;
  GtkWidget* xAxisMaxLabel = nullptr;
  GtkWidget* xAxisMinLabel = nullptr;
  GraphWaitIndicator_t waitIndicator;
};

struct CGTKTimePowerGraph {
  std::array<char, 32> name{};
  CGTKPowerDisplay* mpOwner = nullptr;
  GtkWidget* container = nullptr;
  GtkWidget* frame = nullptr;
  int sampleCount = 0;
  CGTKGraphComponent graph;
  CGraphData* pData = nullptr;
  GraphSettings_t settings{};  // cached; reloaded on invalidation
  bool invalidate = true;
  std::uint32_t scale = kDefaultScaleIndex;  // power range row of the axis labels
};

// What the graph needs of its owning power display. Until the power display
// hands these in, a graph takes its channel from the history it is pointed
// at (sensorDisplays[i].graphDataPwr is channel i) and titles the settings
// dialog "Channel <n>".
struct TimePowerGraphOwnerHooks {
  int (*displayIndex)(CGTKPowerDisplay* owner) = nullptr;
  void (*sensorLabel)(CGTKPowerDisplay* owner, char* buffer, int length) = nullptr;
};
void CGTKTimePowerGraph_setOwnerHooks(const TimePowerGraphOwnerHooks& hooks);
const TimePowerGraphOwnerHooks& TimePowerGraphOwnerHooks_current();

// Builds the graph's widgets inside `parent` (a GtkFixed) at (x, y); `owner`
// is the power display that holds it.
void CGTKTimePowerGraph_create(CGTKTimePowerGraph* instance, GtkWidget* parent, int x, int y, int width, int height,
                               CGraphData* data, CGTKPowerDisplay* owner);
// Redraw step, on each CW update of a display that shows its graph: draws
// only the samples added since the last step.
void CGTKTimePowerGraph_update(CGTKTimePowerGraph* instance);
// Empties the history and redraws from scratch ("Clear", graph switched on).
void CGTKTimePowerGraph_reset(CGTKTimePowerGraph* instance);
// Back to the first time row.
void CGTKTimePowerGraph_resetDrawing(CGTKTimePowerGraph* instance);
// The settings changed: reload them and restart the drawing on the next step.
void CGTKTimePowerGraph_invalidateGraph(CGTKTimePowerGraph* instance);
void CGTKTimePowerGraph_setName(CGTKTimePowerGraph* instance, const char* name);
void CGTKTimePowerGraph_setGraphDataInstance(CGTKTimePowerGraph* instance, CGraphData* data);
// The logical channel (0 or 1) the graph shows.
int CGTKTimePowerGraph_getDisplayIndex(const CGTKTimePowerGraph* instance);
// The "Auto" button: fits the vertical range to the data and stores it.
void CGTKGraphComponent_graphAutoScale(CGTKTimePowerGraph* instance);
// Makes the power-axis, "Auto" and "Clear" buttons (in)sensitive.
void CGTKTimePowerGraph_setButtonsSensitive(CGTKTimePowerGraph* instance, bool sensitive);

// The plotting itself, on the component's image surface; no widgets needed
// (the widget code and the tests call these).
void CGTKGraphComponent_clearGraph(CGTKGraphComponent* component);
void CGTKGraphComponent_updateTimeScale(CGTKGraphComponent* component, int row);
// (Re)creates the image surface for a plot area of width x height and
// clears it. Sizes below a few pixels draw nothing.
void CGTKGraphComponent_setPlotSize(CGTKGraphComponent* component, int width, int height);
void CGTKGraphComponent_releaseSurface(CGTKGraphComponent* component);
// Steps 3 to 10 of the redraw (the samples, time row switching and limit
// lines) for `data` in the unit given; returns true when the surface changed.
bool CGTKGraphComponent_plot(CGTKGraphComponent* component, const CGraphData* data, const GraphSettings_t& settings,
                             bool isdBm);
// The "Waiting for prefill..." indicator: one segment per call.
void CGTKGraphComponent_drawWaitIndicator(CGTKGraphComponent* component);

// ---- The graph settings dialog -------------------------------------------------

// Built once at start-up from "./resources/graphSettingsDialog.ui"; a missing
// definition is reported and leaves the dialog unbuilt (Show then does
// nothing).
void graphSettingsDialog_Create();
// Opens the dialog for `graph` (its power-axis button calls this).
void graphSettingsDialog_Show(CGTKTimePowerGraph* graph);
bool graphSettingsDialog_isBuilt();
// A widget of the dialog by its id in the definition ("graphSettingsRangeMin"),
// or null.
GtkWidget* graphSettingsDialog_lookup(const char* id);
