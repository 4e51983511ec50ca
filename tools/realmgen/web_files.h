// The web server's password files: the digest file (user:realm:HA1) and the
// htpasswd file (user:$apr1$salt$hash). A null realm means the htpasswd file.
// Every change replaces the file as a whole (written beside, flushed, then
// renamed), so a reader never sees half a file.
#pragma once

#include <string>

namespace realmgen {

bool setWebUserPassword(const std::string& file, const std::string& user, const std::string* realm,
                        const std::string& password, bool locked);
// Stores a ready hash (a default) as the user's entry, locked when asked.
bool setWebUserHash(const std::string& file, const std::string& user, const std::string* realm,
                    const std::string& hash, bool locked);
// Locks (lock true) or unlocks the user's entry; an entry already in that
// state is left alone.
bool lockWebUserPasswordDigest(const std::string& file, const std::string& user, const std::string* realm,
                               bool lock);
bool deleteWebUserPasswordDigest(const std::string& file, const std::string& user, const std::string* realm);

// "!" after the last "$" of an htpasswd hash marks it locked.
std::string lockedPwdHash(const std::string& hash, bool locked);

} // namespace realmgen
