// Placeholder of the main window, until the screens are built: a plain black
// 1024 x 768 window with the top strip the application fills.
#include "log_manager.h"
#include "main_window.h"

GtkWidget* mainWindow = nullptr;
std::atomic<bool> screenInitComplete{false};

namespace {

#define PLACEHOLDER() logManager_printToLog(NoCategory, "placeholder: %s\n", __func__)

MainWindowHooks windowHooks;

gboolean onMainWindowDelete(GtkWidget*, GdkEvent*, gpointer) {
  if (windowHooks.closeWindow != nullptr) windowHooks.closeWindow();
  return TRUE;
}

void onMainWindowDestroy(GtkWidget*, gpointer) {
  if (windowHooks.closeWindow != nullptr) windowHooks.closeWindow();
}

}  // namespace

void initColors() { PLACEHOLDER(); }
void loadFonts() { PLACEHOLDER(); }

void createGTKDisplays(const MainWindowHooks& hooks) {
  PLACEHOLDER();
  windowHooks = hooks;
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_set_name(window, "mainWindowR9050");
  gtk_window_set_title(GTK_WINDOW(window), "R9050");
  gtk_window_set_default_size(GTK_WINDOW(window), 1024, 768);
  GtkWidget* screen = gtk_fixed_new();
  gtk_widget_set_name(screen, "entireScreenContainerR9050");
  gtk_widget_set_size_request(screen, 1024, 768);
  gtk_container_add(GTK_CONTAINER(window), screen);
  GtkWidget* topFixedLine = gtk_fixed_new();
  gtk_widget_set_size_request(topFixedLine, 724, 80);
  gtk_fixed_put(GTK_FIXED(screen), topFixedLine, 0, 0);
  if (hooks.fillTopStrip != nullptr) hooks.fillTopStrip(topFixedLine);
  g_signal_connect(window, "delete_event", G_CALLBACK(onMainWindowDelete), nullptr);
  g_signal_connect(window, "destroy", G_CALLBACK(onMainWindowDestroy), nullptr);
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, "window#mainWindowR9050 { background-color: black; }", -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css), 600);
  g_object_unref(css);
  gtk_widget_show_all(window);
  gtk_window_set_focus(GTK_WINDOW(window), nullptr);
  mainWindow = window;
  screenInitComplete = true;
}

CGTKTimePowerGraph* CGTKPowerDisplay_getGraph(GtkSensorInstance) {
  static CGTKTimePowerGraph graph;
  return &graph;
}
