// The main window on a (virtual) display: its containers and instances, the
// power display fed through the sensor records, the range buttons and the
// settings file, and screenshots of the main views.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "configuration.h"
#include "device_fixtures.h"
#include "display_fsm.h"
#include "main_window.h"
#include "power_display.h"
#include "text_field.h"
#include "widget_utils.h"
#include "window_test_support.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

int unitsClicks = 0;
int settingsClicks = 0;
void onUnits(GtkWidget*, gpointer) { ++unitsClicks; }
void onSettings(GtkWidget*, gpointer) { ++settingsClicks; }

using display_test::drainMainLoop;

bool visible(GtkWidget* widget) { return widget != nullptr && gtk_widget_get_visible(widget); }

std::string labelText(GtkWidget* label) { return label != nullptr ? gtk_label_get_text(GTK_LABEL(label)) : "<none>"; }

GdkRGBA textColour(GtkWidget* widget) {
  GdkRGBA colour{};
  GtkStyleContext* context = gtk_widget_get_style_context(widget);
  gtk_style_context_get_color(context, gtk_style_context_get_state(context), &colour);
  return colour;
}

bool sameColour(const GdkRGBA& a, const GdkRGBA& b) {
  return std::fabs(a.red - b.red) < 0.01 && std::fabs(a.green - b.green) < 0.01 && std::fabs(a.blue - b.blue) < 0.01;
}

// Counts the replacements of one file (each write renames a ".new" file onto
// it). The other events of a write are watched too: the kernel merges an
// event with an identical one still unread, and only the ".new" events keep
// two renames apart in the queue.
class FileWriteCounter {
 public:
  explicit FileWriteCounter(const std::filesystem::path& file) : name_(file.filename().string()) {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ >= 0) inotify_add_watch(fd_, file.parent_path().c_str(), IN_CREATE | IN_MOVED_FROM | IN_MOVED_TO);
  }
  ~FileWriteCounter() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileWriteCounter(const FileWriteCounter&) = delete;
  FileWriteCounter& operator=(const FileWriteCounter&) = delete;
  bool valid() const { return fd_ >= 0; }
  int take() {
    alignas(inotify_event) char buffer[4096];
    int count = 0;
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if ((event->mask & IN_MOVED_TO) != 0 && event->len > 0 && name_ == event->name) ++count;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return count;
  }

 private:
  std::string name_;
  int fd_ = -1;
};

void showOnly(std::initializer_list<GtkWidget*> screens) {
  const MAIN_WINDOW& w = entireScreen;
  for (GtkWidget* s : {w.singleSensorContainer, w.noConnectionScreen, w.singleMeasurementView, w.singleChannel1Screen,
                       w.singleChannel1ScreenGraph, w.singleChannelPulseScreen, w.dualSensorContainer}) {
    gtk_widget_hide(s);
  }
  for (std::size_t i = 0; i < 2; ++i) {
    for (GtkWidget* s : {w.dualNoConnectionScreens[i], w.dualMeasurementViews[i], w.dualCWChannels[i],
                         w.dualCWChannelsGraph[i], w.dualPWChannels[i]}) {
      gtk_widget_hide(s);
    }
  }
  for (GtkWidget* s : screens) gtk_widget_show(s);
  drainMainLoop();
}

void identify(int port, const char* model, const char* serial, float maxPower) {
  {
    std::lock_guard guard(sensorPortInfoMutex[static_cast<std::size_t>(port)]);
    auto& identity = port < 2 ? sensorSerialHandlerData[static_cast<std::size_t>(port)].sensorIdentity
                              : sensorUsbHandlerData[static_cast<std::size_t>(port - 2)].sensorIdentity;
    auto& number = port < 2 ? sensorSerialHandlerData[static_cast<std::size_t>(port)].serialNumber
                            : sensorUsbHandlerData[static_cast<std::size_t>(port - 2)].serialNumber;
    TextField_copy(identity.sensorModel, model);
    identity.sensorPower = {0.001F, maxPower};
    TextField_copy(number, serial);
  }
  sensorPortHandler_setSensorStatus(port, isReady, "");
}

// A reading through the port's record, then the display pass's update.
void feed(GtkSensorInstance instance, int port, float forward, float reflected) {
  SENSOR_MEASUREMENTS reading;
  reading.fwdPwrVal = forward;
  reading.rflPwrVal = reflected;
  SensorPortHandler_setSimulatedMeasurements(port, reading);
  CGTKPowerDisplay* display = &gtkSensor[instance].power;
  CGTKPowerDisplay_setSensorChannel(display, port);
  CGTKPowerDisplay_setSensorLabel(display, 30);
  CGTKPowerDisplay_updateMeasurements(display, sensorPortHandler_getSensorMeasurements(port));
  if (display->hasGraph) CGTKTimePowerGraph_update(&display->graph);
  drainMainLoop();
}

using display_test::settle;

void saveScreenshot(const char* name) {
  display_test::saveWindowScreenshot(entireScreen.mainWindow, R9050_ARTIFACT_DIR, name);
}

class MainWindowGuiTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    displayAvailable = gtk_init_check(nullptr, nullptr);
    if (!displayAvailable) return;
    root = std::make_unique<test_support::ScratchRoot>();
    setConfigurationFile(nullptr);
    readConfigFile();
    // The resources are looked up relative to the working directory.
    ASSERT_EQ(::chdir(R9050_SOURCE_DIR), 0);
    initColors();
    loadFonts();
    MainWindowHooks hooks;
    hooks.settingsClicked = G_CALLBACK(onSettings);
    hooks.unitsClicked = G_CALLBACK(onUnits);
    createGTKDisplays(hooks);
    gtk_window_move(GTK_WINDOW(mainWindow), 0, 0);
    drainMainLoop();
  }
  static void TearDownTestSuite() { root.reset(); }
  void SetUp() override {
    if (!displayAvailable) GTEST_SKIP() << "needs a display (run under xvfb-run -a)";
    resetConfigToDefaults();
    configuration_setPowerUnitsIsdBm(false);
    configuration_setDisplayFowardPower(true);
    configuration_setDisplayReflectedPower(true);
    configuration_setDisplayMatch(true);
    configuration_setMatchMeasurementType(rfMatch_VSWR);
  }
  static std::filesystem::path settingsFile() { return *root / configuration_getFileName(); }

  static bool displayAvailable;
  static std::unique_ptr<test_support::ScratchRoot> root;
};
bool MainWindowGuiTest::displayAvailable = false;
std::unique_ptr<test_support::ScratchRoot> MainWindowGuiTest::root;

TEST_F(MainWindowGuiTest, BuildsHiddenAndTheStartPageShowsOnlyTheSingleNoConnectionPage) {
  EXPECT_TRUE(screenInitComplete);
  ASSERT_NE(mainWindow, nullptr);
  EXPECT_STREQ(gtk_widget_get_name(mainWindow), "mainWindowR9050");
  MainWindow_showStartPage();
  drainMainLoop();
  const MAIN_WINDOW& w = entireScreen;
  EXPECT_TRUE(visible(w.singleSensorContainer));
  EXPECT_TRUE(visible(w.noConnectionScreen));
  for (GtkWidget* hidden : {w.singleMeasurementView, w.singleChannel1Screen, w.singleChannel1ScreenGraph,
                            w.singleChannelPulseScreen, w.dualSensorContainer, w.dualNoConnectionScreens[0],
                            w.dualNoConnectionScreens[1], w.dualMeasurementViews[0], w.dualMeasurementViews[1]}) {
    SCOPED_TRACE(gtk_widget_get_name(hidden));
    EXPECT_FALSE(visible(hidden));
  }
  EXPECT_EQ(labelText(gtkSensor[gtkSensorSingleNoConnection].noConnection.title), "No Sensor Detected");
  saveScreenshot("screen_no_connection.png");
}

TEST_F(MainWindowGuiTest, EveryInstanceHasItsContainerLayoutIndexAndName) {
  struct Expected {
    GtkSensorInstance instance;
    const char* container;
    int displayIndex;
    bool graph;
    const char* name;
  } const cases[] = {
      {gtkSensorSingleChannel1, "singleChannel1Screen", 0, false, "CW Mode Full"},
      {gtkSensorSingleChannel1withGraph, "singleChannel1ScreenGraph", 0, true, "CW Mode Full (Graph)"},
      {gtkSensorDualChannel1, "dualCWChannels[0]", 0, false, "CW Mode Upper"},
      {gtkSensorDualChannel1withGraph, "dualCWChannelsGraph[0]", 0, true, "CW Mode Upper (Graph)"},
      {gtkSensorDualChannel2, "dualCWChannels[1]", 1, false, "CW Mode Lower"},
      {gtkSensorDualChannel2withGraph, "dualCWChannelsGraph[1]", 1, true, "CW Mode Lower (Graph)"},
      {gtkSensorSinglePulse, "singleChannelPulseScreen", 0, false, ""},
      {gtkSensorDualPulseChannel1, "dualPWChannels[0]", 0, false, ""},
      {gtkSensorDualPulseChannel2, "dualPWChannels[1]", 1, false, ""},
      {gtkSensorSingleNoConnection, "noConnectionScreen", 0, false, "Single Display No Connection"},
      {gtkSensorDualNoConnectionCh1, "dualNoConnectionScreens[0]", 0, false, "Upper Display No Connection"},
      {gtkSensorDualNoConnectionCh2, "dualNoConnectionScreens[1]", 1, false, "Lower Display No Connection"},
  };
  for (const Expected& e : cases) {
    SCOPED_TRACE(e.container);
    GtkWidget* container = MainWindow_instanceContainer(e.instance);
    ASSERT_NE(container, nullptr);
    EXPECT_STREQ(gtk_widget_get_name(container), e.container);
    EXPECT_STREQ(displayInstanceTable[e.instance].name, e.name);
    const CGTKSensorDisplay& display = gtkSensor[e.instance];
    if (e.instance <= gtkSensorDualChannel2withGraph) {
      EXPECT_EQ(display.power.container, container);
      EXPECT_EQ(CGTKPowerDisplay_getDisplayIndex(&display.power), e.displayIndex);
      EXPECT_EQ(display.power.hasGraph, e.graph);
      ASSERT_NE(display.power.fwdRFPower.container, nullptr);
      EXPECT_EQ(gtk_widget_get_parent(display.power.fwdRFPower.container), container);
      EXPECT_EQ(labelText(display.power.fwdRFPower.label), "FWD:");
      EXPECT_EQ(labelText(display.power.rflRFPower.label), "RFL:");
      EXPECT_EQ(display.power.title.configButton, nullptr);
    } else if (e.instance >= gtkSensorSingleNoConnection) {
      EXPECT_EQ(display.noConnection.container, container);
      ASSERT_NE(display.noConnection.title, nullptr);
      EXPECT_EQ(gtk_widget_get_parent(display.noConnection.title), container);
      EXPECT_NE(display.noConnection.descriptionBuffer, nullptr);
    } else {
      EXPECT_EQ(display.power.container, container);
      EXPECT_EQ(display.power.displayIndex, e.displayIndex);
    }
  }
  // The layout: the full-screen value row sits at y 70, the graph views' at 50.
  int x = -1;
  int y = -1;
  gtk_container_child_get(GTK_CONTAINER(entireScreen.singleChannel1Screen),
                          gtkSensor[gtkSensorSingleChannel1].power.fwdRFPower.container, "x", &x, "y", &y, nullptr);
  EXPECT_EQ(y, 70);
  gtk_container_child_get(GTK_CONTAINER(entireScreen.singleChannel1ScreenGraph),
                          gtkSensor[gtkSensorSingleChannel1withGraph].power.rflRFPower.container, "x", &x, "y", &y,
                          nullptr);
  EXPECT_EQ(y, 155);
}

TEST_F(MainWindowGuiTest, FindChildByCaseInsensitivePrefixDepthFirst) {
  GtkWidget* grid = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  gtk_widget_set_name(grid, "outerBox");
  GtkWidget* frame = gtk_frame_new(nullptr);
  GtkWidget* deep = gtk_label_new("x");
  gtk_widget_set_name(deep, "TargetDeep");
  gtk_container_add(GTK_CONTAINER(frame), deep);
  GtkWidget* later = gtk_button_new();
  gtk_widget_set_name(later, "targetLater");
  GtkWidget* inner = gtk_grid_new();
  gtk_grid_attach(GTK_GRID(inner), frame, 0, 0, 1, 1);
  gtk_container_add(GTK_CONTAINER(grid), inner);
  gtk_container_add(GTK_CONTAINER(grid), later);
  g_object_ref_sink(grid);
  struct Case {
    const char* name;
    GtkWidget* expected;
  } const cases[] = {
      {"target", deep},          // first in depth-first order
      {"TARGETL", later},        // case-insensitive
      {"outer", grid},           // the widget itself
      {"targetDeeper", nullptr}, // longer than every name
      {"nothing", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(find_child(grid, c.name), c.expected);
  }
  g_object_unref(grid);
  EXPECT_EQ(find_child(mainWindow, "DUALCWCHANNELSGRAPH[1]"), entireScreen.dualCWChannelsGraph[1]);
  EXPECT_EQ(find_child(nullptr, "x"), nullptr);
}

TEST_F(MainWindowGuiTest, EachScaleClickIsStoredOnceInTheFile) {
  configuration_setRfPowerScale({true, 5}, 0, 0);
  CGTKPowerDisplay* display = &gtkSensor[gtkSensorSingleChannel1].power;
  CGTKPowerDisplay_updateScale(display);
  FileWriteCounter writes(settingsFile());
  ASSERT_TRUE(writes.valid());
  struct Click {
    GtkWidget* button;
    rfPowerScale expected;
  } const clicks[] = {
      {display->scaleControlsFwd.gtkScaleUp, {false, 6}},
      {display->scaleControlsFwd.gtkScaleDown, {false, 5}},
      {display->scaleControlsFwd.gtkScaleAutoOn, {true, 5}},
      {display->scaleControlsFwd.gtkScaleAutoOn, {false, 5}},
  };
  for (const Click& c : clicks) {
    gtk_button_clicked(GTK_BUTTON(c.button));
    drainMainLoop();
    EXPECT_EQ(writes.take(), 1);
    EXPECT_EQ(configuration_getRfPowerScale(0, 0), c.expected);
    EXPECT_EQ(display->scaleFwd, c.expected);
  }
  // What the file holds is what a restart reads.
  readConfigFile();
  EXPECT_EQ(configuration_getRfPowerScale(0, 0), (rfPowerScale{false, 5}));
  EXPECT_EQ(configuration_getRfPowerScale(0, 1), (rfPowerScale{true, kDefaultScaleIndex}));
}

TEST_F(MainWindowGuiTest, AutoRangeStoresOnlyWhenTheRowChanges) {
  identify(0, "C602A100", "12345678", 250.0F);
  configuration_setRfPowerScale({true, 5}, 0, 0);
  CGTKPowerDisplay* display = &gtkSensor[gtkSensorSingleChannel1].power;
  CGTKPowerDisplay_updateScale(display);
  FileWriteCounter writes(settingsFile());
  feed(gtkSensorSingleChannel1, 0, 1.5F, 0.0F);
  EXPECT_EQ(labelText(display->fwdRFPower.value), " 1.5000");
  EXPECT_EQ(labelText(display->fwdRFPower.unitsButtonLabel), "W");
  EXPECT_EQ(configuration_getRfPowerScale(0, 0), (rfPowerScale{true, 4}));
  // The reflected row moved too (0 W: the mW row 0).
  EXPECT_EQ(writes.take(), 2);
  for (int pass = 0; pass < 5; ++pass) feed(gtkSensorSingleChannel1, 0, 1.5F, 0.0F);
  EXPECT_EQ(writes.take(), 0);
  feed(gtkSensorSingleChannel1, 0, 0.0015F, 0.0F);
  EXPECT_EQ(labelText(display->fwdRFPower.value), " 1.5000");
  EXPECT_EQ(labelText(display->fwdRFPower.unitsButtonLabel), "mW");
  EXPECT_EQ(writes.take(), 1);
}

TEST_F(MainWindowGuiTest, OverRangeIsRedAndNaNLeavesTheRows) {
  identify(0, "C602A100", "12345678", 250.0F);
  configuration_setRfPowerScale({false, 3}, 0, 0);
  CGTKPowerDisplay* display = &gtkSensor[gtkSensorSingleChannel1].power;
  CGTKPowerDisplay_updateScale(display);
  feed(gtkSensorSingleChannel1, 0, 2.5F, 0.1F);
  EXPECT_EQ(labelText(display->fwdRFPower.value), "  Range");
  EXPECT_EQ(labelText(display->fwdRFPower.unitsButtonLabel), "mW");
  EXPECT_TRUE(sameColour(textColour(display->fwdRFPower.value), textColorRed));
  EXPECT_TRUE(sameColour(textColour(display->fwdRFPower.label), textColorRed));
  EXPECT_TRUE(visible(display->scaleControlsFwd.gtkScaleUp));
  // In range again: white value, grey title.
  feed(gtkSensorSingleChannel1, 0, 1.5F, 0.1F);
  EXPECT_EQ(labelText(display->fwdRFPower.value), " 1500.0");
  EXPECT_TRUE(sameColour(textColour(display->fwdRFPower.value), textColorWhite));
  EXPECT_TRUE(sameColour(textColour(display->fwdRFPower.label), textColorLightGrey));
  const std::string match = labelText(display->match.value);
  feed(gtkSensorSingleChannel1, 0, kNaN, 0.5F);
  EXPECT_EQ(labelText(display->fwdRFPower.value), " 1500.0");
  EXPECT_EQ(labelText(display->match.value), match);
  feed(gtkSensorSingleChannel1, 0, 1.0F, kNaN);
  EXPECT_EQ(labelText(display->fwdRFPower.value), " 1500.0");
}

TEST_F(MainWindowGuiTest, DbmMatchTypesAndRowFlagsFollowTheSettings) {
  identify(0, "C602A100", "12345678", 250.0F);
  CGTKPowerDisplay* display = &gtkSensor[gtkSensorSingleChannel1].power;
  configuration_setPowerUnitsIsdBm(true);
  configuration_setMatchMeasurementType(rfMatch_RL);
  configuration_setDisplayReflectedPower(false);
  feed(gtkSensorSingleChannel1, 0, 1.0F, 0.01F);
  EXPECT_EQ(labelText(display->fwdRFPower.value), "  30.00");
  EXPECT_EQ(labelText(display->fwdRFPower.unitsButtonLabel), "dBm");
  EXPECT_FALSE(visible(display->scaleControlsFwd.gtkScaleUp));
  EXPECT_FALSE(visible(display->rflRFPower.container));
  EXPECT_EQ(labelText(display->match.label), "RL:");
  EXPECT_EQ(labelText(display->match.value), " -20.00");
  EXPECT_EQ(labelText(display->match.unitsButtonLabel), "dB");
  gtk_button_clicked(GTK_BUTTON(display->fwdRFPower.unitsButton));
  EXPECT_EQ(unitsClicks, 1);
  GtkWidget* settings = find_child(mainWindow, "settingsButton");
  ASSERT_NE(settings, nullptr);
  gtk_button_clicked(GTK_BUTTON(settings));
  EXPECT_EQ(settingsClicks, 1);
}

TEST_F(MainWindowGuiTest, SensorLabelAndNoConnectionTexts) {
  CGTKPowerDisplay* display = &gtkSensor[gtkSensorDualChannel2].power;
  identify(3, "", "87654321", 100.0F);
  CGTKPowerDisplay_setSensorChannel(display, 3);
  CGTKPowerDisplay_setSensorLabel(display, 30);
  EXPECT_EQ(labelText(display->title.sensorButtonLabel), "P80x: 87654321");
  EXPECT_TRUE(sameColour(textColour(display->title.sensorButtonLabel), textColorClickable));
  sensorPortHandler_setSensorStatus(3, notReady, "");
  CGTKPowerDisplay_setSensorLabel(display, 30);
  EXPECT_EQ(labelText(display->title.sensorButtonLabel), "Connecting...");
  CGTKNoConnectionDisplay* page = &gtkSensor[gtkSensorDualNoConnectionCh2].noConnection;
  CGTKNoConnectionDisplay_setConnecting_withPort(page, "USB 2");
  EXPECT_EQ(labelText(page->title), "Connecting...");
  GtkTextIter start;
  GtkTextIter end;
  gtk_text_buffer_get_bounds(page->descriptionBuffer, &start, &end);
  gchar* text = gtk_text_buffer_get_text(page->descriptionBuffer, &start, &end, FALSE);
  EXPECT_STREQ(text, "A Precision CW & Pulse sensor on port USB 2 is powering on and initializing. Please wait.");
  g_free(text);
}

TEST_F(MainWindowGuiTest, ScreenshotsOfTheCwViews) {
  identify(0, "C602A100", "12345678", 250.0F);
  identify(1, "C601B", "20231107", 1000.0F);
  configuration_setRfPowerScale({true, 7}, 0, 0);
  configuration_setRfPowerScale({true, 7}, 0, 1);
  configuration_setRfPowerScale({true, 7}, 1, 0);
  configuration_setRfPowerScale({true, 7}, 1, 1);
  for (GtkSensorInstance i : {gtkSensorSingleChannel1, gtkSensorDualChannel1, gtkSensorDualChannel2}) {
    CGTKPowerDisplay_updateScale(&gtkSensor[i].power);
  }
  const MAIN_WINDOW& w = entireScreen;
  showOnly({w.singleSensorContainer, w.singleMeasurementView, w.singleChannel1Screen});
  feed(gtkSensorSingleChannel1, 0, 100.0F, 1.0F);
  EXPECT_EQ(labelText(gtkSensor[gtkSensorSingleChannel1].power.match.value), "   1.22");
  saveScreenshot("screen_single_cw.png");

  showOnly({w.dualSensorContainer, w.dualMeasurementViews[0], w.dualCWChannels[0], w.dualMeasurementViews[1],
            w.dualCWChannels[1]});
  feed(gtkSensorDualChannel1, 0, 12.34F, 0.056F);
  feed(gtkSensorDualChannel2, 1, 612.0F, 3.2F);
  saveScreenshot("screen_dual_cw.png");

  // The graph layouts (the graph itself draws into the space left for it).
  showOnly({w.singleSensorContainer, w.singleMeasurementView, w.singleChannel1ScreenGraph});
  feed(gtkSensorSingleChannel1withGraph, 0, 100.0F, 1.0F);
  saveScreenshot("screen_single_cw_graph.png");
  showOnly({w.dualSensorContainer, w.dualMeasurementViews[0], w.dualCWChannelsGraph[0], w.dualMeasurementViews[1],
            w.dualCWChannelsGraph[1]});
  feed(gtkSensorDualChannel1withGraph, 0, 12.34F, 0.056F);
  feed(gtkSensorDualChannel2withGraph, 1, 612.0F, 3.2F);
  saveScreenshot("screen_dual_cw_graph.png");

  configuration_setRfPowerScale({false, 3}, 0, 0);
  CGTKPowerDisplay_updateScale(&gtkSensor[gtkSensorSingleChannel1].power);
  showOnly({w.singleSensorContainer, w.singleMeasurementView, w.singleChannel1Screen});
  feed(gtkSensorSingleChannel1, 0, 2.5F, 0.0F);
  saveScreenshot("screen_single_over_range.png");
}

}  // namespace
