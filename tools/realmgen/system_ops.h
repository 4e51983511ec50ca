// The changes realmgen makes to the system, each through the system's own
// programs (or, for single fields of the colon-separated account files,
// through awk run by the save utility).
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace realmgen {

// Property paths ("accessmgr.<realm>.users.<user>", written as vcfg reads
// them) whose clear-text password was applied and must be removed from the
// configuration, each with that password (to find copies left in backups).
extern std::map<std::string, std::string> passwordChangeSet;

// The property path of a user's object, each name quoted where it holds a
// dot, a quote or a backslash, so vcfg finds that user and no other.
std::string userPropertyPath(const std::string& realm, const std::string& user);

// True when the device has BusyBox's account tools (no usermod).
bool busyBoxMode();

// Runs args[0] with the arguments; extraEnv is added to our environment and
// input, when given, becomes the program's standard input (secrets travel
// this way, never on a command line). Returns the wait status, -1 when the
// program could not be run.
// output, when given, receives the program's standard output instead of
// our output stream.
int runProgram(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv = {},
               const std::string* input = nullptr, FILE* output = nullptr);

// The first executable of candidates (ended by a null pointer); ends the
// process with 254, after "Cannot find the <name> utility!", when there is
// none.
const char* requireUtility(const char* const* candidates, const char* name);
// The save utility's path (requireUtility).
const char* saveUtility();

// Sets field `field` of the line whose first field is key (and second field
// key2, when given) in the colon-separated file; the old file stays beside
// it with ".bak" appended.
bool updateSystemFileField(const std::string& file, const std::string& key, int field,
                           const std::string& value, const std::string* key2 = nullptr);

bool addSystemGroup(const std::string& name, int gid);
bool deleteSystemGroup(const std::string& name);
bool deleteSystemUser(const std::string& name, bool removeHome);
bool lockSystemUserPassword(const std::string& name);
bool unlockSystemUserPassword(const std::string& name);
bool addUserToSystemGroup(const std::string& user, const std::string& group);
bool deleteUserFromSystemGroup(const std::string& user, const std::string& group);
bool createDirPath(const std::string& dir, const char* mode);
bool changeCliUserShell(const std::string& user, const std::string& shell);
bool changeCliUserHomeDir(const std::string& user, const std::string& primaryGroup, const std::string& dir);
bool changeCliUserPrimaryGroup(const std::string& user, const std::string& group);
bool changeCliUserComment(const std::string& user, const std::string& text);
bool renameSystemGroup(const std::string& oldName, const std::string& newName);
bool addSystemUser(const std::string& realm, const std::string& user, const std::string& home,
                   const std::string& shell, int uid, const std::string& primaryGroup,
                   const std::string& comment, const std::string& password, bool createHome);
bool setUserSshEnable(bool allow, int uid, int gid, const std::string& home);

// Hashes and stores a new password for a CLI user.
bool changeCliUserPassword(const std::string& realm, const std::string& user, const std::string& password);
// HTTP Digest HA1 of user:realm:password as 32 lower-case hex digits; empty
// on failure.
std::string generateWebUserPasswordDigest(const std::string& user, const std::string& realm,
                                          const std::string& password);
// The htpasswd line (user ":" apr1 hash) for the password; empty on failure.
std::string generateWebUserPassword(const std::string& user, const std::string& password);

} // namespace realmgen
