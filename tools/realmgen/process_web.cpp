// Web realms: the digest and htpasswd files follow the configured web users
// and the CLI users that belong to a group named after a web realm.
#include "processing.h"
#include "report.h"
#include "system_ops.h"
#include "system_views.h"
#include "web_files.h"

#include <set>

namespace realmgen {

namespace {

std::set<std::string> keepDigest; // "user:realm"
std::set<std::string> keepPwd;    // user

const std::string& digestFile() { return settings.webPasswordDigestFile; }
const std::string& pwdFile() { return settings.webPasswordFile; }

// Installs the user's default hashes; false when either is missing or
// cannot be stored.
bool defaultWebPassword(const std::string& user, const std::string& realm, const UserDataConfig& c, bool locked)
{
    bool ok = true;
    const auto digest = c.userPasswordHash.find(realm);
    const auto htpwd = c.userPasswordHash.find(HTPASSWD_DEFAULT_KEY);
    if (digest == c.userPasswordHash.end()) {
        err("*** Error default password hash not available for user \"%s\" in Web realm \"%s\"!\n", user.c_str(),
            realm.c_str());
        ok = false;
    } else {
        const auto have = webViews.digestUsers.find(user + ":" + realm);
        const bool missing = have == webViews.digestUsers.end();
        std::string current = missing ? std::string() : have->second.hash;
        if (!current.empty() && current[0] == '!') {
            current.erase(0, 1);
        }
        if (missing || current != digest->second) {
            if (setWebUserHash(digestFile(), user, &realm, digest->second, locked)) {
                out(missing ? "Default password created for user \"%s\" in web realm \"%s\"\n"
                            : "Password restored to default for user \"%s\" in web realm \"%s\"\n",
                    user.c_str(), realm.c_str());
            } else {
                err(missing ? "*** Error creating default password hash entry for user \"%s\" in web realm \"%s\"!\n"
                            : "*** Error setting web password to default for user \"%s\" in web realm \"%s\"!\n",
                    user.c_str(), realm.c_str());
                ok = false;
            }
        }
    }
    if (htpwd == c.userPasswordHash.end()) {
        err("*** Error default htpassword hash not available for user \"%s\" in Web realm \"%s\"!\n", user.c_str(),
            realm.c_str());
        return false;
    }
    const auto have = webViews.pwdUsers.find(user);
    const bool missing = have == webViews.pwdUsers.end();
    const std::string current = missing ? std::string() : lockedPwdHash(have->second.userPassword, false);
    if (missing || current != lockedPwdHash(htpwd->second, false)) {
        if (setWebUserHash(pwdFile(), user, nullptr, htpwd->second, locked)) {
            out(missing ? "Default htpassword created for user \"%s\" in web realm \"%s\"\n"
                        : "Htpassword restored to default for user \"%s\" in web realm \"%s\"\n",
                user.c_str(), realm.c_str());
        } else {
            err(missing ? "*** Error creating default htpassword entry for user \"%s\" in web realm \"%s\"!\n"
                        : "*** Error setting web htpassword to default for user \"%s\" in web realm \"%s\"!\n",
                user.c_str(), realm.c_str());
            ok = false;
        }
    }
    readWebFiles();
    return ok;
}

// Locks or unlocks both entries of the user to match `locked`.
void applyWebLock(const std::string& user, const std::string& realm, bool locked)
{
    const auto digest = webViews.digestUsers.find(user + ":" + realm);
    if (digest != webViews.digestUsers.end() && digest->second.locked != locked &&
        !lockWebUserPasswordDigest(digestFile(), user, &realm, locked)) {
        err(locked ? "*** Error locking password for for user \"%s\" in Web realm \"%s\" !\n"
                   : "*** Error unlocking password for for user \"%s\" in Web realm \"%s\"!\n",
            user.c_str(), realm.c_str());
    }
    const auto pwd = webViews.pwdUsers.find(user);
    if (pwd != webViews.pwdUsers.end() && pwd->second.locked != locked &&
        !lockWebUserPasswordDigest(pwdFile(), user, nullptr, locked)) {
        err(locked ? "*** Error locking htpassword for for user \"%s\" in Web realm \"%s\" !\n"
                   : "*** Error unlocking htpassword for for user \"%s\" in Web realm \"%s\" !\n",
            user.c_str(), realm.c_str());
    }
}

// Steps shared by web users and CLI users in web realms.
void reconcileWebUser(const std::string& user, const std::string& realm, const UserDataConfig* c, bool locked,
                      const std::string& changeEntry, bool cliUser)
{
    keepDigest.insert(user + ":" + realm);
    keepPwd.insert(user);
    if (c != nullptr && !c->userPassword.empty()) {
        if (setWebUserPassword(digestFile(), user, &realm, c->userPassword, locked)) {
            passwordChangeSet[changeEntry] = c->userPassword;
        } else {
            err(cliUser ? "*** Error setting password digest for for user \"%s\" in Web realm \"%s\" !\n"
                        : "*** Error setting password for for user \"%s\" in Web realm \"%s\" !\n",
                user.c_str(), realm.c_str());
        }
        if (!setWebUserPassword(pwdFile(), user, nullptr, c->userPassword, locked)) {
            err("*** Error setting password for for user \"%s\"!\n", user.c_str());
        }
        readWebFiles();
        return;
    }
    if (c != nullptr && c->userPasswordIsDefault && !defaultWebPassword(user, realm, *c, locked)) {
        return;
    }
    if (webViews.digestUsers.count(user + ":" + realm) == 0) {
        if (cliUser) {
            err("*** Error password not available for Web realm \"%s\" for user \"%s\" !\n", realm.c_str(),
                user.c_str());
        } else {
            err("*** Error password not available for user \"%s\" in Web realm \"%s\"!\n", user.c_str(),
                realm.c_str());
        }
        return;
    }
    applyWebLock(user, realm, locked);
    readWebFiles();
}

bool isGroupMember(const RealmData& cli, const UserDataSys& user, const GroupDataSys& group)
{
    if (user.primaryGroupId == group.gidNumber) {
        return true;
    }
    for (const auto& m : group.members) {
        if (m == user.name) {
            return true;
        }
    }
    (void)cli;
    return false;
}

} // namespace

void processWebConfig(const RealmData& webRealm, const RealmData* cliRealm)
{
    const std::string& r = webRealm.name;
    for (const auto& [user, c] : webRealm.users) {
        if (cliRealm != nullptr && cliRealm->users.count(user) != 0) {
            err("*** Error the user \"%s\" in Web realm \"%s\" is already defined as a cli user!\n", user.c_str(),
                r.c_str());
            continue;
        }
        if (c.status == usDeleted) {
            if (webViews.digestUsers.count(user + ":" + r) != 0 &&
                !deleteWebUserPasswordDigest(digestFile(), user, &r)) {
                err("*** Error removing user \"%s\" from Web realm \"%s\"!\n", user.c_str(), r.c_str());
            }
            readWebFiles();
            continue;
        }
        if (c.status != usActive && c.status != usLocked) {
            err("*** Error unknown enumeration value \"%d\" for user \"%s\" status in realm \"%s\"!\n", c.status,
                user.c_str(), r.c_str());
            // Not knowing what is wanted, the lines stay as they are.
            if (webViews.digestUsers.count(user + ":" + r) != 0 || webViews.pwdUsers.count(user) != 0) {
                err("*** Keeping the Web password lines of user \"%s\" of realm \"%s\": it has no valid status\n",
                    user.c_str(), r.c_str());
            }
            keepDigest.insert(user + ":" + r);
            keepPwd.insert(user);
            continue;
        }
        reconcileWebUser(user, r, &c, c.status == usLocked, userPropertyPath(r, user),
                         false);
    }
}

void processCliWebConfig(const RealmData& cliRealm)
{
    for (const auto& webRealm : realms) {
        if (webRealm.service != svcWebsvr) {
            continue;
        }
        const std::string& w = webRealm.name;
        const auto group = cliRealm.sysGroups.find(w);
        if (group == cliRealm.sysGroups.end()) {
            continue;
        }
        for (const auto& [name, sys] : cliRealm.sysUsers) {
            if (!isGroupMember(cliRealm, sys, group->second)) {
                if (webViews.digestUsers.count(name + ":" + w) != 0 &&
                    !deleteWebUserPasswordDigest(digestFile(), name, &w)) {
                    err("*** Error removing \"%s:%s\" from Web digest file!\n", name.c_str(), w.c_str());
                }
                continue;
            }
            const auto configured = cliRealm.users.find(name);
            const UserDataConfig* c = configured != cliRealm.users.end() ? &configured->second : nullptr;
            UserDataConfig effective;
            if (c != nullptr && combineUserConfig(name, effective, cliRealm)) {
                c = &effective;
            }
            // The message for a missing password names the realm first.
                reconcileWebUser(name, w, c, sys.locked, userPropertyPath(cliRealm.name, name),
                             true);
        }
        readWebFiles();
    }
}

namespace {

// Tells whether the lines of user (in realm, for a digest line; any realm
// for an htpasswd line, realm null) belong to something that failed to
// load, and says so once per realm or user.
class FailedToLoad {
public:
    bool Covers(const std::string& user, const std::string* realm)
    {
        if (!loadFailures.realmsWithUnknownUsers.empty()) {
            Say("*** Keeping every Web password line: the users of realm \"" +
                *loadFailures.realmsWithUnknownUsers.begin() + "\" could not be read\n");
            return true;
        }
        if (realm != nullptr && loadFailures.realms.count(*realm) != 0) {
            SayRealm(*realm);
            return true;
        }
        // A user is kept in every realm: a CLI user that failed to load has
        // its lines in web realms named after its groups.
        for (const auto& [failedRealm, failedUser] : loadFailures.users) {
            if (failedUser != user) {
                continue;
            }
            if (loadFailures.realms.count(failedRealm) != 0) {
                SayRealm(failedRealm);
            } else {
                Say("*** Keeping the Web password lines of user \"" + user + "\" of realm \"" + failedRealm +
                    "\": it could not be loaded\n");
            }
            return true;
        }
        return false;
    }

private:
    void SayRealm(const std::string& realm)
    {
        Say("*** Keeping the Web password lines of realm \"" + realm + "\": it could not be loaded\n");
    }
    void Say(const std::string& message)
    {
        if (said_.insert(message).second) {
            err("%s", message.c_str());
        }
    }

    std::set<std::string> said_;
};

} // namespace

void removeStaleWebLines()
{
    FailedToLoad failed;
    for (const auto& [unique, entry] : webViews.digestUsers) {
        if (keepDigest.count(unique) != 0 || failed.Covers(entry.user, &entry.realm)) {
            continue;
        }
        if (!deleteWebUserPasswordDigest(digestFile(), entry.user, &entry.realm)) {
            err("*** Error deleting entry \"%s\" from Web password digest file \"%s\"!\n", unique.c_str(),
                digestFile().c_str());
        }
    }
    for (const auto& [user, entry] : webViews.pwdUsers) {
        if (keepPwd.count(user) != 0 || failed.Covers(user, nullptr)) {
            continue;
        }
        if (!deleteWebUserPasswordDigest(pwdFile(), user, nullptr)) {
            err("*** Error deleting entry \"%s\" from Web password file \"%s\"!\n", user.c_str(), pwdFile().c_str());
        }
    }
    readWebFiles();
}

} // namespace realmgen
