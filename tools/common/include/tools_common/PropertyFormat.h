// The three property text formats: how "get" prints properties and how
// "set" reads values.
//
//                      URL          lineJSON     objectJSON
//   before the first   nothing      "{"          "{\n"
//   between entries    "\n"         ","          ",\n"
//   after the last     "\n"         "}\n"        "\n}\n"
//   name / value       "="          ":"          ": "
//   value              URL text     compact      pretty (4 spaces)
#pragma once

#include "Vantor_cfgmgr/Vantor_cfgmgr.h"
#include "tools_common/ToolOptions.h"

#include <cstdio>
#include <string>

namespace Vantor_cfgmgr {

class PropertyPrinter {
public:
    PropertyPrinter(FILE* out, PropertyFormat_t format, bool noName);
    // Prints the framing before the first entry.
    void Begin();
    // One entry: name is the path text (printed as a JSON string in the JSON
    // formats); a null value prints as null.
    void Entry(const std::string& name, const ValueGeneric* value);
    // The framing after the last entry.
    void End();

private:
    FILE* out_;
    PropertyFormat_t format_;
    bool noName_;
    unsigned count_ = 0;
};

// The value as the given format prints it (no trailing newline).
std::string formatPropertyValue(const ValueGeneric* value, PropertyFormat_t format);
// name as a JSON string literal.
std::string jsonQuoted(const std::string& name);

// The URL value text of a value:
//   a string with a blank first or last character: "\" + JSON string;
//   another string: its text;   an object or array: "\" + compact JSON;
//   a non-negative integral number: "+" + number;
//   anything else: compact JSON.
std::string urlValueText(const ValueGeneric* value);
// The inverse: the JSON text for a URL value text ("-..." and "+..." are
// numbers, "\[", "\{" and "\"" introduce JSON, anything else is a string).
std::string urlValueToJson(const std::string& text);

} // namespace Vantor_cfgmgr
