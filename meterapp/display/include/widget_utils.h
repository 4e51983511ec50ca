// The colours, fonts and small widget helpers every screen shares. Main loop
// only (the colour and font globals are filled once before the window).
#pragma once

#include <gtk/gtk.h>

extern GdkRGBA bgColorBlack;
extern GdkRGBA bgColorWhite;
extern GdkRGBA textColorWhite;
extern GdkRGBA bgDialogGrey;
extern GdkRGBA bgYellow;
extern GdkRGBA textColorBlack;
extern GdkRGBA textColorLightGrey;
extern GdkRGBA textColorRed;
extern GdkRGBA textColorClickable;  // the amber of every touchable text
extern GdkRGBA graphColorBlue;
extern GdkRGBA talvekSpecificRed;
extern GdkRGBA talvekSpecificBlue;
extern GdkRGBA talvekSpecificGreen;

extern PangoFontDescription* fontSize90;
extern PangoFontDescription* fontSize80;
extern PangoFontDescription* fontSize70;
extern PangoFontDescription* fontSize60;
extern PangoFontDescription* fontSize50;
extern PangoFontDescription* fontSize40;
extern PangoFontDescription* fontSize35;
extern PangoFontDescription* fontSize30;
extern PangoFontDescription* fontSize23;
extern PangoFontDescription* fontSize20;
extern PangoFontDescription* fontSize15;
extern PangoFontDescription* fontSize14;
extern PangoFontDescription* fontSize12;
extern PangoFontDescription* fontSize11;
extern PangoFontDescription* fontSize10;
extern PangoFontDescription* fontSize9;
extern PangoFontDescription* fontSize8;
extern PangoFontDescription* fontGraph;

// The two style sheets: the main screen (priority 600) and the pulse display
// (priority 800, registered again by every display; GTK keeps one copy).
extern const char* const css_mainScreen;
extern const char* const css_pulse_disp;
void WidgetUtils_registerStyle(const char* css, guint priority);

// Text colour fg (normal state) and background bg for every state.
void setWidgetFgAndBgColors(GtkWidget* widget, const GdkRGBA* fg, const GdkRGBA* bg);
// Text colour for the normal, active, prelight, selected and insensitive states.
void setWidgetFgColor(GtkWidget* widget, const GdkRGBA* fg);
void setWidgetFont(GtkWidget* widget, const PangoFontDescription* font);
// The child label of a button (null when it has none).
GtkWidget* WidgetUtils_buttonLabel(GtkWidget* button);

// Depth-first search for the first widget whose name begins with `name`
// (case-insensitive); null when none matches.
GtkWidget* find_child(GtkWidget* widget, const char* name);

// A new fixed container named `name`, width x height, put into parent at
// (x, y), hidden.
GtkWidget* createSensorScreen(GtkWidget* parent, int x, int y, int width, int height, const char* name);
GtkWidget* createSensorScreenChild(GtkWidget* parent, int x, int y, int width, int height, const char* name);
