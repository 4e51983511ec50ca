#include "value_support.h"

#include <cstdlib>

namespace {

using namespace Vantor_cfgmgr;
using testsupport::json;
using testsupport::text;

Ref<ValueArray> array(const char* jsonText)
{
    Ref<ValueGeneric> v = json(jsonText);
    ValueArray* a = nullptr;
    EXPECT_TRUE(v->AsArray(a));
    v.release();
    return Ref<ValueArray>(a);
}

template <class E>
std::string messageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "(no exception)";
}

TEST(ValueArrayOps, AddSetAndTheirErrors)
{
    Ref<ValueArray> a = array("[]");
    a->AddElement(new ValueInt(1));
    a->AddElement(new ValueString("two", true));
    a->SetElement(0, new ValueBool(true));
    EXPECT_EQ(text(a.get()), "[true,\"two\"]");
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { a->AddElement(nullptr); }), "newValue must not be NULL");
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { a->SetElement(0, nullptr); }), "newValue must not be NULL");
    auto* spare = new ValueNull();
    EXPECT_EQ(messageOf<std::out_of_range>([&] { a->SetElement(2, spare); }),
              "elemIdx was 2, but must be in the range [0..2]");
    spare->Release(); // refused values stay with the caller
    EXPECT_TRUE(a->RemoveElement(0));
    EXPECT_FALSE(a->RemoveElement(5));
    EXPECT_EQ(text(a.get()), "[\"two\"]");
}

TEST(ValueArrayOps, ToStringArray)
{
    EXPECT_EQ(array("[]")->ToStringArray(), nullptr);
    char** texts = array("[\"a\",\"\",\"c c\"]")->ToStringArray();
    ASSERT_NE(texts, nullptr);
    EXPECT_STREQ(texts[0], "a");
    EXPECT_STREQ(texts[1], "");
    EXPECT_STREQ(texts[2], "c c");
    EXPECT_EQ(texts[3], nullptr);
    ValueArray::DeleteStringArray(texts);
    ValueArray::DeleteStringArray(nullptr);

    EXPECT_EQ(messageOf<std::invalid_argument>([] { array("[\"a\",1]")->ToStringArray(); }),
              "all array elements must be ValueString");
    Ref<ValueArray> withNull = array("[\"a\"]");
    withNull->AddElement(new ValueString(nullptr, true));
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { withNull->ToStringArray(); }),
              "all array elements must be non-NULL Strings");
}

TEST(ValueArrayOps, HasElementVisitsInOrder)
{
    Ref<ValueArray> a = array("[\"x\",\"y\",3]");
    EXPECT_TRUE(a->HasElement("y"));
    // The number after the match is never looked at; a search that reaches it fails.
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { a->HasElement("z"); }),
              "all array elements must be ValueString");
    EXPECT_FALSE(array("[\"x\"]")->HasElement("X"));
    EXPECT_FALSE(array("[]")->HasElement("x"));
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { a->HasElement(nullptr); }), "checkValue must not be NULL");
    Ref<ValueArray> withNull(new ValueArray());
    withNull->AddElement(new ValueString(nullptr, true));
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { withNull->HasElement("x"); }),
              "all array elements must be non-NULL Strings");
}

TEST(ValueArrayOps, ToEnumArray)
{
    static const Vantor_util::EnumPair_t table[] = {{4, "four"}, {9, "nine"}, {-1, nullptr}};
    Vantor_util::EnumImage_c map(table);
    EXPECT_EQ(array("[]")->ToEnumArray(&map), nullptr);
    int32_t* keys = array("[\"nine\",\"four\",\"nine\"]")->ToEnumArray(&map);
    ASSERT_NE(keys, nullptr);
    EXPECT_EQ(keys[0], 9);
    EXPECT_EQ(keys[1], 4);
    EXPECT_EQ(keys[2], 9);
    EXPECT_EQ(keys[3], -1);
    std::free(keys);
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { array("[\"four\",\"five\"]")->ToEnumArray(&map); }),
              "array element is not a valid enumeration image");
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { array("[\"four\",{}]")->ToEnumArray(&map); }),
              "all array elements must be ValueString");
}

// Counts visits and fails on elements that are not integral.
struct Visits {
    int count = 0;
};

int countNonIntegral(ValueGeneric* v, void* arg)
{
    ++static_cast<Visits*>(arg)->count;
    return v->IsIntegralNumber() ? 0 : 7;
}

int throwOnString(const ValueGeneric* v, const void* arg)
{
    ++static_cast<Visits*>(const_cast<void*>(arg))->count;
    if (v->IsString()) {
        throw std::runtime_error("string met");
    }
    return v->IsNull() ? 2 : 0;
}

TEST(ValueArrayOps, IterateElementsStopOnFirstOrNot)
{
    Ref<ValueArray> a = array("[1,\"s\",2,null,3]");
    struct Case {
        const char* name;
        bool stopOnFirst;
        int result;
        int visits;
    };
    const Case plain[] = {
        {"stop on first", true, 7, 2},
        {"walk all, first failure kept", false, 7, 5},
    };
    for (const auto& c : plain) {
        SCOPED_TRACE(c.name);
        Visits v;
        EXPECT_EQ(a->IterateElements(&countNonIntegral, &v, c.stopOnFirst), c.result);
        EXPECT_EQ(v.count, c.visits);
    }

    // Throwing actions: re-thrown with stop-on-first; otherwise -1 when
    // nothing failed before.
    Visits v;
    EXPECT_THROW(static_cast<const ValueArray*>(a.get())->IterateElements(&throwOnString, &v, true),
                 std::runtime_error);
    EXPECT_EQ(v.count, 2);
    v.count = 0;
    EXPECT_EQ(static_cast<const ValueArray*>(a.get())->IterateElements(&throwOnString, &v, false), -1);
    EXPECT_EQ(v.count, 5);
    Ref<ValueArray> nullFirst = array("[null,\"s\"]");
    EXPECT_EQ(static_cast<const ValueArray*>(nullFirst.get())->IterateElements(&throwOnString, &v, false), 2);

    EXPECT_EQ(array("[]")->IterateElements(&countNonIntegral, &v, true), 0);
    EXPECT_THROW(a->IterateElements(static_cast<ValueArray::Action>(nullptr), nullptr, true),
                 std::invalid_argument);
}

TEST(ValueArrayOps, ElementPredicates)
{
    using Predicate = int (*)(const ValueGeneric*, const void*);
    Ref<ValueArray> a = array("[null,true,-1,4294967295,-4294967296,18446744073709551615,0.5,\"s\",{},[]]");
    a->AddElement(new ValueRawNumber("1", 1, true));
    struct Case {
        const char* name;
        Predicate predicate;
        int passes; // how many of the 11 elements pass
    };
    const Case cases[] = {
        {"null", ValueIsNull, 1},       {"bool", ValueIsBool, 1},       {"int", ValueIsInt, 1},
        {"uint", ValueIsUint, 1},       {"int64", ValueIsInt64, 1},     {"uint64", ValueIsUint64, 1},
        {"integral", ValueIsIntegralNumber, 4}, {"double", ValueIsDouble, 1}, {"raw", ValueIsRawNumber, 1},
        {"string", ValueIsString, 1},   {"object", ValueIsObject, 1},   {"array", ValueIsArray, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int passes = 0;
        for (const ValueGeneric* e : a->GetElements()) {
            passes += c.predicate(e, nullptr) == 0 ? 1 : 0;
        }
        EXPECT_EQ(passes, c.passes);
    }

    static const Vantor_util::EnumPair_t table[] = {{1, "on"}, {0, "off"}, {-1, nullptr}};
    Vantor_util::EnumMap_c map(table, &std::strcmp);
    EXPECT_EQ(array("[\"on\",\"off\"]")->IterateElements(ValueIsEnum, &map, true), 0);
    EXPECT_NE(array("[\"on\",\"maybe\"]")->IterateElements(ValueIsEnum, &map, true), 0);
    EXPECT_NE(array("[1]")->IterateElements(ValueIsEnum, &map, true), 0);
    EXPECT_EQ(messageOf<std::invalid_argument>([] { ValueIsEnum(nullptr, nullptr); }),
              "validEnumArg must not be NULL");
}

TEST(ValueArrayOps, SharedElementsOutliveOneOwner)
{
    Ref<ValueArray> a = array("[{\"k\":1}]");
    ValueGeneric* inner = a->GetElement(0);
    Ref<ValueArray> b(new ValueArray());
    b->AddElement(inner->AddRef());
    EXPECT_EQ(inner->GetRefCount(), 2);
    a.reset();
    EXPECT_EQ(inner->GetRefCount(), 1);
    EXPECT_EQ(text(b.get()), "[{\"k\":1}]");
    Ref<ValueGeneric> shallow(b->Clone(false));
    EXPECT_EQ(shallow->AsArray()->GetElement(0), inner);
    Ref<ValueGeneric> deep(b->Clone(true));
    EXPECT_NE(deep->AsArray()->GetElement(0), inner);
    EXPECT_TRUE(deep->IsEqualTo(b.get()));
}

} // namespace
