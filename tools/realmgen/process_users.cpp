// Accounts of the CLI realm. Each user is checked once without changing
// anything and only then changed, so a refused user leaves no half-made
// account behind.
#include "processing.h"
#include "report.h"
#include "system_ops.h"
#include "system_views.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace realmgen {

namespace {

// Text that would break a line of /etc/passwd: the separator or a line end.
const char* badCharIn(const std::string& s)
{
    if (s.find(':') != std::string::npos) {
        return ":";
    }
    if (s.find('\n') != std::string::npos) {
        return "\\n";
    }
    return nullptr;
}

bool checkTexts(const std::string& name, const UserDataConfig& c)
{
    bool ok = true;
    if (const char* bad = badCharIn(name)) {
        err("*** Error the user name \"%s\" contains \"%s\"!\n", name.c_str(), bad);
        ok = false;
    } else if (name.empty() || name[0] == '-') {
        // A leading "-" would be read as an option by the account programs.
        err("*** Error the user name \"%s\" contains \"%s\"!\n", name.c_str(), "-");
        ok = false;
    }
    if (const char* bad = badCharIn(c.homeDirectory)) {
        err("*** Error the home directory \"%s\" requested for user \"%s\" contains \"%s\"!\n",
            c.homeDirectory.c_str(), name.c_str(), bad);
        ok = false;
    }
    if (const char* bad = badCharIn(c.loginShell)) {
        err("*** Error the login shell \"%s\" requested for user \"%s\" contains \"%s\"!\n", c.loginShell.c_str(),
            name.c_str(), bad);
        ok = false;
    }
    if (const char* bad = badCharIn(c.comment)) {
        err("*** Error the comment field \"%s\" requested for user \"%s\" contains \"%s\"!\n", c.comment.c_str(),
            name.c_str(), bad);
        ok = false;
    }
    return ok;
}

bool checkShell(const std::string& name, const std::string& shell)
{
    struct stat st {};
    if (::access(shell.c_str(), F_OK) != 0) {
        err("*** Error the shell \"%s\" requested for user \"%s\" does not exist!\n", shell.c_str(), name.c_str());
        return false;
    }
    if (::stat(shell.c_str(), &st) != 0) {
        std::perror("stat file");
        err("*** Error reading file status for \"%s\"!\n", shell.c_str());
        return false;
    }
    if ((st.st_mode & (S_IROTH | S_IXOTH)) != (S_IROTH | S_IXOTH)) {
        err("*** Error the shell \"%s\" requested for user \"%s\" is not executable!\n", shell.c_str(),
            name.c_str());
        return false;
    }
    return true;
}

bool checkGroups(const RealmData& realm, const std::string& name, const UserDataConfig& c)
{
    bool ok = true;
    if (realm.sysGroups.count(c.primaryGroup) == 0) {
        err("*** Error the primary group \"%s\" requested for user \"%s\" does not exist!\n", c.primaryGroup.c_str(),
            name.c_str());
        ok = false;
    }
    for (const auto& [group, member] : c.memberOf) {
        if (member && realm.sysGroups.count(group) == 0) {
            err("*** Error the group \"%s\" requested for user \"%s\" does not exist!\n", group.c_str(), name.c_str());
            ok = false;
        }
    }
    return ok;
}

bool checkNewUser(const RealmData& realm, const std::string& name, const UserDataConfig& c)
{
    bool ok = checkTexts(name, c);
    for (const auto& [other, sys] : realm.sysUsers) {
        if (c.uidNumber >= 0 && sys.uidNumber == c.uidNumber) {
            err("*** Error the new user \"%s\" has the same user ID \"%d\" as the existing user \"%s\"!\n",
                name.c_str(), c.uidNumber, other.c_str());
            ok = false;
        }
    }
    ok = checkShell(name, c.loginShell) && ok;
    return checkGroups(realm, name, c) && ok;
}

bool isMember(const RealmData& realm, const std::string& user, const std::string& group)
{
    const auto g = realm.sysGroups.find(group);
    if (g == realm.sysGroups.end()) {
        return false;
    }
    for (const auto& m : g->second.members) {
        if (m == user) {
            return true;
        }
    }
    return false;
}

bool applyMemberships(const RealmData& realm, const std::string& name, const UserDataConfig& c)
{
    bool ok = true;
    for (const auto& [group, member] : c.memberOf) {
        const bool now = isMember(realm, name, group);
        if (member && !now && !addUserToSystemGroup(name, group)) {
            err("*** Error adding user \"%s\" to group \"%s\"!\n", name.c_str(), group.c_str());
            ok = false;
        } else if (!member && now && !deleteUserFromSystemGroup(name, group)) {
            err("*** Error removing user \"%s\" from group \"%s\"!\n", name.c_str(), group.c_str());
            ok = false;
        }
    }
    return ok;
}

bool applySsh(const RealmData& realm, const std::string& name, const UserDataConfig& c)
{
    const auto sys = realm.sysUsers.find(name);
    const auto group = realm.sysGroups.find(c.primaryGroup);
    // A missing "allowSSH" is false: SSH is closed unless it is allowed.
    if (sys == realm.sysUsers.end() || group == realm.sysGroups.end() || sys->second.homeDirectory.empty()) {
        return true;
    }
    if (!setUserSshEnable(c.allowSSH, sys->second.uidNumber, group->second.gidNumber, sys->second.homeDirectory)) {
        err("*** Error configuring SSH support for user \"%s\"!\n", name.c_str());
        return false;
    }
    return true;
}

// The realm's default hash replaces the account's password when it differs.
void restoreDefaultPassword(const RealmData& realm, const std::string& name, const UserDataConfig& c)
{
    const auto hash = c.userPasswordHash.find(realm.name);
    if (hash == c.userPasswordHash.end()) {
        err("*** Error default password hash not available for cli user \"%s\"!\n", name.c_str());
        return;
    }
    const auto sys = realm.sysUsers.find(name);
    std::string current = sys != realm.sysUsers.end() ? sys->second.password : std::string();
    if (!current.empty() && current[0] == '!') {
        current.erase(0, 1);
    }
    if (current == hash->second) {
        return;
    }
    if (!updateSystemFileField("/etc/shadow", name, 2, hash->second)) {
        err("*** Error setting password to default for cli user \"%s\"!\n", name.c_str());
        return;
    }
    if (settings.verbose > 0) {
        out("Password restored to default for cli user \"%s\"\n", name.c_str());
    }
}

void applyLock(const RealmData& realm, const std::string& name, const UserDataConfig& c)
{
    const auto sys = realm.sysUsers.find(name);
    if (sys == realm.sysUsers.end()) {
        return;
    }
    if (c.status == usLocked && !sys->second.locked) {
        if (!lockSystemUserPassword(name)) {
            err("*** Error locking password for user \"%s\"!\n", name.c_str());
        }
    } else if (c.status != usLocked && sys->second.locked) {
        if (!unlockSystemUserPassword(name)) {
            err("*** Error unlocking password for user \"%s\"!\n", name.c_str());
        }
    }
}

void addUser(RealmData& realm, const std::string& name, const UserDataConfig& c)
{
    if (!checkNewUser(realm, name, c)) {
        err("*** Error adding user \"%s\"!\n", name.c_str());
        return;
    }
    if (!addSystemUser(realm.name, name, c.homeDirectory, c.loginShell, c.uidNumber, c.primaryGroup, c.comment,
                       c.userPassword, c.homeDirectoryGiven)) {
        err("*** Error adding user \"%s\"!\n", name.c_str());
        rereadSystemAccounts(realm);
        return;
    }
    rereadSystemAccounts(realm);
    if (c.userPassword.empty() && c.userPasswordIsDefault) {
        restoreDefaultPassword(realm, name, c);
    }
    applyMemberships(realm, name, c);
    applySsh(realm, name, c);
    rereadSystemAccounts(realm);
    if (c.status == usLocked && !lockSystemUserPassword(name)) {
        err("*** Error locking password for user \"%s\"!\n", name.c_str());
    }
    rereadSystemAccounts(realm);
    if (settings.verbose > 0) {
        out("*** The user \"%s\" has been added.\n", name.c_str());
    }
}

bool checkUpdate(const RealmData& realm, const std::string& name, const UserDataConfig& c, const UserDataSys& sys)
{
    bool ok = checkTexts(name, c);
    if (c.uidNumber >= 0 && c.uidNumber != sys.uidNumber) {
        err("*** Error updating user \"%s\" with ID \"%d\" exists on the system with a different User ID \"%d\"!\n",
            name.c_str(), c.uidNumber, sys.uidNumber);
        ok = false;
    }
    if (c.loginShellGiven && c.loginShell != sys.loginShell) {
        ok = checkShell(name, c.loginShell) && ok;
    }
    return checkGroups(realm, name, c) && ok;
}

void updateUser(RealmData& realm, const std::string& name, const UserDataConfig& c)
{
    const UserDataSys sys = realm.sysUsers.at(name);
    if (!checkUpdate(realm, name, c, sys)) {
        err("*** Error updating user \"%s\"!\n", name.c_str());
        return;
    }
    if (c.loginShellGiven && c.loginShell != sys.loginShell && !changeCliUserShell(name, c.loginShell)) {
        err("*** Error changing shell for user \"%s\" to \"%s\"!\n", name.c_str(), c.loginShell.c_str());
    }
    if (c.homeDirectoryGiven && c.homeDirectory != sys.homeDirectory &&
        !changeCliUserHomeDir(name, c.primaryGroup, c.homeDirectory)) {
        err("*** Error changing home directory for user \"%s\" to \"%s\"!\n", name.c_str(), c.homeDirectory.c_str());
    }
    if (c.comment != sys.comment && !changeCliUserComment(name, c.comment)) {
        err("*** Error changing comment field for user \"%s\" to \"%s\"!\n", name.c_str(), c.comment.c_str());
    }
    if (c.primaryGroup != sys.primaryGroup) {
        changeCliUserPrimaryGroup(name, c.primaryGroup);
    }
    rereadSystemAccounts(realm);
    applyMemberships(realm, name, c);
    applySsh(realm, name, c);
    if (!c.userPassword.empty()) {
        if (!changeCliUserPassword(realm.name, name, c.userPassword)) {
            err("*** Error changing password for user \"%s\"!\n", name.c_str());
        }
    } else if (c.userPasswordIsDefault) {
        restoreDefaultPassword(realm, name, c);
    }
    rereadSystemAccounts(realm);
    applyLock(realm, name, c);
    rereadSystemAccounts(realm);
}

} // namespace

void processCliUsers(RealmData& realm)
{
    for (const auto& [name, configured] : realm.users) {
        if (configured.status == usRemote) {
            out("*** Error the user \"%s\" is a remote user!\n", name.c_str());
            continue;
        }
        UserDataConfig c;
        if (!combineUserConfig(name, c, realm)) {
            continue;
        }
        const bool present = realm.sysUsers.count(name) != 0;
        if (c.status == usDeleted) {
            // The home directory stays: it may hold the user's data.
            if (present && deleteSystemUser(name, false)) {
                out("*** The user \"%s\" has been deleted.\n", name.c_str());
            }
            rereadSystemAccounts(realm);
            continue;
        }
        if (present) {
            updateUser(realm, name, c);
        } else {
            addUser(realm, name, c);
        }
    }
}

void processCliConfig(RealmData& realm)
{
    checkRoleGroupNames(realm);
    processGroups(realm);
    rereadSystemAccounts(realm);
    processCliUsers(realm);
    rereadSystemAccounts(realm);
}

} // namespace realmgen
