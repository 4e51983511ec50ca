// The legacy protocol's pure parts: the RS-232 range table and its
// auto-ranging, the power answer format and the character grammar.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "autorange_rs232.h"
#include "device_fixtures.h"
#include "legacy_serial.h"

namespace {

TEST(AutoRangeRS232Test, RowsAndHysteresis) {
  struct Row {
    float power;
    int current;
    int expected;
  };
  const Row rows[] = {
      {12.5F, 0, 10},      {12.5F, 17, 10},    {1.9F, 9, 9},        {1.9F, 10, 10},  // between 1.8 and 1.999: stays
      {1.999F, 9, 10},     {1.8F, 10, 9},      {0.0F, 10, 0},       {3e8F, 0, 17},
      {3e8F, 17, 17},      {199.9F, 0, 12},    {199.89F, 0, 11},    {1e-12F, 5, 0},
      {0.0001234F, 0, 5},  {250.0F, 0, 12},    {1.0F, 25, 9},       {1.0F, -3, 9},
      // a reading that is not a number keeps the row; infinity is the top row
      {std::numeric_limits<float>::quiet_NaN(), 12, 12}, {std::numeric_limits<float>::infinity(), 30, 17},
      {-std::numeric_limits<float>::infinity(), 4, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.power) + " from " + std::to_string(row.current));
    EXPECT_EQ(AutoRangeRS232_findNewRange(row.power, row.current), row.expected);
  }
  EXPECT_STREQ(AutoRangeRS232_getRange(14).unitLabel.data(), "KW");
  EXPECT_STREQ(AutoRangeRS232_getRange(99).unitLabel.data(), "MW");
  EXPECT_STREQ(AutoRangeRS232_getRange(9).formatString.data(), "% 7.4f");
}

TEST(FormatPowerTest, AnswerTable) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Row {
    const char* name;
    float value;
    float maxPower;
    const char* tag;
    int range;
    bool autoscale;
    const char* text;
    int rangeAfter;
  };
  const Row rows[] = {
      {"12.5 W in row 10", 12.5F, 199990.0F, "FC", 10, false, "NFC  12.500   W\r\n", 10},
      {"12.5 W auto-ranged", 12.5F, 199990.0F, "FC", 0, true, "NFC  12.500   W\r\n", 10},
      {"0.1234 mW in row 6", 0.0001234F, 199990.0F, "FC", 6, false, "NFC   .1234  mW\r\n", 6},
      {"reflected 1.5 W", 1.5F, 199990.0F, "RC", 9, false, "NRC  1.5000   W\r\n", 9},
      {"250 W on a 200 W sensor", 250.0F, 200.0F, "FC", 0, true, "OFC  199.99  KW\r\n", 14},
      {"250 W fixed in row 10", 250.0F, 200.0F, "FC", 10, false, "OFC  199.99   W\r\n", 11},
      {"above the row", 5.0F, 199990.0F, "FC", 9, false, "OFC  199.99   W\r\n", 11},
      {"beyond every row", 3e8F, 1e9F, "FC", 17, false, "OFC  199.99  MW\r\n", 17},
      {"negative is no power", -0.5F, 199990.0F, "FC", 10, false, "NFC   0.000   W\r\n", 10},
      {"2-decimal row", 150.0F, 199990.0F, "FC", 11, false, "NFC  150.00   W\r\n", 11},
      {"kilowatts", 1500.0F, 199990.0F, "FC", 12, false, "NFC  1.5000  KW\r\n", 12},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::array<char, kPowerAnswerSize> out{};
    int range = row.range;
    const int n = format_power(out, row.value, 1e-9F, row.maxPower, row.tag, &range, row.autoscale);
    EXPECT_EQ(std::string(out.data()), row.text);
    EXPECT_EQ(n, static_cast<int>(std::string(row.text).size()));
    EXPECT_EQ(range, row.rangeAfter);
  }
  std::array<char, kPowerAnswerSize> out{};
  out[0] = 'x';
  int range = 10;
  EXPECT_EQ(format_power(out, nan, 0.0F, 200.0F, "FC", &range, true), -1);
  EXPECT_EQ(out[0], '\0');
}

// Feeds characters as the input thread does (repeating a retried one) and
// applies what completes; status requests are left out (they answer on the port).
std::string feed(const std::string& text) {
  std::string commands;
  for (const char c : text) {
    command_t command = COMMAND_NONE;
    do {
      command = serial_command_interpret_input(c);
    } while (command == COMMAND_RETRY);
    if (command != COMMAND_NONE) commands += std::to_string(command) + " ";
    serial_command_handle_command(command);
  }
  return commands;
}

TEST(LegacyGrammarTest, CommandsAndFlags) {
  struct Row {
    const char* input;
    const char* commands;
    bool validCommand;
    bool validParameter;
  };
  const Row rows[] = {
      {"ENT", "5 ", true, true},
      {"ent", "5 ", true, true},
      {"T1T5", "1 2 ", true, true},
      {"FCRC", "3 4 ", true, true},
      {"FQ", "", false, true},          // Q retried as a first character: still no command
      {"FRC", "4 ", false, true},       // the R after F starts the next command
      {"R18", "", true, false},
      {"R17R05R00", "23 11 6 ", true, true},
      {"RNNRYY", "24 25 ", true, true},
      {"ENQ", "", false, true},
      {"EENT", "5 ", false, true},
      {"INT", "30 ", true, true},
      {"IT1", "1 ", false, true},
      {"J0J1", "31 ", true, false},
      {"YTPYXF", "", true, true},
      {"YXPQ", "", true, false},
      {"U9", "", true, false},
      {"FC\r\n", "3 ", false, true},
      {"Q", "", false, true},
      {"T9", "", true, false},
  };
  // A scratch root: INT writes the settings file.
  test_support::ScratchRoot root;
  test_support::PseudoTerminal line;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.input);
    ASSERT_EQ(SerialCommand_Initialize(line.slavePath().c_str()), 0);  // everything to its initial value
    EXPECT_EQ(feed(row.input), row.commands);
    const SerialCommandStatus status = SerialCommand_getStatus();
    EXPECT_EQ(status.receive_state, RECEIVE_STATE_INITIAL);
    EXPECT_EQ(status.validCommand, row.validCommand);
    EXPECT_EQ(status.validParameter, row.validParameter);
  }
}

TEST(LegacyGrammarTest, HandlerState) {
  test_support::ScratchRoot root;
  test_support::PseudoTerminal line;
  ASSERT_EQ(SerialCommand_Initialize(line.slavePath().c_str()), 0);
  SerialCommandStatus s = SerialCommand_getStatus();
  EXPECT_TRUE(s.autoscale);
  EXPECT_EQ(s.trigger_mode, TRIGGER_MODE_1);
  EXPECT_EQ(s.measure_select, MEASURE_SELECT_FORWARD);

  feed("R05");
  s = SerialCommand_getStatus();
  EXPECT_EQ(s.forward_range, 5);
  EXPECT_EQ(s.reflected_range, 4);
  EXPECT_FALSE(s.autoscale);
  feed("R00");
  EXPECT_EQ(SerialCommand_getStatus().reflected_range, 0);
  feed("R18");  // refused: the range stays
  EXPECT_EQ(SerialCommand_getStatus().forward_range, 0);
  feed("RYYT5RC");
  s = SerialCommand_getStatus();
  EXPECT_TRUE(s.autoscale);
  EXPECT_EQ(s.trigger_mode, TRIGGER_MODE_5);
  EXPECT_EQ(serial_command_handler_get_triggerMode(), TRIGGER_MODE_5);
  EXPECT_EQ(s.measure_select, MEASURE_SELECT_REFLECTED);
  EXPECT_TRUE(s.measurement_selected);
  feed("T5");
  EXPECT_FALSE(SerialCommand_getStatus().measurement_selected);
  feed("J0");
  EXPECT_TRUE(SerialCommand_getStatus().selfTestStatus);
  SerialRange_Setrange(40);
  EXPECT_EQ(SerialCommand_getStatus().forward_range, 17);
  EXPECT_EQ(SerialCommand_getStatus().reflected_range, 16);
}

}  // namespace
