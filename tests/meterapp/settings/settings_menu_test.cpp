// The settings panel on a real display: every control stores its setting,
// opening the panel changes nothing, and the legacy command mode follows the
// legacy switch.
#include "settings_menu.h"

#include <sys/stat.h>

#include "gui_fixture.h"

namespace {

using namespace settings_gui;

// The application's actions, counted.
struct HookCalls {
  int total = 0;
  int displayGraph = 0;
  bool ready = true;
};
HookCalls calls;

bool ready() { return calls.ready; }
void countedForward(bool on) { ++calls.total; configuration_setDisplayFowardPower(on); }
void countedReflected(bool on) { ++calls.total; configuration_setDisplayReflectedPower(on); }
void countedMatch(bool on) { ++calls.total; configuration_setDisplayMatch(on); }
void countedMatchType(int type) { ++calls.total; configuration_setMatchMeasurementType(static_cast<rfMatchType_t>(type)); }
void countedGraph(bool on) { ++calls.total; ++calls.displayGraph; configuration_setDisplayGraph(on); }
void countedPulse(bool on) { ++calls.total; configuration_setPulseMode(on); }

AppSettingsMenuHooks countingHooks() {
  AppSettingsMenuHooks hooks;
  hooks.guiReady = ready;
  hooks.setDisplayForward = countedForward;
  hooks.setDisplayReflected = countedReflected;
  hooks.setDisplayMatch = countedMatch;
  hooks.setMatchType = countedMatchType;
  hooks.setDisplayGraph = countedGraph;
  hooks.setSensorPulseMode = countedPulse;
  // setGraphMode left empty: the panel stores both channels itself.
  return hooks;
}

class SettingsMenuTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    if (IsSkipped()) return;
    calls = {};
    AppSettingsMenu_create(nullptr, countingHooks());
    ASSERT_NE(AppSettingsMenu_window(), nullptr);
  }
  void TearDown() override {
    AppSettingsMenu_hide();
    GuiTest::TearDown();
  }
  static GtkWidget* control(const char* label) {
    GtkWidget* widget = AppSettingsMenu_control(label);
    EXPECT_NE(widget, nullptr) << label;
    return widget;
  }
  static void set(const char* label, bool on) {
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(control(label)), on ? TRUE : FALSE);
    drainMainLoop();
  }
};

TEST_F(SettingsMenuTest, EveryControlStoresItsSettingInTheFile) {
  AppSettingsMenu_show();
  struct Step {
    const char* label;
    bool on;
    std::vector<const char*> lines;
  };
  const Step steps[] = {
      {"Forward", false, {"displayForwardPower 0"}},
      {"Reflected", false, {"displayReflectedPower 0"}},
      {"Return Loss", true, {"matchMeasurementType 1"}},
      {"Refl Coeff", true, {"matchMeasurementType 2"}},
      {"VSWR", true, {"matchMeasurementType 0"}},
      {"Match", false, {"displayVSWR_ReturnLoss_or_ReflCoeff_Value 0"}},
      {"Display Graph", true, {"displayGraph 1"}},
      {"Average", true, {"graphDisplayMode_ch1 1", "graphDisplayMode_ch2 1"}},
      {"Raw", true, {"graphDisplayMode_ch1 0", "graphDisplayMode_ch2 0"}},
      {"Sensor Pulse Mode", true, {"sensorPulseMode 1"}},
      {"Use Legacy RS232", true, {"useLegacyRS232Commands 1"}},
      {"Use Command Mode", true, {"legacyCommandModeSW 1"}},
      {"Use Command Mode", false, {"legacyCommandModeSW 0"}},
      {"Forward", true, {"displayForwardPower 1"}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(std::string(step.label) + (step.on ? " on" : " off"));
    set(step.label, step.on);
    for (const char* line : step.lines) EXPECT_TRUE(settingsHas(line)) << line << "\n" << settingsFile();
  }
  EXPECT_EQ(calls.displayGraph, 1) << "the graph goes through the application's action";
}

TEST_F(SettingsMenuTest, OpeningLoadsTheSettingsAndChangesNothing) {
  root.write(DevicePath::kSettingsFile,
             "displayForwardPower 0\ndisplayReflectedPower 1\npowerUnitsIsdBm 0\n"
             "displayVSWR_ReturnLoss_or_ReflCoeff_Value 1\nmatchMeasurementType 2\ndisplayGraph 1\n"
             "graphDisplayMode_ch1 1\ngraphDisplayMode_ch2 1\nuseLegacyRS232Commands 1\nlegacyCommandModeSW 1\n"
             "sensorPulseMode 1\n");
  readConfigFile();
  struct stat before {};
  ASSERT_EQ(::stat(root.host(DevicePath::kSettingsFile).c_str(), &before), 0);
  const std::string content = settingsFile();

  AppSettingsMenu_show();
  drainMainLoop();
  EXPECT_TRUE(settingsMenuIsVisible());
  EXPECT_FALSE(active(control("Forward")));
  EXPECT_TRUE(active(control("Reflected")));
  EXPECT_TRUE(active(control("Match")));
  EXPECT_TRUE(active(control("Refl Coeff")));
  EXPECT_TRUE(active(control("Display Graph")));
  EXPECT_TRUE(active(control("Average")));
  EXPECT_TRUE(active(control("Sensor Pulse Mode")));
  EXPECT_TRUE(active(control("Use Legacy RS232")));
  EXPECT_TRUE(active(control("Use Command Mode")));

  EXPECT_EQ(calls.total, 0) << "no action ran, so no graph was reset";
  struct stat after {};
  ASSERT_EQ(::stat(root.host(DevicePath::kSettingsFile).c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino) << "the settings file was not written again";
  EXPECT_EQ(settingsFile(), content);
  saveScreenshot(AppSettingsMenu_window(), "settings_panel");

  // Opening again over the same values still changes nothing.
  AppSettingsMenu_hide();
  EXPECT_FALSE(settingsMenuIsVisible());
  AppSettingsMenu_show();
  EXPECT_EQ(calls.total, 0);
}

TEST_F(SettingsMenuTest, CommandModeIsInsensitiveAndUnchangedWhileLegacyIsOff) {
  AppSettingsMenu_show();
  ASSERT_FALSE(configuration_getUseLegacy());
  EXPECT_FALSE(sensitive(control("Use Command Mode")));
  set("Use Command Mode", true);
  EXPECT_FALSE(configuration_getCommandModeSW());
  EXPECT_TRUE(settingsHas("legacyCommandModeSW 0"));

  set("Use Legacy RS232", true);
  EXPECT_TRUE(sensitive(control("Use Command Mode")));
  set("Use Legacy RS232", false);
  EXPECT_FALSE(sensitive(control("Use Command Mode")));
}

TEST_F(SettingsMenuTest, MatchSwitchesTheMatchTypesSensitivity) {
  AppSettingsMenu_show();
  set("Match", false);
  for (const char* label : {"VSWR", "Return Loss", "Refl Coeff"}) EXPECT_FALSE(sensitive(control(label))) << label;
  set("Match", true);
  for (const char* label : {"VSWR", "Return Loss", "Refl Coeff"}) EXPECT_TRUE(sensitive(control(label))) << label;
}

TEST_F(SettingsMenuTest, SetMatchTypeSelectsItsRadioButton) {
  AppSettingsMenu_show();
  const std::pair<int, const char*> cases[] = {{rfMatch_RL, "Return Loss"}, {rfMatch_RflCoeff, "Refl Coeff"},
                                               {rfMatch_VSWR, "VSWR"}, {7, "VSWR"}};
  for (const auto& [type, label] : cases) {
    SCOPED_TRACE(type);
    AppSettingsMenu_setMatchType(rfMatch_RL);
    AppSettingsMenu_setMatchType(type);
    EXPECT_TRUE(active(control(label)));
  }
}

TEST_F(SettingsMenuTest, NothingIsStoredBeforeTheGuiHasStarted) {
  AppSettingsMenu_show();
  calls.ready = false;
  const std::string before = settingsFile();
  set("Forward", false);
  set("Display Graph", true);
  set("Use Legacy RS232", true);
  EXPECT_EQ(calls.total, 0);
  EXPECT_EQ(settingsFile(), before);
}

TEST_F(SettingsMenuTest, GraphModeCallbackIgnoresOtherData) {
  char other[] = "fast";
  radioButtonGraphModeCallback(nullptr, other);
  radioButtonGraphModeCallback(nullptr, nullptr);
  EXPECT_EQ(configuration_getGraphSettings(0).displayMode, graphModeRaw);
  char avg[] = "avg";
  radioButtonGraphModeCallback(nullptr, avg);
  EXPECT_EQ(configuration_getGraphSettings(0).displayMode, graphModeAverage);
  EXPECT_EQ(configuration_getGraphSettings(1).displayMode, graphModeAverage);
}

TEST_F(SettingsMenuTest, PanelHoldsTheThreePictureButtons) {
  AppSettingsMenu_show();
  int found = 0;
  std::vector<GtkWidget*> todo{AppSettingsMenu_window()};
  while (!todo.empty()) {
    GtkWidget* w = todo.back();
    todo.pop_back();
    const std::string name = gtk_widget_get_name(w);
    if (name == "Ethernet button" || name == "Serial button" || name == "About button") {
      ++found;
      int width = 0;
      int height = 0;
      gtk_widget_get_size_request(w, &width, &height);
      EXPECT_GE(width, 80) << name;
      EXPECT_GE(height, 80) << name;
    }
    if (GTK_IS_CONTAINER(w)) {
      GList* children = gtk_container_get_children(GTK_CONTAINER(w));
      for (GList* c = children; c != nullptr; c = c->next) todo.push_back(GTK_WIDGET(c->data));
      g_list_free(children);
    }
  }
  EXPECT_EQ(found, 3);
}

}  // namespace
