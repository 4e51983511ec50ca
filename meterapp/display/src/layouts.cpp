#include "layouts.h"

#include "widget_utils.h"

namespace {

constexpr gtkWidgetParameters at(std::uint32_t x, std::uint32_t y) { return {x, y, nullptr, nullptr}; }
constexpr gtkWidgetParameters el(std::uint32_t x, std::uint32_t y, const GdkRGBA* colour,
                                 PangoFontDescription* const* font) {
  return {x, y, colour, font};
}

const GdkRGBA* const grey = &textColorLightGrey;
const GdkRGBA* const white = &textColorWhite;
const GdkRGBA* const amber = &textColorClickable;

}  // namespace

// clang-format off
const std::array<gtkPowerDisplayLayout, layoutTypeCount> sensorChannelLayout = {{
    // layoutSingleChannel
    {el(40, 0, amber, &fontSize40), at(980, 16),
     {el(40, 20, grey, &fontSize50), el(235, 0, white, &fontSize90), el(735, 5, amber, &fontSize70)},
     {at(885, 0), at(885, 55), at(940, 27)},
     {el(40, 20, grey, &fontSize50), el(235, 0, white, &fontSize90), el(735, 5, amber, &fontSize70)},
     {at(885, 0), at(885, 55), at(940, 27)},
     {el(40, 20, grey, &fontSize50), el(235, 0, white, &fontSize90), el(735, 5, grey, &fontSize70)},
     {0, 0, 0, 0}},
    // layoutSingleChannelWithGraph
    {el(40, 0, grey, &fontSize30), at(980, 16),
     {el(40, 0, grey, &fontSize50), el(250, 0, white, &fontSize70), el(650, 0, amber, &fontSize60)},
     {at(885, 0), at(885, 55), at(940, 27)},
     {el(40, 0, grey, &fontSize50), el(250, 0, white, &fontSize70), el(650, 0, amber, &fontSize60)},
     {at(885, 0), at(885, 55), at(940, 27)},
     {el(40, 0, grey, &fontSize40), el(358, 0, white, &fontSize50), el(650, 0, grey, &fontSize40)},
     {0, 335, 1020, 350}},
    // layoutDualChannel
    {el(40, 0, amber, &fontSize30), at(980, 16),
     {el(40, 0, grey, &fontSize50), el(250, 0, white, &fontSize70), el(650, 0, amber, &fontSize60)},
     {at(885, 0), at(885, 55), at(940, 27)},
     {el(40, 0, grey, &fontSize50), el(250, 0, white, &fontSize70), el(650, 0, amber, &fontSize60)},
     {at(885, 0), at(885, 55), at(940, 27)},
     {el(40, 0, grey, &fontSize40), el(358, 0, white, &fontSize50), el(650, 0, grey, &fontSize40)},
     {0, 0, 0, 0}},
    // layoutDualChannelWithGraph
    {el(20, 0, grey, &fontSize30), at(980, 16),
     {el(20, 17, grey, &fontSize30), el(115, 13, white, &fontSize40), el(365, 15, amber, &fontSize30)},
     {at(445, 0), at(445, 55), at(500, 27)},
     {el(20, 17, grey, &fontSize30), el(115, 13, white, &fontSize40), el(365, 15, amber, &fontSize30)},
     {at(445, 0), at(445, 55), at(500, 27)},
     {el(20, 17, grey, &fontSize30), el(115, 13, white, &fontSize40), el(365, 15, grey, &fontSize30)},
     {560, 1, 460, 325}},
}};

const std::array<std::array<std::uint32_t, 6>, layoutTypeCount> verticalPositions = {{
    {0, 70, 225, 380, 0, 0},
    {0, 50, 155, 260, 0, 0},
    {0, 50, 155, 260, 0, 0},
    {0, 50, 155, 260, 0, 0},
}};

const std::array<gtkPwrDispModeLayout, 4> pwrDispModeLayout = {{
    {&fontSize30, &fontSize35, &fontSize40, "./resources/settingsUp.png", "./resources/settingsDown.png"},
    {&fontSize20, &fontSize20, &fontSize23, "./resources/settingsUp.png", "./resources/settingsDown.png"},
    {&fontSize35, &fontSize50, &fontSize60, "./resources/scaleUp.png", "./resources/scaleDown.png"},
    {&fontSize20, &fontSize20, &fontSize23, "./resources/settingsUp.png", "./resources/settingsDown.png"},
}};
// clang-format on
