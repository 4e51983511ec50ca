#include "Vantor_util/Vantor_util.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string encode(const std::string& text)
{
    std::vector<char> buf(2 * text.size() + 3);
    EXPECT_EQ(Vantor_util::toSafeJSON(buf.data(), buf.size(), text.c_str()), 0) << text;
    return buf.data();
}

int decode(const std::string& literal, std::string& out)
{
    std::vector<char> buf(literal.size() > 0 ? literal.size() - 1 : 1);
    int r = Vantor_util::fromSafeJSON(buf.data(), buf.size(), literal.c_str());
    out = buf.data();
    return r;
}

TEST(SafeJson, EncodesAndRoundTrips)
{
    struct Case {
        const char* name;
        std::string text;
        std::string literal;
    };
    const Case cases[] = {
        {"plain", "abc", "\"abc\""},
        {"empty", "", "\"\""},
        {"quotes", "say \"hi\"", "\"say \\\"hi\\\"\""},
        {"backslash", "a\\b", "\"a\\\\b\""},
        {"named controls", "\b\f\n\r\t", "\"\\b\\f\\n\\r\\t\""},
        {"utf-8 unchanged", "Gr\xc3\xbc\xc3\x9f\x65 \xe2\x82\xac \xf0\x9f\x98\x80", "\"Gr\xc3\xbc\xc3\x9f\x65 \xe2\x82\xac \xf0\x9f\x98\x80\""},
        {"dot and slash", "a.b/c", "\"a.b/c\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(encode(c.text), c.literal);
        std::string back;
        ASSERT_EQ(decode(c.literal, back), 0);
        EXPECT_EQ(back, c.text);
    }
}

TEST(SafeJson, OtherControlCharactersNeedMoreRoom)
{
    // \x01 takes six bytes as \u0001: it fits a roomy buffer, and a buffer of
    // the usual 2n+3 size fails cleanly instead of overrunning.
    char roomy[32];
    ASSERT_EQ(Vantor_util::toSafeJSON(roomy, sizeof roomy, "a\x01z"), 0);
    EXPECT_STREQ(roomy, "\"a\\u0001z\"");
    std::string back;
    ASSERT_EQ(decode(roomy, back), 0);
    EXPECT_EQ(back, "a\x01z");

    char tight[2 * 3 + 3];
    errno = 0;
    EXPECT_NE(Vantor_util::toSafeJSON(tight, sizeof tight, "\x01\x02\x03"), 0);
    EXPECT_EQ(errno, ENOBUFS);
}

TEST(SafeJson, DecodesUnicodeEscapes)
{
    struct Case {
        const char* literal;
        const char* text;
    };
    const Case cases[] = {
        {"\"\\u0041\"", "A"},
        {"\"\\u00e9\"", "\xc3\xa9"},
        {"\"\\u20AC\"", "\xe2\x82\xac"},
        {"\"\\ud83d\\ude00\"", "\xf0\x9f\x98\x80"},
        {"\"\\/\"", "/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.literal);
        std::string out;
        ASSERT_EQ(decode(c.literal, out), 0);
        EXPECT_EQ(out, c.text);
    }
}

TEST(SafeJson, RefusesMalformedLiterals)
{
    const char* bad[] = {
        "abc",           // no quotes
        "\"abc",         // no closing quote
        "\"abc\"x",      // text after the closing quote
        "\"a\\qb\"",     // unknown escape
        "\"\\u12G4\"",   // bad hex
        "\"\\ud83d\"",   // lone high surrogate
        "\"\\ude00\"",   // lone low surrogate
        "\"\\u0000\"",   // NUL would cut the text
        "\"a\nb\"",      // raw control character
        "\"abc\\\"",     // escaped final quote: unterminated
    };
    for (const char* literal : bad) {
        SCOPED_TRACE(literal);
        std::string out;
        errno = 0;
        EXPECT_NE(decode(literal, out), 0);
        EXPECT_EQ(errno, EINVAL);
    }
    char small[3];
    EXPECT_NE(Vantor_util::fromSafeJSON(small, sizeof small, "\"abcdef\""), 0);
    EXPECT_EQ(errno, ENOBUFS);
    EXPECT_NE(Vantor_util::toSafeJSON(nullptr, 10, "x"), 0);
    EXPECT_NE(Vantor_util::fromSafeJSON(small, sizeof small, nullptr), 0);
}

} // namespace
