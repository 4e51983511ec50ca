// The rapidjson SAX handler that builds a value tree while a file is read.
#pragma once

#include "Vantor_cfgmgr/Containers.h"

#include <array>
#include <vector>

namespace Vantor_cfgmgr {

// Refusals are printed to the library's error stream and stop the parse
// (the reader then reports "Parsing was terminated."). The handler owns the
// tree it builds until ReleaseRoot() hands it over; destroying the handler
// destroys a half-built tree. An object that is still open (TopObject())
// holds no properties yet: the handler keeps its members until EndObject.
class GenericSAX {
public:
    GenericSAX() = default;
    GenericSAX(const GenericSAX&) = delete;
    GenericSAX& operator=(const GenericSAX&) = delete;
    virtual ~GenericSAX();

    virtual bool Null();
    virtual bool Bool(bool b);
    virtual bool Int(int i);
    virtual bool Uint(unsigned u);
    virtual bool Int64(int64_t i);
    virtual bool Uint64(uint64_t u);
    virtual bool Double(double d);
    virtual bool RawNumber(const char* text, rapidjson::SizeType length, bool copy);
    virtual bool String(const char* text, rapidjson::SizeType length, bool copy);
    virtual bool StartObject();
    virtual bool Key(const char* text, rapidjson::SizeType length, bool copy);
    virtual bool EndObject(rapidjson::SizeType memberCount);
    virtual bool StartArray();
    virtual bool EndArray(rapidjson::SizeType elementCount);

    // Places v (taken over) in the innermost container; on refusal v is
    // destroyed and false returned.
    bool AddScalar(ValueGeneric* v);
    ValueObject* TopObject() const;
    ValueArray* TopArray() const;

    // Feeds a JSON file to this handler, as ValueGeneric::Load does and with
    // its errors, reading it in chunks rather than whole.
    void ParseFile(const char* fileName);

    // The refusals Key() and String() apply to their texts: each prints its
    // message to the library's error stream and answers false. For handlers
    // that take values apart without building them here.
    static bool CheckKey(const char* text, rapidjson::SizeType length);
    static bool CheckString(const char* text, rapidjson::SizeType length);
    // The refusal of one container more when openContainers are open: the
    // nesting limit of every tree the library reads.
    static bool CheckNesting(size_t openContainers);

    ValueGeneric* GetRoot() const { return root_; }
    // Hands the tree to the caller (null when none was started).
    ValueGeneric* ReleaseRoot();

private:
    bool StartContainer(ValueGeneric* container);

    // An open container and, for an object, where its members start in
    // members_.
    struct OpenContainer {
        ValueGeneric* container;
        size_t firstMember;
    };

    ValueGeneric* root_ = nullptr;
    std::vector<OpenContainer> stack_; // innermost last; owned through root_ or members_
    // The members of the open objects in the order read, owned here: an
    // object receives its members all at once when it ends, sorted once
    // rather than inserted one by one.
    std::vector<PropertyEntry> members_;
    const char* pendingName_ = nullptr; // a shared name
    // The names met last, so that repeated names skip the shared table.
    std::array<const char*, 256> recentNames_{};
};

} // namespace Vantor_cfgmgr
