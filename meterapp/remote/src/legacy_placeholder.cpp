// Placeholder of the legacy RS-232 protocol, until it is built: it never
// starts, so the RS-232 port stays with SCPI.
#include "legacy_serial.h"
#include "log_manager.h"

void SerialCommand_Start() { logManager_printToLog(NoCategory, "placeholder: %s\n", __func__); }
int SerialCommand_Initialize(const char*) { return -1; }
void SerialCommand_SignalReadingAvailable(int) {}
int serial_command_handler_get_triggerMode() { return 0; }
