// Crash log and signal handling.
//
// Fatal signals (SIGSEGV, SIGABRT) leave a back trace between two separator
// lines in "/tmp/crashlog.txt" before the process ends with status -1;
// SIGUSR1 leaves one and the program carries on; SIGINT and SIGTERM are
// ignored (the meter stops only through its power-off path).
#pragma once

// Opens the crash log for appending and installs the signal handler.
void CrashLog_install();

// Raises the soft stack limit to 32 MiB when it is lower.
void CrashLog_raiseStackLimit();
