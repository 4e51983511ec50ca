// The graph settings dialog: a channel's vertical range, limit lines, graph
// direction and averaging, typed on the dialog's own keypad. One dialog for
// the whole application, built once at start-up; GTK main loop only.
#include <glib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>

#include "display_fsm.h"
#include "graph.h"
#include "graph_internal.h"
#include "keypad.h"
#include "main_window.h"
#include "sensor_data.h"
#include "simple_timer.h"
#include "system_log.h"

struct GRAPHNUMKEYPAD_S {
  bool textIsSelected = false;
  int position = 0;
  int len = 0;
  int entryIndex = 0;
  std::array<GtkWidget*, 5> entryList{};  // keypad order
  GtkWidget* currentNumPadTarget = nullptr;
  GtkWidget* graphNumKeypadGrid = nullptr;
  GtkWidget* graphNumKeypadButton1 = nullptr;
  GtkWidget* graphNumKeypadButton2 = nullptr;
  GtkWidget* graphNumKeypadButton3 = nullptr;
  GtkWidget* graphNumKeypadButton4 = nullptr;
  GtkWidget* graphNumKeypadButton5 = nullptr;
  GtkWidget* graphNumKeypadButton6 = nullptr;
  GtkWidget* graphNumKeypadButton7 = nullptr;
  GtkWidget* graphNumKeypadButton8 = nullptr;
  GtkWidget* graphNumKeypadButton9 = nullptr;
  GtkWidget* graphNumKeypadButton0 = nullptr;
  GtkWidget* graphNumKeypadButtonPeriod = nullptr;
  GtkWidget* graphNumKeypadButtonClear = nullptr;
  GtkWidget* graphNumKeypadButtonBackspace = nullptr;
  GtkWidget* graphNumKeypadButtonPlusMinus = nullptr;
  GtkWidget* graphNumKeypadButtonNext = nullptr;
  GtkWidget* graphNumKeypadImageClear = nullptr;
  GtkWidget* graphNumKeypadImageBackspace = nullptr;
  GtkWidget* graphNumKeypadImageNext = nullptr;
  CKeypadManager_Instance keypadManager;
  bool updateEntryIdx = false;
};

struct GRAPHCONFIG_S {
  GtkWidget* graphSettingsDialog = nullptr;
  GtkWidget* graphSettingsHbox = nullptr;
  GtkWidget* graphSettingsGrid = nullptr;
  GtkWidget* graphSettingsLabelTitle = nullptr;
  GtkWidget* graphSettingsLabelRange = nullptr;
  GtkWidget* graphSettingsLabelRangeMin = nullptr;
  GtkWidget* graphSettingsLabelRangeMinUnits = nullptr;
  GtkWidget* graphSettingsRangeMin = nullptr;
  GtkWidget* graphSettingsLabelRangeMax = nullptr;
  GtkWidget* graphSettingsLabelRangeMaxUnits = nullptr;
  GtkWidget* graphSettingsRangeMax = nullptr;
  GtkWidget* graphSettingsLabelLimits = nullptr;
  GtkWidget* graphSettingsLabelLimitsMin = nullptr;
  GtkWidget* graphSettingsLabelLimitsMinUnits = nullptr;
  GtkWidget* graphSettingsLimitMin = nullptr;
  GtkWidget* graphSettingsLabelLimitsMax = nullptr;
  GtkWidget* graphSettingsLabelLimitsMaxUnits = nullptr;
  GtkWidget* graphSettingsLimitMax = nullptr;
  GtkWidget* graphSettingsLabelMode = nullptr;
  GtkWidget* graphSettingsCheckButtonRfl = nullptr;
  GtkWidget* graphSettingsCheckButtonAverage = nullptr;
  GtkWidget* graphSettingsLabelCount = nullptr;
  GtkWidget* graphSettingsAverageCount = nullptr;
  GtkWidget* graphSettingsButton_apply = nullptr;
  GtkWidget* graphSettingsButton_cancel = nullptr;
  GtkWidget* graphSettingsButton_default = nullptr;
  GtkWidget* graphSettingsNumKeypadGrid = nullptr;
  GRAPHNUMKEYPAD_S keypad;
};

namespace {

std::unique_ptr<GRAPHCONFIG_S> graphConfig;
GtkBuilder* dialogBuilder = nullptr;  // kept: tests and tools find widgets by id
CGTKTimePowerGraph* sourceGraph = nullptr;
int sourceChannel = 0;  // the channel the dialog was opened for
GraphSettings_t initialSettings{};
rfPowerScale initialScale{};
bool use_dBm = false;
bool loadingFields = false;  // the check buttons are being set, not toggled by the user

constexpr double kMaxWattEntry = 99999.0;
// dBm entries take the range of the settings file.
constexpr double kMinDbmEntry = -60.0;
constexpr double kMaxDbmEntry = 80.0;

enum EntryIndex { entryRangeMin = 0, entryRangeMax, entryLimitMin, entryLimitMax, entryAverageCount };

constexpr const char* kDialogCss =
    "#graphSettingsDialog { background-color: rgb(255,255,240); font-family: Monospace; font-size: 12pt; }"
    "#graphSettingsDialog label { color: black; font-size: 14pt; }"
    "#graphSettingsDialog entry { color: black; background: white; font-size: 14pt; }"
    "#graphSettingsDialog checkbutton label { font-size: 14pt; }"
    "#graphSettingsDialog button { background: white; background-image: none; border: 1px solid grey; }"
    "#graphSettingsDialog button label { color: black; font-size: 12pt; }";

GRAPHCONFIG_S& cfg() { return *graphConfig; }

// The digit buttons, indexed by their digit.
std::array<GtkWidget*, 10> digitButtons() {
  const GRAPHNUMKEYPAD_S& k = cfg().keypad;
  return {k.graphNumKeypadButton0, k.graphNumKeypadButton1, k.graphNumKeypadButton2, k.graphNumKeypadButton3,
          k.graphNumKeypadButton4, k.graphNumKeypadButton5, k.graphNumKeypadButton6, k.graphNumKeypadButton7,
          k.graphNumKeypadButton8, k.graphNumKeypadButton9};
}

const char* entryText(GtkWidget* entry) { return gtk_entry_get_text(GTK_ENTRY(entry)); }

// Text that is not a number reads as 0.
double parseNumber(const char* text) {
  char* end = nullptr;
  const double value = g_ascii_strtod(text, &end);
  if (end == text || !std::isfinite(value)) return 0.0;
  return value;
}

void formatValueForEntry(GtkWidget* entry, double value, std::uint32_t precision) {
  char text[48];
  graphFormat_trimmed(text, sizeof text, value, precision);
  gtk_entry_set_text(GTK_ENTRY(entry), text);
}

void setEntryDbm(GtkWidget* entry, double value) {
  char text[G_ASCII_DTOSTR_BUF_SIZE];
  g_ascii_formatd(text, sizeof text, "%.2f", value);
  gtk_entry_set_text(GTK_ENTRY(entry), text);
}

std::array<GtkWidget*, 4> powerEntries() {
  return {cfg().graphSettingsRangeMin, cfg().graphSettingsRangeMax, cfg().graphSettingsLimitMin,
          cfg().graphSettingsLimitMax};
}

void setUnitLabels(const char* text) {
  for (GtkWidget* label : {cfg().graphSettingsLabelRangeMinUnits, cfg().graphSettingsLabelRangeMaxUnits,
                           cfg().graphSettingsLabelLimitsMinUnits, cfg().graphSettingsLabelLimitsMaxUnits}) {
    gtk_label_set_text(GTK_LABEL(label), text);
  }
}

void setActionButtonsSensitive(bool on) {
  for (GtkWidget* b : {cfg().graphSettingsButton_apply, cfg().graphSettingsButton_cancel,
                       cfg().graphSettingsButton_default}) {
    gtk_widget_set_sensitive(b, on ? TRUE : FALSE);
  }
}

bool averagingOn() {
  return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(cfg().graphSettingsCheckButtonAverage)) != FALSE;
}
bool reflectedOn() {
  return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(cfg().graphSettingsCheckButtonRfl)) != FALSE;
}

int indexOfEntry(GtkWidget* entry) {
  const auto& list = cfg().keypad.entryList;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i] == entry) return static_cast<int>(i);
  }
  return -1;
}

// The keypad manager's text target: the current entry.
void graphSettingsDialog_setTextInWidgetCallBack(const char* text, bool select) {
  GRAPHNUMKEYPAD_S& k = cfg().keypad;
  if (k.currentNumPadTarget == nullptr) return;
  gtk_entry_set_text(GTK_ENTRY(k.currentNumPadTarget), text);
  k.textIsSelected = select;
  if (select) {
    k.updateEntryIdx = true;  // the focus-in this causes is ours, not the user's
    gtk_widget_grab_focus(k.currentNumPadTarget);
    gtk_editable_select_region(GTK_EDITABLE(k.currentNumPadTarget), 0, -1);
    k.updateEntryIdx = false;
  } else {
    gtk_editable_set_position(GTK_EDITABLE(k.currentNumPadTarget), -1);
  }
}

void makeTarget(GtkWidget* entry) {
  GRAPHNUMKEYPAD_S& k = cfg().keypad;
  const int index = indexOfEntry(entry);
  if (index < 0) return;
  k.entryIndex = index;
  k.currentNumPadTarget = entry;
  CKeypadManager_HandleNextField(&k.keypadManager, entryText(entry));
}

void validateEntry(GtkWidget* entry) {
  const double value = parseNumber(entryText(entry));
  if (entry == cfg().graphSettingsAverageCount) {
    formatValueForEntry(entry, std::clamp(std::trunc(value), 2.0, 64.0), 0);
  } else if (use_dBm) {
    setEntryDbm(entry, std::clamp(value, kMinDbmEntry, kMaxDbmEntry));
  } else {
    formatValueForEntry(entry, std::clamp(value, 0.0, kMaxWattEntry), 3);
  }
}

void setNextEntryWidget() {
  GRAPHNUMKEYPAD_S& k = cfg().keypad;
  int index = indexOfEntry(k.currentNumPadTarget);
  if (index < 0) index = entryRangeMin;
  validateEntry(k.entryList[static_cast<std::size_t>(index)]);
  const int last = averagingOn() ? entryAverageCount : entryLimitMax;
  const int next = index >= last ? entryRangeMin : index + 1;
  makeTarget(k.entryList[static_cast<std::size_t>(next)]);
}

void showScaleRowUnits(const rfPowerScale& scale) {
  setUnitLabels(use_dBm ? "dBm" : graphRange_format(scale.scaleIndex).displayLabel);
}

void GraphSettingsDialog_setParameters(int d) {
  initialSettings = configuration_getGraphSettings(d);
  initialScale = configuration_getRfPowerScale(d, configuration_getGraphRflMode(d) ? 1 : 0);
  use_dBm = configuration_getPowerUnitsIsdBm();

  std::array<char, 64> title{};
  if (sourceGraph != nullptr && sourceGraph->mpOwner != nullptr &&
      TimePowerGraphOwnerHooks_current().sensorLabel != nullptr) {
    TimePowerGraphOwnerHooks_current().sensorLabel(sourceGraph->mpOwner, title.data(), 31);
  } else {
    std::snprintf(title.data(), title.size(), "Channel %d", d + 1);
  }
  gtk_label_set_text(GTK_LABEL(cfg().graphSettingsLabelTitle), title.data());

  const double values[4] = {initialSettings.minPower, initialSettings.maxPower, initialSettings.minLimitLine,
                            initialSettings.maxLimitLine};
  const auto entries = powerEntries();
  const GraphRangeFormat row = graphRange_format(initialScale.scaleIndex);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (use_dBm) {
      setEntryDbm(entries[i], getGraphPowerValueInCorrectUnits(values[i], initialSettings.unit, true));
    } else {
      const double mW = getGraphPowerValueInCorrectUnits(values[i], initialSettings.unit, false);
      formatValueForEntry(entries[i], getScaleFromSetting(mW, row.displayLabel), row.precisionForGraph);
    }
  }
  setUnitLabels(use_dBm ? "dBm" : row.displayLabel);
  gtk_widget_set_sensitive(cfg().keypad.graphNumKeypadButtonPlusMinus, use_dBm ? TRUE : FALSE);

  char count[16];
  std::snprintf(count, sizeof count, "%u", initialSettings.averageCount);
  gtk_entry_set_text(GTK_ENTRY(cfg().graphSettingsAverageCount), count);
  loadingFields = true;
  const bool average = initialSettings.displayMode == graphModeAverage;
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(cfg().graphSettingsCheckButtonAverage), average ? TRUE : FALSE);
  gtk_widget_set_sensitive(cfg().graphSettingsAverageCount, average ? TRUE : FALSE);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(cfg().graphSettingsCheckButtonRfl),
                               initialSettings.bReflectedMode ? TRUE : FALSE);
  loadingFields = false;
}

// The dialog is done with: its graph's buttons work again.
void releaseSourceGraph() {
  if (sourceGraph != nullptr) CGTKTimePowerGraph_setButtonsSensitive(sourceGraph, true);
}

void applyButtonClicked() {
  const int d = sourceChannel;
  GraphSettings_t s = initialSettings;
  const auto entries = powerEntries();
  double values[4];
  const char* label = graphRange_format(initialScale.scaleIndex).displayLabel;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const double shown = parseNumber(entryText(entries[i]));
    values[i] = use_dBm ? shown : getSettingFromScale(shown, label);
  }
  s.unit = use_dBm ? graphScale_dBm : graphScale_mW;
  s.minPower = values[0];
  s.maxPower = values[1];
  s.minLimitLine = values[2];
  s.maxLimitLine = values[3];
  s.bReflectedMode = reflectedOn();
  s.displayMode = averagingOn() ? graphModeAverage : graphModeRaw;
  const double count = std::clamp(std::trunc(parseNumber(entryText(cfg().graphSettingsAverageCount))), 0.0, 64.0);
  s.averageCount = static_cast<std::uint32_t>(count);

  // The history of the channel the dialog was opened for: the shared
  // full-screen graph may show the other channel by the time Apply is pressed.
  CGraphData* history = &sensorDisplays[d].graphDataPwr;
  // Forward and reflected samples must not share one history.
  if (s.bReflectedMode != configuration_getGraphRflMode(d)) CGraphData_reset(history);
  configuration_setGraphSettings(s, d);
  CGraphData_setFilterWidth(history, s.averageCount);
  if (sourceGraph != nullptr) CGTKTimePowerGraph_invalidateGraph(sourceGraph);
  releaseSourceGraph();
}

// The numbers stay as typed; only the unit of the new direction's range row
// is shown.
void rflButtonToggled(bool reflected) {
  initialScale = configuration_getRfPowerScale(sourceChannel, reflected ? 1 : 0);
  showScaleRowUnits(initialScale);
}

void defaultButtonClicked(bool reflected) {
  setActionButtonsSensitive(false);
  const int d = sourceChannel;
  initialScale = configuration_getRfPowerScale(d, reflected ? 1 : 0);
  const GraphRangeFormat row = graphRange_format(initialScale.scaleIndex);
  const int port = sensorDisplays[d].sensorPort.load();
  const double minWatts = sensorPortHandler_getSensorMinPower(port);
  const double maxWatts = sensorPortHandler_getSensorMaxPower(port);
  const double directionFactor = reflected ? 0.001 : 1.0;
  const auto entries = powerEntries();
  const double watts[4] = {minWatts, maxWatts, minWatts, maxWatts};
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const double w = std::isfinite(watts[i]) ? watts[i] * directionFactor : 0.0;
    if (use_dBm) {
      setEntryDbm(entries[i], std::clamp(getPowerInCorrectUnits(w, true), kMinDbmEntry, kMaxDbmEntry));
    } else {
      formatValueForEntry(entries[i], w * row.multiplier, row.precisionForGraph);
    }
  }
  setUnitLabels(use_dBm ? "dBm" : row.displayLabel);
  gtk_entry_set_text(GTK_ENTRY(cfg().graphSettingsAverageCount), "64");
  loadingFields = true;
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(cfg().graphSettingsCheckButtonAverage), FALSE);
  loadingFields = false;
  gtk_widget_set_sensitive(cfg().graphSettingsAverageCount, FALSE);
  if (cfg().keypad.currentNumPadTarget == cfg().graphSettingsAverageCount) makeTarget(cfg().graphSettingsRangeMin);
  setActionButtonsSensitive(true);
}

// ---- Builder handlers ------------------------------------------------------

void on_graphSettingsDialog_apply_clicked(GtkButton*, gpointer) {
  setActionButtonsSensitive(false);
  gtk_widget_hide(cfg().graphSettingsDialog);
  applyButtonClicked();
}

void on_graphSettingsDialog_cancel_clicked(GtkButton*, gpointer) {
  setActionButtonsSensitive(false);
  gtk_widget_hide(cfg().graphSettingsDialog);
  releaseSourceGraph();
}

void on_graphSettingsDialog_default_clicked(GtkButton*, gpointer) { defaultButtonClicked(reflectedOn()); }

void on_graphSettingsEntry_show(GtkWidget* entry, gpointer) {
  if (entry == cfg().graphSettingsRangeMin) makeTarget(entry);
}

gboolean on_graphSettingsEntry_focus_in_event(GtkWidget* entry, GdkEvent*, gpointer) {
  if (!cfg().keypad.updateEntryIdx && entry != cfg().keypad.currentNumPadTarget) makeTarget(entry);
  return FALSE;
}

gboolean on_graphSettingsEntry_button_press_event(GtkWidget* entry, GdkEvent*, gpointer) {
  makeTarget(entry);
  return FALSE;
}

gboolean on_graphSettingsEntry_button_release_event(GtkWidget* entry, GdkEvent*, gpointer) {
  // The press put the cursor where the finger was: select the whole text again.
  if (entry == cfg().keypad.currentNumPadTarget && cfg().keypad.textIsSelected) {
    gtk_editable_select_region(GTK_EDITABLE(entry), 0, -1);
  }
  return FALSE;
}

void on_graphAverageCheckbox_toggled(GtkToggleButton*, gpointer) {
  if (loadingFields) return;
  const bool on = averagingOn();
  gtk_widget_set_sensitive(cfg().graphSettingsAverageCount, on ? TRUE : FALSE);
  if (on) {
    makeTarget(cfg().graphSettingsAverageCount);
  } else if (cfg().keypad.currentNumPadTarget == cfg().graphSettingsAverageCount) {
    setNextEntryWidget();
  }
}

void on_graphRflCheckbox_toggled(GtkToggleButton*, gpointer) {
  if (loadingFields) return;
  rflButtonToggled(reflectedOn());
}

void on_keypadButton_clicked(GtkButton* button, gpointer) {
  GRAPHNUMKEYPAD_S& k = cfg().keypad;
  auto* w = GTK_WIDGET(button);
  if (w == k.graphNumKeypadButtonNext) {
    setNextEntryWidget();
    return;
  }
  CKeypadManager_Event event;
  if (w == k.graphNumKeypadButtonPeriod) {
    event.eventID = evDecimal;
  } else if (w == k.graphNumKeypadButtonClear) {
    event.eventID = evClear;
  } else if (w == k.graphNumKeypadButtonBackspace) {
    event.eventID = evBackSp;
  } else if (w == k.graphNumKeypadButtonPlusMinus) {
    event.eventID = evSign;
  } else {
    const auto digits = digitButtons();
    const auto digit = std::find(digits.begin(), digits.end(), w);
    if (digit == digits.end()) return;
    event.eventID = evAddChar;
    event.data = static_cast<char>('0' + (digit - digits.begin()));
  }
  if (k.currentNumPadTarget == nullptr) makeTarget(cfg().graphSettingsRangeMin);
  CKeypadManager_HandleEvent(&k.keypadManager, event);
}

// ---- Construction ------------------------------------------------------------

void initGraphConfig() {
  graphConfig = std::make_unique<GRAPHCONFIG_S>();
  g_object_set(gtk_settings_get_default(), "gtk-dnd-drag-threshold", 200, nullptr);
}

GtkWidget* widget(GtkBuilder* builder, const char* id) {
  GObject* object = gtk_builder_get_object(builder, id);
  if (object == nullptr) DIAGNOSTIC("graphSettingsDialog.ui has no \"%s\"\n", id);
  return object != nullptr ? GTK_WIDGET(object) : nullptr;
}

void addHandlers(GtkBuilder* builder) {
  const struct {
    const char* name;
    GCallback callback;
  } handlers[] = {
      {"on_graphSettingsDialog_apply_clicked", G_CALLBACK(on_graphSettingsDialog_apply_clicked)},
      {"on_graphSettingsDialog_cancel_clicked", G_CALLBACK(on_graphSettingsDialog_cancel_clicked)},
      {"on_graphSettingsDialog_default_clicked", G_CALLBACK(on_graphSettingsDialog_default_clicked)},
      {"on_graphSettingsEntry_show", G_CALLBACK(on_graphSettingsEntry_show)},
      {"on_graphSettingsEntry_focus_in_event", G_CALLBACK(on_graphSettingsEntry_focus_in_event)},
      {"on_graphSettingsEntry_button_press_event", G_CALLBACK(on_graphSettingsEntry_button_press_event)},
      {"on_graphSettingsEntry_button_release_event", G_CALLBACK(on_graphSettingsEntry_button_release_event)},
      {"on_graphAverageCheckbox_toggled", G_CALLBACK(on_graphAverageCheckbox_toggled)},
      {"on_graphRflCheckbox_toggled", G_CALLBACK(on_graphRflCheckbox_toggled)},
      {"on_keypadButton_clicked", G_CALLBACK(on_keypadButton_clicked)},
  };
  for (const auto& h : handlers) gtk_builder_add_callback_symbol(builder, h.name, h.callback);
}

bool bindWidgets(GtkBuilder* builder) {
  GRAPHCONFIG_S& c = cfg();
  GRAPHNUMKEYPAD_S& k = c.keypad;
#define BIND(record, field) (record).field = widget(builder, #field)
  BIND(c, graphSettingsDialog);
  BIND(c, graphSettingsHbox);
  BIND(c, graphSettingsGrid);
  BIND(c, graphSettingsLabelTitle);
  BIND(c, graphSettingsLabelRange);
  BIND(c, graphSettingsLabelRangeMin);
  BIND(c, graphSettingsLabelRangeMinUnits);
  BIND(c, graphSettingsRangeMin);
  BIND(c, graphSettingsLabelRangeMax);
  BIND(c, graphSettingsLabelRangeMaxUnits);
  BIND(c, graphSettingsRangeMax);
  BIND(c, graphSettingsLabelLimits);
  BIND(c, graphSettingsLabelLimitsMin);
  BIND(c, graphSettingsLabelLimitsMinUnits);
  BIND(c, graphSettingsLimitMin);
  BIND(c, graphSettingsLabelLimitsMax);
  BIND(c, graphSettingsLabelLimitsMaxUnits);
  BIND(c, graphSettingsLimitMax);
  BIND(c, graphSettingsLabelMode);
  BIND(c, graphSettingsCheckButtonRfl);
  BIND(c, graphSettingsCheckButtonAverage);
  BIND(c, graphSettingsLabelCount);
  BIND(c, graphSettingsAverageCount);
  BIND(c, graphSettingsButton_apply);
  BIND(c, graphSettingsButton_cancel);
  BIND(c, graphSettingsButton_default);
  BIND(c, graphSettingsNumKeypadGrid);
  BIND(k, graphNumKeypadGrid);
  BIND(k, graphNumKeypadButton1);
  BIND(k, graphNumKeypadButton2);
  BIND(k, graphNumKeypadButton3);
  BIND(k, graphNumKeypadButton4);
  BIND(k, graphNumKeypadButton5);
  BIND(k, graphNumKeypadButton6);
  BIND(k, graphNumKeypadButton7);
  BIND(k, graphNumKeypadButton8);
  BIND(k, graphNumKeypadButton9);
  BIND(k, graphNumKeypadButton0);
  BIND(k, graphNumKeypadButtonPeriod);
  BIND(k, graphNumKeypadButtonClear);
  BIND(k, graphNumKeypadButtonBackspace);
  BIND(k, graphNumKeypadButtonPlusMinus);
  BIND(k, graphNumKeypadButtonNext);
  BIND(k, graphNumKeypadImageClear);
  BIND(k, graphNumKeypadImageBackspace);
  BIND(k, graphNumKeypadImageNext);
#undef BIND
  bool complete = c.graphSettingsDialog != nullptr && c.graphSettingsRangeMin != nullptr &&
                  c.graphSettingsRangeMax != nullptr && c.graphSettingsLimitMin != nullptr &&
                  c.graphSettingsLimitMax != nullptr && c.graphSettingsAverageCount != nullptr &&
                  c.graphSettingsCheckButtonRfl != nullptr && c.graphSettingsCheckButtonAverage != nullptr &&
                  c.graphSettingsLabelTitle != nullptr && c.graphSettingsButton_apply != nullptr &&
                  c.graphSettingsButton_cancel != nullptr && c.graphSettingsButton_default != nullptr &&
                  k.graphNumKeypadButtonPlusMinus != nullptr && c.graphSettingsLabelRangeMinUnits != nullptr &&
                  c.graphSettingsLabelRangeMaxUnits != nullptr && c.graphSettingsLabelLimitsMinUnits != nullptr &&
                  c.graphSettingsLabelLimitsMaxUnits != nullptr;
  return complete;
}

void initializeEntryOrder() {
  GRAPHNUMKEYPAD_S& k = cfg().keypad;
  k.entryList = {cfg().graphSettingsRangeMin, cfg().graphSettingsRangeMax, cfg().graphSettingsLimitMin,
                 cfg().graphSettingsLimitMax, cfg().graphSettingsAverageCount};
  k.entryIndex = entryRangeMin;
  k.currentNumPadTarget = cfg().graphSettingsRangeMin;
}

void installDialogCss() {
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, kDialogCss, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 200);
  g_object_unref(css);
}

}  // namespace

void graphSettingsDialog_Create() {
  if (graphConfig != nullptr && graphConfig->graphSettingsDialog != nullptr) return;  // built once
  initGraphConfig();
  GtkBuilder* builder = gtk_builder_new();
  GError* error = nullptr;
  addHandlers(builder);
  if (gtk_builder_add_from_file(builder, "./resources/graphSettingsDialog.ui", &error) == 0) {
    std::printf("Error loading file: %s\n", error != nullptr ? error->message : "unknown error");
    std::fflush(stdout);
    if (error != nullptr) g_error_free(error);
    g_object_unref(builder);
    graphConfig.reset();
    return;
  }
  const bool complete = bindWidgets(builder);
  if (!complete) {
    std::printf("Error loading file: %s\n", "./resources/graphSettingsDialog.ui lacks a widget of the dialog");
    std::fflush(stdout);
    g_object_unref(builder);
    graphConfig.reset();
    return;
  }
  gtk_builder_connect_signals(builder, nullptr);
  // The dialog and its builder live as long as the process.
  dialogBuilder = builder;
  gtk_widget_set_name(cfg().graphSettingsDialog, "graphSettingsDialog");
  g_signal_connect(cfg().graphSettingsDialog, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete), nullptr);
  installDialogCss();
  initializeEntryOrder();
  CKeypadManager_Create(&cfg().keypad.keypadManager, entryText(cfg().graphSettingsRangeMin),
                        graphSettingsDialog_setTextInWidgetCallBack);
}

GtkWidget* graphSettingsDialog_lookup(const char* id) {
  if (dialogBuilder == nullptr) return nullptr;
  GObject* object = gtk_builder_get_object(dialogBuilder, id);
  return object != nullptr && GTK_IS_WIDGET(object) ? GTK_WIDGET(object) : nullptr;
}

bool graphSettingsDialog_isBuilt() { return graphConfig != nullptr && graphConfig->graphSettingsDialog != nullptr; }

void graphSettingsDialog_Show(CGTKTimePowerGraph* graph) {
  if (!graphSettingsDialog_isBuilt()) return;
  const std::uint32_t start = getTime_ms();
  sourceGraph = graph;
  sourceChannel = graph != nullptr ? CGTKTimePowerGraph_getDisplayIndex(graph) : 0;
  if (graph != nullptr) CGTKTimePowerGraph_setButtonsSensitive(graph, false);
  GraphSettingsDialog_setParameters(sourceChannel);
  setActionButtonsSensitive(true);
  GtkWindow* dialog = GTK_WINDOW(cfg().graphSettingsDialog);
  gtk_window_set_modal(dialog, TRUE);
  if (mainWindow != nullptr) gtk_window_set_transient_for(dialog, GTK_WINDOW(mainWindow));
  gtk_widget_show(cfg().graphSettingsDialog);
  gtk_window_set_keep_above(dialog, TRUE);
  makeTarget(cfg().graphSettingsRangeMin);
  DIAGNOSTIC("GraphSettingsDialog display latency: %d ms.\n", static_cast<int>(getTime_ms() - start));
}
