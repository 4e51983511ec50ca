// Program messages: reply framing, compound messages and the current path,
// invalid characters, what handlers see, split input and the buffer limit.
#include <gtest/gtest.h>
#include <scpi/scpi.h>

#include <string>
#include <vector>

#include "harness.h"

namespace {

using scpi_test::Harness;
using scpi_test::QueuedError;

// The test rows used here: TEST:TREEA? answers A, TEST:TREEB? answers B, the
// gate rows search their own message text for MAX and MIN the way the
// meter's handlers do, "X? FAIL" replies 42 and fails, "X? EMPTY" replies
// nothing, other X? reply 7, and the command X tries to reply 7.
scpi_result_t FramingRows(scpi_t* context) {
  const std::string_view message = SCPI_CurrentMessage(context);
  switch (SCPI_CmdTag(context)) {
    case 1: SCPI_ResultCharacters(context, "A"); break;
    case 2: SCPI_ResultCharacters(context, "B"); break;
    case 3: case 4: case 5:
      SCPI_ResultCharacters(context, message.find("MAX") != message.npos   ? "MAX"
                                     : message.find("MIN") != message.npos ? "MIN"
                                                                           : "MEAN");
      break;
    case 8: SCPI_ResultInt32(context, 7); break;
    case 9: {
      std::string_view word;
      SCPI_ParamCharacters(context, &word, false);
      if (word == "FAIL") {
        SCPI_ResultInt32(context, 42);
        return SCPI_RES_ERR;
      }
      if (word != "EMPTY") SCPI_ResultInt32(context, 7);
      break;
    }
    default: {
      std::string_view ignored;
      while (SCPI_ParamCharacters(context, &ignored, false)) {
      }
    }
  }
  return SCPI_RES_OK;
}

struct FramingCase {
  const char* input;
  const char* output;
  std::vector<QueuedError> errors;
};

QueuedError Plain(int code) { return {code, "", false}; }
QueuedError Info(int code, const char* info) { return {code, info, true}; }

// Sends each input to a fresh context: the reply, the queued errors and one
// flush per terminator written must be as listed.
template <size_t N>
void CheckFraming(const FramingCase (&cases)[N]) {
  for (const FramingCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.input)));
    Harness sut;
    sut.on_command = FramingRows;
    const std::string output = sut.Send(c.input);
    EXPECT_EQ(output, c.output);
    EXPECT_EQ(sut.Errors(), c.errors);
    int terminators = 0;
    for (size_t at = output.find("\r\n"); at != std::string::npos; at = output.find("\r\n", at + 2)) ++terminators;
    EXPECT_EQ(sut.flush_calls, terminators);
  }
}

TEST(MessageTest, RepliesAreFramedPerMessage) {
  const FramingCase cases[] = {
      {"*IDN?\n", "MA,IN,0,VER\r\n", {}},
      {"*IDN?;*IDN?\n", "MA,IN,0,VER;MA,IN,0,VER\r\n", {}},
      {"*IDN?;*OPC;*IDN?\n", "MA,IN,0,VER;MA,IN,0,VER\r\n", {}},
      {"*OPC\n", "", {}},
      {"*IDN?;*OPC\n", "MA,IN,0,VER\r\n", {}},
      {"X? EMPTY\n", "\r\n", {}},
      {"X? EMPTY;*OPC?\n", ";1\r\n", {}},
      {"*IDN?;FOO?;*OPC?\n", "MA,IN,0,VER;1\r\n", {Info(-113, "FOO?")}},
      {"*IDN?;*IDN?\r\n*IDN?\n", "MA,IN,0,VER;MA,IN,0,VER\r\nMA,IN,0,VER\r\n", {}},
      {"*OPC?\r", "1\r\n", {}},
      {"*OPC?\r\r\n", "1\r\n", {}},
      {";;*OPC?;\n \t \n\n", "1\r\n", {}},
      // a failing query sends nothing, and its neighbours stay well framed
      {"X? FAIL\n", "", {Plain(-200)}},
      {"X? FAIL;*OPC?\n", "1\r\n", {Plain(-200)}},
      {"*OPC?;X? FAIL;*OPC?\n", "1;1\r\n", {Plain(-200)}},
      // commands never reply
      {"X;*IDN?\n", "MA,IN,0,VER\r\n", {}},
      // parameters left unread: the reply stands, then -108
      {"*IDN? 12\n", "MA,IN,0,VER\r\n", {Plain(-108)}},
      {"*OPC 1;*ESR?\n", "33\r\n", {Plain(-108)}},
      // strings may hold separators
      {"X? \"a;b,c\";*OPC?\n", "7;1\r\n", {}},
      {"X? 'it''s';*OPC?\n", "7;1\r\n", {}},
      {"X? #15a;b,c;*OPC?\n", "7;1\r\n", {}},
  };
  CheckFraming(cases);
}

TEST(MessageTest, FlushFollowsEachTerminator) {
  Harness sut;
  const std::string out = sut.Send("*OPC?\n*OPC\n*OPC?;*OPC?\n");
  EXPECT_EQ(out, "1\r\n1;1\r\n");
  EXPECT_EQ(sut.flush_calls, 2);
  EXPECT_EQ(sut.write_sizes.back(), 2u);  // the terminator is written on its own
}

TEST(MessageTest, RelativeHeadersTakeThePathOfThePreviousUnit) {
  const FramingCase cases[] = {
      {"TEST:TREEA?;TREEB?\n", "A;B\r\n", {}},
      {"TEST:TREEA?;:TREEB?\n", "A\r\n", {Info(-113, ":TREEB?")}},
      {"TEST:TREEA?;*IDN?;TREEB?\n", "A;MA,IN,0,VER\r\n", {Info(-113, "TREEB?")}},
      {"TEST:TREEA?\nTREEB?\n", "A\r\n", {Info(-113, "TREEB?")}},
      {"MEAS:GATE:MAX?;MEAS:GATE:MIN?\n", "MAX\r\n", {Info(-113, "MEAS:GATE:MIN?")}},
      {"MEAS:GATE:MAX?;:MEAS:GATE:MIN?\n", "MAX;MIN\r\n", {}},
      {"SYST:VERS?;SYST:VERS?\n", "1999.0\r\n", {Info(-113, "SYST:VERS?")}},
      // a unit that did not match leaves the path alone
      {"TEST:TREEA?;FOO;TREEB?\n", "A;B\r\n", {Info(-113, "FOO")}},
      {"TEST:TREEA?;  RAW? 1  ;TREEB?\n", "A;B\r\n", {Info(-113, "RAW? 1")}},
      {"SYST:ERR:\n", "", {Info(-113, "SYST:ERR:")}},
  };
  CheckFraming(cases);
}

TEST(MessageTest, CompletedHeadersAndMessagesAreWhatHandlersSee) {
  Harness sut;
  std::vector<std::string> headers;
  std::vector<std::string> messages;
  sut.on_command = [&](scpi_t* context) {
    headers.emplace_back(SCPI_CommandHeader(context));
    messages.emplace_back(SCPI_CurrentMessage(context));
    std::string_view ignored;
    while (SCPI_ParamCharacters(context, &ignored, false)) {
    }
    return SCPI_RES_OK;
  };
  sut.Send("A:B:C 1;D 2;  E 3 \n:A:B:C;:A:C\n");
  EXPECT_EQ(headers, (std::vector<std::string>{"A:B:C", "A:B:D", "A:B:E", ":A:B:C", ":A:C"}));
  EXPECT_EQ(messages, (std::vector<std::string>{"A:B:C 1", "D 2", "E 3", ":A:B:C", ":A:C"}));
  EXPECT_TRUE(sut.Errors().empty());
}

TEST(MessageTest, EachHandlerSeesOnlyItsOwnUnit) {
  Harness sut;
  std::vector<std::string> seen;
  sut.on_command = [&](scpi_t* context) {
    seen.emplace_back(SCPI_CurrentMessage(context));
    if (SCPI_CmdTag(context) == 6) {
      std::string_view value;
      EXPECT_TRUE(SCPI_ParamTextToEnd(context, &value, true));
      seen.emplace_back(value);
    }
    return FramingRows(context);
  };
  // The gate handlers answer by searching their message for MAX or MIN.
  EXPECT_EQ(sut.Send("MEAS:GATE:MIN?\nMEAS:GATE:MAX?\nMEAS:GATE:MAX?;:MEAS:GATE:MIN?\n"),
            "MIN\r\nMAX\r\nMAX;MIN\r\n");
  EXPECT_EQ(sut.Send("TRIG:LEV 0.5;:TRIG:LEV?\n"), "\r\n");
  EXPECT_EQ(sut.Send("TRIG:LEV 0.5, 2;:TRIG:LEV?\n"), "\r\n");
  EXPECT_EQ(seen, (std::vector<std::string>{"MEAS:GATE:MIN?", "MEAS:GATE:MAX?", "MEAS:GATE:MAX?", ":MEAS:GATE:MIN?",
                                            "TRIG:LEV 0.5", "0.5", ":TRIG:LEV?", "TRIG:LEV 0.5, 2", "0.5, 2",
                                            ":TRIG:LEV?"}));
  EXPECT_TRUE(sut.Errors().empty());
}

TEST(MessageTest, OneErrorPerBadUnitAndTheRestStillRuns) {
  const FramingCase cases[] = {
      {"*ESE 1,,2\n", "", {Plain(-101)}},
      {"X a b\n", "", {Plain(-101)}},
      {"SYST:ERR?:NEXT\n", "", {Plain(-101)}},
      {"SYST::ERR?\n", "", {Plain(-101)}},
      {"X -INF\n", "", {Plain(-101)}},
      {"X 192.168.1.1\n", "", {Plain(-101)}},
      {"X 0x10\n", "", {Plain(-101)}},
      {"*IDN ?\n", "", {Plain(-101)}},
      {"SYST: ERR?\n", "", {Plain(-101)}},
      {":*IDN?\n", "", {Plain(-101)}},
      {"*ESE,1\n", "", {Plain(-101)}},
      {"X? \"a\"b;*OPC?\n", "1\r\n", {Plain(-101)}},
      {"X \xC3\xA9\n", "", {Plain(-101)}},
      {"X \"caf\xC3\xA9\"\n", "", {Plain(-101)}},
      {"X? \x01;*OPC?\n", "1\r\n", {Plain(-101)}},
      {"?\n", "", {Plain(-101)}},
      {"*IDN?;X a b;*OPC?\n", "MA,IN,0,VER;1\r\n", {Plain(-101)}},
      {"*IDN?;X a \"b;c\";*OPC?\n", "MA,IN,0,VER;1\r\n", {Plain(-101)}},
      // a parameter list ending in a comma: -109 and the handler is not run
      {"X? 1,\n", "", {Plain(-109)}},
      {"TRIG:LEV 0.5 ,\n", "", {Plain(-109)}},
      {"TRIG:LEV 0.5 ,;*OPC?\n", "1\r\n", {Plain(-109)}},
  };
  for (const FramingCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.input)));
    Harness sut;
    int calls = 0;
    sut.on_command = [&](scpi_t* context) {
      ++calls;
      return FramingRows(context);
    };
    EXPECT_EQ(sut.Send(c.input), c.output);
    EXPECT_EQ(sut.Errors(), c.errors);
    EXPECT_EQ(calls, 0);
  }
}

TEST(MessageTest, UnterminatedStringRunsToTheEndOfTheMessage) {
  Harness sut;
  EXPECT_EQ(sut.Send("X? \"unterminated"), "");
  EXPECT_EQ(sut.Flush(), "");
  EXPECT_EQ(sut.Codes(), (std::vector<int>{-101}));
  // A block whose bytes never all arrived is just as invalid.
  EXPECT_EQ(sut.Send("X? #15ab"), "");
  EXPECT_EQ(sut.Flush(), "");
  EXPECT_EQ(sut.Codes(), (std::vector<int>{-101}));
}

TEST(MessageTest, SplitInputGivesTheSameResultAsOneCall) {
  const char* inputs[] = {
      "*IDN?;*OPC?\n",
      "X? \"a\r\nb\";*OPC?\n",           // CR and LF inside a string are data
      "X? 'te\nst', \"x\"\"y\";*OPC?\r\n",
      "X? #15a\nb\rc;*OPC?\n",           // and so are block bytes
      "TEST:TREEA?;TREEB?\r\n*OPC?\r*OPC?\n",
      "FOO;*OPC?\nX a b;*OPC?\n",
  };
  for (const char* input : inputs) {
    Harness whole;
    whole.on_command = FramingRows;
    const std::string expected = whole.Send(input);
    const std::vector<int> expected_errors = whole.Codes();
    EXPECT_FALSE(expected.empty()) << input;
    for (size_t chunk = 1; chunk <= 20; ++chunk) {
      SCOPED_TRACE(testing::PrintToString(std::string(input)) + " in chunks of " + std::to_string(chunk));
      Harness sut;
      sut.on_command = FramingRows;
      EXPECT_EQ(sut.SendSplit(input, chunk), expected);
      EXPECT_EQ(sut.Codes(), expected_errors);
    }
  }
}

TEST(MessageTest, TimeOutExecutesWhatIsBuffered) {
  Harness sut;
  EXPECT_EQ(sut.Send("*IDN?"), "");
  EXPECT_EQ(sut.Flush(), "MA,IN,0,VER\r\n");
  EXPECT_EQ(sut.Flush(), "");  // nothing pending: nothing happens
  EXPECT_EQ(sut.Send("*OPC?;*IDN?;"), "");
  EXPECT_EQ(sut.Flush(), "1;MA,IN,0,VER\r\n");
}

TEST(MessageTest, BufferHoldsAtMostLengthMinusOneBytes) {
  // 254 characters plus the terminator fit a 256-byte buffer.
  const std::string fits = "*OPC?" + std::string(249, ' ') + "\n";
  ASSERT_EQ(fits.size(), 255u);
  // 255 characters plus the terminator do not.
  const std::string too_long = "*OPC?" + std::string(250, ' ') + "\n";
  {
    Harness sut;
    EXPECT_EQ(sut.Send(fits), "1\r\n");
    EXPECT_TRUE(sut.Errors().empty());
  }
  {
    Harness sut;
    EXPECT_EQ(sut.Send(too_long), "");
    EXPECT_EQ(sut.Errors(), (std::vector<QueuedError>{Plain(-363)}));
  }
  {
    // The same limit when the bytes arrive one by one.
    Harness sut;
    EXPECT_EQ(sut.SendSplit(too_long, 1), "");
    EXPECT_EQ(sut.Codes(), (std::vector<int>{-363}));
    EXPECT_EQ(sut.SendSplit(fits, 7), "1\r\n");
  }
}

TEST(MessageTest, OverrunDiscardsTheWholeOverlongMessageOnly) {
  Harness sut;
  SCPI_RegSet(&sut.context, SCPI_REG_ESE, ESR_DER);
  EXPECT_EQ(sut.Send(std::string(300, 'A')), "");
  // The tail of the over-long message is dropped up to its terminator and
  // is not parsed as a message of its own; the next message runs.
  EXPECT_EQ(sut.Send("AAAA;*OPC?\n*OPC?\n"), "1\r\n");
  EXPECT_EQ(SCPI_RegGet(&sut.context, SCPI_REG_ESR), ESR_DER);
  EXPECT_EQ(SCPI_RegGet(&sut.context, SCPI_REG_STB) & (STB_ESB | STB_QMA), STB_ESB | STB_QMA);
  EXPECT_EQ(sut.Errors(), (std::vector<QueuedError>{{-363, "", false}}));
}

TEST(MessageTest, CompleteMessagesThatFitAreNotLostWithAnOverrun) {
  Harness sut(64, 17);
  std::string many;
  for (int i = 0; i < 11; ++i) many += "*OPC?\n";
  std::string expected;
  for (int i = 0; i < 11; ++i) expected += "1\r\n";
  EXPECT_EQ(sut.Send(many), expected);
  EXPECT_TRUE(sut.Errors().empty());
  // Complete messages before an over-long one still run.
  EXPECT_EQ(sut.Send("*OPC?\n" + std::string(100, 'B') + "\n*IDN?\n"), "1\r\nMA,IN,0,VER\r\n");
  EXPECT_EQ(sut.Codes(), (std::vector<int>{-363}));
}

TEST(MessageTest, TimeOutEndsTheDiscardAfterAnOverrun) {
  Harness sut;
  sut.Send(std::string(400, 'A'));
  EXPECT_EQ(sut.Flush(), "");
  EXPECT_EQ(sut.Send("*OPC?\n"), "1\r\n");
  EXPECT_EQ(sut.Codes(), (std::vector<int>{-363}));
}

TEST(MessageTest, InputReportsOverrunsAndFailedMessages) {
  Harness sut;
  EXPECT_TRUE(SCPI_Input(&sut.context, "*OPC?\n", 6));
  EXPECT_FALSE(SCPI_Input(&sut.context, "FOO\n", 4));
  const std::string big(300, 'x');
  EXPECT_FALSE(SCPI_Input(&sut.context, big.data(), big.size()));
}

TEST(MessageTest, HandlersCannotFeedTheirOwnContext) {
  Harness sut;
  bool nested = true;
  sut.on_command = [&](scpi_t* context) {
    nested = SCPI_Input(context, "*OPC?\n", 6);
    return SCPI_RES_OK;
  };
  EXPECT_EQ(sut.Send("X\n"), "");
  EXPECT_FALSE(nested);
}

}  // namespace

namespace {

size_t CollectOutput(scpi_t* context, const char* data, size_t length) {
  static_cast<std::string*>(context->user_context)->append(data, length);
  return length;
}

scpi_result_t AnswerOne(scpi_t* context) {
  SCPI_ResultInt32(context, 1);
  return SCPI_RES_OK;
}

TEST(MessageTest, HeadersLongerThanThePathStoreStaySafe) {
  const std::string a(150, 'A');
  const std::string b(150, 'B');
  const std::string c(120, 'C');
  const std::string long_pattern = a + ":" + b + ":" + c + "?";
  const std::string short_pattern = c + "?";
  const scpi_command_t commands[] = {
      {long_pattern.c_str(), AnswerOne, 0}, {short_pattern.c_str(), AnswerOne, 0}, SCPI_CMD_LIST_END};
  const scpi_interface_t interface = {nullptr, CollectOutput, nullptr, nullptr, nullptr};
  std::vector<char> buffer(1024);
  std::vector<scpi_error_t> queue(4);
  std::string output;
  scpi_t context;
  SCPI_Init(&context, commands, &interface, nullptr, "A", "B", "C", "D", buffer.data(), buffer.size(), queue.data(), 4);
  context.user_context = &output;
  // The path of the first unit is too long to keep, so the second header is
  // taken from the root.
  const std::string message = long_pattern + ";" + c + "?\n";
  SCPI_Input(&context, message.data(), message.size());
  EXPECT_EQ(output, "1;1\r\n");
  EXPECT_EQ(SCPI_ErrorCount(&context), 0);
}

}  // namespace
