// Messages to the system log.
//
// Diagnostics use priority 7 and begin with the "DIAGNOSTIC:file:line:function(): "
// prefix (see DIAGNOSTIC below); messages meant for the user use 4 or 3 and
// begin "USER_WARNING:  " or "USER_ERROR: ". Under a device root every message
// is also appended to var/log/messages (Platform_syslog).
#pragma once

#include <cstdarg>
#include <string>

// The text a printf format and its arguments make (empty when the format is
// broken). Shared by the system log and the category log.
std::string SystemLog_formatV(const char* format, va_list args);

void diagnostic_message(int priority, const char* format, ...) __attribute__((format(printf, 2, 3)));
void user_message(int priority, const char* format, ...) __attribute__((format(printf, 2, 3)));

#define DIAGNOSTIC(format, ...)                                                            \
  diagnostic_message(7, "DIAGNOSTIC:%s:%d:%s(): " format, __FILE_NAME__, __LINE__, __func__ \
                     __VA_OPT__(, ) __VA_ARGS__)
#define USER_WARNING(format, ...) user_message(4, "USER_WARNING:  " format __VA_OPT__(, ) __VA_ARGS__)
#define USER_ERROR(format, ...) user_message(3, "USER_ERROR: " format __VA_OPT__(, ) __VA_ARGS__)
