#include "value_support.h"

#include <functional>
#include <regex.h>

namespace {

using namespace Vantor_cfgmgr;
using testsupport::json;
using testsupport::object;
using testsupport::text;

enum class Thrown { none, invalid, overflow, length };

// Runs one reader call and reports how it ended and with what text.
struct Outcome {
    Thrown thrown = Thrown::none;
    std::string message;
    bool result = false;
};

Outcome run(const std::function<bool()>& reader)
{
    Outcome o;
    try {
        o.result = reader();
    } catch (const std::overflow_error& e) {
        o = {Thrown::overflow, e.what(), false};
    } catch (const std::length_error& e) {
        o = {Thrown::length, e.what(), false};
    } catch (const std::invalid_argument& e) {
        o = {Thrown::invalid, e.what(), false};
    }
    return o;
}

// The numbers used by the integer reader tables, one property per subtype
// and boundary.
const char* const kNumbers = "{"
                             "\"int5\":5,\"intNeg\":-7,\"intMin\":-2147483648,"
                             "\"uintMax32\":2147483647,\"uintOver32\":2147483648,\"uintMax\":4294967295,"
                             "\"i64Low\":-2147483649,\"i64High\":4294967296,\"i64Neg\":-5000000000,"
                             "\"u64Max63\":9223372036854775807,\"u64Over63\":9223372036854775808,"
                             "\"u64Max\":18446744073709551615,"
                             "\"dbl\":3.0,\"str\":\"x\",\"flag\":true"
                             "}";

struct IntCase {
    const char* name;
    long long min, max;
    Thrown thrown;
    const char* message; // expected text, or the value printed when none
};

TEST(UpdateValueInt, ConversionsAndRanges)
{
    Ref<ValueObject> o = object(kNumbers);
    const IntCase cases[] = {
        {"int5", 0, 10, Thrown::none, "5"},
        {"intMin", INT_MIN, 0, Thrown::none, "-2147483648"},
        {"uintMax32", 0, INT_MAX, Thrown::none, "2147483647"},
        {"uintOver32", INT_MIN, INT_MAX, Thrown::overflow, "number too large for Integer"},
        {"i64Low", INT_MIN, INT_MAX, Thrown::overflow, "number too negative for Integer"},
        {"i64High", INT_MIN, INT_MAX, Thrown::overflow, "number too large for Integer"},
        {"u64Max", INT_MIN, INT_MAX, Thrown::overflow, "number too large for Integer"},
        {"int5", 6, 10, Thrown::invalid, "property \"int5\" had propValue 5, but must have propValue in [6, 10]"},
        {"intNeg", 0, 1, Thrown::invalid, "property \"intNeg\" had propValue -7, but must have propValue in [0, 1]"},
        {"dbl", 0, 10, Thrown::invalid, "property \"dbl\" must be Integer"},
        {"str", 0, 10, Thrown::invalid, "property \"str\" must be Integer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int out = 12345;
        Outcome r = run([&] { return o->UpdateValue(out, c.name, static_cast<int>(c.min), static_cast<int>(c.max)); });
        EXPECT_EQ(r.thrown, c.thrown) << r.message;
        if (c.thrown == Thrown::none) {
            EXPECT_TRUE(r.result);
            EXPECT_EQ(std::to_string(out), c.message);
        } else {
            EXPECT_EQ(r.message, c.message);
            EXPECT_EQ(out, 12345);
        }
    }
    // A Uint64 holding 5 reads as 5.
    Ref<ValueObject> u = object("{}");
    u->SetProperty("n", new ValueUint64(5));
    int out = 0;
    EXPECT_TRUE(u->UpdateValue(out, "n", 0, 10));
    EXPECT_EQ(out, 5);
    // Absent: false, out untouched.
    out = 99;
    EXPECT_FALSE(u->UpdateValue(out, "missing", 0, 10));
    EXPECT_EQ(out, 99);
}

TEST(UpdateValueUnsigned, ConversionsAndRanges)
{
    Ref<ValueObject> o = object(kNumbers);
    const IntCase cases[] = {
        {"uintMax", 0, UINT_MAX, Thrown::none, "4294967295"},
        {"int5", 0, 5, Thrown::none, "5"},
        {"intNeg", 0, UINT_MAX, Thrown::overflow, "Unsigned Integer must be non-negative"},
        {"i64Neg", 0, UINT_MAX, Thrown::overflow, "Unsigned Integer must be non-negative"},
        {"i64High", 0, UINT_MAX, Thrown::overflow, "number too large for Unsigned Integer"},
        {"u64Max", 0, UINT_MAX, Thrown::overflow, "number too large for Unsigned Integer"},
        {"uintMax", 0, 10, Thrown::invalid,
         "property \"uintMax\" had propValue 4294967295, but must have propValue in [0, 10]"},
        {"flag", 0, 10, Thrown::invalid, "property \"flag\" must be Unsigned Integer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        unsigned out = 777;
        Outcome r = run([&] {
            return o->UpdateValue(out, c.name, static_cast<unsigned>(c.min), static_cast<unsigned>(c.max));
        });
        EXPECT_EQ(r.thrown, c.thrown) << r.message;
        if (c.thrown == Thrown::none) {
            EXPECT_EQ(std::to_string(out), c.message);
        } else {
            EXPECT_EQ(r.message, c.message);
            EXPECT_EQ(out, 777u);
        }
    }
}

TEST(UpdateValueInt64, ConversionsAndRanges)
{
    Ref<ValueObject> o = object(kNumbers);
    const IntCase cases[] = {
        {"u64Max63", LLONG_MIN, LLONG_MAX, Thrown::none, "9223372036854775807"},
        {"i64Neg", LLONG_MIN, 0, Thrown::none, "-5000000000"},
        {"intNeg", -10, 0, Thrown::none, "-7"},
        {"u64Over63", LLONG_MIN, LLONG_MAX, Thrown::overflow, "number too large for 64-bit Integer"},
        {"u64Max", LLONG_MIN, LLONG_MAX, Thrown::overflow, "number too large for 64-bit Integer"},
        {"i64High", 0, 100, Thrown::invalid,
         "property \"i64High\" had propValue 4294967296, but must have propValue in [0, 100]"},
        {"dbl", 0, 1, Thrown::invalid, "property \"dbl\" must be 64-bit Integer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        long long out = 1;
        Outcome r = run([&] { return o->UpdateValue(out, c.name, c.min, c.max); });
        EXPECT_EQ(r.thrown, c.thrown) << r.message;
        EXPECT_EQ(c.thrown == Thrown::none ? std::to_string(out) : r.message, c.message);
    }
}

TEST(UpdateValueUint64, ConversionsAndRanges)
{
    Ref<ValueObject> o = object(kNumbers);
    struct Case {
        const char* name;
        unsigned long long min, max;
        Thrown thrown;
        const char* message;
    };
    const Case cases[] = {
        {"u64Max", 0, ULLONG_MAX, Thrown::none, "18446744073709551615"},
        {"int5", 5, 5, Thrown::none, "5"},
        {"intNeg", 0, ULLONG_MAX, Thrown::overflow, "Unsigned 64-bit Integer must be non-negative"},
        {"i64Neg", 0, ULLONG_MAX, Thrown::overflow, "Unsigned 64-bit Integer must be non-negative"},
        {"u64Over63", 0, 1, Thrown::invalid,
         "property \"u64Over63\" had propValue 9223372036854775808, but must have propValue in [0, 1]"},
        {"str", 0, 1, Thrown::invalid, "property \"str\" must be Unsigned 64-bit Integer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        unsigned long long out = 1;
        Outcome r = run([&] { return o->UpdateValue(out, c.name, c.min, c.max); });
        EXPECT_EQ(r.thrown, c.thrown) << r.message;
        EXPECT_EQ(c.thrown == Thrown::none ? std::to_string(out) : r.message, c.message);
    }
}

TEST(UpdateValueOthers, DoubleBoolObjectArray)
{
    Ref<ValueObject> o = object("{\"three\":3,\"half\":0.5,\"t\":true,\"obj\":{\"k\":1},\"arr\":[1],\"s\":\"x\"}");
    double d = -1;
    Outcome r = run([&] { return o->UpdateValue(d, "three"); });
    EXPECT_EQ(r.message, "property \"three\" must be Double");
    EXPECT_TRUE(o->UpdateValue(d, "half"));
    EXPECT_EQ(d, 0.5);
    bool b = false;
    EXPECT_TRUE(o->UpdateValue(b, "t"));
    EXPECT_TRUE(b);
    EXPECT_EQ(run([&] { return o->UpdateValue(b, "three"); }).message, "property \"three\" must be Boolean");
    ValueObject* obj = nullptr;
    EXPECT_TRUE(o->UpdateValue(obj, "obj"));
    EXPECT_EQ(obj, o->GetProperty("obj"));
    EXPECT_EQ(run([&] { return o->UpdateValue(obj, "arr"); }).message, "property \"arr\" must be Object");
    ValueArray* arr = nullptr;
    EXPECT_TRUE(o->UpdateValue(arr, "arr"));
    EXPECT_EQ(arr, o->GetProperty("arr"));
    EXPECT_EQ(run([&] { return o->UpdateValue(arr, "s"); }).message, "property \"s\" must be Array");
    EXPECT_FALSE(o->UpdateValue(arr, "none"));
    EXPECT_THROW(o->UpdateValue(b, nullptr), std::invalid_argument);
}

TEST(UpdateValueString, LengthRegexAndEnum)
{
    Ref<ValueObject> o = object("{\"name\":\"alpha\",\"empty\":\"\",\"n\":1,\"colour\":\"green\"}");
    o->SetProperty("nulltext", new ValueString(nullptr, true));
    regex_t lower;
    ASSERT_EQ(::regcomp(&lower, "^[a-z]*$", REG_EXTENDED | REG_NOSUB), 0);
    regex_t digits;
    ASSERT_EQ(::regcomp(&digits, "^[0-9]+$", REG_EXTENDED | REG_NOSUB), 0);
    static const Vantor_util::EnumPair_t colours[] = {{3, "red"}, {5, "green"}, {-1, nullptr}};
    Vantor_util::EnumImage_c colourMap(colours);

    struct Case {
        const char* label;
        std::function<bool(const char*&)> read;
        Thrown thrown;
        const char* expected; // the text read, or the message
    };
    const Case cases[] = {
        {"length ok", [&](const char*& out) { return o->UpdateValue(out, "name", 1u, 5u); }, Thrown::none, "alpha"},
        {"too long", [&](const char*& out) { return o->UpdateValue(out, "name", 1u, 4u); }, Thrown::length,
         "property \"name\" had length 5, but must have length in [1, 4]"},
        {"too short", [&](const char*& out) { return o->UpdateValue(out, "empty", 1u, 4u); }, Thrown::length,
         "property \"empty\" had length 0, but must have length in [1, 4]"},
        {"not a string", [&](const char*& out) { return o->UpdateValue(out, "n", 0u, 4u); }, Thrown::invalid,
         "property \"n\" must be String"},
        {"regex ok", [&](const char*& out) { return o->UpdateValue(out, "name", &lower, 0u, 10u); }, Thrown::none,
         "alpha"},
        {"regex fails", [&](const char*& out) { return o->UpdateValue(out, "name", &digits, 0u, 10u); },
         Thrown::invalid, "property \"name\" : \"alpha\" does not match required regex"},
        {"regex length first", [&](const char*& out) { return o->UpdateValue(out, "name", &digits, 0u, 2u); },
         Thrown::length, "property \"name\" had length 5, but must have length in [0, 2]"},
        {"null text as empty", [&](const char*& out) { return o->UpdateValue(out, "nulltext", &digits, 0u, 2u); },
         Thrown::invalid, "property \"nulltext\" : \"\" does not match required regex"},
        {"null regex", [&](const char*& out) { return o->UpdateValue(out, "missing", nullptr, 0u, 2u); },
         Thrown::invalid, "regex must not be NULL"},
        {"enum ok", [&](const char*& out) { return o->UpdateValue(out, "colour", &colourMap, nullptr); },
         Thrown::none, "green"},
        {"enum unknown", [&](const char*& out) { return o->UpdateValue(out, "name", &colourMap, nullptr); },
         Thrown::invalid, "illegal propValue \"alpha\" for property \"name\""},
        {"enum null text", [&](const char*& out) { return o->UpdateValue(out, "nulltext", &colourMap, nullptr); },
         Thrown::invalid, "illegal propValue \"\" for property \"nulltext\""},
        {"enum null map first", [&](const char*& out) { return o->UpdateValue(out, "missing", nullptr, nullptr); },
         Thrown::invalid, "validEnum must not be NULL"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const char* out = "untouched";
        Outcome r = run([&] { return c.read(out); });
        EXPECT_EQ(r.thrown, c.thrown) << r.message;
        if (c.thrown == Thrown::none) {
            EXPECT_STREQ(out, c.expected);
        } else {
            EXPECT_EQ(r.message, c.expected);
            EXPECT_STREQ(out, "untouched");
        }
    }

    unsigned key = 0;
    const char* out = nullptr;
    EXPECT_TRUE(o->UpdateValue(out, "colour", &colourMap, &key));
    EXPECT_EQ(key, 5u);
    EXPECT_EQ(out, o->GetProperty("colour")->AsString()->GetValue());

    // The char*& forms hand out fresh copies and free the previous one.
    char* owned = ::strdup("previous");
    EXPECT_TRUE(o->UpdateValue(owned, "name", 0u, 10u));
    EXPECT_STREQ(owned, "alpha");
    EXPECT_NE(owned, o->GetProperty("name")->AsString()->GetValue());
    EXPECT_TRUE(o->UpdateValue(owned, "name", &lower, 0u, 10u));
    EXPECT_TRUE(o->UpdateValue(owned, "colour", &colourMap, &key));
    EXPECT_STREQ(owned, "green");
    EXPECT_THROW(o->UpdateValue(owned, "name", &colourMap, &key), std::invalid_argument);
    EXPECT_STREQ(owned, "green");
    EXPECT_FALSE(o->UpdateValue(owned, "missing", 0u, 1u));
    std::free(owned);
    ::regfree(&lower);
    ::regfree(&digits);
}

TEST(ValueObjectProperties, SetPropertyReplaceRemoveIgnore)
{
    Ref<ValueObject> o = object("{\"a\":1,\"b\":2}");
    auto* shared = new ValueString("s", true);
    Ref<ValueGeneric> keep(shared->AddRef()); // watch it after the object lets go

    EXPECT_TRUE(o->SetProperty("a", shared));
    EXPECT_EQ(o->GetProperty("a"), shared);
    EXPECT_EQ(shared->GetRefCount(), 2);
    EXPECT_TRUE(o->SetProperty("a", nullptr)); // remove
    EXPECT_EQ(o->GetProperty("a"), nullptr);
    EXPECT_EQ(shared->GetRefCount(), 1);
    EXPECT_FALSE(o->SetProperty("zz", nullptr)); // ignore
    EXPECT_EQ(text(o.get()), "{\"b\":2}");
    EXPECT_FALSE(o->SetProperty("c", new ValueNull()));
    EXPECT_EQ(text(o.get()), "{\"b\":2,\"c\":null}");

    // A taken-over name is freed whatever happens to it.
    EXPECT_FALSE(o->SetProperty(::strdup("d"), new ValueBool(true), false));
    EXPECT_TRUE(o->SetProperty(::strdup("d"), new ValueBool(false), false));
    EXPECT_FALSE(o->SetProperty(::strdup("none"), nullptr, false));
    EXPECT_EQ(text(o.get()), "{\"b\":2,\"c\":null,\"d\":false}");

    EXPECT_THROW(o->SetProperty(nullptr, nullptr), std::invalid_argument);
    try {
        o->GetProperty(nullptr);
        FAIL();
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "name must not be NULL");
    }
}

TEST(ValueObjectProperties, NamesAreOrderedBytewise)
{
    Ref<ValueObject> o = object("{}");
    for (const char* name : {"b", "B", "a", "\xc3\xa9", "a0", "_"}) {
        o->SetProperty(name, new ValueNull());
    }
    std::string order;
    for (const auto& [name, value] : o->GetProperties()) {
        order += name;
        order += ' ';
    }
    EXPECT_EQ(order, "B _ a a0 b \xc3\xa9 ");
}

TEST(ValueObjectProperties, MapConstructorAndSetValue)
{
    Ref<ValueObject> src = object("{\"x\":{\"y\":1},\"z\":[2]}");
    ValueObject deep(&src->GetProperties(), true);
    ValueObject shallow(&src->GetProperties(), false);
    ValueObject empty(nullptr, true);
    EXPECT_TRUE(deep.IsEqualTo(src.get()));
    EXPECT_TRUE(shallow.IsEqualTo(src.get()));
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_NE(deep.GetProperty("x"), src->GetProperty("x"));
    EXPECT_EQ(shallow.GetProperty("x"), src->GetProperty("x"));
    EXPECT_EQ(src->GetProperty("x")->GetRefCount(), 2);
    shallow.SetValue(nullptr, false);
    EXPECT_TRUE(shallow.IsEmpty());
    EXPECT_EQ(src->GetProperty("x")->GetRefCount(), 1);
}

TEST(ValueObjectProperties, AreLikePropertiesEqual)
{
    struct Case {
        const char* mine;
        const char* other;
        bool exact;
        bool like;
    };
    const Case cases[] = {
        {"{\"a\":1,\"b\":2}", "{\"a\":1}", true, true},
        {"{\"a\":1}", "{\"a\":1,\"b\":2}", true, false},
        {"{\"a\":1}", "{}", true, true},
        {"{}", "{\"a\":1}", false, false},
        {"{\"o\":{\"x\":1,\"y\":2}}", "{\"o\":{\"x\":1}}", false, true},
        {"{\"o\":{\"x\":1,\"y\":2}}", "{\"o\":{\"x\":1}}", true, false},
        {"{\"o\":{\"x\":{\"p\":1,\"q\":2}}}", "{\"o\":{\"x\":{\"q\":2}}}", false, true},
        {"{\"o\":{\"x\":1}}", "{\"o\":{\"x\":2}}", false, false},
        {"{\"o\":1}", "{\"o\":{}}", false, false},
        {"{\"o\":{}}", "{\"o\":1}", false, false},
        {"{\"a\":[1,{\"b\":1,\"c\":1}]}", "{\"a\":[1,{\"b\":1}]}", false, false},
        {"{\"n\":7}", "{\"n\":7.0}", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.mine) + " ~ " + c.other + (c.exact ? " exact" : ""));
        Ref<ValueObject> mine = object(c.mine);
        Ref<ValueGeneric> other = json(c.other);
        EXPECT_EQ(mine->AreLikePropertiesEqual(other.get(), c.exact), c.like);
    }
    Ref<ValueObject> o = object("{}");
    EXPECT_FALSE(o->AreLikePropertiesEqual(json("[]").get(), false));
    EXPECT_FALSE(o->AreLikePropertiesEqual(nullptr, false));
}

TEST(ValueObjectProperties, SetValueInSitu)
{
    struct Case {
        const char* target;
        const char* source;
        int result;
        const char* after;
    };
    const Case cases[] = {
        {"{\"a\":1,\"b\":\"x\"}", "{\"a\":2}", 0, "{\"a\":2,\"b\":\"x\"}"},
        {"{\"a\":1,\"b\":\"x\"}", "{\"b\":\"y\",\"a\":-1}", 0, "{\"a\":-1,\"b\":\"y\"}"},
        {"{\"a\":1}", "{\"c\":2}", 4, "{\"a\":1}"},
        {"{\"a\":1,\"b\":2}", "{\"a\":5,\"b\":\"str\"}", 3, "{\"a\":1,\"b\":2}"},
        {"{\"a\":1}", "[]", 3, "{\"a\":1}"},
        {"{\"o\":{\"x\":1}}", "{\"o\":{\"y\":2}}", 0, "{\"o\":{\"y\":2}}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.target) + " <- " + c.source);
        Ref<ValueObject> fromText = object(c.target);
        EXPECT_EQ(fromText->SetValueInSitu(c.source), c.result);
        EXPECT_EQ(text(fromText.get()), c.after);
        Ref<ValueGeneric> source = json(c.source);
        if (source->IsObject()) {
            Ref<ValueObject> fromValue = object(c.target);
            EXPECT_EQ(fromValue->SetValueInSitu(source->AsObject()), c.result);
            EXPECT_EQ(text(fromValue.get()), c.after);
        }
    }
    Ref<ValueObject> o = object("{\"a\":1}");
    testing::internal::CaptureStderr();
    EXPECT_NE(o->SetValueInSitu("{\"a\" 2}"), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("*** JSON Parse Error"), std::string::npos);
}

} // namespace
