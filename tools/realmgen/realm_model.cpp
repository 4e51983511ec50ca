#include "realm_model.h"

#include "report.h"

#include <regex>
#include <stdexcept>

using Vantor_cfgmgr::ValueGeneric;
using Vantor_cfgmgr::ValueObject;
using Vantor_util::EnumMap_c;
using Vantor_util::EnumPair_t;

namespace realmgen {

Settings settings;
std::list<RealmData> realms;
LoadFailures loadFailures;

void out(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(Vantor_cfgmgr::OutputStream(), format, args);
    va_end(args);
}

void err(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(Vantor_cfgmgr::ErrorStream(), format, args);
    va_end(args);
}

namespace {

const EnumPair_t serviceTable[] = {{0, "unspecified"}, {1, "cli"}, {2, "websvr"}, {3, "dotnet"},
                                   {4, "mqttsvr"}, {-1, nullptr}};
const EnumPair_t realmPropertyTable[] = {{0, "unspecified"}, {1, "users"}, {2, "service"},
                                         {3, "groups"}, {4, "roles"}, {-1, nullptr}};
const EnumPair_t userStatusTable[] = {{0, "unspecified"}, {1, "active"}, {2, "locked"},
                                      {3, "deleted"}, {4, "remote"}, {-1, nullptr}};
const EnumPair_t groupStatusTable[] = {{0, "unspecified"}, {1, "active"}, {2, "deleted"},
                                       {3, "remote"}, {-1, nullptr}};

// Reads a member-of style object: a property whose text is "true" is a
// membership, anything else is not.
void readBoolMap(const ValueGeneric* value, BoolMap& into)
{
    const ValueObject* object = value->AsObject();
    if (object == nullptr) {
        throw std::invalid_argument("memberOf must be an Object");
    }
    for (const auto& [name, member] : object->GetProperties()) {
        into[name] = valueText(member) == "true";
    }
}

void readTextMap(const ValueGeneric* value, TextMap& into)
{
    const ValueObject* object = value->AsObject();
    if (object == nullptr) {
        throw std::invalid_argument("userPasswordHash must be an Object");
    }
    for (const auto& [name, hash] : object->GetProperties()) {
        into[name] = valueText(hash);
    }
}

// Reads a decimal number the way std::stoi does (a trailing text is
// ignored); false after the message when there is none.
bool readIdNumber(const ValueGeneric* value, int& into, const char* what, const char* owner, const char* name)
{
    const std::string text = valueText(value);
    try {
        into = std::stoi(text);
        return true;
    } catch (const std::exception& e) {
        err("*** Error \"%s\" invalid %s \"%s\" for %s \"%s\"\n", e.what(), what, text.c_str(), owner, name);
        return false;
    }
}

// Returns false (after the message) when the user must be left out.
bool loadUserProperty(UserDataConfig& user, const std::string& userName, const std::string& prop,
                      const ValueGeneric* value)
{
    const std::string text = valueText(value);
    if (prop == "allowSSH") {
        user.allowSSH = text == "true";
        user.allowSSHGiven = true;
    } else if (prop == "homeDirectory") {
        user.homeDirectory = text;
        user.homeDirectoryGiven = true;
    } else if (prop == "loginShell") {
        user.loginShell = text;
        user.loginShellGiven = true;
    } else if (prop == "comment") {
        user.comment = text;
    } else if (prop == "primaryGroup") {
        user.primaryGroup = text;
    } else if (prop == "status") {
        user.status = UserStatusMap().GetKey(text.c_str());
        if (user.status < 0) {
            err("*** Error \"%s\" is an invalid user status property!\n", text.c_str());
            return false;
        }
    } else if (prop == "uidNumber") {
        if (!readIdNumber(value, user.uidNumber, "uidNumber", "user", userName.c_str())) {
            return false;
        }
        // -1 means "let the system choose"; other negative numbers would
        // become huge IDs once formatted as unsigned.
        if (user.uidNumber < -1) {
            err("*** Error \"%s\" invalid uidNumber \"%s\" for user \"%s\"\n", "negative", text.c_str(),
                userName.c_str());
            return false;
        }
    } else if (prop == "userPasswordIsDefault") {
        user.userPasswordIsDefault = text != "false";
    } else if (prop == "userPassword") {
        user.userPassword = text;
    } else if (prop == "userPasswordHash") {
        readTextMap(value, user.userPasswordHash);
    } else if (prop == "memberOf") {
        readBoolMap(value, user.memberOf);
    }
    return true;
}

void loadRoleProperty(RoleDataConfig& role, const std::string& prop, const ValueGeneric* value)
{
    if (prop == "allowSSH") {
        role.allowSSH = valueText(value) == "true";
        role.allowSSHGiven = true;
    } else if (prop == "homeDirectory") {
        role.homeDirectory = valueText(value);
        role.homeDirectoryGiven = true;
    } else if (prop == "loginShell") {
        role.loginShell = valueText(value);
        role.loginShellGiven = true;
    } else if (prop == "primaryGroup") {
        role.primaryGroup = valueText(value);
    } else if (prop == "memberOf") {
        readBoolMap(value, role.memberOf);
    }
}

} // namespace

const EnumMap_c& ServiceMap()
{
    static const EnumMap_c map(serviceTable, std::strcmp);
    return map;
}
const EnumMap_c& RealmPropertyMap()
{
    static const EnumMap_c map(realmPropertyTable, std::strcmp);
    return map;
}
const EnumMap_c& UserStatusMap()
{
    static const EnumMap_c map(userStatusTable, std::strcmp);
    return map;
}
const EnumMap_c& GroupStatusMap()
{
    static const EnumMap_c map(groupStatusTable, std::strcmp);
    return map;
}

const char* imageOf(const EnumMap_c& map, int key) { return map.GetImageSafe(key); }

std::string valueText(const ValueGeneric* value)
{
    if (value == nullptr) {
        return {};
    }
    if (const auto* s = value->AsString()) {
        return s->GetValue() != nullptr ? std::string(s->GetValue(), s->GetLength()) : std::string();
    }
    rapidjson::StringBuffer buffer;
    Vantor_cfgmgr::Writer writer(buffer);
    value->Write(&writer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

namespace {

// Walks the instances of one map. readOne fills an entry and answers whether
// to keep it; an entry that is not an object stops the map; an exception
// leaves that entry out with the message naming the kind of instance.
template <class Entry, class ReadOne>
bool loadInstances(const ValueObject* instances, std::map<std::string, Entry>& into, const char* kind,
                   ReadOne readOne)
{
    bool ok = true;
    for (const auto& [name, value] : instances->GetProperties()) {
        const ValueObject* object = value->AsObject();
        if (object == nullptr) {
            err("*** Error instance \"%s\" main property is not a JSON Object!\n", name);
            return false;
        }
        try {
            Entry entry;
            if (readOne(name, object, entry)) {
                into[name] = std::move(entry);
            } else {
                ok = false;
            }
        } catch (const std::exception& e) {
            err("*** Error \"%s\" validating %s \"%s\"\n", e.what(), kind, name);
            ok = false;
        }
    }
    return ok;
}

} // namespace

bool loadUsersFromJson(RealmData& realm, const ValueObject* users)
{
    const bool ok = loadInstances(users, realm.users, "CLI Instance",
                                  [](const char* name, const ValueObject* object, UserDataConfig& user) {
                                      bool keep = true;
                                      for (const auto& [prop, propValue] : object->GetProperties()) {
                                          keep = loadUserProperty(user, name, prop, propValue) && keep;
                                      }
                                      return keep;
                                  });
    // Every user left out, also those after an entry that stopped the map.
    for (const auto& [name, value] : users->GetProperties()) {
        if (realm.users.count(name) == 0) {
            loadFailures.users.emplace(realm.name, name);
        }
    }
    return ok;
}

bool loadGroupsFromJson(RealmData& realm, const ValueObject* groups)
{
    return loadInstances(groups, realm.groups, "CLI Group",
                         [](const char* name, const ValueObject* object, GroupDataSys& group) {
                             group.name = name;
                             bool keep = true;
                             if (const ValueGeneric* gid = object->GetProperty("gidNumber")) {
                                 keep = readIdNumber(gid, group.gidNumber, "gidNumber", "group", name);
                                 if (keep && group.gidNumber < -1) {
                                     err("*** Error \"%s\" invalid gidNumber \"%s\" for group \"%s\"\n",
                                         "negative", valueText(gid).c_str(), name);
                                     keep = false;
                                 }
                             }
                             if (const ValueGeneric* status = object->GetProperty("status")) {
                                 const std::string text = valueText(status);
                                 group.status = GroupStatusMap().GetKey(text.c_str());
                                 if (group.status < 0) {
                                     err("*** Error \"%s\" is an invalid group status property!\n", text.c_str());
                                     keep = false;
                                 }
                             }
                             return keep;
                         });
}

bool loadRolesFromJson(RealmData& realm, const ValueObject* roles)
{
    return loadInstances(roles, realm.roles, "Role Instance",
                         [](const char*, const ValueObject* object, RoleDataConfig& role) {
                             for (const auto& [prop, propValue] : object->GetProperties()) {
                                 loadRoleProperty(role, prop, propValue);
                             }
                             return true;
                         });
}

namespace {

// One property of a realm object; false drops the realm.
bool loadRealmProperty(RealmData& realm, bool& loadOk, const char* prop, const ValueGeneric* value)
{
    const int key = RealmPropertyMap().GetKey(prop);
    if (key < 0) {
        err("*** Error \"%s\" is an invalid realm property for realm \"%s\"!\n", prop, realm.name.c_str());
        return false;
    }
    if (key == rpUnspecified) {
        err("*** Error invalid enum, \"%d\", for property \"%s\" in realm \"%s\"!\n", key, prop,
            realm.name.c_str());
        return false;
    }
    if (key == rpService) {
        const auto* s = value->AsString();
        if (s == nullptr) {
            err("*** Error invalid service property in realm \"%s\"!\n", realm.name.c_str());
            return false;
        }
        const std::string text = valueText(s);
        realm.service = ServiceMap().GetKey(text.c_str());
        if (realm.service < 0) {
            err("*** Error invalid service \"%s\" in realm \"%s\"!\n", text.c_str(), realm.name.c_str());
            return false;
        }
        return true;
    }
    const ValueObject* object = value->AsObject();
    if (object == nullptr) {
        err("*** Error instance \"%s\" main property is not a JSON Object!\n", prop);
        return false;
    }
    bool ok = true;
    if (key == rpUsers) {
        ok = loadUsersFromJson(realm, object);
    } else if (key == rpGroups) {
        ok = loadGroupsFromJson(realm, object);
    } else {
        ok = loadRolesFromJson(realm, object);
    }
    loadOk = loadOk && ok;
    return true;
}

} // namespace

namespace {

// A dropped realm: its name, and the names of its users where they can be
// read, so that their password lines stay.
void recordRealmFailure(const char* name, const ValueGeneric* value)
{
    loadFailures.realms.insert(name);
    const ValueObject* object = value != nullptr ? value->AsObject() : nullptr;
    const ValueGeneric* users = object != nullptr ? object->GetProperty("users") : nullptr;
    if (users == nullptr) {
        return;
    }
    const ValueObject* userObject = users->AsObject();
    if (userObject == nullptr) {
        loadFailures.realmsWithUnknownUsers.insert(name);
        return;
    }
    for (const auto& [user, userValue] : userObject->GetProperties()) {
        loadFailures.users.emplace(name, user);
    }
}

bool loadRealmOrFail(const char* name, const ValueGeneric* value)
{
    if (settings.verbose > 0) {
        out("processRealm %s\n", name);
    }
    try {
        const ValueObject* object = value->AsObject();
        if (object == nullptr) {
            err("*** Error instance \"%s\" main property is not a JSON Object!\n", name);
            return false;
        }
        RealmData realm;
        realm.name = name;
        bool loadOk = true;
        for (const auto& [prop, propValue] : object->GetProperties()) {
            if (!loadRealmProperty(realm, loadOk, prop, propValue)) {
                return false;
            }
        }
        realms.push_back(std::move(realm));
        return loadOk;
    } catch (const std::exception& e) {
        err("*** Error \"%s\" validating Realm Instance \"%s\"\n", e.what(), name);
        return false;
    }
}

} // namespace

bool loadRealm(const char* name, const ValueGeneric* value)
{
    const size_t before = realms.size();
    const bool ok = loadRealmOrFail(name, value);
    if (realms.size() == before) {
        recordRealmFailure(name, value);
    }
    return ok;
}


namespace {

std::string replaceUser(const std::string& text, const std::string& user)
{
    static const std::regex placeholder("\\$\\{USER\\}", std::regex::ECMAScript);
    // "$$" keeps a dollar in a user name from being read as a back-reference.
    std::string replacement;
    for (char c : user) {
        replacement += c;
        if (c == '$') {
            replacement += '$';
        }
    }
    return std::regex_replace(text, placeholder, replacement);
}

} // namespace

bool combineUserConfig(const std::string& name, UserDataConfig& config, const RealmData& realm)
{
    const auto user = realm.users.find(name);
    if (user == realm.users.end()) {
        return false;
    }
    const UserDataConfig& own = user->second;
    if (realm.groups.count(own.primaryGroup) != 0) {
        config = own;
        return true;
    }
    const auto role = realm.roles.find(own.primaryGroup);
    if (role == realm.roles.end()) {
        err("***Error the primary group \"%s\" for user \"%s\" is neither a valid group nor a valid role!\n",
            own.primaryGroup.c_str(), name.c_str());
        return false;
    }
    const RoleDataConfig& r = role->second;
    config = own;
    config.allowSSH = own.allowSSHGiven ? own.allowSSH : r.allowSSH;
    config.allowSSHGiven = own.allowSSHGiven || r.allowSSHGiven;
    config.primaryGroup = r.primaryGroup;
    config.loginShell = own.loginShellGiven ? own.loginShell : replaceUser(r.loginShell, name);
    config.loginShellGiven = own.loginShellGiven || r.loginShellGiven;
    config.homeDirectory = own.homeDirectoryGiven ? own.homeDirectory : replaceUser(r.homeDirectory, name);
    config.homeDirectoryGiven = own.homeDirectoryGiven || r.homeDirectoryGiven;
    config.memberOf = r.memberOf;
    for (const auto& [group, member] : own.memberOf) {
        config.memberOf[group] = member;
    }
    return true;
}

void checkRoleGroupNames(const RealmData& realm)
{
    for (const auto& [name, role] : realm.roles) {
        if (realm.groups.count(name) != 0) {
            err("***Error the role \"%s\" has the same name as a group!\n", name.c_str());
        }
    }
}

} // namespace realmgen
