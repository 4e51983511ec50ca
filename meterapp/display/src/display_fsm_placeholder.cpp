// Placeholder of the display state machine, until it is built: connects and
// disconnects are noted in the category log, nothing is shown.
#include "display_fsm.h"
#include "log_manager.h"

std::array<SensorDisplayInstance, 2> sensorDisplays;

namespace {

#define PLACEHOLDER() logManager_printToLog(NoCategory, "placeholder: %s\n", __func__)

}  // namespace

void CSensorDisplayFSM_reset() { PLACEHOLDER(); }
void CSensorDisplayFSM_setCW() { PLACEHOLDER(); }
void CSensorDisplayFSM_setPulse() { PLACEHOLDER(); }
void CSensorDisplayFSM_showGraph() { PLACEHOLDER(); }
void CSensorDisplayFSM_hideGraph() { PLACEHOLDER(); }
void CSensorDisplayFSM_connect(int port) { logManager_printToLog(NoCategory, "placeholder: %s(%d)\n", __func__, port); }
void CSensorDisplayFSM_disconnect(int port) {
  logManager_printToLog(NoCategory, "placeholder: %s(%d)\n", __func__, port);
}
void CSensorDisplayFSM_sensorError(int) {}
void CSensorDisplayFSM_updateMeasurements(int) {}
