// Error queue, error texts, IEEE 488.2 registers and the core handlers.
#include <gtest/gtest.h>
#include <scpi/scpi.h>

#include <string>
#include <vector>

#include "harness.h"

namespace {

using scpi_test::Harness;

TEST(StatusTest, FullQueueKeepsTheOldestAndEndsInOverflow) {
  Harness sut(256, 4);
  for (int code = -1; code >= -6; --code) SCPI_ErrorPush(&sut.context, code);
  EXPECT_EQ(SCPI_ErrorCount(&sut.context), 4);
  EXPECT_EQ(sut.error_calls, (std::vector<int>{-1, -2, -3, -4, -5, -350, -6, -350}));
  sut.error_calls.clear();
  EXPECT_EQ(sut.Codes(), (std::vector<int>{-1, -2, -3, -350}));
  EXPECT_EQ(sut.error_calls, std::vector<int>{0});  // the queue became empty
  scpi_error_t empty;
  EXPECT_FALSE(SCPI_ErrorPop(&sut.context, &empty));
  EXPECT_EQ(empty.error_code, 0);
}

// An error that goes with a reply (a stale reading) leaves the reply and
// the rest of the line alone; an ordinary error drops the unit's reply.
TEST(StatusTest, AnErrorPushedWithItsReplyKeepsTheReply) {
  Harness sut;
  sut.on_command = [](scpi_t* context) {
    SCPI_ResultText(context, "X");
    SCPI_ErrorPushWithReply(context, -230, "stale");
    return SCPI_RES_OK;
  };
  EXPECT_EQ(sut.Send("TEST:TREEA?;*OPC?\n"), "\"X\";1\r\n");
  EXPECT_EQ(sut.Errors(), (std::vector<scpi_test::QueuedError>{{-230, "stale", true}}));
  sut.on_command = [](scpi_t* context) {
    SCPI_ResultText(context, "X");
    SCPI_ErrorPushEx(context, -230, "stale");
    return SCPI_RES_OK;
  };
  EXPECT_EQ(sut.Send("TEST:TREEA?\n").find("X"), std::string::npos);
  EXPECT_EQ(sut.Codes(), std::vector<int>{-230});
}

TEST(StatusTest, SeventeenEntriesThroughTheCommands) {
  Harness sut;
  std::string flood;
  for (int i = 0; i < 20; ++i) flood += "FOO" + std::to_string(i) + "\n";
  sut.Send(flood);
  EXPECT_EQ(sut.Send("SYST:ERR:COUN?\n"), "17\r\n");
  std::string replies;
  for (int i = 0; i < 18; ++i) replies += sut.Send("SYST:ERR?\n");
  std::string expected;
  for (int i = 0; i < 16; ++i) expected += "-113,\"Undefined header;FOO" + std::to_string(i) + "\"\r\n";
  expected += "-350,\"Queue overflow\"\r\n0,\"No error\"\r\n";
  EXPECT_EQ(replies, expected);
}

TEST(StatusTest, ErrorReplyFormats) {
  struct Case {
    int code;
    const char* info;  // null: no information
    std::string reply;
  } cases[] = {
      {-113, "ABCD", "-113,\"Undefined header;ABCD\""},
      {-101, "Test1", "-101,\"Invalid character;Test1\""},
      {-350, nullptr, "-350,\"Queue overflow\""},
      {-113, "FOO \"bar\"", "-113,\"Undefined header;FOO \"\"bar\"\"\""},
      {-220, "a;b \"q\"", "-220,\"Parameter error;a;b \"\"q\"\"\""},
      {-220, "", "-220,\"Parameter error;\""},
      {5, nullptr, "5,\"Unknown error\""},
      {-363, nullptr, "-363,\"Input buffer overrun\""},
      {-440, nullptr, "-440,\"Query UNTERMINATED after indefinite response\""},
      {-311, "malloc() error.", "-311,\"Memory error;malloc() error.\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    Harness sut;
    if (c.info != nullptr) {
      SCPI_ErrorPushEx(&sut.context, c.code, c.info);
    } else {
      SCPI_ErrorPush(&sut.context, c.code);
    }
    EXPECT_EQ(sut.Send("SYST:ERR:NEXT?\n"), c.reply + "\r\n");
  }
  Harness sut;
  EXPECT_EQ(sut.Send("syst:err?\n"), "0,\"No error\"\r\n");
  SCPI_ErrorPush(&sut.context, -200);
  EXPECT_EQ(sut.Send("SYST:ERR?;SYST:ERR?\n"), "-200,\"Execution error\"\r\n");  // second relative: -113
  EXPECT_EQ(sut.Codes(), std::vector<int>{-113});
}

TEST(StatusTest, StandardTexts) {
  struct Case {
    int code;
    const char* text;
  } cases[] = {
      {0, "No error"},           {-102, "Syntax error"},         {-114, "Header suffix out of range"},
      {-170, "Expression error"}, {-260, "Expression error"},    {-184, "Macro parameter error"},
      {-274, "Macro parameter error"}, {-225, "Out of memory"},  {-291, "Out of memory"},
      {-321, "Out of memory"},   {-314, "Save/recall memory lost"}, {-410, "Query INTERRUPTED"},
      {-800, "Operation complete"}, {-109, "Missing parameter"}, {-1, "Unknown error"},
      {100, "Unknown error"},
  };
  for (const auto& c : cases) EXPECT_STREQ(SCPI_ErrorTranslate(c.code), c.text) << c.code;
}

TEST(StatusTest, ErrorTextIsCutTo255QuotedCharacters) {
  Harness sut;
  const std::string info(300, 'x');
  SCPI_ErrorPushEx(&sut.context, -220, info);
  const std::string reply = sut.Send("SYST:ERR?\n");
  const std::string prefix = "-220,\"";
  ASSERT_EQ(reply.substr(0, prefix.size()), prefix);
  const std::string inside = reply.substr(prefix.size(), reply.size() - prefix.size() - 3);
  EXPECT_EQ(inside.size(), 255u);
  EXPECT_EQ(inside, "Parameter error;" + std::string(255 - 16, 'x'));
  // A doubled quote is not split at the limit.
  SCPI_ErrorPushEx(&sut.context, -220, std::string(238, 'y') + "\"");
  const std::string quoted = sut.Send("SYST:ERR?\n");
  EXPECT_EQ(quoted, "-220,\"Parameter error;" + std::string(238, 'y') + "\"\r\n");
}

TEST(StatusTest, QueuedErrorsSetTheirEventBits) {
  struct Case {
    int code;
    uint16_t esr;
  } cases[] = {
      {-100, ESR_CER}, {-113, ESR_CER}, {-200, ESR_EER}, {-222, ESR_EER}, {-300, ESR_DER},
      {-363, ESR_DER}, {-400, ESR_QER}, {-500, ESR_PON}, {-600, ESR_URQ}, {-700, ESR_REQ},
      {-800, ESR_OPC}, {5, ESR_DER},    {32767, ESR_DER}, {0, 0},         {-50, 0},
      {-900, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    Harness sut;
    SCPI_ErrorPush(&sut.context, c.code);
    EXPECT_EQ(SCPI_RegGet(&sut.context, SCPI_REG_ESR), c.esr);
    EXPECT_EQ(SCPI_RegGet(&sut.context, SCPI_REG_STB) & STB_QMA, STB_QMA);
  }
}

TEST(StatusTest, ErrorCallbackSeesTheQueueAndRegistersAlreadyUpdated) {
  Harness sut(256, 2);
  SCPI_RegSet(&sut.context, SCPI_REG_ESE, ESR_CER);
  sut.Send("FOO\n*ESE 1,,2\nBAR\n");
  using State = Harness::ErrorCallState;
  EXPECT_EQ(sut.error_calls, (std::vector<int>{-113, -101, -113, -350}));
  EXPECT_EQ(sut.error_states, (std::vector<State>{{1, ESR_CER, 0x24},
                                                  {2, ESR_CER, 0x24},
                                                  {2, ESR_CER, 0x24},
                                                  {2, ESR_CER, 0x24}}));
  sut.Send("SYST:ERR?\n");
  EXPECT_EQ(sut.error_calls.size(), 4u);  // one left: no call yet
  sut.Send("SYST:ERR?\n");
  EXPECT_EQ(sut.error_calls.back(), 0);
  EXPECT_EQ(sut.error_states.back(), (State{0, ESR_CER, 0x20}));
}

TEST(StatusTest, StatusByteAfterErrors) {
  Harness sut;
  sut.Send("FOO\n");
  EXPECT_EQ(sut.Send("*STB?\n"), "4\r\n");
  // Enabling the event afterwards updates the summary at once.
  EXPECT_EQ(sut.Send("*ESE 32;*STB?\n"), "36\r\n");
  EXPECT_EQ(sut.Send("*ESR?\n"), "32\r\n");
  EXPECT_EQ(sut.Send("*ESR?;*STB?\n"), "0;4\r\n");
  sut.Send("SYST:ERR?\n");
  EXPECT_EQ(sut.Send("*STB?\n"), "0\r\n");
}

TEST(StatusTest, ServiceRequestIsSignalled) {
  Harness sut;
  sut.Send("*ESE 32;*SRE 32\n");
  EXPECT_TRUE(sut.control_calls.empty());
  sut.Send("FOO\n");
  EXPECT_EQ(sut.control_calls, (std::vector<std::pair<int, int>>{{SCPI_CTRL_SRQ, 0x60}, {SCPI_CTRL_SRQ, 0x64}}));
  EXPECT_EQ(sut.Send("*STB?\n"), "100\r\n");
  // Clearing takes the request away without another call.
  sut.control_calls.clear();
  sut.Send("*CLS\n");
  EXPECT_EQ(sut.Send("*STB?\n"), "0\r\n");
  EXPECT_TRUE(sut.control_calls.empty());
}

TEST(StatusTest, QuestionableRegistersAndPreset) {
  Harness sut;
  SCPI_RegSet(&sut.context, SCPI_REG_QUESC, 0x0003);
  EXPECT_EQ(sut.Send("STAT:QUES:COND?\n"), "3\r\n");
  EXPECT_EQ(sut.Send("*STB?\n"), "0\r\n");  // not enabled
  EXPECT_EQ(sut.Send("STAT:QUES:ENAB 2;*STB?\n"), "8\r\n");
  EXPECT_EQ(sut.Send("STAT:QUES:ENAB?\n"), "2\r\n");
  EXPECT_EQ(sut.Send("STAT:QUES?\n"), "3\r\n");
  EXPECT_EQ(sut.Send("STAT:QUES:EVEN?;*STB?\n"), "0;0\r\n");
  // A condition bit that stays set does not latch again; a new rise does.
  SCPI_RegSet(&sut.context, SCPI_REG_QUESC, 0x0003);
  EXPECT_EQ(sut.Send("STAT:QUES?\n"), "0\r\n");
  SCPI_RegSet(&sut.context, SCPI_REG_QUESC, 0x0001);
  SCPI_RegSet(&sut.context, SCPI_REG_QUESC, 0x0003);
  EXPECT_EQ(sut.Send("STAT:QUES?\n"), "2\r\n");
  // PRESet clears the QUEStionable event register and nothing else.
  SCPI_RegSet(&sut.context, SCPI_REG_QUES, 0x0010);
  SCPI_RegSet(&sut.context, SCPI_REG_OPER, 0x0004);
  sut.Send("STAT:OPER:ENAB 4\n");
  sut.Send("STAT:PRES\n");
  EXPECT_EQ(sut.Send("STAT:QUES?;:STAT:QUES:ENAB?;:STAT:OPER:ENAB?;:STAT:OPER?\n"), "0;2;4;4\r\n");
  EXPECT_TRUE(sut.Errors().empty());
}

TEST(StatusTest, ClearStatusKeepsEnables) {
  Harness sut;
  sut.Send("*ESE 32;*SRE 4;STAT:QUES:ENAB 1;FOO\n");
  SCPI_RegSet(&sut.context, SCPI_REG_QUES, 1);
  SCPI_RegSet(&sut.context, SCPI_REG_OPER, 1);
  sut.error_calls.clear();
  EXPECT_EQ(sut.Send("*CLS;*ESR?;*STB?;STAT:QUES?;:STAT:OPER?;:SYST:ERR:COUN?\n"), "0;0;0;0;0\r\n");
  EXPECT_EQ(sut.error_calls, std::vector<int>{0});
  EXPECT_EQ(sut.Send("*ESE?;*SRE?;STAT:QUES:ENAB?\n"), "32;4;1\r\n");
}

TEST(StatusTest, CoreCommandReplies) {
  struct Case {
    const char* input;
    const char* output;
    std::vector<int> codes;
  } cases[] = {
      {"*IDN?\n", "MA,IN,0,VER\r\n", {}},
      {"*OPC?\n", "1\r\n", {}},
      {"*TST?\n", "0\r\n", {}},
      {"*WAI;*OPC?\n", "1\r\n", {}},
      {"SYST:VERS?\n", "1999.0\r\n", {}},
      {"*OPC;*ESR?\n", "1\r\n", {}},
      {"*ESE 300;*ESE?\n", "300\r\n", {}},
      {"*ESE -1;*ESE?\n", "65535\r\n", {}},
      {"*ESE #H20;*ESE?\n", "32\r\n", {}},
      {"*ESE 1.9;*ESE?\n", "0\r\n", {-104}},
      {"*ESE;*ESE?\n", "0\r\n", {-109}},
      {"*SRE 16;*SRE?\n", "16\r\n", {}},
      {"STAT:QUES:ENAB;:STAT:QUES:ENAB?\n", "0\r\n", {-109}},
      {"*CLS 5\n", "", {-108}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    Harness sut;
    EXPECT_EQ(sut.Send(c.input), c.output);
    EXPECT_EQ(sut.Codes(), c.codes);
  }
}

TEST(StatusTest, ResetCallsTheInterface) {
  Harness sut;
  sut.Send("*RST\n");
  EXPECT_EQ(sut.reset_calls, 1);
  EXPECT_TRUE(sut.Errors().empty());
  sut.reset_result = SCPI_RES_ERR;
  sut.Send("*RST\n");
  EXPECT_EQ(sut.Codes(), std::vector<int>{-200});
  EXPECT_EQ(SCPI_ErrorTranslate(-200), std::string("Execution error"));
  EXPECT_EQ(SCPI_ErrorTranslate(-999), std::string("Unknown error"));
}

TEST(StatusTest, ContextsShareNothingButTheTable) {
  Harness tcp;
  Harness serial;
  tcp.Send("FOO\n*ESE 4\n");
  EXPECT_EQ(serial.Send("SYST:ERR:COUN?;*ESE?;*STB?\n"), "0;0;0\r\n");
  EXPECT_EQ(tcp.Send("SYST:ERR:COUN?;*ESE?\n"), "1;4\r\n");
}

}  // namespace
