// Reading the input file: the value tree, the web server settings and the
// realms.
#include "realm_model.h"
#include "report.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

using Vantor_cfgmgr::ValueGeneric;
using Vantor_cfgmgr::ValueObject;
using namespace realmgen;

namespace {

// The web server's password file names, when its section is present.
void readWebSettings(const ValueObject* root)
{
    const ValueGeneric* web = root->GetProperty(settings.webSvrSubsystemName.c_str());
    const ValueObject* webObject = web != nullptr ? web->AsObject() : nullptr;
    if (webObject == nullptr) {
        err("*** Web server configuration not found!\n");
        return;
    }
    const ValueGeneric* auth = webObject->GetProperty(settings.webSvrSubsystemAuth.c_str());
    const ValueObject* authObject = auth != nullptr ? auth->AsObject() : nullptr;
    if (authObject == nullptr) {
        err("*** Web auth configuration not found\n");
        return;
    }
    auto fileName = [&](const std::string& field, std::string& into, const char* failure) {
        const ValueGeneric* v = authObject->GetProperty(field.c_str());
        if (v == nullptr || !v->IsString()) {
            err("%s", failure);
            return;
        }
        std::string name = valueText(v);
        std::erase(name, '"');
        into = name;
    };
    fileName(settings.webSvrSubsystemAuthFieldDigestFile, settings.webPasswordDigestFile,
             "*** Error getting Web auth digest filename\n");
    fileName(settings.webSvrSubsystemAuthFieldPwdFile, settings.webPasswordFile,
             "*** Error getting Web auth password filename\n");
    if (settings.verbose > 0) {
        out("Web password digest file = %s \n", settings.webPasswordDigestFile.c_str());
        out("Web password file = %s \n", settings.webPasswordFile.c_str());
    }
}

void listRealms()
{
    out("Realm count = %ld\n", static_cast<long>(realms.size()));
    for (const auto& realm : realms) {
        out("    %s (%s)\n", realm.name.c_str(), imageOf(ServiceMap(), realm.service));
    }
    for (const auto& realm : realms) {
        listRealmConfiguration(realm);
    }
}

} // namespace

namespace realmgen {

int loadConfiguration(const char* fileName)
{
    Vantor_cfgmgr::Ref<ValueGeneric> root;
    try {
        root.reset(ValueGeneric::Load(fileName));
    } catch (const std::exception& e) {
        err("*** Error \"%s\" loading Access Manager configuration from \"%s\"\n", e.what(), fileName);
        return 2;
    }
    const ValueObject* top = root ? root->AsObject() : nullptr;
    if (top == nullptr) {
        err("*** Error Top level of subsystem \"%s\" config file is not a JSON Object!\n",
            settings.subsystemName.c_str());
        return 2;
    }
    ServiceMap();
    RealmPropertyMap();
    UserStatusMap();
    GroupStatusMap();
    const ValueGeneric* main = top->GetProperty(settings.subsystemName.c_str());
    const ValueObject* accessmgr = main != nullptr ? main->AsObject() : nullptr;
    if (accessmgr == nullptr) {
        err("*** Error Subsystem \"%s\" main property is not a JSON Object!\n", settings.subsystemName.c_str());
        return 2;
    }
    readWebSettings(top);
    try {
        const char* api = nullptr;
        if (accessmgr->UpdateValue(api, "apiVersion", 0U, 4096U)) {
            settings.apiVersion = api != nullptr ? api : "";
        }
    } catch (const std::exception& e) {
        err("*** Error \"%s\" updating Access Manager global properties\n", e.what());
        return 2;
    }
    int status = 0;
    for (const auto& [name, value] : accessmgr->GetProperties()) {
        if (std::strcmp(name, "apiVersion") != 0 && !loadRealm(name, value)) {
            status = 2;
        }
    }
    if (settings.verbose > 0) {
        listRealms();
    }
    return status;
}

} // namespace realmgen

