#include "legacy_standin.h"

#include "log_manager.h"

// Stand-in for the legacy serial command interface: nobody waits for readings
// yet, so a new one is only noted in the log.
void SerialCommand_SignalReadingAvailable() {
  logManager_printToLog(SensorCommunications, "SerialCommand_SignalReadingAvailable: new reading\n");
}
