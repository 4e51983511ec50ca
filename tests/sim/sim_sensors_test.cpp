// The simulated sensors' protocols, byte for byte and message for message,
// without any terminal in between.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "sensor_float.h"
#include "sensor_word.h"
#include "serial_sensor.h"
#include "usb_sensor.h"

namespace {

using namespace std::string_literals;

float wordValue(const std::string& bytes, std::size_t at = 0) {
  std::uint32_t word = 0;
  for (std::size_t i = 0; i < 4; ++i) word = (word << 8) | static_cast<unsigned char>(bytes.at(at + i));
  return floatTalvekToIeee(word);
}

// The simulator's own float encoding against words worked out by hand:
// M * 2^(E - 23) with a signed 8-bit E and a signed 24-bit M.
TEST(SimSerialSensor, EncodesFixedWords) {
  struct Case {
    float value;
    std::uint32_t word;
  };
  const Case cases[] = {
      {0.0F, 0x00000000U},
      {1.0F, 0x01400000U},       // 0x400000 * 2^(1 - 23)
      {-1.0F, 0x01C00000U},      // the mantissa's two's complement
      {-0.5F, 0x00C00000U},
      {25.0F, 0x05640000U},
      {199.99F, 0x0863FEB8U},
      {0.001F, 0xF7418937U},     // exponent -9
      {1e38F, 0x7F4B3B4CU},
      {3e-39F, 0x81415590U},     // below the smallest normal single
      {std::numeric_limits<float>::infinity(), 0x7F7FFFFFU},
      {-std::numeric_limits<float>::infinity(), 0x7F800001U},
      {std::numeric_limits<float>::quiet_NaN(), 0x00800000U},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sim::encodeSensorWord(c.value), c.word) << c.value;
  }
}

TEST(SimSerialSensor, IdentityLayout) {
  SerialSensor sut("C604");
  sut.maxPower = 1000.0F;
  sut.minPower = 0.5F;
  const std::string id = sut.identity();
  ASSERT_EQ(id.size(), 40U);
  EXPECT_EQ(id.substr(0, 8), "C604\xFF\xFF\xFF\xFF"s) << "model padded with 0xFF";
  EXPECT_EQ(id.substr(8, 5), "V2.10");
  EXPECT_EQ(id.substr(16, 16), "F R H T S I Z   ");
  EXPECT_EQ(wordValue(id, 32), 1000.0F) << "maximum power, not squared";
  EXPECT_EQ(wordValue(id, 36), 0.5F);
  // Sensor float words as the meter's own conversion defines them.
  EXPECT_EQ(SerialSensor_word(1.0F), "\x01\x40\x00\x00"s);
  EXPECT_EQ(SerialSensor_word(100.0F), "\x07\x64\x00\x00"s);
}

TEST(SimSerialSensor, AnswersEachCommandByteForByte) {
  SerialSensor sut("C604", "12-345678");
  sut.readings = {100.0F, 0.25F, 433.92F, 31.5F};
  struct Case {
    std::string sent;
    std::string expected;  // empty: checked as a reading below
  };
  const Case cases[] = {
      {"S", "S"},
      {"Z\x04\x30"s, "1\0"s},
      {"Z\x04\x32"s, "-\0"s},
      {"Z\x04\x38"s, "8\0"s},
      {"Z\x04\x39"s, "\xFF\0"s},  // beyond the serial number: erased memory
      {"?x", ""},                // unknown bytes are dropped
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sent);
    std::string input = c.sent;
    EXPECT_EQ(sut.respond(input), c.expected);
    EXPECT_TRUE(input.empty());
  }
  std::string input = "FRHT";
  const std::string reply = sut.respond(input);
  ASSERT_EQ(reply.size(), 16U);
  EXPECT_FLOAT_EQ(wordValue(reply, 0), 10.0F) << "square root of the forward power";
  EXPECT_FLOAT_EQ(wordValue(reply, 4), 0.5F);
  EXPECT_NEAR(wordValue(reply, 8), 433.92F, 1e-4F);
  EXPECT_FLOAT_EQ(wordValue(reply, 12), 31.5F);
}

TEST(SimSerialSensor, MemoryReadWaitsForItsThirdByte) {
  SerialSensor sut;
  std::string input = "SZ\x04"s;
  EXPECT_EQ(sut.respond(input), "S");
  EXPECT_EQ(input, "Z\x04"s);
  input += '\x31';
  EXPECT_EQ(sut.respond(input), "0\0"s);
}

TEST(SimSerialSensor, Faults) {
  SerialSensor sut;
  std::string input = "SF";
  sut.fault = SerialFault::shortReply;
  EXPECT_EQ(sut.respond(input).size(), 3U) << "S loses its byte, F one of four";
  input = "SFI";
  sut.fault = SerialFault::silent;
  EXPECT_EQ(sut.respond(input), "");
  EXPECT_TRUE(input.empty());
}

TEST(SimUsbSensor, SettingsReadBackAndRangeErrors) {
  UsbSensor sut("P804");
  EXPECT_EQ(sut.handle("SENS:FREQ 433.5"), std::nullopt);
  EXPECT_EQ(sut.handle("SENS:FREQ?"), "433.5\n");
  EXPECT_EQ(sut.handle("TRIG:DEL 5e-08"), std::nullopt);
  EXPECT_EQ(sut.handle("TRIG:DEL?"), "5e-08\n");
  EXPECT_EQ(sut.handle("TRIG:SLOP NEG"), std::nullopt);
  EXPECT_EQ(sut.handle("TRIG:SLOP?"), "NEG\n");
  EXPECT_EQ(sut.errorCount(), 0U);

  struct Case {
    const char* message;
    int code;
  };
  const Case cases[] = {
      {"SENS:FREQ 99999", -222}, {"SENS:PER 2", -222},     {"CALC:STAT1:BEG:DEL -1.5", -222},
      {"SENS:FREQ:AUTO 2", -222}, {"SENS:FREQ abc", -104}, {"TRIG:SOUR BUS", -224},
      {"NO:SUCH", -113},          {"*STB? 1", -108},       {"PNP:FILE:BLOC:NUMB 99", -222},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(sut.handle(c.message), std::nullopt);
    EXPECT_EQ(sut.handle("SYST:ERR:COUN?"), "1\n");
    const auto entry = sut.handle("SYST:ERR?");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->substr(0, entry->find(',')), std::to_string(c.code));
  }
  EXPECT_EQ(sut.handle("SENS:FREQ?"), "433.5\n") << "a rejected value changes nothing";
  EXPECT_EQ(sut.handle("SYST:ERR?"), "0,\"No error\"\n");
}

TEST(SimUsbSensor, StatusByteErrorQueueAndReset) {
  UsbSensor sut;
  EXPECT_EQ(sut.handle("*STB?"), "16\n") << "never 0, or the meter would wait for ever";
  sut.pushError(-100, "Command error");
  sut.readings.questionable = 0x200;
  EXPECT_EQ(sut.handle("*STB?"), "28\n");
  EXPECT_EQ(sut.handle("STAT:QUES:COND?"), "512\n");
  sut.handle("SENS:FREQ 100");
  sut.handle("*RST");
  EXPECT_EQ(sut.handle("SENS:FREQ?"), "1000\n");
  EXPECT_EQ(sut.handle("SYST:ERR:COUN?"), "1\n") << "*RST keeps the error queue";
  sut.handle("*CLS");
  EXPECT_EQ(sut.handle("SYST:ERR:COUN?"), "0\n");
  for (int i = 0; i < 12; ++i) sut.pushError(-200 - i);
  EXPECT_EQ(sut.errorCount(), 10U);
  for (int i = 0; i < 9; ++i) sut.handle("SYST:ERR?");
  EXPECT_EQ(sut.handle("SYST:ERR?"), "-350,\"Queue overflow\"\n");
}

TEST(SimUsbSensor, ModelsDifferInCapabilities) {
  UsbSensor p803("P803");
  UsbSensor p804("P804");
  EXPECT_FALSE(p803.extended());
  EXPECT_TRUE(p804.extended());
  for (const char* message : {"SENS:PER 0.01", "TRIG:LEV:AUTO 0", "CALC:STAT1:ENAB 1", "SENS:SWE:TIME:AUTO 0"}) {
    SCOPED_TRACE(message);
    p803.handle(message);
    EXPECT_EQ(p803.handle("SYST:ERR?").value_or("").substr(0, 4), "-113");
    p804.handle(message);
    EXPECT_EQ(p804.handle("SYST:ERR:COUN?"), "0\n");
  }
  EXPECT_EQ(p803.handle("SENS:PER?"), std::nullopt) << "an unknown query has no reply";
  EXPECT_EQ(p803.handle("FETC:GATE:MEAN?"), "0.5\n");
  EXPECT_EQ(p803.handle("FETC:STAT1:MEAN?"), std::nullopt);
}

TEST(SimUsbSensor, FetchesInTheirWireUnits) {
  UsbSensor sut;
  sut.readings.forward = 12.5F;
  sut.readings.frequency = 433.92e6F;
  sut.readings.period = 1e-3F;
  sut.readings.width = 2.5e-5F;
  sut.readings.states[2] = {1.0F, 2.0F, 0.5F};
  EXPECT_EQ(sut.handle("FETC:FORW:AVER?"), "12.5\n");
  EXPECT_EQ(sut.handle("FETC:FREQ?"), UsbSensor_number(433.92e6F / 1e6F) + "\n") << "MHz";
  EXPECT_EQ(sut.handle("FETC:PER?"), UsbSensor_number(1e-3F * 1e6F) + "\n") << "microseconds";
  EXPECT_EQ(sut.handle("FETC:WIDT?"), UsbSensor_number(2.5e-5F * 1e6F) + "\n");
  EXPECT_EQ(sut.handle("FETC:STAT3:MAX?"), "2\n");
  EXPECT_EQ(sut.handle("fetc:stat3:min?"), "0.5\n") << "headers in any case";
}

TEST(SimUsbSensor, PlugAndPlayFileInBlocks) {
  UsbSensor sut;
  const std::string& file = sut.pnpFile();
  ASSERT_GT(file.size(), 1024U) << "spans several blocks";
  EXPECT_NE(file.find("Configuration.MaximumPulsePeriod"), std::string::npos);
  EXPECT_EQ(sut.handle("PNP:AVA?"), "1\n");
  EXPECT_EQ(sut.handle("PNP:FILE:SIZE?"), std::to_string(file.size()) + "\n");
  const int total = std::stoi(sut.handle("PNP:FILE:BLOC:TOT?").value());
  std::string joined;
  for (int n = 1; n <= total; ++n) {
    sut.handle("PNP:FILE:BLOC:NUMB " + std::to_string(n));
    const std::string block = sut.handle("PNP:FILE:BLOC:DATA?").value();
    ASSERT_EQ(block.substr(0, 2), "#3");
    const std::size_t length = std::stoul(block.substr(2, 3));
    ASSERT_EQ(block.size(), 5 + length + 1);
    EXPECT_EQ(block.back(), '\n');
    joined += block.substr(5, length);
  }
  EXPECT_EQ(joined, file);
}

TEST(SimUsbSensor, Faults) {
  UsbSensor sut;
  sut.fault = UsbFault::shortReply;
  EXPECT_EQ(sut.handle("*OPC?"), "1") << "the line feed is lost";
  EXPECT_EQ(sut.handle("SYST:IDEN:MOD?"), "P8");
  sut.fault = UsbFault::opcNever;
  EXPECT_EQ(sut.handle("*OPC?"), "0\n");
  sut.fault = UsbFault::silent;
  EXPECT_EQ(sut.handle("*OPC?"), std::nullopt);
  EXPECT_EQ(sut.received("*OPC?"), 3);
}

TEST(SimUsbSensor, CountsABoundedNumberOfHeaders) {
  UsbSensor sut;
  EXPECT_EQ(sut.handle("*OPC?"), "1\n");
  for (int i = 0; i < 10000; ++i) sut.handle("JUNK" + std::to_string(i));
  EXPECT_EQ(sut.received("JUNK0"), 1);
  EXPECT_EQ(sut.received("JUNK9999"), 0) << "not counted once the table is full";
  EXPECT_EQ(sut.handle("*OPC?"), "1\n");
  EXPECT_EQ(sut.received("*OPC?"), 2) << "headers already counted still are";
}

}  // namespace
