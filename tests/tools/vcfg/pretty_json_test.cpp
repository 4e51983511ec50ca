// The file writer must lay out JSON exactly as rapidjson's PrettyWriter:
// saved files are compared with their backups byte for byte.
#include "tools_common/JsonFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

namespace Vantor_cfgmgr {
namespace {

std::string byRapidjson(const ValueGeneric* value)
{
    rapidjson::StringBuffer buffer;
    PrettyWriter writer(buffer);
    EXPECT_TRUE(value->PrettyWrite(&writer));
    return buffer.GetString();
}

std::string byFileWriter(const ValueGeneric* value, PrettyJsonResult expected = PrettyJsonResult::written)
{
    char* text = nullptr;
    size_t size = 0;
    FILE* memory = ::open_memstream(&text, &size);
    EXPECT_EQ(writePrettyJson(value, memory), expected);
    std::fclose(memory);
    std::string result(text, size);
    std::free(text);
    return result;
}

// Random trees over every kind of value, with texts full of what needs
// escaping and numbers at their edges.
class RandomTree {
public:
    explicit RandomTree(unsigned seed) : rng_(seed) {}

    ValueGeneric* Make(int depth)
    {
        switch (Pick(depth > 0 ? 9 : 6)) {
        case 0: return new ValueNull();
        case 1: return new ValueBool(Pick(1) != 0);
        case 2: return Integral();
        case 3: return new ValueDouble(Double());
        case 4:
        case 5:
        case 6: {
            const std::string text = Text();
            return new ValueString(text.data(), static_cast<uint32_t>(text.size()), true);
        }
        case 7: {
            auto* array = new ValueArray();
            for (int i = Pick(4); i > 0; --i) {
                array->AddElement(Make(depth - 1));
            }
            return array;
        }
        default: {
            auto* object = new ValueObject();
            for (int i = Pick(5); i > 0; --i) {
                std::string name = Text();
                name.erase(std::remove(name.begin(), name.end(), '\0'), name.end());
                object->SetProperty(name.c_str(), Make(depth - 1));
            }
            return object;
        }
        }
    }

private:
    int Pick(int high) { return std::uniform_int_distribution<int>(0, high)(rng_); }

    ValueGeneric* Integral()
    {
        switch (Pick(3)) {
        case 0: return new ValueInt(Pick(1) != 0 ? std::numeric_limits<int>::min() : -Pick(100000));
        case 1: return new ValueUint(Pick(1) != 0 ? std::numeric_limits<unsigned>::max() : Pick(100000));
        case 2: return new ValueInt64(Pick(1) != 0 ? std::numeric_limits<int64_t>::min() : -(int64_t{1} << 40));
        default: return new ValueUint64(Pick(1) != 0 ? std::numeric_limits<uint64_t>::max() : uint64_t{1} << 50);
        }
    }

    double Double()
    {
        static const double edges[] = {0.0, -0.0, 0.1, 1e21, 1e-7, 123456789.125, -5e-324, 1.7976931348623157e308, 3.0};
        if (Pick(1) != 0) {
            return edges[Pick(8)];
        }
        return std::uniform_real_distribution<double>(-1e6, 1e6)(rng_);
    }

    std::string Text()
    {
        static const char* const pieces[] = {"a", "Zz", " ", "\"", "\\", "/", "\n", "\t", "\b", "\f", "\r",
                                             "\x01", "\x1f", "\x7f", "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80",
                                             "plain text of some length"};
        std::string text;
        for (int i = Pick(6); i > 0; --i) {
            text += pieces[Pick(17)];
        }
        if (Pick(9) == 0) {
            text.push_back('\0');
            text += "after";
        }
        return text;
    }

    std::mt19937 rng_;
};

TEST(PrettyJson, WritesWhatRapidjsonWrites)
{
    RandomTree maker(5025);
    for (int i = 0; i < 300; ++i) {
        Ref<ValueGeneric> tree(maker.Make(4));
        const std::string expected = byRapidjson(tree.get());
        ASSERT_EQ(byFileWriter(tree.get()), expected) << "tree " << i;
    }
}

TEST(PrettyJson, TextLongerThanTheBufferIsWhole)
{
    std::string text(1 << 19, 'x');
    text[1000] = '"';
    text[(1 << 18) + 3] = '\n';
    Ref<ValueObject> object(new ValueObject());
    object->SetProperty("long", new ValueString(text.data(), static_cast<uint32_t>(text.size()), true));
    Ref<ValueArray> deep(new ValueArray());
    ValueArray* level = deep.get();
    for (int i = 0; i < 200; ++i) {
        auto* inner = new ValueArray();
        level->AddElement(inner);
        level = inner;
    }
    level->AddElement(new ValueInt(1));
    object->SetProperty("deep", deep.release());
    EXPECT_EQ(byFileWriter(object.get()), byRapidjson(object.get()));
}

TEST(PrettyJson, RefusesNumbersJsonCannotHold)
{
    for (double d : {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
        Ref<ValueObject> object(new ValueObject());
        object->SetProperty("x", new ValueDouble(d));
        byFileWriter(object.get(), PrettyJsonResult::notJson);
    }
}

TEST(PrettyJson, ReportsAFileThatRefusesWrites)
{
    FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    Ref<ValueObject> object(new ValueObject());
    object->SetProperty("x", new ValueString(std::string(1 << 20, 'y').c_str(), true));
    EXPECT_EQ(writePrettyJson(object.get(), full), PrettyJsonResult::writeFailed);
    std::fclose(full);
}

} // namespace
} // namespace Vantor_cfgmgr
