// Process-wide facilities: the program streams and vlog. They change
// globals and the environment, so they run in their own test program.
#include "scratch.h"

#include "Vantor_cfgmgr/Vantor_cfgmgr.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

namespace {

using test_support::ScratchDir;

TEST(RedirectOutputError, EmptyNameMeansTheStandardStreams)
{
    for (const char* name : {static_cast<const char*>(nullptr), ""}) {
        Vantor_cfgmgr::redirectOutputError(name);
        EXPECT_EQ(Vantor_cfgmgr::outputFile, stdout);
        EXPECT_EQ(Vantor_cfgmgr::errorFile, stderr);
        EXPECT_EQ(Vantor_cfgmgr::backtraceFd, 2);
    }
}

TEST(RedirectOutputError, BothStreamsInterleaveInOneFile)
{
    ScratchDir dir;
    std::string path = dir.write("out.txt", "old content that must go\n");
    Vantor_cfgmgr::redirectOutputError(path.c_str());
    std::fputs("listing 1\n", Vantor_cfgmgr::outputFile);
    std::fputs("*** error\n", Vantor_cfgmgr::errorFile);
    std::fputs("listing 2", Vantor_cfgmgr::OutputStream());
    std::fputs("\n", Vantor_cfgmgr::ErrorStream());
    EXPECT_NE(Vantor_cfgmgr::backtraceFd, 2);
    EXPECT_EQ(::write(Vantor_cfgmgr::backtraceFd, "fd\n", 3), 3);
    Vantor_cfgmgr::redirectOutputError("");
    EXPECT_EQ(ScratchDir::readFile(path), "listing 1\n*** error\nlisting 2\nfd\n");
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::others_write,
              std::filesystem::perms::none);
}

TEST(RedirectOutputErrorDeathTest, UnopenableFileEndsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(Vantor_cfgmgr::redirectOutputError("/nonexistent/dir/out.txt"), testing::ExitedWithCode(255),
                "open outputFilename");
}

TEST(Vlog, VerbosityIsClamped)
{
    vlog_threshold = 5;
    for (int i = 0; i < 8; ++i) {
        more_verbosity();
    }
    EXPECT_EQ(vlog_threshold, 7);
    for (int i = 0; i < 10; ++i) {
        less_verbosity();
    }
    EXPECT_EQ(vlog_threshold, 0);
    EXPECT_EQ(more_verbosity(), 1);
    vlog_threshold = 5;
}

TEST(Vlog, MessagesReachTheConfiguredFile)
{
    ScratchDir dir;
    std::string log = dir.file("vlog.log");
    // The shipped example configuration, for the category "default".
    ASSERT_EQ(vlog_init("", log.c_str(), R9050_VLOG_EXAMPLE_CONF), 0);
    EXPECT_STREQ(std::getenv("default_LOGFILE"), log.c_str());
    EXPECT_STREQ(std::getenv("default_LOGFILE_CONFIG"), R9050_VLOG_EXAMPLE_CONF);
    ASSERT_NE(vlog_default_category, nullptr);

    vlog_threshold = 5;
    vlog_write(vlog_default_category, 3, "an error %d", 42);
    vlog_write(vlog_default_category, 7, "debug text dropped at threshold 5");
    more_verbosity();
    more_verbosity();
    vlog_write(vlog_default_category, 7, "debug text kept at threshold 7");
    vlog_threshold = 5;
    vlog_finalize();
    EXPECT_EQ(vlog_default_category, nullptr);

    std::string text = ScratchDir::readFile(log);
    EXPECT_NE(text.find("ERROR [default] an error 42\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("dropped"), std::string::npos) << text;
    EXPECT_NE(text.find("DEBUG [default] debug text kept at threshold 7\n"), std::string::npos) << text;
}

TEST(Vlog, OwnCategoryThroughItsEnvironmentVariable)
{
    ScratchDir dir;
    std::string log = dir.file("probe.log");
    std::string conf = dir.write("vlog.conf", "log4cplus.logger.probe=TRACE, f\n"
                                              "log4cplus.additivity.probe=false\n"
                                              "log4cplus.appender.f=log4cplus::FileAppender\n"
                                              "log4cplus.appender.f.File=${probe_LOGFILE}\n"
                                              "log4cplus.appender.f.layout=log4cplus::PatternLayout\n"
                                              "log4cplus.appender.f.layout.ConversionPattern=%c:%m%n\n");
    ASSERT_EQ(vlog_init("probe", log.c_str(), conf.c_str()), 0);
    EXPECT_STREQ(std::getenv("probe_LOGFILE"), log.c_str());
    EXPECT_STREQ(std::getenv("probe_LOGFILE_CONFIG"), conf.c_str());
    vlog_write(vlog_default_category, 4, "warning");
    vlog_finalize();
    EXPECT_EQ(ScratchDir::readFile(log), "probe:warning\n");
}

TEST(Vlog, FailuresAreReported)
{
    ScratchDir dir;
    std::string conf = dir.write("vlog.conf", "log4cplus.logger.known=TRACE\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(vlog_init("unknown", dir.file("x.log").c_str(), conf.c_str()), -1);
    EXPECT_EQ(vlog_init("known", dir.file("x.log").c_str(), dir.file("missing.conf").c_str()), -1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Unrecognized vlog category"), std::string::npos) << err;
    EXPECT_NE(err.find("Logger initialization"), std::string::npos) << err;
    EXPECT_EQ(vlog_default_category, nullptr);
    std::string longName(300, 'c');
    testing::internal::CaptureStderr();
    EXPECT_EQ(vlog_init(longName.c_str(), nullptr, conf.c_str()), -1);
    testing::internal::GetCapturedStderr();
    // Writing to no category is harmless.
    vlog_write(nullptr, 0, "nowhere");
}

} // namespace
