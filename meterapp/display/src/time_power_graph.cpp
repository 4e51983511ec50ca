// The time-power graph widget group of one power display: the plot area with
// its labels and the power-axis, direction, "Auto" and "Clear" buttons.
// GTK main loop only.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "display_fsm.h"
#include "graph.h"
#include "graph_internal.h"
#include "text_field.h"

namespace {

TimePowerGraphOwnerHooks ownerHooks;

constexpr const char* kGraphCss =
    ".r9050-graph-button { background: black; background-image: none; border: none; box-shadow: none;"
    " padding: 0; }"
    ".r9050-graph-clickable { color: rgb(255,215,102); font-family: Monospace; font-size: 15pt; }"
    ".r9050-graph-white15 { color: white; font-family: Monospace; font-size: 15pt; }"
    ".r9050-graph-white10 { color: white; font-family: Monospace; font-size: 10pt; }"
    ".r9050-graph-frame { background: black; border: 1px solid black; }"
    ".r9050-graph-plot { background: rgb(211,211,211); }"
    ".r9050-graph-button:disabled label { color: rgb(120,120,120); }";

void addClass(GtkWidget* widget, const char* name) {
  gtk_style_context_add_class(gtk_widget_get_style_context(widget), name);
}

void installCss() {
  static bool installed = false;
  if (installed) return;
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, kGraphCss, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 100);
  g_object_unref(css);
  installed = true;
}

GtkWidget* makeLabel(const char* text, const char* cssClass, double angle) {
  GtkWidget* label = gtk_label_new(text);
  addClass(label, cssClass);
  if (angle != 0) gtk_label_set_angle(GTK_LABEL(label), angle);
  return label;
}

GtkWidget* makeButton(GtkWidget** labelOut, const char* text, const char* cssClass, double angle) {
  GtkWidget* button = gtk_button_new();
  addClass(button, "r9050-graph-button");
  gtk_button_set_relief(GTK_BUTTON(button), GTK_RELIEF_NONE);
  gtk_widget_set_can_focus(button, FALSE);
  GtkWidget* label = makeLabel(text, cssClass, angle);
  gtk_container_add(GTK_CONTAINER(button), label);
  if (labelOut != nullptr) *labelOut = label;
  return button;
}

int direction(int channel) { return configuration_getGraphRflMode(channel) ? 1 : 0; }

std::uint32_t storedScale(int channel) { return configuration_getRfPowerScale(channel, direction(channel)).scaleIndex; }

// The power button text and the two y labels, from the cached settings.
void refreshPowerLabels(CGTKTimePowerGraph* g, bool isdBm) {
  CGTKGraphComponent& c = g->graph;
  char text[64];
  getUnitForGraphScale(text, sizeof text, isdBm, g->scale);
  if (c.powerLabel != nullptr) gtk_label_set_text(GTK_LABEL(c.powerLabel), text);
  const double hi = getGraphPowerValueInCorrectUnits(g->settings.maxPower, g->settings.unit, isdBm);
  const double lo = getGraphPowerValueInCorrectUnits(g->settings.minPower, g->settings.unit, isdBm);
  formatPowerForDisplay(hi, text, sizeof text, isdBm, g->scale);
  if (c.yAxisMaxLabel != nullptr) gtk_label_set_text(GTK_LABEL(c.yAxisMaxLabel), text);
  formatPowerForDisplay(lo, text, sizeof text, isdBm, g->scale);
  if (c.yAxisMinLabel != nullptr) gtk_label_set_text(GTK_LABEL(c.yAxisMinLabel), text);
}

GraphDataMode_t modeOf(const GraphSettings_t& s) { return s.displayMode != graphModeRaw ? AveragedData : RawData; }

gboolean onPlotDraw(GtkWidget*, cairo_t* cr, gpointer data) {
  auto* c = static_cast<CGTKGraphComponent*>(data);
  if (c->plotAreaSurface == nullptr) return FALSE;
  cairo_set_source_surface(cr, c->plotAreaSurface, 0, 0);
  cairo_paint(cr);
  return FALSE;
}

gboolean onPlotConfigure(GtkWidget* widget, GdkEventConfigure*, gpointer data) {
  auto* c = static_cast<CGTKGraphComponent*>(data);
  CGTKGraphComponent_setPlotSize(c, gtk_widget_get_allocated_width(widget), gtk_widget_get_allocated_height(widget));
  return TRUE;
}

void onPowerClicked(GtkButton*, gpointer data) { graphSettingsDialog_Show(static_cast<CGTKTimePowerGraph*>(data)); }
void onAutoClicked(GtkButton*, gpointer data) {
  CGTKGraphComponent_graphAutoScale(static_cast<CGTKTimePowerGraph*>(data));
}
void onClearClicked(GtkButton*, gpointer data) { CGTKTimePowerGraph_reset(static_cast<CGTKTimePowerGraph*>(data)); }

void CGTKGraphComponent_createGraphImage(CGTKTimePowerGraph* g, GtkWidget* fixed, int w, int h) {
  CGTKGraphComponent& c = g->graph;
  c.powerButton = makeButton(&c.powerLabel, "Power (W)", "r9050-graph-clickable", 90);
  g_signal_connect(c.powerButton, "clicked", G_CALLBACK(onPowerClicked), g);
  gtk_fixed_put(GTK_FIXED(fixed), c.powerButton, 2, h / 2 - 75);

  c.powerMode = makeLabel("FWD", "r9050-graph-white15", 0);
  gtk_fixed_put(GTK_FIXED(fixed), c.powerMode, 60, h - 36);
  c.autoScaleButton = makeButton(&c.autoScaleLabel, "Auto", "r9050-graph-clickable", 0);
  g_signal_connect(c.autoScaleButton, "clicked", G_CALLBACK(onAutoClicked), g);
  gtk_fixed_put(GTK_FIXED(fixed), c.autoScaleButton, 120, h - 36);
  c.clearGraphButton = makeButton(&c.clearGraphLabel, "Clear", "r9050-graph-clickable", 0);
  g_signal_connect(c.clearGraphButton, "clicked", G_CALLBACK(onClearClicked), g);
  gtk_fixed_put(GTK_FIXED(fixed), c.clearGraphButton, w - 140, h - 36);

  c.yAxisMaxLabel = makeLabel("", "r9050-graph-white10", 90);
  gtk_fixed_put(GTK_FIXED(fixed), c.yAxisMaxLabel, 25, 15);
  c.yAxisMinLabel = makeLabel("", "r9050-graph-white10", 90);
  gtk_fixed_put(GTK_FIXED(fixed), c.yAxisMinLabel, 25, h - 93);
  char zero[8] = "0";
  rightJustifyString(zero);
  c.xAxisMinLabel = makeLabel(zero, "r9050-graph-white10", 0);
  gtk_fixed_put(GTK_FIXED(fixed), c.xAxisMinLabel, 12, h - 36);
  c.xAxisMaxLabel = makeLabel("", "r9050-graph-white10", 0);
  gtk_fixed_put(GTK_FIXED(fixed), c.xAxisMaxLabel, w - 60, h - 36);
  c.timeLabel = makeLabel("", "r9050-graph-white15", 0);
  gtk_fixed_put(GTK_FIXED(fixed), c.timeLabel, w / 2 - 10, h - 25);

  c.plotArea = gtk_drawing_area_new();
  addClass(c.plotArea, "r9050-graph-plot");
  gtk_widget_set_size_request(c.plotArea, std::max(w - 42, 1), std::max(h - 36, 1));
  g_signal_connect(c.plotArea, "draw", G_CALLBACK(onPlotDraw), &c);
  g_signal_connect(c.plotArea, "configure-event", G_CALLBACK(onPlotConfigure), &c);
  gtk_fixed_put(GTK_FIXED(fixed), c.plotArea, 40, 2);

  CGTKGraphComponent_updateTimeScale(&c, 0);
  c.previousDataIdx = 0;
  c.waitIndicator = {0, true};
}

}  // namespace

void CGTKTimePowerGraph_setOwnerHooks(const TimePowerGraphOwnerHooks& hooks) { ownerHooks = hooks; }
const TimePowerGraphOwnerHooks& TimePowerGraphOwnerHooks_current() { return ownerHooks; }

int CGTKTimePowerGraph_getDisplayIndex(const CGTKTimePowerGraph* instance) {
  if (ownerHooks.displayIndex != nullptr && instance->mpOwner != nullptr) {
    const int index = ownerHooks.displayIndex(instance->mpOwner);
    return index == 1 ? 1 : 0;
  }
  return instance->pData == &sensorDisplays[1].graphDataPwr ? 1 : 0;
}

void CGTKTimePowerGraph_create(CGTKTimePowerGraph* instance, GtkWidget* parent, int x, int y, int width, int height,
                               CGraphData* data, CGTKPowerDisplay* owner) {
  installCss();
  CGTKTimePowerGraph& g = *instance;
  g.name.fill('\0');
  g.graph = CGTKGraphComponent{};
  g.mpOwner = owner;
  g.pData = data;
  const int channel = CGTKTimePowerGraph_getDisplayIndex(instance);
  g.settings = graphSettings_sanitize(configuration_getGraphSettings(channel));
  g.scale = storedScale(channel);
  g.graph.x = static_cast<std::uint32_t>(std::max(x, 0));
  g.graph.y = static_cast<std::uint32_t>(std::max(y, 0));
  g.graph.width = static_cast<std::uint32_t>(std::max(width, 0));
  g.graph.height = static_cast<std::uint32_t>(std::max(height, 0));

  g.container = gtk_fixed_new();
  g.frame = gtk_frame_new(nullptr);
  addClass(g.frame, "r9050-graph-frame");
  gtk_widget_set_size_request(g.frame, width, height);
  gtk_fixed_put(GTK_FIXED(g.container), g.frame, 0, 0);
  CGTKGraphComponent_createGraphImage(instance, g.container, width, height);
  gtk_fixed_put(GTK_FIXED(parent), g.container, x, y);
  g.invalidate = true;
}

void CGTKTimePowerGraph_update(CGTKTimePowerGraph* instance) {
  CGTKTimePowerGraph& g = *instance;
  if (g.pData == nullptr) return;
  CGTKGraphComponent& c = g.graph;
  const int channel = CGTKTimePowerGraph_getDisplayIndex(instance);
  const bool isdBm = configuration_getPowerUnitsIsdBm();
  if (g.invalidate) {
    g.settings = graphSettings_sanitize(configuration_getGraphSettings(channel));
    g.scale = storedScale(channel);
    refreshPowerLabels(instance, isdBm);
    const std::uint32_t n = std::min(CGraphData_getCount(g.pData, modeOf(g.settings)), kGraphMaxShownSamples);
    CGTKGraphComponent_updateTimeScale(&c, graphTimeRow_forSampleCount(n));
    CGTKGraphComponent_clearGraph(&c);
    if (modeOf(g.settings) == AveragedData && n == 0) CGTKGraphComponent_drawWaitIndicator(&c);
    g.invalidate = false;
  } else if (storedScale(channel) != g.scale) {
    g.scale = storedScale(channel);
    refreshPowerLabels(instance, isdBm);
  }
  if (c.powerMode != nullptr) gtk_label_set_text(GTK_LABEL(c.powerMode), configuration_getGraphRflMode(channel) ? "RFL" : "FWD");
  const bool changed = CGTKGraphComponent_plot(&c, g.pData, g.settings, isdBm);
  g.sampleCount = static_cast<int>(c.previousDataIdx);
  if (changed && c.plotArea != nullptr) gtk_widget_queue_draw(c.plotArea);
}

void CGTKTimePowerGraph_reset(CGTKTimePowerGraph* instance) {
  if (instance->pData != nullptr) CGraphData_reset(instance->pData);
  CGTKTimePowerGraph_resetDrawing(instance);
  CGTKTimePowerGraph_invalidateGraph(instance);
}

void CGTKTimePowerGraph_resetDrawing(CGTKTimePowerGraph* instance) {
  CGTKGraphComponent_updateTimeScale(&instance->graph, 0);
}

void CGTKTimePowerGraph_invalidateGraph(CGTKTimePowerGraph* instance) { instance->invalidate = true; }

void CGTKTimePowerGraph_setName(CGTKTimePowerGraph* instance, const char* name) {
  TextField_copy(instance->name, name != nullptr ? name : "");
}

void CGTKTimePowerGraph_setGraphDataInstance(CGTKTimePowerGraph* instance, CGraphData* data) {
  instance->pData = data;
  instance->invalidate = true;
}

void CGTKGraphComponent_graphAutoScale(CGTKTimePowerGraph* instance) {
  CGTKTimePowerGraph& g = *instance;
  if (g.pData == nullptr) return;
  const int channel = CGTKTimePowerGraph_getDisplayIndex(instance);
  const bool isdBm = configuration_getPowerUnitsIsdBm();
  const GraphSettings_t stored = configuration_getGraphSettings(channel);
  const GraphDataMode_t mode = modeOf(stored);
  const float lowest = CGraphData_getMinValue(g.pData, mode);
  const float highest = CGraphData_getMaxValue(g.pData, mode);
  if (std::isnan(lowest) || std::isnan(highest)) return;  // nothing to fit yet
  configuration_setGraphSettings(
      graphAutoScale_settings(stored, getPowerInCorrectUnits(lowest, isdBm), getPowerInCorrectUnits(highest, isdBm),
                              isdBm),
      channel);
  CGTKTimePowerGraph_invalidateGraph(instance);
}

void CGTKTimePowerGraph_setButtonsSensitive(CGTKTimePowerGraph* instance, bool sensitive) {
  CGTKGraphComponent& c = instance->graph;
  for (GtkWidget* button : {c.powerButton, c.autoScaleButton, c.clearGraphButton}) {
    if (button != nullptr) gtk_widget_set_sensitive(button, sensitive ? TRUE : FALSE);
  }
}
