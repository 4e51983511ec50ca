// The order of a run after loading, and the removal of applied clear-text
// passwords from the configuration through vcfg.
#include "processing.h"
#include "report.h"
#include "system_ops.h"
#include "system_views.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace realmgen {

namespace {

// vcfg's "nothing changed" (0) and "changed" (1) both count as success.
bool vcfgOk(int status) { return status == 0 || (WIFEXITED(status) && WEXITSTATUS(status) == 1); }

const char* configTool()
{
    static const char* const candidates[] = {"/bin/vcfg", "/usr/local/bin/vcfg", nullptr};
    return requireUtility(candidates, "vcfg");
}

// Writes the one-line property file that marks the password as changed;
// returns its path, empty when it could not be made.
std::string writeDefaultFlagFile(const std::string& entry)
{
    char path[] = "/tmp/vcfgtmpXXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) {
        err("*** Error creating temp file for password default.\n");
        return {};
    }
    // The path is quoted as a JSON string so a quote in a user name cannot
    // end it early.
    const std::string property = entry + ".userPasswordIsDefault";
    std::string literal(2 * property.size() + 3, '\0');
    bool ok = Vantor_util::toSafeJSON(literal.data(), literal.size(), property.c_str()) == 0;
    const std::string text = std::string(literal.c_str()) + " : false";
    ok = ok && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        err("*** Error writing to temp file for password default.\n");
        ::unlink(path);
        return {};
    }
    return path;
}

} // namespace

void cleanupPasswords()
{
    if (passwordChangeSet.empty()) {
        return;
    }
    const std::string tool = configTool();
    for (const auto& entry : passwordChangeSet) {
        if (!vcfgOk(runProgram({tool, "default", entry + ".userPassword"}))) {
            err("*** Error defaulting property \"%s\"!\n", entry.c_str());
        }
        const std::string path = writeDefaultFlagFile(entry);
        if (path.empty()) {
            continue;
        }
        if (!vcfgOk(runProgram({tool, "set", "-N", "-f", path}))) {
            err("*** Error setting userPasswordIsDefault for \"%s\"!\n", entry.c_str());
        }
        ::unlink(path.c_str());
    }
}

void processRealms()
{
    RealmData* cli = nullptr;
    bool haveWeb = false;
    for (auto& realm : realms) {
        if (realm.service == svcCli) {
            if (cli != nullptr) {
                err("*** Error Multiple realms that include cli service\n");
            }
            cli = &realm;
        }
        haveWeb = haveWeb || realm.service == svcWebsvr;
    }
    if (cli != nullptr && !readSystemAccounts(*cli)) {
        err("*** Error \"%s\" loading system user and group configuration\n", std::strerror(errno));
        cli = nullptr;
    }
    if (haveWeb) {
        readWebFiles();
    }
    if (cli != nullptr) {
        processCliConfig(*cli);
        if (settings.verbose > 0) {
            listSystemAccounts(*cli);
        }
    }
    if (haveWeb) {
        if (cli != nullptr) {
            processCliWebConfig(*cli);
        }
        for (const auto& realm : realms) {
            if (realm.service == svcWebsvr) {
                processWebConfig(realm, cli);
            }
        }
        removeStaleWebLines();
        if (settings.verbose > 0) {
            listWebViews();
        }
    }
    cleanupPasswords();
}

} // namespace realmgen
