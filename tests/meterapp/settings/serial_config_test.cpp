#include "serial_config.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "device_fixtures.h"
#include "serial_port.h"

namespace {

using test_support::PseudoTerminal;
using test_support::ScratchRoot;

// What SerialConfig_File_Write puts into a settings file.
std::string writtenLines(int (*write)(FILE*)) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* stream = ::open_memstream(&buffer, &size);
  EXPECT_EQ(write(stream), 0);
  std::fclose(stream);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

std::string linesFor(const termios& config) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* stream = ::open_memstream(&buffer, &size);
  EXPECT_EQ(SerialConfig_File_WriteConfig(stream, &config), 0);
  std::fclose(stream);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

TEST(SerialConfigLabels, KnownAndUnknownValues) {
  EXPECT_STREQ(SerialConfig_SpeedToLabel(B300), "300");
  EXPECT_STREQ(SerialConfig_SpeedToLabel(B9600), "9600");
  EXPECT_STREQ(SerialConfig_SpeedToLabel(B115200), "2400");
  EXPECT_EQ(SerialConfig_LabelToSpeed("4800"), static_cast<speed_t>(B4800));
  EXPECT_EQ(SerialConfig_LabelToSpeed("115200"), static_cast<speed_t>(B2400));
  EXPECT_EQ(SerialConfig_LabelToSpeed("96000"), static_cast<speed_t>(B2400));  // no prefix matching
  EXPECT_EQ(SerialConfig_LabelToSpeed(""), static_cast<speed_t>(B2400));

  EXPECT_STREQ(SerialConfig_DataBitsToLabel(DATA_BITS_7), "7");
  EXPECT_STREQ(SerialConfig_DataBitsToLabel(5), "8");
  EXPECT_EQ(SerialConfig_LabelToDataBits("7"), DATA_BITS_7);
  EXPECT_EQ(SerialConfig_LabelToDataBits("6"), DATA_BITS_8);

  EXPECT_STREQ(SerialConfig_StopBitsToLabel(STOP_BITS_1), "1");
  EXPECT_STREQ(SerialConfig_StopBitsToLabel(-1), "2");
  EXPECT_EQ(SerialConfig_LabelToStopBits("1"), STOP_BITS_1);
  EXPECT_EQ(SerialConfig_LabelToStopBits("1.5"), STOP_BITS_2);

  EXPECT_STREQ(SerialConfig_ParityToLabel(PARITY_ODD), "ODD");
  EXPECT_STREQ(SerialConfig_ParityToLabel(3), "NONE");
  EXPECT_EQ(SerialConfig_LabelToParity("EVEN"), PARITY_EVEN);
  EXPECT_EQ(SerialConfig_LabelToParity("even"), PARITY_NONE);

  EXPECT_EQ(SerialConfig_LabelId("serialParity"), CONFIG_FILE_SERIAL_PARITY);
  EXPECT_EQ(SerialConfig_LabelId("serialSpeedX"), CONFIG_FILE_SERIAL_NONE);
}

TEST(SerialConfigTermios, EveryCombinationRoundTrips) {
  for (const auto& speed : speed_table) {
    for (std::int8_t data : {DATA_BITS_7, DATA_BITS_8}) {
      for (std::int8_t stop : {STOP_BITS_1, STOP_BITS_2}) {
        for (std::int8_t parity : {PARITY_NONE, PARITY_ODD, PARITY_EVEN}) {
          SCOPED_TRACE(std::string(speed.label) + " " + std::to_string(data) + std::to_string(stop) +
                       std::to_string(parity));
          termios t{};
          t.c_cflag = CS8 | PARENB | PARODD | CSTOPB | CREAD | CLOCAL;  // start from the opposite
          SerialConfig_TermiosPutSpeed(&t, speed.speed);
          SerialConfig_TermiosPutDataBits(&t, data);
          SerialConfig_TermiosPutStopBits(&t, stop);
          SerialConfig_TermiosPutParity(&t, parity);
          EXPECT_EQ(SerialConfig_TermiosGetSpeed(&t), speed.speed);
          EXPECT_EQ(SerialConfig_TermiosGetDataBits(&t), data);
          EXPECT_EQ(SerialConfig_TermiosGetStopBits(&t), stop);
          EXPECT_EQ(SerialConfig_TermiosGetParity(&t), parity);
          EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));  // others untouched
        }
      }
    }
  }
}

TEST(SerialConfigTermios, OddCodesAndEncodings) {
  termios t{};
  t.c_cflag = CS8 | PARENB | PARODD;
  SerialConfig_TermiosPutParity(&t, 7);  // unknown: ignored
  EXPECT_EQ(SerialConfig_TermiosGetParity(&t), PARITY_ODD);
  SerialConfig_TermiosPutParity(&t, PARITY_NONE);  // clears only the enable bit
  EXPECT_EQ(t.c_cflag & (PARENB | PARODD), static_cast<tcflag_t>(PARODD));
  EXPECT_EQ(SerialConfig_TermiosGetParity(&t), PARITY_NONE);

  SerialConfig_TermiosPutDataBits(&t, 9);  // unknown: 7 bits
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
  t.c_cflag = (t.c_cflag & ~CSIZE) | CS5;
  EXPECT_EQ(SerialConfig_TermiosGetDataBits(&t), DATA_BITS_7);

  SerialConfig_TermiosPutStopBits(&t, 4);  // anything but 2 stop bits clears CSTOPB
  EXPECT_EQ(SerialConfig_TermiosGetStopBits(&t), STOP_BITS_1);
}

TEST(SerialConfigFile, SevenBitsTwoStopBitsEvenParityLines) {
  termios t{};
  SerialConfig_TermiosPutSpeed(&t, B600);
  SerialConfig_TermiosPutDataBits(&t, DATA_BITS_7);
  SerialConfig_TermiosPutStopBits(&t, STOP_BITS_2);
  SerialConfig_TermiosPutParity(&t, PARITY_EVEN);
  EXPECT_EQ(linesFor(t), "serialSpeed 600\nserialDataBits 7\nserialStopBits 2\nserialParity EVEN\n");
}

class SerialConfigPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SerialConfig_File_Forget();
    pty.linkAs(root, "/dev/ttyS4");
    ASSERT_GE(SerialPort_Open(Platform_path("/dev/ttyS4").c_str()), 0);
  }
  void TearDown() override {
    SerialPort_Close();
    SerialConfig_File_Forget();
  }
  termios port() {
    termios t{};
    EXPECT_EQ(SerialPort_GetConfig(&t), 0);
    return t;
  }
  void setPort(speed_t speed, std::int8_t stop) {
    termios t = port();
    SerialConfig_TermiosPutSpeed(&t, speed);
    SerialConfig_TermiosPutStopBits(&t, stop);
    ASSERT_EQ(SerialPort_SetConfig(&t), 0);
  }

  ScratchRoot root;
  PseudoTerminal pty;
};

TEST_F(SerialConfigPortTest, FileLinesApplyToThePortAtOnce) {
  setPort(B9600, STOP_BITS_1);
  struct Case {
    const char* key;
    const char* rest;
    int result;
    speed_t speed;
    std::int8_t stop;
  } cases[] = {
      {"serialSpeed", "4800", 1, B4800, STOP_BITS_1},
      {"serialSpeed", "115200", 1, B2400, STOP_BITS_1},  // outside the table
      {"serialSpeed", "1200\r\n", 1, B1200, STOP_BITS_1},
      {"serialStopBits", "", 0, B1200, STOP_BITS_1},  // no value: ignored
      {"serialStopBits", " \r\n", 0, B1200, STOP_BITS_1},
      {"serialStopBits", "2 trailing words", 1, B1200, STOP_BITS_2},
      {"serialStopBits", "3", 1, B1200, STOP_BITS_2},
      {"someOtherKey", "1", 1, B1200, STOP_BITS_2},  // not ours: no effect
      {"serialSpeed", "  300", 1, B300, STOP_BITS_2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " '" + c.rest + "'");
    EXPECT_EQ(SerialConfig_File_Read(c.key, c.rest), c.result);
    const termios t = port();
    EXPECT_EQ(SerialConfig_TermiosGetSpeed(&t), c.speed);
    EXPECT_EQ(SerialConfig_TermiosGetStopBits(&t), c.stop);
  }
}

TEST_F(SerialConfigPortTest, WrittenLinesMatchWhatThePortHolds) {
  // The line itself holds the speed and the stop bits; a pseudo-terminal
  // reports 8 bits without parity whatever it was given, so the port keeps
  // the data bits and parity it was given for it.
  for (const auto& speed : speed_table) {
    for (const char* data : {"7", "8"}) {
      for (const char* parity : {"NONE", "ODD", "EVEN"}) {
        SCOPED_TRACE(std::string(speed.label) + " " + data + " " + parity);
        ASSERT_EQ(SerialConfig_File_Read("serialSpeed", speed.label), 1);
        ASSERT_EQ(SerialConfig_File_Read("serialDataBits", data), 1);
        ASSERT_EQ(SerialConfig_File_Read("serialStopBits", "2"), 1);
        ASSERT_EQ(SerialConfig_File_Read("serialParity", parity), 1);
        termios reported{};
        const int other = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(other, 0);
        ASSERT_EQ(::tcgetattr(other, &reported), 0);
        ::close(other);
        EXPECT_EQ(SerialConfig_TermiosGetSpeed(&reported), speed.speed);
        EXPECT_NE(reported.c_cflag & CSTOPB, 0U);
        EXPECT_EQ(writtenLines(SerialConfig_File_Write), std::string("serialSpeed ") + speed.label +
                                                             "\nserialDataBits " + data +
                                                             "\nserialStopBits 2\nserialParity " + parity + "\n");
      }
    }
  }
}

TEST_F(SerialConfigPortTest, ClosedPortKeepsTheValuesReadFromTheFile) {
  SerialPort_Close();
  EXPECT_EQ(writtenLines(SerialConfig_File_Write), "");
  EXPECT_EQ(SerialConfig_File_Read("serialSpeed", "4800"), 1);
  EXPECT_EQ(SerialConfig_File_Read("serialParity", "bogus"), 1);
  EXPECT_EQ(writtenLines(SerialConfig_File_Write), "serialSpeed 4800\nserialParity NONE\n");
  SerialConfig_File_Forget();
  EXPECT_EQ(writtenLines(SerialConfig_File_Write), "");
}

}  // namespace
