// The order of a run after loading, and the removal of applied clear-text
// passwords from the configuration through vcfg.
#include "processing.h"
#include "report.h"
#include "system_ops.h"
#include "system_views.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
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

struct VcfgDomain {
    std::string name;
    std::string dirIn; // its layer files' folder
};

// The quoted text that ends line after prefix (spaces before it skipped),
// as "vcfg domain" prints names and folders; false when line is not such.
bool quotedAfter(const char* line, bool numbered, const char* prefix, std::string& text)
{
    const char* p = line + std::strspn(line, " ");
    if (numbered) {
        const size_t digits = std::strspn(p, "0123456789");
        if (digits == 0) {
            return false;
        }
        p += digits;
    }
    const size_t prefixLength = std::strlen(prefix);
    const size_t length = std::strlen(line);
    if (std::strncmp(p, prefix, prefixLength) != 0 || length < 2 || line[length - 1] != '\n' ||
        line[length - 2] != '"') {
        return false;
    }
    p += prefixLength;
    const char* end = line + length - 2;
    if (p > end) {
        return false;
    }
    text.assign(p, static_cast<size_t>(end - p));
    return true;
}

// vcfg's domains, lowest first, as "vcfg domain" lists them; empty when
// they cannot be had.
std::vector<VcfgDomain> vcfgDomains(const std::string& tool)
{
    std::unique_ptr<FILE, int (*)(FILE*)> listing(std::tmpfile(), std::fclose);
    std::vector<VcfgDomain> domains;
    if (!listing || !vcfgOk(runProgram({tool, "domain"}, {}, nullptr, listing.get())) ||
        std::fseek(listing.get(), 0, SEEK_SET) != 0) {
        return domains;
    }
    char line[4096];
    std::string text;
    while (std::fgets(line, sizeof line, listing.get()) != nullptr) {
        if (quotedAfter(line, true, ": \"", text)) {
            domains.push_back(VcfgDomain{text, {}});
        } else if (!domains.empty() && quotedAfter(line, false, "in:  \"", text)) {
            domains.back().dirIn = text;
        }
    }
    return domains;
}

// Removes the backup vcfg's commit left of a domain's layer file when it
// still holds the password (as it was stored, or JSON-escaped).
void removePasswordBackup(const VcfgDomain& domain, const std::string& password)
{
    if (domain.dirIn.empty()) {
        return;
    }
    const std::string backup = domain.dirIn + "/" + settings.subsystemName + ".vcfg.bak";
    char* raw = nullptr;
    uint64_t size = 0;
    if (Vantor_util::file_to_buffer(backup.c_str(), &raw, &size) != 0) {
        return;
    }
    const std::string text(raw, size);
    std::free(raw);
    std::string escaped(2 * password.size() + 3, '\0');
    const bool haveEscaped = Vantor_util::toSafeJSON(escaped.data(), escaped.size(), password.c_str()) == 0;
    if (text.find(password) == std::string::npos &&
        (!haveEscaped || text.find(escaped.c_str()) == std::string::npos)) {
        return;
    }
    if (::unlink(backup.c_str()) != 0) {
        std::perror("removing old backup file");
        err("*** Error removing old backup file \"%s\"", backup.c_str());
    } else if (settings.verbose > 0) {
        out("The backup \"%s\" held a clear-text password and was removed.\n", backup.c_str());
    }
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
// the password too, and the backups commit leaves of them are removed while
// they still hold it. Without a domain list (vcfg cannot list them), only
// vcfg's default domain is cleaned.
void cleanupPassword(const std::string& tool, const std::vector<VcfgDomain>& domains, const std::string& entry,
                     const std::string& password)
{
    const std::vector<VcfgDomain> all = domains.empty() ? std::vector<VcfgDomain>{VcfgDomain{}} : domains;
    std::vector<VcfgDomain> touched;
    for (const VcfgDomain& domain : all) {
        const int status = runProgram(withDomain(tool, {"default"}, domain.name, {entry + ".userPassword"}));
        if (!vcfgOk(status)) {
            err("*** Error defaulting property \"%s\"!\n", entry.c_str());
        }
        const bool held = WIFEXITED(status) && WEXITSTATUS(status) == 1;
        if (held || domain.name.empty() || domain.name == kAppliedDomain) {
            touched.push_back(domain);
        }
    }
    const std::string path = writeDefaultFlagFile(entry);
    if (path.empty()) {
        return;
    }
    for (const VcfgDomain& domain : touched) {
        if (!vcfgOk(runProgram(withDomain(tool, {"set", "-N"}, domain.name, {"-f", path})))) {
            err("*** Error setting userPasswordIsDefault for \"%s\"!\n", entry.c_str());
        }
    }
    ::unlink(path.c_str());
    for (const VcfgDomain& domain : touched) {
        if (!domains.empty() && domain.name == domains.front().name && domain.name != kAppliedDomain) {
            // The lowest domain's layers are its own sources: commit cannot
            // write them.
            err("*** Error the clear-text password of \"%s\" stays in the layer files of domain \"%s\"!\n",
                entry.c_str(), domain.name.c_str());
            continue;
        }
        if (!vcfgOk(runProgram(withDomain(tool, {"commit"}, domain.name, {settings.subsystemName})))) {
            err("*** Error committing the removal of the password of \"%s\"!\n", entry.c_str());
            continue;
        }
        removePasswordBackup(domain, password);
    }
}

} // namespace

void cleanupPasswords()
{
    if (passwordChangeSet.empty()) {
        return;
    }
    const std::string tool = configTool();
    const std::vector<VcfgDomain> domains = vcfgDomains(tool);
    for (const auto& [entry, password] : passwordChangeSet) {
        cleanupPassword(tool, domains, entry, password);
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
