// The older meter's character protocol on the RS-232 port, spoken instead of
// SCPI when the legacy setting is on.
#pragma once

// Starts the interface when the legacy setting is on; nothing otherwise.
void SerialCommand_Start();
// Opens the port in raw mode and resets the interpreter. 0 or positive on
// success.
int SerialCommand_Initialize(const char* path);
// A port handler has a new reading of `port`.
void SerialCommand_SignalReadingAvailable(int port);
int serial_command_handler_get_triggerMode();
