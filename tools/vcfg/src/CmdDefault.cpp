// default: restores properties of a domain from the domain below.
#include "Vcfg.h"

#include "Vantor_cfgmgr/Lib.h"

namespace Vantor_cfgmgr {

namespace {

// The object holding path's last component in tree, creating missing
// objects on the way.
ValueObject* parentCreating(ValueObject* tree, const PropertyPath& path)
{
    ValueObject* parent = tree;
    for (unsigned i = 0; i + 1 < path.Size(); ++i) {
        const char* name = path.Component(i).c_str();
        ValueGeneric* next = parent->GetProperty(name);
        if (next == nullptr) {
            parent->SetProperty(name, new ValueObject());
            next = parent->GetProperty(name);
        }
        if (!next->AsObject(parent)) {
            toolFail(2, "*** Property \"%s\" is not a JSON Object\n", name);
        }
    }
    return parent;
}

// Restores one property of thisTree from lowerTree; true when thisTree
// changed.
bool defaultProperty(ValueObject* thisTree, const ValueObject* lowerTree, const PropertyPath& path)
{
    const std::string shown = path.ToString();
    const ValueGeneric* lowerValue = navigatePropertyId(lowerTree, path, nullptr, nullptr);
    ValueObject* thisParent = nullptr;
    ValueGeneric* thisValue = navigatePropertyId(thisTree, path, &thisParent, nullptr);
    if (lowerValue == nullptr && thisValue == nullptr) {
        toolVerbose("No property \"%s\" in either domain\n", shown.c_str());
        return false;
    }
    if (thisValue != nullptr && lowerValue != nullptr && thisValue->IsEqualTo(lowerValue)) {
        toolVerbose("Property \"%s\" has not been changed\n", shown.c_str());
        return false;
    }
    if (path.IsEmpty()) {
        // The whole starting object goes back to the lower domain's.
        thisTree->SetValue(lowerValue);
        toolVerbose("Property \"%s\" was changed and is now restored\n", shown.c_str());
        return true;
    }
    if (lowerValue == nullptr) {
        thisParent->RemoveProperty(path.Last().c_str());
        toolVerbose("Deleting newly-added property \"%s\"\n", shown.c_str());
        return true;
    }
    // A copy, so that later changes to this domain never reach the lower one.
    parentCreating(thisTree, path)->SetProperty(path.Last().c_str(), lowerValue->Clone(true));
    toolVerbose(thisValue == nullptr ? "Property \"%s\" had been deleted and is now restored\n"
                                     : "Property \"%s\" was changed and is now restored\n",
                shown.c_str());
    return true;
}

} // namespace

int vcfgDefault(VcfgContext& ctx)
{
    std::string domainName;
    AdministrativeDomain* lower = nullptr;
    if (!selectDomain(ctx, domainName, lower)) {
        return 3;
    }
    toolOptions.notFoundOK = true;
    ValueObject* thisTree = loadConfOut(ctx, domainName);
    Ref<ValueObject> emptyLower(new ValueObject());
    ValueObject* lowerTree = lower != nullptr ? loadConfOut(ctx, lower->Name()) : emptyLower.get();
    toolVerbose("Defaulting from domain \"%s\" back to domain \"%s\"\n", domainName.c_str(),
                lower != nullptr ? lower->Name().c_str() : "<empty>");
    ValueObject* thisStart = thisTree;
    ValueObject* lowerStart = lowerTree;
    const std::string& sub = toolOptions.subsystemName;
    if (!sub.empty()) {
        thisStart = innerObject(thisTree, sub);
        lowerStart = innerObject(lowerTree, sub);
        if (thisStart == nullptr || lowerStart == nullptr) {
            std::fprintf(OutputStream(), "No such subsystem as \"%s\".\n", sub.c_str());
            return 3;
        }
    }
    PropertyPath path(ctx.commandLineId.c_str());
    if (!defaultProperty(thisStart, lowerStart, path)) {
        toolVerbose("Domain \"%s\" %schanged.\n", domainName.c_str(), "not ");
        return 0;
    }
    int saved = saveConfOut(ctx, domainName, thisTree);
    toolVerbose("Domain \"%s\" %schanged.\n", domainName.c_str(), saved != 0 ? "" : "not ");
    return saved != 0 ? 1 : 0;
}

} // namespace Vantor_cfgmgr
