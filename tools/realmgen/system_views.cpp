#include "system_views.h"

#include "report.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <grp.h>
#include <memory>
#include <pwd.h>
#include <shadow.h>

namespace realmgen {

WebViews webViews;

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

bool readGroups(RealmData& realm)
{
    File f(std::fopen("/etc/group", "re"));
    if (!f) {
        return false;
    }
    realm.sysGroups.clear();
    while (const group* g = ::fgetgrent(f.get())) {
        GroupDataSys view;
        view.name = g->gr_name;
        view.password = g->gr_passwd != nullptr ? g->gr_passwd : "";
        view.gidNumber = static_cast<int>(g->gr_gid);
        for (char** m = g->gr_mem; m != nullptr && *m != nullptr; ++m) {
            view.members.emplace_back(*m);
        }
        realm.sysGroups[view.name] = std::move(view);
    }
    return true;
}

bool readUsers(RealmData& realm)
{
    File f(std::fopen("/etc/passwd", "re"));
    if (!f) {
        return false;
    }
    realm.sysUsers.clear();
    while (const passwd* p = ::fgetpwent(f.get())) {
        UserDataSys view;
        view.name = p->pw_name;
        view.homeDirectory = p->pw_dir != nullptr ? p->pw_dir : "";
        view.loginShell = p->pw_shell != nullptr ? p->pw_shell : "";
        view.comment = p->pw_gecos != nullptr ? p->pw_gecos : "";
        view.uidNumber = static_cast<int>(p->pw_uid);
        view.primaryGroupId = static_cast<int>(p->pw_gid);
        for (const auto& [name, g] : realm.sysGroups) {
            if (g.gidNumber == view.primaryGroupId) {
                view.primaryGroup = name;
                break;
            }
        }
        realm.sysUsers[view.name] = std::move(view);
    }
    return true;
}

bool readShadow(RealmData& realm)
{
    File f(std::fopen("/etc/shadow", "re"));
    if (!f) {
        return false;
    }
    while (const spwd* s = ::fgetspent(f.get())) {
        auto user = realm.sysUsers.find(s->sp_namp);
        if (user != realm.sysUsers.end() && s->sp_pwdp != nullptr) {
            user->second.password = s->sp_pwdp;
            user->second.locked = s->sp_pwdp[0] == '!';
        }
    }
    return true;
}

template <class Parse, class Store>
void readLines(const std::string& path, Parse parse, Store store)
{
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        parse(line, store);
    }
}

} // namespace

bool readSystemAccounts(RealmData& realm)
{
    return readGroups(realm) && readUsers(realm) && readShadow(realm);
}

void rereadSystemAccounts(RealmData& realm)
{
    if (!readSystemAccounts(realm)) {
        err("*** Error \"%s\" loading system user and group configuration\n", std::strerror(errno));
    }
}

bool parseDigestLine(const std::string& line, WebUserDataSys& entry)
{
    entry = WebUserDataSys{};
    const auto first = line.find(':');
    if (first == std::string::npos) {
        return false;
    }
    const auto second = line.find(':', first + 1);
    if (second == std::string::npos) {
        return false;
    }
    entry.user = line.substr(0, first);
    entry.realm = line.substr(first + 1, second - first - 1);
    entry.uniqueName = entry.user + ":" + entry.realm;
    entry.hash = line.substr(second + 1);
    entry.locked = !entry.hash.empty() && entry.hash[0] == '!';
    return true;
}

bool parsePwdLine(const std::string& line, WebUserPwdSys& entry)
{
    entry = WebUserPwdSys{};
    const auto colon = line.find(':');
    if (colon == std::string::npos) {
        return false;
    }
    entry.user = line.substr(0, colon);
    entry.key = entry.user;
    entry.userPassword = line.substr(colon + 1);
    // "$type$salt$hash"; a locked hash has "!" after the last "$".
    const std::string& pw = entry.userPassword;
    const auto typeEnd = pw.size() > 1 && pw[0] == '$' ? pw.find('$', 1) : std::string::npos;
    const auto saltEnd = typeEnd != std::string::npos ? pw.find('$', typeEnd + 1) : std::string::npos;
    if (saltEnd != std::string::npos) {
        entry.type = pw.substr(1, typeEnd - 1);
        entry.salt = pw.substr(typeEnd + 1, saltEnd - typeEnd - 1);
        entry.passwordHash = pw.substr(saltEnd + 1);
    } else {
        entry.passwordHash = pw;
    }
    entry.locked = !entry.passwordHash.empty() && entry.passwordHash[0] == '!';
    return true;
}

void readWebFiles()
{
    webViews.digestUsers.clear();
    webViews.pwdUsers.clear();
    readLines(settings.webPasswordDigestFile, [](const std::string& line, auto&) {
        WebUserDataSys e;
        if (parseDigestLine(line, e)) {
            webViews.digestUsers[e.uniqueName] = e;
        }
    }, webViews);
    readLines(settings.webPasswordFile, [](const std::string& line, auto&) {
        WebUserPwdSys e;
        if (parsePwdLine(line, e)) {
            webViews.pwdUsers[e.key] = e;
        }
    }, webViews);
}

void listWebViews()
{
    out("==============================================\n");
    out("System Web Users\n");
    out("----------------------------------------------\n");
    for (const auto& [key, e] : webViews.digestUsers) {
        out("   Unique Name:  %s\n", e.uniqueName.c_str());
        out("          User:  %s\n", e.user.c_str());
        out("         Realm:  %s\n", e.realm.c_str());
        out("        Locked:  %s\n", e.locked ? "true" : "false");
        out("      Pwd Hash:  %s\n", e.hash.c_str());
    }
    out("==============================================\n");
    out("System Web Password Users\n");
    out("----------------------------------------------\n");
    for (const auto& [key, e] : webViews.pwdUsers) {
        out("         Key:  %s\n", e.key.c_str());
        out("        User:  %s\n", e.user.c_str());
        out("        Type:  %s\n", e.type.c_str());
        out("        Salt:  %s\n", e.salt.c_str());
        out("      Locked:  %s\n", e.locked ? "true" : "false");
        out("    Pwd Hash:  %s\n", e.passwordHash.c_str());
        out("    User Pwd:  %s\n", e.userPassword.c_str());
    }
}

} // namespace realmgen
