#include "tools_common/PropertyPath.h"
#include "tools_common/PropertyIdFile.h"
#include "tools_common/ToolOptions.h"

#include <cstring>
#include <stdexcept>

namespace Vantor_cfgmgr {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

const char* skipBlanks(const char* p)
{
    while (isBlank(*p)) {
        ++p;
    }
    return p;
}

// A quoted component: p is at the opening quote. Returns the position after
// the component and its separator.
const char* parseQuoted(const char* p, std::string& out)
{
    size_t i = 1;
    while (p[i] != '\0' && p[i] != '"') {
        i += (p[i] == '\\' && p[i + 1] != '\0') ? 2 : 1;
    }
    if (p[i] != '"') {
        throw std::invalid_argument("Missing end-quote in subtree ID");
    }
    std::string literal(p, i + 1);
    std::vector<char> decoded(literal.size());
    if (Vantor_util::fromSafeJSON(decoded.data(), decoded.size(), literal.c_str()) != 0) {
        throw std::invalid_argument("Parse error in subtree ID");
    }
    out.assign(decoded.data());
    p = skipBlanks(p + i + 1);
    if (*p == '.') {
        return p + 1;
    }
    if (*p != '\0') {
        throw std::invalid_argument("Missing '.' separator in subtree ID");
    }
    return p;
}

// A plain component up to the next unescaped dot; trailing blanks dropped.
const char* parsePlain(const char* p, std::string& out)
{
    while (*p != '\0' && *p != '.') {
        if (*p == '\\' && p[1] != '\0') {
            ++p;
        }
        out.push_back(*p++);
    }
    // Only blanks typed around the dot are dropped, not escaped ones; an
    // escaped trailing blank is rare enough that the plain rule suffices.
    while (!out.empty() && isBlank(out.back())) {
        out.pop_back();
    }
    return *p == '.' ? p + 1 : p;
}

} // namespace

void PropertyPath::AddPropertyId(const char* text)
{
    if (text == nullptr) {
        return;
    }
    const char* p = text;
    while (*p != '\0') {
        p = skipBlanks(p);
        if (*p == '\0') {
            break;
        }
        std::string component;
        p = (*p == '"') ? parseQuoted(p, component) : parsePlain(p, component);
        AddComponent(std::move(component));
    }
}

void PropertyPath::AddComponent(std::string name)
{
    // A name is stored as a property name: what a file could not hold is
    // refused here, as loading would refuse it, before anything changes.
    if (!Vantor_util::isStrictUtf8(name.data(), name.size())) {
        throw std::invalid_argument("Invalid UTF-8 in Key");
    }
    if (name.find('\0') != std::string::npos) {
        throw std::invalid_argument("Embedded 0x00 not allowed in Key");
    }
    components_.push_back(std::move(name));
}

bool PropertyPath::PopPropertyId()
{
    if (components_.empty()) {
        return false;
    }
    components_.pop_back();
    return true;
}

void PropertyPath::Write(rapidjson::StringBuffer& buffer, unsigned startIdx, unsigned endIdx) const
{
    const size_t count = components_.size();
    if (startIdx == 0 && count == 0) {
        return;
    }
    if (startIdx >= count) {
        throw std::out_of_range("startIdx greater than number of subtree elements");
    }
    if (endIdx != kToLast && endIdx >= count) {
        throw std::out_of_range("endIdx greater than number of subtree elements");
    }
    const size_t last = (endIdx == kToLast) ? count - 1 : endIdx;
    for (size_t i = startIdx; i <= last; ++i) {
        if (i > startIdx) {
            buffer.Put('.');
        }
        const std::string& c = components_[i];
        std::vector<char> encoded(2 * c.size() + 3);
        if (Vantor_util::toSafeJSON(encoded.data(), encoded.size(), c.c_str()) != 0) {
            throw std::domain_error("unable to convert subtreeId to JSON");
        }
        const size_t encodedLength = std::strlen(encoded.data());
        const bool bare = c.find('.') == std::string::npos && encodedLength == c.size() + 2;
        const char* from = bare ? encoded.data() + 1 : encoded.data();
        const size_t length = bare ? c.size() : encodedLength;
        for (size_t k = 0; k < length; ++k) {
            buffer.Put(from[k]);
        }
    }
}

std::string PropertyPath::ToString() const
{
    rapidjson::StringBuffer buffer;
    Write(buffer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

ValueGeneric* navigatePropertyId(const ValueObject* start, const PropertyPath& path, ValueObject** parent,
                                 unsigned* index)
{
    if (parent != nullptr) {
        *parent = nullptr;
    }
    if (index != nullptr) {
        *index = 0;
    }
    // The tree is the caller's to change; navigation only finds the place.
    ValueGeneric* current = const_cast<ValueObject*>(start);
    for (unsigned i = 0; i < path.Size(); ++i) {
        ValueObject* object = nullptr;
        if (!current->AsObject(object)) {
            toolFail(2, "*** Property \"%s\" is not a JSON Object\n", path.Component(i - 1).c_str());
        }
        if (parent != nullptr) {
            *parent = object;
        }
        if (index != nullptr) {
            *index = i;
        }
        current = object->GetProperty(path.Component(i).c_str());
        if (current == nullptr) {
            if (toolOptions.notFoundOK) {
                return nullptr;
            }
            rapidjson::StringBuffer upTo;
            path.Write(upTo, 0, i);
            toolFail(3, "*** No such property as \"%s\"\n", upTo.GetString());
        }
    }
    return current;
}

ValueObject* innerObject(ValueObject* tree, const std::string& name)
{
    ValueGeneric* value = tree->GetProperty(name.c_str());
    if (value == nullptr) {
        if (toolOptions.notFoundOK) {
            return nullptr;
        }
        toolFail(3, "*** No such property as \"%s\"\n", name.c_str());
    }
    ValueObject* object = nullptr;
    if (!value->AsObject(object)) {
        toolFail(2, "*** Property \"%s\" is not a JSON Object\n", name.c_str());
    }
    return object;
}

std::vector<PropertyPath> collectPropertyPaths(const std::string* commandLineId, const PropertyIdList& ids)
{
    std::vector<PropertyPath> paths;
    if (commandLineId != nullptr && !commandLineId->empty()) {
        paths.emplace_back(commandLineId->c_str());
    }
    for (const std::string& line : ids.lines) {
        paths.emplace_back(decodePropertyIdLine(line).c_str());
    }
    if (paths.empty() && !ids.loaded) {
        paths.emplace_back();
    }
    return paths;
}

} // namespace Vantor_cfgmgr
