// The graph and its settings dialog in a real GTK, on a (virtual) display:
// the keypad buttons are clicked, then the entries and the stored settings
// are read back.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "configuration.h"
#include "device_fixtures.h"
#include "display_fsm.h"
#include "graph.h"
#include "gtk_screenshot.h"
#include "sensor_data.h"
#include "window_test_support.h"

namespace {

using display_test::drainMainLoop;

GtkWidget* w(const char* id) {
  GtkWidget* widget = graphSettingsDialog_lookup(id);
  EXPECT_NE(widget, nullptr) << id;
  return widget;
}

std::string text(const char* id) {
  GtkWidget* widget = w(id);
  if (widget == nullptr) return "<missing>";
  if (GTK_IS_ENTRY(widget)) return gtk_entry_get_text(GTK_ENTRY(widget));
  if (GTK_IS_LABEL(widget)) return gtk_label_get_text(GTK_LABEL(widget));
  return "<not text>";
}

void click(const char* id) {
  gtk_button_clicked(GTK_BUTTON(w(id)));
  drainMainLoop();
}

// Keys of the dialog's keypad: digits, "." and N (next), C (clear),
// B (backspace), S (sign).
void press(const std::string& keys) {
  for (char k : keys) {
    std::string id = "graphNumKeypadButton";
    switch (k) {
      case '.': id += "Period"; break;
      case 'N': id += "Next"; break;
      case 'C': id += "Clear"; break;
      case 'B': id += "Backspace"; break;
      case 'S': id += "PlusMinus"; break;
      default: id += k; break;
    }
    click(id.c_str());
  }
}

void setCheck(const char* id, bool on) {
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w(id)), on ? TRUE : FALSE);
  drainMainLoop();
}

bool visible(const char* id) { return gtk_widget_get_visible(w(id)) != FALSE; }

std::filesystem::path artifactDir() {
  const std::filesystem::path dir = std::filesystem::path(R9050_BINARY_DIR) / "artifacts";
  std::filesystem::create_directories(dir);
  return dir;
}

void screenshot(GtkWidget* widget, const char* name) {
  if (!test_support::waitUntilPainted(widget)) std::fprintf(stderr, "picture taken before the graph was painted: %s\n", name);
  const int width = gtk_widget_get_allocated_width(widget);
  const int height = gtk_widget_get_allocated_height(widget);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(surface);
  gtk_widget_draw(widget, cr);
  cairo_destroy(cr);
  cairo_surface_write_to_png(surface, (artifactDir() / name).c_str());
  cairo_surface_destroy(surface);
}

const GraphSettings_t kStartSettings{20000.0, 1000.0, 15000.0, 2000.0, graphScale_mW, 10, false, graphModeRaw};

class GraphGuiTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    displayAvailable = gtk_init_check(nullptr, nullptr);
    if (!displayAvailable) return;
    // The dialog definition is looked up relative to the working directory.
    ASSERT_EQ(::chdir(R9050_SOURCE_DIR), 0);
    graphSettingsDialog_Create();
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 1024, 400);
    fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(window), fixed);
    for (auto& d : sensorDisplays) CGraphData_create(&d.graphDataPwr, 10);
    CGTKTimePowerGraph_create(&graphs[0], fixed, 0, 0, 1020, 350, &sensorDisplays[0].graphDataPwr, nullptr);
    CGTKTimePowerGraph_setName(&graphs[0], "CW Mode Full (Graph)");
    gtk_widget_show_all(window);
    drainMainLoop();
  }

  void SetUp() override {
    if (!displayAvailable) GTEST_SKIP() << "no display";
    ASSERT_TRUE(graphSettingsDialog_isBuilt());
    root = std::make_unique<test_support::ScratchRoot>();
    ASSERT_EQ(setConfigurationFile(nullptr), 0);
    readConfigFile();
    configuration_setGraphSettings(kStartSettings, 0);
    configuration_setRfPowerScale({false, 5}, 0, 0);  // "W" with 3 decimals
    configuration_setRfPowerScale({false, 2}, 0, 1);  // "mW" for the reflected direction
    configuration_setPowerUnitsIsdBm(false);
    sensorDisplays[0].sensorPort = sensorPort_Serial1;
    sensorSerialHandlerData[0].sensorIdentity.sensorPower = {0.001F, 150.0F};
    CGraphData_create(&sensorDisplays[0].graphDataPwr, 10);
    CGTKTimePowerGraph_setGraphDataInstance(&graphs[0], &sensorDisplays[0].graphDataPwr);
  }

  void TearDown() override {
    if (graphSettingsDialog_isBuilt()) {
      GtkWidget* dialog = graphSettingsDialog_lookup("graphSettingsDialog");
      if (dialog != nullptr && gtk_widget_get_visible(dialog)) click("graphSettingsButton_cancel");
    }
    root.reset();
  }

  void open(CGTKTimePowerGraph* graph = &graphs[0]) {
    graphSettingsDialog_Show(graph);
    drainMainLoop();
  }

  static void addSamples(int n, float watts) {
    for (int i = 0; i < n; ++i) CGraphData_addItem(&sensorDisplays[0].graphDataPwr, watts);
  }

  static inline bool displayAvailable = false;
  static inline GtkWidget* window = nullptr;
  static inline GtkWidget* fixed = nullptr;
  static inline CGTKTimePowerGraph graphs[2];
  std::unique_ptr<test_support::ScratchRoot> root;
};

TEST_F(GraphGuiTest, OpeningFillsTheFieldsInTheRangeUnit) {
  open();
  EXPECT_TRUE(visible("graphSettingsDialog"));
  EXPECT_EQ(text("graphSettingsLabelTitle"), "Channel 1");
  EXPECT_EQ(text("graphSettingsRangeMin"), "1");
  EXPECT_EQ(text("graphSettingsRangeMax"), "20");  // 20000 mW in W
  EXPECT_EQ(text("graphSettingsLimitMin"), "2");
  EXPECT_EQ(text("graphSettingsLimitMax"), "15");
  EXPECT_EQ(text("graphSettingsLabelRangeMaxUnits"), "W");
  EXPECT_EQ(text("graphSettingsAverageCount"), "10");
  EXPECT_FALSE(gtk_widget_get_sensitive(w("graphSettingsAverageCount")));
  EXPECT_FALSE(gtk_widget_get_sensitive(w("graphNumKeypadButtonPlusMinus")));
  // While the dialog is open the graph's own buttons rest.
  EXPECT_FALSE(gtk_widget_get_sensitive(graphs[0].graph.powerButton));
  EXPECT_FALSE(gtk_widget_get_sensitive(graphs[0].graph.clearGraphButton));
  screenshot(graphSettingsDialog_lookup("graphSettingsDialog"), "graph_settings_dialog.png");
  click("graphSettingsButton_cancel");
  EXPECT_TRUE(gtk_widget_get_sensitive(graphs[0].graph.powerButton));
  EXPECT_TRUE(gtk_widget_get_sensitive(graphs[0].graph.autoScaleButton));
}

TEST_F(GraphGuiTest, TypedValuesAreAppliedInMilliwatts) {
  open();
  press("NNNN");  // round the four power fields (averaging is off): back at the range minimum
  press("N25N");  // range maximum := 25
  EXPECT_EQ(text("graphSettingsRangeMax"), "25");
  press(".5N");  // limit minimum := 0.5
  EXPECT_EQ(text("graphSettingsLimitMin"), "0.5");
  click("graphSettingsButton_apply");
  EXPECT_FALSE(visible("graphSettingsDialog"));
  const GraphSettings_t stored = configuration_getGraphSettings(0);
  EXPECT_EQ(stored.unit, graphScale_mW);
  EXPECT_DOUBLE_EQ(stored.maxPower, 25000.0);
  EXPECT_DOUBLE_EQ(stored.minPower, 1000.0);
  EXPECT_DOUBLE_EQ(stored.minLimitLine, 500.0);
  EXPECT_DOUBLE_EQ(stored.maxLimitLine, 15000.0);
  EXPECT_TRUE(graphs[0].invalidate);
}

TEST_F(GraphGuiTest, TheAverageCountIsClampedOnNext) {
  open();
  setCheck("graphSettingsCheckButtonAverage", true);  // the count becomes the target
  EXPECT_TRUE(gtk_widget_get_sensitive(w("graphSettingsAverageCount")));
  press("100");
  EXPECT_EQ(text("graphSettingsAverageCount"), "100");
  press("N");
  EXPECT_EQ(text("graphSettingsAverageCount"), "64");
  setCheck("graphSettingsCheckButtonAverage", false);
  setCheck("graphSettingsCheckButtonAverage", true);
  press("1N");
  EXPECT_EQ(text("graphSettingsAverageCount"), "2");
  // With averaging on the count follows the limit maximum; then the range minimum.
  press("NNNN");
  press("7N");
  EXPECT_EQ(text("graphSettingsAverageCount"), "7");
  click("graphSettingsButton_apply");
  const GraphSettings_t stored = configuration_getGraphSettings(0);
  EXPECT_EQ(stored.displayMode, graphModeAverage);
  EXPECT_EQ(stored.averageCount, 7U);
  EXPECT_EQ(CGraphData_getFilterWidth(&sensorDisplays[0].graphDataPwr), 7U);
}

TEST_F(GraphGuiTest, PowerFieldsAreClampedAndUnparsableTextIsZero) {
  open();
  press("123456N");  // range minimum
  EXPECT_EQ(text("graphSettingsRangeMin"), "99999");
  gtk_entry_set_text(GTK_ENTRY(w("graphSettingsRangeMax")), "abc");
  press("N");
  EXPECT_EQ(text("graphSettingsRangeMax"), "0");
  gtk_entry_set_text(GTK_ENTRY(w("graphSettingsLimitMin")), "x7");
  click("graphSettingsButton_apply");
  const GraphSettings_t stored = configuration_getGraphSettings(0);
  EXPECT_DOUBLE_EQ(stored.minLimitLine, 0.0);
  EXPECT_GT(stored.maxPower, stored.minPower);  // the settings check keeps a span
}

TEST_F(GraphGuiTest, DbmModeShowsAndStoresDbm) {
  GraphSettings_t milliwatts = kStartSettings;
  milliwatts.minPower = 1.0;
  configuration_setGraphSettings(milliwatts, 0);
  configuration_setPowerUnitsIsdBm(true);
  open();
  EXPECT_EQ(text("graphSettingsRangeMin"), "0.00");  // 1 mW
  EXPECT_EQ(text("graphSettingsRangeMax"), "43.01");
  EXPECT_EQ(text("graphSettingsLabelRangeMinUnits"), "dBm");
  EXPECT_TRUE(gtk_widget_get_sensitive(w("graphNumKeypadButtonPlusMinus")));
  press("12S");  // range minimum := -12
  EXPECT_EQ(text("graphSettingsRangeMin"), "-12");
  press("N");
  EXPECT_EQ(text("graphSettingsRangeMin"), "-12.00");
  press("99N");  // range maximum beyond the file's 80 dBm
  EXPECT_EQ(text("graphSettingsRangeMax"), "80.00");
  press("75SN");
  EXPECT_EQ(text("graphSettingsLimitMin"), "-60.00");
  click("graphSettingsButton_apply");
  const GraphSettings_t stored = configuration_getGraphSettings(0);
  EXPECT_EQ(stored.unit, graphScale_dBm);
  EXPECT_DOUBLE_EQ(stored.minPower, -12.0);
  EXPECT_DOUBLE_EQ(stored.maxPower, 80.0);
  EXPECT_DOUBLE_EQ(stored.minLimitLine, -60.0);
}

TEST_F(GraphGuiTest, DefaultFillsTheSensorRangeInEitherUnit) {
  open();
  setCheck("graphSettingsCheckButtonAverage", true);
  click("graphSettingsButton_default");
  EXPECT_EQ(text("graphSettingsRangeMin"), "0.001");
  EXPECT_EQ(text("graphSettingsLimitMin"), "0.001");
  EXPECT_EQ(text("graphSettingsRangeMax"), "150");
  EXPECT_EQ(text("graphSettingsLimitMax"), "150");
  EXPECT_EQ(text("graphSettingsLabelLimitsMaxUnits"), "W");
  EXPECT_EQ(text("graphSettingsAverageCount"), "64");
  EXPECT_FALSE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w("graphSettingsCheckButtonAverage"))));
  EXPECT_FALSE(gtk_widget_get_sensitive(w("graphSettingsAverageCount")));
  EXPECT_EQ(configuration_getGraphSettings(0), kStartSettings);  // nothing stored yet
  click("graphSettingsButton_cancel");

  configuration_setPowerUnitsIsdBm(true);
  open();
  click("graphSettingsButton_default");
  EXPECT_EQ(text("graphSettingsRangeMin"), "0.00");
  EXPECT_EQ(text("graphSettingsRangeMax"), "51.76");
  EXPECT_EQ(text("graphSettingsLabelRangeMaxUnits"), "dBm");
  click("graphSettingsButton_apply");
  const GraphSettings_t stored = configuration_getGraphSettings(0);
  // 150 W is 51.76 dBm, never "150 dBm".
  EXPECT_EQ(stored.unit, graphScale_dBm);
  EXPECT_NEAR(stored.maxPower, 51.76, 1e-9);
  EXPECT_NEAR(stored.minPower, 0.0, 1e-9);
}

TEST_F(GraphGuiTest, SwitchingTheDirectionEmptiesTheHistoryOnlyWhenApplied) {
  addSamples(30, 5.0F);
  open();
  click("graphSettingsButton_apply");  // nothing changed: the history stays
  EXPECT_EQ(CGraphData_getCount(&sensorDisplays[0].graphDataPwr, RawData), 30U);

  open();
  setCheck("graphSettingsCheckButtonRfl", true);
  EXPECT_EQ(text("graphSettingsLabelRangeMinUnits"), "mW");  // the reflected range's unit
  EXPECT_EQ(CGraphData_getCount(&sensorDisplays[0].graphDataPwr, RawData), 30U);
  click("graphSettingsButton_apply");
  EXPECT_EQ(CGraphData_getCount(&sensorDisplays[0].graphDataPwr, RawData), 0U);
  EXPECT_TRUE(configuration_getGraphRflMode(0));
  // Shown values were typed in the reflected range's unit: 1 mW stays 1 mW.
  EXPECT_DOUBLE_EQ(configuration_getGraphSettings(0).minPower, 1.0);
}

TEST_F(GraphGuiTest, CancelStoresNothing) {
  addSamples(12, 5.0F);
  open();
  press("9N9N");
  setCheck("graphSettingsCheckButtonRfl", true);
  setCheck("graphSettingsCheckButtonAverage", true);
  click("graphSettingsButton_cancel");
  EXPECT_FALSE(visible("graphSettingsDialog"));
  EXPECT_EQ(configuration_getGraphSettings(0), kStartSettings);
  EXPECT_EQ(CGraphData_getCount(&sensorDisplays[0].graphDataPwr, RawData), 12U);
  EXPECT_EQ(CGraphData_getFilterWidth(&sensorDisplays[0].graphDataPwr), 10U);
}

TEST_F(GraphGuiTest, ApplyGoesToTheChannelTheDialogWasOpenedFor) {
  GraphSettings_t second = kStartSettings;
  second.maxPower = 40000.0;
  configuration_setGraphSettings(second, 1);
  configuration_setRfPowerScale({false, 5}, 1, 0);
  configuration_setRfPowerScale({false, 5}, 1, 1);
  CGraphData* first = &sensorDisplays[0].graphDataPwr;
  CGraphData* other = &sensorDisplays[1].graphDataPwr;
  CGraphData_create(other, 10);
  addSamples(25, 5.0F);  // channel 1
  for (int i = 0; i < 40; ++i) CGraphData_addItem(other, 7.0F);
  CGTKTimePowerGraph_setGraphDataInstance(&graphs[0], other);
  open();
  EXPECT_EQ(text("graphSettingsRangeMax"), "40");
  EXPECT_EQ(text("graphSettingsLabelTitle"), "Channel 2");
  press("N33N");
  setCheck("graphSettingsCheckButtonAverage", true);  // the count becomes the target
  press("C20N");
  setCheck("graphSettingsCheckButtonRfl", true);
  // The shared full-screen instance moves to the other channel meanwhile.
  CGTKTimePowerGraph_setGraphDataInstance(&graphs[0], first);
  click("graphSettingsButton_apply");

  const GraphSettings_t stored = configuration_getGraphSettings(1);
  EXPECT_DOUBLE_EQ(stored.maxPower, 33000.0);
  EXPECT_EQ(stored.averageCount, 20U);
  EXPECT_TRUE(stored.bReflectedMode);
  EXPECT_EQ(configuration_getGraphSettings(0), kStartSettings);
  // The direction switch empties channel 2's history and its average width
  // changes; channel 1, shown when Apply was pressed, keeps both.
  EXPECT_EQ(CGraphData_getCount(other, RawData), 0U);
  EXPECT_EQ(CGraphData_getFilterWidth(other), 20U);
  EXPECT_EQ(CGraphData_getCount(first, RawData), 25U);
  EXPECT_EQ(CGraphData_getFilterWidth(first), 10U);
}

TEST_F(GraphGuiTest, ApplyWithoutADirectionSwitchKeepsTheOpenedChannelsHistory) {
  configuration_setGraphSettings(kStartSettings, 1);
  configuration_setRfPowerScale({false, 5}, 1, 0);
  CGraphData* first = &sensorDisplays[0].graphDataPwr;
  CGraphData* other = &sensorDisplays[1].graphDataPwr;
  CGraphData_create(other, 10);
  for (int i = 0; i < 40; ++i) CGraphData_addItem(other, 7.0F);
  CGTKTimePowerGraph_setGraphDataInstance(&graphs[0], other);
  open();
  setCheck("graphSettingsCheckButtonAverage", true);
  press("C4N");
  // Channel 1 is shown, with a history of its own, by the time Apply is pressed.
  addSamples(25, 5.0F);
  CGTKTimePowerGraph_setGraphDataInstance(&graphs[0], first);
  click("graphSettingsButton_apply");

  EXPECT_EQ(CGraphData_getCount(other, RawData), 40U);
  EXPECT_EQ(CGraphData_getFilterWidth(other), 4U);
  EXPECT_EQ(CGraphData_getCount(other, AveragedData), 37U);
  EXPECT_EQ(CGraphData_getCount(first, RawData), 25U);
  EXPECT_EQ(CGraphData_getFilterWidth(first), 10U);
}

TEST_F(GraphGuiTest, TheGraphDrawsARampAndAStep) {
  // Four minutes of readings: a slow ramp from 2 W to 12 W, then a step to 6 W.
  for (int i = 0; i < 240; ++i) {
    const float p = i < 160 ? 2.0F + 10.0F * static_cast<float>(i) / 160.0F : 6.0F;
    CGraphData_addItem(&sensorDisplays[0].graphDataPwr, p);
  }
  configuration_setGraphSettings({14000.0, 0.0, 11000.0, 3000.0, graphScale_mW, 10, false, graphModeRaw}, 0);
  CGTKTimePowerGraph_invalidateGraph(&graphs[0]);
  CGTKTimePowerGraph_update(&graphs[0]);
  drainMainLoop();
  const CGTKGraphComponent& c = graphs[0].graph;
  EXPECT_EQ(c.scaleIdxX, 2);  // 240 s
  EXPECT_EQ(c.previousDataIdx, 239U);
  EXPECT_EQ(std::string(gtk_label_get_text(GTK_LABEL(c.timeLabel))), "seconds");
  EXPECT_EQ(std::string(gtk_label_get_text(GTK_LABEL(c.xAxisMaxLabel))), "  240");
  EXPECT_EQ(std::string(gtk_label_get_text(GTK_LABEL(c.yAxisMaxLabel))), "14");
  EXPECT_EQ(std::string(gtk_label_get_text(GTK_LABEL(c.powerLabel))), "Power (W)");
  EXPECT_EQ(std::string(gtk_label_get_text(GTK_LABEL(c.powerMode))), "FWD");
  ASSERT_EQ(c.plotAreaDimensions.width, 978U);  // 1020 - 42
  ASSERT_EQ(c.plotAreaDimensions.height, 314U);  // 350 - 36
  // At the step (sample 200 of 240) the trace is at 6 W: y = 310 - 310 * 6 / 14.
  const int x = 200 * 974 / 240;
  const int y = 310 - 310 * 6 / 14;
  const unsigned char* data = cairo_image_surface_get_data(c.plotAreaSurface);
  const int stride = cairo_image_surface_get_stride(c.plotAreaSurface);
  bool red = false;
  for (int dy = -2; dy <= 2; ++dy) {
    const unsigned char* p = data + (y + dy) * stride + x * 4;  // B, G, R, unused
    red = red || (p[2] > 180 && p[1] < 130 && p[0] < 130);
  }
  EXPECT_TRUE(red);
  screenshot(graphs[0].container, "graph_ramp_step.png");

  // "Auto" fits the range to the data (2 .. 12 W) and stores it.
  gtk_button_clicked(GTK_BUTTON(c.autoScaleButton));
  const GraphSettings_t fitted = configuration_getGraphSettings(0);
  EXPECT_LE(fitted.minPower, 2000.0);
  EXPECT_GE(fitted.maxPower, 12000.0);
  EXPECT_TRUE(graphs[0].invalidate);
  // "Clear" empties the history.
  gtk_button_clicked(GTK_BUTTON(c.clearGraphButton));
  EXPECT_EQ(CGraphData_getCount(&sensorDisplays[0].graphDataPwr, RawData), 0U);
  EXPECT_EQ(graphs[0].graph.scaleIdxX, 0);
}

// A range read from the settings file is not checked on reading: an empty,
// reversed or NaN span still gives a drawable graph.
TEST_F(GraphGuiTest, ARangeFromTheSettingsFileIsMadeSafeBeforeDrawing) {
  const struct {
    const char* minPower;
    const char* maxPower;
  } cases[] = {{"5000.000000", "5000.000000"}, {"9000.000000", "1000.000000"}, {"nan", "nan"}, {"-inf", "0"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.minPower) + " .. " + c.maxPower);
    root->write("/etc/meterapp/TalvekApplicationSettings.conf",
                std::string("graphDisplayMinPower_ch1 ") + c.minPower + "\ngraphDisplayMaxPower_ch1 " + c.maxPower +
                    "\nunit_ch1 0\ngraphDisplayMode_ch1 0\n");
    readConfigFile();
    CGraphData_reset(&sensorDisplays[0].graphDataPwr);
    addSamples(20, 5.0F);
    CGTKTimePowerGraph_invalidateGraph(&graphs[0]);
    CGTKTimePowerGraph_update(&graphs[0]);
    drainMainLoop();
    const GraphSettings_t& used = graphs[0].settings;
    EXPECT_TRUE(std::isfinite(used.minPower));
    EXPECT_TRUE(std::isfinite(used.maxPower));
    EXPECT_GT(used.maxPower - used.minPower, 0.0);
    EXPECT_EQ(graphs[0].graph.previousDataIdx, 19U);
    const std::string top = gtk_label_get_text(GTK_LABEL(graphs[0].graph.yAxisMaxLabel));
    EXPECT_EQ(top.find("nan"), std::string::npos);
    EXPECT_EQ(top.find("inf"), std::string::npos);
  }
}

}  // namespace
