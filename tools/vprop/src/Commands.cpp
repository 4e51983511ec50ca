// The vprop commands. The changing ones (set, batch, commit, cancel, help)
// work on the tree loaded in this run and never save it.
#include "Vprop.h"

#include "tools_common/PropertyFormat.h"
#include "tools_common/PropertySet.h"

#include "Vantor_cfgmgr/Lib.h"


namespace Vantor_cfgmgr {

namespace {

struct PropertyId {
    std::string text; // as given (decoded from its JSON literal when it was one)
    PropertyPath path;
};

PropertyId makeId(std::string text)
{
    PropertyPath path(text.c_str());
    return PropertyId{std::move(text), std::move(path)};
}

// The ids a command works on: the command-line id first, then the -f lines;
// the empty path when there is neither. decodeCommandLine: the command-line
// id is a JSON string literal in the JSON formats, as file lines are.
std::vector<PropertyId> commandPropertyIds(const VpropContext& ctx, bool decodeCommandLine)
{
    std::vector<PropertyId> ids;
    if (ctx.hasCommandLineId && !ctx.commandLineId.empty()) {
        ids.push_back(makeId(decodeCommandLine ? decodePropertyIdLine(ctx.commandLineId) : ctx.commandLineId));
    }
    for (const std::string& line : ctx.propertyIds.lines) {
        ids.push_back(makeId(decodePropertyIdLine(line)));
    }
    if (ids.empty() && !ctx.propertyIds.loaded) {
        ids.push_back(PropertyId{});
    }
    return ids;
}

} // namespace

int vpropSubsystem(VpropContext& ctx)
{
    FILE* out = OutputStream();
    bool found = forEachSelectedSubsystem(ctx.config.Subsystems(), [out](size_t index, const auto& sub) {
        std::fprintf(out,
                     "%3lu: \"%s\"\n     description: \"%s\"\n     dirIn:       \"%s\"\n     confOut:     \"%s\"\n",
                     static_cast<unsigned long>(index), sub.Name().c_str(), sub.Description().c_str(),
                     sub.DirIn().c_str(), sub.ConfOut().c_str());
        return true;
    });
    return found ? 0 : 3;
}

int vpropGet(VpropContext& ctx)
{
    const ValueObject* start = subsystemObject(ctx);
    if (start == nullptr) {
        return 3;
    }
    // Every property is looked up before anything is printed, so a missing
    // one leaves no half-written listing behind.
    std::vector<std::pair<std::string, const ValueGeneric*>> entries;
    for (const PropertyId& id : commandPropertyIds(ctx, false)) {
        const ValueGeneric* value = navigatePropertyId(start, id.path, nullptr, nullptr);
        entries.emplace_back(id.path.IsEmpty() ? toolOptions.subsystemName : id.path.ToString(), value);
    }
    PropertyPrinter printer(OutputStream(), toolOptions.propertyFormat, toolOptions.formatNoName);
    printer.Begin();
    for (const auto& [name, value] : entries) {
        printer.Entry(name, value);
    }
    printer.End();
    return 0;
}

int vpropSet(VpropContext& ctx)
{
    ValueObject* start = subsystemObject(ctx);
    if (start == nullptr) {
        return 3;
    }
    if (ctx.hasCommandLineId) {
        if (const int rc = setOne(start, ctx.commandLineId, ctx.commandLineValue); rc != 0) {
            return rc;
        }
    }
    return setFromLines(start, ctx.propertyIds.lines);
}

int vpropRemove(VpropContext& ctx)
{
    ValueObject* start = subsystemObject(ctx);
    if (start == nullptr) {
        return 3;
    }
    for (const PropertyId& id : commandPropertyIds(ctx, true)) {
        ValueObject* parent = nullptr;
        unsigned index = 0;
        if (navigatePropertyId(start, id.path, &parent, &index) != nullptr && parent != nullptr) {
            parent->RemoveProperty(id.path.Component(index).c_str());
        }
    }
    return 0;
}

} // namespace Vantor_cfgmgr
