// Command pattern matching: long, short and mixed forms, optional parts,
// numeric suffixes, queries and common commands.
#include <gtest/gtest.h>
#include <scpi/scpi.h>

#include "harness.h"

namespace {

struct MatchCase {
  const char* pattern;
  const char* header;
  bool matches;
};

TEST(PatternTest, MatchesTheKeywordForms) {
  const MatchCase cases[] = {
      // long, short, any case; nothing in between
      {"MEASure?", "MEAS?", true},
      {"MEASure?", "measure?", true},
      {"MEASure?", "MeAsUrE?", true},
      {"MEASure?", "MEASU?", false},
      {"MEASure?", "MEA?", false},
      // query and command rows are distinct
      {"MEASure?", "MEAS", false},
      {"*ESE", "*ESE?", false},
      {"*ESE?", "*ese?", true},
      // common commands only with their star, never behind a colon
      {"*IDN?", "IDN?", false},
      {"*IDN?", "*idn", false},
      // all upper case: only the exact text
      {"TREEA?", "TREEA?", true},
      {"TREEA?", "TREE?", false},
      // digits after lower case belong to the long form only
      {"CALCulate:STATe1:ENABle", "CALC:STATE1:ENAB", true},
      {"CALCulate:STATe1:ENABle", "CALC:STAT:ENAB", true},
      {"CALCulate:STATe1:ENABle", "CALC:STAT1:ENAB", false},
      {"CALCulate:STATe1:ENABle", "CALC:STATE:ENAB", false},
      {"CALCulate:STAT1:ENABle", "CALC:STAT1:ENAB", true},
      {"CALCulate:STAT1:ENABle", "CALC:STAT:ENAB", false},
      // mixed case in a keyword: "Delay" has the short form D
      {"CALCulate:STATe1:BEGin[:Delay]", "CALC:STAT:BEG:D", true},
      {"CALCulate:STATe1:BEGin[:Delay]", "CALC:STAT:BEG:DEL", false},
      {"CALCulate:STATe1:BEGin[:Delay]", "CALC:STAT:BEG:DELAY", true},
      {"CALCulate:GATE:BEGin[:DELay]", "CALC:GATE:BEG:DEL", true},
      {"CALCulate:GATE:BEGin[:DELay]", "CALC:GATE:BEG", true},
      // optional parts, present and absent, in fixed order
      {"MEASure[:SCALar][:POWer]:FREQuency?", "meas:freq?", true},
      {"MEASure[:SCALar][:POWer]:FREQuency?", "MEAS:SCAL:POW:FREQ?", true},
      {"MEASure[:SCALar][:POWer]:FREQuency?", "MEASURE:SCALAR:POWER:FREQUENCY?", true},
      {"MEASure[:SCALar][:POWer]:FREQuency?", ":MEAS:POW:FREQ?", true},
      {"MEASure[:SCALar][:POWer]:FREQuency?", "meas:scal:freq?", true},
      {"MEASure[:SCALar][:POWer]:FREQuency?", "MEAS:POW:SCAL:FREQ?", false},
      {"MEASure[:SCALar][:POWer]:FREQuency?", "MEAS?", false},
      {"MEASure[:SCALar][:POWer][:FORWard]:AVERage?", "MEAS:POW:AVER?", true},
      {"MEASure[:SCALar][:POWer][:FORWard]:AVERage?", "MEAS:FORW:AVER?", true},
      {"MEASure[:SCALar][:POWer][:FORWard]:AVERage?", "MEAS:REFL:AVER?", false},
      {"MEASure[:SCALar][:POWer]:STATe2[:MEAN]?", "MEAS:STAT:MEAN?", true},
      {"MEASure[:SCALar][:POWer]:STAT2[:MEAN]?", "MEAS:POW:STAT2?", true},
      {"SYSTem:ERRor[:NEXT]?", "SYST:ERR?", true},
      {"SYSTem:ERRor[:NEXT]?", "SYST:ERR:NEXT?", true},
      {"SYSTem:ERRor[:NEXT]?", "SYST:ERR:COUN?", false},
      {"SYSTem:IDENtity[:R9050][:MODel]?", "SYST:IDEN:R9050?", true},
      {"SYSTem:IDENtity[:R9050][:MODel]?", "SYST:IDEN:MOD?", true},
      {"SYSTem:IDENtity[:R9050][:MODel]?", "SYST:IDEN:R905?", false},
      {"[:SOURce]:FREQuency", "FREQ", true},
      {"[:SOURce]:FREQuency", "SOUR:FREQ", true},
      // wrong headers
      {"SYSTem:VERSion?", "SYST:VERS:?", false},
      {"SYSTem:VERSion?", "SYST::VERS?", false},
      {"SYSTem:VERSion?", "SYST:VER?", false},
      {"SYSTem:VERSion?", "SYSTEM:VERSION:EXTRA?", false},
      // numeric suffixes
      {"OUTPut#", "OUTP", true},
      {"OUTPut#", "OUTP2", true},
      {"OUTPut#", "OUTPUT12", true},
      {"OUTPut#", "OUTP01", true},
      {"OUTPut#", "OUTPu1", false},
      {"OUTPut#", "OUTP-1", false},
      {"OUTPut#", "OUTP1234567890", false},
  };
  for (const MatchCase& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " <- " + c.header);
    EXPECT_EQ(SCPI_Match(c.pattern, c.header), c.matches);
  }
}

TEST(PatternTest, MalformedPatternsNeverMatch) {
  EXPECT_FALSE(SCPI_Match("A[:B[:C]]", "A"));
  EXPECT_FALSE(SCPI_Match("A[:B", "A"));
  EXPECT_FALSE(SCPI_Match("A]:B", "A:B"));
  EXPECT_FALSE(SCPI_Match("A?:B", "A?"));
  EXPECT_FALSE(SCPI_Match("", ""));
}

scpi_result_t Ok(scpi_t* /*context*/) { return SCPI_RES_OK; }

TEST(PatternTest, InitReportsMalformedRowsAndKeepsTheOthers) {
  const scpi_command_t good[] = {{"A:B", Ok, 0}, SCPI_CMD_LIST_END};
  const scpi_command_t bad[] = {{"A[:B", Ok, 0}, {"A:B:C:D:E:F:G:H:I:J:K:L:M:N:O:P:Q", Ok, 0}, {"C", Ok, 0},
                                SCPI_CMD_LIST_END};
  const scpi_interface_t interface = {nullptr, [](scpi_t*, const char*, size_t n) { return n; }, nullptr, nullptr, nullptr};
  char buffer[64];
  scpi_error_t queue[2];
  scpi_t context;
  EXPECT_TRUE(SCPI_Init(&context, good, &interface, nullptr, "", "", "", "", buffer, sizeof buffer, queue, 2));
  EXPECT_FALSE(SCPI_Init(&context, bad, &interface, nullptr, "", "", "", "", buffer, sizeof buffer, queue, 2));
  SCPI_Input(&context, "C\nA\n", 4);
  EXPECT_EQ(SCPI_ErrorCount(&context), 1);  // only the A: the C row works
}

TEST(PatternTest, SuffixNumbersAreReportedPerHashKeyword) {
  struct Case {
    const char* header;
    std::vector<int32_t> numbers;
  } cases[] = {
      {"outp3:mod10:fm", {3, 10, -1}},
      {"outp30:modulation:fm5", {30, -1, 5}},
      {"OUTPUT:MOD:FM", {-1, -1, -1}},
  };
  scpi_test::Harness sut;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    std::vector<int32_t> seen;
    sut.on_command = [&](scpi_t* context) {
      seen.assign(3, 0);
      EXPECT_TRUE(SCPI_CommandNumbers(context, seen.data(), seen.size(), -1));
      EXPECT_EQ(SCPI_CmdTag(context), 14);
      return SCPI_RES_OK;
    };
    sut.Send(std::string(c.header) + "\n");
    EXPECT_EQ(seen, c.numbers);
    EXPECT_TRUE(sut.Errors().empty());
  }
}

TEST(PatternTest, FirstMatchInTableOrderWinsAndTagsTellRowsApart) {
  scpi_test::Harness sut;
  std::vector<int32_t> tags;
  std::vector<bool> is_max;
  sut.on_command = [&](scpi_t* context) {
    tags.push_back(SCPI_CmdTag(context));
    is_max.push_back(SCPI_IsCmd(context, "MEAS:GATE:MAX?"));
    return SCPI_RES_OK;
  };
  sut.Send("MEAS:GATE:MAX?\nMEAS:GATE?\nMEAS:SCAL:POW:GATE:MEAN?\nMEAS:GATE:MIN?\n");
  EXPECT_EQ(tags, (std::vector<int32_t>{3, 4, 4, 5}));
  EXPECT_EQ(is_max, (std::vector<bool>{true, false, false, false}));
}

}  // namespace
