// Pictures of what a GTK test put on the virtual display, saved as PNG
// artifacts to be looked at.
//
// Reading a window back from the X server only shows what GTK has already
// painted there: a picture taken after a fixed wait comes out black (or half
// drawn) on a loaded machine. So each capture asks for a repaint and waits
// for the window's frame clock to finish painting it, then for the X server
// to have drawn everything sent to it.
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

// Saves `width` x `height` of `window` (a widget's window or the screen's
// root window) as `path`.
inline void savePicture(GdkWindow* window, int width, int height, const std::string& path) {
  ASSERT_NE(window, nullptr);
  GdkPixbuf* picture = gdk_pixbuf_get_from_window(window, 0, 0, width, height);
  ASSERT_NE(picture, nullptr) << path;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  EXPECT_TRUE(gdk_pixbuf_save(picture, path.c_str(), "png", nullptr, nullptr)) << path;
  g_object_unref(picture);
}

// The window of `toplevel` as it is on the screen, once painted.
inline void saveWindowPicture(GtkWidget* toplevel, const std::string& path) {
  if (!waitUntilPainted(toplevel)) std::fprintf(stderr, "picture taken before the window was painted: %s\n", path.c_str());
  GdkWindow* window = gtk_widget_get_window(toplevel);
  ASSERT_NE(window, nullptr) << path;
  savePicture(window, gdk_window_get_width(window), gdk_window_get_height(window), path);
}

// The whole screen with every window on it, once each shown one is painted.
inline void saveScreenPicture(const std::string& path) {
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* item = toplevels; item != nullptr; item = item->next) {
    GtkWidget* widget = GTK_WIDGET(item->data);
    if (gtk_widget_get_visible(widget)) waitUntilPainted(widget);
  }
  g_list_free(toplevels);
  GdkWindow* root = gdk_get_default_root_window();
  savePicture(root, gdk_window_get_width(root), gdk_window_get_height(root), path);
}

}  // namespace test_support
