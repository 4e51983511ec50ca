// vlog over log4cplus: the category comes from a property configuration
// file that names its log file through the environment variable
// <category>_LOGFILE.
#include "Vantor_cfgmgr/vlog.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <log4cplus/configurator.h>
#include <log4cplus/hierarchy.h>
#include <log4cplus/initializer.h>
#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>
#include <memory>
#include <unistd.h>

struct vlog_category {
    log4cplus::Logger logger;
};

int vlog_threshold = 5;
vlog_category_t* vlog_default_category = nullptr;

namespace {

constexpr int kMaxVerbosity = 7;
constexpr size_t kNameSize = 256;

// The storage behind vlog_default_category.
std::unique_ptr<vlog_category>& defaultCategoryStorage()
{
    static std::unique_ptr<vlog_category> storage;
    return storage;
}

// Formats "<category><suffix>" into a 256-byte name; false when it is cut.
bool formatName(char (&out)[kNameSize], const char* category, const char* suffix)
{
    int n = std::snprintf(out, sizeof out, "%s%s", category, suffix);
    return n >= 0 && static_cast<size_t>(n) < sizeof out;
}

const char* orDefault(const char* given, const char* fallback)
{
    return (given != nullptr && *given != '\0') ? given : fallback;
}

log4cplus::LogLevel toLog4cplus(int level)
{
    if (level <= 2) return log4cplus::FATAL_LOG_LEVEL;
    if (level == 3) return log4cplus::ERROR_LOG_LEVEL;
    if (level == 4) return log4cplus::WARN_LOG_LEVEL;
    if (level <= 6) return log4cplus::INFO_LOG_LEVEL;
    return log4cplus::DEBUG_LOG_LEVEL;
}

int failInit(int err)
{
    errno = err;
    std::perror("Logger initialization");
    return -1;
}

} // namespace

extern "C" int vlog_init(const char* category, const char* logFile, const char* configFile)
{
    category = orDefault(category, "default");
    logFile = orDefault(logFile, "/var/log/vlog_default.log");
    configFile = orDefault(configFile, "/etc/default/vlog.conf");

    char fileVar[kNameSize];
    char configVar[kNameSize];
    if (!formatName(fileVar, category, "_LOGFILE") || !formatName(configVar, category, "_LOGFILE_CONFIG")) {
        return failInit(ENAMETOOLONG);
    }
    if (::setenv(fileVar, logFile, 1) != 0 || ::setenv(configVar, configFile, 1) != 0) {
        return failInit(errno);
    }
    // log4cplus ignores a configuration file it cannot read; a logger
    // without its configuration must not look initialised.
    if (::access(configFile, R_OK) != 0) {
        return failInit(errno);
    }
    static bool initialised = false;
    if (!initialised) {
        log4cplus::initialize();
        std::atexit(vlog_finalize);
        initialised = true;
    }
    try {
        log4cplus::Hierarchy& hierarchy = log4cplus::Logger::getDefaultHierarchy();
        hierarchy.resetConfiguration();
        log4cplus::PropertyConfigurator::doConfigure(configFile, hierarchy);
        if (!log4cplus::Logger::exists(category)) {
            errno = EINVAL;
            std::perror("Unrecognized vlog category");
            return -1;
        }
        auto& storage = defaultCategoryStorage();
        storage = std::make_unique<vlog_category>(vlog_category{log4cplus::Logger::getInstance(category)});
        vlog_default_category = storage.get();
    } catch (const std::exception&) {
        return failInit(EINVAL);
    }
    return 0;
}

extern "C" void vlog_finalize(void)
{
    vlog_default_category = nullptr;
    defaultCategoryStorage().reset();
    log4cplus::Logger::getDefaultHierarchy().shutdown();
}

extern "C" int more_verbosity(void)
{
    if (vlog_threshold < kMaxVerbosity) {
        ++vlog_threshold;
    }
    return vlog_threshold;
}

extern "C" int less_verbosity(void)
{
    if (vlog_threshold > 0) {
        --vlog_threshold;
    }
    return vlog_threshold;
}

extern "C" void vlog_write(vlog_category_t* category, int level, const char* format, ...)
{
    if (category == nullptr || format == nullptr || level > vlog_threshold) {
        return;
    }
    char message[4096];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(message, sizeof message, format, ap);
    va_end(ap);
    category->logger.log(toLog4cplus(level), message);
}
