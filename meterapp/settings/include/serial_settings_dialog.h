// The RS-232 settings dialog: speed, data bits, stop bits and parity of the
// command port, opened from the settings panel. Main loop only.
#pragma once

#include <gtk/gtk.h>
#include <termios.h>

#include <cstdint>
#include <memory>

// The dialog's record, alive while the dialog is open.
struct SERCONFIG_S {
  struct termios config;  // the port's settings when the dialog opened
  speed_t speed;
  std::int8_t dataBits;  // data_bits_t
  std::int8_t stopBits;  // stop_bits_t
  std::int8_t parity;    // parity_t
  bool portReadable;     // false: the port is closed, the values are defaults
  GtkWidget* dialog;
  GtkWidget* vbox;
  GtkWidget* actionArea;
  GtkWidget* table;
  GtkWidget* labelSpeed;
  GtkWidget* comboSpeed;
  GtkWidget* labelDataBits;
  GtkWidget* radioData7;
  GtkWidget* radioData8;
  GtkWidget* labelStopBits;
  GtkWidget* radioStop1;
  GtkWidget* radioStop2;
  GtkWidget* labelParity;
  GtkWidget* comboParity;
  GtkWidget* apply;
  GtkWidget* cancel;
  GtkWidget* status;  // why an Apply failed
};

// A record holding the port's current settings (9600 8N1 while the port
// cannot be read).
std::unique_ptr<SERCONFIG_S> initSerConfig();

// The panel's picture button ("./resources/Serial.png").
GtkWidget* SerialConfig_Dialog_ButtonCreate();
// Opens the dialog (once the GUI is up; a second click shows the open one)
// and hides the settings panel.
void SerialSettingsDialog_ButtonCallback(GtkWidget* widget, gpointer data);

// The open dialog's record, or nullptr.
SERCONFIG_S* SerialSettingsDialog_current();
