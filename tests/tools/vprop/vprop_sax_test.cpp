#include "VpropSAX.h"

#include "Vantor_cfgmgr/Lib.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

using Vantor_cfgmgr::SubsystemVprop;

// Parses text with the library's error stream captured.
struct ParseOutcome {
    rapidjson::ParseErrorCode code;
    std::string messages;
};

ParseOutcome parse(std::string text, SubsystemVprop& target)
{
    char* captured = nullptr;
    size_t capturedSize = 0;
    FILE* stream = open_memstream(&captured, &capturedSize);
    FILE* saved = Vantor_cfgmgr::errorFile;
    Vantor_cfgmgr::errorFile = stream;
    const rapidjson::ParseResult result = Vantor_cfgmgr::parseVpropConfiguration(text.data(), &target);
    Vantor_cfgmgr::errorFile = saved;
    std::fclose(stream);
    ParseOutcome outcome{result.Code(), std::string(captured, capturedSize)};
    std::free(captured);
    return outcome;
}

// "index:name:description:dirIn:confOut;" for every record, in index order.
std::string describe(const SubsystemVprop& config)
{
    std::string text;
    for (const auto& [index, sub] : config.Subsystems()) {
        text += std::to_string(index) + ":" + sub->Name() + ":" + sub->Description() + ":" + sub->DirIn() + ":" +
                sub->ConfOut() + ";";
    }
    return text;
}

struct Row {
    const char* what;
    const char* text;
    rapidjson::ParseErrorCode code;
    const char* messages;
    const char* records;
};

const Row kRows[] = {
    {"full record", R"({"vprop":{"apiVersion":"1.0","subsystem":{"3":{"name":"net","description":"Network",
      "dirIn":"/in/net","confOut":"/out/net.json"}}}})",
     rapidjson::kParseErrorNone, "", "3:net:Network:/in/net:/out/net.json;"},
    {"records in index order, missing fields empty", R"({"vprop":{"subsystem":{"10":{"name":"b"},"2":{"name":"a"}}}})",
     rapidjson::kParseErrorNone, "", "2:a:::;10:b:::;"},
    {"repeated index keeps the first", R"({"vprop":{"subsystem":{"1":{"name":"a"},"1":{"name":"b"}}}})",
     rapidjson::kParseErrorNone, "", "1:a:::;"},
    {"unknown record field is reported and skipped", R"({"vprop":{"subsystem":{"0":{"name":"a","color":"red"}}}})",
     rapidjson::kParseErrorNone,
     "*** Unrecognized property \"color\" : \"red\" at level 4 in \"vprop\" configuration file.\n", "0:a:::;"},
    {"unknown group is ignored", R"({"vprop":{"domain":{"1":{"name":"x"}},"subsystem":{"0":{"name":"a"}}}})",
     rapidjson::kParseErrorNone,
     "*** Unrecognized property \"domain\" : { ... } in \"vprop\" configuration file.\n"
     "*** Unrecognized index \"1\" structure in \"vprop\" configuration file.\n",
     "0:a:::;"},
    {"unknown string at group level", R"({"vprop":{"owner":"me"}})", rapidjson::kParseErrorNone,
     "*** Unrecognized property \"owner\" : \"me\" at level 2 in \"vprop\" configuration file.\n", ""},
    {"top key must be vprop", R"({"vcfg":{}})", rapidjson::kParseErrorTermination,
     "*** Top JSON Object must be \"vprop\", but was \"vcfg\".\n", ""},
    {"index 1000", R"({"vprop":{"subsystem":{"1000":{"name":"a"}}}})", rapidjson::kParseErrorTermination,
     "*** Invalid object index \"1000\" in \"vprop\" configuration file.\n", ""},
    {"index with trailing text", R"({"vprop":{"subsystem":{"7a":{"name":"a"}}}})", rapidjson::kParseErrorTermination,
     "*** Invalid object index \"7a\" in \"vprop\" configuration file.\n", ""},
    {"negative index", R"({"vprop":{"subsystem":{"-1":{"name":"a"}}}})", rapidjson::kParseErrorTermination,
     "*** Invalid object index \"-1\" in \"vprop\" configuration file.\n", ""},
    {"string directly in the group", R"({"vprop":{"subsystem":{"0":"net"}}})", rapidjson::kParseErrorTermination,
     "*** Subsystem elements must be JSON objects, not String property \"0\" : \"net\"\n", ""},
    {"array anywhere", R"({"vprop":{"subsystem":{"0":{"name":"a","opts":[]}}}})",
     rapidjson::kParseErrorTermination,
     "*** Unrecognized property \"opts\" at level 4 in \"vprop\" configuration file.\n", ""},
    {"boolean in a record", R"({"vprop":{"subsystem":{"0":{"name":"a","on":true}}}})",
     rapidjson::kParseErrorTermination, "", ""},
    {"boolean at group level", R"({"vprop":{"debug":false}})", rapidjson::kParseErrorTermination, "", ""},
    {"number", R"({"vprop":{"subsystem":{"0":{"name":"a","n":1}}}})", rapidjson::kParseErrorTermination, "", ""},
    {"null", R"({"vprop":{"apiVersion":null}})", rapidjson::kParseErrorTermination, "", ""},
    {"scalar root", "5", rapidjson::kParseErrorTermination, "*** First JSON element must be an Object\n", ""},
    {"array root", "[]", rapidjson::kParseErrorTermination, "*** First JSON element must be an Object\n", ""},
    {"embedded NUL in a value", R"({"vprop":{"subsystem":{"0":{"name":"a\u0000b"}}}})",
     rapidjson::kParseErrorTermination, "*** Embedded 0x00 not allowed in \"vprop\" configuration file.\n", ""},
    {"embedded NUL in a key", R"({"vprop":{"a\u0000b":"x"}})", rapidjson::kParseErrorTermination,
     "*** Embedded 0x00 not allowed in Key\n", ""},
    {"syntax error", R"({"vprop":{)", rapidjson::kParseErrorObjectMissName, "", ""},
};

TEST(VpropSAX, ConfigurationFiles)
{
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.what);
        SubsystemVprop config;
        const ParseOutcome outcome = parse(row.text, config);
        EXPECT_EQ(outcome.code, row.code);
        EXPECT_EQ(outcome.messages, row.messages);
        if (row.code == rapidjson::kParseErrorNone) {
            EXPECT_EQ(describe(config), row.records);
        }
    }
}

TEST(VpropSAX, ApiVersionIsKept)
{
    SubsystemVprop config;
    EXPECT_EQ(parse(R"({"vprop":{"apiVersion":"2.1","subsystem":{}}})", config).code, rapidjson::kParseErrorNone);
    EXPECT_EQ(config.ApiVersion(), "2.1");
}

TEST(VpropSAX, NullTargetIsRefused)
{
    Vantor_cfgmgr::VpropSAX sut;
    try {
        sut.SetVprop(nullptr);
        FAIL() << "null target accepted";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "newVprop must not be NULL");
    }
}

} // namespace
