#include "value_support.h"

#include <random>

namespace {

using namespace Vantor_cfgmgr;
using testsupport::json;
using testsupport::object;
using testsupport::text;

std::string stderrOf(const std::function<void()>& f)
{
    testing::internal::CaptureStderr();
    f();
    return testing::internal::GetCapturedStderr();
}

TEST(Diff, LayerRoundTrips)
{
    struct Case {
        const char* lower;
        const char* higher;
        const char* diff;
        const char* overlaid; // lower overlaid with the diff
        const char* messages;
    };
    const Case cases[] = {
        {"{\"a\":{\"x\":1},\"b\":2}", "{\"b\":3}", "{\"a\":{\"deleted\":true},\"b\":3}", "{\"b\":3}", ""},
        {"{\"a\":1}", "{}", "{\"deleted\":true}", "{\"a\":1,\"deleted\":true}", ""},
        {"{\"a\":1,\"b\":2}", "{\"b\":2}", "{}", "{\"a\":1,\"b\":2}",
         "*** Improper deletion of property \"a\": unable to express difference.\n"},
        {"{}", "{\"n\":{\"m\":[1]}}", "{\"n\":{\"m\":[1]}}", "{\"n\":{\"m\":[1]}}", ""},
        {"{}", "{}", "{}", "{}", ""},
        {"{\"o\":{\"p\":1,\"q\":{\"r\":\"s\"}}}", "{\"o\":{\"p\":1,\"q\":{\"r\":\"t\"}}}",
         "{\"o\":{\"q\":{\"r\":\"t\"}}}", "{\"o\":{\"p\":1,\"q\":{\"r\":\"t\"}}}", ""},
        {"{\"arr\":[1,2],\"n\":5,\"d\":1.5,\"t\":true}", "{\"arr\":[2],\"n\":5000000000,\"d\":1.5,\"t\":false}",
         "{\"arr\":[2],\"n\":5000000000,\"t\":false}", "{\"arr\":[2],\"d\":1.5,\"n\":5000000000,\"t\":false}", ""},
        {"{\"a\":1,\"s\":\"x\"}", "{\"a\":\"one\",\"s\":\"y\"}", "{\"s\":\"y\"}", "{\"a\":1,\"s\":\"y\"}",
         "*** JSON Schema violation: attempting to change type of property \"a\"\n"},
        {"{\"k\":1}", "{\"k\":1,\"new\":null}", "{\"new\":null}", "{\"k\":1,\"new\":null}", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.lower) + " -> " + c.higher);
        Ref<ValueObject> lower = object(c.lower);
        Ref<ValueObject> higher = object(c.higher);
        Ref<ValueObject> diff(new ValueObject());
        EXPECT_EQ(stderrOf([&] { diff->Diff(lower.get(), higher.get()); }), c.messages);
        EXPECT_EQ(text(diff.get()), c.diff);
        EXPECT_NO_THROW(lower->Overlay(diff.get()));
        EXPECT_EQ(text(lower.get()), c.overlaid);
    }
}

TEST(Overlay, ResultAndRefusals)
{
    struct Case {
        const char* lower;
        const char* higher;
        bool changed;
        const char* after;
    };
    const Case cases[] = {
        {"{\"a\":1}", "{\"a\":1}", false, "{\"a\":1}"},
        {"{\"a\":1}", "{\"a\":2}", true, "{\"a\":2}"},
        {"{\"a\":1}", "{\"a\":1.0}", false, nullptr},
        {"{\"a\":{\"b\":1}}", "{\"a\":{\"b\":1}}", false, "{\"a\":{\"b\":1}}"},
        {"{\"a\":{\"b\":1}}", "{\"a\":{\"c\":true}}", true, "{\"a\":{\"b\":1,\"c\":true}}"},
        {"{\"a\":{\"b\":1},\"z\":0}", "{\"a\":{\"deleted\":true}}", true, "{\"z\":0}"},
        {"{\"s\":\"x\"}", "{\"s\":\"x\"}", false, "{\"s\":\"x\"}"},
        {"{\"arr\":[1]}", "{\"arr\":[1]}", false, "{\"arr\":[1]}"},
        {"{\"n\":null}", "{\"m\":null}", true, "{\"m\":null,\"n\":null}"},
        // Strings holding a NUL differ after it and must be replaced whole.
        {"{\"s\":\"a\\u0000b\"}", "{\"s\":\"a\\u0000c\"}", true, "{\"s\":\"a\\u0000c\"}"},
        {"{\"s\":\"a\"}", "{\"s\":\"a\\u0000\"}", true, "{\"s\":\"a\\u0000\"}"},
        {"{\"s\":\"a\\u0000b\"}", "{\"s\":\"a\\u0000b\"}", false, "{\"s\":\"a\\u0000b\"}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.lower) + " <- " + c.higher);
        Ref<ValueObject> lower = object(c.lower);
        Ref<ValueObject> higher = object(c.higher);
        if (c.after == nullptr) {
            EXPECT_THROW(lower->Overlay(higher.get()), std::invalid_argument);
            continue;
        }
        EXPECT_EQ(lower->Overlay(higher.get()), c.changed);
        EXPECT_EQ(text(lower.get()), c.after);
    }

    struct Refusal {
        const char* lower;
        const char* higher;
        const char* message;
        const char* after; // what was applied before the refusal
    };
    const Refusal refusals[] = {
        {"{\"a\":1}", "{\"deleted\":false}", "Improper use of \"deleted\" : true", "{\"a\":1}"},
        {"{\"a\":1}", "{\"deleted\":1}", "Improper use of \"deleted\" : true", "{\"a\":1}"},
        {"{\"a\":1}", "{\"a\":null}", "Improper use of JSON 'null' value", "{\"a\":1}"},
        {"{\"a\":\"s\"}", "{\"a\":5}", "JSON Schema violation: attempting to change type of property", "{\"a\":\"s\"}"},
        {"{\"a\":1,\"b\":\"s\"}", "{\"a\":2,\"b\":[]}", "JSON Schema violation: attempting to change type of property",
         "{\"a\":2,\"b\":\"s\"}"},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.higher);
        Ref<ValueObject> lower = object(r.lower);
        Ref<ValueObject> higher = object(r.higher);
        try {
            lower->Overlay(higher.get());
            ADD_FAILURE() << "no exception";
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), r.message);
        }
        EXPECT_EQ(text(lower.get()), r.after);
    }
    Ref<ValueObject> lower = object("{}");
    try {
        lower->Overlay(nullptr);
        ADD_FAILURE();
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "higherObject must not be NULL");
    }
}

TEST(Overlay, OntoItselfChangesNothing)
{
    Ref<ValueObject> o = object("{\"a\":{\"b\":[1]},\"c\":2}");
    EXPECT_FALSE(o->Overlay(o.get()));
    EXPECT_EQ(text(o.get()), "{\"a\":{\"b\":[1]},\"c\":2}");
}

TEST(Trim, RemovesEmptyObjectsRecursively)
{
    struct Case {
        const char* before;
        const char* after;
    };
    const Case cases[] = {
        {"{\"a\":{\"b\":{}},\"c\":1}", "{\"c\":1}"},
        {"{\"a\":{\"b\":{},\"k\":0}}", "{\"a\":{\"k\":0}}"},
        {"{\"arr\":[{}],\"e\":{}}", "{\"arr\":[{}]}"},
        {"{}", "{}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before);
        Ref<ValueObject> o = object(c.before);
        o->Trim();
        EXPECT_EQ(text(o.get()), c.after);
    }
}

// ---- generated layers: Overlay(A, Diff(A, B)) gives B

class TreeGenerator {
public:
    explicit TreeGenerator(uint32_t seed) : rng_(seed) {}

    // A random object; objects may be empty here.
    ValueObject* Object(int depth)
    {
        auto* o = new ValueObject();
        int n = Pick(0, 4);
        for (int i = 0; i < n; ++i) {
            o->SetProperty(Name().c_str(), Value(depth));
        }
        return o;
    }

    // B from A: same kinds under the same names; scalars change value but
    // are never deleted; objects are deleted, changed or kept; new properties
    // appear; no object of B is empty.
    ValueObject* Mutate(const ValueObject& a, int depth)
    {
        auto* b = new ValueObject();
        for (const auto& [name, v] : a.GetProperties()) {
            int roll = Pick(0, 9);
            if (v->IsObject()) {
                if (roll < 2) {
                    continue; // deleted
                }
                b->SetProperty(name, roll < 6 ? Mutate(*v->AsObject(), depth + 1) : NonEmpty(v->Clone(true)));
            } else {
                b->SetProperty(name, roll < 4 ? SameKind(*v) : v->Clone(true));
            }
        }
        // New names only: reusing a name of A would change its kind.
        int added = Pick(0, 2);
        for (int tries = 0; tries < 100 && (added > 0 || b->IsEmpty()); ++tries) {
            std::string n = Name();
            if (a.GetProperty(n.c_str()) == nullptr && b->GetProperty(n.c_str()) == nullptr) {
                b->SetProperty(n.c_str(), Value(depth + 1));
                --added;
            }
        }
        return b;
    }

private:
    int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

    std::string Name()
    {
        static const char* const names[] = {"a", "b", "c", "d", "e", "alpha", "beta", "B", "z9", "_x", "\xc3\xa9"};
        return names[Pick(0, 10)];
    }

    ValueGeneric* NonEmpty(ValueGeneric* v)
    {
        ValueObject* o = nullptr;
        if (v->AsObject(o) && o->IsEmpty()) {
            o->SetProperty("filled", new ValueInt(1));
        }
        return v;
    }

    ValueGeneric* Scalar(int kind)
    {
        switch (kind) {
        case 0: return new ValueNull();
        case 1: return new ValueBool(Pick(0, 1) == 1);
        case 2: return new ValueInt(Pick(-5, 5));
        case 3: return new ValueUint64(1ull << Pick(32, 63));
        case 4: return new ValueInt64(-(1ll << Pick(32, 62)));
        case 5: return new ValueDouble(Pick(-100, 100) / 8.0);
        default: return new ValueString(Name().c_str(), true);
        }
    }

    ValueGeneric* Value(int depth)
    {
        // Objects are the likeliest kind near the top, so that deletions
        // and nested differences come up often.
        int kind = Pick(0, depth < 3 ? 10 : 6);
        if (kind >= 7 && kind <= 9) {
            return NonEmpty(Object(depth + 1));
        }
        if (kind == 10) {
            auto* arr = new ValueArray();
            for (int i = Pick(0, 3); i > 0; --i) {
                arr->AddElement(Value(depth + 1));
            }
            return arr;
        }
        return Scalar(kind);
    }

    // Another value of the same kind (integers may change subtype).
    ValueGeneric* SameKind(const ValueGeneric& v)
    {
        if (v.IsNull()) return new ValueNull();
        if (v.IsBool()) return new ValueBool(!v.AsBool()->GetValue());
        if (v.IsIntegralNumber()) return Scalar(Pick(2, 4));
        if (v.IsDouble()) return Scalar(5);
        if (v.IsString()) return Scalar(6);
        auto* arr = new ValueArray();
        arr->AddElement(Scalar(Pick(0, 6)));
        return arr;
    }

    std::mt19937 rng_;
};

TEST(DiffOverlayProperty, OverlayOfTheDiffGivesTheHigherTree)
{
    TreeGenerator gen(20261210u);
    int withDeletions = 0;
    for (int i = 0; i < 400; ++i) {
        SCOPED_TRACE(i);
        Ref<ValueObject> a(gen.Object(0));
        Ref<ValueObject> b(gen.Mutate(*a, 0));
        Ref<ValueObject> diff(new ValueObject());
        EXPECT_EQ(stderrOf([&] { diff->Diff(a.get(), b.get()); }), "");
        std::string diffText = text(diff.get());
        withDeletions += diffText.find("\"deleted\"") != std::string::npos ? 1 : 0;

        Ref<ValueGeneric> merged(a->Clone(true));
        ValueObject* m = nullptr;
        merged->AsObject(m);
        EXPECT_NO_THROW(m->Overlay(diff.get()));
        EXPECT_TRUE(m->IsEqualTo(b.get())) << "A " << text(a.get()) << "\nB " << text(b.get()) << "\ndiff "
                                             << diffText << "\ngot " << text(m);
    }
    // The generator must actually exercise deletions.
    EXPECT_GT(withDeletions, 40);
}

} // namespace
