// Views of the system's account database and of the web password files, read
// afresh after every batch of changes so later checks see the new state.
#pragma once

#include "realm_model.h"

#include <map>
#include <string>

namespace realmgen {

struct WebViews {
    std::map<std::string, WebUserDataSys> digestUsers; // by "user:realm"
    std::map<std::string, WebUserPwdSys> pwdUsers;      // by user
};

extern WebViews webViews;

// Fills realm.sysUsers and realm.sysGroups from /etc/passwd, /etc/group and
// /etc/shadow; false (errno set) when a file cannot be read.
bool readSystemAccounts(RealmData& realm);
// The same, with the message when the files cannot be read.
void rereadSystemAccounts(RealmData& realm);
// Reads the digest and htpasswd files named in the settings; missing files
// are empty.
void readWebFiles();

// Parsing of one line of each web file; false for a line that is not one.
bool parseDigestLine(const std::string& line, WebUserDataSys& entry);
bool parsePwdLine(const std::string& line, WebUserPwdSys& entry);

void listWebViews();

} // namespace realmgen
