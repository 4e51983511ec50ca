#include "tools_common/PropertyIdFile.h"
#include "tools_common/ToolOptions.h"

#include "Vantor_util/Vantor_util.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace Vantor_cfgmgr {

namespace {

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};

// Length of the JSON string literal at the start of text (quotes included),
// or 0 when text does not start with a complete literal.
size_t literalLength(const std::string& text)
{
    if (text.empty() || text[0] != '"') {
        return 0;
    }
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '"') {
            return i + 1;
        }
    }
    return 0;
}

} // namespace

PropertyIdList loadPropertyIdFile(const std::string& fileName)
{
    PropertyIdList list;
    if (fileName.empty()) {
        return list;
    }
    char* raw = nullptr;
    uint64_t size = 0;
    if (Vantor_util::file_to_buffer(fileName.c_str(), &raw, &size) == -1) {
        toolPerrorExit("propertyIdFile open", 3);
    }
    std::unique_ptr<char, FreeDeleter> buffer(raw);
    list.rawText.assign(raw, size);
    if (Vantor_util::buffer_split_lines(raw, size, true) == -1) {
        toolPerrorExit("propertyIdFile lines", 2);
    }
    char* cursor = nullptr;
    for (;;) {
        const char* line = Vantor_util::buffer_next_line(raw, size, &cursor);
        if (line == nullptr || *line == '\0') {
            break;
        }
        if (*line != '#') {
            list.lines.emplace_back(line);
        }
    }
    list.loaded = true;
    return list;
}

std::string decodePropertyIdLine(const std::string& line)
{
    if (toolOptions.propertyFormat == formatURL) {
        return line;
    }
    std::vector<char> decoded(line.size() + 1);
    if (Vantor_util::fromSafeJSON(decoded.data(), decoded.size(), line.c_str()) != 0) {
        toolFail(2, "*** Parse Error \"%s\" for \"%s\"\n", std::strerror(errno), line.c_str());
    }
    return std::string(decoded.data());
}

bool splitPropertySetLine(const std::string& line, std::string& path, std::string& value)
{
    if (toolOptions.propertyFormat == formatURL) {
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '=' && (i == 0 || line[i - 1] != '\\')) {
                path = line.substr(0, i);
                value = line.substr(i + 1);
                return true;
            }
        }
        return false;
    }
    // A ':' inside the quoted path must not split the line, so the split
    // point is found after the path's literal.
    size_t end = literalLength(line);
    size_t colon = end == 0 ? std::string::npos : line.find_first_not_of(" \t", end);
    if (colon == std::string::npos || line[colon] != ':') {
        return false;
    }
    path = line.substr(0, end);
    value = line.substr(colon + 1);
    return true;
}

} // namespace Vantor_cfgmgr
