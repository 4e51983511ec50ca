// Handlers of the main window's buttons and the actions of the settings
// menu. All run on the GTK main loop.
#pragma once

#include <gtk/gtk.h>

// Settings button: shows or hides the settings menu.
void settingsCallback(GtkWidget* widget, gpointer data);
// Every power-unit button: flips between W and dBm.
void callbackWattdBm(GtkWidget* widget, gpointer data);
// A display's sensor button: the sensor information dialog. `data` is the
// logical display channel (GINT_TO_POINTER(0) or (1)) the display shows.
void callbackSensorInfo(GtkWidget* widget, gpointer data);
void on_sensorInfoDialog_ok_clicked(GtkWidget* widget, gpointer data);

void settings_setDisplayForward(bool on);
void settings_setDisplayReflected(bool on);
void settings_setDisplayMatch(bool on);
void settings_setMatchType(int type);
void settings_setSensorPulseMode(bool on);
void settings_setDisplayGraph(bool on);
void settings_setGraphMode(int mode);

// Formats a power limit for the sensor information dialog ("%3.2f W").
void SensorInfo_formatPower(float watts, char* text, int size);
