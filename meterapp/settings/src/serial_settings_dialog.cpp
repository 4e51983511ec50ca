#include "serial_settings_dialog.h"

#include <string>

#include "configuration.h"
#include "dialog_support.h"
#include "log_manager.h"
#include "serial_config.h"
#include "serial_port.h"
#include "settings_menu.h"

namespace {

constexpr const char* kDialogFile = "serSettingsDialog.ui";

// The one open dialog.
std::unique_ptr<SERCONFIG_S> serConfig;

struct WidgetSlot {
  const char* id;
  GtkWidget* SERCONFIG_S::*member;
};

constexpr WidgetSlot kWidgets[] = {
    {"serSettingsDialog", &SERCONFIG_S::dialog},
    {"serSettingsVbox", &SERCONFIG_S::vbox},
    {"serSettingsActionArea", &SERCONFIG_S::actionArea},
    {"serSettingsTable", &SERCONFIG_S::table},
    {"serSettingsLabelSpeed", &SERCONFIG_S::labelSpeed},
    {"serSettingsComboSpeed", &SERCONFIG_S::comboSpeed},
    {"serSettingsLabelDataBits", &SERCONFIG_S::labelDataBits},
    {"serSettingsRadioData7", &SERCONFIG_S::radioData7},
    {"serSettingsRadioData8", &SERCONFIG_S::radioData8},
    {"serSettingsLabelStopBits", &SERCONFIG_S::labelStopBits},
    {"serSettingsRadioStop1", &SERCONFIG_S::radioStop1},
    {"serSettingsRadioStop2", &SERCONFIG_S::radioStop2},
    {"serSettingsLabelParity", &SERCONFIG_S::labelParity},
    {"serSettingsComboParity", &SERCONFIG_S::comboParity},
    {"serSettingsDialog_apply", &SERCONFIG_S::apply},
    {"serSettingsDialog_cancel", &SERCONFIG_S::cancel},
    {"serSettingsLabelStatus", &SERCONFIG_S::status},
};

int speedIndex(speed_t speed) {
  for (int i = 0; i < static_cast<int>(std::size(speed_table)); ++i) {
    if (speed_table[i].speed == speed) return i;
  }
  return -1;
}

void setActive(GtkWidget* button, bool on) { gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(button), on ? TRUE : FALSE); }
bool isActive(GtkWidget* button) { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(button)) != FALSE; }

// The combos list the speed table and the parity codes in their own order,
// so an entry's index is the table row or the code.
void fillCombos(SERCONFIG_S* s) {
  for (const auto& entry : speed_table) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(s->comboSpeed), entry.label);
  for (const char* label : parity_table_config) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(s->comboParity), label);
}

void showValues(SERCONFIG_S* s) {
  gtk_combo_box_set_active(GTK_COMBO_BOX(s->comboSpeed), speedIndex(s->speed));
  gtk_combo_box_set_active(GTK_COMBO_BOX(s->comboParity), s->parity);
  setActive(s->dataBits == DATA_BITS_7 ? s->radioData7 : s->radioData8, true);
  setActive(s->stopBits == STOP_BITS_2 ? s->radioStop2 : s->radioStop1, true);
}

// The chosen values; false when a combo has nothing chosen.
bool readChoice(SERCONFIG_S* s) {
  const int speed = gtk_combo_box_get_active(GTK_COMBO_BOX(s->comboSpeed));
  const int parity = gtk_combo_box_get_active(GTK_COMBO_BOX(s->comboParity));
  if (speed < 0 || speed >= static_cast<int>(std::size(speed_table)) || parity < 0 || parity > PARITY_EVEN) return false;
  s->speed = speed_table[speed].speed;
  s->parity = static_cast<std::int8_t>(parity);
  s->dataBits = isActive(s->radioData7) ? DATA_BITS_7 : DATA_BITS_8;
  s->stopBits = isActive(s->radioStop2) ? STOP_BITS_2 : STOP_BITS_1;
  return true;
}

void putChoice(const SERCONFIG_S* s, struct termios* config) {
  SerialConfig_TermiosPutSpeed(config, s->speed);
  SerialConfig_TermiosPutDataBits(config, s->dataBits);
  SerialConfig_TermiosPutStopBits(config, s->stopBits);
  SerialConfig_TermiosPutParity(config, s->parity);
}

bool portHolds(const SERCONFIG_S* s, const struct termios* config) {
  return SerialConfig_TermiosGetSpeed(config) == s->speed && SerialConfig_TermiosGetDataBits(config) == s->dataBits &&
         SerialConfig_TermiosGetStopBits(config) == s->stopBits && SerialConfig_TermiosGetParity(config) == s->parity;
}

void closeDialog() {
  if (!serConfig) return;
  std::unique_ptr<SERCONFIG_S> record = std::move(serConfig);
  if (record->dialog != nullptr) gtk_widget_destroy(record->dialog);
}

void fail(SERCONFIG_S* s, const char* message) {
  USER_WARNING("%s\n", message);
  DialogSupport_setStatus(s->status, message);
}

// The port is read again here rather than taken from when the dialog opened:
// a remote RS-232 restart may have changed it since, and only the four
// settings of the dialog are the user's to change.
void onApply(GtkWidget*, gpointer) {
  SERCONFIG_S* s = serConfig.get();
  if (s == nullptr) return;
  if (!readChoice(s)) return fail(s, "Choose a speed and a parity.");
  struct termios config {};
  if (SerialPort_GetConfig(&config) != 0) return fail(s, "The RS-232 port cannot be read: nothing changed.");
  putChoice(s, &config);
  struct termios applied {};
  if (SerialPort_SetConfig(&config) != 0 || SerialPort_GetConfig(&applied) != 0 || !portHolds(s, &applied)) {
    return fail(s, "The RS-232 port did not take the new settings.");
  }
  // The settings file's port lines are written from the port itself.
  if (configuration_saveSettings() != 0) {
    return fail(s, "The port is set, but the settings file could not be written.");
  }
  closeDialog();
}

void onCancel(GtkWidget*, gpointer) { closeDialog(); }

// Closed by the window manager: the same as Cancel.
gboolean onDelete(GtkWidget*, GdkEvent*, gpointer) {
  closeDialog();
  return TRUE;
}

bool buildDialog(SERCONFIG_S* s) {
  GtkBuilder* builder = DialogSupport_load(kDialogFile);
  if (builder == nullptr) return false;
  bool complete = true;
  for (const auto& slot : kWidgets) {
    s->*slot.member = DialogSupport_widget(builder, slot.id);
    complete = complete && s->*slot.member != nullptr;
  }
  // GTK keeps the toplevel alive until it is destroyed.
  g_object_unref(builder);
  if (!complete) {
    if (s->dialog != nullptr) gtk_widget_destroy(s->dialog);
    return false;
  }
  fillCombos(s);
  showValues(s);
  g_signal_connect(s->apply, "clicked", G_CALLBACK(onApply), nullptr);
  g_signal_connect(s->cancel, "clicked", G_CALLBACK(onCancel), nullptr);
  g_signal_connect(s->dialog, "delete-event", G_CALLBACK(onDelete), nullptr);
  return true;
}

}  // namespace

std::unique_ptr<SERCONFIG_S> initSerConfig() {
  auto s = DialogSupport_newRecord<SERCONFIG_S>(__func__, "serConfig");
  s->portReadable = SerialPort_GetConfig(&s->config) == 0;
  if (!s->portReadable) {
    s->speed = B9600;
    s->dataBits = DATA_BITS_8;
    s->stopBits = STOP_BITS_1;
    s->parity = PARITY_NONE;
    return s;
  }
  s->speed = SerialConfig_TermiosGetSpeed(&s->config);
  s->dataBits = SerialConfig_TermiosGetDataBits(&s->config);
  s->stopBits = SerialConfig_TermiosGetStopBits(&s->config);
  s->parity = SerialConfig_TermiosGetParity(&s->config);
  return s;
}

GtkWidget* SerialConfig_Dialog_ButtonCreate() {
  return DialogSupport_pictureButton("Serial.png", "Serial button", G_CALLBACK(SerialSettingsDialog_ButtonCallback));
}

void SerialSettingsDialog_ButtonCallback(GtkWidget*, gpointer) {
  if (!AppSettingsMenu_guiReady()) return;
  if (serConfig) {
    gtk_window_present(GTK_WINDOW(serConfig->dialog));
    return;
  }
  auto record = initSerConfig();
  if (!buildDialog(record.get())) return;
  serConfig = std::move(record);
  DialogSupport_present(serConfig->dialog);
  DialogSupport_setStatus(serConfig->status,
                          serConfig->portReadable ? "" : "The RS-232 port is not open: changes cannot be applied.");
  AppSettingsMenu_hide();
}

SERCONFIG_S* SerialSettingsDialog_current() { return serConfig.get(); }
