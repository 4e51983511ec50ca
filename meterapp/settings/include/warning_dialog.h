// A warning shown over the main window (the critical-battery warning). Any
// thread may ask for it to be shown or closed; the display pass carries the
// request out on the GTK main loop (WarningDialog_handleState).
#pragma once

#include <gtk/gtk.h>

#include <array>
#include <mutex>

struct WarningDialog {
  // Guards the two requests: show and close each change both at once, so a
  // show and a close from two threads leave exactly the later request.
  std::mutex signalLock;
  bool showSignal = false;
  bool closeSignal = false;
  GtkWidget* parent = nullptr;
  GtkWidget* dialog = nullptr;  // the shown dialog; main loop only
  std::array<char, 101> message{};
};

// Keeps the parent and at most 100 characters of the message; no request.
void WarningDialog_create(WarningDialog* dialog, GtkWidget* parent, const char* message);
// Any thread. The last of show and close before the next handleState wins.
void WarningDialog_show(WarningDialog* dialog);
void WarningDialog_close(WarningDialog* dialog);
// Main loop only: carries out the pending request. A show while the dialog is
// up leaves the one dialog; a close without a dialog does nothing.
void WarningDialog_handleState(WarningDialog* dialog);
// Main loop only: creates the dialog unless one is shown already.
void WarningDialog_display(WarningDialog* dialog);
// Whether the dialog is up (main loop only).
bool WarningDialog_isShown(const WarningDialog* dialog);
