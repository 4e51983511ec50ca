// Groups of the CLI realm: deletions first (so a GID can move), then additions.
#include "processing.h"
#include "report.h"
#include "system_ops.h"
#include "system_views.h"

#include <cerrno>
#include <cstring>

namespace realmgen {

namespace {

// A group may go only when no account, present or configured, still needs it.
bool mayDeleteGroup(const RealmData& realm, const GroupDataSys& sysGroup)
{
    bool ok = true;
    for (const auto& [name, user] : realm.sysUsers) {
        if (user.primaryGroupId == sysGroup.gidNumber) {
            err("*** Error the group \"%s\" is a primary group for user \"%s\" and cannot be deleted!\n",
                sysGroup.name.c_str(), name.c_str());
            ok = false;
        }
    }
    for (const auto& [name, configured] : realm.users) {
        UserDataConfig effective;
        if (!combineUserConfig(name, effective, realm)) {
            continue;
        }
        if (effective.primaryGroup == sysGroup.name) {
            err("*** Error the group \"%s\" is a primary group for user \"%s\" and cannot be deleted!\n",
                sysGroup.name.c_str(), name.c_str());
            ok = false;
        }
        const auto member = effective.memberOf.find(sysGroup.name);
        if (member != effective.memberOf.end() && member->second) {
            err("*** Error the group \"%s\" is a group to which user \"%s\" belongs and cannot be deleted!\n",
                sysGroup.name.c_str(), name.c_str());
            ok = false;
        }
    }
    return ok;
}

bool usableGroupName(const std::string& name)
{
    if (name.find(':') != std::string::npos || name.find('\n') != std::string::npos) {
        err("*** Error the group name \"%s\" contains a colon (:)!\n", name.c_str());
        return false;
    }
    // A leading "-" would be read as an option by the account programs.
    if (!name.empty() && name[0] == '-') {
        err("*** Error the group name \"%s\" begins with \"-\"!\n", name.c_str());
        return false;
    }
    return true;
}

void deleteGroups(RealmData& realm)
{
    for (const auto& [name, group] : realm.groups) {
        if (group.status != gsDeleted || !usableGroupName(name)) {
            continue;
        }
        const auto sys = realm.sysGroups.find(name);
        if (sys == realm.sysGroups.end()) {
            continue;
        }
        if (!mayDeleteGroup(realm, sys->second)) {
            err("*** Error during validation for group \"%s\" delete!\n", name.c_str());
            continue;
        }
        if (!deleteSystemGroup(name)) {
            err("*** Error deleting group \"%s\" !\n", name.c_str());
            continue;
        }
        rereadSystemAccounts(realm);
        if (realm.sysGroups.count(name) != 0) {
            err("*** Error the group \"%s\" is still present after deletion attempt!\n", name.c_str());
        } else {
            out("*** The group \"%s\" has been deleted.\n", name.c_str());
        }
    }
}

void addGroups(RealmData& realm)
{
    for (const auto& [name, group] : realm.groups) {
        if (group.status == gsDeleted || group.status == gsRemote || !usableGroupName(name)) {
            continue;
        }
        const auto sys = realm.sysGroups.find(name);
        if (sys != realm.sysGroups.end()) {
            if (group.gidNumber >= 0 && sys->second.gidNumber != group.gidNumber) {
                err("*** Error the group \"%s\" with ID \"%d\" already exists on the system with a different Group "
                    "ID \"%d\"!\n",
                    name.c_str(), group.gidNumber, sys->second.gidNumber);
            }
            continue;
        }
        bool clash = false;
        for (const auto& [otherName, other] : realm.sysGroups) {
            if (group.gidNumber >= 0 && other.gidNumber == group.gidNumber) {
                err("*** Error the system group \"%s\" already exists with the same ID \"%d\" as group \"%s\"!\n",
                    otherName.c_str(), group.gidNumber, name.c_str());
                clash = true;
            }
        }
        if (clash) {
            continue;
        }
        if (addSystemGroup(name, group.gidNumber)) {
            out("*** The group \"%s\" with ID \"%d\" has been added.\n", name.c_str(), group.gidNumber);
            rereadSystemAccounts(realm);
        } else {
            err("*** Error adding the group \"%s\" with ID \"%d\"!\n", name.c_str(), group.gidNumber);
        }
    }
}

} // namespace

void processGroups(RealmData& realm)
{
    deleteGroups(realm);
    addGroups(realm);
}

} // namespace realmgen
