// The pulse configuration dialogs: building them from their builder files,
// filling and reading the widgets, the keypad, the model switch and the
// state rows, and Apply / Apply and Store / Restore / Cancel. The rules
// themselves (validation, units, texts) live in pulse_config_logic.cpp.
#include "pulse_config_dialog.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

#include "configuration.h"
#include "log_manager.h"
#include "pulse_sensor_config.h"
#include "text_field.h"

PULSE_CONFIG_DIALOG gPulseConfigDlgP803;
PULSE_CONFIG_DIALOG gPulseConfigDlgP804;
bool bUseTriggeredGatesModel = false;

namespace {

constexpr const char* kP803File = "./resources/pulseConfigP803.ui";
constexpr const char* kP804File = "./resources/pulseConfigP804.ui";
constexpr const char* kDialogId = "pulseConfigTwoStateDialog";
constexpr int kStateColumnLabel = 0;
constexpr int kStateColumnBegin = 1;
constexpr int kStateColumnBeginUnits = 2;
constexpr int kStateColumnEnd = 3;
constexpr int kStateColumnEndUnits = 4;
constexpr int kStateColumnDelete = 5;
constexpr const char* kSensorChanged =
    "The sensor of this channel has been removed or replaced\nsince the dialog was opened. Nothing was sent.\n"
    "Please open the dialog again.";

constexpr const char* kDialogCss =
    "#pulseConfigDialog { background-color: black; }"
    "#pulseConfigDialog box, #pulseConfigDialog grid { background-color: black; }"
    "#pulseConfigDialog label { color: #e8e8e8; font-family: Monospace; font-size: 15pt; }"
    "#pulseConfigDialog #pulseConfigTitle { color: #ffd766; font-size: 20pt; }"
    "#pulseConfigDialog entry { color: yellow; background: #1c1c1c; font-family: Monospace; font-size: 15pt; }"
    "#pulseConfigDialog button { background: #262626; background-image: none; border: 1px solid #5a5858; }"
    "#pulseConfigDialog button label { color: white; font-size: 14pt; }"
    "#pulseConfigDialog #pulseConfigActive label { color: #ffd766; font-weight: bold; }"
    "#pulseConfigDialog #pulseConfigAction label { color: #ffd766; }"
    "#pulseConfigDialog #pulseConfigKey { background: silver; }"
    "#pulseConfigDialog #pulseConfigKey label { color: black; font-size: 18pt; }"
    "#pulseConfigDialog #triggeredGate { color: #e8e8e8; }"
    "#pulseConfigDialog checkbutton label, #pulseConfigDialog radiobutton label { font-size: 15pt; }"
    "#errorDialog { border: 2px solid black; }"
    "#errorDialog label { font-size: 16pt; }"
    "#errorDialog button { min-height: 48px; }"
    "#errorDialog button label { font-size: 16pt; }";

PulseConfigHooks configHooks;
GtkWidget* errorDialog = nullptr;
std::string errorDialogText;
bool movingFocus = false;  // the focus change is the dialog's own, not the user's
GtkWidget* parentWindow = nullptr;

bool isP804(const PULSE_CONFIG_DIALOG* d) { return d->model == ModelP804; }

const char* entryText(GtkWidget* entry) { return entry != nullptr ? gtk_entry_get_text(GTK_ENTRY(entry)) : ""; }
void setEntryText(GtkWidget* entry, const std::string& text) {
  if (entry != nullptr) gtk_entry_set_text(GTK_ENTRY(entry), text.c_str());
}
std::string unitsOf(GtkWidget* button) {
  const char* label = button != nullptr ? gtk_button_get_label(GTK_BUTTON(button)) : nullptr;
  return label != nullptr ? label : "";
}
void setUnits(GtkWidget* button, const std::string& units) {
  if (button != nullptr) gtk_button_set_label(GTK_BUTTON(button), units.c_str());
}
bool checked(GtkWidget* toggle) {
  return toggle != nullptr && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(toggle)) != FALSE;
}
void setChecked(GtkWidget* toggle, bool on) {
  if (toggle != nullptr) gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(toggle), on ? TRUE : FALSE);
}
void setShown(GtkWidget* widget, bool shown) {
  if (widget == nullptr) return;
  if (shown) {
    gtk_widget_show(widget);
  } else {
    gtk_widget_hide(widget);
  }
}

// ---- state rows ----

GtkWidget* cell(const PULSE_CONFIG_DIALOG* d, int row, int column) {
  if (d->stateGrid == nullptr) return nullptr;
  return gtk_grid_get_child_at(GTK_GRID(d->stateGrid), column, row);
}

int stateRows(const PULSE_CONFIG_DIALOG* d) {
  int rows = 0;
  while (rows < kPulseStateCount && cell(d, rows + 1, kStateColumnBegin) != nullptr) ++rows;
  return rows;
}

int rowOf(const PULSE_CONFIG_DIALOG* d, GtkWidget* widget) {
  int top = -1;
  gtk_container_child_get(GTK_CONTAINER(d->stateGrid), widget, "top-attach", &top, nullptr);
  return top;
}

void renumberStates(PULSE_CONFIG_DIALOG* d) {
  for (int r = 1; r <= stateRows(d); ++r) {
    GtkWidget* label = cell(d, r, kStateColumnLabel);
    if (label != nullptr) gtk_label_set_text(GTK_LABEL(label), std::to_string(r).c_str());
  }
}

void showAddState(PULSE_CONFIG_DIALOG* d) {
  setShown(d->addStateButton, bUseTriggeredGatesModel && stateRows(d) < kPulseStateCount);
}

void makeTarget(PULSE_CONFIG_DIALOG* d, GtkWidget* entry);
void connectEntry(PULSE_CONFIG_DIALOG* d, GtkWidget* entry);
void onTimeUnitsClicked(GtkButton* button, gpointer data);
void onDeleteStateClicked(GtkButton* button, gpointer data);

GtkWidget* newStateWidget(GtkWidget* widget) {
  gtk_widget_set_name(widget, "triggeredGate");
  gtk_widget_set_can_focus(widget, GTK_IS_ENTRY(widget) ? TRUE : FALSE);
  return widget;
}

void addStateRow(PULSE_CONFIG_DIALOG* d, int state) {
  const int r = state + 1;
  const PULSE_STATE_INTVL& s = d->pulseConfig.pulseStates[static_cast<std::size_t>(state)];
  const PulseEntryText begin = PulseConfig_timeText(s.begin);
  const PulseEntryText end = PulseConfig_timeText(s.end);
  GtkWidget* widgets[6] = {newStateWidget(gtk_label_new(std::to_string(r).c_str())), newStateWidget(gtk_entry_new()),
                           gtk_button_new_with_label(begin.units.c_str()), newStateWidget(gtk_entry_new()),
                           gtk_button_new_with_label(end.units.c_str()), gtk_button_new_with_label("Delete")};
  for (int column : {kStateColumnBeginUnits, kStateColumnEndUnits}) {
    gtk_widget_set_name(widgets[column], "pulseConfigUnits");
    gtk_widget_set_can_focus(widgets[column], FALSE);
    g_signal_connect(widgets[column], "clicked", G_CALLBACK(onTimeUnitsClicked), d);
  }
  gtk_widget_set_name(widgets[kStateColumnDelete], "pulseConfigAction");
  gtk_widget_set_can_focus(widgets[kStateColumnDelete], FALSE);
  g_signal_connect(widgets[kStateColumnDelete], "clicked", G_CALLBACK(onDeleteStateClicked), d);
  for (int column : {kStateColumnBegin, kStateColumnEnd}) {
    gtk_entry_set_width_chars(GTK_ENTRY(widgets[column]), 10);
    gtk_entry_set_alignment(GTK_ENTRY(widgets[column]), 1.0F);
    connectEntry(d, widgets[column]);
  }
  setEntryText(widgets[kStateColumnBegin], begin.number);
  setEntryText(widgets[kStateColumnEnd], end.number);
  for (int column = 0; column < 6; ++column) {
    gtk_grid_attach(GTK_GRID(d->stateGrid), widgets[column], column, r, 1, 1);
    gtk_widget_show(widgets[column]);
  }
}

void rebuildStateRows(PULSE_CONFIG_DIALOG* d) {
  if (d->stateGrid == nullptr) return;
  while (stateRows(d) > 0) gtk_grid_remove_row(GTK_GRID(d->stateGrid), 1);
  const int count = std::min<int>(d->pulseConfig.numStates, kPulseStateCount);
  for (int i = 0; i < count; ++i) addStateRow(d, i);
}

// ---- the keypad's target ----

std::vector<GtkWidget*> fieldOrder(const PULSE_CONFIG_DIALOG* d) {
  std::vector<GtkWidget*> order;
  if (!checked(d->freqAuto)) order.push_back(d->freqEntry);
  if (isP804(d)) {
    if (!checked(d->periodAuto)) order.push_back(d->periodEntry);
    if (!checked(d->levelAuto)) order.push_back(d->levelEntry);
    order.push_back(d->delayEntry);
  }
  if (isP804(d) && bUseTriggeredGatesModel) {
    for (int r = 1; r <= stateRows(d); ++r) {
      order.push_back(cell(d, r, kStateColumnBegin));
      order.push_back(cell(d, r, kStateColumnEnd));
    }
  } else {
    order.push_back(d->gateBeginEntry);
    order.push_back(d->gateEndEntry);
  }
  return order;
}

GtkWidget* unitsButtonOf(const PULSE_CONFIG_DIALOG* d, GtkWidget* entry) {
  if (entry == d->freqEntry) return d->freqUnits;
  if (entry == d->periodEntry) return d->periodUnits;
  if (entry == d->levelEntry) return d->levelUnits;
  if (entry == d->delayEntry) return d->delayUnits;
  if (entry == d->gateBeginEntry) return d->gateBeginUnits;
  if (entry == d->gateEndEntry) return d->gateEndUnits;
  if (d->stateGrid != nullptr && gtk_widget_get_parent(entry) == d->stateGrid) {
    const int r = rowOf(d, entry);
    return cell(d, r, cell(d, r, kStateColumnBegin) == entry ? kStateColumnBeginUnits : kStateColumnEndUnits);
  }
  return nullptr;
}

// Frequency and period are never negative; the level only in dBm.
void updateMinusKey(PULSE_CONFIG_DIALOG* d) {
  GtkWidget* t = d->pEntryTarget;
  const bool negative = t != nullptr && t != d->freqEntry && t != d->periodEntry &&
                        (t != d->levelEntry || d->configUnitIsdBm);
  if (d->keypadMinus != nullptr) gtk_widget_set_sensitive(d->keypadMinus, negative ? TRUE : FALSE);
}

void markActiveUnits(PULSE_CONFIG_DIALOG* d, GtkWidget* previous) {
  GtkWidget* old = previous != nullptr ? unitsButtonOf(d, previous) : nullptr;
  if (old != nullptr) gtk_widget_set_name(old, "pulseConfigUnits");
  GtkWidget* now = d->pEntryTarget != nullptr ? unitsButtonOf(d, d->pEntryTarget) : nullptr;
  if (now != nullptr) gtk_widget_set_name(now, "pulseConfigActive");
}

void makeTarget(PULSE_CONFIG_DIALOG* d, GtkWidget* entry) {
  if (entry == nullptr) return;
  GtkWidget* previous = d->pEntryTarget;
  d->pEntryTarget = entry;
  markActiveUnits(d, previous);
  updateMinusKey(d);
  CKeypadManager_HandleNextField(&d->keypadManager, entryText(entry));
}

void targetFirstField(PULSE_CONFIG_DIALOG* d) {
  const std::vector<GtkWidget*> order = fieldOrder(d);
  if (!order.empty()) makeTarget(d, order.front());
}

void targetNextField(PULSE_CONFIG_DIALOG* d) {
  const std::vector<GtkWidget*> order = fieldOrder(d);
  if (order.empty()) return;
  const auto at = std::find(order.begin(), order.end(), d->pEntryTarget);
  const std::size_t next = at == order.end() ? 0 : (static_cast<std::size_t>(at - order.begin()) + 1) % order.size();
  makeTarget(d, order[next]);
}

void targetField(PULSE_CONFIG_DIALOG* d, PulseFocus focus) {
  GtkWidget* entry = nullptr;
  switch (focus.field) {
    case pulseFieldFrequency: entry = d->freqEntry; break;
    case pulseFieldPeriod: entry = d->periodEntry; break;
    case pulseFieldLevel: entry = d->levelEntry; break;
    case pulseFieldDelay: entry = d->delayEntry; break;
    case pulseFieldGateBegin: entry = d->gateBeginEntry; break;
    case pulseFieldGateEnd: entry = d->gateEndEntry; break;
    case pulseFieldStateBegin: entry = cell(d, focus.state + 1, kStateColumnBegin); break;
    case pulseFieldStateEnd: entry = cell(d, focus.state + 1, kStateColumnEnd); break;
    case pulseFieldNone: break;
  }
  if (entry != nullptr) {
    makeTarget(d, entry);
  } else {
    targetFirstField(d);
  }
}

// ---- filling ----

void showAutoField(GtkWidget* entry, GtkWidget* units, bool automatic) {
  setShown(entry, !automatic);
  setShown(units, !automatic);
}

void fillLevel(PULSE_CONFIG_DIALOG* d) {
  d->configLevelScaleIndex = d->configUnitIsdBm ? kLevelIndexDbm : d->triggerLevelScaleIndex;
  const PulseEntryText level = PulseConfig_levelText(d->pulseConfig.trigLevelVal, d->configLevelScaleIndex);
  setEntryText(d->levelEntry, level.number);
  setUnits(d->levelUnits, PulseUnits_levelLabel(d->configLevelScaleIndex));
  d->configLevelWatt = d->pulseConfig.trigLevelVal;
  d->configLevelDBm = d->pulseConfig.trigLevelVal > 0.0F ? cvtWatt2dBm(d->pulseConfig.trigLevelVal) : -60.0F;
}

// The widgets of the chosen model (P804).
void applyModel(PULSE_CONFIG_DIALOG* d, bool triggered) {
  bUseTriggeredGatesModel = triggered;
  if (triggered) {
    d->pulseConfig.bAutoPeriod = false;
    setChecked(d->periodAuto, false);
    setShown(d->periodAuto, false);
    showAutoField(d->periodEntry, d->periodUnits, false);
  } else {
    setChecked(d->periodAuto, d->pulseConfig.bAutoPeriod);
    setShown(d->periodAuto, true);
    showAutoField(d->periodEntry, d->periodUnits, d->pulseConfig.bAutoPeriod);
  }
  setShown(d->delayGrid, !triggered);
  setShown(d->stateGrid, triggered);
  showAddState(d);
}

void fillWidgets(PULSE_CONFIG_DIALOG* d) {
  d->loadingWidgets = true;
  const SENSOR_CONFIGS& c = d->pulseConfig;
  if (d->title != nullptr) gtk_label_set_text(GTK_LABEL(d->title), d->dialogTitle.data());
  const PulseEntryText freq = PulseConfig_frequencyText(c.freqVal);
  setEntryText(d->freqEntry, freq.number);
  setUnits(d->freqUnits, freq.units);
  setChecked(d->freqAuto, c.bAutoFrequency);
  showAutoField(d->freqEntry, d->freqUnits, c.bAutoFrequency);
  const PulseEntryText begin = PulseConfig_timeText(c.gateBegin);
  const PulseEntryText end = PulseConfig_timeText(c.gateEnd);
  setEntryText(d->gateBeginEntry, begin.number);
  setUnits(d->gateBeginUnits, begin.units);
  setEntryText(d->gateEndEntry, end.number);
  setUnits(d->gateEndUnits, end.units);
  if (isP804(d)) {
    const PulseEntryText period = PulseConfig_timeText(c.prdVal);
    setEntryText(d->periodEntry, period.number);
    setUnits(d->periodUnits, period.units);
    fillLevel(d);
    setChecked(d->levelAuto, c.bAutoTriggerLevel);
    showAutoField(d->levelEntry, d->levelUnits, c.bAutoTriggerLevel);
    const PulseEntryText delay = PulseConfig_timeText(c.trigDelayVal);
    setEntryText(d->delayEntry, delay.number);
    setUnits(d->delayUnits, delay.units);
    setChecked(c.trigSlope == 1 ? d->radioRising : d->radioFalling, true);
    setChecked(c.bModelIsTriggeredGates ? d->radioTriggeredGates : d->radioPulseGate, true);
    rebuildStateRows(d);
    applyModel(d, c.bModelIsTriggeredGates);
  }
  d->loadingWidgets = false;
  d->pEntryTarget = nullptr;
  targetFirstField(d);
}

// ---- reading ----

struct Reader {
  PulseValidation& problem;
  bool ok = true;

  // A needed entry must hold a number; an optional one keeps `fallback`.
  double number(GtkWidget* entry, double factor, PulseFocus field, bool needed, double fallback) {
    const std::optional<double> value = PulseConfig_parseNumber(entryText(entry));
    if (value) return *value * factor;
    if (needed && ok) {
      ok = false;
      problem.valid = false;
      problem.messages.push_back(PulseConfig_missingNumberMessage(field));
      problem.focus = field;
    }
    return fallback;
  }
};

float asFloat(double value) { return static_cast<float>(value); }

double levelFromEntry(PULSE_CONFIG_DIALOG* d, Reader& r, float fallback) {
  const std::optional<double> typed = PulseConfig_parseNumber(entryText(d->levelEntry));
  if (!typed) return r.number(d->levelEntry, 1.0, {pulseFieldLevel, 0}, true, fallback);
  if (d->configUnitIsdBm) return cvtDBm2Watt(asFloat(*typed));
  return *typed * PulseUnits_powerFactor(unitsOf(d->levelUnits));
}

// The period typed in its entry (seconds), for the aggregate width check.
float typedPeriod(const PULSE_CONFIG_DIALOG* d) {
  const std::optional<double> value = PulseConfig_parseNumber(entryText(d->periodEntry));
  if (!value) return d->pulseConfig.prdVal;
  return asFloat(*value * PulseUnits_timeFactor(unitsOf(d->periodUnits)));
}

void readStates(PULSE_CONFIG_DIALOG* d, SENSOR_CONFIGS& c, Reader& r, bool triggered) {
  c.numStates = 0;
  for (int row = 1; row <= kPulseStateCount && cell(d, row, kStateColumnBegin) != nullptr; ++row) {
    const auto i = static_cast<std::size_t>(row - 1);
    PULSE_STATE_INTVL& s = c.pulseStates[i];
    const double beginFactor = PulseUnits_timeFactor(unitsOf(cell(d, row, kStateColumnBeginUnits)));
    const double endFactor = PulseUnits_timeFactor(unitsOf(cell(d, row, kStateColumnEndUnits)));
    s.begin = asFloat(r.number(cell(d, row, kStateColumnBegin), beginFactor, {pulseFieldStateBegin, row - 1},
                               triggered, s.begin));
    s.end = asFloat(r.number(cell(d, row, kStateColumnEnd), endFactor, {pulseFieldStateEnd, row - 1}, triggered,
                             s.end));
    s.bEnabled = true;
    ++c.numStates;
  }
  PulseConfig_disableUnusedStates(c);
}

// ---- error dialog ----

void onErrorDialogDestroyed(GtkWidget* widget, gpointer) {
  if (widget == errorDialog) {
    errorDialog = nullptr;
    errorDialogText.clear();
  }
}

void report(PULSE_CONFIG_DIALOG* d, const PulseValidation& v) {
  showErrorDialog(d->dialog, v.text().c_str());
  targetField(d, v.focus);
}

// ---- apply ----

struct ApplyResult {
  PULSE_CONFIG_DIALOG* dialog = nullptr;
  bool store = false;
  SENSOR_CONFIGS config;
  USBTMC_PARAM_ERRORS errors;
};

void setActionsSensitive(PULSE_CONFIG_DIALOG* d, bool on) {
  for (GtkWidget* b : {d->restoreButton, d->applyButton, d->applyAndStoreButton, d->cancelButton}) {
    if (b != nullptr) gtk_widget_set_sensitive(b, on ? TRUE : FALSE);
  }
}

gboolean onApplyDone(gpointer data) {
  std::unique_ptr<ApplyResult> result(static_cast<ApplyResult*>(data));
  PULSE_CONFIG_DIALOG* d = result->dialog;
  d->applying = false;
  setActionsSensitive(d, true);
  if (result->errors.count > 0) {
    showErrorDialog(d->dialog, PulseConfig_rejectionText(result->errors).c_str());
    return G_SOURCE_REMOVE;
  }
  if (result->store) sensorPortHandler_saveSensorConfig(result->config);
  applyPulseSensorConfiguration(d);
  gtk_widget_hide(d->dialog);
  return G_SOURCE_REMOVE;
}

void startApply(PULSE_CONFIG_DIALOG* d, bool store) {
  d->applying = true;
  setActionsSensitive(d, false);
  const SENSOR_CONFIGS config = d->pulseConfig;
  const int channel = d->channel;
  // The sensor's handler answers between two measuring cycles: the wait
  // happens here, off the main loop, and the answer is posted back to it.
  d->applyWorker = std::jthread([d, store, config, channel] {
    auto result = std::make_unique<ApplyResult>();
    result->dialog = d;
    result->store = store;
    result->config = config;
    result->errors = sensorPortHandler_setSensorConfigs(channel, config);
    g_idle_add(onApplyDone, result.release());
  });
}

// ---- signal handlers ----

// A field the user moved to becomes the keypad's target.
gboolean onEntryFocusInEvent(GtkWidget* entry, GdkEvent*, gpointer data) {
  auto* d = static_cast<PULSE_CONFIG_DIALOG*>(data);
  if (!movingFocus && !d->loadingWidgets && entry != d->pEntryTarget) makeTarget(d, entry);
  return FALSE;
}

gboolean onEntryButtonPress(GtkWidget* entry, GdkEvent*, gpointer data) {
  makeTarget(static_cast<PULSE_CONFIG_DIALOG*>(data), entry);
  return FALSE;
}

void connectEntry(PULSE_CONFIG_DIALOG* d, GtkWidget* entry) {
  if (entry == nullptr) return;
  g_signal_connect(entry, "focus-in-event", G_CALLBACK(onEntryFocusInEvent), d);
  g_signal_connect(entry, "button-press-event", G_CALLBACK(onEntryButtonPress), d);
}

void onFrequencyUnitsClicked(GtkButton* button, gpointer data) {
  setUnits(GTK_WIDGET(button), PulseUnits_nextFrequency(unitsOf(GTK_WIDGET(button))));
  makeTarget(static_cast<PULSE_CONFIG_DIALOG*>(data), static_cast<PULSE_CONFIG_DIALOG*>(data)->freqEntry);
}

void onTimeUnitsClicked(GtkButton* button, gpointer) {
  setUnits(GTK_WIDGET(button), PulseUnits_nextTime(unitsOf(GTK_WIDGET(button))));
}

void onLevelUnitsClicked(GtkButton*, gpointer data) {
  auto* d = static_cast<PULSE_CONFIG_DIALOG*>(data);
  d->configLevelScaleIndex = PulseUnits_nextLevelIndex(d->configLevelScaleIndex);
  d->configUnitIsdBm = d->configLevelScaleIndex == kLevelIndexDbm;
  setUnits(d->levelUnits, PulseUnits_levelLabel(d->configLevelScaleIndex));
  makeTarget(d, d->levelEntry);
}

void onAutoToggled(GtkToggleButton* toggle, gpointer data) {
  auto* d = static_cast<PULSE_CONFIG_DIALOG*>(data);
  if (d->loadingWidgets) return;
  GtkWidget* box = GTK_WIDGET(toggle);
  GtkWidget* entry = box == d->freqAuto ? d->freqEntry : box == d->periodAuto ? d->periodEntry : d->levelEntry;
  GtkWidget* units = box == d->freqAuto ? d->freqUnits : box == d->periodAuto ? d->periodUnits : d->levelUnits;
  const bool automatic = checked(box);
  showAutoField(entry, units, automatic);
  if (!automatic) {
    makeTarget(d, entry);
  } else if (d->pEntryTarget == entry || d->pEntryTarget == nullptr) {
    d->pEntryTarget = nullptr;
    targetFirstField(d);
  }
}

void onModelToggled(GtkToggleButton* toggle, gpointer data) {
  auto* d = static_cast<PULSE_CONFIG_DIALOG*>(data);
  if (d->loadingWidgets || !checked(GTK_WIDGET(toggle))) return;
  const bool triggered = GTK_WIDGET(toggle) == d->radioTriggeredGates;
  d->pulseConfig.bModelIsTriggeredGates = triggered;
  applyModel(d, triggered);
  if (triggered && stateRows(d) > 0) {
    makeTarget(d, cell(d, 1, kStateColumnBegin));
  } else if (!triggered) {
    makeTarget(d, d->gateBeginEntry);
  } else {
    targetFirstField(d);
  }
}

void onAddStateClicked(GtkButton*, gpointer data) {
  auto* d = static_cast<PULSE_CONFIG_DIALOG*>(data);
  const int rows = stateRows(d);
  if (rows >= kPulseStateCount) return;
  SENSOR_CONFIGS& c = d->pulseConfig;
  c.numStates = static_cast<std::uint8_t>(rows);
  if (rows > 0) {
    // The new state follows the previous one as it stands in its entry.
    PulseValidation ignored;
    Reader r{ignored};
    const auto previous = static_cast<std::size_t>(rows - 1);
    const double factor = PulseUnits_timeFactor(unitsOf(cell(d, rows, kStateColumnEndUnits)));
    c.pulseStates[previous].end =
        asFloat(r.number(cell(d, rows, kStateColumnEnd), factor, {}, false, c.pulseStates[previous].end));
  }
  if (!PulseConfig_addState(c)) return;
  addStateRow(d, rows);
  showAddState(d);
  makeTarget(d, cell(d, rows + 1, kStateColumnBegin));
}

void onDeleteStateClicked(GtkButton* button, gpointer data) {
  auto* d = static_cast<PULSE_CONFIG_DIALOG*>(data);
  const int row = rowOf(d, GTK_WIDGET(button));
  if (row < 1 || row > stateRows(d)) return;
  const bool wasTarget = d->pEntryTarget != nullptr && gtk_widget_get_parent(d->pEntryTarget) == d->stateGrid;
  if (wasTarget) d->pEntryTarget = nullptr;
  d->pulseConfig.numStates = static_cast<std::uint8_t>(stateRows(d));
  PulseConfig_deleteState(d->pulseConfig, row - 1);
  gtk_grid_remove_row(GTK_GRID(d->stateGrid), row);
  renumberStates(d);
  showAddState(d);
  GtkWidget* sameRow = cell(d, row, kStateColumnBegin);
  if (sameRow != nullptr) {
    makeTarget(d, sameRow);
  } else {
    d->pEntryTarget = nullptr;
    targetFirstField(d);
  }
}

void onKeypadClicked(GtkButton* button, gpointer data) {
  auto* d = static_cast<PULSE_CONFIG_DIALOG*>(data);
  GtkWidget* w = GTK_WIDGET(button);
  if (w == d->keypadNext) {
    targetNextField(d);
    return;
  }
  CKeypadManager_Event event;
  if (w == d->keypadPeriod) {
    event.eventID = evDecimal;
  } else if (w == d->keypadClear) {
    event.eventID = evClear;
  } else if (w == d->keypadBackspace) {
    event.eventID = evBackSp;
  } else if (w == d->keypadMinus) {
    event.eventID = evSign;
  } else {
    const auto digit = std::find(d->keypadDigits.begin(), d->keypadDigits.end(), w);
    if (digit == d->keypadDigits.end()) return;
    event.eventID = evAddChar;
    event.data = static_cast<char>('0' + (digit - d->keypadDigits.begin()));
  }
  if (d->pEntryTarget == nullptr) targetFirstField(d);
  CKeypadManager_HandleEvent(&d->keypadManager, event);
}

void onApplyClicked(GtkButton* button, gpointer data) { callbackPulseConfigBtnClicked(GTK_WIDGET(button), data); }

void onCancelClicked(GtkButton*, gpointer data) {
  auto* d = static_cast<PULSE_CONFIG_DIALOG*>(data);
  pulseConfigDialog_closeError();
  gtk_widget_hide(d->dialog);
}

gboolean onDialogDelete(GtkWidget* widget, GdkEvent*, gpointer) {
  gtk_widget_hide(widget);
  return TRUE;
}

// ---- construction ----

struct Binder {
  GtkBuilder* builder;
  const char* file;
  GtkWidget* get(const char* id) {
    GObject* object = gtk_builder_get_object(builder, id);
    if (object == nullptr) DIAGNOSTIC("%s has no \"%s\"\n", file, id);
    return object != nullptr ? GTK_WIDGET(object) : nullptr;
  }
};

void bindWidgets(PULSE_CONFIG_DIALOG* d, Binder& b) {
  d->dialog = b.get(kDialogId);
  d->title = b.get("pulse.labelTitle");
  d->attrBox = b.get("pulse.attrBox");
  d->cfgBox = b.get("pulse.cfgBox");
  d->actionBox = b.get("pulse.actionBox");
  d->freqAuto = b.get("pulse.chkFreqAuto");
  d->freqEntry = b.get("pulse.freqValue");
  d->freqUnits = b.get("pulse.freqUnits");
  d->gateBeginEntry = b.get("pulse.entryBegin");
  d->gateBeginUnits = b.get("pulse.btnUnitsBegin");
  d->gateEndEntry = b.get("pulse.entryEnd");
  d->gateEndUnits = b.get("pulse.btnUnitsEnd");
  d->restoreButton = b.get("pulse.btnRestore");
  d->applyButton = b.get("pulse.btnApply");
  d->applyAndStoreButton = b.get("pulse.btnApplyAndStore");
  d->cancelButton = b.get("pulse.btnCancel");
  for (int i = 0; i < 10; ++i) d->keypadDigits[static_cast<std::size_t>(i)] = b.get(("btnKeypad" + std::to_string(i)).c_str());
  d->keypadMinus = b.get("btnKeypadMinus");
  d->keypadPeriod = b.get("btnKeypadPeriod");
  d->keypadBackspace = b.get("btnKeypadBackspace");
  d->keypadClear = b.get("btnKeypadClear");
  d->keypadNext = b.get("btnKeypadNext");
  if (!isP804(d)) return;
  d->periodAuto = b.get("pulse.chkPeriodAuto");
  d->periodEntry = b.get("pulse.periodValue");
  d->periodUnits = b.get("pulse.periodUnits");
  d->levelAuto = b.get("pulse.chkLevelAuto");
  d->levelEntry = b.get("pulse.levelValue");
  d->levelUnits = b.get("pulse.levelUnits");
  d->delayEntry = b.get("pulse.delayValue");
  d->delayUnits = b.get("pulse.delayUnits");
  d->radioRising = b.get("pulse.radioRising");
  d->radioFalling = b.get("pulse.radioFalling");
  d->radioPulseGate = b.get("pulse.radioPulseGate");
  d->radioTriggeredGates = b.get("pulse.radioTriggeredGates");
  d->delayGrid = b.get("pulse.delayGrid");
  d->stateGrid = b.get("pulse.stateGrid");
  d->addStateButton = b.get("pulse.btnAddState");
}

void connectSignals(PULSE_CONFIG_DIALOG* d) {
  for (GtkWidget* e : {d->freqEntry, d->periodEntry, d->levelEntry, d->delayEntry, d->gateBeginEntry, d->gateEndEntry}) {
    connectEntry(d, e);
  }
  const auto on = [d](GtkWidget* w, const char* signal, GCallback handler) {
    if (w != nullptr) g_signal_connect(w, signal, handler, d);
  };
  on(d->freqUnits, "clicked", G_CALLBACK(onFrequencyUnitsClicked));
  for (GtkWidget* u : {d->periodUnits, d->delayUnits, d->gateBeginUnits, d->gateEndUnits}) {
    on(u, "clicked", G_CALLBACK(onTimeUnitsClicked));
  }
  on(d->levelUnits, "clicked", G_CALLBACK(onLevelUnitsClicked));
  for (GtkWidget* box : {d->freqAuto, d->periodAuto, d->levelAuto}) on(box, "toggled", G_CALLBACK(onAutoToggled));
  on(d->radioPulseGate, "toggled", G_CALLBACK(onModelToggled));
  on(d->radioTriggeredGates, "toggled", G_CALLBACK(onModelToggled));
  on(d->addStateButton, "clicked", G_CALLBACK(onAddStateClicked));
  on(d->applyButton, "clicked", G_CALLBACK(onApplyClicked));
  on(d->applyAndStoreButton, "clicked", G_CALLBACK(onApplyClicked));
  on(d->restoreButton, "clicked", G_CALLBACK(callbackRestoreSavedConfig));
  on(d->cancelButton, "clicked", G_CALLBACK(onCancelClicked));
  on(d->dialog, "delete-event", G_CALLBACK(onDialogDelete));
  for (GtkWidget* key : d->keypadDigits) on(key, "clicked", G_CALLBACK(onKeypadClicked));
  for (GtkWidget* key : {d->keypadMinus, d->keypadPeriod, d->keypadBackspace, d->keypadClear, d->keypadNext}) {
    on(key, "clicked", G_CALLBACK(onKeypadClicked));
  }
}

void installCss() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, kDialogCss, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 300);
  g_object_unref(css);
}

// Where the keys and actions sit in the shown dialog, in the category log
// (SensorManager): a remote-driven test of the screen clicks on them.
gboolean logWidgetPositions(gpointer data) {
  auto* d = static_cast<PULSE_CONFIG_DIALOG*>(data);
  if (!LogManager_isEnabled(SensorMmngr) || !gtk_widget_get_visible(d->dialog)) return G_SOURCE_REMOVE;
  const auto note = [d](const char* name, GtkWidget* w) {
    if (w == nullptr || !gtk_widget_get_mapped(w)) return;
    int x = 0;
    int y = 0;
    gtk_widget_translate_coordinates(w, d->dialog, gtk_widget_get_allocated_width(w) / 2,
                                     gtk_widget_get_allocated_height(w) / 2, &x, &y);
    logManager_printToLog(SensorMmngr, "PulseConfigDialog: %s at %d,%d\n", name, x, y);
  };
  for (int i = 0; i < 10; ++i) note(std::to_string(i).c_str(), d->keypadDigits[static_cast<std::size_t>(i)]);
  note("minus", d->keypadMinus);
  note("period", d->keypadPeriod);
  note("next", d->keypadNext);
  note("clear", d->keypadClear);
  note("apply", d->applyButton);
  note("store", d->applyAndStoreButton);
  note("cancel", d->cancelButton);
  note("restore", d->restoreButton);
  return G_SOURCE_REMOVE;
}

}  // namespace

void pulseConfigDialog_setHooks(const PulseConfigHooks& hooks) { configHooks = hooks; }

void pulseConfigDialog_Create(PULSE_CONFIG_DIALOG* dialog, enPulseSensorModel model) {
  *dialog = PULSE_CONFIG_DIALOG{};
  dialog->model = model;
  dialog->powerUnitIsdBm = true;
  dialog->pulseConfig = initializePulseConfig();
  TextField_copy(dialog->dialogTitle, "Sensor Model");
  const char* file = model == ModelP804 ? kP804File : kP803File;
  GtkBuilder* builder = gtk_builder_new();
  GError* error = nullptr;
  if (gtk_builder_add_from_file(builder, file, &error) == 0) {
    DIAGNOSTIC("Error loading file: %s\n", file);
    if (error != nullptr) g_error_free(error);
    g_object_unref(builder);
    return;
  }
  dialog->builder = builder;
  Binder binder{builder, file};
  bindWidgets(dialog, binder);
  if (dialog->dialog == nullptr) return;
  installCss();
  CKeypadManager_Create(&dialog->keypadManager, "",
                        model == ModelP804 ? PulseConfig_setTextInWidgetCallBackP804
                                           : PulseConfig_setTextInWidgetCallBackP803);
  connectSignals(dialog);
  if (parentWindow == nullptr) {
    GList* toplevels = gtk_window_list_toplevels();
    for (GList* l = toplevels; l != nullptr; l = l->next) {
      if (std::string_view(gtk_widget_get_name(GTK_WIDGET(l->data))) == "mainWindowR9050") parentWindow = GTK_WIDGET(l->data);
    }
    g_list_free(toplevels);
  }
  if (parentWindow != nullptr) gtk_window_set_transient_for(GTK_WINDOW(dialog->dialog), GTK_WINDOW(parentWindow));
  gtk_window_set_keep_above(GTK_WINDOW(dialog->dialog), TRUE);
}

void pulseConfigDialog_Show(const SENSOR_CONFIGS& configuration, int channel, const char* title) {
  PULSE_CONFIG_DIALOG* d = configuration.bSupportsTriggeredGates ? &gPulseConfigDlgP804 : &gPulseConfigDlgP803;
  if (d->dialog == nullptr) {
    DIAGNOSTIC("The pulse configuration dialog was not built\n");
    return;
  }
  if (d->applying) return;  // still sending the previous configuration
  d->pulseConfig = configuration;
  TextField_copy(d->dialogTitle, title != nullptr && title[0] != '\0' ? title : "Sensor Model");
  d->channel = channel;
  d->sensor = PulseConfig_stampOf(channel, sensorPortHandler_getSensorInformation(channel));
  d->triggerLevelScaleIndex = PulseConfig_levelRange(configuration.trigLevelVal, d->triggerLevelScaleIndex);
  d->powerUnitIsdBm = configuration_getPowerUnitsIsdBm();
  d->configUnitIsdBm = d->powerUnitIsdBm;
  if (isP804(d)) bUseTriggeredGatesModel = configuration.bModelIsTriggeredGates;
  pulseConfigDialog_closeError();
  fillWidgets(d);
  gtk_window_set_modal(GTK_WINDOW(d->dialog), TRUE);
  gtk_widget_show(d->dialog);
  gtk_window_present(GTK_WINDOW(d->dialog));
  g_timeout_add(400, logWidgetPositions, d);
}

void pulseConfigDialog_open(int channel, const char* title) {
  pulseConfigDialog_Show(sensorPortHandler_getSensorConfigs(channel), channel, title);
}

void callbackPulseConfig(GtkWidget*, gpointer data) {
  const auto* request = static_cast<const PulseConfigRequest*>(data);
  if (request == nullptr) return;
  pulseConfigDialog_open(request->channel, request->title.data());
}

bool updatePulseSensorConfiguration(PULSE_CONFIG_DIALOG* d, PulseValidation& problem) {
  SENSOR_CONFIGS c = d->pulseConfig;
  Reader r{problem};
  c.bAutoFrequency = checked(d->freqAuto);
  if (!c.bAutoFrequency) {
    c.freqVal = asFloat(r.number(d->freqEntry, PulseUnits_frequencyFactor(unitsOf(d->freqUnits)),
                                 {pulseFieldFrequency, 0}, true, c.freqVal));
  }
  const bool triggered = isP804(d) && !checked(d->radioPulseGate);
  c.gateBegin = asFloat(r.number(d->gateBeginEntry, PulseUnits_timeFactor(unitsOf(d->gateBeginUnits)),
                                 {pulseFieldGateBegin, 0}, !triggered, c.gateBegin));
  c.gateEnd = asFloat(r.number(d->gateEndEntry, PulseUnits_timeFactor(unitsOf(d->gateEndUnits)),
                               {pulseFieldGateEnd, 0}, !triggered, c.gateEnd));
  if (isP804(d)) {
    c.bAutoPeriod = checked(d->periodAuto);
    if (!c.bAutoPeriod) {
      c.prdVal = asFloat(r.number(d->periodEntry, PulseUnits_timeFactor(unitsOf(d->periodUnits)),
                                  {pulseFieldPeriod, 0}, true, c.prdVal));
    }
    c.bAutoTriggerLevel = checked(d->levelAuto);
    if (!c.bAutoTriggerLevel) c.trigLevelVal = asFloat(levelFromEntry(d, r, c.trigLevelVal));
    c.trigDelayVal = asFloat(r.number(d->delayEntry, PulseUnits_timeFactor(unitsOf(d->delayUnits)),
                                      {pulseFieldDelay, 0}, true, c.trigDelayVal));
    c.trigSlope = checked(d->radioRising) ? 1 : 0;
    c.bModelIsTriggeredGates = triggered;
    readStates(d, c, r, triggered);
  }
  if (!r.ok) return false;
  d->pulseConfig = c;
  return true;
}

void callbackPulseConfigBtnClicked(GtkWidget* widget, gpointer data) {
  auto* d = static_cast<PULSE_CONFIG_DIALOG*>(data);
  if (d == nullptr || d->applying) return;
  const bool store = widget != nullptr && widget == d->applyAndStoreButton;
  PulseValidation problem;
  if (!updatePulseSensorConfiguration(d, problem)) {
    report(d, problem);
    return;
  }
  const SENSOR_INFORMATION_DATA info = sensorPortHandler_getSensorInformation(d->channel);
  const PulseValidation v = isP804(d)
                                ? validatePulseConfigurationP804(d->pulseConfig, info.sensorIdentity, typedPeriod(d))
                                : validatePulseConfigurationP803(d->pulseConfig, info.sensorIdentity);
  if (!v.valid) {
    report(d, v);
    return;
  }
  // Limits and capabilities were those of the sensor the dialog was opened
  // for; a configuration checked against them must not reach another one.
  if (!PulseConfig_sameSensor(d->sensor, d->channel, sensorPortHandler_getSensorStatus(d->channel).status, info)) {
    DIAGNOSTIC("Pulse configuration for port %d not sent: the sensor changed\n", d->channel);
    showErrorDialog(d->dialog, kSensorChanged);
    return;
  }
  pulseConfigDialog_closeError();
  startApply(d, store);
}

void callbackRestoreSavedConfig(GtkWidget*, gpointer data) {
  auto* d = static_cast<PULSE_CONFIG_DIALOG*>(data);
  if (d == nullptr || d->applying) return;
  sensorPortHandler_loadSensorConfig(d->pulseConfig);
  if (isP804(d)) bUseTriggeredGatesModel = d->pulseConfig.bModelIsTriggeredGates;
  fillWidgets(d);
}

void applyPulseSensorConfiguration(PULSE_CONFIG_DIALOG* dialog) {
  if (configuration_getPowerUnitsIsdBm() != dialog->powerUnitIsdBm && configHooks.toggleWattdBm != nullptr) {
    configHooks.toggleWattdBm();
  }
}

void PulseConfig_setTextInTargetWidget(PULSE_CONFIG_DIALOG* dialog, const char* text, bool select) {
  GtkWidget* entry = dialog->pEntryTarget;
  if (entry == nullptr) return;
  gtk_entry_set_text(GTK_ENTRY(entry), text != nullptr ? text : "");
  if (select) {
    movingFocus = true;
    if (gtk_widget_get_visible(dialog->dialog)) gtk_widget_grab_focus(entry);
    gtk_editable_select_region(GTK_EDITABLE(entry), 0, -1);
    movingFocus = false;
  } else {
    gtk_editable_set_position(GTK_EDITABLE(entry), -1);
  }
}

void PulseConfig_setTextInWidgetCallBackP803(const char* text, bool select) {
  PulseConfig_setTextInTargetWidget(&gPulseConfigDlgP803, text, select);
}

void PulseConfig_setTextInWidgetCallBackP804(const char* text, bool select) {
  PulseConfig_setTextInTargetWidget(&gPulseConfigDlgP804, text, select);
}

void showErrorDialog(GtkWidget* parent, const char* text) {
  pulseConfigDialog_closeError();
  GtkWindow* window = parent != nullptr && gtk_widget_get_visible(parent) ? GTK_WINDOW(parent)
                      : parentWindow != nullptr                          ? GTK_WINDOW(parentWindow)
                                                                         : nullptr;
  errorDialog = gtk_message_dialog_new(window, static_cast<GtkDialogFlags>(GTK_DIALOG_DESTROY_WITH_PARENT | GTK_DIALOG_MODAL),
                                       GTK_MESSAGE_ERROR, GTK_BUTTONS_CLOSE, "%s", text != nullptr ? text : "");
  errorDialogText = text != nullptr ? text : "";
  gtk_widget_set_name(errorDialog, "errorDialog");
  gtk_window_set_keep_above(GTK_WINDOW(errorDialog), TRUE);
  g_signal_connect(errorDialog, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
  g_signal_connect(errorDialog, "destroy", G_CALLBACK(onErrorDialogDestroyed), nullptr);
  gtk_widget_show(errorDialog);
}

GtkWidget* pulseConfigDialog_lookup(const PULSE_CONFIG_DIALOG* dialog, const char* id) {
  if (dialog == nullptr || dialog->builder == nullptr || id == nullptr) return nullptr;
  GObject* object = gtk_builder_get_object(dialog->builder, id);
  return object != nullptr && GTK_IS_WIDGET(object) ? GTK_WIDGET(object) : nullptr;
}

GtkWidget* pulseConfigDialog_stateCell(const PULSE_CONFIG_DIALOG* dialog, int row, int column) {
  return cell(dialog, row, column);
}

std::string pulseConfigDialog_errorText() { return errorDialog != nullptr ? errorDialogText : std::string(); }

void pulseConfigDialog_closeError() {
  if (errorDialog != nullptr) gtk_widget_destroy(errorDialog);
}

bool pulseConfigDialog_isApplying(const PULSE_CONFIG_DIALOG* dialog) { return dialog->applying; }
