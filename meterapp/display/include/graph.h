// The time-power graph: each channel's power history (CGraphData, fed once a
// second by the graph sampler) and the graph drawn from it in the CW views.
#pragma once

#include <cstdint>

struct CGraphData {};
struct CGTKTimePowerGraph {};

void CGraphData_create(CGraphData* instance, std::uint32_t filterWidth);
void CGraphData_reset(CGraphData* instance);
void CGraphData_addItem(CGraphData* instance, float power);
void CGraphData_setFilterWidth(CGraphData* instance, std::uint32_t width);

void CGTKTimePowerGraph_reset(CGTKTimePowerGraph* instance);
void CGTKTimePowerGraph_invalidateGraph(CGTKTimePowerGraph* instance);

// The graph settings dialog, built once at start-up.
void graphSettingsDialog_Create();
