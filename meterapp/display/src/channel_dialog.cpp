#include "channel_dialog.h"

#include "log_manager.h"
#include "main_window.h"

namespace {

constexpr const char* kDialogFile = "./resources/sensorSettingsDialog.ui";
constexpr const char* kDialogStyle =
    "#sensorSettingsDialogTitleStr, #sensorSettingsDialogNoteStr, #sensorSettingsDialogRadioChan1,"
    " #sensorSettingsDialogRadioChan2 { font-size: 15pt; }"
    " #sensorSettingsDialogRadioChan1, #sensorSettingsDialogRadioChan2 { background-color: #b0b0b0; padding: 6px; }"
    " #sensorSettingsDialog_ok label { font-size: 12pt; }";

// The one open question.
struct OpenDialog {
  GtkWidget* window = nullptr;
  GtkWidget* channel1 = nullptr;
  int port = sensorPort_None;
};
OpenDialog open;

void closeDialog() {
  if (open.window != nullptr) gtk_widget_destroy(open.window);
  open = OpenDialog{};
}

void onOkClicked(GtkButton*, gpointer) {
  if (open.window == nullptr) return;
  const bool first = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(open.channel1));
  const int port = open.port;
  closeDialog();
  SensorManager_answerChannelQuestion(port, first ? sensorLogicalChannel1 : sensorLogicalChannel2);
  logManager_printToLog(SensorMmngr, "ChannelDialog: port %d on channel %d\n", port, first ? 1 : 2);
}

// The question must be answered: the window cannot be closed without OK.
gboolean onDelete(GtkWidget*, GdkEvent*, gpointer) { return TRUE; }

void applyStyle(GtkWidget* widget) {
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, kDialogStyle, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(widget), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);
}

GtkWidget* object(GtkBuilder* builder, const char* id) { return GTK_WIDGET(gtk_builder_get_object(builder, id)); }

void nameAfterId(GtkBuilder* builder, const char* id) {
  if (GObject* o = gtk_builder_get_object(builder, id)) gtk_widget_set_name(GTK_WIDGET(o), id);
}

}  // namespace

const char* ChannelDialog_title(int port) {
  switch (port) {
    case sensorPort_Serial1:
      return "Precision CW Sensor on Serial1";
    case sensorPort_Serial2:
      return "Precision CW Sensor on Serial2";
    case sensorPort_USB1:
      return "Precision CW & Pulse Sensor on USB1";
    case sensorPort_USB2:
      return "Precision CW & Pulse Sensor on USB2";
    default:
      DIAGNOSTIC("Invalid Sensor Index (%d).\n", port);
      return "Unknown Sensor";
  }
}

void ChannelDialog_ask(int port) {
  closeDialog();
  GError* error = nullptr;
  GtkBuilder* builder = gtk_builder_new();
  if (gtk_builder_add_from_file(builder, kDialogFile, &error) == 0) {
    DIAGNOSTIC("ChannelDialog: cannot load %s: %s\n", kDialogFile, error != nullptr ? error->message : "?");
    if (error != nullptr) g_error_free(error);
    g_object_unref(builder);
    // Without the dialog nobody can answer: the first channel.
    SensorManager_answerChannelQuestion(port, sensorLogicalChannel1);
    return;
  }
  for (const char* id : {"sensorSettingsDialog", "sensorSettingsDialogTitleStr", "sensorSettingsDialogRadioChan1",
                         "sensorSettingsDialogRadioChan2", "sensorSettingsDialogNoteStr", "sensorSettingsDialog_ok"}) {
    nameAfterId(builder, id);
  }
  open.window = object(builder, "sensorSettingsDialog");
  open.channel1 = object(builder, "sensorSettingsDialogRadioChan1");
  open.port = port;
  gtk_label_set_text(GTK_LABEL(object(builder, "sensorSettingsDialogTitleStr")), ChannelDialog_title(port));
  gtk_window_set_title(GTK_WINDOW(open.window), ChannelDialog_title(port));
  g_signal_connect(object(builder, "sensorSettingsDialog_ok"), "clicked", G_CALLBACK(onOkClicked), nullptr);
  g_signal_connect(open.window, "delete-event", G_CALLBACK(onDelete), nullptr);
  g_object_unref(builder);  // the toplevel window keeps itself alive
  applyStyle(open.window);
  if (mainWindow != nullptr) gtk_window_set_transient_for(GTK_WINDOW(open.window), GTK_WINDOW(mainWindow));
  gtk_window_set_keep_above(GTK_WINDOW(open.window), TRUE);
  gtk_window_set_modal(GTK_WINDOW(open.window), TRUE);
  gtk_widget_show_all(open.window);
  DIAGNOSTIC("ChannelDialog: asking for the channel of port %d\n", port);
}

void ChannelDialog_withdraw() {
  if (open.window == nullptr) return;
  DIAGNOSTIC("ChannelDialog: port %d went away, question withdrawn\n", open.port);
  closeDialog();
}

GtkWidget* ChannelDialog_window() { return open.window; }

SensorManager_ChannelQuestion ChannelDialog_question() { return {ChannelDialog_ask, ChannelDialog_withdraw}; }
