#include "dialog_support.h"

#include <string>

#include "settings_menu.h"

namespace {

constexpr const char* kResources = "./resources/";
constexpr int kPictureButtonSize = 88;

}  // namespace

GtkBuilder* DialogSupport_load(const char* file) {
  const std::string path = std::string(kResources) + file;
  GtkBuilder* builder = gtk_builder_new();
  GError* error = nullptr;
  if (gtk_builder_add_from_file(builder, path.c_str(), &error) == 0) {
    DIAGNOSTIC("Cannot read %s: %s\n", path.c_str(), error != nullptr ? error->message : "");
    g_clear_error(&error);
    g_object_unref(builder);
    return nullptr;
  }
  return builder;
}

GtkWidget* DialogSupport_widget(GtkBuilder* builder, const char* id) {
  GObject* object = gtk_builder_get_object(builder, id);
  if (object == nullptr || !GTK_IS_WIDGET(object)) {
    DIAGNOSTIC("Dialog object %s missing\n", id);
    return nullptr;
  }
  return GTK_WIDGET(object);
}

GtkWidget* DialogSupport_pictureButton(const char* picture, const char* name, GCallback clicked) {
  const std::string path = std::string(kResources) + picture;
  GtkWidget* button = gtk_button_new();
  GtkWidget* image = gtk_image_new_from_file(path.c_str());
  gtk_button_set_image(GTK_BUTTON(button), image);
  gtk_button_set_always_show_image(GTK_BUTTON(button), TRUE);
  gtk_button_set_relief(GTK_BUTTON(button), GTK_RELIEF_NONE);
  gtk_widget_set_name(button, name);
  gtk_widget_set_tooltip_text(button, name);
  gtk_widget_set_size_request(button, kPictureButtonSize, kPictureButtonSize);
  gtk_widget_set_can_focus(button, FALSE);
  g_signal_connect(button, "clicked", clicked, nullptr);
  return button;
}

void DialogSupport_present(GtkWidget* dialog) {
  GtkWidget* parent = AppSettingsMenu_parentWindow();
  if (parent != nullptr && GTK_IS_WINDOW(parent)) gtk_window_set_transient_for(GTK_WINDOW(dialog), GTK_WINDOW(parent));
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  gtk_widget_show_all(dialog);
}

void DialogSupport_setStatus(GtkWidget* label, const char* text) {
  if (label == nullptr) return;
  gtk_label_set_text(GTK_LABEL(label), text);
  gtk_widget_set_visible(label, text[0] != '\0');
}
