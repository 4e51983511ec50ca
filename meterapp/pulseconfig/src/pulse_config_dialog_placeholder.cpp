// Placeholder of the pulse configuration dialog, until it is built: no
// dialog exists.
#include "log_manager.h"
#include "pulse_config_dialog.h"

PULSE_CONFIG_DIALOG gPulseConfigDlgP803;
PULSE_CONFIG_DIALOG gPulseConfigDlgP804;

void pulseConfigDialog_Create(PULSE_CONFIG_DIALOG* dialog, enPulseSensorModel model) {
  dialog->model = model;
  logManager_printToLog(NoCategory, "placeholder: %s\n", __func__);
}
void pulseConfigDialog_Show(const SENSOR_CONFIGS&, int, const char*) {}
void callbackPulseConfig(GtkWidget*, gpointer) {}
