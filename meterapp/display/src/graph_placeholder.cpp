// Placeholder of the graph store, the time-power graph and its settings
// dialog, until they are built: calls are noted in the category log.
#include "graph.h"
#include "log_manager.h"

namespace {

#define PLACEHOLDER() logManager_printToLog(NoCategory, "placeholder: %s\n", __func__)

}  // namespace

void CGraphData_create(CGraphData*, std::uint32_t) { PLACEHOLDER(); }
void CGraphData_reset(CGraphData*) { PLACEHOLDER(); }
void CGraphData_addItem(CGraphData*, float) { PLACEHOLDER(); }
void CGraphData_setFilterWidth(CGraphData*, std::uint32_t) { PLACEHOLDER(); }
void CGTKTimePowerGraph_reset(CGTKTimePowerGraph*) { PLACEHOLDER(); }
void CGTKTimePowerGraph_invalidateGraph(CGTKTimePowerGraph*) { PLACEHOLDER(); }
void graphSettingsDialog_Create() { PLACEHOLDER(); }
void CGTKTimePowerGraph_create(CGTKTimePowerGraph*, GtkWidget*, int, int, int, int, CGraphData*, CGTKPowerDisplay*) {
  PLACEHOLDER();
}
void CGTKTimePowerGraph_update(CGTKTimePowerGraph*) {}
void CGTKTimePowerGraph_resetDrawing(CGTKTimePowerGraph*) { PLACEHOLDER(); }
void CGTKTimePowerGraph_setName(CGTKTimePowerGraph*, const char*) {}
void CGTKTimePowerGraph_setGraphDataInstance(CGTKTimePowerGraph*, CGraphData*) {}
