// realmgen's in-memory model of the access-manager configuration: the realms
// read from the JSON input and the views of the system's account and web
// password files they are reconciled with.
#pragma once

#include "Vantor_cfgmgr/Vantor_cfgmgr.h"

#include <list>
#include <map>
#include <set>
#include <string>

namespace realmgen {

enum Service : int { svcUnspecified = 0, svcCli = 1, svcWebsvr = 2, svcDotnet = 3, svcMqttsvr = 4 };
enum RealmProperty : int { rpUnspecified = 0, rpUsers = 1, rpService = 2, rpGroups = 3, rpRoles = 4 };
enum UserStatus : int { usUnspecified = 0, usActive = 1, usLocked = 2, usDeleted = 3, usRemote = 4 };
enum GroupStatus : int { gsUnspecified = 0, gsActive = 1, gsDeleted = 2, gsRemote = 3 };

// Ordered maps keep listings and processing in a stable, readable order.
using BoolMap = std::map<std::string, bool>;
using TextMap = std::map<std::string, std::string>;

struct UserDataConfig {
    std::string homeDirectory;
    bool homeDirectoryGiven = false;
    std::string loginShell;
    bool loginShellGiven = false;
    std::string comment;
    std::string primaryGroup;
    int uidNumber = -1;
    BoolMap memberOf;
    int status = usUnspecified;
    bool allowSSH = false;
    bool allowSSHGiven = false;
    std::string userPassword;
    bool userPasswordIsDefault = true;
    TextMap userPasswordHash;
};

struct RoleDataConfig {
    bool allowSSH = false;
    bool allowSSHGiven = false;
    std::string homeDirectory;
    bool homeDirectoryGiven = false;
    std::string loginShell;
    bool loginShellGiven = false;
    std::string primaryGroup;
    BoolMap memberOf;
};

struct GroupDataSys {
    std::string name;
    std::string password;
    int gidNumber = -1;
    std::list<std::string> members;
    int status = gsUnspecified; // configured groups only
};

struct UserDataSys {
    std::string name;
    std::string homeDirectory;
    std::string loginShell;
    std::string primaryGroup;
    int primaryGroupId = -1;
    int uidNumber = -1;
    std::string comment;
    std::string password = "*";
    bool locked = false;
};

struct WebUserDataSys {
    std::string uniqueName; // user ":" realm
    std::string user;
    std::string realm;
    bool locked = false;
    std::string hash;
};

struct WebUserPwdSys {
    std::string key;
    std::string user;
    std::string type;
    std::string salt;
    bool locked = false;
    std::string passwordHash;
    std::string userPassword; // the whole text after "user:"
};

struct RealmData {
    std::string name;
    int service = svcUnspecified;
    std::map<std::string, UserDataSys> sysUsers;
    std::map<std::string, GroupDataSys> sysGroups;
    std::map<std::string, UserDataConfig> users;
    std::map<std::string, GroupDataSys> groups;
    std::map<std::string, RoleDataConfig> roles;
};

// Program settings; the defaults are those of a device without a web
// server section.
struct Settings {
    std::string subsystemName = "accessmgr";
    std::string webSvrSubsystemName = "websvr";
    std::string webSvrSubsystemAuth = "auth";
    std::string webSvrSubsystemAuthFieldDigestFile = "backend-htdigest-userfile";
    std::string webSvrSubsystemAuthFieldPwdFile = "backend-htpasswd-userfile";
    std::string webPasswordDigestFile = "/etc/lighttpd/.htdigest";
    std::string webPasswordFile = "/etc/lighttpd/.htpasswd";
    std::string apiVersion;
    int verbose = 0;
};

inline constexpr const char* HTPASSWD_DEFAULT_KEY = "htpasswd";

// What could not be loaded. Its web password lines are left as they are:
// removing the lines of a realm or user that merely failed to load would
// lock its people out.
struct LoadFailures {
    std::set<std::string> realms;                           // realms dropped
    std::set<std::pair<std::string, std::string>> users;    // (realm, user) left out
    std::set<std::string> realmsWithUnknownUsers;           // dropped realms whose users cannot be read
};

extern Settings settings;
extern std::list<RealmData> realms;
extern LoadFailures loadFailures;

const Vantor_util::EnumMap_c& ServiceMap();
const Vantor_util::EnumMap_c& RealmPropertyMap();
const Vantor_util::EnumMap_c& UserStatusMap();
const Vantor_util::EnumMap_c& GroupStatusMap();
// Image of a key of one of the maps above, never null.
const char* imageOf(const Vantor_util::EnumMap_c& map, int key);

// A property value as text: a string as itself, anything else as compact JSON.
std::string valueText(const Vantor_cfgmgr::ValueGeneric* value);

bool loadUsersFromJson(RealmData& realm, const Vantor_cfgmgr::ValueObject* users);
bool loadGroupsFromJson(RealmData& realm, const Vantor_cfgmgr::ValueObject* groups);
bool loadRolesFromJson(RealmData& realm, const Vantor_cfgmgr::ValueObject* roles);
bool loadRealm(const char* name, const Vantor_cfgmgr::ValueGeneric* value);

// Reads the whole input file (the JSON root); 2 on error (messages printed),
// 0 otherwise. Realms that fail to load make the result 2 too.
int loadConfiguration(const char* fileName);

// The effective configuration of user `name` of the realm; false (with its
// message) when the primary group is neither a group nor a role.
bool combineUserConfig(const std::string& name, UserDataConfig& config, const RealmData& realm);
// Prints the message for every role that shares its name with a group.
void checkRoleGroupNames(const RealmData& realm);

void listRealmConfiguration(const RealmData& realm);
void listSystemAccounts(const RealmData& realm);

} // namespace realmgen
