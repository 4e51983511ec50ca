// vcfg: the layered configuration manager's command line.
#include "Vcfg.h"
#include "VcfgSAX.h"

#include "Vantor_cfgmgr/Lib.h"
#include "tools_common/EnvironmentFile.h"

#include <cerrno>
#include <exception>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace Vantor_cfgmgr {

namespace {

// What a command's single optional argument names.
enum class Argument { none, domainName, subsystemName, propertyId, idAndValue };

struct Command {
    const char* name;
    int (*run)(VcfgContext&);
    Argument argument;
    bool takesPropertyIdFile;
};

const Command kCommands[] = {
    {"domain", vcfgDomain, Argument::domainName, false},
    {"subsystem", vcfgSubsystem, Argument::subsystemName, false},
    {"merge", vcfgMerge, Argument::domainName, false},
    {"generate", vcfgGenerate, Argument::subsystemName, false},
    {"restart", vcfgRestart, Argument::subsystemName, false},
    {"apply", vcfgApply, Argument::subsystemName, false},
    {"get", vcfgGet, Argument::propertyId, true},
    {"set", vcfgSet, Argument::idAndValue, true},
    {"default", vcfgDefault, Argument::propertyId, false},
    {"delete", vcfgDelete, Argument::propertyId, false},
    {"commit", vcfgCommit, Argument::subsystemName, false},
};

void printUsage(const char* program)
{
    std::fflush(stderr);
    std::printf("usage: %s <command> [-d domain] [-s subsystem]\n        [-e environment file] [-v] [-n] [-N] [-S] "
                "[-f propertyId file]\n        [-o outputFilename] [-u] [-j] [-J]\n    where <command> is {%s | %s | "
                "%s | %s\n                        | %s | %s | %s | %s\n                        | %s | %s | %s}\n",
                program, kCommands[0].name, kCommands[1].name, kCommands[2].name, kCommands[3].name,
                kCommands[4].name, kCommands[5].name, kCommands[6].name, kCommands[7].name, kCommands[8].name,
                kCommands[9].name, kCommands[10].name);
    std::fflush(stdout);
}

[[noreturn]] void usageError(const char* program, const std::string& message)
{
    toolError("*** %s\n", message.c_str());
    printUsage(program);
    std::exit(2);
}

struct CommandLine {
    std::string envFile;
    std::string outputFile;
    bool schemaCheck = false;
    bool domainOption = false;
    const Command* command = nullptr;
    std::vector<std::string> arguments;
};

CommandLine readOptions(int argc, char** argv, VcfgContext& ctx)
{
    CommandLine line;
    int opt;
    while ((opt = ::getopt(argc, argv, "e:d:s:f:o:vnujJNS?")) != -1) {
        if (setSharedToolOption(opt, optarg)) {
            continue;
        }
        switch (opt) {
        case 'e': line.envFile = optarg; break;
        case 'd':
            ctx.domainName = optarg;
            line.domainOption = true;
            break;
        case 's':
            if (std::strcmp(optarg, "apiVersion") == 0) {
                errno = EEXIST;
                toolPerrorExit("apiVersion keyword reserved", 2);
            }
            toolOptions.subsystemName = optarg;
            break;
        case 'o': line.outputFile = optarg; break;
        case 'S': line.schemaCheck = true; break;
        default:
            // getopt has named the unknown option; "-?" itself asks for help.
            printUsage(argv[0]);
            std::exit(optopt == 0 || optopt == '?' ? 0 : 2);
        }
    }
    for (int i = optind; i < argc; ++i) {
        line.arguments.emplace_back(argv[i]);
    }
    return line;
}

// Checks the command and its arguments and stores them in ctx.
void bindCommand(const char* program, CommandLine& line, VcfgContext& ctx)
{
    const std::string word = line.arguments.front();
    for (const Command& c : kCommands) {
        if (word == c.name) {
            line.command = &c;
        }
    }
    if (line.command == nullptr) {
        usageError(program, "Unrecognized command \"" + word + "\"");
    }
    const Command& c = *line.command;
    if (!toolOptions.propertyIdFilename.empty() && !c.takesPropertyIdFile) {
        usageError(program, std::string("Command \"") + c.name + "\" does not take a propertyId file");
    }
    std::vector<std::string> args(line.arguments.begin() + 1, line.arguments.end());
    bool ok = true;
    switch (c.argument) {
    case Argument::domainName:
        ok = args.empty() || (args.size() == 1 && !line.domainOption);
        if (ok && !args.empty()) {
            ctx.domainName = args[0];
        }
        break;
    case Argument::subsystemName:
        ok = args.empty() || (args.size() == 1 && toolOptions.subsystemName.empty());
        if (ok && !args.empty()) {
            toolOptions.subsystemName = args[0];
        }
        break;
    case Argument::propertyId:
        ok = args.size() <= 1;
        if (ok && !args.empty()) {
            ctx.commandLineId = args[0];
            ctx.hasCommandLineId = true;
        }
        break;
    case Argument::idAndValue:
        ok = args.size() == 2 || (args.empty() && !toolOptions.propertyIdFilename.empty());
        if (ok && !args.empty()) {
            ctx.commandLineId = args[0];
            ctx.commandLineValue = args[1];
            ctx.hasCommandLineId = true;
        }
        break;
    case Argument::none: ok = args.empty(); break;
    }
    if (!ok) {
        usageError(program, std::string("Wrong number of arguments for \"") + c.name + "\"");
    }
}

void parseConfiguration(const std::string& envFile, EnvironmentText& env, SubsystemVcfg& config)
{
    VcfgSAX handler;
    handler.SetVcfg(&config);
    rapidjson::Reader reader;
    rapidjson::InsituStringStream input(env.text.get());
    rapidjson::ParseResult result = reader.Parse<rapidjson::kParseInsituFlag>(input, handler);
    if (result.IsError()) {
        ValueGeneric::ParseResultDiag(result, envFile.c_str(), ErrorStream());
        std::exit(2);
    }
}

} // namespace

} // namespace Vantor_cfgmgr

namespace {

int vcfgMain(int argc, char** argv)
{
    using namespace Vantor_cfgmgr;
    VcfgContext ctx;
    ctx.programPath = argv[0];
    CommandLine line = readOptions(argc, argv, ctx);
    redirectOutputError(line.outputFile.empty() ? nullptr : line.outputFile.c_str());
    LibInit();
    if (!line.arguments.empty()) {
        bindCommand(argv[0], line, ctx);
    } else if (!line.schemaCheck) {
        printUsage(argv[0]);
        return 0;
    }
    if (line.envFile.empty()) {
        const char* fromEnvironment = std::getenv("VCFG_ENVFILE");
        line.envFile = (fromEnvironment != nullptr && *fromEnvironment != '\0') ? fromEnvironment : "/etc/vcfg.conf";
    }
    EnvironmentText env = readEnvironmentFile(line.envFile);
    ctx.propertyIds = loadPropertyIdFile(toolOptions.propertyIdFilename);
    if (line.schemaCheck) {
        std::exit(checkEnvironmentSchema(argv[0], line.envFile, line.envFile + ".schema"));
    }
    parseConfiguration(line.envFile, env, ctx.config);
    int status = line.command->run(ctx);
    std::fflush(OutputStream());
    // The trees of a large configuration take a while to free one value at a
    // time; the process is ending, so they are left to the system.
    std::exit(status);
}

} // namespace

int main(int argc, char** argv)
{
    // A malformed property id (an unclosed quote, a missing separator) is
    // reported by an exception; it ends the program with a message and the
    // status of malformed input instead of an abort.
    try {
        return vcfgMain(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(Vantor_cfgmgr::ErrorStream(), "*** %s\n", e.what());
        return 2;
    }
}
