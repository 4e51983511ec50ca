#include "Vantor_util/Vantor_util.h"
#include "scratch.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};

// Reads a file the way the tools do and returns its lines.
std::vector<std::string> linesOf(const std::string& path, bool stripCr)
{
    char* raw = nullptr;
    uint64_t size = 0;
    EXPECT_EQ(Vantor_util::file_to_buffer(path.c_str(), &raw, &size), 0);
    std::unique_ptr<char, FreeDeleter> buffer(raw);
    EXPECT_GE(Vantor_util::buffer_split_lines(buffer.get(), size, stripCr), 0);
    std::vector<std::string> lines;
    char* cursor = nullptr;
    // Walk until the end of the buffer (empty lines are read as empty texts).
    for (int guard = 0; guard < 100; ++guard) {
        char* line = Vantor_util::buffer_next_line(buffer.get(), size, &cursor);
        if (line == buffer.get() + size) {
            break;
        }
        lines.emplace_back(line);
    }
    return lines;
}

TEST(FileToBuffer, ReadsWholeFileWithATerminatingNul)
{
    test_support::ScratchDir dir;
    std::string content("abc\0def\n", 8);
    std::string big(100000, 'z');
    for (const std::string& c : {content, big, std::string()}) {
        SCOPED_TRACE(c.size());
        auto path = dir.write("f", c);
        char* raw = nullptr;
        uint64_t size = 99;
        ASSERT_EQ(Vantor_util::file_to_buffer(path.c_str(), &raw, &size), 0);
        std::unique_ptr<char, FreeDeleter> buffer(raw);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(size, c.size());
        EXPECT_EQ(std::string(buffer.get(), size), c);
        EXPECT_EQ(buffer.get()[size], '\0');
    }
}

TEST(FileToBuffer, MissingFileFailsWithErrno)
{
    char* raw = reinterpret_cast<char*>(1);
    errno = 0;
    EXPECT_EQ(Vantor_util::file_to_buffer("/nonexistent/file", &raw, nullptr), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(raw, nullptr);
}

TEST(BufferLines, SplitsWithAndWithoutFinalNewline)
{
    test_support::ScratchDir dir;
    struct Case {
        const char* name;
        std::string content;
        bool stripCr;
        std::vector<std::string> lines;
        int count;
    };
    const Case cases[] = {
        {"final newline", "one\ntwo\n", false, {"one", "two"}, 2},
        {"no final newline", "one\ntwo", false, {"one", "two"}, 2},
        {"empty line inside", "one\n\nthree\n", false, {"one", "", "three"}, 3},
        {"crlf stripped", "one\r\ntwo\r\n", true, {"one", "two"}, 2},
        {"crlf kept", "one\r\ntwo", false, {"one\r", "two"}, 2},
        {"lone cr stays", "a\rb\n", true, {"a\rb"}, 1},
        {"empty file", "", false, {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto path = dir.write("lines", c.content);
        EXPECT_EQ(linesOf(path, c.stripCr), c.lines);
        char* raw = nullptr;
        uint64_t size = 0;
        ASSERT_EQ(Vantor_util::file_to_buffer(path.c_str(), &raw, &size), 0);
        std::unique_ptr<char, FreeDeleter> buffer(raw);
        EXPECT_EQ(Vantor_util::buffer_split_lines(buffer.get(), size, c.stripCr), c.count);
    }
}

TEST(BufferLines, EndKeepsGivingAnEmptyText)
{
    char text[] = "only";
    ASSERT_EQ(Vantor_util::buffer_split_lines(text, 4, true), 1);
    char* cursor = nullptr;
    EXPECT_STREQ(Vantor_util::buffer_next_line(text, 4, &cursor), "only");
    EXPECT_STREQ(Vantor_util::buffer_next_line(text, 4, &cursor), "");
    EXPECT_STREQ(Vantor_util::buffer_next_line(text, 4, &cursor), "");
    EXPECT_EQ(Vantor_util::buffer_split_lines(nullptr, 4, true), -1);
}

TEST(FileCmp, TellsSameDifferentAndFailure)
{
    test_support::ScratchDir dir;
    auto a = dir.write("a", "content\n");
    auto same = dir.write("same", "content\n");
    auto other = dir.write("other", "content!\n");
    auto prefix = dir.write("prefix", "content");
    std::string big1(10000, 'q');
    std::string big2 = big1;
    big2[9999] = 'r';
    auto b1 = dir.write("b1", big1);
    auto b2 = dir.write("b2", big2);
    struct Case {
        std::string x, y;
        int result;
    };
    const Case cases[] = {
        {a, same, 0}, {a, a, 0}, {a, other, 1}, {a, prefix, 1}, {prefix, a, 1},
        {b1, b2, 1},  {a, dir.file("missing"), 2}, {dir.file("missing"), a, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x + " vs " + c.y);
        EXPECT_EQ(Vantor_util::file_cmp(c.x.c_str(), c.y.c_str()), c.result);
    }
}

TEST(EnsureDirAccess, DirectoryOnly)
{
    test_support::ScratchDir dir;
    auto file = dir.write("f", "x");
    EXPECT_EQ(Vantor_util::ensureDirAccess(dir.path().c_str()), 0);
    EXPECT_EQ(Vantor_util::ensureDirAccess(dir.file("missing").c_str()), ENOENT);
    EXPECT_EQ(Vantor_util::ensureDirAccess(file.c_str()), ENOTDIR);
    EXPECT_NE(Vantor_util::ensureDirAccess(nullptr), 0);
}

} // namespace
