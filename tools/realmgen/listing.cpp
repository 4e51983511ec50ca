// The verbose listings (-v): what was configured and what the system holds.
#include "realm_model.h"
#include "report.h"

namespace realmgen {

namespace {

void section(const char* title)
{
    out("==============================================\n");
    out("%s", title);
    out("----------------------------------------------\n");
}

const char* yesNo(bool b) { return b ? "true" : "false"; }

// The first entry shares the label's line, later ones are indented under it.
template <class Map, class Fmt>
void entries(const char* label, const Map& map, Fmt fmt)
{
    out("%s", label);
    bool first = true;
    for (const auto& [k, v] : map) {
        if (!first) {
            out("                 ");
        }
        fmt(k, v);
        first = false;
    }
    if (first) {
        out("\n");
    }
}

void listGroups(const BoolMap& groups)
{
    entries("        Groups:  ", groups,
            [](const std::string& k, bool v) { out("%s: %s\n", k.c_str(), yesNo(v)); });
}

} // namespace

void listRealmConfiguration(const RealmData& realm)
{
    out("Realm: %s  (%s)\n", realm.name.c_str(), imageOf(ServiceMap(), realm.service));
    section("User Configuration\n");
    for (const auto& [name, u] : realm.users) {
        out("     User Name:  %s\n", name.c_str());
        out("     Allow SSH:  %s\n", yesNo(u.allowSSH));
        out("      Home Dir:  %s\n", u.homeDirectory.c_str());
        out("   Login Shell:  %s\n", u.loginShell.c_str());
        out(" Primary Group:  %s\n", u.primaryGroup.c_str());
        out("           UID:  %d\n", u.uidNumber);
        out("        Status:  %s\n", imageOf(UserStatusMap(), u.status));
        out(" User Password:  %s\n", u.userPassword.empty() ? "" : "(set)");
        out("  Pwd Is Deflt:  %s\n", yesNo(u.userPasswordIsDefault));
        entries("    Pwd Hashes:  ", u.userPasswordHash,
                [](const std::string& k, const std::string& v) { out("%s: %s\n", k.c_str(), v.c_str()); });
        listGroups(u.memberOf);
    }
    section("Group Configuration\n");
    for (const auto& [name, g] : realm.groups) {
        out("    Group Name:  %s\n", name.c_str());
        out("           GID:  %d\n", g.gidNumber);
        out("        Status:  %s\n", imageOf(GroupStatusMap(), g.status));
    }
    section("Role Configuration\n");
    for (const auto& [name, r] : realm.roles) {
        out("     Role Name:  %s\n", name.c_str());
        out("     Allow SSH:  %s\n", yesNo(r.allowSSH));
        out("      Home Dir:  %s\n", r.homeDirectory.c_str());
        out("   Login Shell:  %s\n", r.loginShell.c_str());
        out(" Primary Group:  %s\n", r.primaryGroup.c_str());
        listGroups(r.memberOf);
    }
}

void listSystemAccounts(const RealmData& realm)
{
    section("System Users\n");
    for (const auto& [name, u] : realm.sysUsers) {
        out("     User Name:  %s\n", name.c_str());
        out("      Home Dir:  %s\n", u.homeDirectory.c_str());
        out("   Login Shell:  %s\n", u.loginShell.c_str());
        out(" Primary Group:  %s\n", u.primaryGroup.c_str());
        out("   Prim Grp ID:  %d\n", u.primaryGroupId);
        out("           UID:  %d\n", u.uidNumber);
        out("       Comment:  %s\n", u.comment.c_str());
        out("        Locked:  %s\n", yesNo(u.locked));
    }
    section("System Groups\n");
    for (const auto& [name, g] : realm.sysGroups) {
        out("    Group Name:  %s\n", name.c_str());
        out("           Pwd:  %s\n", g.password.c_str());
        out("            Id:  %d\n", g.gidNumber);
        out("       Members:  ");
        for (const auto& m : g.members) {
            out("%s ", m.c_str());
        }
        out("\n");
    }
}

} // namespace realmgen
