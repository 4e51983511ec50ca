// The settings panel on the right of the screen: display options, match
// type, graph, pulse mode, RS-232 and legacy settings, and the buttons that
// open the About, RS-232 and Ethernet dialogs. Main loop only.
#pragma once

void AppSettingsMenu_show();
void AppSettingsMenu_hide();
bool settingsMenuIsVisible();
// Loads the stored settings into the controls.
void AppSettingsMenu_setParameters();
// Selects the radio button of a match type (rfMatchType_t).
void AppSettingsMenu_setMatchType(int type);
