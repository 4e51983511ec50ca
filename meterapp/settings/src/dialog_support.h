// Small pieces shared by the settings dialogs: loading a dialog definition,
// picture buttons, keeping a dialog above the meter's window, and creating a
// dialog's record. Main loop only.
#pragma once

#include <gtk/gtk.h>

#include <cstdlib>
#include <memory>
#include <new>

#include "log_manager.h"

// The dialog definition "./resources/<file>", or nullptr (logged).
GtkBuilder* DialogSupport_load(const char* file);
// An object of the definition that must be a widget; nullptr (logged) if not.
GtkWidget* DialogSupport_widget(GtkBuilder* builder, const char* id);
// A touch-sized button showing "./resources/<picture>", named for its tooltip.
GtkWidget* DialogSupport_pictureButton(const char* picture, const char* name, GCallback clicked);
// Keeps a dialog above the main window and shows it.
void DialogSupport_present(GtkWidget* dialog);
// Sets a status label's text and shows it (hidden when the text is empty).
void DialogSupport_setStatus(GtkWidget* label, const char* text);

// A zeroed dialog record. Without memory the meter cannot go on: logged as
// "<function>: <what> malloc failed" and the process ends with status -1.
template <typename T>
std::unique_ptr<T> DialogSupport_newRecord(const char* function, const char* what) {
  try {
    return std::make_unique<T>();
  } catch (const std::bad_alloc&) {
    DIAGNOSTIC("%s: %s malloc failed\n", function, what);
    std::_Exit(-1);
  }
}
