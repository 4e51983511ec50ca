#include "scratch.h"
#include "value_support.h"

#include <cstdlib>
#include <limits>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace Vantor_cfgmgr;
using testsupport::object;
using test_support::ScratchDir;

TEST(Save, WritesPrettyJsonAndKeepsABackup)
{
    ScratchDir dir;
    std::string path = dir.file("conf.json");
    Ref<ValueObject> first = object("{\"b\":[1,2],\"a\":{\"x\":\"y\"}}");

    // No file and no backup yet: the new content counts as a change.
    EXPECT_EQ(first->Save(path.c_str()), 1);
    const char* pretty = "{\n    \"a\": {\n        \"x\": \"y\"\n    },\n    \"b\": [\n        1,\n        2\n    ]\n}\n";
    EXPECT_EQ(ScratchDir::readFile(path), pretty);
    EXPECT_FALSE(std::filesystem::exists(path + ".bak"));
    EXPECT_FALSE(std::filesystem::exists(path + ".new"));
    mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms(0644 & ~mask));

    // Same content again: unchanged; the previous file is the backup.
    EXPECT_EQ(first->Save(path.c_str()), 0);
    EXPECT_EQ(ScratchDir::readFile(path + ".bak"), pretty);

    // An existing backup is replaced by the previous content.
    Ref<ValueObject> second = object("{\"a\":1}");
    EXPECT_EQ(second->Save(path.c_str()), 1);
    EXPECT_EQ(ScratchDir::readFile(path + ".bak"), pretty);
    EXPECT_EQ(ScratchDir::readFile(path), "{\n    \"a\": 1\n}\n");
    Ref<ValueGeneric> back(ValueGeneric::Load(path.c_str()));
    EXPECT_TRUE(back->IsEqualTo(second.get()));
}

TEST(Save, AValueThatCannotBeWrittenLeavesTheFileAlone)
{
    ScratchDir dir;
    std::string path = dir.write("conf.json", "{\"keep\": true}\n");
    Ref<ValueObject> bad = object("{}");
    bad->SetProperty("nan", new ValueDouble(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_THROW(bad->Save(path.c_str()), std::domain_error);
    EXPECT_EQ(ScratchDir::readFile(path), "{\"keep\": true}\n");
    EXPECT_FALSE(std::filesystem::exists(path + ".new"));
    EXPECT_THROW(bad->Save(""), std::invalid_argument);
}

// Save ends the process on file-system failures. The directory is made
// read-only; as root the child first gives up root, which would otherwise
// write there anyway.
void saveWithoutPrivileges(const std::string& path)
{
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
        std::_Exit(99);
    }
    Ref<ValueObject> o = object("{\"a\":2}");
    o->Save(path.c_str());
    std::_Exit(0);
}

TEST(SaveDeathTest, ReadOnlyDirectoryStatuses)
{
    // Death-test children re-run this body in a fresh process (forking this
    // process would deadlock in setuid beside the logger's threads). They
    // find the parent's scratch directory through the environment instead of
    // making one of their own that nobody would remove.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    constexpr const char* kDirVar = "R9050_SAVE_DEATH_DIR";
    std::optional<ScratchDir> own;
    std::filesystem::path base;
    if (const char* inherited = std::getenv(kDirVar)) {
        base = inherited;
    } else {
        own.emplace();
        base = own->path();
        ::setenv(kDirVar, base.c_str(), 1);
    }
    std::filesystem::path ro = base / "ro";
    std::filesystem::create_directories(ro);
    std::filesystem::permissions(ro, std::filesystem::perms(0755));
    std::string path = (ro / "conf.json").string();
    std::ofstream(path) << "{\"a\":1}\n";
    std::filesystem::remove(path + ".bak");
    std::filesystem::permissions(base, std::filesystem::perms(0755));
    std::filesystem::permissions(ro, std::filesystem::perms(0555));

    // No backup to delete: creating the ".new" file fails with status 3.
    EXPECT_EXIT(saveWithoutPrivileges(path), testing::ExitedWithCode(3), "fileName open");
    // A backup that cannot be deleted: status 2.
    std::filesystem::permissions(ro, std::filesystem::perms(0755));
    std::ofstream(path + ".bak") << "old\n";
    std::filesystem::permissions(ro, std::filesystem::perms(0555));
    EXPECT_EXIT(saveWithoutPrivileges(path), testing::ExitedWithCode(2), "fileName backup delete");

    // Nothing was lost.
    EXPECT_EQ(ScratchDir::readFile(path), "{\"a\":1}\n");
    EXPECT_EQ(ScratchDir::readFile(path + ".bak"), "old\n");
    std::filesystem::permissions(ro, std::filesystem::perms(0755));
    if (own) {
        ::unsetenv(kDirVar);
    }
}

} // namespace
