#include "settings_menu.h"

#include <array>
#include <cstring>
#include <vector>

#include "about_dialog.h"
#include "configuration.h"
#include "ethernet_dialogs.h"
#include "log_manager.h"
#include "serial_settings_dialog.h"

namespace {

constexpr int kScreenWidth = 1024;
constexpr int kPanelWidth = 300;
constexpr int kPanelTop = 40;
constexpr int kControlHeight = 36;

// Clickable text on black, as the rest of the screen.
constexpr const char* kPanelStyle =
    "#appSettings { background-color: #000000; }"
    "#appSettings label { color: #40c0ff; font-size: 17px; }"
    "#appSettings label.heading { color: #ffffff; font-weight: bold; }"
    "#appSettings checkbutton:disabled label, #appSettings radiobutton:disabled label { color: #505050; }";

struct Control {
  const char* label;
  GtkWidget* widget = nullptr;
  gulong handler = 0;
};

struct SettingsMenu {
  GtkWidget* parent = nullptr;
  GtkWidget* window = nullptr;
  AppSettingsMenuHooks hooks;
  bool visible = false;
  std::vector<Control> controls;
};

SettingsMenu& menu() {
  static SettingsMenu m;
  return m;
}

GtkWidget* control(const char* label) {
  for (const auto& c : menu().controls) {
    if (std::strcmp(c.label, label) == 0) return c.widget;
  }
  return nullptr;
}

bool active(GtkWidget* button) { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(button)) != FALSE; }

void setActive(const char* label, bool on) {
  if (GtkWidget* button = control(label)) gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(button), on ? TRUE : FALSE);
}

void setSensitive(const char* label, bool on) {
  if (GtkWidget* widget = control(label)) gtk_widget_set_sensitive(widget, on ? TRUE : FALSE);
}

void updateSensitivity() {
  const bool match = active(control("Match"));
  for (const char* label : {"VSWR", "Return Loss", "Refl Coeff"}) setSensitive(label, match);
  setSensitive("Use Command Mode", active(control("Use Legacy RS232")));
}

// Every handler does nothing until the GUI has finished starting.
bool ready() { return AppSettingsMenu_guiReady(); }

void onForward(GtkToggleButton* button, gpointer) {
  if (!ready()) return;
  const bool on = gtk_toggle_button_get_active(button) != FALSE;
  auto& hooks = menu().hooks;
  hooks.setDisplayForward != nullptr ? hooks.setDisplayForward(on) : configuration_setDisplayFowardPower(on);
}

void onReflected(GtkToggleButton* button, gpointer) {
  if (!ready()) return;
  const bool on = gtk_toggle_button_get_active(button) != FALSE;
  auto& hooks = menu().hooks;
  hooks.setDisplayReflected != nullptr ? hooks.setDisplayReflected(on) : configuration_setDisplayReflectedPower(on);
}

void onMatch(GtkToggleButton* button, gpointer) {
  if (!ready()) return;
  const bool on = gtk_toggle_button_get_active(button) != FALSE;
  auto& hooks = menu().hooks;
  hooks.setDisplayMatch != nullptr ? hooks.setDisplayMatch(on) : configuration_setDisplayMatch(on);
  updateSensitivity();
}

void onMatchType(GtkToggleButton* button, gpointer data) {
  // A radio group toggles twice per choice: act on the one switched on.
  if (!ready() || gtk_toggle_button_get_active(button) == FALSE) return;
  const int type = GPOINTER_TO_INT(data);
  auto& hooks = menu().hooks;
  if (hooks.setMatchType != nullptr) {
    hooks.setMatchType(type);
  } else {
    configuration_setMatchMeasurementType(static_cast<rfMatchType_t>(type));
  }
}

void onDisplayGraph(GtkToggleButton* button, gpointer) {
  if (!ready()) return;
  const bool on = gtk_toggle_button_get_active(button) != FALSE;
  auto& hooks = menu().hooks;
  hooks.setDisplayGraph != nullptr ? hooks.setDisplayGraph(on) : configuration_setDisplayGraph(on);
}

void storeGraphMode(int mode) {
  auto& hooks = menu().hooks;
  if (hooks.setGraphMode != nullptr) return hooks.setGraphMode(mode);
  for (int channel = 0; channel < kSettingsChannels; ++channel) {
    GraphSettings_t settings = configuration_getGraphSettings(channel);
    settings.displayMode = static_cast<TimeGraphMode>(mode);
    configuration_setGraphSettings(settings, channel);
  }
}

void onUseLegacy(GtkToggleButton* button, gpointer) {
  if (!ready()) return;
  configuration_setUseLegacy(gtk_toggle_button_get_active(button) != FALSE);
  updateSensitivity();
}

void onCommandMode(GtkToggleButton* button, gpointer) {
  if (!ready()) return;
  // Only meaningful with the legacy command set (the control is insensitive
  // otherwise; a change made some other way is not stored either).
  if (!configuration_getUseLegacy()) return;
  configuration_setCommandModeSW(gtk_toggle_button_get_active(button) != FALSE);
}

void onPulseMode(GtkToggleButton* button, gpointer) {
  if (!ready()) return;
  const bool on = gtk_toggle_button_get_active(button) != FALSE;
  auto& hooks = menu().hooks;
  hooks.setSensorPulseMode != nullptr ? hooks.setSensorPulseMode(on) : configuration_setPulseMode(on);
}

GtkWidget* addControl(GtkWidget* box, GtkWidget* widget, const char* label, GCallback handler, gpointer data) {
  gtk_widget_set_name(widget, label);
  gtk_widget_set_size_request(widget, -1, kControlHeight);
  gtk_widget_set_can_focus(widget, FALSE);
  const gulong id = g_signal_connect(widget, "toggled", handler, data);
  menu().controls.push_back({label, widget, id});
  gtk_box_pack_start(GTK_BOX(box), widget, FALSE, FALSE, 0);
  return widget;
}

GtkWidget* check(GtkWidget* box, const char* label, GCallback handler) {
  return addControl(box, gtk_check_button_new_with_label(label), label, handler, nullptr);
}

GtkWidget* radio(GtkWidget* box, GtkWidget* groupMember, const char* label, GCallback handler, gpointer data) {
  GtkWidget* button = groupMember == nullptr ? gtk_radio_button_new_with_label(nullptr, label)
                                             : gtk_radio_button_new_with_label_from_widget(GTK_RADIO_BUTTON(groupMember), label);
  return addControl(box, button, label, handler, data);
}

void heading(GtkWidget* box, const char* text) {
  GtkWidget* label = gtk_label_new(text);
  gtk_label_set_xalign(GTK_LABEL(label), 0.0F);
  gtk_style_context_add_class(gtk_widget_get_style_context(label), "heading");
  gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 4);
}

GtkWidget* indented() {
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_widget_set_margin_start(box, 28);
  return box;
}

void applyStyle(GtkWidget* window) {
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, kPanelStyle, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(window), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);
}

void buildControls(GtkWidget* box) {
  heading(box, "Display");
  check(box, "Forward", G_CALLBACK(onForward));
  check(box, "Reflected", G_CALLBACK(onReflected));
  check(box, "Match", G_CALLBACK(onMatch));
  GtkWidget* match = indented();
  GtkWidget* vswr = radio(match, nullptr, "VSWR", G_CALLBACK(onMatchType), GINT_TO_POINTER(rfMatch_VSWR));
  radio(match, vswr, "Return Loss", G_CALLBACK(onMatchType), GINT_TO_POINTER(rfMatch_RL));
  radio(match, vswr, "Refl Coeff", G_CALLBACK(onMatchType), GINT_TO_POINTER(rfMatch_RflCoeff));
  gtk_box_pack_start(GTK_BOX(box), match, FALSE, FALSE, 0);

  heading(box, "Graph");
  check(box, "Display Graph", G_CALLBACK(onDisplayGraph));
  GtkWidget* mode = indented();
  // The user data is the text the handler reads, kept for the program's life.
  static char raw[] = "raw";
  static char avg[] = "avg";
  GtkWidget* first = radio(mode, nullptr, "Raw", G_CALLBACK(radioButtonGraphModeCallback), raw);
  radio(mode, first, "Average", G_CALLBACK(radioButtonGraphModeCallback), avg);
  gtk_box_pack_start(GTK_BOX(box), mode, FALSE, FALSE, 0);

  heading(box, "Sensors and RS-232");
  check(box, "Sensor Pulse Mode", G_CALLBACK(onPulseMode));
  check(box, "Use Legacy RS232", G_CALLBACK(onUseLegacy));
  GtkWidget* legacy = indented();
  check(legacy, "Use Command Mode", G_CALLBACK(onCommandMode));
  gtk_box_pack_start(GTK_BOX(box), legacy, FALSE, FALSE, 0);

  // The dialogs, as picture buttons of one touch size.
  GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_box_pack_start(GTK_BOX(buttons), ethConfig_Dialog_ButtonCreate(), TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(buttons), SerialConfig_Dialog_ButtonCreate(), TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(buttons), about_Dialog_ButtonCreate(), TRUE, TRUE, 0);
  gtk_box_pack_end(GTK_BOX(box), buttons, FALSE, FALSE, 8);
}

}  // namespace

void AppSettingsMenu_create(GtkWidget* parent, const AppSettingsMenuHooks& hooks) {
  auto& m = menu();
  m.hooks = hooks;
  m.parent = parent;
  if (m.window != nullptr) return;
  m.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_set_name(m.window, "appSettings");
  gtk_window_set_title(GTK_WINDOW(m.window), "Settings");
  gtk_window_set_decorated(GTK_WINDOW(m.window), FALSE);
  gtk_window_set_resizable(GTK_WINDOW(m.window), FALSE);
  gtk_window_set_skip_taskbar_hint(GTK_WINDOW(m.window), TRUE);
  gtk_window_set_default_size(GTK_WINDOW(m.window), kPanelWidth, -1);
  if (parent != nullptr && GTK_IS_WINDOW(parent)) gtk_window_set_transient_for(GTK_WINDOW(m.window), GTK_WINDOW(parent));
  gtk_window_move(GTK_WINDOW(m.window), kScreenWidth - kPanelWidth, kPanelTop);
  // Hiding, not destroying: the panel is built once.
  g_signal_connect(m.window, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete), nullptr);
  applyStyle(m.window);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
  gtk_container_set_border_width(GTK_CONTAINER(box), 12);
  gtk_widget_set_size_request(box, kPanelWidth - 24, -1);
  gtk_container_add(GTK_CONTAINER(m.window), box);
  buildControls(box);
  gtk_widget_show_all(box);
}

void AppSettingsMenu_show() {
  auto& m = menu();
  if (m.window == nullptr) return;
  AppSettingsMenu_setParameters();
  gtk_window_set_keep_above(GTK_WINDOW(m.window), TRUE);
  gtk_window_move(GTK_WINDOW(m.window), kScreenWidth - kPanelWidth, kPanelTop);
  gtk_widget_show(m.window);
  gtk_window_present(GTK_WINDOW(m.window));
  m.visible = true;
}

void AppSettingsMenu_hide() {
  auto& m = menu();
  if (m.window != nullptr) gtk_widget_hide(m.window);
  m.visible = false;
}

bool settingsMenuIsVisible() { return menu().visible; }

void AppSettingsMenu_setParameters() {
  auto& m = menu();
  if (m.window == nullptr) return;
  const TALVEK_APP_SETTINGS settings = configuration_getTalvekAppConfiguration();
  for (const auto& c : m.controls) g_signal_handler_block(c.widget, c.handler);
  setActive("Forward", settings.displayForwardPower);
  setActive("Reflected", settings.displayReflectedPower);
  setActive("Match", settings.displayVSWR_ReturnLoss_or_ReflCoeff_Value);
  AppSettingsMenu_setMatchType(settings.matchMeasurementType);
  setActive("Display Graph", settings.displayGraph);
  setActive(settings.graphSettings[0].displayMode == graphModeAverage ? "Average" : "Raw", true);
  setActive("Sensor Pulse Mode", settings.sensorPulseModeIsActive);
  setActive("Use Legacy RS232", settings.useLegacyRS232Commands);
  setActive("Use Command Mode", settings.legacyCommandModeSW);
  updateSensitivity();
  for (const auto& c : m.controls) g_signal_handler_unblock(c.widget, c.handler);
}

void AppSettingsMenu_setMatchType(int type) {
  const char* label = type == rfMatch_RL ? "Return Loss" : type == rfMatch_RflCoeff ? "Refl Coeff" : "VSWR";
  setActive(label, true);
}

void radioButtonGraphModeCallback(GtkWidget* widget, gpointer data) {
  if (!ready() || data == nullptr) return;
  if (GTK_IS_TOGGLE_BUTTON(widget) && !active(widget)) return;
  const char* mode = static_cast<const char*>(data);
  if (std::strcmp(mode, "raw") == 0) return storeGraphMode(graphModeRaw);
  if (std::strcmp(mode, "avg") == 0) return storeGraphMode(graphModeAverage);
}

bool AppSettingsMenu_guiReady() {
  const auto& hooks = menu().hooks;
  return hooks.guiReady == nullptr || hooks.guiReady();
}

GtkWidget* AppSettingsMenu_parentWindow() { return menu().parent; }
GtkWidget* AppSettingsMenu_window() { return menu().window; }
GtkWidget* AppSettingsMenu_control(const char* label) { return control(label); }
