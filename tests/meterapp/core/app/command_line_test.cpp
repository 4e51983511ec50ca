#include "command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

int parse(std::vector<std::string> args, std::string* out) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  testing::internal::CaptureStdout();
  const int status = CommandLine_parse(static_cast<int>(args.size()), argv.data());
  *out = testing::internal::GetCapturedStdout();
  return status;
}

TEST(CommandLine, VersionAndUsage) {
  std::string out;
  EXPECT_EQ(parse({"meterapp", "-v"}, &out), 0);
  EXPECT_EQ(out.rfind("meterapp v3.0.1 built ", 0), 0U);
  EXPECT_EQ(out.find("Usage"), std::string::npos);

  EXPECT_EQ(parse({"meterapp", "-?"}, &out), 0);
  EXPECT_EQ(out, "meterapp application\nUsage: \n-v\tPrint version\n-?\tPrint this message\n");

  EXPECT_EQ(parse({"meterapp", "-x"}, &out), 0);  // any other option: usage
  EXPECT_NE(out.find("Usage: "), std::string::npos);
}

TEST(CommandLine, StartsNormallyWithoutOptionsOrWithProgramArguments) {
  std::string out;
  EXPECT_EQ(parse({"meterapp"}, &out), kCommandLineStart);
  EXPECT_EQ(parse({"meterapp", "-prog-args", "-v"}, &out), kCommandLineStart);
  EXPECT_EQ(parse({"meterapp", "--g-fatal-warnings", "-?"}, &out), kCommandLineStart);
  EXPECT_EQ(out, "");
}

}  // namespace
