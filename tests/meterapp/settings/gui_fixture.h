// What the settings dialogs' screen tests share: a GTK display (the tests
// skip without one), the resources folder as working directory, a scratch
// device root with a settings file, main-loop draining and screenshots.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "configuration.h"
#include "device_fixtures.h"
#include "gtk_screenshot.h"
#include "serial_config.h"

namespace settings_gui {

inline void drainMainLoop() {
  while (gtk_events_pending()) gtk_main_iteration();
}

// Runs the main loop for a while (timeouts, window mapping and drawing).
inline void runMainLoopFor(std::chrono::milliseconds duration) {
  const auto end = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < end) {
    drainMainLoop();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

inline bool active(GtkWidget* button) { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(button)) != FALSE; }
inline void click(GtkWidget* button) { gtk_button_clicked(GTK_BUTTON(button)); drainMainLoop(); }
inline std::string labelText(GtkWidget* label) { return gtk_label_get_text(GTK_LABEL(label)); }
inline std::string entryText(GtkWidget* entry) { return gtk_entry_get_text(GTK_ENTRY(entry)); }
inline bool shown(GtkWidget* widget) { return gtk_widget_get_visible(widget) != FALSE; }
inline bool sensitive(GtkWidget* widget) { return gtk_widget_get_sensitive(widget) != FALSE; }

// Saves what the window shows as build/artifacts/<name>.png.
inline void saveScreenshot(GtkWidget* window, const std::string& name) {
  test_support::saveWindowPicture(window, std::string(R9050_ARTIFACT_DIR) + "/" + name + ".png");
}

// Every test gets a fresh device root with a settings file of defaults.
class GuiTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    displayAvailable() = gtk_init_check(nullptr, nullptr);
    // The dialogs load "./resources/...".
    if (displayAvailable()) {
      ASSERT_EQ(::chdir(R9050_SOURCE_DIR), 0);
    }
  }
  void SetUp() override {
    if (!displayAvailable()) GTEST_SKIP() << "needs a display (run under xvfb-run -a)";
    SerialConfig_registerWithSettingsFile();
    ASSERT_EQ(setConfigurationFile(DevicePath::kSettingsFile), 0);
    readConfigFile();
  }
  void TearDown() override { drainMainLoop(); }

  std::string settingsFile() const { return root.read(DevicePath::kSettingsFile); }
  bool settingsHas(const std::string& line) const { return ("\n" + settingsFile()).find("\n" + line + "\n") != std::string::npos; }

  static bool& displayAvailable() {
    static bool available = false;
    return available;
  }

  test_support::ScratchRoot root;
};

}  // namespace settings_gui
