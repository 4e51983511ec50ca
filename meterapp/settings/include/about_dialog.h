// The About dialog: the meter's model, serial number and firmware, with the
// regulatory and licence texts one button away. Main loop only.
#pragma once

#include <gtk/gtk.h>

#include <array>
#include <memory>

struct aboutDialog {
  std::array<char, 16> modelNum;
  std::array<char, 16> serialNum;
  std::array<char, 128> fwVersion;
  GtkWidget* dialog;
  GtkWidget* labelModelStr;
  GtkWidget* labelSerialStr;
  GtkWidget* labelFwRevStr;
  GtkWidget* regulatory;
  GtkWidget* license;
  GtkWidget* ok;
  GtkWidget* textDialog;  // the regulatory or licence dialog while one is open
};

// The firmware text as the About page shows it. A text from the build record
// ("<date> <time>  <build id>") becomes "<date> <time>\n<build id>"; any other
// text (the program's own "unknown: <build date> <build time>") is kept as it
// is, since its words are not those three.
void About_reshapeFirmware(std::array<char, 128>& text, bool fromBuildRecord);

// The record with the meter's identity and firmware text.
std::unique_ptr<aboutDialog> initAbout();

// The panel's picture button ("./resources/about.png").
GtkWidget* about_Dialog_ButtonCreate();
// Opens the About dialog (once the GUI is up) and hides the settings panel.
void aboutDialog_ButtonCallback(GtkWidget* widget, gpointer data);

// The open dialog's record, or nullptr.
aboutDialog* AboutDialog_current();
