// Pictures of what a GTK test put on the virtual display, saved as PNG
// artifacts to be looked at.
//
// The pictures are drawn from the widgets themselves into an image, not read
// back from the X server: the GUI tests run side by side on one virtual
// display, and a read-back shows whatever window of another test lies on top
// (a black main window, as often as not). Each picture first lets the window
// be mapped and painted once more, so that it is laid out as on the screen.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

namespace test_support {

inline void drainGtkMainLoop() {
  while (gtk_events_pending()) gtk_main_iteration();
}

// Runs the main loop until `widget`'s window has been mapped and painted
// once more, within `limit`. False when it was not.
inline bool waitUntilPainted(GtkWidget* widget, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  auto running = [&end] { return std::chrono::steady_clock::now() < end; };
  while (!gtk_widget_get_mapped(widget) && running()) {
    drainGtkMainLoop();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  GdkFrameClock* clock = gtk_widget_get_frame_clock(widget);
  if (clock == nullptr) return false;
  bool painted = false;
  const gulong handler = g_signal_connect(clock, "after-paint", G_CALLBACK(+[](GdkFrameClock*, gpointer flag) {
                                            *static_cast<bool*>(flag) = true;
                                          }), &painted);
  gtk_widget_queue_draw(widget);
  while (!painted && running()) {
    drainGtkMainLoop();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  g_signal_handler_disconnect(clock, handler);
  drainGtkMainLoop();
  gdk_display_sync(gtk_widget_get_display(widget));
  return painted;
}

// Draws `toplevel` into `cr` at its place on the screen.
inline void drawAtItsPlace(GtkWidget* toplevel, cairo_t* cr) {
  int x = 0;
  int y = 0;
  if (GdkWindow* window = gtk_widget_get_window(toplevel)) gdk_window_get_origin(window, &x, &y);
  cairo_save(cr);
  cairo_translate(cr, x, y);
  gtk_widget_draw(toplevel, cr);
  cairo_restore(cr);
}

inline void writePicture(cairo_surface_t* surface, const std::string& path) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  EXPECT_EQ(cairo_surface_write_to_png(surface, path.c_str()), CAIRO_STATUS_SUCCESS) << path;
  cairo_surface_destroy(surface);
}

// The window `toplevel`, once painted.
inline void saveWindowPicture(GtkWidget* toplevel, const std::string& path) {
  if (!waitUntilPainted(toplevel)) std::fprintf(stderr, "picture taken before the window was painted: %s\n", path.c_str());
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, gtk_widget_get_allocated_width(toplevel),
                                                        gtk_widget_get_allocated_height(toplevel));
  cairo_t* cr = cairo_create(surface);
  gtk_widget_draw(toplevel, cr);
  cairo_destroy(cr);
  writePicture(surface, path);
}

// The whole screen as this test shows it: each of its shown windows at its
// place, once painted, the windows made later over the earlier ones.
inline void saveScreenPicture(const std::string& path) {
  GdkWindow* root = gdk_get_default_root_window();
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, gdk_window_get_width(root), gdk_window_get_height(root));
  cairo_t* cr = cairo_create(surface);
  GList* toplevels = gtk_window_list_toplevels();  // oldest first
  for (GList* item = toplevels; item != nullptr; item = item->next) {
    GtkWidget* widget = GTK_WIDGET(item->data);
    if (!gtk_widget_get_visible(widget)) continue;
    waitUntilPainted(widget);
    drawAtItsPlace(widget, cr);
  }
  g_list_free(toplevels);
  cairo_destroy(cr);
  writePicture(surface, path);
}

}  // namespace test_support
