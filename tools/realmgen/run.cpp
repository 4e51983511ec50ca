// The order of a run after loading, and the removal of applied clear-text
// passwords from the configuration through vcfg.
#include "processing.h"
#include "report.h"
#include "system_ops.h"
#include "system_views.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>
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

// The domain vcfg generates from and so the one realmgen was given.
constexpr const char* kAppliedDomain = "deviceSpecific";

// The names of vcfg's domains, lowest first, as "vcfg domain" lists them
// ("%3lu: \"name\"" lines); empty when they cannot be had.
std::vector<std::string> vcfgDomains(const std::string& tool)
{
    std::unique_ptr<FILE, int (*)(FILE*)> listing(std::tmpfile(), std::fclose);
    std::vector<std::string> names;
    if (!listing || !vcfgOk(runProgram({tool, "domain"}, {}, nullptr, listing.get())) ||
        std::fseek(listing.get(), 0, SEEK_SET) != 0) {
        return names;
    }
    char line[4096];
    while (std::fgets(line, sizeof line, listing.get()) != nullptr) {
        const char* p = line;
        while (*p == ' ') {
            ++p;
        }
        const char* colon = std::strstr(p, ": \"");
        const size_t length = std::strlen(line);
        if (colon == nullptr || colon == p || std::strspn(p, "0123456789") != static_cast<size_t>(colon - p) ||
            length < 2 || line[length - 1] != '\n' || line[length - 2] != '"') {
            continue;
        }
        const char* name = colon + 3;
        names.emplace_back(name, static_cast<size_t>(line + length - 2 - name));
    }
    return names;
}

// "-d domain", or nothing for vcfg's own default domain.
std::vector<std::string> withDomain(const std::string& tool, std::initializer_list<std::string> command,
                                    const std::string& domain, std::initializer_list<std::string> rest)
{
    std::vector<std::string> args{tool};
    args.insert(args.end(), command);
    if (!domain.empty()) {
        args.insert(args.end(), {"-d", domain});
    }
    args.insert(args.end(), rest);
    return args;
}

// Removes one applied password from the configuration. Removing it from the
// merged file the generator read is not enough: the next merge would bring
// it back from the layer file it was committed to, or from a lower domain.
// So, lowest domain first, it is defaulted away in every domain that holds
// it (each then reads as the one below, which no longer has it); the
// domains that held it, and the applied one, are marked "not the default
// password"; and their differences are committed, so the layer files lose
// the password too. Without a domain list (vcfg cannot list them), only
// vcfg's default domain is cleaned.
void cleanupPassword(const std::string& tool, const std::vector<std::string>& domains, const std::string& entry)
{
    const std::vector<std::string> all = domains.empty() ? std::vector<std::string>{""} : domains;
    std::vector<std::string> touched;
    for (const std::string& domain : all) {
        const int status = runProgram(withDomain(tool, {"default"}, domain, {entry + ".userPassword"}));
        if (!vcfgOk(status)) {
            err("*** Error defaulting property \"%s\"!\n", entry.c_str());
        }
        const bool held = WIFEXITED(status) && WEXITSTATUS(status) == 1;
        if (held || domain.empty() || domain == kAppliedDomain) {
            touched.push_back(domain);
        }
    }
    const std::string path = writeDefaultFlagFile(entry);
    if (path.empty()) {
        return;
    }
    for (const std::string& domain : touched) {
        if (!vcfgOk(runProgram(withDomain(tool, {"set", "-N"}, domain, {"-f", path})))) {
            err("*** Error setting userPasswordIsDefault for \"%s\"!\n", entry.c_str());
        }
    }
    ::unlink(path.c_str());
    for (const std::string& domain : touched) {
        if (!domains.empty() && domain == domains.front() && domain != kAppliedDomain) {
            // The lowest domain's layers are its own sources: commit cannot
            // write them.
            err("*** Error the clear-text password of \"%s\" stays in the layer files of domain \"%s\"!\n",
                entry.c_str(), domain.c_str());
            continue;
        }
        if (!vcfgOk(runProgram(withDomain(tool, {"commit"}, domain, {settings.subsystemName})))) {
            err("*** Error committing the removal of the password of \"%s\"!\n", entry.c_str());
        }
    }
}

} // namespace

void cleanupPasswords()
{
    if (passwordChangeSet.empty()) {
        return;
    }
    const std::string tool = configTool();
    const std::vector<std::string> domains = vcfgDomains(tool);
    for (const auto& entry : passwordChangeSet) {
        cleanupPassword(tool, domains, entry);
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
