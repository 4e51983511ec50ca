// Loading of realm configurations and the effective user configuration.
#include "realm_model.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace realmgen;
using Vantor_cfgmgr::Ref;
using Vantor_cfgmgr::ValueGeneric;

namespace {

// Collects what the code under test writes to the error stream.
class Captured {
public:
    Captured()
    {
        stream_ = open_memstream(&buffer_, &size_);
        Vantor_cfgmgr::errorFile = stream_;
        Vantor_cfgmgr::outputFile = stream_;
    }
    Captured(const Captured&) = delete;
    Captured& operator=(const Captured&) = delete;
    ~Captured()
    {
        Vantor_cfgmgr::errorFile = nullptr;
        Vantor_cfgmgr::outputFile = nullptr;
        std::fclose(stream_);
        std::free(buffer_);
    }
    std::string text()
    {
        std::fflush(stream_);
        return std::string(buffer_, size_);
    }

private:
    char* buffer_ = nullptr;
    size_t size_ = 0;
    FILE* stream_ = nullptr;
};

Ref<ValueGeneric> parse(const std::string& json)
{
    rapidjson::Document d;
    d.Parse(json.c_str());
    EXPECT_FALSE(d.HasParseError()) << json;
    return Ref<ValueGeneric>(ValueGeneric::NewValueGeneric(&d));
}

class RealmModel : public ::testing::Test {
protected:
    void SetUp() override
    {
        realms.clear();
        settings = Settings{};
    }
    void TearDown() override { realms.clear(); }

    // Loads one realm object; returns loadRealm's result.
    bool load(const std::string& name, const std::string& json)
    {
        Ref<ValueGeneric> v = parse(json);
        return loadRealm(name.c_str(), v.get());
    }
    const RealmData* realm(const std::string& name)
    {
        for (const auto& r : realms) {
            if (r.name == name) {
                return &r;
            }
        }
        return nullptr;
    }
};

TEST_F(RealmModel, RealmLoadingTable)
{
    struct Case {
        const char* json;
        bool loaded;   // result of loadRealm
        bool stored;   // the realm is kept
        const char* message;
    };
    const Case cases[] = {
        {R"({"service":"cli","users":{},"groups":{},"roles":{}})", true, true, ""},
        {R"({"service":"ftp"})", false, false, "*** Error invalid service \"ftp\" in realm \"r\"!\n"},
        {R"({"service":["cli"]})", false, false, "*** Error invalid service property in realm \"r\"!\n"},
        {R"({"service":"cli","colour":1})", false, false,
         "*** Error \"colour\" is an invalid realm property for realm \"r\"!\n"},
        {R"({"unspecified":1})", false, false,
         "*** Error invalid enum, \"0\", for property \"unspecified\" in realm \"r\"!\n"},
        {R"({"service":"websvr","users":{"u":5}})", true, true,
         "*** Error instance \"u\" main property is not a JSON Object!\n"},
        {R"({"service":"cli","users":{"u":{"status":"gone"}}})", false, true,
         "*** Error \"gone\" is an invalid user status property!\n"},
        {R"({"service":"cli","users":{"u":{"uidNumber":"abc"}}})", false, true,
         "*** Error \"stoi\" invalid uidNumber \"abc\" for user \"u\"\n"},
        {R"({"service":"cli","groups":{"g":{"gidNumber":"x"}}})", false, true,
         "*** Error \"stoi\" invalid gidNumber \"x\" for group \"g\"\n"},
        {R"({"service":"cli","groups":{"g":{"gidNumber":-7}}})", false, true,
         "*** Error \"negative\" invalid gidNumber \"-7\" for group \"g\"\n"},
        {R"({"service":"cli","groups":{"g":{"status":"on"}}})", false, true,
         "*** Error \"on\" is an invalid group status property!\n"},
        {R"({"service":"cli","users":{"u":{"memberOf":"g"}}})", false, true,
         "*** Error \"memberOf must be an Object\" validating CLI Instance \"u\"\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        realms.clear();
        Captured err;
        const bool ok = load("r", c.json);
        if (c.loaded) {
            // A map entry that is not an object stops that map but keeps the realm.
            EXPECT_EQ(std::string(c.message).empty(), ok);
        } else {
            EXPECT_FALSE(ok);
        }
        EXPECT_EQ(c.stored, realm("r") != nullptr);
        EXPECT_EQ(c.message, err.text());
    }
}

TEST_F(RealmModel, UserPropertiesAreReadAsText)
{
    Captured err;
    ASSERT_TRUE(load("cli", R"({"service":"cli","users":{"u":{
        "uidNumber":"12a","allowSSH":true,"homeDirectory":"/home/u","loginShell":"/bin/sh",
        "comment":{"a":1},"primaryGroup":"g","status":"locked","userPassword":"p",
        "userPasswordIsDefault":"no","userPasswordHash":{"cli":"$6$x","htpasswd":7},
        "memberOf":{"a":true,"b":"true","c":false,"d":1},"_doQuote":["u"]}}})"));
    const UserDataConfig& u = realm("cli")->users.at("u");
    EXPECT_EQ(12, u.uidNumber);
    EXPECT_TRUE(u.allowSSH && u.allowSSHGiven && u.homeDirectoryGiven && u.loginShellGiven);
    EXPECT_EQ("{\"a\":1}", u.comment);
    EXPECT_EQ(usLocked, u.status);
    EXPECT_TRUE(u.userPasswordIsDefault); // only "false" clears it
    EXPECT_EQ((TextMap{{"cli", "$6$x"}, {"htpasswd", "7"}}), u.userPasswordHash);
    EXPECT_EQ((BoolMap{{"a", true}, {"b", true}, {"c", false}, {"d", false}}), u.memberOf);
    EXPECT_EQ("", err.text());
}

TEST_F(RealmModel, UidNumberEdges)
{
    struct Case {
        const char* text;
        int uid;       // -2: the user is refused
    };
    const Case cases[] = {{"\"12a\"", 12}, {"42", 42}, {"\" 7\"", 7}, {"\"-1\"", -1},
                          {"\"-5\"", -2}, {"\"a12\"", -2}, {"\"99999999999\"", -2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        realms.clear();
        Captured err;
        load("cli", std::string(R"({"service":"cli","users":{"u":{"uidNumber":)") + c.text + "}}}");
        const auto& users = realm("cli")->users;
        if (c.uid == -2) {
            EXPECT_EQ(0u, users.count("u"));
            EXPECT_NE(std::string::npos, err.text().find("invalid uidNumber"));
        } else {
            EXPECT_EQ(c.uid, users.at("u").uidNumber);
        }
    }
}

TEST_F(RealmModel, CombineUserConfig)
{
    Captured err;
    ASSERT_TRUE(load("cli", R"({"service":"cli",
        "groups":{"devs":{"gidNumber":1},"ops":{"gidNumber":2}},
        "roles":{"eng":{"primaryGroup":"devs","loginShell":"/opt/${USER}/sh${USER}",
                        "homeDirectory":"/home/${USER}","allowSSH":true,"memberOf":{"ops":true,"x":true}},
                 "devs":{"primaryGroup":"ops"}},
        "users":{
          "plain":{"primaryGroup":"ops","loginShell":"/bin/sh","comment":"c"},
          "ann":{"primaryGroup":"eng","uidNumber":5,"comment":"A","memberOf":{"x":false,"y":true}},
          "b$1":{"primaryGroup":"eng","loginShell":"/bin/zsh","allowSSH":false},
          "lost":{"primaryGroup":"nowhere"}}})"));
    const RealmData& r = *realm("cli");
    UserDataConfig c;
    ASSERT_TRUE(combineUserConfig("plain", c, r));
    EXPECT_EQ("ops", c.primaryGroup);
    EXPECT_EQ("/bin/sh", c.loginShell);
    EXPECT_FALSE(c.homeDirectoryGiven);

    ASSERT_TRUE(combineUserConfig("ann", c, r));
    EXPECT_EQ("devs", c.primaryGroup);
    EXPECT_EQ("/opt/ann/shann", c.loginShell);
    EXPECT_EQ("/home/ann", c.homeDirectory);
    EXPECT_TRUE(c.allowSSH);
    EXPECT_EQ(5, c.uidNumber);
    EXPECT_EQ("A", c.comment);
    EXPECT_EQ((BoolMap{{"ops", true}, {"x", false}, {"y", true}}), c.memberOf);

    // The user's own values win; a "$" in a name is not a back-reference.
    ASSERT_TRUE(combineUserConfig("b$1", c, r));
    EXPECT_EQ("/bin/zsh", c.loginShell);
    EXPECT_EQ("/home/b$1", c.homeDirectory);
    EXPECT_FALSE(c.allowSSH);

    EXPECT_FALSE(combineUserConfig("lost", c, r));
    checkRoleGroupNames(r);
    EXPECT_EQ("***Error the primary group \"nowhere\" for user \"lost\" is neither a valid group nor a valid "
              "role!\n***Error the role \"devs\" has the same name as a group!\n",
              err.text());
}

} // namespace

namespace {

TEST_F(RealmModel, ExampleConfigurationLoads)
{
    Captured err;
    EXPECT_EQ(0, loadConfiguration(REALMGEN_EXAMPLE));
    ASSERT_EQ(2u, realms.size());
    EXPECT_EQ(svcCli, realms.front().service);
    EXPECT_EQ(svcWebsvr, realms.back().service);
    EXPECT_EQ("/etc/lighttpd/.htdigest", settings.webPasswordDigestFile);
    EXPECT_EQ("1.0", settings.apiVersion);
    EXPECT_EQ("", err.text());
}

} // namespace
