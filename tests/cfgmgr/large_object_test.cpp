// Batch changes and layers on objects with tens of thousands of properties,
// checked against the same changes played one at a time on a std::map.
#include "value_support.h"

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace Vantor_cfgmgr;
using testsupport::text;

constexpr int kMembers = 60000;

std::string groupName(int i) { return "g" + std::to_string(i); }

// What a property should be: its number and its access class.
struct Expected {
    int number;
    AccessClass_t access;
    bool operator==(const Expected&) const = default;
};

std::map<std::string, Expected> contentOf(const ValueObject& o)
{
    std::map<std::string, Expected> out;
    for (const auto& [name, value] : o.GetProperties()) {
        out[name] = Expected{value->AsIntegralNumber()->GetInt(), value->GetAccessClass()};
    }
    return out;
}

bool strictlySorted(const ValueObject& o)
{
    const char* previous = nullptr;
    for (const auto& [name, value] : o.GetProperties()) {
        if (previous != nullptr && std::strcmp(previous, name) >= 0) {
            return false;
        }
        previous = name;
    }
    return true;
}

TEST(LargeObject, SetPropertiesMatchesOneAtATime)
{
    Ref<ValueObject> object(new ValueObject());
    std::map<std::string, Expected> reference;
    std::vector<std::pair<std::string, ValueGeneric*>> initial;
    for (int i = 0; i < kMembers; i += 2) { // even numbers only: odd ones are new later
        initial.emplace_back(groupName(i), new ValueInt(i));
        reference[groupName(i)] = Expected{i, readWrite};
    }
    object->SetProperties(initial);
    EXPECT_TRUE(initial.empty());
    ASSERT_EQ(contentOf(*object), reference);
    object->SetAccessClass(readOnly);

    // A kept value that the batch replaces must be released by the object.
    Ref<ValueGeneric> replaced(object->GetProperty("g10")->AddRef());

    // 20 000 entries: new names, replacements, removals of present and
    // absent names, and names given more than once in either order.
    std::mt19937 random(9050);
    std::uniform_int_distribution<int> pick(0, kMembers - 1);
    std::vector<std::pair<std::string, ValueGeneric*>> batch;
    auto play = [&](const std::string& name, int number, bool remove) {
        // What SetProperty does: a value for a present name replaces it as
        // it is, a new name raises the value to the object's class, a null
        // removes.
        ValueGeneric* v = remove ? nullptr : new ValueInt(number);
        batch.emplace_back(name, v);
        auto it = reference.find(name);
        if (remove) {
            if (it != reference.end()) {
                reference.erase(it);
            }
        } else if (it != reference.end()) {
            it->second = Expected{number, readWrite};
        } else {
            reference[name] = Expected{number, readOnly};
        }
    };
    play("g10", -10, false);
    for (int n = 0; n < 20000; ++n) {
        const int i = pick(random);
        const int kind = n % 5;
        play(groupName(i), 1000000 + n, kind == 4);
        if (n % 97 == 0) { // the same name again, value then null or null then value
            play(groupName(i), 2000000 + n, kind != 4);
        }
    }
    object->SetProperties(batch);
    EXPECT_TRUE(batch.empty());
    EXPECT_TRUE(strictlySorted(*object));
    EXPECT_EQ(contentOf(*object), reference);
    EXPECT_EQ(replaced->GetRefCount(), 1);
}

// The lower layer holds numbers under even names and one-member objects
// under odd ones; the higher layer changes, adds, deletes and extends.
TEST(LargeObject, OverlayMatchesTheReference)
{
    std::map<std::string, std::string> expected; // name -> compact JSON of the value
    std::string lowerText = "{";
    for (int i = 0; i < kMembers; ++i) {
        const std::string value = i % 2 == 0 ? std::to_string(i) : "{\"v\":" + std::to_string(i) + "}";
        lowerText += (i > 0 ? ",\"" : "\"") + groupName(i) + "\":" + value;
        expected[groupName(i)] = value;
    }
    lowerText += "}";
    Ref<ValueObject> lower = testsupport::object(lowerText.c_str());
    Ref<ValueGeneric> original(lower->Clone(true));

    std::string higherText = "{";
    bool firstMember = true;
    auto member = [&](const std::string& name, const std::string& value) {
        higherText += (firstMember ? "\"" : ",\"") + name + "\":" + value;
        firstMember = false;
    };
    for (int i = 0; i < kMembers; i += 3) {
        const std::string name = groupName(i);
        if (i % 2 == 0) {
            member(name, std::to_string(-i)); // changed number (0 stays 0)
            expected[name] = std::to_string(-i);
        } else if (i % 4 == 1) {
            member(name, "{\"deleted\":true}");
            expected.erase(name);
        } else {
            member(name, "{\"w\":1}");
            expected[name] = "{\"v\":" + std::to_string(i) + ",\"w\":1}";
        }
        member("new" + std::to_string(i), "true");
        expected["new" + std::to_string(i)] = "true";
    }
    higherText += "}";
    Ref<ValueObject> higher = testsupport::object(higherText.c_str());

    EXPECT_TRUE(lower->Overlay(higher.get()));
    std::string want = "{";
    for (const auto& [name, value] : expected) {
        want += (want.size() > 1 ? ",\"" : "\"") + name + "\":" + value;
    }
    want += "}";
    EXPECT_EQ(text(lower.get()), want);
    EXPECT_TRUE(strictlySorted(*lower));

    // The layer between the original and the result gives the result again.
    Ref<ValueObject> layer(new ValueObject());
    layer->Diff(original->AsObject(), lower.get());
    Ref<ValueGeneric> rebuilt(original->Clone(true));
    ValueObject* rebuiltObject = nullptr;
    rebuilt->AsObject(rebuiltObject);
    rebuiltObject->Overlay(layer.get());
    EXPECT_EQ(text(rebuilt.get()), want);
}

TEST(LargeObject, OverlayStoppedByARefusalKeepsWhatCameBefore)
{
    Ref<ValueObject> lower = testsupport::object("{\"b\":1,\"m\":2,\"x\":{\"k\":1}}");
    Ref<ValueObject> higher =
        testsupport::object("{\"a\":\"new\",\"b\":5,\"c\":{\"deleted\":true},\"m\":null,\"n\":1,\"x\":{\"deleted\":true}}");
    try {
        lower->Overlay(higher.get());
        ADD_FAILURE() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Improper use of JSON 'null' value");
    }
    // "a", "b" and "c" came before the refused "m"; "n" and "x" after it.
    EXPECT_EQ(text(lower.get()), "{\"a\":\"new\",\"b\":5,\"c\":{\"deleted\":true},\"m\":2,\"x\":{\"k\":1}}");
    EXPECT_TRUE(strictlySorted(*lower));
}

} // namespace
