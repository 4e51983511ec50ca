#include "warning_dialog.h"

#include "log_manager.h"
#include "text_field.h"

namespace {

struct Requests {
  bool show;
  bool close;
};

Requests takeRequests(WarningDialog* dialog) {
  std::lock_guard guard(dialog->signalLock);
  const Requests requests{dialog->showSignal, dialog->closeSignal};
  dialog->showSignal = false;
  dialog->closeSignal = false;
  return requests;
}

void destroyDialog(WarningDialog* dialog) {
  if (dialog->dialog == nullptr) return;
  GtkWidget* shown = dialog->dialog;
  dialog->dialog = nullptr;
  gtk_widget_destroy(shown);
}

// The dialog may also go with its parent: never keep a pointer to a
// destroyed dialog.
void onDestroyed(GtkWidget* widget, gpointer data) {
  auto* dialog = static_cast<WarningDialog*>(data);
  if (dialog->dialog == widget) dialog->dialog = nullptr;
}

// OK (or the window closed): the request goes the same way as one from a
// worker thread, and is carried out at once since this is the main loop.
void onResponse(GtkDialog*, gint, gpointer data) {
  auto* dialog = static_cast<WarningDialog*>(data);
  WarningDialog_close(dialog);
  WarningDialog_handleState(dialog);
}

}  // namespace

void WarningDialog_create(WarningDialog* dialog, GtkWidget* parent, const char* message) {
  {
    std::lock_guard guard(dialog->signalLock);
    dialog->showSignal = false;
    dialog->closeSignal = false;
  }
  dialog->parent = parent;
  dialog->dialog = nullptr;
  if (!TextField_copy(dialog->message, message != nullptr ? message : "")) {
    DIAGNOSTIC("Warning text cut to %zu characters\n", dialog->message.size() - 1);
  }
}

void WarningDialog_show(WarningDialog* dialog) {
  std::lock_guard guard(dialog->signalLock);
  dialog->showSignal = true;
  dialog->closeSignal = false;
}

void WarningDialog_close(WarningDialog* dialog) {
  std::lock_guard guard(dialog->signalLock);
  dialog->showSignal = false;
  dialog->closeSignal = true;
}

void WarningDialog_handleState(WarningDialog* dialog) {
  const Requests requests = takeRequests(dialog);
  if (requests.show) WarningDialog_display(dialog);
  if (requests.close) destroyDialog(dialog);
}

void WarningDialog_display(WarningDialog* dialog) {
  if (dialog->dialog != nullptr) {
    gtk_window_present(GTK_WINDOW(dialog->dialog));
    return;
  }
  GtkWindow* parent = dialog->parent != nullptr && GTK_IS_WINDOW(dialog->parent) ? GTK_WINDOW(dialog->parent) : nullptr;
  GtkWidget* shown = gtk_message_dialog_new(parent, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                            GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s", dialog->message.data());
  gtk_window_set_title(GTK_WINDOW(shown), "Warning");
  gtk_window_set_keep_above(GTK_WINDOW(shown), TRUE);
  g_signal_connect(shown, "response", G_CALLBACK(onResponse), dialog);
  g_signal_connect(shown, "destroy", G_CALLBACK(onDestroyed), dialog);
  dialog->dialog = shown;
  gtk_widget_show_all(shown);
}

bool WarningDialog_isShown(const WarningDialog* dialog) { return dialog->dialog != nullptr; }
