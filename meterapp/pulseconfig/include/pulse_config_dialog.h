// The dialog in which the user edits, checks and applies the pulse
// measurement configuration of a USB sensor. One dialog per sensor model.
#pragma once

#include <gtk/gtk.h>

#include "sensor_data.h"

struct PULSE_CONFIG_DIALOG {
  enPulseSensorModel model = ModelP803;
  GtkWidget* dialog = nullptr;
};
extern PULSE_CONFIG_DIALOG gPulseConfigDlgP803;
extern PULSE_CONFIG_DIALOG gPulseConfigDlgP804;

void pulseConfigDialog_Create(PULSE_CONFIG_DIALOG* dialog, enPulseSensorModel model);
void pulseConfigDialog_Show(const SENSOR_CONFIGS& configuration, int channel, const char* title);
// The handler of a pulse view's configuration button.
void callbackPulseConfig(GtkWidget* widget, gpointer data);
