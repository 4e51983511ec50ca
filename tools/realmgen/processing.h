// Reconciling the system with the loaded realms, in the order of a run:
// groups, CLI users, web users, stale web lines, clear-text passwords.
#pragma once

#include "realm_model.h"

namespace realmgen {

void processGroups(RealmData& realm);
void processCliUsers(RealmData& realm);
void processCliConfig(RealmData& realm);

void processCliWebConfig(const RealmData& cliRealm);
void processWebConfig(const RealmData& webRealm, const RealmData* cliRealm);
void removeStaleWebLines();
void cleanupPasswords();

// The whole run after loading.
void processRealms();

} // namespace realmgen
