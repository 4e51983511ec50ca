// Result writers: number formats, text quoting, separators and long replies.
#include <gtest/gtest.h>
#include <scpi/scpi.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "harness.h"

namespace {

using scpi_test::Harness;

// Runs the query X? with `write` as its handler and returns its reply
// without the terminator.
std::string Reply(const std::function<void(scpi_t*)>& write) {
  Harness sut;
  sut.on_command = [&](scpi_t* context) {
    write(context);
    return SCPI_RES_OK;
  };
  const std::string out = sut.Send("X?\n");
  EXPECT_EQ(out.substr(out.size() >= 2 ? out.size() - 2 : 0), "\r\n");
  return out.substr(0, out.size() >= 2 ? out.size() - 2 : 0);
}

TEST(ResultTest, DoublesUseFifteenSignificantDigits) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {0.1, "0.1"},
      {2400, "2400"},
      {-30.5, "-30.5"},
      {1e-5, "1e-05"},
      {1.256e-17, "1.256e-17"},
      {1e15, "1e+15"},
      {123456789012345.0, "123456789012345"},
      {1.23456789012345678e17, "1.23456789012346e+17"},
      {-0.0, "-0"},
      {static_cast<double>(0.1f), "0.100000001490116"},
      {0.0001, "0.0001"},
      {std::numeric_limits<double>::quiet_NaN(), "9.91E+37"},
      {std::numeric_limits<double>::infinity(), "9.9E+37"},
      {-std::numeric_limits<double>::infinity(), "-9.9E+37"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Reply([&](scpi_t* context) { SCPI_ResultDouble(context, c.value); }), c.text);
  }
  EXPECT_EQ(Reply([](scpi_t* context) { SCPI_ResultFloat(context, 3.14159265f); }), "3.14159");
  EXPECT_EQ(Reply([](scpi_t* context) { SCPI_ResultFloat(context, 2147483648.0f); }), "2.14748e+09");
}

TEST(ResultTest, IntegersBasesAndBooleans) {
  EXPECT_EQ(Reply([](scpi_t* context) {
              SCPI_ResultInt32(context, -5);
              SCPI_ResultInt32(context, 2147483647);
              SCPI_ResultUInt32(context, static_cast<uint32_t>(-10));
              SCPI_ResultInt64(context, INT64_MIN);
              SCPI_ResultUInt64(context, UINT64_MAX);
            }),
            "-5,2147483647,4294967286,-9223372036854775808,18446744073709551615");
  EXPECT_EQ(Reply([](scpi_t* context) {
              SCPI_ResultUInt32Base(context, 255, 16);
              SCPI_ResultUInt32Base(context, 255, 8);
              SCPI_ResultUInt32Base(context, 255, 2);
              SCPI_ResultUInt32Base(context, 0, 16);
              SCPI_ResultUInt32Base(context, 12, 10);
            }),
            "#HFF,#Q377,#B11111111,#H0,12");
  EXPECT_EQ(Reply([](scpi_t* context) {
              SCPI_ResultBool(context, true);
              SCPI_ResultBool(context, false);
            }),
            "1,0");
}

TEST(ResultTest, TextCharactersAndBlocks) {
  EXPECT_EQ(Reply([](scpi_t* context) { SCPI_ResultText(context, "abcd\""); }), "\"abcd\"\"\"");
  EXPECT_EQ(Reply([](scpi_t* context) { SCPI_ResultText(context, "\"a\"\"b\r\n"); }), "\"\"\"a\"\"\"\"b\r\n\"");
  EXPECT_EQ(Reply([](scpi_t* context) { SCPI_ResultText(context, ""); }), "\"\"");
  EXPECT_EQ(Reply([](scpi_t* context) {
              SCPI_ResultCharacters(context, "A");
              SCPI_ResultCharacters(context, "");
              SCPI_ResultMnemonic(context, "POS");
            }),
            "A,,POS");
  EXPECT_EQ(Reply([](scpi_t* context) { SCPI_ResultArbitraryBlock(context, "AB"); }), "#12AB");
  EXPECT_EQ(Reply([](scpi_t* context) { SCPI_ResultArbitraryBlock(context, "X1234567890"); }), "#211X1234567890");
  EXPECT_EQ(Reply([](scpi_t* context) { SCPI_ResultArbitraryBlock(context, ""); }), "#10");
}

TEST(ResultTest, LongRepliesAreSentWhole) {
  const std::string long_text(5000, 'z');
  EXPECT_EQ(Reply([&](scpi_t* context) {
              SCPI_ResultCharacters(context, long_text);
              SCPI_ResultInt32(context, 1);
            }),
            long_text + ",1");
}

TEST(ResultTest, CommandsAndCallersOutsideHandlersNeverReply) {
  Harness sut;
  const std::string long_text(5000, 'z');
  sut.on_command = [&](scpi_t* context) {
    SCPI_ResultCharacters(context, long_text);  // the command X must stay silent
    return SCPI_RES_OK;
  };
  EXPECT_EQ(sut.Send("X;*OPC?\n"), "1\r\n");
  SCPI_ResultInt32(&sut.context, 5);
  EXPECT_EQ(sut.output, "1\r\n");
  EXPECT_EQ(sut.Send("*OPC?\n"), "1\r\n");
}

}  // namespace
