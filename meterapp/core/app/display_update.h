// The display update thread and the battery indicator.
//
// Widgets are only ever touched on the GTK main loop. The display update
// thread `gtkThread` keeps the rhythm (one pass, then 300 ms sleep) but runs
// each pass on the main loop and waits for it, so no widget is touched from
// any other thread and no GDK lock is needed.
#pragma once

#include <gtk/gtk.h>

#include <array>
#include <stop_token>
#include <string>

// Battery pictures, in the order they are loaded.
enum BatteryPicture {
  batteryPicture100 = 0,
  batteryPicture75,
  batteryPicture50,
  batteryPicture25,
  batteryPicture5,
  batteryPictureCharging,
  batteryPicturePlug,
  batteryPictureNotPresent,
  batteryPictureCount,
  batteryPictureNone = batteryPictureCount,
};

// The picture widgets (built by loadBatteryImages) and the percentage label
// (built with the window's top strip).
extern std::array<GtkWidget*, batteryPictureCount> batteryImages;
extern GtkWidget* batteryPercentLabel;
// The menu picture ("./resources/hamburger.png"), for the window's menu button.
extern GtkWidget* menuImage;

// Loads the battery pictures and the menu picture from ./resources/.
void loadBatteryImages();
// Puts the battery pictures and a new percentage label into the top strip.
void DisplayUpdate_placeBatteryIndicator(GtkWidget* topFixedLine);

// What the battery indicator shows for a battery state.
struct BatteryIndicatorView {
  BatteryPicture picture = batteryPictureNone;
  bool showLabel = false;
  std::string label;
  bool labelRed = false;
};
BatteryIndicatorView BatteryIndicator_select(bool hasBattery, bool present, int chargeState, int percent);

// The main window loses the keyboard focus if a widget in it holds it (a
// touch screen has no use for a focus frame). Main loop only. Returns
// whether the focus was removed.
bool DisplayUpdate_focusCheck();

// One display pass; main loop only.
void DisplayUpdate_pass();

// The display update thread.
void gtkThread(std::stop_token stop);

// Window handlers.
void closeAppWindow();
