/* vlog: the framework's category logger (over log4cplus). C linkage, so C
 * programs of the device can use it too. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque handle of one log category. */
typedef struct vlog_category vlog_category_t;

/* Verbosity 0 (emergencies only) to 7 (debug), syslog numbering; messages
 * of a level above it are dropped. Starts at 5. */
extern int vlog_threshold;
/* The category opened by vlog_init; null before. */
extern vlog_category_t* vlog_default_category;

/* Null or empty arguments take "default", "/var/log/vlog_default.log" and
 * "/etc/default/vlog.conf". Sets <category>_LOGFILE and
 * <category>_LOGFILE_CONFIG in the environment (the configuration refers to
 * them as ${<category>_LOGFILE}), reads the configuration and opens the
 * category. 0 on success; -1 after perror() on failure. */
int vlog_init(const char* category, const char* logFile, const char* configFile);
/* Closes the log files; registered with atexit by vlog_init. */
void vlog_finalize(void);
/* One step more or less verbose, kept within 0..7; returns the new level. */
int more_verbosity(void);
int less_verbosity(void);
/* Writes one message to the category when level <= vlog_threshold. */
void vlog_write(vlog_category_t* category, int level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

#ifdef __cplusplus
}
#endif
