// The vprop commands. The changing ones (set, batch, commit, cancel, help)
// work on the tree loaded in this run and never save it.
#include "Vprop.h"

#include "tools_common/PropertyFormat.h"

#include "Vantor_cfgmgr/Lib.h"

#include <rapidjson/document.h>

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

char nameSeparator()
{
    return toolOptions.propertyFormat == formatURL ? '=' : ':';
}

// The value text of "set" as JSON text.
std::string valueJson(const std::string& valueText)
{
    return toolOptions.propertyFormat == formatURL ? urlValueToJson(valueText) : valueText;
}

// Stores a new property at the end of path, creating the objects missing
// from component missingIdx on inside parent.
void createProperty(ValueObject* parent, const PropertyPath& path, unsigned missingIdx, ValueGeneric* value)
{
    Ref<ValueGeneric> owned(value);
    for (size_t i = missingIdx; i + 1 < path.Size(); ++i) {
        auto* child = new ValueObject();
        parent->SetProperty(path.Component(i).c_str(), child);
        parent = child;
    }
    parent->SetProperty(path.Last().c_str(), owned.release());
}

// "x.deleted" = true for a missing "deleted" inside the object x removes x
// from the object that holds it.
void deleteParentProperty(ValueObject* start, const PropertyPath& path)
{
    if (path.Size() < 2) {
        toolFail(2, "*** Internal error: parent Object not found during \"delete\"\n");
    }
    PropertyPath holderPath = path;
    holderPath.PopPropertyId();
    ValueObject* holder = nullptr;
    navigatePropertyId(start, holderPath, &holder, nullptr);
    if (holder == nullptr) {
        toolFail(2, "*** Internal error: parent Object not found during \"delete\"\n");
    }
    holder->RemoveProperty(holderPath.Last().c_str());
}

// One id and value of "set"; 0 when the value was taken.
int setOne(ValueObject* start, const PropertyId& id, const std::string& valueText)
{
    const std::string json = valueJson(valueText);
    rapidjson::Document parsed;
    const rapidjson::ParseResult result = ValueGeneric::ParseText(parsed, json.c_str(), json.size());
    if (result.IsError()) {
        ValueGeneric::ParseResultDiag(result, valueText.c_str(), ErrorStream());
        return 2;
    }
    ValueObject* parent = nullptr;
    unsigned index = 0;
    ValueGeneric* existing = navigatePropertyId(start, id.path, &parent, &index);
    const bool namesDeleted = id.path.NamesDeletionMarker();
    if (existing != nullptr) {
        if (namesDeleted) {
            toolFailDeletedInMerged(id.text);
        }
        const int rc = existing->SetValue(json.c_str(), json.size());
        if (rc != 0) {
            toolError("*** Parse Error \"%s\" for \"%s\"%c%s\n", ValueGeneric::ParseErrorCodeImage().GetImageSafe(rc),
                      id.text.c_str(), nameSeparator(), valueText.c_str());
            return 2;
        }
        return 0;
    }
    if (namesDeleted) {
        if (parsed.IsBool() && parsed.GetBool() && index + 1 == id.path.Size() && parent != nullptr) {
            deleteParentProperty(start, id.path);
            return 0;
        }
        toolFail(2, "*** Improper use of \"deleted\" : true\n");
    }
    // Only reached with -N: without it a missing property ends the program.
    if (parent == nullptr) {
        parent = start;
        index = 0;
    }
    createProperty(parent, id.path, index, ValueGeneric::NewValueGeneric(&parsed));
    return 0;
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
        const int rc = setOne(start, makeId(ctx.commandLineId), ctx.commandLineValue);
        if (rc != 0) {
            return rc;
        }
    }
    for (const std::string& line : ctx.propertyIds.lines) {
        std::string pathText;
        std::string valueText;
        if (!splitPropertySetLine(line, pathText, valueText)) {
            toolError("*** Parse Error \"%s\" for \"%s\"\n", "missing value", line.c_str());
            return 2;
        }
        const int rc = setOne(start, makeId(decodePropertyIdLine(pathText)), valueText);
        if (rc != 0) {
            return rc;
        }
    }
    return 0;
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
