// Parameter readers: numbers with units and special words, integers,
// booleans, choices, strings and raw text, mandatory and optional forms.
#include <gtest/gtest.h>
#include <scpi/scpi.h>

#include <clocale>
#include <cmath>
#include <string>
#include <vector>

#include "harness.h"

namespace {

using scpi_test::Harness;

// Runs "X <parameters>" with `read` as the handler and returns the codes queued.
template <typename Read>
std::vector<int> RunX(Harness& sut, const std::string& parameters, Read read) {
  sut.on_command = [&](scpi_t* context) {
    read(context);
    return SCPI_RES_OK;
  };
  sut.Send("X " + parameters + "\n");
  return sut.Codes();
}

struct NumberCase {
  const char* text;
  double value;
  scpi_unit_t unit;
  int32_t tag;  // SCPI_NUM_NUMBER for values
  int8_t base;
  int error;    // 0 when the read succeeds
};

TEST(ParamTest, NumbersWithUnitsAndSpecialWords) {
  const NumberCase cases[] = {
      {"10", 10, SCPI_UNIT_NONE, SCPI_NUM_NUMBER, 10, 0},
      {"-1.5e3", -1500, SCPI_UNIT_NONE, SCPI_NUM_NUMBER, 10, 0},
      {".5", 0.5, SCPI_UNIT_NONE, SCPI_NUM_NUMBER, 10, 0},
      {"5.", 5, SCPI_UNIT_NONE, SCPI_NUM_NUMBER, 10, 0},
      {"+7", 7, SCPI_UNIT_NONE, SCPI_NUM_NUMBER, 10, 0},
      {"1E+3", 1000, SCPI_UNIT_NONE, SCPI_NUM_NUMBER, 10, 0},
      {"1.5 E 3", 1500, SCPI_UNIT_NONE, SCPI_NUM_NUMBER, 10, 0},
      {"1e-400", 0, SCPI_UNIT_NONE, SCPI_NUM_NUMBER, 10, 0},
      {"9.91E37", 9.91e37, SCPI_UNIT_NONE, SCPI_NUM_NUMBER, 10, 0},
      {"#HFF", 255, SCPI_UNIT_NONE, SCPI_NUM_NUMBER, 16, 0},
      {"#q17", 15, SCPI_UNIT_NONE, SCPI_NUM_NUMBER, 8, 0},
      {"#B101", 5, SCPI_UNIT_NONE, SCPI_NUM_NUMBER, 2, 0},
      {"10 mV", 0.01, SCPI_UNIT_VOLT, SCPI_NUM_NUMBER, 10, 0},
      {"10mV", 0.01, SCPI_UNIT_VOLT, SCPI_NUM_NUMBER, 10, 0},
      {"1.2e-1V", 0.12, SCPI_UNIT_VOLT, SCPI_NUM_NUMBER, 10, 0},
      {"100 OHM", 100, SCPI_UNIT_OHM, SCPI_NUM_NUMBER, 10, 0},
      {"1 MOHM", 1e6, SCPI_UNIT_OHM, SCPI_NUM_NUMBER, 10, 0},
      {"2.4 GHz", 2.4e9, SCPI_UNIT_HERTZ, SCPI_NUM_NUMBER, 10, 0},
      {"2400 MHZ", 2.4e9, SCPI_UNIT_HERTZ, SCPI_NUM_NUMBER, 10, 0},
      {"10 us", 1e-5, SCPI_UNIT_SECOND, SCPI_NUM_NUMBER, 10, 0},
      {"1E3MS", 1, SCPI_UNIT_SECOND, SCPI_NUM_NUMBER, 10, 0},
      {"1 MIN", 60, SCPI_UNIT_SECOND, SCPI_NUM_NUMBER, 10, 0},
      {"5 PCT", 0.05, SCPI_UNIT_UNITLESS, SCPI_NUM_NUMBER, 10, 0},
      {"-30 DBM", -30, SCPI_UNIT_DBM, SCPI_NUM_NUMBER, 10, 0},
      {"2 W", 2, SCPI_UNIT_WATT, SCPI_NUM_NUMBER, 10, 0},
      {"3 MA", 0.003, SCPI_UNIT_AMPER, SCPI_NUM_NUMBER, 10, 0},
      {"3 MAJ", 3e6, SCPI_UNIT_JOULE, SCPI_NUM_NUMBER, 10, 0},
      {"1e", 1, SCPI_UNIT_NONE, SCPI_NUM_NUMBER, 10, -131},  // suffix E, not a unit
      {"10 mW", 0, SCPI_UNIT_NONE, SCPI_NUM_NUMBER, 10, -131},
      {"100 xyz", 0, SCPI_UNIT_NONE, SCPI_NUM_NUMBER, 10, -131},
      {"MIN", 0, SCPI_UNIT_NONE, SCPI_NUM_MIN, 10, 0},
      {"minimum", 0, SCPI_UNIT_NONE, SCPI_NUM_MIN, 10, 0},
      {"MAX", 0, SCPI_UNIT_NONE, SCPI_NUM_MAX, 10, 0},
      {"def", 0, SCPI_UNIT_NONE, SCPI_NUM_DEF, 10, 0},
      {"INF", 0, SCPI_UNIT_NONE, SCPI_NUM_INF, 10, 0},
      {"INFINITY", 0, SCPI_UNIT_NONE, SCPI_NUM_INF, 10, 0},
      {"NINF", 0, SCPI_UNIT_NONE, SCPI_NUM_NINF, 10, 0},
      {"NAN", 0, SCPI_UNIT_NONE, SCPI_NUM_NAN, 10, 0},
      {"AUTO", 0, SCPI_UNIT_NONE, SCPI_NUM_AUTO, 10, 0},
      {"UP", 0, SCPI_UNIT_NONE, SCPI_NUM_UP, 10, 0},
      {"DOWN", 0, SCPI_UNIT_NONE, SCPI_NUM_DOWN, 10, 0},
      {"MINI", 0, SCPI_UNIT_NONE, SCPI_NUM_NUMBER, 10, -224},
      {"Infinit", 0, SCPI_UNIT_NONE, SCPI_NUM_NUMBER, 10, -224},
      {"defa", 0, SCPI_UNIT_NONE, SCPI_NUM_NUMBER, 10, -224},
      {"\"10\"", 0, SCPI_UNIT_NONE, SCPI_NUM_NUMBER, 10, -104},
      {"#13abc", 0, SCPI_UNIT_NONE, SCPI_NUM_NUMBER, 10, -104},
      {"(1,2)", 0, SCPI_UNIT_NONE, SCPI_NUM_NUMBER, 10, -104},
      {"1e400", 0, SCPI_UNIT_NONE, SCPI_NUM_NUMBER, 10, -222},
      {"-1e400", 0, SCPI_UNIT_NONE, SCPI_NUM_NUMBER, 10, -222},
  };
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(c.text);
    Harness sut;
    scpi_number_t number;
    number.value = -12345;
    bool ok = false;
    const std::vector<int> codes =
        RunX(sut, c.text, [&](scpi_t* context) { ok = SCPI_ParamNumber(context, scpi_special_numbers_def, &number, true); });
    if (c.error != 0) {
      EXPECT_FALSE(ok);
      EXPECT_EQ(codes, std::vector<int>{c.error});
      EXPECT_EQ(number.value, -12345);  // left alone on failure
      continue;
    }
    ASSERT_TRUE(ok);
    EXPECT_TRUE(codes.empty());
    EXPECT_EQ(number.special, c.tag != SCPI_NUM_NUMBER);
    EXPECT_EQ(number.tag, c.tag);
    EXPECT_EQ(number.unit, c.unit);
    EXPECT_EQ(number.base, c.base);
    if (!number.special) {
      EXPECT_NEAR(number.value, c.value, std::fabs(c.value) * 1e-12);
    }
  }
}

TEST(ParamTest, NumbersIgnoreTheLocale) {
  // A process that switched to a comma locale must still read "1.5".
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous != nullptr ? previous : "C";
  const bool switched = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  Harness sut;
  double value = 0;
  const std::vector<int> codes = RunX(sut, "1.5", [&](scpi_t* context) { SCPI_ParamDouble(context, &value, true); });
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_TRUE(codes.empty());
  EXPECT_EQ(value, 1.5);
  if (!switched) GTEST_LOG_(INFO) << "de_DE.UTF-8 not installed; checked in the C locale only";
}

struct IntegerCase {
  const char* text;
  int64_t value;
  int error;
};

TEST(ParamTest, IntegersAreWholeValuesOrErrors) {
  const IntegerCase cases[] = {
      {"12", 12, 0},
      {"-5", -5, 0},
      {"+0", 0, 0},
      {"1e3", 1000, 0},
      {"1.5e1", 15, 0},
      {"10.0", 10, 0},
      {"1.9", 0, -104},
      {"10.7", 0, -104},
      {"-10.7", 0, -104},
      {"2147483647", 2147483647, 0},
      {"-2147483648", -2147483648LL, 0},
      {"2147483648", 0, -222},
      {"99999999999", 0, -222},
      {"1e400", 0, -222},
      {"#H20", 32, 0},
      {"#H7FFFFFFF", 2147483647, 0},
      {"#HFFFFFFFF", 0, -222},
      {"10 V", 0, -138},
      {"ON", 0, -104},
      {"'1'", 0, -104},
  };
  for (const IntegerCase& c : cases) {
    SCOPED_TRACE(c.text);
    Harness sut;
    int32_t value = -77;
    bool ok = false;
    const std::vector<int> codes = RunX(sut, c.text, [&](scpi_t* context) { ok = SCPI_ParamInt32(context, &value, true); });
    EXPECT_EQ(ok, c.error == 0);
    EXPECT_EQ(codes, c.error == 0 ? std::vector<int>{} : std::vector<int>{c.error});
    EXPECT_EQ(value, c.error == 0 ? c.value : -77);
  }
}

TEST(ParamTest, WideAndUnsignedIntegersKeepTheirRanges) {
  Harness sut;
  int64_t wide = 0;
  uint32_t u32 = 0;
  uint64_t u64 = 0;
  EXPECT_TRUE(RunX(sut, "-9223372036854775808, 4294967295, 18446744073709551615", [&](scpi_t* context) {
                SCPI_ParamInt64(context, &wide, true);
                SCPI_ParamUInt32(context, &u32, true);
                SCPI_ParamUInt64(context, &u64, true);
              }).empty());
  EXPECT_EQ(wide, INT64_MIN);
  EXPECT_EQ(u32, 4294967295u);
  EXPECT_EQ(u64, UINT64_MAX);
  EXPECT_EQ(RunX(sut, "-1", [&](scpi_t* context) { SCPI_ParamUInt32(context, &u32, true); }), std::vector<int>{-222});
  EXPECT_EQ(RunX(sut, "18446744073709551616", [&](scpi_t* context) { SCPI_ParamUInt64(context, &u64, true); }),
            std::vector<int>{-222});
}

TEST(ParamTest, DoublesAndFloats) {
  struct Case {
    const char* text;
    double value;
    int error;
  } cases[] = {
      {"0.5", 0.5, 0}, {"-2.5E-3", -0.0025, 0}, {"#HFF", 255, 0}, {"1.5 E 3", 1500, 0},
      {"1 HZ", 0, -138}, {"MAX", 0, -104}, {"1e400", 0, -222},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Harness sut;
    double value = -1;
    const std::vector<int> codes = RunX(sut, c.text, [&](scpi_t* context) { SCPI_ParamDouble(context, &value, true); });
    EXPECT_EQ(codes, c.error == 0 ? std::vector<int>{} : std::vector<int>{c.error});
    if (c.error == 0) {
      EXPECT_DOUBLE_EQ(value, c.value);
    }
  }
  Harness sut;
  float f = 0;
  EXPECT_TRUE(RunX(sut, "0.25", [&](scpi_t* context) { SCPI_ParamFloat(context, &f, true); }).empty());
  EXPECT_EQ(f, 0.25f);
  EXPECT_EQ(RunX(sut, "1e39", [&](scpi_t* context) { SCPI_ParamFloat(context, &f, true); }), std::vector<int>{-222});
}

TEST(ParamTest, Booleans) {
  struct Case {
    const char* text;
    bool value;
    int error;
  } cases[] = {
      {"1", true, 0},   {"0", false, 0},   {"100", true, 0},  {"-1", true, 0},    {"0.4", false, 0},
      {"ON", true, 0},  {"off", false, 0}, {"On", true, 0},   {"YES", false, -224}, {"TRUE", false, -224},
      {"#H1", false, -104}, {"1 V", false, -104}, {"\"ON\"", false, -104},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Harness sut;
    bool value = !c.value;
    bool ok = false;
    const std::vector<int> codes = RunX(sut, c.text, [&](scpi_t* context) { ok = SCPI_ParamBool(context, &value, true); });
    EXPECT_EQ(ok, c.error == 0);
    EXPECT_EQ(codes, c.error == 0 ? std::vector<int>{} : std::vector<int>{c.error});
    if (c.error == 0) {
      EXPECT_EQ(value, c.value);
    }
  }
}

TEST(ParamTest, ChoicesFollowTheKeywordRules) {
  const scpi_choice_def_t sources[] = {{"INTernal", 1}, {"EXTernal", 2}, {"SOURce", 3}, SCPI_CHOICE_LIST_END};
  struct Case {
    const char* text;
    int32_t tag;
    int error;
  } cases[] = {
      {"INT", 1, 0}, {"internal", 1, 0}, {"EXT", 2, 0}, {"sour", 3, 0}, {"SOURCE", 3, 0},
      {"SOURC", 0, -224}, {"BUS", 0, -224}, {"1", 0, -104}, {"'INT'", 0, -104},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Harness sut;
    int32_t tag = 0;
    const std::vector<int> codes =
        RunX(sut, c.text, [&](scpi_t* context) { SCPI_ParamChoice(context, sources, &tag, true); });
    EXPECT_EQ(codes, c.error == 0 ? std::vector<int>{} : std::vector<int>{c.error});
    EXPECT_EQ(tag, c.tag);
  }
}

TEST(ParamTest, StringsAndRawText) {
  struct Case {
    const char* text;
    const char* copied;  // SCPI_ParamCopyText, or null for -104
    const char* raw;     // SCPI_ParamCharacters
  } cases[] = {
      {"\"abc\"", "abc", "abc"},
      {"'it''s'", "it's", "it''s"},
      {"\"say \"\"hi\"\"\"", "say \"hi\"", "say \"\"hi\"\""},
      {"\"a;b,c\"", "a;b,c", "a;b,c"},
      {"\"\"", "", ""},
      {"#H1F", nullptr, "1F"},
      {"12.5 mV", nullptr, "12.5 mV"},
      {"CH1", nullptr, "CH1"},
      {"#15hello", nullptr, "hello"},
      {"(@1!2:3)", nullptr, "(@1!2:3)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Harness sut;
    char buffer[32] = "untouched";
    size_t length = 99;
    std::string_view raw;
    const std::vector<int> copy_codes =
        RunX(sut, c.text, [&](scpi_t* context) { SCPI_ParamCopyText(context, buffer, sizeof buffer, &length, true); });
    const std::vector<int> raw_codes =
        RunX(sut, c.text, [&](scpi_t* context) { SCPI_ParamCharacters(context, &raw, true); });
    if (c.copied != nullptr) {
      EXPECT_TRUE(copy_codes.empty());
      EXPECT_STREQ(buffer, c.copied);
      EXPECT_EQ(length, std::string(c.copied).size());
    } else {
      EXPECT_EQ(copy_codes, std::vector<int>{-104});
      EXPECT_STREQ(buffer, "untouched");
    }
    EXPECT_TRUE(raw_codes.empty());
  }
  // Raw text checked separately: the view must be read while the unit runs.
  for (const auto& c : cases) {
    Harness sut;
    std::string raw;
    RunX(sut, c.text, [&](scpi_t* context) {
      std::string_view text;
      SCPI_ParamCharacters(context, &text, true);
      raw = text;
    });
    EXPECT_EQ(raw, c.raw) << c.text;
  }
}

TEST(ParamTest, CopiedTextIsCutToTheBufferAndSaysSo) {
  Harness sut;
  char buffer[4];
  size_t length = 0;
  bool truncated = false;
  EXPECT_TRUE(RunX(sut, "\"abcdef\"", [&](scpi_t* context) {
                SCPI_ParamCopyText(context, buffer, sizeof buffer, &length, true, &truncated);
              }).empty());
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(length, 3u);
  EXPECT_TRUE(truncated);
  char address[16];
  EXPECT_TRUE(RunX(sut, "'192.168.1.10'", [&](scpi_t* context) {
                SCPI_ParamString(context, address, sizeof address, &length, true, &truncated);
              }).empty());
  EXPECT_STREQ(address, "192.168.1.10");
  EXPECT_FALSE(truncated);
  EXPECT_TRUE(RunX(sut, "dhcp", [&](scpi_t* context) {
                SCPI_ParamString(context, address, sizeof address, &length, true, &truncated);
              }).empty());
  EXPECT_STREQ(address, "dhcp");
  EXPECT_EQ(RunX(sut, "12", [&](scpi_t* context) { SCPI_ParamString(context, address, sizeof address, &length, true); }),
            std::vector<int>{-104});
}

TEST(ParamTest, MissingOptionalAndExtraParameters) {
  Harness sut;
  // Optional and absent: false, nothing queued, the default stays.
  int32_t channel = 1;
  bool read = true;
  bool error = true;
  EXPECT_TRUE(RunX(sut, "", [&](scpi_t* context) {
                read = SCPI_ParamInt32(context, &channel, false);
                error = SCPI_ParamErrorOccurred(context);
              }).empty());
  EXPECT_FALSE(read);
  EXPECT_FALSE(error);
  EXPECT_EQ(channel, 1);
  // Optional and bad: the error is told apart.
  EXPECT_EQ(RunX(sut, "ON", [&](scpi_t* context) {
              read = SCPI_ParamInt32(context, &channel, false);
              error = SCPI_ParamErrorOccurred(context);
            }),
            std::vector<int>{-104});
  EXPECT_TRUE(error);
  // Mandatory and absent: -109, and the handler's failure adds no -200.
  sut.on_command = [&](scpi_t* context) {
    SCPI_ParamInt32(context, &channel, true);
    return SCPI_RES_ERR;
  };
  sut.Send("X\n");
  EXPECT_EQ(sut.Codes(), std::vector<int>{-109});
  // A second parameter nobody reads: -108 after the handler.
  EXPECT_EQ(RunX(sut, "1, 2", [&](scpi_t* context) { SCPI_ParamInt32(context, &channel, true); }), std::vector<int>{-108});
  // Parameters read one after the other, blanks around commas allowed.
  std::vector<int32_t> values;
  EXPECT_TRUE(RunX(sut, "1 ,2,  3", [&](scpi_t* context) {
                int32_t v = 0;
                while (SCPI_ParamInt32(context, &v, false)) values.push_back(v);
              }).empty());
  EXPECT_EQ(values, (std::vector<int32_t>{1, 2, 3}));
}

TEST(ParamTest, TextToTheEndOfTheUnitAndBlocks) {
  Harness sut;
  std::string rest;
  std::string block;
  RunX(sut, "0.5 , 2 ;*OPC", [&](scpi_t* context) {
    std::string_view text;
    SCPI_ParamTextToEnd(context, &text, true);
    rest = text;
    SCPI_Parameter(context, nullptr, false);
  });
  EXPECT_EQ(rest, "0.5 , 2");
  EXPECT_TRUE(RunX(sut, "#211X1234567\n89", [&](scpi_t* context) {
                std::string_view data;
                SCPI_ParamArbitraryBlock(context, &data, true);
                block = data;
              }).empty());
  EXPECT_EQ(block, "X1234567\n89");
  EXPECT_EQ(RunX(sut, "'x'", [&](scpi_t* context) { SCPI_ParamArbitraryBlock(context, nullptr, true); }),
            std::vector<int>{-104});
}

}  // namespace
