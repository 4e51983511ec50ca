// The three touch buttons beside a power value: range up, range down and
// automatic ranging on/off. The stepping rules are pure functions; the
// handlers apply them and store the result once through the settings module.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>

#include "configuration.h"
#include "layouts.h"

struct CGTKPowerDisplay;

// User data of a row's range buttons.
struct CallbackData_AutoScale {
  CGTKPowerDisplay* mpOwner = nullptr;
  std::uint32_t direction = 0;  // 0 forward, 1 reflected; pulse state rows: the state number
  GtkWidget* button = nullptr;  // the automatic button
  rfPowerScale* scale = nullptr;
};

struct CGTKScaleControls {
  GtkWidget* container = nullptr;
  GtkWidget* gtkScaleUp = nullptr;
  GtkWidget* gtkScaleDown = nullptr;
  GtkWidget* gtkScaleAutoOn = nullptr;
  int sensorDirection = 0;
};

// Pure steps. Up and down switch automatic ranging off and stay inside rows
// 0 to 10 (an index already past the top is brought back to it).
rfPowerScale ScaleControls_stepUp(rfPowerScale scale);
rfPowerScale ScaleControls_stepDown(rfPowerScale scale);
rfPowerScale ScaleControls_toggleAuto(rfPowerScale scale);

// `layout` points at the up, down and automatic positions inside container.
void CGTKScaleControls_Create(CGTKScaleControls* instance, int direction, CallbackData_AutoScale* callbackData,
                              const gtkWidgetParameters* layout, GtkWidget* container);
void CGTKScaleControls_updateScale(CGTKScaleControls* instance, int displayIndex, int direction);
void CGTKScaleControls_setAuto(GtkWidget* button, bool on);
void CGTKScaleControls_setVisible(CGTKScaleControls* instance, bool visible);
GtkWidget* CGTKScaleControls_getContainer(CGTKScaleControls* instance);

// Click handlers, each with the row's CallbackData_AutoScale.
void CGTKScaleControls_CallbackUp(GtkWidget* widget, gpointer data);
void CGTKScaleControls_CallbackDown(GtkWidget* widget, gpointer data);
void CGTKScaleControls_CallbackAuto(GtkWidget* widget, gpointer data);
void CGTKScaleControls_CallbackStateUp(GtkWidget* widget, gpointer data);
void CGTKScaleControls_CallbackStateDown(GtkWidget* widget, gpointer data);
void CGTKScaleControls_CallbackStateAuto(GtkWidget* widget, gpointer data);
void CGTKScaleControls_CallbackGatedPowerUp(GtkWidget* widget, gpointer data);
void CGTKScaleControls_CallbackGatedPowerDown(GtkWidget* widget, gpointer data);
void CGTKScaleControls_CallbackGatedPowerAuto(GtkWidget* widget, gpointer data);
