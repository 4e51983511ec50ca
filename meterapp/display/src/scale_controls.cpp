#include "scale_controls.h"

#include "log_manager.h"
#include "power_display.h"
#include "ranges.h"
#include "widget_utils.h"

namespace {

constexpr const char* kScaleUpPicture = "./resources/scaleUp.png";
constexpr const char* kScaleDownPicture = "./resources/scaleDown.png";
constexpr const char* kScaleAutoOnPicture = "./resources/scaleAutoOn.png";
constexpr const char* kScaleAutoOffPicture = "./resources/scaleAutoOff.png";
// The automatic button remembers which picture it shows under this key.
constexpr const char* kAutoShownKey = "r9050-auto-shown";
gpointer autoShownMark(bool on) { return GINT_TO_POINTER(on ? 2 : 1); }

GtkWidget* newPictureButton(const char* picture, const char* name) {
  GtkWidget* button = gtk_button_new();
  gtk_widget_set_name(button, name);
  gtk_button_set_image(GTK_BUTTON(button), gtk_image_new_from_file(picture));
  gtk_button_set_always_show_image(GTK_BUTTON(button), TRUE);
  gtk_button_set_relief(GTK_BUTTON(button), GTK_RELIEF_NONE);
  gtk_widget_set_can_focus(button, FALSE);
  setWidgetFgAndBgColors(button, &textColorClickable, &bgColorBlack);
  return button;
}

// How the three kinds of range rows store their choice.
enum class ScaleRow { power, pulseState, gatedPower };

void storeScale(ScaleRow row, const CallbackData_AutoScale& data) {
  const int channel = data.mpOwner->displayIndex;
  const int direction = static_cast<int>(data.direction);
  // The setters write the settings file under the settings lock themselves.
  switch (row) {
    case ScaleRow::power:
      configuration_setRfPowerScale(*data.scale, channel, direction);
      break;
    case ScaleRow::pulseState:
      configuration_setStatePowerScale(*data.scale, channel, direction);
      break;
    case ScaleRow::gatedPower:
      configuration_setGatedPowerScale(*data.scale, channel);
      break;
  }
}

enum class Step { up, down, toggle };

void applyStep(gpointer userData, ScaleRow row, Step step) {
  auto* data = static_cast<CallbackData_AutoScale*>(userData);
  if (data == nullptr || data->scale == nullptr || data->mpOwner == nullptr) {
    DIAGNOSTIC("Range button without its row\n");
    return;
  }
  switch (step) {
    case Step::up:
      *data->scale = ScaleControls_stepUp(*data->scale);
      break;
    case Step::down:
      *data->scale = ScaleControls_stepDown(*data->scale);
      break;
    case Step::toggle:
      *data->scale = ScaleControls_toggleAuto(*data->scale);
      break;
  }
  if (data->button != nullptr) CGTKScaleControls_setAuto(data->button, data->scale->autoScale);
  storeScale(row, *data);
}

}  // namespace

rfPowerScale ScaleControls_stepUp(rfPowerScale scale) {
  scale.autoScale = false;
  if (scale.scaleIndex < kTopRange) {
    ++scale.scaleIndex;
  } else {
    scale.scaleIndex = kTopRange;
  }
  return scale;
}

rfPowerScale ScaleControls_stepDown(rfPowerScale scale) {
  scale.autoScale = false;
  if (scale.scaleIndex > kTopRange) {
    scale.scaleIndex = kTopRange;
  } else if (scale.scaleIndex > 0) {
    --scale.scaleIndex;
  }
  return scale;
}

rfPowerScale ScaleControls_toggleAuto(rfPowerScale scale) {
  scale.autoScale = !scale.autoScale;
  if (scale.scaleIndex > kTopRange) scale.scaleIndex = kTopRange;
  return scale;
}

void CGTKScaleControls_Create(CGTKScaleControls* instance, int direction, CallbackData_AutoScale* callbackData,
                              const gtkWidgetParameters* layout, GtkWidget* container) {
  instance->container = container;
  instance->sensorDirection = direction;
  instance->gtkScaleUp = newPictureButton(kScaleUpPicture, "scaleUp");
  instance->gtkScaleDown = newPictureButton(kScaleDownPicture, "scaleDown");
  const bool autoOn = callbackData != nullptr && callbackData->scale != nullptr && callbackData->scale->autoScale;
  instance->gtkScaleAutoOn = newPictureButton(autoOn ? kScaleAutoOnPicture : kScaleAutoOffPicture, "scaleAuto");
  g_object_set_data(G_OBJECT(instance->gtkScaleAutoOn), kAutoShownKey, autoShownMark(autoOn));
  if (callbackData != nullptr) {
    callbackData->button = instance->gtkScaleAutoOn;
    g_signal_connect(instance->gtkScaleUp, "clicked", G_CALLBACK(CGTKScaleControls_CallbackUp), callbackData);
    g_signal_connect(instance->gtkScaleDown, "clicked", G_CALLBACK(CGTKScaleControls_CallbackDown), callbackData);
    g_signal_connect(instance->gtkScaleAutoOn, "clicked", G_CALLBACK(CGTKScaleControls_CallbackAuto), callbackData);
  }
  GtkWidget* buttons[] = {instance->gtkScaleUp, instance->gtkScaleDown, instance->gtkScaleAutoOn};
  for (int i = 0; i < 3; ++i) {
    gtk_fixed_put(GTK_FIXED(container), buttons[i], static_cast<int>(layout[i].x), static_cast<int>(layout[i].y));
  }
}

void CGTKScaleControls_updateScale(CGTKScaleControls* instance, int displayIndex, int direction) {
  const rfPowerScale scale = configuration_getRfPowerScale(displayIndex, direction);
  CGTKScaleControls_setAuto(instance->gtkScaleAutoOn, scale.autoScale);
}

void CGTKScaleControls_setAuto(GtkWidget* button, bool on) {
  if (button == nullptr) return;
  // The display pass refreshes the buttons on every pass: load the picture
  // only when the state shown changes (the button remembers it).
  const gpointer wanted = autoShownMark(on);
  if (g_object_get_data(G_OBJECT(button), kAutoShownKey) == wanted) return;
  g_object_set_data(G_OBJECT(button), kAutoShownKey, wanted);
  gtk_button_set_image(GTK_BUTTON(button), gtk_image_new_from_file(on ? kScaleAutoOnPicture : kScaleAutoOffPicture));
}

void CGTKScaleControls_setVisible(CGTKScaleControls* instance, bool visible) {
  for (GtkWidget* button : {instance->gtkScaleUp, instance->gtkScaleDown, instance->gtkScaleAutoOn}) {
    if (button == nullptr) continue;
    if (visible) {
      gtk_widget_show_all(button);
    } else {
      gtk_widget_hide(button);
    }
  }
}

GtkWidget* CGTKScaleControls_getContainer(CGTKScaleControls* instance) { return instance->container; }

void CGTKScaleControls_CallbackUp(GtkWidget*, gpointer data) { applyStep(data, ScaleRow::power, Step::up); }
void CGTKScaleControls_CallbackDown(GtkWidget*, gpointer data) { applyStep(data, ScaleRow::power, Step::down); }
void CGTKScaleControls_CallbackAuto(GtkWidget*, gpointer data) { applyStep(data, ScaleRow::power, Step::toggle); }
void CGTKScaleControls_CallbackStateUp(GtkWidget*, gpointer data) { applyStep(data, ScaleRow::pulseState, Step::up); }
void CGTKScaleControls_CallbackStateDown(GtkWidget*, gpointer data) {
  applyStep(data, ScaleRow::pulseState, Step::down);
}
void CGTKScaleControls_CallbackStateAuto(GtkWidget*, gpointer data) {
  applyStep(data, ScaleRow::pulseState, Step::toggle);
}
void CGTKScaleControls_CallbackGatedPowerUp(GtkWidget*, gpointer data) {
  applyStep(data, ScaleRow::gatedPower, Step::up);
}
void CGTKScaleControls_CallbackGatedPowerDown(GtkWidget*, gpointer data) {
  applyStep(data, ScaleRow::gatedPower, Step::down);
}
void CGTKScaleControls_CallbackGatedPowerAuto(GtkWidget*, gpointer data) {
  applyStep(data, ScaleRow::gatedPower, Step::toggle);
}
