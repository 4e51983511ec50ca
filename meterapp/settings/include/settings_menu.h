// The settings panel on the right of the screen: display options, match
// type, graph, pulse mode, RS-232 and legacy settings, and the picture buttons
// that open the Ethernet, RS-232 and About dialogs. Main loop only.
//
// The panel window is built once at start-up (AppSettingsMenu_create, from
// main after the main window exists) and afterwards only shown and hidden by
// the main window's settings button.
#pragma once

#include <gtk/gtk.h>

// What the panel calls above itself. A change of a display option may need
// more than the stored setting (a graph reset, a redraw): the application
// hands in its own actions. An action left empty stores the setting through
// the settings file directly.
struct AppSettingsMenuHooks {
  // Whether the GUI has finished starting; until then every handler of the
  // panel and of the dialogs it opens does nothing. Empty: always ready.
  bool (*guiReady)() = nullptr;
  void (*setDisplayForward)(bool on) = nullptr;
  void (*setDisplayReflected)(bool on) = nullptr;
  void (*setDisplayMatch)(bool on) = nullptr;
  void (*setMatchType)(int type) = nullptr;  // rfMatchType_t
  void (*setDisplayGraph)(bool on) = nullptr;
  void (*setGraphMode)(int mode) = nullptr;  // TimeGraphMode
  void (*setSensorPulseMode)(bool on) = nullptr;
};

// Builds the hidden panel window, kept above parent. Once, at start-up; a
// second call only replaces the hooks.
void AppSettingsMenu_create(GtkWidget* parent, const AppSettingsMenuHooks& hooks);

// Loads the settings into the controls and shows the panel above the others.
void AppSettingsMenu_show();
void AppSettingsMenu_hide();
bool settingsMenuIsVisible();
// Loads the stored settings into the controls. The controls' handlers are
// blocked meanwhile: loading changes no setting and resets no graph.
void AppSettingsMenu_setParameters();
// Selects the radio button of a match type (rfMatchType_t): rfMatch_RL
// Return Loss, rfMatch_RflCoeff Refl Coeff, anything else VSWR.
void AppSettingsMenu_setMatchType(int type);

// The graph mode radio buttons' "toggled" handler; data is "raw" or "avg".
void radioButtonGraphModeCallback(GtkWidget* widget, gpointer data);

// For the dialogs the panel opens: whether the GUI is up (the guiReady hook)
// and the window they are kept above (the main window).
bool AppSettingsMenu_guiReady();
GtkWidget* AppSettingsMenu_parentWindow();

// The panel window and one of its controls by its label ("Forward", "Use
// Command Mode", "Raw", ...), or nullptr. For the screen's tests.
GtkWidget* AppSettingsMenu_window();
GtkWidget* AppSettingsMenu_control(const char* label);
