// The pulse views: a USB "CW & Pulse" sensor's average power, pulse timing,
// carrier frequency and either the gated power or up to four pulse states.
// Three views are built once (full screen, and one half-screen view per
// channel) from builder files; the display state machine shows them and
// feeds them on every display pass. Main loop only.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "log_manager.h"
#include "power_display.h"
#include "pulse_format.h"
#include "ranges.h"
#include "sensor_manager.h"
#include "widget_utils.h"

namespace {

constexpr const char* kFullScreenFile = "./resources/pulseDisplay.ui";
constexpr const char* kHalfScreenFile = "./resources/pulseDisplayHalf.ui";
constexpr const char* kGearPicture = "./resources/gear.png";
constexpr const char* kRangeUpPicture = "./resources/settingsUp.png";
constexpr const char* kRangeDownPicture = "./resources/settingsDown.png";
constexpr const char* kAutoOnPicture = "./resources/scaleAutoOn.png";
constexpr guint kPulseStylePriority = 800;
constexpr int kMaxSensorLabel = 30;
constexpr const char* kColourKey = "r9050-colour";
// The pulse views' buttons sit tight around their pictures: the half view
// holds seven rows in 344 pixels.
constexpr const char* kPulseButtonCss = "button#pulseDisplay { padding: 2px 4px; min-height: 0px; min-width: 0px; }";

PulseDisplayHooks displayHooks;

// ---- small widget helpers ----

void setShown(GtkWidget* widget, bool shown) {
  if (widget == nullptr) return;
  if (shown) {
    gtk_widget_show(widget);
  } else {
    gtk_widget_hide(widget);
  }
}

void setText(GtkWidget* label, const char* text) {
  if (label == nullptr) return;
  // The same text again would queue a resize on every pass.
  if (std::strcmp(gtk_label_get_text(GTK_LABEL(label)), text) != 0) gtk_label_set_text(GTK_LABEL(label), text);
}

// Restyling invalidates a widget's style: only when the colour changes. The
// colour last applied is kept on the widget itself.
void setColour(GtkWidget* widget, const GdkRGBA* colour) {
  if (widget == nullptr) return;
  gpointer shown = g_object_get_data(G_OBJECT(widget), kColourKey);
  if (shown == colour) return;
  g_object_set_data(G_OBJECT(widget), kColourKey, const_cast<GdkRGBA*>(colour));
  setWidgetFgColor(widget, colour);
}

void setFont(GtkWidget* widget, PangoFontDescription* const* font) {
  if (widget != nullptr && font != nullptr && *font != nullptr) setWidgetFont(widget, *font);
}

void setButtonPicture(GtkWidget* button, const char* picture) {
  if (button == nullptr) return;
  gtk_button_set_image(GTK_BUTTON(button), gtk_image_new_from_file(picture));
  gtk_button_set_always_show_image(GTK_BUTTON(button), TRUE);
}

// Touchable: clickable colour on black, no relief.
void styleButton(GtkWidget* button, PangoFontDescription* const* font) {
  if (button == nullptr) return;
  gtk_button_set_relief(GTK_BUTTON(button), GTK_RELIEF_NONE);
  gtk_widget_set_can_focus(button, FALSE);
  setWidgetFgAndBgColors(button, &textColorClickable, &bgColorBlack);
  GtkWidget* label = WidgetUtils_buttonLabel(button);
  if (label != nullptr) {
    setWidgetFgColor(label, &textColorClickable);
    setFont(label, font);
  }
}

// ---- binding ----

struct Binder {
  GtkBuilder* builder;
  const char* file;
  bool complete = true;

  GtkWidget* get(const char* id) {
    GObject* object = gtk_builder_get_object(builder, id);
    if (object == nullptr || !GTK_IS_WIDGET(object)) {
      DIAGNOSTIC("%s has no \"%s\"\n", file, id);
      complete = false;
      return nullptr;
    }
    return GTK_WIDGET(object);
  }
  GtkWidget* get(const char* format, int n) {
    char id[48];
    std::snprintf(id, sizeof id, "%s%d", format, n);
    return get(id);
  }
};

void bindPowerRow(Binder& b, gtkPowerDisplay_RFPower& row, CGTKScaleControls& controls, const char* name,
                  int direction) {
  char id[48];
  const auto bind = [&](const char* prefix, const char* suffix = "") {
    std::snprintf(id, sizeof id, "%s%s%s", prefix, name, suffix);
    return b.get(id);
  };
  row.container = nullptr;  // the rows share the attribute grid
  row.label = bind("pulse.lbl");
  row.value = bind("pulse.value");
  row.unitsButton = bind("pulse.btnUnits");
  row.unitsButtonLabel = row.unitsButton != nullptr ? WidgetUtils_buttonLabel(row.unitsButton) : nullptr;
  std::snprintf(id, sizeof id, "pulse.%sCtlBox", direction == 0 ? "fwd" : "rfl");
  controls.container = b.get(id);
  controls.gtkScaleUp = bind("pulse.btn", "ScaleUp");
  controls.gtkScaleDown = bind("pulse.btn", "ScaleDown");
  controls.gtkScaleAutoOn = bind("pulse.btn", "ScaleAuto");
  controls.sensorDirection = direction;
}

void bindTimingRow(Binder& b, gtkPowerDisplay_RFPower& row, const char* title, const char* name) {
  char id[48];
  std::snprintf(id, sizeof id, "pulse.lbl%s", title);
  row.label = b.get(id);
  std::snprintf(id, sizeof id, "pulse.value%s", name);
  row.value = b.get(id);
  std::snprintf(id, sizeof id, "pulse.units%s", name);
  row.unitsButtonLabel = b.get(id);
}

void bindWidgets(Binder& b, CGTKPowerDisplay* d) {
  d->pulseScreen = b.get("pulse.screen");
  d->pGridAttr = b.get("pulse.attrGrid");
  d->title.container = d->pulseScreen;
  d->title.sensorButton = b.get("pulse.btnTitle");
  d->title.sensorButtonLabel = d->title.sensorButton != nullptr ? WidgetUtils_buttonLabel(d->title.sensorButton)
                                                                : nullptr;
  d->title.configButton = b.get("pulse.btnConfig");
  b.get("pulse.gridAttr");
  bindPowerRow(b, d->fwdRFPower, d->scaleControlsFwd, "Fwd", 0);
  bindPowerRow(b, d->rflRFPower, d->scaleControlsRfl, "Rfl", 1);
  bindTimingRow(b, d->period, "Prd", "Period");
  bindTimingRow(b, d->repeat, "Repeat", "Repeat");
  bindTimingRow(b, d->width, "Width", "Width");
  bindTimingRow(b, d->dutyCycleVal, "Duty", "Duty");
  bindTimingRow(b, d->frequency, "Freq", "Freq");

  d->pGridState = b.get("pulse.gridState");
  for (const char* id : {"pulse.lblState", "pulse.lblMean", "pulse.lblMax", "pulse.lblMin"}) b.get(id);
  for (int n = 1; n <= kPulseStateCount; ++n) {
    gtkPowerDisplay_PulseState& s = d->stateArray[static_cast<std::size_t>(n - 1)];
    s.container = d->pGridState;
    s.state = b.get("pulse.lblState", n);
    s.mean = b.get("pulse.valueMean", n);
    s.max = b.get("pulse.valueMax", n);
    s.min = b.get("pulse.valueMin", n);
    s.unitsButton = b.get("pulse.btnUnits", n);
    s.unitsButtonLabel = s.unitsButton != nullptr ? WidgetUtils_buttonLabel(s.unitsButton) : nullptr;
    s.scaleControls.container = d->pGridState;
    s.scaleControls.gtkScaleUp = b.get("pulse.btnScaleUp", n);
    s.scaleControls.gtkScaleDown = b.get("pulse.btnScaleDown", n);
    s.scaleControls.gtkScaleAutoOn = b.get("pulse.btnScaleAuto", n);
    s.scaleControls.sensorDirection = n - 1;
  }

  d->pGridGated = b.get("pulse.gridGate");
  for (const char* id : {"pulse.lblGated", "pulse.lblGatedMean", "pulse.lblGatedMax", "pulse.lblGatedMin"}) {
    b.get(id);
  }
  gtkPowerDisplay_GatedPower& g = d->gatedPower;
  g.container = d->pGridGated;
  g.meanValue = b.get("pulse.valueGatedMean");
  g.maxValue = b.get("pulse.valueGatedMax");
  g.minValue = b.get("pulse.valueGatedMin");
  g.unitsButton = b.get("pulse.btnGatedUnits");
  g.unitsButtonLabel = g.unitsButton != nullptr ? WidgetUtils_buttonLabel(g.unitsButton) : nullptr;
  d->scaleControlsGatedPower.container = d->pGridGated;
  d->scaleControlsGatedPower.gtkScaleUp = b.get("pulse.btnGatedScaleUp");
  d->scaleControlsGatedPower.gtkScaleDown = b.get("pulse.btnGatedScaleDown");
  d->scaleControlsGatedPower.gtkScaleAutoOn = b.get("pulse.btnGatedAuto");
}

// ---- styling and signals ----

void styleTitles(const std::initializer_list<GtkWidget*>& labels, PangoFontDescription* const* font) {
  for (GtkWidget* label : labels) {
    setColour(label, &textColorLightGrey);
    setFont(label, font);
  }
}

void styleValues(const std::initializer_list<GtkWidget*>& labels, PangoFontDescription* const* font) {
  for (GtkWidget* label : labels) {
    setColour(label, &textColorWhite);
    setFont(label, font);
  }
}

void styleRangeButtons(CGTKScaleControls& controls, bool autoOn) {
  for (GtkWidget* b : {controls.gtkScaleUp, controls.gtkScaleDown, controls.gtkScaleAutoOn}) styleButton(b, nullptr);
  setButtonPicture(controls.gtkScaleUp, kRangeUpPicture);
  setButtonPicture(controls.gtkScaleDown, kRangeDownPicture);
  setButtonPicture(controls.gtkScaleAutoOn, autoOn ? kAutoOnPicture : "./resources/scaleAutoOff.png");
}

void applyStyle(CGTKPowerDisplay* d, bool full) {
  PangoFontDescription* const* title = full ? &fontSize30 : &fontSize20;
  PangoFontDescription* const* value = full ? &fontSize30 : &fontSize20;
  // The half view has 344 pixels: its timing rows take the smaller font.
  PangoFontDescription* const* timing = full ? &fontSize30 : &fontSize15;
  styleButton(d->title.sensorButton, full ? &fontSize40 : &fontSize23);
  styleButton(d->title.configButton, nullptr);
  setButtonPicture(d->title.configButton, kGearPicture);
  for (gtkPowerDisplay_RFPower* row : {&d->period, &d->repeat, &d->width, &d->dutyCycleVal}) {
    styleTitles({row->label, row->unitsButtonLabel}, timing);
    styleValues({row->value}, timing);
  }
  styleButton(d->fwdRFPower.unitsButton, nullptr);
  styleButton(d->rflRFPower.unitsButton, nullptr);
  styleRangeButtons(d->scaleControlsFwd, d->scaleFwd.autoScale);
  styleRangeButtons(d->scaleControlsRfl, d->scaleRfl.autoScale);
  Binder lookup{d->pulseBuilder, "", true};
  for (const char* id : {"pulse.lblState", "pulse.lblMean", "pulse.lblMax", "pulse.lblMin", "pulse.lblGated",
                         "pulse.lblGatedMean", "pulse.lblGatedMax", "pulse.lblGatedMin"}) {
    styleTitles({lookup.get(id)}, title);
  }
  if (!full) {
    for (const char* id : {"pulse.tabValues", "pulse.tabStates", "pulse.tabGatedPower"}) {
      styleTitles({lookup.get(id)}, &fontSize15);
    }
  }
  for (gtkPowerDisplay_PulseState& s : d->stateArray) {
    styleTitles({s.state}, title);
    styleValues({s.mean, s.max, s.min}, value);
    styleButton(s.unitsButton, value);
    styleRangeButtons(s.scaleControls, s.powerScale.autoScale);
  }
  styleValues({d->gatedPower.meanValue, d->gatedPower.maxValue, d->gatedPower.minValue}, value);
  styleButton(d->gatedPower.unitsButton, value);
  styleRangeButtons(d->scaleControlsGatedPower, d->gatedPowerScale.autoScale);
}

void connectRangeButtons(CGTKScaleControls& controls, CallbackData_AutoScale* data, GCallback up, GCallback down,
                         GCallback toggle) {
  data->button = controls.gtkScaleAutoOn;
  if (controls.gtkScaleUp != nullptr) g_signal_connect(controls.gtkScaleUp, "clicked", up, data);
  if (controls.gtkScaleDown != nullptr) g_signal_connect(controls.gtkScaleDown, "clicked", down, data);
  if (controls.gtkScaleAutoOn != nullptr) g_signal_connect(controls.gtkScaleAutoOn, "clicked", toggle, data);
}

// The sensor button hands over the channel the view shows at the time of the
// click: the full-screen view changes channels.
void onTitleClicked(GtkWidget* widget, gpointer data) {
  const auto* d = static_cast<const CGTKPowerDisplay*>(data);
  if (displayHooks.sensorInfoClicked != nullptr) displayHooks.sensorInfoClicked(widget, GINT_TO_POINTER(d->displayIndex));
}

void onConfigClicked(GtkWidget*, gpointer data) {
  const auto* d = static_cast<const CGTKPowerDisplay*>(data);
  if (displayHooks.openPulseConfig == nullptr) return;
  char title[kMaxSensorLabel + 1];
  CGTKPowerDisplay_getSensorLabel(d, title, kMaxSensorLabel);
  displayHooks.openPulseConfig(d->sensorChannel, title);
}

void connectSignals(CGTKPowerDisplay* d) {
  d->callbackDataAutoscaleFwd = {d, 0, nullptr, &d->scaleFwd};
  d->callbackDataAutoscaleRfl = {d, 1, nullptr, &d->scaleRfl};
  connectRangeButtons(d->scaleControlsFwd, &d->callbackDataAutoscaleFwd, G_CALLBACK(CGTKScaleControls_CallbackUp),
                      G_CALLBACK(CGTKScaleControls_CallbackDown), G_CALLBACK(CGTKScaleControls_CallbackAuto));
  connectRangeButtons(d->scaleControlsRfl, &d->callbackDataAutoscaleRfl, G_CALLBACK(CGTKScaleControls_CallbackUp),
                      G_CALLBACK(CGTKScaleControls_CallbackDown), G_CALLBACK(CGTKScaleControls_CallbackAuto));
  for (std::size_t i = 0; i < d->stateArray.size(); ++i) {
    gtkPowerDisplay_PulseState& s = d->stateArray[i];
    s.callbackDataAutoscale = {d, static_cast<std::uint32_t>(i), nullptr, &s.powerScale};
    connectRangeButtons(s.scaleControls, &s.callbackDataAutoscale, G_CALLBACK(CGTKScaleControls_CallbackStateUp),
                        G_CALLBACK(CGTKScaleControls_CallbackStateDown),
                        G_CALLBACK(CGTKScaleControls_CallbackStateAuto));
  }
  d->callbackDataAutoscaleGatedPower = {d, 0, nullptr, &d->gatedPowerScale};
  connectRangeButtons(d->scaleControlsGatedPower, &d->callbackDataAutoscaleGatedPower,
                      G_CALLBACK(CGTKScaleControls_CallbackGatedPowerUp),
                      G_CALLBACK(CGTKScaleControls_CallbackGatedPowerDown),
                      G_CALLBACK(CGTKScaleControls_CallbackGatedPowerAuto));
  if (displayHooks.unitsClicked != nullptr) {
    GtkWidget* units[] = {d->fwdRFPower.unitsButton, d->rflRFPower.unitsButton, d->gatedPower.unitsButton,
                          d->stateArray[0].unitsButton, d->stateArray[1].unitsButton, d->stateArray[2].unitsButton,
                          d->stateArray[3].unitsButton};
    for (GtkWidget* b : units) {
      if (b != nullptr) g_signal_connect(b, "clicked", displayHooks.unitsClicked, nullptr);
    }
  }
  if (d->title.sensorButton != nullptr) g_signal_connect(d->title.sensorButton, "clicked", G_CALLBACK(onTitleClicked), d);
  if (d->title.configButton != nullptr) {
    g_signal_connect(d->title.configButton, "clicked", G_CALLBACK(onConfigClicked), d);
  }
}

// ---- update ----

void readStoredScales(CGTKPowerDisplay* d) {
  d->powerType = configuration_getPowerUnitsIsdBm() ? rfPower_dBm : rfPower_W;
  d->enableFwd = configuration_getDisplayFowardPower();
  d->enableRfl = configuration_getDisplayReflectedPower();
  d->scaleFwd = configuration_getRfPowerScale(d->displayIndex, 0);
  d->scaleRfl = configuration_getRfPowerScale(d->displayIndex, 1);
  for (std::size_t i = 0; i < d->stateArray.size(); ++i) {
    d->stateArray[i].powerScale = configuration_getStatePowerScale(d->displayIndex, static_cast<int>(i));
  }
  d->gatedPowerScale = configuration_getGatedPowerScale(d->displayIndex);
}

void showPowerRow(gtkPowerDisplay_RFPower& row, CGTKScaleControls& controls, bool shown) {
  setShown(row.label, shown);
  setShown(row.value, shown);
  setShown(row.unitsButton, shown);
  setShown(controls.container, shown);
}

void updatePowerRow(CGTKPowerDisplay* d, gtkPowerDisplay_RFPower& row, CGTKScaleControls& controls,
                    rfPowerScale& scale, int direction, float power) {
  const PowerRowView view =
      PowerFormat_row(power, scale, d->powerType, sensorPortHandler_getSensorMaxPower(d->sensorChannel));
  if (view.scaleChanged) {
    rfPowerScale stored = configuration_getRfPowerScale(d->displayIndex, direction);
    stored.scaleIndex = view.scale.scaleIndex;
    configuration_setRfPowerScale(stored, d->displayIndex, direction);
  }
  scale = view.scale;
  setColour(row.label, view.overRange ? &textColorRed : &textColorLightGrey);
  setColour(row.value, view.overRange ? &textColorRed : &textColorWhite);
  CGTKScaleControls_setVisible(&controls, view.showScale);
  setText(row.unitsButtonLabel, view.units.data());
  setText(row.value, view.text.data());
}

void writeValue(gtkPowerDisplay_RFPower& row, const PulseValueView& view) {
  setText(row.value, view.text.data());
  setText(row.unitsButtonLabel, view.units.data());
}

// Mean, maximum, minimum of one gate or state into three labels; returns
// whether any was over range.
bool showPowerGroup(CGTKPowerDisplay* d, const std::array<GtkWidget*, 3>& labels, GtkWidget* unitsLabel,
                    CGTKScaleControls& controls, rfPowerScale& scale, const PULSE_STATES& values,
                    const auto& storeIndex) {
  const PulsePowerGroupView view = PulseFormat_powerGroup(values.mean, values.max, values.min, scale, d->powerType,
                                                          sensorPortHandler_getSensorMaxPower(d->sensorChannel));
  if (view.scaleChanged) storeIndex(view.scale.scaleIndex);
  scale = view.scale;
  for (std::size_t i = 0; i < labels.size(); ++i) {
    setColour(labels[i], view.overRange[i] ? &textColorRed : &textColorWhite);
    setText(labels[i], view.text[i].data());
    setShown(labels[i], true);
  }
  setText(unitsLabel, view.units.data());
  CGTKScaleControls_setVisible(&controls, view.showScale);
  return view.anyOverRange();
}

void updateGated(CGTKPowerDisplay* d, const SENSOR_MEASUREMENTS& m) {
  setShown(d->pGridState, false);
  setShown(d->pGridGated, true);
  gtkPowerDisplay_GatedPower& g = d->gatedPower;
  const int channel = d->displayIndex;
  showPowerGroup(d, {g.meanValue, g.maxValue, g.minValue}, g.unitsButtonLabel, d->scaleControlsGatedPower,
                 d->gatedPowerScale, PULSE_STATES{m.gateMin, m.gateMax, m.gateMean}, [channel](std::uint32_t index) {
                   rfPowerScale stored = configuration_getGatedPowerScale(channel);
                   stored.scaleIndex = index;
                   configuration_setGatedPowerScale(stored, channel);
                 });
}

void updateStates(CGTKPowerDisplay* d, const SENSOR_MEASUREMENTS& m, const SENSOR_CONFIGS& configs) {
  setShown(d->pGridGated, false);
  setShown(d->pGridState, true);
  const int channel = d->displayIndex;
  const std::size_t shownStates = std::min<std::size_t>(configs.numStates, d->stateArray.size());
  for (std::size_t i = 0; i < d->stateArray.size(); ++i) {
    gtkPowerDisplay_PulseState& s = d->stateArray[i];
    const bool shown = i < shownStates;
    // A state the sensor does not measure shows nothing, not even its title:
    // an empty "State 3" row reads as a state measuring nothing.
    setShown(s.state, shown);
    setShown(s.unitsButton, shown);
    if (!shown) {
      for (GtkWidget* w : {s.mean, s.max, s.min}) setShown(w, false);
      CGTKScaleControls_setVisible(&s.scaleControls, false);
      continue;
    }
    const int state = static_cast<int>(i);
    const bool over = showPowerGroup(d, {s.mean, s.max, s.min}, s.unitsButtonLabel, s.scaleControls, s.powerScale,
                                     m.pulseStates[i], [channel, state](std::uint32_t index) {
                                       rfPowerScale stored = configuration_getStatePowerScale(channel, state);
                                       stored.scaleIndex = index;
                                       configuration_setStatePowerScale(stored, channel, state);
                                     });
    setColour(s.state, over ? &textColorRed : &textColorLightGrey);
  }
}

}  // namespace

void PulseDisplay_setHooks(const PulseDisplayHooks& hooks) { displayHooks = hooks; }

bool initPulseDisplay(GtkWidget* container, CGTKPowerDisplay* instance, bool fullScreen) {
  WidgetUtils_registerStyle(css_pulse_disp, kPulseStylePriority);
  WidgetUtils_registerStyle(kPulseButtonCss, kPulseStylePriority + 1);
  instance->container = container;
  instance->isPulseView = true;
  instance->pulseFullScreen = fullScreen;
  const char* file = fullScreen ? kFullScreenFile : kHalfScreenFile;
  GError* error = nullptr;
  GtkBuilder* builder = gtk_builder_new();
  if (gtk_builder_add_from_file(builder, file, &error) == 0) {
    DIAGNOSTIC("Error loading file: %s (%s)\n", file, error != nullptr ? error->message : "");
    if (error != nullptr) g_error_free(error);
    g_object_unref(builder);
    return false;
  }
  instance->pulseBuilder = builder;
  Binder binder{builder, file};
  bindWidgets(binder, instance);
  if (!binder.complete || instance->pulseScreen == nullptr) {
    instance->isPulseView = false;
    return false;
  }
  readStoredScales(instance);
  applyStyle(instance, fullScreen);
  connectSignals(instance);
  if (container != nullptr) gtk_fixed_put(GTK_FIXED(container), instance->pulseScreen, 0, 0);
  gtk_widget_show_all(instance->pulseScreen);
  CGTKPowerDisplay_setup(instance, fullScreen ? modeSingleSimple : modeDualSimple);
  setShown(instance->pGridState, false);
  return true;
}

GtkWidget* PulseDisplay_lookup(const CGTKPowerDisplay* instance, const char* id) {
  if (instance == nullptr || instance->pulseBuilder == nullptr || id == nullptr) return nullptr;
  GObject* object = gtk_builder_get_object(instance->pulseBuilder, id);
  return object != nullptr && GTK_IS_WIDGET(object) ? GTK_WIDGET(object) : nullptr;
}

void CGTKPowerDisplay_setup(CGTKPowerDisplay* instance, pwrDisplayMode mode) {
  if (!instance->isPulseView) return;
  if (mode < modeSingleSimple || mode > modeDualMulti) mode = modeSingleSimple;
  // Fonts and pictures are applied only on a change of mode: restyling
  // would cost every pass a new layout.
  if (instance->pulseModeApplied && instance->pulseMode == mode) return;
  instance->pulseMode = mode;
  instance->pulseModeApplied = true;
  const gtkPwrDispModeLayout& l = pwrDispModeLayout[static_cast<std::size_t>(mode)];
  for (gtkPowerDisplay_RFPower* row : {&instance->fwdRFPower, &instance->rflRFPower, &instance->frequency}) {
    setFont(row->label, l.small);
    setFont(row->unitsButtonLabel, l.small);
    setFont(row->value, l.large);
  }
  setColour(instance->frequency.label, &textColorLightGrey);
  setColour(instance->frequency.value, &textColorWhite);
  setColour(instance->frequency.unitsButtonLabel, &textColorLightGrey);
  for (CGTKScaleControls* c : {&instance->scaleControlsFwd, &instance->scaleControlsRfl}) {
    setButtonPicture(c->gtkScaleUp, l.imageFileUp);
    setButtonPicture(c->gtkScaleDown, l.imageFileDown);
  }
  const bool simple = PulseFormat_isSimpleMode(mode);
  for (gtkPowerDisplay_RFPower* row : {&instance->period, &instance->repeat, &instance->width, &instance->dutyCycleVal}) {
    setShown(row->label, simple);
    setShown(row->value, simple);
    setShown(row->unitsButtonLabel, simple);
  }
  setShown(instance->frequency.unitsButtonLabel, true);
}

void CGTKPowerDisplay_updatePulseMeasurements(CGTKPowerDisplay* instance, SENSOR_MEASUREMENTS measurements) {
  if (!instance->isPulseView) return;
  readStoredScales(instance);
  setShown(instance->title.configButton, SensorPort_isUsb(instance->sensorChannel));
  showPowerRow(instance->fwdRFPower, instance->scaleControlsFwd, instance->enableFwd);
  showPowerRow(instance->rflRFPower, instance->scaleControlsRfl, instance->enableRfl);
  if (!std::isnan(measurements.fwdPwrVal) && !std::isnan(measurements.rflPwrVal)) {
    if (instance->enableFwd) {
      updatePowerRow(instance, instance->fwdRFPower, instance->scaleControlsFwd, instance->scaleFwd, 0,
                     measurements.fwdPwrVal);
    }
    if (instance->enableRfl) {
      updatePowerRow(instance, instance->rflRFPower, instance->scaleControlsRfl, instance->scaleRfl, 1,
                     measurements.rflPwrVal);
    }
  }
  // The configuration of the view's own sensor, copied under the port's
  // lock; a serial port gives that of a port without USB sensor.
  const SENSOR_CONFIGS configs = sensorPortHandler_getSensorConfigs(instance->sensorChannel);
  const bool states = PulseFormat_usesStates(configs);
  if (!states) {
    writeValue(instance->period, PulseFormat_time(measurements.prdVal));
    writeValue(instance->repeat, PulseFormat_frequency(measurements.prfVal));
    writeValue(instance->width, PulseFormat_time(measurements.widthVal));
    writeValue(instance->dutyCycleVal, PulseFormat_dutyCycle(measurements.dutyCycleVal));
  }
  CGTKPowerDisplay_setup(instance, PulseFormat_mode(configs, SensorInstance_GetActiveCount()));
  writeValue(instance->frequency, PulseFormat_frequency(measurements.freqVal));
  if (states) {
    updateStates(instance, measurements, configs);
  } else {
    updateGated(instance, measurements);
  }
}

void CGTKPowerDisplay_preparePulse(CGTKPowerDisplay* instance, int displayIndex, int port, int labelLength) {
  if (!instance->isPulseView) return;
  CGTKPowerDisplay_setDisplayIndex(instance, displayIndex);
  CGTKPowerDisplay_setSensorChannel(instance, port);
  readStoredScales(instance);
  CGTKScaleControls_setAuto(instance->scaleControlsFwd.gtkScaleAutoOn, instance->scaleFwd.autoScale);
  CGTKScaleControls_setAuto(instance->scaleControlsRfl.gtkScaleAutoOn, instance->scaleRfl.autoScale);
  for (gtkPowerDisplay_PulseState& s : instance->stateArray) {
    CGTKScaleControls_setAuto(s.scaleControls.gtkScaleAutoOn, s.powerScale.autoScale);
  }
  CGTKScaleControls_setAuto(instance->scaleControlsGatedPower.gtkScaleAutoOn, instance->gatedPowerScale.autoScale);
  CGTKPowerDisplay_setSensorLabel(instance, std::min(labelLength, kMaxSensorLabel));
}
