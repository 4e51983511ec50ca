#include "Vantor_util/Vantor_util.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

std::string readAll(FILE* f)
{
    std::rewind(f);
    std::string out;
    char buf[256];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        out.append(buf, n);
    }
    return out;
}

TEST(CallExecutable, ReturnsTheRawWaitStatus)
{
    struct Case {
        const char* script;
        int status;
    };
    const Case cases[] = {
        {"exit 0", 0},
        {"exit 1", 0x100},
        {"exit 3", 0x300},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        char* argv[] = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"), const_cast<char*>(c.script), nullptr};
        int statusOut = -12345;
        EXPECT_EQ(Vantor_util::call_executable(argv, nullptr, true, nullptr, nullptr, &statusOut), c.status);
        EXPECT_EQ(statusOut, c.status);
    }
}

TEST(CallExecutable, CapturesStandardOutputIntoTheStream)
{
    std::unique_ptr<FILE, FileCloser> out(std::tmpfile());
    ASSERT_TRUE(out);
    // A few hundred kilobytes: more than a pipe holds, so the parent must
    // drain while the child writes.
    char* argv[] = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"),
                    const_cast<char*>("printf 'first line\\n'; head -c 300000 /dev/zero | tr '\\0' x; printf '\\nend'"),
                    nullptr};
    EXPECT_EQ(Vantor_util::call_executable(argv, nullptr, true, nullptr, out.get(), nullptr), 0);
    std::string text = readAll(out.get());
    EXPECT_EQ(text.substr(0, 11), "first line\n");
    EXPECT_EQ(text.size(), 11u + 300000u + 4u);
    EXPECT_EQ(text.substr(text.size() - 4), "\nend");
}

TEST(CallExecutable, CapturesOutputWhenOurOwnStandardStreamsAreClosed)
{
    // A program started by a daemon may run with descriptors 0 and 1 closed;
    // the capture pipe then takes those numbers and must still reach the
    // child's standard output.
    std::unique_ptr<FILE, FileCloser> out(std::tmpfile());
    ASSERT_TRUE(out);
    std::fflush(stdout);
    int savedIn = ::dup(STDIN_FILENO);
    int savedOut = ::dup(STDOUT_FILENO);
    ASSERT_GE(savedIn, 0);
    ASSERT_GE(savedOut, 0);
    ::close(STDIN_FILENO);
    ::close(STDOUT_FILENO);
    char* argv[] = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"), const_cast<char*>("echo captured"),
                    nullptr};
    int status = Vantor_util::call_executable(argv, nullptr, true, nullptr, out.get(), nullptr);
    ::dup2(savedIn, STDIN_FILENO);
    ::dup2(savedOut, STDOUT_FILENO);
    ::close(savedIn);
    ::close(savedOut);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readAll(out.get()), "captured\n");
}

// A service script that starts a daemon: the daemon inherits the script's
// standard output and holds it long after the script has ended. The call
// must come back when the script ends, with the script's output, for a
// stream with a descriptor (given to the child) and for a memory stream
// (copied through a pipe).
TEST(CallExecutable, ReturnsWhenTheChildEndsThoughItsDaemonHoldsTheOutput)
{
    struct Stream {
        const char* kind;
        FILE* (*open)(char** text, size_t* size);
    };
    const Stream streams[] = {
        {"file", [](char**, size_t*) { return std::tmpfile(); }},
        {"memory", [](char** text, size_t* size) { return ::open_memstream(text, size); }},
    };
    for (const auto& s : streams) {
        SCOPED_TRACE(s.kind);
        char* text = nullptr;
        size_t size = 0;
        std::unique_ptr<FILE, FileCloser> out(s.open(&text, &size));
        ASSERT_TRUE(out);
        char pidPath[] = "/tmp/exec-test-pidXXXXXX";
        const int pidFd = ::mkstemp(pidPath);
        ASSERT_GE(pidFd, 0);
        ::close(pidFd);
        const std::string script = std::string("echo started; sleep 30 & echo $! > ") + pidPath + "; echo done";
        char* argv[] = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"), const_cast<char*>(script.c_str()),
                        nullptr};
        const int status = Vantor_util::call_executable(argv, nullptr, true, nullptr, out.get(), nullptr);
        std::unique_ptr<FILE, FileCloser> pidFile(std::fopen(pidPath, "r"));
        ::unlink(pidPath);
        ASSERT_TRUE(pidFile);
        const pid_t daemon = static_cast<pid_t>(std::stol("0" + readAll(pidFile.get())));
        ASSERT_GT(daemon, 0);
        // Still running: the call did not wait for it.
        EXPECT_EQ(::kill(daemon, 0), 0);
        ::kill(daemon, SIGKILL);
        EXPECT_EQ(status, 0);
        std::fflush(out.get());
        const std::string written = text != nullptr ? std::string(text, size) : readAll(out.get());
        EXPECT_EQ(written, "started\ndone\n");
        out.reset();
        std::free(text);
    }
}

TEST(CallExecutable, PassesArgumentsVerbatimWithoutAShell)
{
    std::unique_ptr<FILE, FileCloser> out(std::tmpfile());
    ASSERT_TRUE(out);
    char* argv[] = {const_cast<char*>("/bin/echo"), const_cast<char*>("$HOME; rm -rf x"),
                    const_cast<char*>("`id`"), nullptr};
    EXPECT_EQ(Vantor_util::call_executable(argv, nullptr, true, nullptr, out.get(), nullptr), 0);
    EXPECT_EQ(readAll(out.get()), "$HOME; rm -rf x `id`\n");
}

TEST(CallExecutable, UsesTheGivenEnvironment)
{
    std::unique_ptr<FILE, FileCloser> out(std::tmpfile());
    ASSERT_TRUE(out);
    char* argv[] = {const_cast<char*>("/usr/bin/env"), nullptr};
    char* envp[] = {const_cast<char*>("ONLY_THIS=1"), nullptr};
    EXPECT_EQ(Vantor_util::call_executable(argv, envp, true, nullptr, out.get(), nullptr), 0);
    EXPECT_EQ(readAll(out.get()), "ONLY_THIS=1\n");
}

TEST(CallExecutable, MissingProgramExitsWith127AndBadArgumentsFail)
{
    char* argv[] = {const_cast<char*>("/nonexistent/program"), nullptr};
    int status = Vantor_util::call_executable(argv, nullptr, true, nullptr, nullptr, nullptr);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 127);
    EXPECT_EQ(Vantor_util::call_executable(nullptr, nullptr, true, nullptr, nullptr, nullptr), -1);
}

TEST(CallExecutable, NoWaitHandsBackTheChild)
{
    char* argv[] = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"), const_cast<char*>("exit 5"), nullptr};
    pid_t pid = 0;
    EXPECT_EQ(Vantor_util::call_executable(argv, nullptr, false, &pid, nullptr, nullptr), 0);
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_EQ(WEXITSTATUS(status), 5);
}

TEST(CallExecutable5, RunsWithUpToFourArguments)
{
    EXPECT_EQ(Vantor_util__call_executable_5("/bin/true"), 0);
    EXPECT_EQ(Vantor_util__call_executable_5("/bin/sh", "-c", "exit 2"), 0x200);
    // The four arguments all reach the program: $# of "sh -c script name a b" is 2.
    EXPECT_EQ(Vantor_util__call_executable_5("/bin/sh", "-c", "exit $#", "name", "a"), 0x100);
    // A null ends the list: the fourth argument after it is not passed.
    EXPECT_EQ(Vantor_util__call_executable_5("/bin/sh", "-c", "exit $#", nullptr, "ignored"), 0);
}

TEST(AccessList, FindsTheFirstAccessiblePath)
{
    const char* paths[] = {"/nonexistent/a", "/bin/sh", "/bin/true", nullptr};
    EXPECT_STREQ(Vantor_util__access_list(paths, 1), "/bin/sh");
    const char* none[] = {"/nonexistent/a", "/nonexistent/b", nullptr};
    EXPECT_EQ(Vantor_util__access_list(none, 1), nullptr);
    EXPECT_EQ(Vantor_util__access_list(nullptr, 1), nullptr);
}

} // namespace
