// realmgen: turns the access-manager configuration into Unix users and
// groups, SSH enablement, CLI passwords and the web server's password files.
#include "processing.h"
#include "realm_model.h"
#include "report.h"

#include <cstdlib>
#include <unistd.h>

using namespace realmgen;

namespace {

[[noreturn]] void usage(const char* program, int status)
{
    std::printf("usage: %s <subsystem config filename> [-o outputFilename] [-v]\n", program);
    std::exit(status);
}

} // namespace

int main(int argc, char** argv)
{
    const char* outputName = nullptr;
    int opt = 0;
    opterr = 0;
    while ((opt = ::getopt(argc, argv, "o:v?")) != -1) {
        switch (opt) {
        case 'o':
            outputName = optarg;
            break;
        case 'v':
            ++settings.verbose;
            break;
        default:
            usage(argv[0], optopt == 0 || optopt == '?' ? 0 : 2);
        }
    }
    if (argc - optind != 1) {
        usage(argv[0], 2);
    }
    Vantor_cfgmgr::redirectOutputError(outputName);
    Vantor_cfgmgr::LibInit();
    const int status = loadConfiguration(argv[optind]);
    if (realms.empty() && status != 0) {
        return status;
    }
    processRealms();
    std::fflush(Vantor_cfgmgr::OutputStream());
    std::fflush(Vantor_cfgmgr::ErrorStream());
    return status;
}
