// What a power row, the match row and the sensor label show, without widgets.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <mutex>
#include <string>

#include "power_display.h"
#include "power_format.h"
#include "ranges.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kRated = 250.0F;  // a C60x rated for 250 W

TEST(PowerFormatRow, AutoRangedWattRows) {
  struct Case {
    float power;
    std::uint32_t startRow;
    const char* text;
    const char* units;
    std::uint32_t row;
  } const cases[] = {
      {1.5F, 5, " 1.5000", "W", 4},
      {0.0015F, 5, " 1.5000", "mW", 0},
      {1.9F, 5, "  1.900", "W", 5},
      {100.0F, 7, " 100.00", "W", 6},
      {280.0F, 6, "  280.0", "W", 7},
      {0.0F, 7, " 0.0000", "mW", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.power);
    const PowerRowView sut = PowerFormat_row(c.power, {true, c.startRow}, rfPower_W, kRated);
    EXPECT_STREQ(sut.text.data(), c.text);
    EXPECT_STREQ(sut.units.data(), c.units);
    EXPECT_EQ(sut.scale.scaleIndex, c.row);
    EXPECT_EQ(sut.scaleChanged, c.row != c.startRow);
    EXPECT_TRUE(sut.showScale);
    EXPECT_FALSE(sut.overRange);
  }
}

TEST(PowerFormatRow, FixedRangeKeepsItsRowAndNeverAsksForAStore) {
  const PowerRowView sut = PowerFormat_row(1.5F, {false, 5}, rfPower_W, kRated);
  EXPECT_STREQ(sut.text.data(), "  1.500");
  EXPECT_EQ(sut.scale.scaleIndex, 5U);
  EXPECT_FALSE(sut.scaleChanged);
}

TEST(PowerFormatRow, DbmTextsAreClampedAndHideTheRangeButtons) {
  struct Case {
    float power;
    const char* text;
  } const cases[] = {
      {1.0F, "  30.00"},
      {0.001F, "   0.00"},
      {0.0F, " -60.00"},      // 10 log10(0) would print -inf
      {-0.0005F, " -60.00"},  // and a negative reading nan
      {1.0e-12F, " -60.00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.power);
    const PowerRowView sut = PowerFormat_row(c.power, {true, 7}, rfPower_dBm, kRated);
    EXPECT_STREQ(sut.text.data(), c.text);
    EXPECT_STREQ(sut.units.data(), "dBm");
    EXPECT_FALSE(sut.showScale);
  }
  EXPECT_FLOAT_EQ(convertTodBm(1.0e7F), 60.0F);
  EXPECT_FLOAT_EQ(convertTodBm(kNaN), -60.0F);
}

TEST(PowerFormatRow, OverRangeShowsRangeInsteadOfTheNumber) {
  // Manual row 3 (full scale 1.999949 W, shown in mW) with 2.5 W.
  const PowerRowView manual = PowerFormat_row(2.5F, {false, 3}, rfPower_W, kRated);
  EXPECT_TRUE(manual.overRange);
  EXPECT_STREQ(manual.text.data(), "  Range");
  EXPECT_STREQ(manual.units.data(), "mW");
  EXPECT_TRUE(manual.showScale);
  // Above the sensor's rating x 1.2 in dBm mode.
  const PowerRowView dBm = PowerFormat_row(301.0F, {true, 7}, rfPower_dBm, kRated);
  EXPECT_TRUE(dBm.overRange);
  EXPECT_STREQ(dBm.units.data(), "dBm");
  EXPECT_FALSE(dBm.showScale);
  EXPECT_FALSE(PowerFormat_row(299.0F, {true, 7}, rfPower_W, kRated).overRange);
  EXPECT_FALSE(PowerFormat_isOverRange(kRated, kNaN, {true, 7}, rfPower_W));
}

TEST(PowerFormatRow, LimitIsTheSmallerOfRatingAndFullScale) {
  EXPECT_FLOAT_EQ(PowerFormat_maxPowerForRange(kRated, {true, 0}, rfPower_W), 300.0F);
  EXPECT_FLOAT_EQ(PowerFormat_maxPowerForRange(kRated, {false, 5}, rfPower_W), 19.999491F);
  EXPECT_FLOAT_EQ(PowerFormat_maxPowerForRange(kRated, {false, 5}, rfPower_dBm), 300.0F);
  // A rating not known yet counts as an unidentified sensor's.
  EXPECT_FLOAT_EQ(PowerFormat_maxPowerForRange(0.0F, {true, 0}, rfPower_dBm), kUnidentifiedMaxPower * 1.2F);
  EXPECT_FLOAT_EQ(PowerFormat_maxPowerForRange(kNaN, {true, 0}, rfPower_dBm), kUnidentifiedMaxPower * 1.2F);
  // A stored index past the table reads the top row's full scale, not past it.
  EXPECT_FLOAT_EQ(PowerFormat_maxPowerForRange(1.0e6F, {false, 99}, rfPower_W), 199994.9F);
}

TEST(PowerFormatMatch, FiguresForEveryType) {
  struct Case {
    float forward;
    float reflected;
    const char* vswr;
    const char* rl;
    const char* rho;
  } const cases[] = {
      {100.0F, 1.0F, "   1.22", " -20.00", "  0.100"},
      {100.0F, 0.0F, "   1.00", " -99.99", "  0.000"},    // perfect match
      {100.0F, 100.0F, " 199.00", "   0.00", "  1.000"},  // total reflection
      {0.0F, 0.0F, " 199.00", "   0.00", "  1.000"},
      {10.0F, 20.0F, " 199.00", "   0.00", "  1.000"},    // noise: R > F
      {100.0F, -0.5F, "   1.00", " -99.99", "  0.000"},   // negative reflected reading
      {-1.0F, 0.5F, " 199.00", "   0.00", "  1.000"},
      {kNaN, 1.0F, " 199.00", "   0.00", "  1.000"},
      {100.0F, kNaN, "   1.00", " -99.99", "  0.000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "F " << c.forward << " R " << c.reflected);
    const MatchView vswr = PowerFormat_match(c.forward, c.reflected, rfMatch_VSWR);
    const MatchView rl = PowerFormat_match(c.forward, c.reflected, rfMatch_RL);
    const MatchView rho = PowerFormat_match(c.forward, c.reflected, rfMatch_RflCoeff);
    EXPECT_STREQ(vswr.text.data(), c.vswr);
    EXPECT_STREQ(rl.text.data(), c.rl);
    EXPECT_STREQ(rho.text.data(), c.rho);
    EXPECT_STREQ(vswr.title, "VSWR:");
    EXPECT_STREQ(rl.title, "RL:");
    EXPECT_STREQ(rl.units, "dB");
    EXPECT_STREQ(rho.title, "RHO:");
    const float coefficient = PowerFormat_reflectionCoefficient(c.forward, c.reflected);
    EXPECT_GE(coefficient, 0.0F);
    EXPECT_LE(coefficient, 1.0F);
  }
}

TEST(PowerFormatSensorLabel, StatesModelsAndShortBuffers) {
  struct Case {
    SensorStatus status;
    bool serial;
    const char* model;
    const char* number;
    int length;
    const char* expected;
  } const cases[] = {
      {isReady, true, "C602A100", "12345678", 30, "C602A100: 12345678"},
      {isReady, true, "", "12345678", 30, "C60x: 12345678"},
      {isReady, false, "", "87654321", 30, "P80x: 87654321"},
      {isReady, true, "A-VERY-LONG-MODEL-NAME-X", "1", 30, "A-VERY-LONG-MODEL-N: 1"},
      {isReady, true, "C602A100", "12345678", 15, "C602: 12345678"},
      // Shorter than the serial number and its separator: no underflow.
      {isReady, true, "C602A100", "12345678", 5, ": 12"},
      {isReady, true, "C602A100", "12345678", 1, ""},
      {isReady, true, "C602A100", "12345678", 0, ""},
      {isReady, true, "C602A100", "12345678", -4, ""},
      {notReady, true, "C602A100", "1", 30, "Connecting..."},
      {hasFatalError, false, "", "", 30, "Critical Sensor Error..."},
      {hasFatalError, false, "", "", 9, "Critical"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.model << " length " << c.length);
    EXPECT_EQ(PowerFormat_sensorLabel(c.status, c.serial, c.model, c.number, c.length), c.expected);
  }
}

TEST(NoConnectionTexts, NameTheSensorKindFromThePort) {
  EXPECT_EQ(NoConnection_noConnectTexts().title, "No Sensor Detected");
  const NoConnectionTexts serial = NoConnection_connectingTexts("Serial 1");
  EXPECT_EQ(serial.title, "Connecting...");
  EXPECT_EQ(serial.description, "A Precision CW sensor on port Serial 1 is powering on and initializing. Please wait.");
  const NoConnectionTexts usb = NoConnection_sensorErrorTexts("USB 2");
  EXPECT_EQ(usb.title, "Critical Sensor Error");
  EXPECT_EQ(usb.description.rfind("A critical error occured in the Precision CW & Pulse sensor on port USB 2.\n", 0), 0U);
  EXPECT_LE(NoConnection_connectingTexts(std::string(300, 'x')).description.size(), 191U);
}

// Every page names its sensor and port and ends with its whole last sentence,
// for every port name the display channels use.
TEST(NoConnectionTexts, ArriveWholeForEveryPort) {
  struct Case {
    const char* port;
    const char* kind;
  } const cases[] = {{"Serial1", "Precision CW"}, {"Serial2", "Precision CW"}, {"USB1", "Precision CW & Pulse"},
                     {"USB2", "Precision CW & Pulse"}, {"Unknown port", "Precision CW & Pulse"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    EXPECT_EQ(NoConnection_connectingTexts(c.port).description,
              std::string("A ") + c.kind + " sensor on port " + c.port + " is powering on and initializing. Please wait.");
    EXPECT_EQ(NoConnection_sensorErrorTexts(c.port).description,
              std::string("A critical error occured in the ") + c.kind + " sensor on port " + c.port +
                  ".\nTry disconnecting and reconnecting the sensor or contact Talvek.");
  }
}

}  // namespace

namespace {

// The over-range test through a port's record: the rating the port's sensor
// reported, and an unidentified sensor's for a port without one.
TEST(PowerDisplayOverRange, UsesThePortsRating) {
  {
    std::lock_guard guard(sensorPortInfoMutex[sensorPort_Serial2]);
    sensorSerialHandlerData[1].sensorIdentity.sensorPower = {0.001F, 250.0F};
  }
  EXPECT_FLOAT_EQ(gtkPowerDisplay_getMaxPowerForRange(sensorPort_Serial2, {true, 7}, rfPower_dBm), 300.0F);
  EXPECT_TRUE(gtkPowerDisplay_isOverRange(sensorPort_Serial2, 300.0F, {true, 7}, rfPower_dBm));
  EXPECT_FALSE(gtkPowerDisplay_isOverRange(sensorPort_Serial2, 299.0F, {true, 7}, rfPower_dBm));
  EXPECT_TRUE(gtkPowerDisplay_isOverRange(sensorPort_Serial2, 25.0F, {false, 5}, rfPower_W));
  // No such port: no rating known.
  EXPECT_FALSE(gtkPowerDisplay_isOverRange(9, 1000.0F, {true, 7}, rfPower_W));
}

}  // namespace
