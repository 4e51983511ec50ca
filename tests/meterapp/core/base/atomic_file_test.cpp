#include "atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "device_fixtures.h"

namespace {

namespace fs = std::filesystem;
using test_support::ScratchRoot;

std::string contentOf(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class AtomicFileTest : public ::testing::Test {
 protected:
  fs::path file(const char* name) const { return root.path() / name; }
  ScratchRoot root;
};

TEST_F(AtomicFileTest, ReplacesTheContentAndLeavesNoTemporaryFile) {
  const fs::path path = file("settings.conf");
  ASSERT_EQ(AtomicFile_replace(path.string(), "first\n"), 0);
  EXPECT_EQ(contentOf(path), "first\n");
  EXPECT_EQ(fs::status(path).permissions(), fs::perms(0644));
  ASSERT_EQ(AtomicFile_replace(path.string(), "second\n"), 0);
  EXPECT_EQ(contentOf(path), "second\n");
  EXPECT_FALSE(fs::exists(path.string() + ".new"));

  std::string back;
  ASSERT_TRUE(AtomicFile_read(path.string(), back));
  EXPECT_EQ(back, "second\n");
  EXPECT_FALSE(AtomicFile_read(file("missing").string(), back));
  EXPECT_EQ(back, "second\n");  // a failed read leaves the caller's text alone
}

// A system file kept as a link into a writable partition must stay a link.
TEST_F(AtomicFileTest, ALinkStaysALinkAndItsTargetIsReplaced) {
  fs::create_directories(file("data"));
  const fs::path target = file("data/interfaces");
  std::ofstream(target) << "old\n";
  fs::permissions(target, fs::perms(0600));
  const fs::path link = file("interfaces");
  fs::create_symlink("data/interfaces", link);  // relative, as links in /etc usually are
  const fs::path chained = file("chained");
  fs::create_symlink(link, chained);

  ASSERT_EQ(AtomicFile_replace(chained.string(), "new\n"), 0);
  EXPECT_TRUE(fs::is_symlink(chained));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(contentOf(target), "new\n");
  EXPECT_EQ(fs::status(target).permissions(), fs::perms(0600));
  EXPECT_FALSE(fs::exists(target.string() + ".new"));
}

TEST_F(AtomicFileTest, AFailedReplaceKeepsTheOldFile) {
  const fs::path path = file("settings.conf");
  ASSERT_EQ(AtomicFile_replace(path.string(), "kept\n"), 0);
  // Something in the way of the file written beside it.
  fs::create_directories(path.string() + ".new/blocked");
  EXPECT_EQ(AtomicFile_replace(path.string(), "lost\n"), -1);
  EXPECT_EQ(contentOf(path), "kept\n");
  EXPECT_NE(root.messages().find("open " + path.string() + ".new errno="), std::string::npos) << root.messages();
}

}  // namespace
