// "set" as vcfg and vprop share it: value texts read as the current format
// reads them, and the values stored under their paths in a tree, creating
// missing objects when toolOptions.notFoundOK allows it.
#pragma once

#include "Vantor_cfgmgr/Vantor_cfgmgr.h"

#include <rapidjson/document.h>

#include <string>
#include <vector>

namespace Vantor_cfgmgr {

// One id and its value, parsed.
struct SetRequest {
    std::string id;        // path text
    std::string valueText; // as given, for messages
    const JsonValue* value;
};

// Parses value text into doc as the current format reads it; 2 after the
// diagnosis when it is not JSON (or holds text a file could not hold), else 0.
int parseSetValueText(const std::string& text, rapidjson::Document& doc);

// Applies one value under start; 0, or 2 for a refused value. Improper uses
// of "deleted" end the program, as a path that cannot be read does.
int applySet(ValueObject* start, const SetRequest& request);

// parseSetValueText, then applySet.
int setOne(ValueObject* start, const std::string& id, const std::string& valueText);

// The lines of a property-id file for "set", each a path and a value; stops
// at the first refusal and returns its status.
int setFromLines(ValueObject* start, const std::vector<std::string>& lines);

} // namespace Vantor_cfgmgr
