// A warning shown over the main window (the critical-battery warning). Any
// thread may ask for it to be shown or closed; the display pass carries the
// request out on the GTK main loop (WarningDialog_handleState).
#pragma once

#include <gtk/gtk.h>

#include <array>
#include <atomic>

struct WarningDialog {
  std::atomic<bool> showSignal{false};
  std::atomic<bool> closeSignal{false};
  GtkWidget* parent = nullptr;
  GtkWidget* dialog = nullptr;
  std::array<char, 101> message{};
};

void WarningDialog_create(WarningDialog* dialog, GtkWidget* parent, const char* message);
void WarningDialog_show(WarningDialog* dialog);
void WarningDialog_close(WarningDialog* dialog);
// Main loop only.
void WarningDialog_handleState(WarningDialog* dialog);
void WarningDialog_display(WarningDialog* dialog);
