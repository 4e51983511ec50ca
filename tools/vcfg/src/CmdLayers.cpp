// The layering commands: merge builds each domain's merged configuration
// from the domain below and its own layer files; commit turns a merged
// configuration back into layer files holding only the differences.
#include "LayerOverlay.h"
#include "Vcfg.h"

#include "tools_common/JsonFile.h"

#include <cerrno>
#include <cstdio>
#include <stdexcept>

namespace Vantor_cfgmgr {

namespace {

std::string layerPath(const AdministrativeDomain& domain, const ManagedSubsystem& sub)
{
    char path[4096];
    std::snprintf(path, sizeof path, "%s/%s.vcfg", domain.DirIn().c_str(), sub.Name().c_str());
    return path;
}

const char* nameOrEmpty(const AdministrativeDomain* domain)
{
    return domain != nullptr ? domain->Name().c_str() : "<empty>";
}

// The working tree's object for sub, created empty when missing; null when
// the tree holds something else under sub's name.
ValueObject* workingSubsystem(ValueObject* working, const ManagedSubsystem& sub)
{
    ValueGeneric* value = working->GetProperty(sub.Name().c_str());
    if (value == nullptr) {
        working->SetProperty(sub.Name().c_str(), new ValueObject());
        value = working->GetProperty(sub.Name().c_str());
    }
    ValueObject* object = nullptr;
    // The layer is applied in place, so objects this tree still shares with
    // the domain below change there too. That tree is not used again: merge
    // only walks upwards, and the lower domain's file was saved before.
    return value->AsObject(object) ? object : nullptr;
}

enum class LayerResult { absent, unchanged, changed };

// Applies domain's layer file of sub onto the working tree while reading it.
// The checks come in the order of reading the file whole first: the file
// itself, its top level, the working tree, then the layer's content.
LayerResult applyLayer(const AdministrativeDomain& domain, const ManagedSubsystem& sub, ValueObject* working,
                       const AdministrativeDomain* lower)
{
    ValueObject* target = nullptr;
    LayerOverlaySAX overlay(sub.Name(), [&] { return target = workingSubsystem(working, sub); });
    try {
        parseJsonFile(layerPath(domain, sub).c_str(), overlay);
    } catch (const std::exception&) {
        if (errno == ENOENT || errno == ENODATA) {
            return LayerResult::absent;
        }
        toolPerrorExit("subsystem config load", 2);
    }
    if (!overlay.RootIsObject()) {
        toolFail(2, "*** Top level of domain \"%s\" subsystem \"%s\" config file is not a JSON Object!\n",
                 domain.Name().c_str(), sub.Name().c_str());
    }
    if (!overlay.LayerFound()) {
        toolFail(2, "*** Top level of domain \"%s\" subsystem \"%s\" config file is not a corresponding JSON Object!\n",
                 domain.Name().c_str(), sub.Name().c_str());
    }
    if (overlay.TargetRefused()) {
        toolFail(2, "*** Top level of domain \"%s\" subsystem \"%s\" is not a JSON Object!\n", nameOrEmpty(lower),
                 sub.Name().c_str());
    }
    if (overlay.Error()) {
        toolFail(2, "*** Application of domain \"%s\" subsystem \"%s\" config file failed due to \"%s\"!\n",
                 domain.Name().c_str(), sub.Name().c_str(), overlay.Error()->c_str());
    }
    if (target->GetProperty("deleted") != nullptr) {
        toolFail(2, "*** Illegal attempt to delete domain \"%s\" subsystem \"%s\"!\n", nameOrEmpty(lower),
                 sub.Name().c_str());
    }
    return overlay.Changed() ? LayerResult::changed : LayerResult::unchanged;
}

int mergeDomain(VcfgContext& ctx, AdministrativeDomain& domain, const AdministrativeDomain* lower)
{
    Ref<ValueObject> base(lower != nullptr ? nullptr : new ValueObject());
    const ValueObject* baseTree = lower != nullptr ? loadConfOut(ctx, lower->Name()) : base.get();
    Ref<ValueObject> working(new ValueObject(&baseTree->GetProperties(), false));
    if (baseTree->GetAccessClass() != readWrite) {
        working->SetAccessClass(baseTree->GetAccessClass());
    }
    toolVerbose("Merging domain \"%s\"...\n", domain.Name().c_str());
    for (const auto& [index, sub] : ctx.config.Subsystems()) {
        LayerResult result = applyLayer(domain, *sub, working.get(), lower);
        if (result == LayerResult::absent) {
            toolVerbose("    No property changes for domain \"%s\", subsystem \"%s\".\n", domain.Name().c_str(),
                        sub->Name().c_str());
            continue;
        }
        toolVerbose("    %s property changes for domain \"%s\", subsystem \"%s\".\n",
                    result == LayerResult::changed ? "Some" : "No", domain.Name().c_str(), sub->Name().c_str());
    }
    int saved = saveConfOut(ctx, domain.Name(), working.get());
    toolVerbose("Domain \"%s\" %schanged.\n", domain.Name().c_str(), saved != 0 ? "" : "not ");
    return saved != 0 ? 1 : 0;
}

} // namespace

int vcfgMerge(VcfgContext& ctx)
{
    int result = 0;
    bool found = false;
    const AdministrativeDomain* lower = nullptr;
    for (const auto& [index, domain] : ctx.config.Domains()) {
        if (ctx.domainName.empty() || domain->Name() == ctx.domainName) {
            found = true;
            if (mergeDomain(ctx, *domain, lower) != 0) {
                result = 1;
            }
        }
        lower = domain.get();
    }
    if (!ctx.domainName.empty() && !found) {
        std::fprintf(OutputStream(), "No such domain as \"%s\".\n", ctx.domainName.c_str());
        return 3;
    }
    return result;
}

namespace {

// The object of sub in a merged tree; an empty object (owned by holder) when
// the tree has none.
const ValueObject* subsystemOf(const ValueObject* tree, const AdministrativeDomain& domain,
                               const ManagedSubsystem& sub, Ref<ValueObject>& holder)
{
    const ValueGeneric* value = tree->GetProperty(sub.Name().c_str());
    if (value == nullptr) {
        holder.reset(new ValueObject());
        return holder.get();
    }
    const ValueObject* object = value->AsObject();
    if (object == nullptr) {
        toolFail(2, "*** Top level of domain \"%s\" subsystem \"%s\" is not a JSON Object!\n", domain.Name().c_str(),
                 sub.Name().c_str());
    }
    return object;
}

// The comparison result of saving the layer file, or -1 when there was
// nothing to save.
int commitSubsystem(const AdministrativeDomain& domain, const AdministrativeDomain& lower,
                    const ValueObject* thisTree, const ValueObject* lowerTree, const ManagedSubsystem& sub)
{
    toolVerbose("Commiting subsystem \"%s\" of domain \"%s\"...\n", sub.Name().c_str(), domain.Name().c_str());
    Ref<ValueObject> emptyLower;
    Ref<ValueObject> emptyThis;
    const ValueObject* lowerSub = subsystemOf(lowerTree, lower, sub, emptyLower);
    const ValueObject* thisSub = subsystemOf(thisTree, domain, sub, emptyThis);
    Ref<ValueObject> diff(new ValueObject());
    diff->Diff(lowerSub, thisSub);
    diff->Trim();
    const std::string path = layerPath(domain, sub);
    if (diff->IsEmpty()) {
        const std::string backup = path + ".bak";
        if (std::rename(path.c_str(), backup.c_str()) != 0 && errno != ENOENT) {
            toolPerrorExit("subsystemConf move to backup", 2);
        }
        toolVerbose("    No differences for subsystem \"%s\" of domain \"%s\"...\n", sub.Name().c_str(),
                    domain.Name().c_str());
        return -1;
    }
    Ref<ValueObject> layer(new ValueObject());
    layer->SetProperty(sub.Name().c_str(), diff.release());
    int result = saveValueFile(layer.get(), path);
    toolVerbose("    Saved differences for subsystem \"%s\" of domain \"%s\" (%s)\n", sub.Name().c_str(),
                domain.Name().c_str(), result != 0 ? "changed" : "no change");
    return result;
}

} // namespace

int vcfgCommit(VcfgContext& ctx)
{
    std::string domainName;
    AdministrativeDomain* lower = nullptr;
    if (!selectDomain(ctx, domainName, lower)) {
        return 3;
    }
    if (lower == nullptr) {
        toolVerbose("    No differences possible to save for lowest-level domain \"%s\"\n", domainName.c_str());
        return 0;
    }
    const AdministrativeDomain& domain = *ctx.config.GetDomain(domainName);
    const ValueObject* lowerTree = loadConfOut(ctx, lower->Name());
    const ValueObject* thisTree = loadConfOut(ctx, domainName);
    int result = 0;
    bool found = forEachSelectedSubsystem(ctx.config.Subsystems(), [&](size_t, const ManagedSubsystem& sub) {
        int saved = commitSubsystem(domain, *lower, thisTree, lowerTree, sub);
        if (saved >= 0) {
            result = saved;
        }
        return saved != 2;
    });
    return found ? result : 3;
}

} // namespace Vantor_cfgmgr
