// Property path parsing and writing.
#include "tools_common/PropertyPath.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Vantor_cfgmgr::PropertyPath;

struct ParseCase {
    const char* text;
    std::vector<std::string> components;
};

TEST(PropertyPath, ParsesComponents)
{
    const ParseCase cases[] = {
        {"a.b.c", {"a", "b", "c"}},
        {"\"x.y\".c", {"x.y", "c"}},
        {"a\\.b", {"a.b"}},
        {"  a . b ", {"a", "b"}},
        {"\"q\\\"uote\" . z", {"q\"uote", "z"}},
        {"\"\\u00e9t\\u00e9\"", {"\xc3\xa9t\xc3\xa9"}},
        {"a\\\\b", {"a\\b"}},
        {"", {}},
        {"a.", {"a"}},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.text);
        PropertyPath sut(c.text);
        ASSERT_EQ(sut.Size(), c.components.size());
        for (size_t i = 0; i < c.components.size(); ++i) {
            EXPECT_EQ(sut.Component(i), c.components[i]);
        }
    }
}

TEST(PropertyPath, RefusesMalformedText)
{
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"\"a\"b", "Missing '.' separator in subtree ID"},
        {"\"abc", "Missing end-quote in subtree ID"},
        {"x.\"unterminated\\\"", "Missing end-quote in subtree ID"},
        {"\"bad\\escape\"", "Parse error in subtree ID"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        PropertyPath sut;
        try {
            sut.AddPropertyId(c.text);
            ADD_FAILURE() << "no exception";
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}

TEST(PropertyPath, WritesQuotedOnlyWhereNeeded)
{
    PropertyPath sut("\"a.b\".c");
    EXPECT_EQ(sut.ToString(), "\"a.b\".c");
    PropertyPath quote("\"say \\\"hi\\\"\".plain");
    EXPECT_EQ(quote.ToString(), "\"say \\\"hi\\\"\".plain");

    rapidjson::StringBuffer middle;
    PropertyPath three("a.b.c");
    three.Write(middle, 1, 1);
    EXPECT_STREQ(middle.GetString(), "b");

    // Writing and reading back gives the same components.
    PropertyPath back(sut.ToString().c_str());
    ASSERT_EQ(back.Size(), 2u);
    EXPECT_EQ(back.Component(0), "a.b");
}

TEST(PropertyPath, WriteRangeChecks)
{
    PropertyPath empty;
    rapidjson::StringBuffer buffer;
    EXPECT_NO_THROW(empty.Write(buffer, 0, PropertyPath::kToLast));
    EXPECT_EQ(buffer.GetSize(), 0u);

    PropertyPath sut("a.b");
    EXPECT_THROW(sut.Write(buffer, 2, PropertyPath::kToLast), std::out_of_range);
    EXPECT_THROW(sut.Write(buffer, 0, 2), std::out_of_range);
    EXPECT_TRUE(sut.PopPropertyId());
    EXPECT_TRUE(sut.PopPropertyId());
    EXPECT_FALSE(sut.PopPropertyId());
}

} // namespace
