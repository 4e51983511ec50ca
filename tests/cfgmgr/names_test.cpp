// Property names are shared between objects: they must stay right for every
// holder however the holders come and go, and from any thread.
#include "value_support.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace Vantor_cfgmgr;
using testsupport::object;
using testsupport::text;

const char* storedName(const ValueObject& o, const char* name)
{
    auto it = o.GetProperties().find(name);
    return it != o.GetProperties().end() ? it->first : nullptr;
}

TEST(PropertyNames, SharedNamesOutliveTheirFirstHolder)
{
    Ref<ValueObject> first = object("{\"shared\":1,\"onlyFirst\":2}");
    Ref<ValueObject> second(new ValueObject());
    second->SetProperty("shared", new ValueInt(3));
    // Taken over: the object frees this text once it has its own.
    char* given = ::strdup("alsoShared");
    ASSERT_NE(given, nullptr);
    second->SetProperty(given, new ValueInt(4), false);
    first->SetProperty("alsoShared", new ValueInt(5));

    // One stored text per name, whichever way the name arrived.
    EXPECT_EQ(storedName(*first, "shared"), storedName(*second, "shared"));
    EXPECT_EQ(storedName(*first, "alsoShared"), storedName(*second, "alsoShared"));

    first.reset();
    EXPECT_EQ(text(second.get()), "{\"alsoShared\":4,\"shared\":3}");
    EXPECT_STREQ(storedName(*second, "shared"), "shared");

    // Removing the last holder and using the name again gives a sound name.
    second->RemoveProperty("shared");
    EXPECT_EQ(second->GetProperty("shared"), nullptr);
    Ref<ValueObject> third = object("{\"shared\":{\"shared\":true}}");
    EXPECT_EQ(text(third.get()), "{\"shared\":{\"shared\":true}}");
    EXPECT_STREQ(storedName(*third, "shared"), "shared");
}

TEST(PropertyNames, ClonesAndLayersKeepNamesOfReleasedSources)
{
    Ref<ValueObject> lower = object("{\"a\":{\"x\":1},\"b\":2,\"c\":[1]}");
    Ref<ValueObject> higher = object("{\"a\":{\"x\":1,\"y\":2},\"b\":2,\"c\":[1],\"d\":\"new\"}");
    Ref<ValueGeneric> clone(lower->Clone(true));
    Ref<ValueObject> diff(new ValueObject());
    diff->Diff(lower.get(), higher.get());
    lower->Overlay(higher.get());
    higher.reset();
    const std::string overlaid = text(lower.get());
    lower.reset();
    EXPECT_EQ(overlaid, "{\"a\":{\"x\":1,\"y\":2},\"b\":2,\"c\":[1],\"d\":\"new\"}");
    EXPECT_EQ(text(clone.get()), "{\"a\":{\"x\":1},\"b\":2,\"c\":[1]}");
    EXPECT_EQ(text(diff.get()), "{\"a\":{\"y\":2},\"d\":\"new\"}");
}

// Several threads make and drop objects over one pool of names at once, so
// that a name is looked up while another thread drops its last holder.
// Afterwards every kept object must hold exactly its names, and the same
// name must be one text for all of them.
TEST(PropertyNames, ManyThreadsShareOnePool)
{
    constexpr int kThreads = 4;
    constexpr int kRounds = 200;
    constexpr int kNames = 300;
    std::vector<Ref<ValueObject>> kept(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &kept] {
            for (int round = 0; round < kRounds; ++round) {
                Ref<ValueObject> o(new ValueObject());
                // Each round a different slice, so names keep losing and
                // regaining their last holder.
                for (int i = 0; i < kNames; i += 1 + (round + t) % 3) {
                    o->SetProperty(("name" + std::to_string(i)).c_str(), new ValueInt(i));
                }
                o->SetProperty(("own" + std::to_string(t)).c_str(), new ValueInt(t));
                if (round == kRounds - 1) {
                    kept[static_cast<size_t>(t)] = std::move(o);
                }
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        SCOPED_TRACE(t);
        const ValueObject& o = *kept[static_cast<size_t>(t)];
        const int step = 1 + (kRounds - 1 + t) % 3;
        EXPECT_EQ(o.GetPropertyCount(), static_cast<size_t>((kNames + step - 1) / step + 1));
        for (const auto& [name, value] : o.GetProperties()) {
            const int n = value->AsIntegralNumber()->GetInt();
            const std::string expected = std::strncmp(name, "own", 3) == 0 ? "own" + std::to_string(t)
                                                                             : "name" + std::to_string(n);
            ASSERT_EQ(expected, name);
            for (int other = 0; other < kThreads; ++other) {
                const char* theirs = storedName(*kept[static_cast<size_t>(other)], name);
                if (theirs != nullptr) {
                    ASSERT_EQ(theirs, name) << "a name stored twice: " << name;
                }
            }
        }
    }
}

} // namespace
