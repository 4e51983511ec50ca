// Property-id files (-f): one property path a line. Lines starting with "#"
// are comments; the list ends at the first empty line. In the JSON formats
// each line is a JSON string literal holding the path ("set" lines add ":"
// and a JSON value); in URL format it is the path text itself ("set" lines
// add "=" and a URL value).
#pragma once

#include <string>
#include <vector>

namespace Vantor_cfgmgr {

struct PropertyIdList {
    std::vector<std::string> lines; // the id lines, comments left out
    std::string rawText;            // the whole file as read (for the object form of "set")
    bool loaded = false;            // a file was named and read
};

// Reads fileName (nothing when empty). An unreadable file ends the program
// with status 3 ("propertyIdFile open"), a file that cannot be split into
// lines with status 2.
PropertyIdList loadPropertyIdFile(const std::string& fileName);

// The path text of one id line: decoded from its JSON string literal in the
// JSON formats (failure: "*** Parse Error ..." and exit 2), as is in URL
// format.
std::string decodePropertyIdLine(const std::string& line);

// One "set" line split into path text and value text: at the first "=" not
// preceded by a backslash in URL format, after the JSON string literal of
// the path and its ":" in the JSON formats. False when the line has no
// separator.
bool splitPropertySetLine(const std::string& line, std::string& path, std::string& value);

} // namespace Vantor_cfgmgr
