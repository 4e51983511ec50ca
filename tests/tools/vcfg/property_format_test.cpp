// URL value texts both ways, and the printed framing of the three formats.
#include "tools_common/PropertyFormat.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace Vantor_cfgmgr;

Ref<ValueGeneric> parse(const char* json)
{
    rapidjson::Document doc;
    doc.Parse(json);
    return Ref<ValueGeneric>(ValueGeneric::NewValueGeneric(&doc));
}

TEST(UrlValue, PrintsEachKind)
{
    const struct {
        const char* json;
        const char* url;
    } cases[] = {
        {"\" lead\"", "\\\" lead\""},
        {"\"trail\\t\"", "\\\"trail\\t\""},
        {"\"plain text\"", "plain text"},
        {"\"\"", ""},
        {"5", "+5"},
        {"0", "+0"},
        {"18446744073709551615", "+18446744073709551615"},
        {"-5", "-5"},
        {"2.5", "2.5"},
        {"true", "true"},
        {"null", "null"},
        {"[1,\"a\"]", "\\[1,\"a\"]"},
        {"{\"k\":1}", "\\{\"k\":1}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        Ref<ValueGeneric> v = parse(c.json);
        ASSERT_TRUE(v);
        EXPECT_EQ(urlValueText(v.get()), c.url);
    }
}

TEST(UrlValue, ReadsBackWhatItPrints)
{
    const char* values[] = {"\" lead\"", "\"plain\"", "5", "-5", "-2.5", "[1,2]", "{\"k\":\"v\"}", "\"a=b\""};
    for (const char* json : values) {
        SCOPED_TRACE(json);
        Ref<ValueGeneric> v = parse(json);
        Ref<ValueGeneric> back = parse(urlValueToJson(urlValueText(v.get())).c_str());
        ASSERT_TRUE(back);
        EXPECT_TRUE(back->IsEqualTo(v.get()));
    }
    // Anything without a marker is a string, even when it looks like JSON.
    EXPECT_EQ(urlValueToJson("true"), "\"true\"");
    EXPECT_EQ(urlValueToJson("  +7"), "7");
    EXPECT_EQ(urlValueToJson("\\x"), "\"\\\\x\"");
}

std::string printed(PropertyFormat_t format, bool noName)
{
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    Ref<ValueGeneric> a = parse("5");
    Ref<ValueGeneric> b = parse("{\"x\":[1]}");
    PropertyPrinter sut(out, format, noName);
    sut.Begin();
    sut.Entry("n.a", a.get());
    sut.Entry("b", b.get());
    sut.Entry("gone", nullptr);
    sut.End();
    std::fclose(out);
    std::string result(text, size);
    std::free(text);
    return result;
}

TEST(PropertyPrinter, FramesEachFormat)
{
    EXPECT_EQ(printed(formatURL, false), "n.a=+5\nb=\\{\"x\":[1]}\ngone=null\n");
    EXPECT_EQ(printed(formatLineJSON, false), "{\"n.a\":5,\"b\":{\"x\":[1]},\"gone\":null}\n");
    EXPECT_EQ(printed(formatObjectJSON, false),
              "{\n\"n.a\": 5,\n\"b\": {\n    \"x\": [\n        1\n    ]\n},\n\"gone\": null\n}\n");
    EXPECT_EQ(printed(formatURL, true), "+5\n\\{\"x\":[1]}\nnull\n");
    EXPECT_EQ(printed(formatLineJSON, true), "{5,{\"x\":[1]},null}\n");
}

} // namespace
