// Category debug log, system-log messages.
//
// The category log is off by default and costs one table lookup per call while
// a category is disabled. It is switched at run time by the presence of
// "/tmp/debug" (output to standard output instead of "/dev/null") and the
// category names listed in "/tmp/logConfig" (see debugPrintfThread).
#pragma once

#include <stop_token>

#include "system_log.h"

enum lmCategories {
  NoCategory = 0,
  ThreadMonitor = 2,
  SensorCommunications = 3,
  SensorDetection = 4,
  PowerManagement = 5,
  I2CTransactions = 6,
  TestSerialPort = 7,
  BatteryMonitor = 8,
  ScpiParser = 9,
  SensorMmngr = 10,
  CategoryCount = 11,
  AllCategories = 12,
};

// Sets every category to its default (off) and sends output to "/dev/null".
// Exits with status 1 when "/dev/null" cannot be opened.
void LogManager_create();
void LogManager_enable(int category, bool on);
bool LogManager_isEnabled(int category);

void logManager_printToLog(int category, const char* format, ...) __attribute__((format(printf, 2, 3)));
void logManager_fprintf_wrapper(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logManager_fprintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Index of the category with exactly this name, or -1.
int LookupCategory(const char* name);

// Skips leading and cuts trailing white space in place; returns the start.
char* LogManager_trimwhitespace(char* text);

// Resets every category to its default, then enables each category whose name
// stands alone on a line of the file. Returns false when it cannot be read.
bool loadLogConfigFile(const char* path);

// One pass of the run-time log switch: "/tmp/debug" chooses the output
// stream, "/tmp/logConfig" the enabled categories.
void LogManager_switchPass();

// The log switch thread: one pass per second until stop is requested.
void debugPrintfThread(std::stop_token stop);
