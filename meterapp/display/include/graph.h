// The time-power graph: each channel's power history (CGraphData, fed once a
// second by the graph sampler) and the graph drawn from it in the CW views
// (CGTKTimePowerGraph, one per power display that shows a graph).
#pragma once

#include <gtk/gtk.h>

#include <cstdint>

struct CGTKPowerDisplay;

struct CGraphData {};
struct CGTKTimePowerGraph {};

void CGraphData_create(CGraphData* instance, std::uint32_t filterWidth);
void CGraphData_reset(CGraphData* instance);
void CGraphData_addItem(CGraphData* instance, float power);
void CGraphData_setFilterWidth(CGraphData* instance, std::uint32_t width);

// Builds the graph's widgets inside `parent` at (x, y); `owner` is the power
// display that holds it.
void CGTKTimePowerGraph_create(CGTKTimePowerGraph* instance, GtkWidget* parent, int x, int y, int width, int height,
                               CGraphData* data, CGTKPowerDisplay* owner);
// Redraw step, on each CW update of a display that shows its graph.
void CGTKTimePowerGraph_update(CGTKTimePowerGraph* instance);
void CGTKTimePowerGraph_reset(CGTKTimePowerGraph* instance);
void CGTKTimePowerGraph_resetDrawing(CGTKTimePowerGraph* instance);
void CGTKTimePowerGraph_invalidateGraph(CGTKTimePowerGraph* instance);
void CGTKTimePowerGraph_setName(CGTKTimePowerGraph* instance, const char* name);
void CGTKTimePowerGraph_setGraphDataInstance(CGTKTimePowerGraph* instance, CGraphData* data);

// The graph settings dialog, built once at start-up.
void graphSettingsDialog_Create();
