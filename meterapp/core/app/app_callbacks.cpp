#include "app_callbacks.h"

#include <cstdio>
#include <string>

#include "app_state.h"
#include "configuration.h"
#include "display_fsm.h"
#include "log_manager.h"
#include "main_window.h"
#include "settings_menu.h"
#include "text_field.h"

namespace {

constexpr const char* kSensorInfoDialogFile = "./resources/sensorInfoDialog.ui";

bool isCwInstance(GtkSensorInstance instance) { return instance >= gtkSensorSingleChannel1 && instance <= gtkSensorDualChannel2withGraph; }

// The with-graph instance of a CW pair is the odd one.
GtkSensorInstance withGraphInstance(GtkSensorInstance instance) { return static_cast<GtkSensorInstance>(instance | 1); }

bool channelIsBound(const SensorDisplayInstance& channel) { return channel.sensorPort.load() != sensorPort_None; }

void invalidateBoundGraphs() {
  for (auto& channel : sensorDisplays) {
    if (channelIsBound(channel) && isCwInstance(channel.display)) {
      CGTKTimePowerGraph_invalidateGraph(CGTKPowerDisplay_getGraph(withGraphInstance(channel.display)));
    }
  }
}

void setLabel(GtkBuilder* builder, const char* id, const char* text) {
  GObject* label = gtk_builder_get_object(builder, id);
  if (label != nullptr && GTK_IS_LABEL(label)) gtk_label_set_text(GTK_LABEL(label), text);
}

std::string fieldText(std::string_view view) { return std::string(view); }

}  // namespace

void settingsCallback(GtkWidget* widget, gpointer) {
  const char* name = widget != nullptr ? gtk_widget_get_name(widget) : "";
  DIAGNOSTIC("Settings Button %s was pressed", name);
  if (!gtk_init_done) return;
  if (settingsMenuIsVisible()) {
    AppSettingsMenu_hide();
  } else {
    AppSettingsMenu_show();
  }
}

void callbackWattdBm(GtkWidget*, gpointer) {
  if (!gtk_init_done) return;
  configuration_setPowerUnitsIsdBm(!configuration_getPowerUnitsIsdBm());
  if (configuration_getDisplayGraph()) invalidateBoundGraphs();
}

void SensorInfo_formatPower(float watts, char* text, int size) { std::snprintf(text, static_cast<std::size_t>(size), "%3.2f W", static_cast<double>(watts)); }

void callbackSensorInfo(GtkWidget*, gpointer data) {
  const int channel = GPOINTER_TO_INT(data);
  if (channel < 0 || channel > 1) return;
  const int port = sensorDisplays[static_cast<std::size_t>(channel)].sensorPort.load();
  const SENSOR_INFORMATION_DATA info = sensorPortHandler_getSensorInformation(port);

  GtkBuilder* builder = gtk_builder_new();
  GError* error = nullptr;
  if (gtk_builder_add_from_file(builder, kSensorInfoDialogFile, &error) == 0) {
    DIAGNOSTIC("Cannot read %s: %s\n", kSensorInfoDialogFile, error != nullptr ? error->message : "");
    g_clear_error(&error);
    g_object_unref(builder);
    return;
  }
  gtk_builder_add_callback_symbol(builder, "on_sensorInfoDialog_ok_clicked", G_CALLBACK(on_sensorInfoDialog_ok_clicked));
  gtk_builder_connect_signals(builder, nullptr);
  char maxPower[32];
  char minPower[32];
  SensorInfo_formatPower(info.sensorIdentity.sensorPower.max, maxPower, sizeof maxPower);
  SensorInfo_formatPower(info.sensorIdentity.sensorPower.min, minPower, sizeof minPower);
  setLabel(builder, "sensorInfoModel", fieldText(TextField_view(info.sensorIdentity.sensorModel)).c_str());
  setLabel(builder, "sensorInfoFirmware", fieldText(TextField_view(info.sensorIdentity.sensorFirmwareRevision)).c_str());
  setLabel(builder, "sensorInfoSerial", fieldText(TextField_view(info.serialNumber)).c_str());
  setLabel(builder, "sensorInfoMaxPower", maxPower);
  setLabel(builder, "sensorInfoMinPower", minPower);
  GObject* dialog = gtk_builder_get_object(builder, "sensorInfoDialog");
  if (dialog != nullptr && GTK_IS_WINDOW(dialog)) {
    if (mainWindow != nullptr) gtk_window_set_transient_for(GTK_WINDOW(dialog), GTK_WINDOW(mainWindow));
    gtk_widget_show_all(GTK_WIDGET(dialog));
  }
  g_object_unref(builder);  // the shown dialog keeps itself alive until destroyed
}

void on_sensorInfoDialog_ok_clicked(GtkWidget* widget, gpointer) {
  if (widget != nullptr) gtk_widget_destroy(gtk_widget_get_toplevel(widget));
}

void settings_setDisplayForward(bool on) { configuration_setDisplayFowardPower(on); }
void settings_setDisplayReflected(bool on) { configuration_setDisplayReflectedPower(on); }
void settings_setDisplayMatch(bool on) { configuration_setDisplayMatch(on); }
void settings_setMatchType(int type) {
  if (type < rfMatch_VSWR || type > rfMatch_RflCoeff) return;
  configuration_setMatchMeasurementType(static_cast<rfMatchType_t>(type));
}
void settings_setSensorPulseMode(bool on) { configuration_setPulseMode(on); }

void settings_setDisplayGraph(bool on) {
  configuration_setDisplayGraph(on);
  if (!on) return;
  // A graph switched on starts empty rather than showing an old history.
  for (auto& channel : sensorDisplays) {
    if (channelIsBound(channel) && isCwInstance(channel.display)) {
      CGTKTimePowerGraph_reset(CGTKPowerDisplay_getGraph(withGraphInstance(channel.display)));
    }
  }
}

void settings_setGraphMode(int mode) {
  if (mode != graphModeRaw && mode != graphModeAverage) return;
  for (int channel = 0; channel < 2; ++channel) {
    GraphSettings_t settings = configuration_getGraphSettings(channel);
    settings.displayMode = static_cast<TimeGraphMode>(mode);
    configuration_setGraphSettings(settings, channel);
  }
  if (configuration_getDisplayGraph()) invalidateBoundGraphs();
}
