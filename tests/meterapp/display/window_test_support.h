// What the display tests on a virtual display share: running the main loop
// until it is idle, letting the frame clock lay out what was shown, and
// saving the window as a PNG artifact.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <filesystem>
#include <string>

namespace display_test {

inline void drainMainLoop() {
  while (gtk_events_pending()) gtk_main_iteration();
}

// Lets the frame clock run a few frames so that the shown views are laid out.
inline void settle() {
  for (int frame = 0; frame < 10; ++frame) {
    drainMainLoop();
    g_usleep(20000);
  }
  drainMainLoop();
}

// Draws the 1024 x 768 window into `artifactDir`/`name`.
inline void saveWindowScreenshot(GtkWidget* window, const std::string& artifactDir, const char* name) {
  gtk_widget_queue_draw(window);
  settle();
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1024, 768);
  cairo_t* cr = cairo_create(surface);
  gtk_widget_draw(window, cr);
  cairo_destroy(cr);
  std::filesystem::create_directories(artifactDir);
  const std::string file = artifactDir + "/" + name;
  EXPECT_EQ(cairo_surface_write_to_png(surface, file.c_str()), CAIRO_STATUS_SUCCESS) << file;
  cairo_surface_destroy(surface);
}

}  // namespace display_test
