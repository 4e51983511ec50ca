// Web password digests and the parsing and locking of web password lines.
#include "system_ops.h"
#include "system_views.h"
#include "web_files.h"

#include "tools_common/PropertyPath.h"

#include <gtest/gtest.h>

using namespace realmgen;

TEST(WebDigest, IsTheHttpDigestHa1)
{
    // The example of RFC 2617, section 3.5.
    EXPECT_EQ("939e7578ed9e3c518a452acee763bce9",
              generateWebUserPasswordDigest("Mufasa", "testrealm@host.com", "Circle Of Life"));
    // MD5 of "::" (empty user, realm and password).
    EXPECT_EQ("4501c091b0366d76ea3218b6cfdd8097", generateWebUserPasswordDigest("", "", ""));
    EXPECT_NE(generateWebUserPasswordDigest("a", "r", "p"), generateWebUserPasswordDigest("a", "r", "q"));
}

TEST(WebDigest, LockedHtpasswdHash)
{
    struct Case {
        const char* hash;
        bool lock;
        const char* expected;
    };
    const Case cases[] = {
        {"$apr1$salt$hash", true, "$apr1$salt$!hash"},
        {"$apr1$salt$!hash", true, "$apr1$salt$!hash"},
        {"$apr1$salt$!hash", false, "$apr1$salt$hash"},
        {"$apr1$salt$hash", false, "$apr1$salt$hash"},
        {"plain", true, "!plain"},
        {"", true, "!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hash);
        EXPECT_EQ(c.expected, lockedPwdHash(c.hash, c.lock));
    }
}

TEST(WebDigest, ParsesFileLines)
{
    WebUserDataSys d;
    ASSERT_TRUE(parseDigestLine("ann:realm:!abc:def", d));
    EXPECT_EQ("ann:realm", d.uniqueName);
    EXPECT_EQ("!abc:def", d.hash);
    EXPECT_TRUE(d.locked);
    EXPECT_FALSE(parseDigestLine("ann-realm", d));
    EXPECT_FALSE(parseDigestLine("ann:realm", d));

    WebUserPwdSys p;
    ASSERT_TRUE(parsePwdLine("bob:$apr1$SALT$!HASH", p));
    EXPECT_EQ("bob", p.key);
    EXPECT_EQ("apr1", p.type);
    EXPECT_EQ("SALT", p.salt);
    EXPECT_EQ("!HASH", p.passwordHash);
    EXPECT_TRUE(p.locked);
    EXPECT_EQ("$apr1$SALT$!HASH", p.userPassword);
    ASSERT_TRUE(parsePwdLine("carl:{SHA}xyz", p));
    EXPECT_EQ("", p.type);
    EXPECT_FALSE(p.locked);
    EXPECT_FALSE(parsePwdLine("nocolon", p));
}

// The paths handed to vcfg name exactly one user, whatever its name holds.
TEST(PasswordCleanup, UserPathsQuoteNamesThatNeedIt)
{
    struct Case {
        const char* realm;
        const char* user;
        const char* path;
    };
    const Case cases[] = {
        {"cli", "alice", "accessmgr.cli.users.alice"},
        {"site.web", "john.doe@example.com", R"(accessmgr."site.web".users."john.doe@example.com")"},
        {"cli", R"(q"u\o)", R"(accessmgr.cli.users."q\"u\\o")"},
        {"w", "tab\there", R"(accessmgr.w.users."tab\there")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.user);
        const std::string path = realmgen::userPropertyPath(c.realm, c.user);
        EXPECT_EQ(path, c.path);
        // Read back, the path has the four names it was made of.
        const Vantor_cfgmgr::PropertyPath read(path.c_str());
        ASSERT_EQ(read.Size(), 4u);
        EXPECT_EQ(read.Component(1), c.realm);
        EXPECT_EQ(read.Component(3), c.user);
    }
}
