#include "main_window.h"

#include "configuration.h"
#include "log_manager.h"
#include "settings_menu.h"
#include "widget_utils.h"

GtkWidget* mainWindow = nullptr;
std::atomic<bool> screenInitComplete{false};
MAIN_WINDOW entireScreen;
std::array<CGTKSensorDisplay, gtkSensorInstanceCount> gtkSensor;

// clang-format off
const std::array<DisplayInstancePlan, gtkSensorInstanceCount> displayInstanceTable = {{
    {DisplayKind::power, &MAIN_WINDOW::singleChannel1Screen, nullptr, 0, layoutSingleChannel, 0, "CW Mode Full"},
    {DisplayKind::power, &MAIN_WINDOW::singleChannel1ScreenGraph, nullptr, 0, layoutSingleChannelWithGraph, 0, "CW Mode Full (Graph)"},
    {DisplayKind::power, nullptr, &MAIN_WINDOW::dualCWChannels, 0, layoutDualChannel, 0, "CW Mode Upper"},
    {DisplayKind::power, nullptr, &MAIN_WINDOW::dualCWChannelsGraph, 0, layoutDualChannelWithGraph, 0, "CW Mode Upper (Graph)"},
    {DisplayKind::power, nullptr, &MAIN_WINDOW::dualCWChannels, 1, layoutDualChannel, 1, "CW Mode Lower"},
    {DisplayKind::power, nullptr, &MAIN_WINDOW::dualCWChannelsGraph, 1, layoutDualChannelWithGraph, 1, "CW Mode Lower (Graph)"},
    {DisplayKind::pulse, &MAIN_WINDOW::singleChannelPulseScreen, nullptr, 0, layoutSingleChannel, 0, ""},
    {DisplayKind::pulse, nullptr, &MAIN_WINDOW::dualPWChannels, 0, layoutDualChannel, 0, ""},
    {DisplayKind::pulse, nullptr, &MAIN_WINDOW::dualPWChannels, 1, layoutDualChannel, 1, ""},
    {DisplayKind::noConnection, &MAIN_WINDOW::noConnectionScreen, nullptr, 0, layoutSingleChannel, 0, "Single Display No Connection"},
    {DisplayKind::noConnection, nullptr, &MAIN_WINDOW::dualNoConnectionScreens, 0, layoutDualChannel, 0, "Upper Display No Connection"},
    {DisplayKind::noConnection, nullptr, &MAIN_WINDOW::dualNoConnectionScreens, 1, layoutDualChannel, 1, "Lower Display No Connection"},
}};
// clang-format on

namespace {

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
constexpr int kTopStripWidth = 724;
constexpr int kTopStripHeight = 80;
constexpr int kSensorAreaHeight = kScreenHeight - kTopStripHeight;
constexpr int kHalfHeight = kSensorAreaHeight / 2;
constexpr int kSettingsButtonX = 908;
constexpr int kSettingsButtonY = 13;
constexpr int kSettingsPicturePadding = 22;
constexpr guint kMainStylePriority = 600;
constexpr const char* kSettingsPictureFile = "./resources/hamburger.png";

MainWindowHooks windowHooks;

gboolean onMainWindowDelete(GtkWidget*, GdkEvent*, gpointer) {
  if (windowHooks.closeWindow != nullptr) windowHooks.closeWindow();
  return TRUE;
}

void onMainWindowDestroy(GtkWidget*, gpointer) {
  if (windowHooks.closeWindow != nullptr) windowHooks.closeWindow();
}

GdkRGBA rgb16(int red, int green, int blue) {
  constexpr double kFull = 65535.0;
  return {red / kFull, green / kFull, blue / kFull, 1.0};
}

std::string pairName(const char* field, int index) { return std::string(field) + "[" + std::to_string(index) + "]"; }

// A thin grey line between the two halves of the dual layout, so that each
// channel's rows are told apart at a glance.
constexpr int kDividerMargin = 10;
constexpr int kDividerHeight = 2;

gboolean drawDivider(GtkWidget* widget, cairo_t* cr, gpointer) {
  gdk_cairo_set_source_rgba(cr, &textColorLightGrey);
  cairo_rectangle(cr, 0, 0, gtk_widget_get_allocated_width(widget), gtk_widget_get_allocated_height(widget));
  cairo_fill(cr);
  return TRUE;
}

void buildDualDivider(GtkWidget* dualSensorContainer) {
  GtkWidget* divider = gtk_drawing_area_new();
  gtk_widget_set_name(divider, "dualDivider");
  gtk_widget_set_size_request(divider, kScreenWidth - 2 * kDividerMargin, kDividerHeight);
  g_signal_connect(divider, "draw", G_CALLBACK(drawDivider), nullptr);
  gtk_fixed_put(GTK_FIXED(dualSensorContainer), divider, kDividerMargin, kHalfHeight - kDividerHeight / 2);
}

void buildContainers(MAIN_WINDOW& w) {
  w.singleSensorContainer =
      createSensorScreen(w.entireScreenContainer, 0, kTopStripHeight, kScreenWidth, kSensorAreaHeight, "singleSensorContainer");
  w.noConnectionScreen = createSensorScreenChild(w.singleSensorContainer, 0, 0, kScreenWidth, kSensorAreaHeight, "noConnectionScreen");
  w.singleMeasurementView =
      createSensorScreenChild(w.singleSensorContainer, 0, 0, kScreenWidth, kSensorAreaHeight, "singleMeasurementView");
  w.singleChannel1Screen =
      createSensorScreenChild(w.singleMeasurementView, 0, 0, kScreenWidth, kSensorAreaHeight, "singleChannel1Screen");
  w.singleChannel1ScreenGraph =
      createSensorScreenChild(w.singleMeasurementView, 0, 0, kScreenWidth, kSensorAreaHeight, "singleChannel1ScreenGraph");
  w.singleChannelPulseScreen =
      createSensorScreenChild(w.singleMeasurementView, 0, 0, kScreenWidth, kSensorAreaHeight, "singleChannelPulseScreen");
  w.dualSensorContainer =
      createSensorScreen(w.entireScreenContainer, 0, kTopStripHeight, kScreenWidth, kSensorAreaHeight, "dualSensorContainer");
  for (int i = 0; i < 2; ++i) {
    const auto k = static_cast<std::size_t>(i);
    const int y = i * kHalfHeight;
    w.dualNoConnectionScreens[k] = createSensorScreenChild(w.dualSensorContainer, 0, y, kScreenWidth, kHalfHeight,
                                                           pairName("dualNoConnectionScreens", i).c_str());
    w.dualMeasurementViews[k] = createSensorScreenChild(w.dualSensorContainer, 0, y, kScreenWidth, kHalfHeight,
                                                        pairName("dualMeasurementViews", i).c_str());
    w.dualCWChannels[k] = createSensorScreenChild(w.dualMeasurementViews[k], 0, 0, kScreenWidth, kHalfHeight,
                                                  pairName("dualCWChannels", i).c_str());
    w.dualCWChannelsGraph[k] = createSensorScreenChild(w.dualMeasurementViews[k], 0, 0, kScreenWidth, kHalfHeight,
                                                       pairName("dualCWChannelsGraph", i).c_str());
    w.dualPWChannels[k] = createSensorScreenChild(w.dualMeasurementViews[k], 0, 0, kScreenWidth, kHalfHeight,
                                                  pairName("dualPWChannels", i).c_str());
  }
  buildDualDivider(w.dualSensorContainer);
}

// The settings button sits at the right end of the top strip, over the
// window's full width (the strip itself ends before it).
void buildSettingsButton(const MainWindowHooks& hooks) {
  GtkWidget* picture = hooks.settingsPicture;
  if (picture == nullptr) picture = gtk_image_new_from_file(kSettingsPictureFile);
  if (gtk_widget_get_parent(picture) != nullptr) {
    DIAGNOSTIC("Settings picture already placed; loading its own\n");
    picture = gtk_image_new_from_file(kSettingsPictureFile);
  }
  gtk_widget_set_margin_start(picture, kSettingsPicturePadding / 2);
  gtk_widget_set_margin_end(picture, kSettingsPicturePadding / 2);
  gtk_widget_set_margin_top(picture, kSettingsPicturePadding / 2);
  gtk_widget_set_margin_bottom(picture, kSettingsPicturePadding / 2);
  GtkWidget* button = gtk_button_new();
  gtk_widget_set_name(button, "settingsButton");
  gtk_button_set_image(GTK_BUTTON(button), picture);
  gtk_button_set_always_show_image(GTK_BUTTON(button), TRUE);
  gtk_button_set_relief(GTK_BUTTON(button), GTK_RELIEF_NONE);
  gtk_widget_set_can_focus(button, FALSE);
  setWidgetFgAndBgColors(button, &textColorClickable, &bgColorBlack);
  gtk_fixed_put(GTK_FIXED(entireScreen.entireScreenContainer), button, kSettingsButtonX, kSettingsButtonY);
  if (hooks.settingsClicked != nullptr) g_signal_connect(button, "clicked", hooks.settingsClicked, nullptr);
}

void buildInstances(const MainWindowHooks& hooks) {
  for (int i = 0; i < gtkSensorInstanceCount; ++i) {
    const auto instance = static_cast<GtkSensorInstance>(i);
    const DisplayInstancePlan& plan = displayInstanceTable[static_cast<std::size_t>(i)];
    CGTKPowerDisplay_Parameters parameters;
    parameters.name = plan.name;
    parameters.sensorChannel = 0;
    parameters.displayIndex = plan.displayIndex;
    parameters.container = MainWindow_instanceContainer(instance);
    parameters.callbackMeasFunction = hooks.unitsClicked;
    parameters.callbackSensorInfoFunction = hooks.sensorInfoClicked;
    parameters.layout = plan.layout;
    parameters.yLinePositions = verticalPositions[plan.layout];
    parameters.yOffset = 0;
    CGTKSensorDisplay& display = gtkSensor[static_cast<std::size_t>(i)];
    switch (plan.kind) {
      case DisplayKind::power:
        CGTKPowerDisplay_Create(&display.power, parameters);
        break;
      case DisplayKind::noConnection:
        CGTKNoConnectionDisplay_Create(&display.noConnection, parameters, plan.name);
        break;
      case DisplayKind::pulse:
        // The pulse views are built into their containers by the pulse
        // display; the window only provides the containers.
        display.power.container = parameters.container;
        display.power.displayIndex = plan.displayIndex;
        break;
    }
  }
}

void hideAllScreens(const MAIN_WINDOW& w) {
  for (GtkWidget* screen : {w.singleSensorContainer, w.noConnectionScreen, w.singleMeasurementView, w.singleChannel1Screen,
                            w.singleChannel1ScreenGraph, w.singleChannelPulseScreen, w.dualSensorContainer}) {
    gtk_widget_hide(screen);
  }
  for (std::size_t i = 0; i < 2; ++i) {
    for (GtkWidget* screen : {w.dualNoConnectionScreens[i], w.dualMeasurementViews[i], w.dualCWChannels[i],
                              w.dualCWChannelsGraph[i], w.dualPWChannels[i]}) {
      gtk_widget_hide(screen);
    }
  }
}

}  // namespace

void initColors() {
  bgColorBlack = rgb16(0, 0, 0);
  bgColorWhite = rgb16(65535, 65535, 65535);
  textColorWhite = rgb16(65535, 65535, 65535);
  bgDialogGrey = rgb16(56540, 56026, 54741);
  bgYellow = rgb16(65535, 65535, 0);
  textColorBlack = rgb16(0, 0, 0);
  textColorLightGrey = rgb16(44367, 44110, 44110);
  textColorRed = rgb16(65535, 0, 0);
  textColorClickable = rgb16(65535, 55255, 26214);
  graphColorBlue = rgb16(0, 40349, 56540);
  talvekSpecificRed = rgb16(65278, 19018, 18761);
  talvekSpecificBlue = rgb16(20303, 33153, 48573);
  talvekSpecificGreen = rgb16(20303, 45232, 20560);
}

void loadFonts() {
  struct FontEntry {
    PangoFontDescription** font;
    const char* description;
  };
  const FontEntry fonts[] = {
      {&fontSize90, "Monospace 90"}, {&fontSize80, "Monospace 80"}, {&fontSize70, "Monospace 70"},
      {&fontSize60, "Monospace 60"}, {&fontSize50, "Monospace 50"}, {&fontSize40, "Monospace 40"},
      {&fontSize35, "Monospace 35"}, {&fontSize30, "Monospace 30"}, {&fontSize23, "Monospace 23"},
      {&fontSize20, "Monospace 20"}, {&fontSize15, "Monospace 15"}, {&fontSize14, "Monospace 14"},
      {&fontSize12, "Monospace 12"}, {&fontSize11, "Monospace 11"}, {&fontSize10, "Monospace 10"},
      {&fontSize9, "Monospace 9"},   {&fontSize8, "Monospace 8"},   {&fontGraph, "Monospace 20"},
  };
  // Loaded once for the life of the process; a second call keeps the first set.
  for (const FontEntry& entry : fonts) {
    if (*entry.font == nullptr) *entry.font = pango_font_description_from_string(entry.description);
  }
}

GtkWidget* MainWindow_instanceContainer(GtkSensorInstance instance) {
  if (instance < 0 || instance >= gtkSensorInstanceCount) return nullptr;
  const DisplayInstancePlan& plan = displayInstanceTable[static_cast<std::size_t>(instance)];
  if (plan.container != nullptr) return entireScreen.*plan.container;
  return (entireScreen.*plan.pair)[static_cast<std::size_t>(plan.pairIndex)];
}

void createGTKDisplays(const MainWindowHooks& hooks) {
  windowHooks = hooks;
  gtkSensor = {};
  entireScreen = {};
  MAIN_WINDOW& w = entireScreen;
  w.mainWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_set_name(w.mainWindow, "mainWindowR9050");
  gtk_window_set_title(GTK_WINDOW(w.mainWindow), "R9050");
  gtk_window_set_default_size(GTK_WINDOW(w.mainWindow), kScreenWidth, kScreenHeight);
  setWidgetFgAndBgColors(w.mainWindow, &textColorWhite, &bgColorBlack);
  w.entireScreenContainer = gtk_fixed_new();
  gtk_widget_set_name(w.entireScreenContainer, "entireScreenContainerR9050");
  gtk_widget_set_size_request(w.entireScreenContainer, kScreenWidth, kScreenHeight);
  gtk_container_add(GTK_CONTAINER(w.mainWindow), w.entireScreenContainer);
  w.topFixedLine = gtk_fixed_new();
  gtk_widget_set_name(w.topFixedLine, "topFixedLine");
  gtk_widget_set_size_request(w.topFixedLine, kTopStripWidth, kTopStripHeight);
  gtk_fixed_put(GTK_FIXED(w.entireScreenContainer), w.topFixedLine, 0, 0);
  buildContainers(w);

  // The battery pictures and percentage label belong to the application.
  if (hooks.fillTopStrip != nullptr) hooks.fillTopStrip(w.topFixedLine);
  buildSettingsButton(hooks);
  WidgetUtils_registerStyle(css_mainScreen, kMainStylePriority);
  buildInstances(hooks);

  g_signal_connect(w.mainWindow, "delete_event", G_CALLBACK(onMainWindowDelete), nullptr);
  g_signal_connect(w.mainWindow, "destroy", G_CALLBACK(onMainWindowDestroy), nullptr);
  g_signal_connect(w.mainWindow, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show_all(w.mainWindow);
  gtk_window_set_focus(GTK_WINDOW(w.mainWindow), nullptr);
  mainWindow = w.mainWindow;
  AppSettingsMenu_setMatchType(configuration_getMatchMeasurementType());
  AppSettingsMenu_hide();
  hideAllScreens(w);
  screenInitComplete = true;
}

void MainWindow_showStartPage() {
  hideAllScreens(entireScreen);
  CGTKNoConnectionDisplay_setNoConnect(&gtkSensor[gtkSensorSingleNoConnection].noConnection);
  gtk_widget_show(entireScreen.singleSensorContainer);
  gtk_widget_show(entireScreen.noConnectionScreen);
}

CGTKTimePowerGraph* CGTKPowerDisplay_getGraph(GtkSensorInstance instance) {
  static CGTKTimePowerGraph none;
  if (instance < 0 || instance >= gtkSensorInstanceCount) return &none;
  return &gtkSensor[static_cast<std::size_t>(instance)].power.graph;
}
