// Placeholder of the SCPI servers, until they are built: no server runs and
// readings are dropped.
#include "log_manager.h"
#include "scpi_remote.h"

namespace {

#define PLACEHOLDER() logManager_printToLog(NoCategory, "placeholder: %s\n", __func__)

}  // namespace

void initScpiParser() { PLACEHOLDER(); }
void startScpiParser() { PLACEHOLDER(); }
void destroyScpiParser() { PLACEHOLDER(); }
void scpiUpdateMeasurement(int, SENSOR_MEASUREMENTS) {}
