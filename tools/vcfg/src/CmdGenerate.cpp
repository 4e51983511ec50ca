// generate feeds each subsystem's properties to its configuration
// generator; restart restarts its service; apply does both. Programs are
// run from an argument vector, never through a shell.
#include "Vcfg.h"

#include "Vantor_cfgmgr/Lib.h"
#include "Vantor_util/Vantor_util.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

extern char** environ;

namespace Vantor_cfgmgr {

namespace {

// Runs argv (argv[0] is the program path) with our environment, its
// standard output going to the program's output stream; the raw wait
// status.
int runProgram(const std::vector<std::string>& args)
{
    // A program that is not there gets the tools' status for a missing
    // outside program (254) instead of the child's exec failure (127).
    if (::access(args[0].c_str(), X_OK) != 0) {
        toolError("*** Cannot run \"%s\": %s\n", args[0].c_str(), std::strerror(errno));
        return 254 << 8;
    }
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    std::fflush(OutputStream());
    return Vantor_util::call_executable(argv.data(), environ, true, nullptr, OutputStream(), nullptr);
}

PropertyFormat_t formatOf(const ManagedSubsystem& sub, PropertyFormat_t fallback)
{
    if (sub.PropertyFormat() == "URL") {
        return formatURL;
    }
    if (sub.PropertyFormat() == "lineJSON") {
        return formatLineJSON;
    }
    if (sub.PropertyFormat() == "objectJSON") {
        return formatObjectJSON;
    }
    return fallback;
}

// The id list a subsystem's generator receives.
PropertyIdList generatorIds(const ManagedSubsystem& sub)
{
    if (!sub.PropertyIdIn().empty()) {
        PropertyIdList ids = loadPropertyIdFile(sub.PropertyIdIn());
        toolOptions.subsystemName.clear();
        return ids;
    }
    PropertyIdList ids;
    if (sub.Name() != "system") {
        for (const std::string& name : {std::string("system"), sub.Name()}) {
            // JSON string lines in the JSON formats, path text in URL format.
            std::vector<char> quoted(2 * name.size() + 3);
            Vantor_util::toSafeJSON(quoted.data(), quoted.size(), name.c_str());
            ids.lines.push_back(toolOptions.propertyFormat == formatURL ? name : std::string(quoted.data()));
        }
        ids.loaded = true;
        toolOptions.subsystemName.clear();
    }
    return ids;
}

// The temporary file of the subsystem being generated. Writing the
// properties can end the program (a missing property, exit 3); the file is
// then removed at exit so that no property file is left in /tmp.
char pendingTemp[32];

void removePendingTemp()
{
    if (pendingTemp[0] != '\0') {
        ::unlink(pendingTemp);
        pendingTemp[0] = '\0';
    }
}

// Writes the subsystem's properties into a temporary file, runs the
// generator on it and removes the file. Returns 0, the exit code of a
// failing generator, or the failing status of writing the properties
// (negated, so that the caller can stop the walk).
int generateOne(VcfgContext& ctx, const ManagedSubsystem& sub)
{
    char tempPath[] = "/tmp/cfgGenXXXXXX";
    int fd = ::mkstemp(tempPath);
    if (fd < 0) {
        toolPerrorExit("propertyOutput temporary file open", 3);
    }
    FILE* temp = ::fdopen(fd, "w");
    if (temp == nullptr) {
        ::close(fd);
        ::unlink(tempPath);
        toolPerrorExit("propertyOutputFile open", 2);
    }
    std::strcpy(pendingTemp, tempPath);
    static const bool registered = std::atexit(removePendingTemp) == 0;
    (void)registered;
    const ToolOptions saved = toolOptions;
    const std::string savedDomain = ctx.domainName;
    ctx.domainName = kDefaultDomain;
    FILE* savedOutput = outputFile;
    toolOptions.subsystemName = sub.Name();
    toolOptions.formatNoName = sub.PropertyNoName();
    toolOptions.propertyFormat = formatOf(sub, saved.propertyFormat);
    toolOptions.propertyIdFilename = sub.PropertyIdIn();
    PropertyIdList savedIds = std::move(ctx.propertyIds);
    ctx.propertyIds = generatorIds(sub);
    outputFile = temp;
    int result = vcfgGet(ctx);
    outputFile = savedOutput;
    ctx.propertyIds = std::move(savedIds);
    toolOptions = saved;
    ctx.domainName = savedDomain;
    if (std::fclose(temp) != 0) {
        result = 2;
    }
    if (result != 0) {
        removePendingTemp();
        return -result;
    }
    std::vector<std::string> args{sub.CfgGenExec()};
    args.insert(args.end(), sub.CfgGenOpts().begin(), sub.CfgGenOpts().end());
    args.emplace_back(tempPath);
    toolVerbose("Generating \"%s\" configuration...\n", sub.Name().c_str());
    int status = runProgram(args);
    removePendingTemp();
    if (status != 0) {
        toolError("*** Error 0x%08x generating \"%s\" configuration!\n", static_cast<unsigned>(status),
                  sub.Name().c_str());
        return exitCodeOfWaitStatus(status);
    }
    return 0;
}

// The two runs that restart a service: stop (or a plain run), then start.
std::vector<std::vector<std::string>> restartRuns(const ManagedSubsystem& sub, const ValueObject* services)
{
    const std::string& service = sub.Service();
    if (service.front() == '/') {
        return {{service}, {service, "start"}};
    }
    const ValueGeneric* entry = services != nullptr ? services->GetProperty(service.c_str()) : nullptr;
    const ValueObject* entryObject = entry != nullptr ? entry->AsObject() : nullptr;
    if (entryObject != nullptr && entryObject->GetProperty("start") == nullptr) {
        return {{"/bin/systemctl", "stop", service}, {"/bin/systemctl", "start", service}};
    }
    const std::string script = "/etc/init.d/" + service;
    return {{script, "stop"}, {script, "start"}};
}

} // namespace

int vcfgGenerate(VcfgContext& ctx)
{
    int result = 0;
    int fatal = 0;
    bool found = forEachSelectedSubsystem(ctx.config.Subsystems(), [&](size_t, const ManagedSubsystem& sub) {
        int r = generateOne(ctx, sub);
        if (r < 0) {
            fatal = -r;
            return false;
        }
        // A failed generator does not stop the others, but its failure is
        // kept so that apply does not restart on top of it.
        if (r != 0) {
            result = r;
        }
        return true;
    });
    if (!found) {
        return 3;
    }
    return fatal != 0 ? fatal : result;
}

// Stops and starts the service of sub; the exit status of the first run
// that failed, else 0.
int restartOne(const ManagedSubsystem& sub, const ValueObject* services)
{
    const auto runs = restartRuns(sub, services);
    toolVerbose("Restarting \"%s\" service...\n", sub.Name().c_str());
    int status = runProgram(runs[0]);
    // Exit code 1 from "stop" means "was not running".
    if (status != 0 && exitCodeOfWaitStatus(status) != 1 && !toolOptions.notFoundOK) {
        return exitCodeOfWaitStatus(status);
    }
    status = runProgram(runs[1]);
    return status != 0 ? exitCodeOfWaitStatus(status) : 0;
}

int vcfgRestart(VcfgContext& ctx)
{
    const ValueObject* tree = loadConfOut(ctx, kDefaultDomain);
    const ValueGeneric* servicesValue = tree->GetProperty("services");
    const ValueObject* services = servicesValue != nullptr ? servicesValue->AsObject() : nullptr;
    int result = 0;
    bool found = forEachSelectedSubsystem(ctx.config.Subsystems(), [&](size_t, const ManagedSubsystem& sub) {
        if (!sub.Service().empty()) {
            result = restartOne(sub, services);
        }
        return result == 0;
    });
    return found ? result : 3;
}

int vcfgApply(VcfgContext& ctx)
{
    int result = vcfgGenerate(ctx);
    return result == 0 ? vcfgRestart(ctx) : result;
}

} // namespace Vantor_cfgmgr
