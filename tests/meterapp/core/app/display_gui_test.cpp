// The display pieces that need a real GTK: run on a (virtual) display.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <string>

#include "app_callbacks.h"
#include "app_state.h"
#include "battery_monitor.h"
#include "display_fsm.h"
#include "display_update.h"
#include "main_window.h"
#include "text_field.h"

namespace {

GtkWidget* findById(GtkWidget* widget, const char* id) {
  if (GTK_IS_BUILDABLE(widget)) {
    const char* name = gtk_buildable_get_name(GTK_BUILDABLE(widget));
    if (name != nullptr && std::string(name) == id) return widget;
  }
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  GtkWidget* found = nullptr;
  for (GList* c = children; c != nullptr && found == nullptr; c = c->next) found = findById(GTK_WIDGET(c->data), id);
  g_list_free(children);
  return found;
}

GtkWidget* findToplevel(const char* title) {
  GList* windows = gtk_window_list_toplevels();
  GtkWidget* found = nullptr;
  for (GList* w = windows; w != nullptr; w = w->next) {
    const char* t = gtk_window_get_title(GTK_WINDOW(w->data));
    if (t != nullptr && std::string(t) == title) found = GTK_WIDGET(w->data);
  }
  g_list_free(windows);
  return found;
}

std::string labelText(GtkWidget* dialog, const char* id) {
  GtkWidget* label = findById(dialog, id);
  return label != nullptr && GTK_IS_LABEL(label) ? gtk_label_get_text(GTK_LABEL(label)) : "<missing>";
}

void drainMainLoop() {
  while (gtk_events_pending()) gtk_main_iteration();
}

class DisplayGuiTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    displayAvailable = gtk_init_check(nullptr, nullptr);
    if (!displayAvailable) return;
    // The resources are looked up relative to the working directory.
    ASSERT_EQ(::chdir(R9050_SOURCE_DIR), 0);
    loadBatteryImages();
    MainWindowHooks hooks;
    hooks.closeWindow = closeAppWindow;
    hooks.fillTopStrip = DisplayUpdate_placeBatteryIndicator;
    createGTKDisplays(hooks);
  }
  void SetUp() override {
    if (!displayAvailable) GTEST_SKIP() << "needs a display (run under xvfb-run -a)";
  }
  static bool displayAvailable;
};
bool DisplayGuiTest::displayAvailable = false;

TEST_F(DisplayGuiTest, SensorInfoDialogShowsTheChannelsSensor) {
  {
    std::lock_guard guard(sensorPortInfoMutex[sensorPort_Serial2]);
    auto& handler = sensorSerialHandlerData[1];
    TextField_copy(handler.sensorIdentity.sensorModel, "C602A100");
    TextField_copy(handler.sensorIdentity.sensorFirmwareRevision, "1.07");
    handler.sensorIdentity.sensorPower = {0.0125F, 250.0F};
    TextField_copy(handler.serialNumber, "12345678");
  }
  sensorDisplays[1].sensorPort = sensorPort_Serial2;
  callbackSensorInfo(nullptr, GINT_TO_POINTER(1));
  drainMainLoop();
  GtkWidget* dialog = findToplevel("Sensor Information");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(labelText(dialog, "sensorInfoModel"), "C602A100");
  EXPECT_EQ(labelText(dialog, "sensorInfoFirmware"), "1.07");
  EXPECT_EQ(labelText(dialog, "sensorInfoSerial"), "12345678");
  EXPECT_EQ(labelText(dialog, "sensorInfoMaxPower"), "250.00 W");
  EXPECT_EQ(labelText(dialog, "sensorInfoMinPower"), "0.01 W");

  GtkWidget* ok = findById(dialog, "sensorInfoDialogOk");
  ASSERT_NE(ok, nullptr);
  gtk_button_clicked(GTK_BUTTON(ok));
  drainMainLoop();
  EXPECT_EQ(findToplevel("Sensor Information"), nullptr);
  sensorDisplays[1].sensorPort = sensorPort_None;
  sensorPortHandler_resetSensorInformation(sensorPort_Serial2);
}

TEST_F(DisplayGuiTest, SensorInfoIgnoresAChannelOutOfRange) {
  callbackSensorInfo(nullptr, GINT_TO_POINTER(5));
  drainMainLoop();
  EXPECT_EQ(findToplevel("Sensor Information"), nullptr);
}

TEST_F(DisplayGuiTest, DisplayPassShowsExactlyOneBatteryPicture) {
  DisplayUpdate_pass();
  drainMainLoop();
  // A meter with a battery model whose battery has not been detected
  // (nothing polled it here): the "battery not present" picture alone.
  ASSERT_TRUE(modelHasBattery());
  ASSERT_FALSE(batteryPresent);
  for (int i = 0; i < batteryPictureCount; ++i) {
    SCOPED_TRACE(i);
    ASSERT_NE(batteryImages[static_cast<std::size_t>(i)], nullptr);
    EXPECT_EQ(gtk_widget_get_visible(batteryImages[static_cast<std::size_t>(i)]) != FALSE, i == batteryPictureNotPresent);
  }
  EXPECT_FALSE(gtk_widget_get_visible(batteryPercentLabel));
  EXPECT_TRUE(gtk_init_done.load());
}

TEST_F(DisplayGuiTest, FocusCheckTakesTheFocusFromTheMainWindow) {
  ASSERT_NE(mainWindow, nullptr);
  GtkWidget* box = gtk_bin_get_child(GTK_BIN(mainWindow));
  GtkWidget* button = gtk_button_new_with_label("focus me");
  gtk_fixed_put(GTK_FIXED(box), button, 300, 300);
  gtk_widget_show(button);
  gtk_window_set_focus(GTK_WINDOW(mainWindow), button);
  ASSERT_EQ(gtk_window_get_focus(GTK_WINDOW(mainWindow)), button);
  EXPECT_TRUE(DisplayUpdate_focusCheck());
  EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(mainWindow)), nullptr);
  EXPECT_FALSE(DisplayUpdate_focusCheck());
  gtk_widget_destroy(button);
}

}  // namespace
