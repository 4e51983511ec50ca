// Merged configurations (confOut files) of the domains.
#include "Vcfg.h"

#include "tools_common/JsonFile.h"

#include <cerrno>
#include <cstdio>
#include <stdexcept>

namespace Vantor_cfgmgr {

namespace {

AdministrativeDomain* listedDomain(const VcfgContext& ctx, const std::string& domainName)
{
    AdministrativeDomain* domain = ctx.config.GetDomain(domainName);
    if (domain == nullptr) {
        toolFail(2, "*** Unrecognized domain \"%s\"!\n", domainName.c_str());
    }
    return domain;
}

} // namespace

ValueObject* loadConfOut(VcfgContext& ctx, const std::string& domainName)
{
    AdministrativeDomain* domain = listedDomain(ctx, domainName);
    if (domain->CurrConfOut() != nullptr) {
        return domain->CurrConfOut();
    }
    if (domain->PrevConfOut() != nullptr) {
        return domain->PrevConfOut();
    }
    Ref<ValueGeneric> root;
    try {
        root.reset(loadJsonFile(domain->ConfOut().c_str()));
    } catch (const std::exception&) {
        if (errno != ENOENT && errno != ENODATA) {
            toolPerrorExit("confOut load", 2);
        }
        root.reset(new ValueObject());
    }
    if (!root->IsObject()) {
        toolFail(2, "*** Top level of domain \"%s\" confOut file \"%s\" is not a JSON Object!\n",
                 domainName.c_str(), domain->ConfOut().c_str());
    }
    domain->SetPrevConfOut(static_cast<ValueObject*>(root.release()));
    return domain->PrevConfOut();
}

int saveValueFile(const ValueGeneric* value, const std::string& path)
{
    return saveJsonFile(value, path.c_str());
}

int saveConfOut(VcfgContext& ctx, const std::string& domainName, ValueObject* tree)
{
    AdministrativeDomain* domain = listedDomain(ctx, domainName);
    int result = 0;
    try {
        result = saveValueFile(tree, domain->ConfOut());
    } catch (const std::exception&) {
        toolPerrorExit("confOut generate", 2);
    }
    if (domain->CurrConfOut() != tree) {
        tree->AddRef();
        domain->SetCurrConfOut(tree);
    }
    return result;
}

AdministrativeDomain* lowerDomainOf(const VcfgContext& ctx, const std::string& name, bool& found)
{
    AdministrativeDomain* lower = nullptr;
    found = false;
    for (const auto& [index, domain] : ctx.config.Domains()) {
        if (domain->Name() == name) {
            found = true;
            return lower;
        }
        lower = domain.get();
    }
    return nullptr;
}

bool selectDomain(const VcfgContext& ctx, std::string& domainName, AdministrativeDomain*& lower)
{
    domainName = ctx.domainName.empty() ? kDefaultDomain : ctx.domainName;
    bool found = false;
    lower = lowerDomainOf(ctx, domainName, found);
    if (!found) {
        std::fprintf(OutputStream(), "No such domain as \"%s\".\n", domainName.c_str());
    }
    return found;
}

std::vector<PropertyPath> commandPropertyPaths(const VcfgContext& ctx)
{
    return collectPropertyPaths(ctx.hasCommandLineId ? &ctx.commandLineId : nullptr, ctx.propertyIds);
}

} // namespace Vantor_cfgmgr
