// Applying a layer while reading it must give what reading the layer whole
// and calling Overlay gives: the same tree, the same "changed", the same
// first error and the same refusals.
#include "LayerOverlay.h"

#include <Vantor_cfgmgr/Vantor_cfgmgr.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace Vantor_cfgmgr {
namespace {

class TempFile {
public:
    explicit TempFile(const std::string& text)
    {
        char pattern[] = "/tmp/layer-overlay-XXXXXX";
        int fd = ::mkstemp(pattern);
        if (fd < 0) {
            throw std::runtime_error("mkstemp");
        }
        ::close(fd);
        path_ = pattern;
        std::ofstream(path_, std::ios::binary) << text;
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const char* path() const { return path_.c_str(); }

private:
    std::string path_;
};

std::string json(const ValueGeneric* v)
{
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    v->Write(&writer);
    return buffer.GetString();
}

Ref<ValueObject> object(const std::string& text)
{
    Ref<ValueObject> o(new ValueObject());
    if (o->SetValue(text.c_str()) != 0) {
        throw std::invalid_argument("bad test JSON: " + text);
    }
    return o;
}

struct Outcome {
    std::string tree;
    bool changed = false;
    std::string error;
};

// Reads the layer file whole, then overlays its "sub" object.
Outcome byOverlay(const std::string& lower, const TempFile& layerFile)
{
    Ref<ValueObject> tree = object(lower);
    Ref<ValueGeneric> root(ValueGeneric::Load(layerFile.path()));
    Outcome out;
    try {
        out.changed = tree->Overlay(root->AsObject()->GetProperty("sub")->AsObject());
    } catch (const std::invalid_argument& e) {
        out.error = e.what();
        return out;
    }
    out.tree = json(tree.get());
    return out;
}

Outcome byStreaming(const std::string& lower, const TempFile& layerFile)
{
    Ref<ValueObject> tree = object(lower);
    LayerOverlaySAX overlay("sub", [&] { return tree.get(); });
    overlay.ParseFile(layerFile.path());
    EXPECT_TRUE(overlay.RootIsObject());
    EXPECT_TRUE(overlay.LayerFound());
    Outcome out;
    out.changed = overlay.Changed();
    if (overlay.Error()) {
        out.error = *overlay.Error();
        return out;
    }
    out.tree = json(tree.get());
    return out;
}

void expectSameOutcome(const std::string& lower, const std::string& layer)
{
    SCOPED_TRACE("lower " + lower + "\nlayer " + layer);
    TempFile file("{\"other\": [1, {\"a\": 2}], \"sub\": " + layer + ", \"more\": {\"x\": null}}");
    Outcome expected = byOverlay(lower, file);
    Outcome actual = byStreaming(lower, file);
    EXPECT_EQ(actual.error, expected.error);
    if (expected.error.empty()) {
        EXPECT_EQ(actual.tree, expected.tree);
        EXPECT_EQ(actual.changed, expected.changed);
    }
}

TEST(LayerOverlay, MatchesOverlayOnTableOfLayers)
{
    struct Case {
        const char* lower;
        const char* layer;
    };
    const Case cases[] = {
        // values changed, kept, added; "changed" only when something differs
        {R"({"a": 1, "b": "x", "c": true, "d": 1.5})", R"({"d": 2.5, "b": "y", "e": "new"})"},
        {R"({"a": 1, "b": "x", "c": true, "d": 1.5})", R"({"c": true, "a": 1, "d": 1.5})"},
        {R"({"a": 1})", R"({})"},
        {R"({})", R"({"z": {"y": {"x": [1, 2]}}, "a": null})"},
        // integral subtypes take the higher layer's
        {R"({"n": 5, "m": -3})", R"({"n": 18446744073709551615, "m": 4294967295})"},
        {R"({"n": 5})", R"({"n": 5})"},
        // arrays are replaced whole, equal ones leave the tree unchanged
        {R"({"l": [1, 2, 3]})", R"({"l": [3, {"k": 1}]})"},
        {R"({"l": [1, 2, 3]})", R"({"l": [1, 2, 3]})"},
        // nested objects are merged; a deletion marker removes the object
        {R"({"o": {"p": 1, "q": {"r": 2}}, "s": 1})", R"({"o": {"q": {"t": 3}, "p": 4}})"},
        {R"({"o": {"p": 1, "q": {"r": 2}}, "s": 1})", R"({"o": {"q": {"deleted": true, "r": 9}}})"},
        {R"({"o": {"p": 1}, "s": 1})", R"({"o": {"p": 2, "deleted": true}, "s": 2})"},
        {R"({"s": 1})", R"({"n": {"deleted": true}})"},
        // refusals
        {R"({"a": 1})", R"({"deleted": false})"},
        {R"({"a": 1})", R"({"o": {"deleted": {}}})"},
        {R"({"a": 1})", R"({"a": null})"},
        {R"({"a": 1})", R"({"a": 1.0})"},
        {R"({"a": 1})", R"({"a": "1"})"},
        {R"({"a": 1})", R"({"a": {"b": 1}})"},
        {R"({"a": {"b": 1}})", R"({"a": 1})"},
        {R"({"a": {"b": 1}})", R"({"a": [1]})"},
        {R"({"a": [1]})", R"({"a": {"b": 1}})"},
        {R"({"a": null})", R"({"a": 1})"},
        // of several errors, the one a walk in name order meets first
        {R"({"a": 1, "z": 1})", R"({"z": "x", "a": null})"},
        {R"({"a": 1, "z": 1})", R"({"a": "x", "z": null})"},
        {R"({"b": {"x": 1}, "c": 1})", R"({"c": null, "b": {"x": "s"}})"},
        {R"({"b": {"x": 1, "y": 1}})", R"({"b": {"y": null, "x": "s"}})"},
        {R"({"a": 1, "deleted": 0})", R"({"zz": {}, "deleted": 1, "a": null})"},
    };
    for (const Case& c : cases) {
        expectSameOutcome(c.lower, c.layer);
    }
}

// Random trees whose layers change, add, delete and sometimes break types.
class TreeMaker {
public:
    explicit TreeMaker(unsigned seed) : rng_(seed) {}

    std::string Tree(int depth)
    {
        std::string out = "{";
        const int members = Pick(0, 6);
        for (int i = 0; i < members; ++i) {
            out += (i != 0 ? ", " : "") + Name() + ": " + (depth > 0 && Pick(0, 2) == 0 ? Tree(depth - 1) : Leaf());
        }
        return out + "}";
    }

    std::string Layer(int depth)
    {
        std::string out = "{";
        const int members = Pick(0, 5);
        for (int i = 0; i < members; ++i) {
            std::string value;
            switch (Pick(0, 9)) {
            case 0: value = depth > 0 ? Tree(depth - 1) : Leaf(); break;
            case 1: value = "{\"deleted\": true}"; break;
            case 2: value = "null"; break;
            default: value = depth > 0 && Pick(0, 1) == 0 ? Layer(depth - 1) : Leaf(); break;
            }
            out += (i != 0 ? ", " : "") + Name() + ": " + value;
        }
        return out + "}";
    }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    // Few names, so that layers meet the lower tree's names often; unique
    // within one object is not needed for the lower tree (SetValue keeps
    // the last), and layers with repeated names are refused alike.
    std::string Name()
    {
        static const char* const names[] = {"\"a\"", "\"b\"", "\"c\"", "\"d\"", "\"e\"", "\"f\""};
        return names[Pick(0, 5)];
    }
    std::string Leaf()
    {
        switch (Pick(0, 5)) {
        case 0: return std::to_string(Pick(-3, 3));
        case 1: return Pick(0, 1) != 0 ? "true" : "false";
        case 2: return "\"s" + std::to_string(Pick(0, 3)) + "\"";
        case 3: return std::to_string(Pick(0, 3)) + ".5";
        case 4: return "[" + std::to_string(Pick(0, 2)) + "]";
        default: return "4000000000";
        }
    }

    std::mt19937 rng_;
};

TEST(LayerOverlay, MatchesOverlayOnRandomTrees)
{
    TreeMaker maker(9050);
    int compared = 0;
    for (int i = 0; i < 1000; ++i) {
        const std::string lower = maker.Tree(3);
        const std::string layer = maker.Layer(3);
        TempFile file("{\"sub\": " + layer + "}");
        // Layers that repeat a name are refused by both readers.
        bool refused = false;
        try {
            Ref<ValueGeneric> loaded(ValueGeneric::Load(file.path()));
        } catch (const std::runtime_error&) {
            refused = true;
        }
        if (refused) {
            Ref<ValueObject> tree = object(lower);
            LayerOverlaySAX overlay("sub", [&] { return tree.get(); });
            EXPECT_THROW(overlay.ParseFile(file.path()), std::runtime_error) << layer;
            continue;
        }
        expectSameOutcome(lower, layer);
        ++compared;
    }
    EXPECT_GT(compared, 300); // the generator must not only make refused layers
}

TEST(LayerOverlay, RefusesWhatTheTreeReaderRefuses)
{
    const std::string layers[] = {
        // 1001 containers open at once, through the layer or beside it.
        "{\"sub\": {\"a\": " + std::string(999, '[') + std::string(999, ']') + "}}",
        "{\"other\": " + std::string(1000, '[') + std::string(1000, ']') + ", \"sub\": {}}",
        R"({"sub": {"a": 1, "a": 2}})",
        R"({"sub": {"a": {"b": 1, "b": 1}}})",
        R"({"sub": {"a": 1}, "sub": {"b": 1}})",
        R"({"sub": {"a": "\uDC00"}})",
        R"({"sub": {"a": 1})",
        R"({"sub": {"a": 1}} x)",
        "5",
    };
    for (const std::string& text : layers) {
        SCOPED_TRACE(text.substr(0, 40));
        TempFile file(text);
        EXPECT_THROW(Ref<ValueGeneric>(ValueGeneric::Load(file.path())), std::runtime_error);
        Ref<ValueObject> tree = object(R"({"a": 0})");
        LayerOverlaySAX overlay("sub", [&] { return tree.get(); });
        EXPECT_THROW(overlay.ParseFile(file.path()), std::runtime_error);
    }
}

TEST(LayerOverlay, ReportsTheShapeOfTheFile)
{
    struct Case {
        const char* text;
        bool rootIsObject;
        bool layerFound;
    };
    const Case cases[] = {
        {R"([{"sub": {}}])", false, false},
        {R"({"other": {"a": 1}})", true, false},
        {R"({"sub": 1})", true, false},
        {R"({"sub": [1]})", true, false},
        {R"({"sub": {}})", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TempFile file(c.text);
        Ref<ValueObject> tree = object(R"({"a": 0})");
        int asked = 0;
        LayerOverlaySAX overlay("sub", [&] {
            ++asked;
            return tree.get();
        });
        overlay.ParseFile(file.path());
        EXPECT_EQ(overlay.RootIsObject(), c.rootIsObject);
        EXPECT_EQ(overlay.LayerFound(), c.layerFound);
        EXPECT_EQ(asked, c.layerFound ? 1 : 0);
        EXPECT_FALSE(overlay.Changed());
        EXPECT_EQ(json(tree.get()), R"({"a":0})");
    }
}

TEST(LayerOverlay, ARefusedTargetLeavesTheLayerUnapplied)
{
    TempFile file(R"({"sub": {"a": 1, "b": {"c": [1]}}})");
    LayerOverlaySAX overlay("sub", [] { return nullptr; });
    overlay.ParseFile(file.path());
    EXPECT_TRUE(overlay.LayerFound());
    EXPECT_TRUE(overlay.TargetRefused());
    EXPECT_FALSE(overlay.Changed());
}

} // namespace
} // namespace Vantor_cfgmgr
