// vprop: reads the properties of property subsystems, each kept in one
// merged configuration file. Start-up: options, output redirection, the
// configuration file, the property-id file, then either the schema check
// (-S) or the command.
#include "Vprop.h"
#include "VpropSAX.h"

#include "tools_common/EnvironmentFile.h"

#include "Vantor_cfgmgr/Lib.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <unistd.h>

namespace Vantor_cfgmgr {
namespace {

constexpr const char* kDefaultEnvFile = "/etc/vprop.conf";

enum class Command { subsystem, get, getdefault, set, setdefault, batch, commit, cancel, help };

struct CommandInfo {
    const char* word;
    Command command;
    bool takesPropertyIdFile;
};

// In the order the usage text lists them.
constexpr CommandInfo kCommands[] = {
    {"subsystem", Command::subsystem, false}, {"get", Command::get, true},
    {"getdefault", Command::getdefault, true}, {"set", Command::set, true},
    {"setdefault", Command::setdefault, true}, {"batch", Command::batch, false},
    {"commit", Command::commit, false},       {"cancel", Command::cancel, false},
    {"help", Command::help, false},
};

const CommandInfo* findCommand(const char* word)
{
    for (const CommandInfo& info : kCommands) {
        if (std::strcmp(info.word, word) == 0) {
            return &info;
        }
    }
    return nullptr;
}

[[noreturn]] void usage(const char* program, int status)
{
    std::fprintf(OutputStream(),
                 "usage: %s <command> [-s subsystem]\n        [-e environment file] [-v] [-N] [-S] [-f propertyId "
                 "file]\n        [-o outputFilename]\n    where <command> is {%s | %s | %s | %s | %s\n"
                 "                        | %s | %s | %s | %s}\n",
                 program, kCommands[0].word, kCommands[1].word, kCommands[2].word, kCommands[3].word,
                 kCommands[4].word, kCommands[5].word, kCommands[6].word, kCommands[7].word, kCommands[8].word);
    std::fflush(OutputStream());
    std::exit(status);
}

struct CommandLine {
    std::string envFile = kDefaultEnvFile;
    std::string outputFile;
    bool schemaCheck = false;
    bool usageAsked = false;
    bool refused = false; // an unknown option or -d
    std::vector<std::string> words; // the command and its arguments
};

CommandLine readOptions(int argc, char** argv)
{
    CommandLine cl;
    opterr = 1;
    for (;;) {
        // getopt answers '?' both for -? itself and for an unknown option;
        // only the latter sets optopt.
        optopt = 0;
        const int opt = getopt(argc, argv, "e:d:s:f:o:vnujJNS?");
        if (opt == -1) {
            break;
        }
        if (setSharedToolOption(opt, optarg)) {
            continue;
        }
        switch (opt) {
        case 'e': cl.envFile = optarg; break;
        case 's': toolOptions.subsystemName = optarg; break;
        case 'o': cl.outputFile = optarg; break;
        case 'S': cl.schemaCheck = true; break;
        case '?':
            if (optopt == 0 || optopt == '?') {
                cl.usageAsked = true;
            } else {
                cl.refused = true;
            }
            break;
        default: // -d: property subsystems have no domains
            cl.refused = true;
            break;
        }
    }
    for (int i = optind; i < argc; ++i) {
        cl.words.emplace_back(argv[i]);
    }
    return cl;
}

// Binds the command's arguments into the context; false when their number
// does not fit the command.
bool bindArguments(const CommandInfo& info, const std::vector<std::string>& args, VpropContext& ctx)
{
    switch (info.command) {
    case Command::subsystem:
    case Command::commit:
        // The argument names the subsystem, unless -s did.
        if (args.size() > (toolOptions.subsystemName.empty() ? 1u : 0u)) {
            return false;
        }
        if (!args.empty()) {
            toolOptions.subsystemName = args[0];
        }
        return true;
    case Command::set:
        if (args.empty()) {
            return ctx.propertyIds.loaded;
        }
        if (args.size() != 2) {
            return false;
        }
        ctx.commandLineValue = args[1];
        break;
    default:
        if (args.size() > 1) {
            return false;
        }
        break;
    }
    if (!args.empty()) {
        ctx.commandLineId = args[0];
        ctx.hasCommandLineId = true;
    }
    return true;
}

int runCommand(const CommandInfo& info, VpropContext& ctx)
{
    switch (info.command) {
    case Command::subsystem: return vpropSubsystem(ctx);
    case Command::get:
    case Command::getdefault:
    case Command::setdefault: return vpropGet(ctx);
    case Command::set: return vpropSet(ctx);
    case Command::batch:
    case Command::commit:
    case Command::cancel:
    case Command::help: return vpropRemove(ctx);
    }
    return 2;
}

void parseConfiguration(VpropContext& ctx, const std::string& envFile, EnvironmentText& env)
{
    const rapidjson::ParseResult result = parseVpropConfiguration(env.text.get(), &ctx.config);
    if (result.IsError()) {
        ValueGeneric::ParseResultDiag(result, envFile.c_str(), ErrorStream());
        std::exit(2);
    }
}

int vpropMain(int argc, char** argv)
{
    VpropContext ctx;
    CommandLine cl = readOptions(argc, argv);
    redirectOutputError(cl.outputFile.c_str());
    LibInit();
    if (cl.refused) {
        usage(argv[0], 2);
    }
    if (cl.usageAsked) {
        usage(argv[0], 0);
    }
    if (toolOptions.subsystemName == "apiVersion") {
        errno = EEXIST;
        toolPerrorExit("apiVersion keyword reserved", 2);
    }
    const CommandInfo* info = nullptr;
    if (!cl.words.empty()) {
        info = findCommand(cl.words[0].c_str());
        if (info == nullptr) {
            usage(argv[0], 2);
        }
    }
    EnvironmentText env = readEnvironmentFile(cl.envFile);
    ctx.propertyIds = loadPropertyIdFile(toolOptions.propertyIdFilename);
    if (cl.schemaCheck) {
        std::exit(checkEnvironmentSchema(argv[0], cl.envFile, cl.envFile + ".schema"));
    }
    if (info == nullptr) {
        usage(argv[0], 0);
    }
    if (ctx.propertyIds.loaded && !info->takesPropertyIdFile) {
        usage(argv[0], 2);
    }
    const std::vector<std::string> args(cl.words.begin() + 1, cl.words.end());
    if (!bindArguments(*info, args, ctx)) {
        usage(argv[0], 2);
    }
    parseConfiguration(ctx, cl.envFile, env);
    return runCommand(*info, ctx);
}

} // namespace
} // namespace Vantor_cfgmgr

int main(int argc, char** argv)
{
    // A malformed property id (an unclosed quote, a missing separator) is
    // reported by an exception; it ends the program with a message and the
    // status of malformed input instead of an abort.
    try {
        return Vantor_cfgmgr::vpropMain(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(Vantor_cfgmgr::ErrorStream(), "*** %s\n", e.what());
        return 2;
    }
}
