#include "widget_utils.h"

#include <strings.h>

#include <cstring>

GdkRGBA bgColorBlack;
GdkRGBA bgColorWhite;
GdkRGBA textColorWhite;
GdkRGBA bgDialogGrey;
GdkRGBA bgYellow;
GdkRGBA textColorBlack;
GdkRGBA textColorLightGrey;
GdkRGBA textColorRed;
GdkRGBA textColorClickable;
GdkRGBA graphColorBlue;
GdkRGBA talvekSpecificRed;
GdkRGBA talvekSpecificBlue;
GdkRGBA talvekSpecificGreen;

PangoFontDescription* fontSize90 = nullptr;
PangoFontDescription* fontSize80 = nullptr;
PangoFontDescription* fontSize70 = nullptr;
PangoFontDescription* fontSize60 = nullptr;
PangoFontDescription* fontSize50 = nullptr;
PangoFontDescription* fontSize40 = nullptr;
PangoFontDescription* fontSize35 = nullptr;
PangoFontDescription* fontSize30 = nullptr;
PangoFontDescription* fontSize23 = nullptr;
PangoFontDescription* fontSize20 = nullptr;
PangoFontDescription* fontSize15 = nullptr;
PangoFontDescription* fontSize14 = nullptr;
PangoFontDescription* fontSize12 = nullptr;
PangoFontDescription* fontSize11 = nullptr;
PangoFontDescription* fontSize10 = nullptr;
PangoFontDescription* fontSize9 = nullptr;
PangoFontDescription* fontSize8 = nullptr;
PangoFontDescription* fontGraph = nullptr;

const char* const css_mainScreen = R"css(
check, radio { min-width: 24px; min-height: 24px; }
.combo, .popup { font-size: 24px; }
window#mainWindowR9050 { background-color: black; }
window#mainWindowR9050 grid { background-color: black; }
window#mainWindowR9050 button, window#appSettings button {
  background-color: black; background-image: none; border: none; box-shadow: none; outline: none;
}
window#mainWindowR9050 entry { color: yellow; background-color: black; }
window#mainWindowR9050 label { color: white; background-color: black; }
dialog#serSettingsDlg .popup { font-size: 18px; }
window#graphSettingsDialog { background-color: ivory; }
window#graphSettingsDialog button {
  background-color: white; background-image: none; border: 1px solid grey; }
window#graphSettingsDialog button label { color: black; background-color: white; }
window#graphSettingsDialog entry { color: black; background-color: white; }
window#graphSettingsDialog label { color: black; background-color: ivory; }
)css";

const char* const css_pulse_disp = R"css(
notebook, stack, tabs, tab, box#pulseDisplay, grid#pulseDisplay {
  background-color: black; background-image: none; border: none; }
button#pulseDisplayActive label { color: #ffd766; background-color: black; }
)css";

void WidgetUtils_registerStyle(const char* css, guint priority) {
  GdkScreen* screen = gdk_screen_get_default();
  if (screen == nullptr) return;
  GtkCssProvider* provider = gtk_css_provider_new();
  GError* error = nullptr;
  if (gtk_css_provider_load_from_data(provider, css, -1, &error) == 0) g_clear_error(&error);
  gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(provider), priority);
  g_object_unref(provider);
}

// The per-widget colour and font overrides are deprecated in GTK 3 in favour
// of CSS, but they are the per-state, per-widget tool the screens are built on
// and still work in every GTK 3 release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

void setWidgetFgAndBgColors(GtkWidget* widget, const GdkRGBA* fg, const GdkRGBA* bg) {
  if (widget == nullptr) return;
  gtk_widget_override_color(widget, GTK_STATE_FLAG_NORMAL, fg);
  constexpr GtkStateFlags kStates[] = {
      GTK_STATE_FLAG_NORMAL,    GTK_STATE_FLAG_ACTIVE,      GTK_STATE_FLAG_PRELIGHT,     GTK_STATE_FLAG_SELECTED,
      GTK_STATE_FLAG_INSENSITIVE, GTK_STATE_FLAG_INCONSISTENT, GTK_STATE_FLAG_FOCUSED,  GTK_STATE_FLAG_BACKDROP,
      GTK_STATE_FLAG_LINK,      GTK_STATE_FLAG_VISITED,     GTK_STATE_FLAG_CHECKED,      GTK_STATE_FLAG_DROP_ACTIVE,
  };
  for (GtkStateFlags state : kStates) gtk_widget_override_background_color(widget, state, bg);
}

void setWidgetFgColor(GtkWidget* widget, const GdkRGBA* fg) {
  if (widget == nullptr) return;
  constexpr GtkStateFlags kStates[] = {GTK_STATE_FLAG_NORMAL, GTK_STATE_FLAG_ACTIVE, GTK_STATE_FLAG_PRELIGHT,
                                       GTK_STATE_FLAG_SELECTED, GTK_STATE_FLAG_INSENSITIVE};
  for (GtkStateFlags state : kStates) gtk_widget_override_color(widget, state, fg);
}

void setWidgetFont(GtkWidget* widget, const PangoFontDescription* font) {
  if (widget != nullptr && font != nullptr) gtk_widget_override_font(widget, font);
}

#pragma GCC diagnostic pop

GtkWidget* WidgetUtils_buttonLabel(GtkWidget* button) {
  if (button == nullptr || !GTK_IS_BIN(button)) return nullptr;
  GtkWidget* child = gtk_bin_get_child(GTK_BIN(button));
  return child != nullptr && GTK_IS_LABEL(child) ? child : nullptr;
}

GtkWidget* find_child(GtkWidget* widget, const char* name) {
  if (widget == nullptr || name == nullptr) return nullptr;
  const char* own = gtk_widget_get_name(widget);
  if (own != nullptr && strncasecmp(own, name, std::strlen(name)) == 0) return widget;
  if (GTK_IS_BIN(widget)) {
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(widget));
    return child != nullptr ? find_child(child, name) : nullptr;
  }
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  GtkWidget* found = nullptr;
  for (GList* c = children; c != nullptr && found == nullptr; c = c->next) found = find_child(GTK_WIDGET(c->data), name);
  g_list_free(children);
  return found;
}

GtkWidget* createSensorScreen(GtkWidget* parent, int x, int y, int width, int height, const char* name) {
  GtkWidget* screen = gtk_fixed_new();
  gtk_widget_set_name(screen, name);
  gtk_widget_set_size_request(screen, width, height);
  if (parent != nullptr) gtk_fixed_put(GTK_FIXED(parent), screen, x, y);
  gtk_widget_hide(screen);
  return screen;
}

GtkWidget* createSensorScreenChild(GtkWidget* parent, int x, int y, int width, int height, const char* name) {
  return createSensorScreen(parent, x, y, width, height, name);
}
