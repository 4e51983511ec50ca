// The rapidjson SAX handler that builds a value tree while a file is read.
#pragma once

#include "Vantor_cfgmgr/Containers.h"

#include <vector>

namespace Vantor_cfgmgr {

// Refusals are printed to the library's error stream and stop the parse
// (the reader then reports "Parsing was terminated."). The handler owns the
// tree it builds until ReleaseRoot() hands it over; destroying the handler
// destroys a half-built tree.
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

    ValueGeneric* GetRoot() const { return root_; }
    // Hands the tree to the caller (null when none was started).
    ValueGeneric* ReleaseRoot();

private:
    bool StartContainer(ValueGeneric* container);

    ValueGeneric* root_ = nullptr;
    std::vector<ValueGeneric*> stack_; // open containers, innermost last; owned through root_
    char* pendingName_ = nullptr;
};

} // namespace Vantor_cfgmgr
