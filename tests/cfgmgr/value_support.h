// Helpers for building and printing value trees in tests.
#pragma once

#include "Vantor_cfgmgr/Vantor_cfgmgr.h"

#include <gtest/gtest.h>

#include <string>

namespace testsupport {

using Vantor_cfgmgr::Ref;
using Vantor_cfgmgr::ValueGeneric;

// A value tree from JSON text (integers keep the subtype rapidjson gives).
inline Ref<ValueGeneric> json(const char* text)
{
    rapidjson::Document doc;
    doc.Parse(text);
    EXPECT_FALSE(doc.HasParseError()) << text;
    return Ref<ValueGeneric>(ValueGeneric::NewValueGeneric(&doc));
}

inline Ref<Vantor_cfgmgr::ValueObject> object(const char* text)
{
    Ref<ValueGeneric> v = json(text);
    EXPECT_TRUE(v && v->IsObject()) << text;
    Vantor_cfgmgr::ValueObject* o = nullptr;
    v->AsObject(o);
    v.release();
    return Ref<Vantor_cfgmgr::ValueObject>(o);
}

// Compact JSON text of a value.
inline std::string text(const ValueGeneric* v)
{
    rapidjson::StringBuffer buffer;
    Vantor_cfgmgr::Writer writer(buffer);
    EXPECT_TRUE(v->Write(&writer));
    return std::string(buffer.GetString(), buffer.GetSize());
}

} // namespace testsupport
