#include "power_display.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "display_fsm.h"
#include "log_manager.h"
#include "ranges.h"
#include "text_field.h"
#include "widget_utils.h"

namespace {

constexpr guint kPulseStylePriority = 800;
constexpr int kMaxSensorLabel = 30;
constexpr int kDescriptionWidth = 980;
constexpr int kTitleRowWidth = 1024;
constexpr int kRowHeight = 100;
constexpr int kDualRowHeight = 95;

void placeStyled(GtkWidget* container, GtkWidget* widget, const gtkWidgetParameters& p) {
  if (p.fgColor != nullptr) setWidgetFgColor(widget, p.fgColor);
  setWidgetFont(widget, Layout_font(p));
  gtk_fixed_put(GTK_FIXED(container), widget, static_cast<int>(p.x), static_cast<int>(p.y));
}

// Restyling a widget invalidates its style on every pass: only on a change.
void setRowColours(gtkPowerDisplay_RFPower* row, bool overRange) {
  const int wanted = overRange ? 1 : 0;
  if (row->shownColours == wanted) return;
  row->shownColours = wanted;
  setWidgetFgColor(row->label, overRange ? &textColorRed : &textColorLightGrey);
  setWidgetFgColor(row->value, overRange ? &textColorRed : &textColorWhite);
}

void setLabelText(GtkWidget* label, const char* text) {
  if (label == nullptr) return;
  // Setting the same text again would queue a resize on every pass.
  if (std::strcmp(gtk_label_get_text(GTK_LABEL(label)), text) != 0) gtk_label_set_text(GTK_LABEL(label), text);
}

void setShown(GtkWidget* widget, bool shown) {
  if (widget == nullptr) return;
  if (shown) {
    gtk_widget_show(widget);
  } else {
    gtk_widget_hide(widget);
  }
}

void readDisplaySettings(CGTKPowerDisplay* d) {
  d->powerType = configuration_getPowerUnitsIsdBm() ? rfPower_dBm : rfPower_W;
  d->matchType = configuration_getMatchMeasurementType();
  d->enableFwd = configuration_getDisplayFowardPower();
  d->enableRfl = configuration_getDisplayReflectedPower();
  d->enableMatch = configuration_getDisplayMatch();
}

void applyRowVisibility(CGTKPowerDisplay* d) {
  gtkPowerDisplay_setVisible(&d->fwdRFPower, &d->scaleControlsFwd, d->enableFwd);
  gtkPowerDisplay_setVisible(&d->rflRFPower, &d->scaleControlsRfl, d->enableRfl);
  gtkPowerDisplay_setVisible(&d->match, nullptr, d->enableMatch);
}

// One power row from one reading. A changed automatic range is stored (only
// then: every store rewrites the settings file).
void updatePowerRow(CGTKPowerDisplay* d, gtkPowerDisplay_RFPower* row, CGTKScaleControls* controls,
                    rfPowerScale* scale, int direction, float power) {
  const float maxPower = sensorPortHandler_getSensorMaxPower(d->sensorChannel);
  const PowerRowView view = PowerFormat_row(power, *scale, d->powerType, maxPower);
  if (view.scaleChanged) {
    rfPowerScale stored = configuration_getRfPowerScale(d->displayIndex, direction);
    stored.scaleIndex = view.scale.scaleIndex;
    configuration_setRfPowerScale(stored, d->displayIndex, direction);
  }
  *scale = view.scale;
  setRowColours(row, view.overRange);
  CGTKScaleControls_setVisible(controls, view.showScale);
  setLabelText(row->unitsButtonLabel, view.units.data());
  setLabelText(row->value, view.text.data());
}

void updateMatchRow(CGTKPowerDisplay* d, const SENSOR_MEASUREMENTS& m) {
  const MatchView view = PowerFormat_match(m.fwdPwrVal, m.rflPwrVal, d->matchType);
  setLabelText(d->match.label, view.title);
  setLabelText(d->match.unitsButtonLabel, view.units);
  setLabelText(d->match.value, view.text.data());
}

bool isDualContainer(GtkWidget* container) {
  const char* name = container != nullptr ? gtk_widget_get_name(container) : nullptr;
  return name != nullptr && std::strncmp(name, "dual", 4) == 0;
}

void setNoConnectionTexts(CGTKNoConnectionDisplay* instance, const NoConnectionTexts& texts) {
  CGTKNoConnectionDisplay_setTitle(instance, texts.title.c_str());
  CGTKNoConnectionDisplay_setDescription(instance, texts.description.c_str());
}

}  // namespace

void gtkPowerDisplay_RFPower_create(gtkPowerDisplay_RFPower* row, const CGTKPowerDisplay_RFPower_Parameters& p) {
  row->container = gtk_fixed_new();
  const gtkWidgetParameters* layout = p.layoutParameters;
  // The value goes in first so that the title is drawn over it: in the
  // compact layouts the value's leading blank overlaps the title's end.
  row->value = gtk_label_new("");
  gtk_widget_set_name(row->value, "rowValue");
  placeStyled(row->container, row->value, layout[1]);
  row->label = gtk_label_new(p.title);
  gtk_widget_set_name(row->label, "rowTitle");
  placeStyled(row->container, row->label, layout[0]);
  row->unitsButton = gtk_button_new_with_label(p.units);
  gtk_widget_set_name(row->unitsButton, "unitsButton");
  gtk_button_set_relief(GTK_BUTTON(row->unitsButton), GTK_RELIEF_NONE);
  gtk_widget_set_can_focus(row->unitsButton, FALSE);
  row->unitsButtonLabel = WidgetUtils_buttonLabel(row->unitsButton);
  setWidgetFgAndBgColors(row->unitsButton, layout[2].fgColor, &bgColorBlack);
  if (row->unitsButtonLabel != nullptr) {
    if (layout[2].fgColor != nullptr) setWidgetFgColor(row->unitsButtonLabel, layout[2].fgColor);
    setWidgetFont(row->unitsButtonLabel, Layout_font(layout[2]));
  }
  gtk_fixed_put(GTK_FIXED(row->container), row->unitsButton, static_cast<int>(layout[2].x),
                static_cast<int>(layout[2].y));
  if (p.callbackMeasFunction != nullptr) g_signal_connect(row->unitsButton, "clicked", p.callbackMeasFunction, nullptr);
  setShown(row->container, p.isVisible);
}

void CGTKPowerDisplay_Create(CGTKPowerDisplay* instance, const CGTKPowerDisplay_Parameters& parameters) {
  WidgetUtils_registerStyle(css_pulse_disp, kPulseStylePriority);
  instance->sensorChannel = parameters.sensorChannel;
  instance->displayIndex = parameters.displayIndex;
  instance->container = parameters.container;
  readDisplaySettings(instance);
  instance->scaleFwd = configuration_getRfPowerScale(instance->displayIndex, 0);
  instance->scaleRfl = configuration_getRfPowerScale(instance->displayIndex, 1);
  const gtkPowerDisplayLayout& layout = sensorChannelLayout[parameters.layout];

  gtkPowerDisplay_Title& title = instance->title;
  title.container = gtk_fixed_new();
  gtk_widget_set_name(title.container, "titleRow");
  title.sensorButton = gtk_button_new_with_label("");
  gtk_widget_set_name(title.sensorButton, "sensorButton");
  gtk_button_set_relief(GTK_BUTTON(title.sensorButton), GTK_RELIEF_NONE);
  gtk_widget_set_can_focus(title.sensorButton, FALSE);
  title.sensorButtonLabel = WidgetUtils_buttonLabel(title.sensorButton);
  setWidgetFgAndBgColors(title.sensorButton, &textColorLightGrey, &bgColorBlack);
  setWidgetFgColor(title.sensorButtonLabel, &textColorLightGrey);
  setWidgetFont(title.sensorButtonLabel, Layout_font(layout.title));
  gtk_fixed_put(GTK_FIXED(title.container), title.sensorButton, static_cast<int>(layout.title.x),
                static_cast<int>(layout.title.y));
  if (title.configButton != nullptr) {
    gtk_fixed_put(GTK_FIXED(title.container), title.configButton, static_cast<int>(layout.configBtn.x),
                  static_cast<int>(layout.configBtn.y));
  }
  if (parameters.callbackSensorInfoFunction != nullptr) {
    g_signal_connect(title.sensorButton, "clicked", parameters.callbackSensorInfoFunction,
                     GINT_TO_POINTER(instance->displayIndex));
  }
  gtk_widget_set_size_request(title.container, kTitleRowWidth, -1);

  const bool rl = instance->matchType == rfMatch_RL;
  const auto powerUnits = [&](const rfPowerScale& scale) {
    return instance->powerType == rfPower_dBm ? "dBm"
                                              : rangeFormats[std::min<std::uint32_t>(scale.scaleIndex, kTopRange)].displayLabel;
  };
  gtkPowerDisplay_RFPower_create(&instance->fwdRFPower, {true, "FWD:", powerUnits(instance->scaleFwd),
                                                         parameters.callbackMeasFunction, layout.FwdMeasurement.data()});
  gtkPowerDisplay_RFPower_create(&instance->rflRFPower, {true, "RFL:", powerUnits(instance->scaleRfl),
                                                         parameters.callbackMeasFunction, layout.RflMeasurement.data()});
  gtkPowerDisplay_RFPower_create(&instance->match, {true, rl ? "RL:" : "VSWR:", rl ? "dB" : "",
                                                    parameters.callbackMeasFunction, layout.MatchMeasurement.data()});
  const bool dual = parameters.layout == layoutDualChannelWithGraph;
  for (gtkPowerDisplay_RFPower* row : {&instance->fwdRFPower, &instance->rflRFPower, &instance->match}) {
    gtk_widget_set_size_request(row->container, dual ? 560 : kTitleRowWidth, dual ? kDualRowHeight : kRowHeight);
  }

  instance->callbackDataAutoscaleFwd = {instance, 0, nullptr, &instance->scaleFwd};
  instance->callbackDataAutoscaleRfl = {instance, 1, nullptr, &instance->scaleRfl};
  CGTKScaleControls_Create(&instance->scaleControlsFwd, 0, &instance->callbackDataAutoscaleFwd, layout.FwdScale.data(),
                           instance->fwdRFPower.container);
  CGTKScaleControls_Create(&instance->scaleControlsRfl, 1, &instance->callbackDataAutoscaleRfl, layout.RflScale.data(),
                           instance->rflRFPower.container);

  GtkWidget* rows[] = {title.container, instance->fwdRFPower.container, instance->rflRFPower.container,
                       instance->match.container};
  for (std::size_t i = 0; i < 4; ++i) {
    gtk_fixed_put(GTK_FIXED(instance->container), rows[i], 0,
                  static_cast<int>(parameters.yLinePositions[i] + parameters.yOffset));
  }

  if (layout.graph.height != 0) {
    auto& channel = sensorDisplays[static_cast<std::size_t>(std::clamp(instance->displayIndex, 0, 1))];
    CGTKTimePowerGraph_create(&instance->graph, instance->container, static_cast<int>(layout.graph.x),
                              static_cast<int>(layout.graph.y + parameters.yOffset),
                              static_cast<int>(layout.graph.width), static_cast<int>(layout.graph.height),
                              &channel.graphDataPwr, instance);
    CGTKTimePowerGraph_setName(&instance->graph, parameters.name);
    instance->hasGraph = true;
  }
  gtk_widget_show_all(title.container);
  for (gtkPowerDisplay_RFPower* row : {&instance->fwdRFPower, &instance->rflRFPower, &instance->match}) {
    gtk_widget_show_all(row->container);
  }
  applyRowVisibility(instance);
}

void CGTKPowerDisplay_updateMeasurements(CGTKPowerDisplay* instance, SENSOR_MEASUREMENTS measurements) {
  readDisplaySettings(instance);
  applyRowVisibility(instance);
  if (instance->title.configButton != nullptr) setShown(instance->title.configButton, instance->sensorChannel >= 2);
  if (std::isnan(measurements.fwdPwrVal) || std::isnan(measurements.rflPwrVal)) return;
  if (instance->enableFwd) {
    updatePowerRow(instance, &instance->fwdRFPower, &instance->scaleControlsFwd, &instance->scaleFwd, 0,
                   measurements.fwdPwrVal);
  }
  if (instance->enableRfl) {
    updatePowerRow(instance, &instance->rflRFPower, &instance->scaleControlsRfl, &instance->scaleRfl, 1,
                   measurements.rflPwrVal);
  }
  if (instance->enableMatch) updateMatchRow(instance, measurements);
}

void CGTKPowerDisplay_updateScale(CGTKPowerDisplay* instance) {
  instance->scaleFwd = configuration_getRfPowerScale(instance->displayIndex, 0);
  instance->scaleRfl = configuration_getRfPowerScale(instance->displayIndex, 1);
  CGTKScaleControls_updateScale(&instance->scaleControlsFwd, instance->displayIndex, 0);
  CGTKScaleControls_updateScale(&instance->scaleControlsRfl, instance->displayIndex, 1);
}

void CGTKPowerDisplay_setDisplayIndex(CGTKPowerDisplay* instance, int index) {
  if (index < 0 || index > 1) {
    DIAGNOSTIC("Invalid display index %d\n", index);
    return;
  }
  instance->displayIndex = index;
  if (instance->hasGraph) {
    CGTKTimePowerGraph_setGraphDataInstance(&instance->graph,
                                            &sensorDisplays[static_cast<std::size_t>(index)].graphDataPwr);
  }
}

int CGTKPowerDisplay_getDisplayIndex(const CGTKPowerDisplay* instance) { return instance->displayIndex; }
void CGTKPowerDisplay_setSensorChannel(CGTKPowerDisplay* instance, int channel) { instance->sensorChannel = channel; }
int CGTKPowerDisplay_getSensorChannel(const CGTKPowerDisplay* instance) { return instance->sensorChannel; }

void CGTKPowerDisplay_getSensorLabel(const CGTKPowerDisplay* instance, char* buffer, int length) {
  if (buffer == nullptr || length <= 0) return;
  const SENSOR_STATUS status = sensorPortHandler_getSensorStatus(instance->sensorChannel);
  const SENSOR_INFORMATION_DATA info = sensorPortHandler_getSensorInformation(instance->sensorChannel);
  const std::string label =
      PowerFormat_sensorLabel(status.status, SensorPort_isSerial(instance->sensorChannel),
                              TextField_view(info.sensorIdentity.sensorModel), TextField_view(info.serialNumber), length);
  std::snprintf(buffer, static_cast<std::size_t>(length), "%s", label.c_str());
}

void CGTKPowerDisplay_setSensorLabel(CGTKPowerDisplay* instance, int maxLength) {
  char label[kMaxSensorLabel + 1];
  CGTKPowerDisplay_getSensorLabel(instance, label, std::clamp(maxLength, 1, kMaxSensorLabel));
  GtkWidget* button = instance->title.sensorButton;
  if (button == nullptr) return;
  setLabelText(instance->title.sensorButtonLabel, label);
  // The label is set on every display pass; restyling it each time would
  // invalidate the button's style on every pass.
  if (instance->title.clickablePainted) return;
  instance->title.clickablePainted = true;
  setWidgetFgAndBgColors(button, &textColorClickable, &bgColorBlack);
  setWidgetFgColor(instance->title.sensorButtonLabel, &textColorClickable);
}

float gtkPowerDisplay_getMaxPowerForRange(int sensorChannel, rfPowerScale scale, rfPowerType powerType) {
  return PowerFormat_maxPowerForRange(sensorPortHandler_getSensorMaxPower(sensorChannel), scale, powerType);
}

bool gtkPowerDisplay_isOverRange(int sensorChannel, float power, rfPowerScale scale, rfPowerType powerType) {
  return PowerFormat_isOverRange(sensorPortHandler_getSensorMaxPower(sensorChannel), power, scale, powerType);
}

void gtkPowerDisplay_setVisible(gtkPowerDisplay_RFPower* row, CGTKScaleControls* scaleControls, bool visible) {
  if (row != nullptr) setShown(row->container, visible);
  if (scaleControls != nullptr && !visible) CGTKScaleControls_setVisible(scaleControls, false);
}

void CGTKNoConnectionDisplay_Create(CGTKNoConnectionDisplay* instance, const CGTKPowerDisplay_Parameters& parameters,
                                    const char* title) {
  WidgetUtils_registerStyle(css_pulse_disp, kPulseStylePriority);
  instance->sensorChannel = parameters.sensorChannel;
  instance->displayIndex = parameters.displayIndex;
  instance->container = parameters.container;
  const bool dual = isDualContainer(instance->container);
  instance->title = gtk_label_new(title);
  gtk_widget_set_name(instance->title, "noConnectionTitle");
  setWidgetFgColor(instance->title, &textColorLightGrey);
  setWidgetFont(instance->title, dual ? fontSize35 : fontSize40);
  gtk_fixed_put(GTK_FIXED(instance->container), instance->title, 10, dual ? 20 : 50);

  instance->descriptionView = gtk_text_view_new();
  gtk_widget_set_name(instance->descriptionView, "noConnectionDescription");
  instance->descriptionBuffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(instance->descriptionView));
  gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(instance->descriptionView), GTK_WRAP_WORD);
  gtk_text_view_set_editable(GTK_TEXT_VIEW(instance->descriptionView), FALSE);
  gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(instance->descriptionView), FALSE);
  gtk_widget_set_can_focus(instance->descriptionView, FALSE);
  gtk_widget_set_size_request(instance->descriptionView, kDescriptionWidth, -1);
  setWidgetFgAndBgColors(instance->descriptionView, &textColorLightGrey, &bgColorBlack);
  setWidgetFont(instance->descriptionView, dual ? fontSize23 : fontSize30);
  gtk_fixed_put(GTK_FIXED(instance->container), instance->descriptionView, 10, dual ? 80 : 200);
  gtk_widget_show(instance->title);
  gtk_widget_show(instance->descriptionView);
}

void CGTKNoConnectionDisplay_setTitle(CGTKNoConnectionDisplay* instance, const char* text) {
  if (instance->title == nullptr) {
    DIAGNOSTIC("DisplayFSM: instance->message is null!\n");
    return;
  }
  gtk_label_set_text(GTK_LABEL(instance->title), text != nullptr ? text : "");
}

void CGTKNoConnectionDisplay_setDescription(CGTKNoConnectionDisplay* instance, const char* text) {
  if (instance->descriptionBuffer == nullptr) {
    DIAGNOSTIC("DisplayFSM: instance->descriptionBuffer is null!\n");
    return;
  }
  gtk_text_buffer_set_text(instance->descriptionBuffer, text != nullptr ? text : "", -1);
}

void CGTKNoConnectionDisplay_setNoConnect(CGTKNoConnectionDisplay* instance) {
  setNoConnectionTexts(instance, NoConnection_noConnectTexts());
}

void CGTKNoConnectionDisplay_setConnecting_withPort(CGTKNoConnectionDisplay* instance, const char* portName) {
  setNoConnectionTexts(instance, NoConnection_connectingTexts(portName != nullptr ? portName : ""));
}

void CGTKNoConnectionDisplay_setSensorError_withPort(CGTKNoConnectionDisplay* instance, const char* portName) {
  setNoConnectionTexts(instance, NoConnection_sensorErrorTexts(portName != nullptr ? portName : ""));
}
