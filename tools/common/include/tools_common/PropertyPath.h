// Dotted property paths: "net.eth0.address" names a property inside a
// configuration tree. A component that holds dots or other special
// characters is written as a JSON string ("\"a.b\".c"), or with a backslash
// before the dot ("a\.b").
#pragma once

#include "Vantor_cfgmgr/Vantor_cfgmgr.h"

#include <string>
#include <vector>

namespace Vantor_cfgmgr {

class PropertyPath {
public:
    // endIdx value meaning "up to the last component".
    static constexpr unsigned kToLast = 4294967295u;

    PropertyPath() = default;
    explicit PropertyPath(const char* text) { AddPropertyId(text); }
    virtual ~PropertyPath() = default;

    // Appends the components of text; null or empty appends nothing.
    // Syntax errors throw std::invalid_argument.
    void AddPropertyId(const char* text);
    // Appends one component as it is (no path syntax is read from it);
    // text a file could not hold as a property name throws
    // std::invalid_argument.
    void AddComponent(std::string name);
    // Drops the last component; false when the path is empty.
    bool PopPropertyId();
    // Writes components startIdx..endIdx (inclusive) separated by "."; a
    // component is quoted when it holds a dot or needs escaping. Indices out
    // of range throw std::out_of_range.
    void Write(rapidjson::StringBuffer& buffer, unsigned startIdx = 0, unsigned endIdx = kToLast) const;
    // The whole path as Write gives it.
    std::string ToString() const;

    size_t Size() const { return components_.size(); }
    bool IsEmpty() const { return components_.empty(); }
    const std::string& Component(size_t idx) const { return components_.at(idx); }
    const std::string& Last() const { return components_.back(); }
    // The path ends in "deleted", the marker layers use to delete.
    bool NamesDeletionMarker() const { return !IsEmpty() && Last() == "deleted"; }

private:
    std::vector<std::string> components_;
};

// Follows path from start and returns the value reached (start itself for
// an empty path). *parent receives the object holding the last component
// looked up and *index that component's index (both cleared first; either
// may be null). A missing property gives null when toolOptions.notFoundOK is
// set; otherwise the program ends with status 3 after "*** No such property
// as ...". A non-object on the way ends it with status 2.
ValueGeneric* navigatePropertyId(const ValueObject* start, const PropertyPath& path, ValueObject** parent,
                                 unsigned* index);

// The object stored under name in tree. A missing one gives null with
// toolOptions.notFoundOK, else ends the program with status 3 after "***
// No such property as ..."; a value that is not an object ends it with
// status 2.
ValueObject* innerObject(ValueObject* tree, const std::string& name);

struct PropertyIdList;

// The paths a command works on: the command-line id (when given and not
// empty) first, then the lines of the property-id file (decoded in the JSON
// formats); the empty path (the starting object) when there is neither.
std::vector<PropertyPath> collectPropertyPaths(const std::string* commandLineId, const PropertyIdList& ids);

} // namespace Vantor_cfgmgr
