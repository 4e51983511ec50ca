// Merged configurations (confOut files) of the domains.
#include "Vcfg.h"

#include "tools_common/JsonFile.h"

#include <cerrno>
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

ValueObject* innerObject(ValueObject* tree, const std::string& name)
{
    ValueGeneric* value = tree->GetProperty(name.c_str());
    if (value == nullptr) {
        if (toolOptions.notFoundOK) {
            return nullptr;
        }
        toolFail(3, "*** No such property as \"%s\"\n", name.c_str());
    }
    ValueObject* object = nullptr;
    if (!value->AsObject(object)) {
        toolFail(2, "*** Property \"%s\" is not a JSON Object\n", name.c_str());
    }
    return object;
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

std::vector<PropertyPath> commandPropertyPaths(const VcfgContext& ctx)
{
    std::vector<PropertyPath> paths;
    if (ctx.hasCommandLineId && !ctx.commandLineId.empty()) {
        paths.emplace_back(ctx.commandLineId.c_str());
    }
    for (const std::string& line : ctx.propertyIds.lines) {
        paths.emplace_back(decodePropertyIdLine(line).c_str());
    }
    if (paths.empty() && !ctx.propertyIds.loaded) {
        paths.emplace_back();
    }
    return paths;
}

} // namespace Vantor_cfgmgr
