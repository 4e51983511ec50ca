#include "value_support.h"

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

using namespace Vantor_cfgmgr;
using testsupport::json;
using testsupport::object;
using testsupport::text;

Ref<ValueGeneric> integral(IntegralSubtype subtype, uint64_t cell)
{
    return Ref<ValueGeneric>(ValueIntegralNumber::Make(subtype, cell));
}

TEST(ValueTypes, TypeTestsAndAccessorsFollowTheClass)
{
    struct Case {
        const char* json;
        const char* tests; // one letter per type test that answers true
    };
    // n null, b bool, i Int, u Uint, I Int64, U Uint64, d double, s string, o object, a array
    const Case cases[] = {
        {"[null]", "n"},         {"[true]", "b"},          {"[-1]", "i"},    {"[2147483647]", "i"},
        {"[2147483648]", "uIU"}, {"[-2147483649]", "I"},   {"[4294967296]", "IU"},
        {"[18446744073709551615]", "U"}, {"[1.5]", "d"},   {"[\"x\"]", "s"}, {"[{}]", "o"},
        {"[[]]", "a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        Ref<ValueGeneric> array = json(c.json);
        const ValueGeneric* v = array->AsArray()->GetElement(0);
        // rapidjson reports every kind an integer fits; the value keeps the
        // first in the order Int, Uint, Int64, Uint64.
        std::string want = c.tests;
        char first = want[0];
        std::string got;
        if (v->IsNull()) got += 'n';
        if (v->IsBool()) got += 'b';
        if (v->IsInt()) got += 'i';
        if (v->IsUint()) got += 'u';
        if (v->IsInt64()) got += 'I';
        if (v->IsUint64()) got += 'U';
        if (v->IsDouble()) got += 'd';
        if (v->IsString()) got += 's';
        if (v->IsObject()) got += 'o';
        if (v->IsArray()) got += 'a';
        EXPECT_EQ(got, std::string(1, first));
        EXPECT_EQ(v->IsIntegralNumber(), std::string("iuIU").find(first) != std::string::npos);
        EXPECT_EQ(v->AsNull() != nullptr, first == 'n');
        EXPECT_EQ(v->AsBool() != nullptr, first == 'b');
        EXPECT_EQ(v->AsInt() != nullptr, first == 'i');
        EXPECT_EQ(v->AsUint() != nullptr, first == 'u');
        EXPECT_EQ(v->AsInt64() != nullptr, first == 'I');
        EXPECT_EQ(v->AsUint64() != nullptr, first == 'U');
        EXPECT_EQ(v->AsIntegralNumber() != nullptr, v->IsIntegralNumber());
        EXPECT_EQ(v->AsDouble() != nullptr, first == 'd');
        EXPECT_EQ(v->AsString() != nullptr, first == 's');
        EXPECT_EQ(v->AsObject() != nullptr, first == 'o');
        EXPECT_EQ(v->AsArray() != nullptr, first == 'a');
        EXPECT_EQ(v->AsRawNumber(), nullptr);
    }
}

TEST(ValueTypes, OutParameterAccessorsLeaveTheirArgumentWhenTheyFail)
{
    Ref<ValueGeneric> s(new ValueString("x", true));
    const ValueDouble* sentinel = reinterpret_cast<const ValueDouble*>(0x10);
    const ValueDouble* d = sentinel;
    EXPECT_FALSE(s->AsDouble(d));
    EXPECT_EQ(d, sentinel);
    ValueString* str = nullptr;
    EXPECT_TRUE(s->AsString(str));
    EXPECT_EQ(str, s.get());

    Ref<ValueGeneric> n(new ValueUint64(7));
    const ValueUint64* u = nullptr;
    EXPECT_TRUE(n->AsUint64(u));
    EXPECT_EQ(u, n.get());
    ValueInt* i = reinterpret_cast<ValueInt*>(0x10);
    EXPECT_FALSE(n->AsInt(i));
    EXPECT_EQ(i, reinterpret_cast<ValueInt*>(0x10));
}

TEST(ValueIntegral, CellLayoutSignAndZero)
{
    struct Case {
        const char* name;
        IntegralSubtype subtype;
        uint64_t cell;
        uint64_t storedCell;
        bool nonNegative;
        bool zero;
    };
    const Case cases[] = {
        {"Int -1 is not sign-extended", subtypeInt, ValueIntegralNumber::CellOfInt(-1), 0xFFFFFFFFu, false, false},
        {"Int high half dropped", subtypeInt, 0x100000000ull, 0, true, true},
        {"Uint max", subtypeUint, 0xFFFFFFFFu, 0xFFFFFFFFu, true, false},
        {"Int64 negative", subtypeInt64, static_cast<uint64_t>(-5LL), static_cast<uint64_t>(-5LL), false, false},
        {"Int64 low half zero", subtypeInt64, 0x100000000ull, 0x100000000ull, true, false},
        {"Uint64 top bit", subtypeUint64, 1ull << 63, 1ull << 63, true, false},
        {"Uint64 zero", subtypeUint64, 0, 0, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Ref<ValueGeneric> v = integral(c.subtype, c.cell);
        const ValueIntegralNumber* n = v->AsIntegralNumber();
        EXPECT_EQ(n->GetCell(), c.storedCell);
        EXPECT_EQ(n->IsNonNegative(), c.nonNegative);
        EXPECT_EQ(n->IsZero(), c.zero);
    }
    EXPECT_THROW(ValueIntegralNumber(static_cast<IntegralSubtype>(9), 0), std::domain_error);
}

TEST(ValueEquality, AcrossClassesAndSubtypes)
{
    struct Case {
        const char* name;
        Ref<ValueGeneric> a, b;
        bool equal;
        bool compatible;
    };
    Case cases[] = {
        {"Int 7 and Uint64 7", integral(subtypeInt, 7), integral(subtypeUint64, 7), true, true},
        {"Int 7 and Double 7.0", integral(subtypeInt, 7), Ref<ValueGeneric>(new ValueDouble(7.0)), false, false},
        {"Int -1 and Uint max", integral(subtypeInt, ValueIntegralNumber::CellOfInt(-1)),
         integral(subtypeUint, 0xFFFFFFFFu), false, true},
        {"Int -1 and Int64 -1", integral(subtypeInt, ValueIntegralNumber::CellOfInt(-1)),
         integral(subtypeInt64, static_cast<uint64_t>(-1LL)), true, true},
        {"Int64 -1 and Uint64 max", integral(subtypeInt64, static_cast<uint64_t>(-1LL)),
         integral(subtypeUint64, ~0ull), false, true},
        {"Uint64 2^40 and Int64 2^40", integral(subtypeUint64, 1ull << 40), integral(subtypeInt64, 1ull << 40),
         true, true},
        {"Int64 min and Uint64 2^63", integral(subtypeInt64, 1ull << 63), integral(subtypeUint64, 1ull << 63),
         false, true},
        {"null and null", json("null"), json("null"), true, true},
        {"true and false", json("true"), json("false"), false, true},
        {"strings", json("\"a\""), json("\"a\""), true, true},
        {"strings differ", json("\"a\""), json("\"ab\""), false, true},
        {"string and null", json("\"\""), json("null"), false, false},
        {"doubles", json("0.5"), json("0.5"), true, true},
        {"NaN is not equal to itself", Ref<ValueGeneric>(new ValueDouble(std::nan(""))),
         Ref<ValueGeneric>(new ValueDouble(std::nan(""))), false, true},
        {"arrays", json("[1,[2],{}]"), json("[1,[2],{}]"), true, true},
        {"arrays differ in length", json("[1,2]"), json("[1]"), false, true},
        {"arrays in order", json("[1,2]"), json("[2,1]"), false, true},
        {"objects", json("{\"a\":1,\"b\":{\"c\":[]}}"), json("{\"b\":{\"c\":[]},\"a\":1}"), true, true},
        {"objects differ in a name", json("{\"a\":1}"), json("{\"b\":1}"), false, true},
        {"objects differ in size", json("{\"a\":1}"), json("{\"a\":1,\"b\":1}"), false, true},
        {"object and array", json("{}"), json("[]"), false, false},
        {"raw numbers", Ref<ValueGeneric>(new ValueRawNumber("12", 2, true)),
         Ref<ValueGeneric>(new ValueRawNumber("12", 2, false)), true, false},
        {"raw number and string", Ref<ValueGeneric>(new ValueRawNumber("12", 2, true)), json("\"12\""), false,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.a->IsEqualTo(c.b.get()), c.equal);
        EXPECT_EQ(c.b->IsEqualTo(c.a.get()), c.equal);
        EXPECT_EQ(c.a->IsTypeCompatible(c.b.get()), c.compatible);
        EXPECT_FALSE(c.a->IsEqualTo(nullptr));
    }
}

TEST(ValueEquality, CompatibilityWithJsonValues)
{
    rapidjson::Document doc;
    doc.Parse("[1, 1.5, \"s\", null, true, {}, []]");
    const auto& arr = doc.GetArray();
    Ref<ValueGeneric> i = json("3");
    Ref<ValueGeneric> raw(new ValueRawNumber("3", 1, true));
    const bool forInt[] = {true, false, false, false, false, false, false};
    for (rapidjson::SizeType k = 0; k < arr.Size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(i->IsTypeCompatible(&arr[k]), forInt[k]);
        EXPECT_FALSE(raw->IsTypeCompatible(&arr[k]));
    }
}

TEST(ValueClone, DeepAndShallowWithAccessClasses)
{
    Ref<ValueObject> src = object("{\"s\":\"text\",\"o\":{\"n\":1},\"a\":[1,2]}");
    src->GetProperty("s")->SetAccessClass(readOnly);
    src->GetProperty("o")->SetAccessClass(constant);
    src->SetAccessClass(writeOnly);

    Ref<ValueGeneric> deep(src->Clone(true));
    Ref<ValueGeneric> shallow(src->Clone(false));
    EXPECT_TRUE(deep->IsEqualTo(src.get()));
    EXPECT_TRUE(shallow->IsEqualTo(src.get()));
    // A cloned container starts readWrite.
    EXPECT_EQ(deep->GetAccessClass(), readWrite);
    EXPECT_EQ(shallow->GetAccessClass(), readWrite);

    const ValueObject* d = deep->AsObject();
    const ValueObject* s = shallow->AsObject();
    // Deep: new values; a deep-cloned string becomes readWrite.
    EXPECT_NE(d->GetProperty("o"), src->GetProperty("o"));
    EXPECT_EQ(d->GetProperty("s")->GetAccessClass(), readWrite);
    EXPECT_EQ(d->GetProperty("o")->GetAccessClass(), readWrite);
    EXPECT_NE(d->GetProperty("s")->AsString()->GetValue(), src->GetProperty("s")->AsString()->GetValue());
    // Shallow: the same values, shared.
    EXPECT_EQ(s->GetProperty("o"), src->GetProperty("o"));
    EXPECT_EQ(src->GetProperty("o")->GetRefCount(), 2);
    EXPECT_EQ(s->GetProperty("s")->GetAccessClass(), readOnly);

    shallow.reset();
    EXPECT_EQ(src->GetProperty("o")->GetRefCount(), 1);

    // The clone's names do not depend on the source: with the source gone
    // they still read the same and still find their values.
    src.reset();
    std::vector<std::string> names;
    for (const auto& [name, value] : d->GetProperties()) {
        names.emplace_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a", "o", "s"}));
    ASSERT_NE(d->GetProperty("s"), nullptr);
    EXPECT_STREQ(d->GetProperty("s")->AsString()->GetValue(), "text");
    EXPECT_EQ(text(d), "{\"a\":[1,2],\"o\":{\"n\":1},\"s\":\"text\"}");
}

TEST(ValueClone, ScalarsKeepPayloadAndClass)
{
    struct Case {
        const char* name;
        Ref<ValueGeneric> v;
    };
    Case cases[] = {
        {"null", json("null")},
        {"bool", json("true")},
        {"Int", integral(subtypeInt, ValueIntegralNumber::CellOfInt(-3))},
        {"Uint64", integral(subtypeUint64, ~0ull)},
        {"double", json("2.25")},
        {"raw", Ref<ValueGeneric>(new ValueRawNumber("1e5", 3, true))},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.v->SetAccessClass(constant);
        for (bool deep : {true, false}) {
            Ref<ValueGeneric> copy(c.v->Clone(deep));
            EXPECT_NE(copy.get(), c.v.get());
            EXPECT_EQ(copy->GetRefCount(), 1);
            EXPECT_TRUE(copy->IsEqualTo(c.v.get()) || c.v->IsRawNumber());
            EXPECT_EQ(copy->GetAccessClass(), constant);
        }
    }
    // Raw number texts: an owned text is copied, a referenced one stays referenced.
    static const char shared[] = "42";
    Ref<ValueRawNumber> ref(new ValueRawNumber(shared, 2, false));
    Ref<ValueGeneric> refClone(ref->Clone(true));
    EXPECT_EQ(refClone->AsRawNumber()->GetValue(), shared);
    EXPECT_TRUE(refClone->IsEqualTo(ref.get()));
    Ref<ValueRawNumber> own(new ValueRawNumber(shared, 2, true));
    Ref<ValueGeneric> ownClone(own->Clone(false));
    EXPECT_NE(ownClone->AsRawNumber()->GetValue(), own->GetValue());
    EXPECT_TRUE(ownClone->AsRawNumber()->OwnsText());
}

TEST(ValueString, ShallowCloneReferencesOnlyReferencedTexts)
{
    static const char kept[] = "kept elsewhere";
    Ref<ValueString> ref(new ValueString(kept, false));
    ref->SetAccessClass(readOnly);
    Ref<ValueGeneric> shallow(ref->Clone(false));
    Ref<ValueGeneric> deep(ref->Clone(true));
    EXPECT_EQ(shallow->AsString()->GetValue(), kept);
    EXPECT_EQ(shallow->GetAccessClass(), readOnly);
    EXPECT_NE(deep->AsString()->GetValue(), kept);
    EXPECT_TRUE(deep->AsString()->OwnsText());
    EXPECT_EQ(deep->GetAccessClass(), readWrite);

    char* dup = ref->GetValueDup();
    EXPECT_STREQ(dup, kept);
    EXPECT_NE(dup, kept);
    std::free(dup);
    Ref<ValueString> empty(new ValueString(nullptr, true));
    EXPECT_EQ(empty->GetValueDup(), nullptr);
    EXPECT_EQ(empty->GetLength(), 0u);
    EXPECT_THROW(ValueRawNumber("1\0002", 3, true), std::invalid_argument);
}

TEST(ValueSetValue, AssignsCompatibleValuesAndRefusesOthers)
{
    struct Case {
        const char* target;
        const char* source;
        int result;
        const char* after;
    };
    const Case cases[] = {
        {"null", "null", 0, "null"},
        {"null", "1", 3, "null"},
        {"false", "true", 0, "true"},
        {"false", "1", 3, "false"},
        {"1", "18446744073709551615", 0, "18446744073709551615"},
        {"1", "-5000000000", 0, "-5000000000"},
        {"1", "1.0", 3, "1"},
        {"1.5", "2.5", 0, "2.5"},
        {"1.5", "2", 3, "1.5"},
        {"\"a\"", "\"b\"", 0, "\"b\""},
        {"\"a\"", "[]", 3, "\"a\""},
        {"[1,2]", "[3]", 0, "[3]"},
        {"[1,2]", "{}", 3, "[1,2]"},
        {"{\"a\":1}", "{\"b\":[2]}", 0, "{\"b\":[2]}"},
        {"{\"a\":1}", "[]", 3, "{\"a\":1}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.target) + " <- " + c.source);
        Ref<ValueGeneric> target = json(c.target);
        Ref<ValueGeneric> source = json(c.source);
        EXPECT_EQ(target->SetValue(static_cast<const ValueGeneric*>(source.get())), c.result);
        EXPECT_EQ(text(target.get()), c.after);
    }
}

TEST(ValueSetValue, ContainersShareTheSourceElements)
{
    Ref<ValueObject> target = object("{\"old\":1}");
    Ref<ValueObject> source = object("{\"x\":{\"y\":1},\"z\":2}");
    ASSERT_EQ(target->SetValue(static_cast<const ValueGeneric*>(source.get())), 0);
    EXPECT_EQ(target->GetProperty("x"), source->GetProperty("x"));
    EXPECT_EQ(source->GetProperty("x")->GetRefCount(), 2);

    // Assigning a container from its own child must not free the child early.
    Ref<ValueObject> parent = object("{\"child\":{\"a\":1,\"b\":[true]}}");
    ValueGeneric* child = parent->GetProperty("child");
    ASSERT_EQ(parent->SetValue(static_cast<const ValueGeneric*>(child)), 0);
    EXPECT_EQ(text(parent.get()), "{\"a\":1,\"b\":[true]}");
    ASSERT_EQ(parent->SetValue(static_cast<const ValueGeneric*>(parent.get())), 0);
    EXPECT_EQ(text(parent.get()), "{\"a\":1,\"b\":[true]}");

    Ref<ValueGeneric> arr = json("[[1,2],3]");
    ValueGeneric* inner = arr->AsArray()->GetElement(0);
    ASSERT_EQ(arr->SetValue(static_cast<const ValueGeneric*>(inner)), 0);
    EXPECT_EQ(text(arr.get()), "[1,2]");
}

TEST(ValueSetValue, FromJsonTextAndJsonValues)
{
    Ref<ValueGeneric> n = json("1");
    EXPECT_EQ(n->SetValue("-7"), 0);
    EXPECT_TRUE(n->IsInt());
    EXPECT_EQ(n->SetValue("4294967295"), 0);
    EXPECT_TRUE(n->IsUint());
    EXPECT_EQ(n->SetValue("\"x\""), 3);
    EXPECT_EQ(text(n.get()), "4294967295");

    Ref<ValueGeneric> o = json("{}");
    EXPECT_EQ(o->SetValue("{\"b\":1,\"a\":[null,\"s\"]}"), 0);
    EXPECT_EQ(text(o.get()), "{\"a\":[null,\"s\"],\"b\":1}");
    testing::internal::CaptureStderr();
    int r = o->SetValue("{\"b\":");
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(r, 0);
    EXPECT_NE(err.find("*** JSON Parse Error \"Invalid value.\" at offset 5"), std::string::npos) << err;
    EXPECT_EQ(text(o.get()), "{\"a\":[null,\"s\"],\"b\":1}");

    // Text a file could not hold is refused as loading refuses it, object
    // unchanged: a NUL in a member name, invalid UTF-8, a lone surrogate.
    const std::pair<const char*, const char*> refused[] = {
        {"{\"a\\u0000b\":1}", "*** Embedded 0x00 not allowed in Key\n"},
        {"{\"a\":\"\\udc00\"}", "*** Invalid UTF-8 in String\n"},
        {"{\"\\udfff\":1}", "*** Invalid UTF-8 in Key\n"},
        {"{\"a\":[\"ok\xff\"]}", "\"Invalid encoding in string.\""},
        {"{\"a\":\"\xed\xa0\x80\"}", "\"Invalid encoding in string.\""},
    };
    for (const auto& [bad, message] : refused) {
        SCOPED_TRACE(bad);
        testing::internal::CaptureStderr();
        EXPECT_NE(o->SetValue(bad), 0);
        err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(message), std::string::npos) << err;
        EXPECT_EQ(text(o.get()), "{\"a\":[null,\"s\"],\"b\":1}");
    }

    // Text nested too deep for the recursive walks is refused up front.
    std::string deep = std::string(2000, '[') + std::string(2000, ']');
    Ref<ValueGeneric> arr = json("[]");
    testing::internal::CaptureStderr();
    EXPECT_EQ(arr->SetValue(deep.c_str()), 16);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "*** JSON nesting deeper than 1000 levels not allowed\n");
    std::string brackets = "[\"" + std::string(2000, '[') + "\"]";
    EXPECT_EQ(arr->SetValue(brackets.c_str()), 0);
    EXPECT_EQ(arr->AsArray()->GetElementCount(), 1u);

    Ref<ValueGeneric> s(new ValueString("old", true));
    EXPECT_EQ(s->SetValue("\"new\""), 0);
    EXPECT_STREQ(s->AsString()->GetValue(), "new");
    EXPECT_TRUE(s->AsString()->OwnsText());
}

TEST(ValueAccessClass, RaisingLoweringAndRefusal)
{
    LibInit();
    Ref<ValueGeneric> v = json("1");
    testing::internal::CaptureStderr();
    v->SetAccessClass(constant);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    testing::internal::CaptureStderr();
    v->SetAccessClass(readWrite);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "*** Warning: Lowering of Property accessClass from \"const\" to \"readWrite\"\n");
    EXPECT_EQ(v->GetAccessClass(), readWrite);
    try {
        v->SetAccessClass(static_cast<AccessClass_t>(4));
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "unrecognized newAccessClass");
    }
    EXPECT_EQ(v->GetAccessClass(), readWrite);

    // Containers raise what they take over, silently, and do not descend.
    Ref<ValueObject> ro = object("{}");
    ro->SetAccessClass(readOnly);
    testing::internal::CaptureStderr();
    ro->SetProperty("p", new ValueBool(true));
    Ref<ValueArray> arr(new ValueArray());
    arr->SetAccessClass(writeOnly);
    arr->AddElement(new ValueNull());
    arr->SetElement(0, new ValueInt(1));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(ro->GetProperty("p")->GetAccessClass(), readOnly);
    EXPECT_EQ(arr->GetElement(0)->GetAccessClass(), writeOnly);
    ro->SetAccessClass(constant);
    EXPECT_EQ(ro->GetProperty("p")->GetAccessClass(), readOnly);
    // A stricter value keeps its class.
    auto* strict = new ValueBool(false);
    strict->SetAccessClass(writeOnly);
    ro->SetProperty("q", strict);
    EXPECT_EQ(strict->GetAccessClass(), writeOnly);
}

TEST(ValueAccessClass, WholesaleAssignmentRaisesLikeSetProperty)
{
    LibInit();
    // Assigning a whole object stores each property as SetProperty does, so
    // a readOnly object never ends up holding readWrite properties; stricter
    // properties keep their class.
    Ref<ValueGeneric> source = json("{\"a\":1,\"b\":{\"c\":true}}");
    source->AsObject()->GetProperty("b")->SetAccessClass(writeOnly);
    struct Case {
        const char* name;
        std::function<int(ValueGeneric*)> assign;
        AccessClass_t classOfB; // a shared stricter value keeps its class
    };
    const Case cases[] = {
        {"from JSON text", [](ValueGeneric* o) { return o->SetValue("{\"a\":1,\"b\":{\"c\":true}}"); }, readOnly},
        {"from a value", [&](ValueGeneric* o) { return o->SetValue(static_cast<const ValueGeneric*>(source.get())); },
         writeOnly},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Ref<ValueObject> ro = object("{\"old\":0}");
        ro->SetAccessClass(readOnly);
        testing::internal::CaptureStderr();
        ASSERT_EQ(c.assign(ro.get()), 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(text(ro.get()), "{\"a\":1,\"b\":{\"c\":true}}");
        EXPECT_EQ(ro->GetProperty("a")->GetAccessClass(), readOnly);
        EXPECT_EQ(ro->GetProperty("b")->GetAccessClass(), c.classOfB);
        // Not descending: the grandchild keeps its own class.
        EXPECT_EQ(ro->GetProperty("b")->AsObject()->GetProperty("c")->GetAccessClass(), readWrite);
    }
}

TEST(ValueWrite, EveryClassAndItsFailures)
{
    EXPECT_EQ(text(json("{\"b\":[1,-2,4294967295,-4294967296,18446744073709551615],\"a\":null,"
                        "\"c\":true,\"d\":0.1,\"e\":\"q\\\"\\n\"}")
                       .get()),
              "{\"a\":null,\"b\":[1,-2,4294967295,-4294967296,18446744073709551615],\"c\":true,\"d\":0.1,"
              "\"e\":\"q\\\"\\n\"}");
    Ref<ValueGeneric> raw(new ValueRawNumber("1e400", 5, true));
    EXPECT_EQ(text(raw.get()), "\"1e400\"");

    Ref<ValueObject> bad = object("{\"a\":1,\"z\":2}");
    bad->SetProperty("m", new ValueDouble(std::numeric_limits<double>::infinity()));
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    EXPECT_FALSE(bad->Write(&writer));
    EXPECT_THROW(bad->Write(nullptr), std::invalid_argument);
    EXPECT_THROW(json("1")->PrettyWrite(nullptr), std::invalid_argument);

    rapidjson::StringBuffer pretty;
    PrettyWriter pw(pretty);
    ASSERT_TRUE(json("{\"a\":[1]}")->PrettyWrite(&pw));
    EXPECT_EQ(std::string(pretty.GetString()), "{\n    \"a\": [\n        1\n    ]\n}");
}

TEST(LibInit, BuildsTheImageMapsOnce)
{
    LibInit();
    const auto* access = AccessClassImageMap;
    LibInit();
    EXPECT_EQ(AccessClassImageMap, access);
    ASSERT_NE(access, nullptr);
    EXPECT_EQ(access->GetKey("const"), 2);
    EXPECT_STREQ(access->GetValue(3), "writeOnly");
    EXPECT_EQ(access->GetKey("invalid"), -1);

    struct Case {
        const Vantor_util::EnumMap_c* map;
        const char* image;
        int32_t key;
    };
    const Case cases[] = {
        {IdentFamilyImageMap, "unspecified", 0},
        {IdentFamilyImageMap, "Vantor_Corporation.serial", 11},
        {IdentFamilyImageMap, "CANopen-vendor-product-revisionMajor", 20},
        {SpecificIdentFamilyImageMap, "unspecified", -1},
        {SpecificIdentFamilyImageMap, "UUID", 1},
        {AssetFamilyImageMap, "unspecified", 0},
        {AssetFamilyImageMap, "HTTPserver", 4},
        {SpecificAssetFamilyImageMap, "unspecified", -1},
        {SpecificAssetFamilyImageMap, "MQTTbroker", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.image);
        ASSERT_NE(c.map, nullptr);
        EXPECT_EQ(c.map->GetKey(c.image), c.key);
    }
    // Every identifier key 0..23 has an image, and the images are distinct.
    EXPECT_EQ(IdentFamilyImageMap->Size(), 24u);
    for (int32_t k = 0; k <= 23; ++k) {
        const char* image = IdentFamilyImageMap->GetValue(k);
        ASSERT_NE(image, nullptr) << k;
        EXPECT_EQ(IdentFamilyImageMap->GetKey(image), k);
    }
}

} // namespace
