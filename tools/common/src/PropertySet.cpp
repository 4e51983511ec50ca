#include "tools_common/PropertySet.h"
#include "tools_common/PropertyFormat.h"
#include "tools_common/PropertyIdFile.h"
#include "tools_common/PropertyPath.h"
#include "tools_common/ToolOptions.h"

#include "Vantor_cfgmgr/Lib.h"

namespace Vantor_cfgmgr {

namespace {

// Stores value under path, creating the missing objects from the component
// at index from onwards (parent is the object holding that component).
void storeCreating(ValueObject* parent, const PropertyPath& path, unsigned from, ValueGeneric* value)
{
    Ref<ValueGeneric> owned(value);
    for (unsigned i = from; i + 1 < path.Size(); ++i) {
        auto* child = new ValueObject();
        parent->SetProperty(path.Component(i).c_str(), child);
        parent = child;
    }
    parent->SetProperty(path.Last().c_str(), owned.release());
}

// "x.deleted" = true for a missing "deleted" inside the object x removes x
// from the object that holds it.
void deleteHolder(ValueObject* start, const PropertyPath& path)
{
    PropertyPath target = path;
    target.PopPropertyId();
    ValueObject* grandParent = nullptr;
    if (target.IsEmpty() || navigatePropertyId(start, target, &grandParent, nullptr) == nullptr ||
        grandParent == nullptr) {
        toolFail(2, "*** Internal error: parent Object not found during \"delete\"\n");
    }
    grandParent->RemoveProperty(target.Last().c_str());
}

} // namespace

int parseSetValueText(const std::string& text, rapidjson::Document& doc)
{
    const std::string json = toolOptions.propertyFormat == formatURL ? urlValueToJson(text) : text;
    const rapidjson::ParseResult result = ValueGeneric::ParseText(doc, json.c_str(), json.size());
    if (result.IsError()) {
        ValueGeneric::ParseResultDiag(result, text.c_str(), ErrorStream());
        return 2;
    }
    return 0;
}

int applySet(ValueObject* start, const SetRequest& request)
{
    PropertyPath path(request.id.c_str());
    ValueObject* parent = nullptr;
    unsigned index = 0;
    ValueGeneric* existing = navigatePropertyId(start, path, &parent, &index);
    const bool lastIsDeleted = path.NamesDeletionMarker();
    if (existing != nullptr) {
        if (lastIsDeleted) {
            toolFailDeletedInMerged(request.id);
        }
        const int rc = existing->SetValue(request.value);
        if (rc != 0) {
            toolError("*** Parse Error \"%s\" for \"%s\"%c%s\n", ValueGeneric::ParseErrorCodeImage().GetImageSafe(rc),
                      request.id.c_str(), toolOptions.propertyFormat == formatURL ? '=' : ':',
                      request.valueText.c_str());
            return 2;
        }
        return 0;
    }
    if (lastIsDeleted) {
        const bool onlyLastMissing = index + 1 == path.Size();
        if (!request.value->IsBool() || !request.value->GetBool() || !onlyLastMissing) {
            toolFail(2, "*** Improper use of \"deleted\" : true\n");
        }
        deleteHolder(start, path);
        return 0;
    }
    // Only reached with -N: without it a missing property ends the program.
    if (parent == nullptr) {
        parent = start;
        index = 0;
    }
    storeCreating(parent, path, index, ValueGeneric::NewValueGeneric(request.value));
    return 0;
}

int setOne(ValueObject* start, const std::string& id, const std::string& valueText)
{
    rapidjson::Document doc;
    if (parseSetValueText(valueText, doc) != 0) {
        return 2;
    }
    return applySet(start, SetRequest{id, valueText, &doc});
}

int setFromLines(ValueObject* start, const std::vector<std::string>& lines)
{
    for (const std::string& line : lines) {
        std::string pathText;
        std::string valueText;
        if (!splitPropertySetLine(line, pathText, valueText)) {
            toolError("*** Parse Error \"%s\" for \"%s\"\n", "missing value", line.c_str());
            return 2;
        }
        if (const int rc = setOne(start, decodePropertyIdLine(pathText), valueText); rc != 0) {
            return rc;
        }
    }
    return 0;
}

} // namespace Vantor_cfgmgr
