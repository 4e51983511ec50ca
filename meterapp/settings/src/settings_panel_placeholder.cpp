// Placeholder of the settings panel and the warning dialog, until they are
// built: requests are noted in the category log, nothing is shown.
#include "log_manager.h"
#include "settings_menu.h"
#include "text_field.h"
#include "warning_dialog.h"

namespace {

#define PLACEHOLDER() logManager_printToLog(NoCategory, "placeholder: %s\n", __func__)

}  // namespace

void WarningDialog_create(WarningDialog* dialog, GtkWidget* parent, const char* message) {
  dialog->parent = parent;
  TextField_copy(dialog->message, message != nullptr ? message : "");
}
void WarningDialog_show(WarningDialog* dialog) {
  dialog->closeSignal = false;
  dialog->showSignal = true;
}
void WarningDialog_close(WarningDialog* dialog) {
  dialog->showSignal = false;
  dialog->closeSignal = true;
}
void WarningDialog_handleState(WarningDialog* dialog) {
  if (dialog->showSignal.exchange(false)) PLACEHOLDER();
  dialog->closeSignal = false;
}
void WarningDialog_display(WarningDialog*) { PLACEHOLDER(); }

void AppSettingsMenu_show() { PLACEHOLDER(); }
void AppSettingsMenu_hide() { PLACEHOLDER(); }
bool settingsMenuIsVisible() { return false; }
void AppSettingsMenu_setParameters() { PLACEHOLDER(); }
void AppSettingsMenu_setMatchType(int) { PLACEHOLDER(); }
