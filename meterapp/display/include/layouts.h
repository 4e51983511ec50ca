// The layout tables of the screens: where every element of a power display
// sits in each of the four channel layouts, and the pulse display's fonts and
// range pictures per mode. Positions are absolute pixels on 1024 x 768.
#pragma once

#include <gtk/gtk.h>

#include <array>
#include <cstdint>

enum ChannelLayoutIndex {
  layoutSingleChannel = 0,
  layoutSingleChannelWithGraph = 1,
  layoutDualChannel = 2,
  layoutDualChannelWithGraph = 3,
  layoutTypeCount = 4,
};

// One placed element. The colour and the font are the addresses of the
// globals (filled at start-up); either may be null.
struct gtkWidgetParameters {
  std::uint32_t x;
  std::uint32_t y;
  const GdkRGBA* fgColor;
  PangoFontDescription* const* fontSize;
};

struct gtkGraphParameters {
  std::uint32_t x;
  std::uint32_t y;
  std::uint32_t width;
  std::uint32_t height;
};

struct gtkPowerDisplayLayout {
  gtkWidgetParameters title;
  gtkWidgetParameters configBtn;
  std::array<gtkWidgetParameters, 3> FwdMeasurement;  // row title, value, units button
  std::array<gtkWidgetParameters, 3> FwdScale;        // up, down, automatic button
  std::array<gtkWidgetParameters, 3> RflMeasurement;
  std::array<gtkWidgetParameters, 3> RflScale;
  std::array<gtkWidgetParameters, 3> MatchMeasurement;
  gtkGraphParameters graph;  // height 0: no graph
};
extern const std::array<gtkPowerDisplayLayout, layoutTypeCount> sensorChannelLayout;

// y of the title, forward, reflected and match rows per layout.
extern const std::array<std::array<std::uint32_t, 6>, layoutTypeCount> verticalPositions;

enum pwrDisplayMode { modeSingleSimple = 0, modeDualSimple = 1, modeSingleMulti = 2, modeDualMulti = 3 };
struct gtkPwrDispModeLayout {
  PangoFontDescription* const* small;
  PangoFontDescription* const* medium;
  PangoFontDescription* const* large;
  char imageFileUp[32];
  char imageFileDown[32];
};
extern const std::array<gtkPwrDispModeLayout, 4> pwrDispModeLayout;

// The font behind a table entry (null when absent or not loaded yet).
inline PangoFontDescription* Layout_font(const gtkWidgetParameters& p) {
  return p.fontSize != nullptr ? *p.fontSize : nullptr;
}
