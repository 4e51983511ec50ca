// The property commands on one domain's merged configuration: get, set,
// default and delete.
#include "Vcfg.h"

#include "tools_common/PropertyFormat.h"
#include "tools_common/PropertySet.h"

#include <rapidjson/document.h>

namespace Vantor_cfgmgr {

namespace {

std::string domainOf(const VcfgContext& ctx)
{
    return ctx.domainName.empty() ? kDefaultDomain : ctx.domainName;
}

// The object the paths start from: the merged tree, or the -s subsystem's
// object (null when missing and -N).
ValueObject* startObject(ValueObject* tree)
{
    if (toolOptions.subsystemName.empty()) {
        return tree;
    }
    return innerObject(tree, toolOptions.subsystemName);
}

// Removes path's last property from its parent; false when not found.
bool removeProperty(ValueObject* start, const PropertyPath& path)
{
    ValueObject* parent = nullptr;
    if (navigatePropertyId(start, path, &parent, nullptr) == nullptr || parent == nullptr) {
        return false;
    }
    return parent->RemoveProperty(path.Last().c_str());
}

} // namespace

int vcfgGet(VcfgContext& ctx)
{
    ValueObject* tree = loadConfOut(ctx, domainOf(ctx));
    FILE* out = OutputStream();
    ValueObject* start = startObject(tree);
    const PropertyFormat_t format = toolOptions.propertyFormat;
    if (start == nullptr) {
        if (!toolOptions.formatNoName) {
            const std::string& name = toolOptions.subsystemName;
            std::fprintf(out, "%s%s", format == formatURL ? name.c_str() : jsonQuoted(name).c_str(),
                         format == formatURL ? "=" : format == formatLineJSON ? ":" : ": ");
        }
        std::fputs("null\n", out);
        return 0;
    }
    // Every property is looked up before anything is printed, so that a
    // missing one leaves no half-printed output behind.
    std::vector<std::pair<std::string, const ValueGeneric*>> entries;
    for (const PropertyPath& path : commandPropertyPaths(ctx)) {
        const ValueGeneric* value = navigatePropertyId(start, path, nullptr, nullptr);
        entries.emplace_back(path.IsEmpty() ? toolOptions.subsystemName : path.ToString(), value);
    }
    PropertyPrinter printer(out, format, toolOptions.formatNoName);
    printer.Begin();
    for (const auto& [name, value] : entries) {
        printer.Entry(name, value);
    }
    printer.End();
    return 0;
}

namespace {

// The -f file taken whole as one JSON object of ids and values.
int setFromObjectFile(VcfgContext& ctx, ValueObject* start)
{
    rapidjson::Document doc;
    const rapidjson::ParseResult result =
        ValueGeneric::ParseText(doc, ctx.propertyIds.rawText.c_str(), ctx.propertyIds.rawText.size());
    if (result.IsError()) {
        ValueGeneric::ParseResultDiag(result, toolOptions.propertyIdFilename.c_str(), ErrorStream());
        return 2;
    }
    if (!doc.IsObject()) {
        toolError("*** Top level of propertyIdFile \"%s\" is not a JSON Object!\n",
                  toolOptions.propertyIdFilename.c_str());
        return 2;
    }
    for (const auto& member : doc.GetObject()) {
        rapidjson::StringBuffer text;
        rapidjson::Writer<rapidjson::StringBuffer> writer(text);
        member.value.Accept(writer);
        SetRequest request{member.name.GetString(), text.GetString(), &member.value};
        if (int rc = applySet(start, request); rc != 0) {
            return rc;
        }
    }
    return 0;
}

} // namespace

int vcfgSet(VcfgContext& ctx)
{
    const std::string domain = domainOf(ctx);
    ValueObject* tree = loadConfOut(ctx, domain);
    ValueObject* start = startObject(tree);
    if (start == nullptr) {
        return 3;
    }
    if (ctx.hasCommandLineId) {
        if (int rc = setOne(start, ctx.commandLineId, ctx.commandLineValue); rc != 0) {
            return rc;
        }
    }
    const bool objectForm = toolOptions.propertyFormat != formatURL && !ctx.propertyIds.lines.empty() &&
                            ctx.propertyIds.lines.front().starts_with("{");
    int rc = objectForm ? setFromObjectFile(ctx, start) : setFromLines(start, ctx.propertyIds.lines);
    if (rc != 0) {
        return rc;
    }
    return saveConfOut(ctx, domain, tree);
}

int vcfgDelete(VcfgContext& ctx)
{
    const std::string domain = domainOf(ctx);
    ValueObject* tree = loadConfOut(ctx, domain);
    ValueObject* start = startObject(tree);
    if (start == nullptr) {
        return 3;
    }
    PropertyPath path(ctx.commandLineId.c_str());
    if (toolOptions.subsystemName.empty() ? path.Size() <= 1 : path.IsEmpty()) {
        toolFail(2, "*** Illegal to delete entire subsystem \"%s\"\n",
                 path.IsEmpty() ? toolOptions.subsystemName.c_str() : path.Component(0).c_str());
    }
    if (removeProperty(start, path)) {
        saveConfOut(ctx, domain, tree);
    }
    return 0;
}

} // namespace Vantor_cfgmgr
