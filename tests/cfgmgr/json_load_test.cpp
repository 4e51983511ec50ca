#include "scratch.h"
#include "value_support.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace {

using namespace Vantor_cfgmgr;
using test_support::ScratchDir;
using testsupport::text;

struct LoadOutcome {
    Ref<ValueGeneric> tree;
    std::string exception;
    std::string stderrText;
    int savedErrno = 0;
};

LoadOutcome load(const std::string& path)
{
    LoadOutcome o;
    testing::internal::CaptureStderr();
    try {
        o.tree.reset(ValueGeneric::Load(path.c_str()));
    } catch (const std::exception& e) {
        o.savedErrno = errno;
        o.exception = e.what();
    }
    o.stderrText = testing::internal::GetCapturedStderr();
    return o;
}

TEST(Load, ReadsObjectsAndArrays)
{
    ScratchDir dir;
    struct Case {
        const char* content;
        const char* compact;
    };
    const Case cases[] = {
        {"{\"b\": [1, -2, 3.5, \"x\", null, true], \"a\": {}}", "{\"a\":{},\"b\":[1,-2,3.5,\"x\",null,true]}"},
        {" \n\t[ {\"k\": \"v\"} ]\n\n", "[{\"k\":\"v\"}]"},
        {"{\"big\": 18446744073709551615, \"neg\": -9223372036854775808}",
         "{\"big\":18446744073709551615,\"neg\":-9223372036854775808}"},
        {"{\"s\": \"\\u00e9\\ud83d\\ude00\\n\"}", "{\"s\":\"\xc3\xa9\xf0\x9f\x98\x80\\n\"}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        LoadOutcome o = load(dir.write("ok.json", c.content));
        ASSERT_TRUE(o.tree) << o.exception << o.stderrText;
        EXPECT_EQ(text(o.tree.get()), c.compact);
        EXPECT_EQ(o.stderrText, "");
        EXPECT_EQ(o.tree->GetRefCount(), 1);
    }
}

TEST(Load, SubtypesFollowTheReader)
{
    ScratchDir dir;
    LoadOutcome o = load(dir.write("n.json", "{\"i\":-1,\"u\":3000000000,\"I\":-3000000000,\"U\":10000000000000000000}"));
    ASSERT_TRUE(o.tree);
    const ValueObject* obj = o.tree->AsObject();
    EXPECT_TRUE(obj->GetProperty("i")->IsInt());
    EXPECT_TRUE(obj->GetProperty("u")->IsUint());
    EXPECT_TRUE(obj->GetProperty("I")->IsInt64());
    EXPECT_TRUE(obj->GetProperty("U")->IsUint64());
}

TEST(Load, RefusalsAndTheirMessages)
{
    ScratchDir dir;
    struct Case {
        const char* name;
        std::string content;
        std::string stderrStart; // the handler's message, when it refused
        const char* diagnosis;   // the parse error text
        unsigned long offset;
    };
    const Case cases[] = {
        {"duplicate names", "{\"a\":1,\"a\":2}", "*** Object expected 2 members, had 1 members\n",
         "Parsing was terminated.", 12},
        {"scalar root", "5", "*** First JSON element must be an Object\n", "Parsing was terminated.", 0},
        {"string root", "\"text\"", "*** First JSON element must be an Object\n", "Parsing was terminated.", 6},
        {"NUL in a name", "{\"a\\u0000b\":1}", "*** Embedded 0x00 not allowed in Key\n", "Parsing was terminated.",
         11},
        {"lone low surrogate", "[\"\\udc00\"]", "*** Invalid UTF-8 in String\n", "Parsing was terminated.", 9},
        {"lone surrogate in a name", "{\"\\udc00\":1}", "*** Invalid UTF-8 in Key\n", "Parsing was terminated.",
         9},
        {"white space only", " \n ", "", "The document is empty.", 3},
        {"two roots", "{} {}", "", "The document root must not be followed by other values.", 3},
        {"invalid value", "{\"a\":tru}", "", "Invalid value.", 8},
        {"missing name", "{1:2}", "", "Missing a name for object member.", 1},
        {"missing colon", "{\"a\" 1}", "", "Missing a colon after a name of object member.", 5},
        {"missing comma in object", "{\"a\":1 \"b\":2}", "", "Missing a comma or '}' after an object member.", 7},
        {"missing comma in array", "[1 2]", "", "Missing a comma or ']' after an array element.", 3},
        {"bad hex", "[\"\\u12x4\"]", "", "Incorrect hex digit after \\u escape in string.", 2},
        {"bad surrogate", "[\"\\ud800\\u0041\"]", "", "The surrogate pair in string is invalid.", 2},
        {"bad escape", "[\"\\q\"]", "", "Invalid escape character in string.", 2},
        {"unterminated string", "[\"abc", "", "Missing a closing quotation mark in string.", 5},
        {"bad UTF-8", "[\"\xff\"]", "", "Invalid encoding in string.", 2},
        {"huge number", "[1e400]", "", "Number too big to be stored in double.", 1},
        {"no fraction", "[1.]", "", "Missing fraction part in number.", 3},
        {"no exponent", "[1e]", "", "Missing exponent in number.", 3},
        {"NUL after the root", std::string("{}\0{}", 5), "",
         "The document root must not be followed by other values.", 2},
        // Files are read 65535 bytes at a time: the same rules hold beyond
        // the first read and on either side of its end.
        {"NUL far after the root", "{}" + std::string(70000, ' ') + std::string("\0{}", 3), "",
         "The document root must not be followed by other values.", 70002},
        {"NUL ending the first read", "{}" + std::string(65532, ' ') + std::string("\0", 1), "",
         "The document root must not be followed by other values.", 65534},
        {"NUL opening the second read", "{}" + std::string(65533, ' ') + std::string("\0", 1), "",
         "The document root must not be followed by other values.", 65535},
        {"error far into the file", "[" + std::string(70000, ' ') + "1 2]", "",
         "Missing a comma or ']' after an array element.", 70003},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir.write("bad.json", c.content);
        LoadOutcome o = load(path);
        EXPECT_FALSE(o.tree);
        EXPECT_EQ(o.exception, "JSON Parse Error");
        std::string diag = "*** JSON Parse Error \"" + std::string(c.diagnosis) + "\" at offset " +
                           std::to_string(c.offset) + " of \"" + path + "\"\n";
        EXPECT_EQ(o.stderrText, c.stderrStart + diag);
    }
}

// Members arrive in any order; the object holds them in name order, and a
// repeated name anywhere in an object refuses the file with the count of
// distinct names.
TEST(Load, MemberOrderAndRepeatedNames)
{
    ScratchDir dir;
    struct Case {
        const char* name;
        std::string content;
        const char* compact; // null: refused
        const char* refusal;
    };
    // 40 members (past the small-object path) written in reverse order.
    std::string reversed = "{";
    std::string sorted = "{";
    for (int i = 39; i >= 0; --i) {
        reversed += "\"k" + std::to_string(100 + i) + "\":" + std::to_string(i) + (i > 0 ? "," : "}");
    }
    for (int i = 0; i < 40; ++i) {
        sorted += "\"k" + std::to_string(100 + i) + "\":" + std::to_string(i) + (i < 39 ? "," : "}");
    }
    const Case cases[] = {
        {"reverse, few", "{\"c\":3,\"b\":2,\"a\":1}", "{\"a\":1,\"b\":2,\"c\":3}", ""},
        {"shuffled, bytewise", "{\"b\":1,\"B\":2,\"a\":{\"z\":0,\"y\":[{\"q\":1,\"p\":2}]},\"\":3,\"ab\":4}",
         "{\"\":3,\"B\":2,\"a\":{\"y\":[{\"p\":2,\"q\":1}],\"z\":0},\"ab\":4,\"b\":1}", ""},
        {"reverse, many", reversed, sorted.c_str(), ""},
        {"repeated first", "{\"a\":1,\"a\":2,\"b\":3,\"c\":4}", nullptr,
         "*** Object expected 4 members, had 3 members\n"},
        {"repeated middle", "{\"a\":1,\"b\":2,\"c\":3,\"b\":4,\"d\":5}", nullptr,
         "*** Object expected 5 members, had 4 members\n"},
        {"repeated last", "{\"z\":1,\"y\":2,\"x\":3,\"x\":4}", nullptr,
         "*** Object expected 4 members, had 3 members\n"},
        {"three times, apart", "{\"m\":1,\"a\":2,\"m\":3,\"b\":4,\"m\":5}", nullptr,
         "*** Object expected 5 members, had 3 members\n"},
        {"repeated in a nested object", "{\"a\":{\"x\":1,\"y\":2,\"x\":3},\"b\":1}", nullptr,
         "*** Object expected 3 members, had 2 members\n"},
        {"repeated in an object in an array", "[{\"x\":1},{\"q\":1,\"q\":1}]", nullptr,
         "*** Object expected 2 members, had 1 members\n"},
        {"same name in sibling objects", "{\"a\":{\"x\":1},\"b\":{\"x\":2}}", "{\"a\":{\"x\":1},\"b\":{\"x\":2}}",
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir.write("members.json", c.content);
        LoadOutcome o = load(path);
        if (c.compact != nullptr) {
            ASSERT_TRUE(o.tree) << o.exception << o.stderrText;
            EXPECT_EQ(text(o.tree.get()), c.compact);
            EXPECT_EQ(o.stderrText, "");
        } else {
            EXPECT_FALSE(o.tree);
            EXPECT_EQ(o.exception, "JSON Parse Error");
            EXPECT_EQ(o.stderrText.rfind(c.refusal, 0), 0u) << o.stderrText;
            EXPECT_NE(o.stderrText.find("Parsing was terminated."), std::string::npos);
        }
    }
}

// An object of 100 000 members in scrambled order loads whole and sorted,
// and finds every member by name.
TEST(Load, LargeObjectInScrambledOrder)
{
    ScratchDir dir;
    constexpr unsigned kCount = 100000;
    std::string content = "{";
    for (unsigned i = 0; i < kCount; ++i) {
        unsigned k = (i * 7919u) % kCount; // 7919 is prime to kCount: a permutation
        content += "\"m" + std::to_string(k) + "\":" + std::to_string(k) + (i + 1 < kCount ? "," : "}");
    }
    LoadOutcome o = load(dir.write("large.json", content));
    ASSERT_TRUE(o.tree) << o.exception << o.stderrText;
    const ValueObject* obj = o.tree->AsObject();
    ASSERT_EQ(obj->GetPropertyCount(), kCount);
    const char* previous = nullptr;
    for (const auto& [name, value] : obj->GetProperties()) {
        if (previous != nullptr) {
            ASSERT_LT(std::strcmp(previous, name), 0);
        }
        previous = name;
        ASSERT_EQ("m" + std::to_string(value->AsIntegralNumber()->GetUint()), name);
    }
    for (unsigned k : {0u, 1u, 4242u, kCount - 1}) {
        const ValueGeneric* v = obj->GetProperty(("m" + std::to_string(k)).c_str());
        ASSERT_NE(v, nullptr) << k;
        EXPECT_EQ(v->AsIntegralNumber()->GetUint(), k);
    }
}

TEST(Load, FileProblems)
{
    ScratchDir dir;
    LoadOutcome empty = load(dir.write("empty.json", ""));
    EXPECT_EQ(empty.exception, "fileName empty");
    EXPECT_EQ(empty.savedErrno, ENODATA);
    EXPECT_EQ(ENODATA, 61);

    LoadOutcome missing = load(dir.file("missing.json"));
    EXPECT_EQ(missing.exception, "fileName not found");
    EXPECT_EQ(missing.savedErrno, ENOENT);

    LoadOutcome directory = load(dir.file(""));
    EXPECT_EQ(directory.exception, "fileName not found");
    EXPECT_EQ(directory.savedErrno, EISDIR);

    for (const char* name : {"", static_cast<const char*>(nullptr)}) {
        try {
            ValueGeneric::Load(name);
            ADD_FAILURE() << "no exception";
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), "fileName must be non-NULL and non-empty");
        }
    }
}

TEST(Load, DeepNestingIsRefusedNotFatal)
{
    ScratchDir dir;
    std::string deep(100000, '[');
    LoadOutcome o = load(dir.write("deep.json", deep + std::string(100000, ']')));
    EXPECT_FALSE(o.tree);
    EXPECT_EQ(o.exception, "JSON Parse Error");
    EXPECT_NE(o.stderrText.find("*** JSON nesting deeper than 1000 levels not allowed\n"), std::string::npos);

    std::string ok(500, '[');
    LoadOutcome fine = load(dir.write("ok.json", ok + std::string(500, ']')));
    EXPECT_TRUE(fine.tree) << fine.stderrText;
}

TEST(Load, MessagesGoToTheLibraryErrorStream)
{
    ScratchDir dir;
    std::string path = dir.write("dup.json", "{\"x\":[1],\"x\":[2]}");
    FILE* capture = std::tmpfile();
    ASSERT_NE(capture, nullptr);
    FILE* before = errorFile;
    errorFile = capture;
    LoadOutcome o = load(path);
    errorFile = before;
    std::rewind(capture);
    char buf[256] = {};
    size_t n = std::fread(buf, 1, sizeof buf - 1, capture);
    std::fclose(capture);
    EXPECT_EQ(std::string(buf, n), "*** Object expected 2 members, had 1 members\n");
    EXPECT_EQ(o.stderrText.rfind("*** JSON Parse Error \"Parsing was terminated.\"", 0), 0u) << o.stderrText;
}

TEST(GenericSax, RefusesEventsOutOfPlace)
{
    testing::internal::CaptureStderr();
    {
        GenericSAX sax;
        EXPECT_FALSE(sax.EndObject(0));
        EXPECT_FALSE(sax.EndArray(0));
        EXPECT_FALSE(sax.Key(nullptr, 0, true));
        EXPECT_TRUE(sax.StartArray());
        EXPECT_TRUE(sax.Int(1));
        EXPECT_FALSE(sax.EndObject(1));
        EXPECT_FALSE(sax.EndArray(2));
        EXPECT_TRUE(sax.EndArray(1));
        EXPECT_FALSE(sax.Null()); // nothing is open any more
        EXPECT_THROW(sax.RawNumber("1\0002", 3, true), std::invalid_argument);
        Ref<ValueGeneric> root(sax.ReleaseRoot());
        EXPECT_EQ(text(root.get()), "[1]");
    }
    {
        GenericSAX sax; // a half-built tree is freed with the handler
        EXPECT_TRUE(sax.StartObject());
        EXPECT_TRUE(sax.Key("k", 1, true));
        EXPECT_TRUE(sax.StartArray());
        EXPECT_TRUE(sax.String("v", 1, true));
        EXPECT_NE(sax.TopArray(), nullptr);
        EXPECT_EQ(sax.TopObject(), nullptr);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "*** Object expected but not found on JSON element stack\n"
              "*** Array expected but not found on JSON element stack\n"
              "*** Empty Key not allowed.\n"
              "*** Object expected but not found on JSON element stack\n"
              "*** Array expected 2 elements, had 1 elements\n"
              "*** Unrecognized JSON Container\n");
}

TEST(ParseResultDiag, SuccessAndError)
{
    FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    ValueGeneric::ParseResultDiag(rapidjson::ParseResult(), "src", out);
    ValueGeneric::ParseResultDiag(rapidjson::ParseResult(rapidjson::kParseErrorValueInvalid, 17), "src", out);
    std::rewind(out);
    char buf[256] = {};
    size_t n = std::fread(buf, 1, sizeof buf - 1, out);
    std::fclose(out);
    EXPECT_EQ(std::string(buf, n), "Successful read of JSON source \"src\"\n"
                                   "*** JSON Parse Error \"Invalid value.\" at offset 17 of \"src\"\n");
    EXPECT_STREQ(ValueGeneric::ParseErrorCodeImage().GetImageSafe(17), "Unspecific syntax error.");
    EXPECT_EQ(ValueGeneric::ParseErrorCodeImage().Size(), 18u);
}

TEST(NewValueGeneric, MakesTheMatchingClass)
{
    EXPECT_EQ(ValueGeneric::NewValueGeneric(nullptr), nullptr);
    rapidjson::Document doc;
    doc.Parse("[null,false,1,-3000000000,2.5,\"s\",{\"a\":[1]},[]]");
    std::string classes;
    for (const auto& e : doc.GetArray()) {
        Ref<ValueGeneric> v(ValueGeneric::NewValueGeneric(&e));
        ASSERT_TRUE(v);
        classes += v->IsNull() ? 'n' : v->IsBool() ? 'b' : v->IsInt() ? 'i' : v->IsInt64() ? 'I' : v->IsDouble() ? 'd'
                 : v->IsString() ? 's' : v->IsObject() ? 'o' : v->IsArray() ? 'a' : '?';
    }
    EXPECT_EQ(classes, "nbiIdsoa");
}

} // namespace

namespace {

// Numbers read by a file load and by a text assignment: every kind at its
// edges, correctly rounded doubles, zeros with any exponent, and numbers
// beyond a double refused as the reader refuses too many digits.
TEST(Load, NumbersAreReadRight)
{
    ScratchDir dir;
    struct Case {
        const char* number;
        const char* compact; // null: refused as too big
    };
    const Case cases[] = {
        {"0", "[0]"},
        {"-0", "[0]"},
        {"-0.0", "[-0.0]"},
        {"0e100", "[0.0]"},
        {"0.0e308", "[0.0]"},
        {"-0e308", "[-0.0]"},
        {"0e-400", "[0.0]"},
        {"1e-400", "[0.0]"},
        {"4.9e-324", "[5e-324]"},
        {"0.1", "[0.1]"},
        {"2.2250738585072011e-308", "[2.225073858507201e-308]"},
        {"1.7976931348623157e308", "[1.7976931348623157e308]"},
        {"17976931348623158e292", "[1.7976931348623157e308]"},
        {"1.8e308", nullptr},
        {"-1.8e308", nullptr},
        {"2147483647", "[2147483647]"},
        {"-2147483648", "[-2147483648]"},
        {"-2147483649", "[-2147483649]"},
        {"4294967296", "[4294967296]"},
        {"-9223372036854775808", "[-9223372036854775808]"},
        {"-9223372036854775809", "[-9223372036854776000.0]"},
        {"18446744073709551615", "[18446744073709551615]"},
        {"18446744073709551616", "[18446744073709553000.0]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        const std::string json = std::string("[") + c.number + "]";
        LoadOutcome o = load(dir.write("number.json", json));
        Ref<ValueArray> assigned(new ValueArray());
        testing::internal::CaptureStderr();
        const int status = assigned->SetValue(json.c_str());
        const std::string assignStderr = testing::internal::GetCapturedStderr();
        if (c.compact == nullptr) {
            EXPECT_FALSE(o.tree);
            EXPECT_NE(o.stderrText.find("\"Number too big to be stored in double.\" at offset 1 of"),
                      std::string::npos)
                << o.stderrText;
            EXPECT_EQ(status, rapidjson::kParseErrorNumberTooBig);
            EXPECT_NE(assignStderr.find("\"Number too big to be stored in double.\" at offset 1 of"),
                      std::string::npos)
                << assignStderr;
            continue;
        }
        ASSERT_TRUE(o.tree) << o.stderrText;
        EXPECT_EQ(text(o.tree.get()), c.compact);
        ASSERT_EQ(status, 0) << assignStderr;
        EXPECT_EQ(text(assigned.get()), c.compact);
    }
}

// The kind of each integer follows its size, as the reader's own events do.
TEST(Load, IntegersTakeTheKindOfTheirSize)
{
    ScratchDir dir;
    LoadOutcome o = load(dir.write("ints.json", "[-1, 1, 4294967295, 4294967296, -2147483648, -2147483649]"));
    ASSERT_TRUE(o.tree) << o.stderrText;
    const ValueArray* a = o.tree->AsArray();
    EXPECT_TRUE(a->GetElement(0)->IsInt());
    EXPECT_TRUE(a->GetElement(1)->IsUint());
    EXPECT_TRUE(a->GetElement(2)->IsUint());
    EXPECT_TRUE(a->GetElement(3)->IsUint64());
    EXPECT_TRUE(a->GetElement(4)->IsInt());
    EXPECT_TRUE(a->GetElement(5)->IsInt64());
}

} // namespace
