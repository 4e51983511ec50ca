// The pulse configuration dialog's rules without a display: comparisons,
// units, number reading, both validations, the state list edits and the
// rejection text.
#include "pulse_config_logic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

constexpr float kEps = std::numeric_limits<float>::epsilon();

SENSOR_IDENTITY limits() {
  SENSOR_IDENTITY id;
  id.sensorPower = {0.001F, 1000.0F};
  id.sensorFrequency = {1.0e6F, 4.0e9F};
  id.sensorPulsePeriod = {6.0e-6F, 1.0F};
  id.sensorTriggerDelay = {-1.0F, 1.0F};
  return id;
}

SENSOR_CONFIGS gateConfig(float begin, float end) {
  SENSOR_CONFIGS c = initializePulseConfig();
  c.gateBegin = begin;
  c.gateEnd = end;
  return c;
}

SENSOR_CONFIGS statesConfig(std::initializer_list<std::pair<float, float>> states) {
  SENSOR_CONFIGS c = initializePulseConfig();
  c.bSupportsTriggeredGates = true;
  c.bModelIsTriggeredGates = true;
  c.bAutoPeriod = false;
  c.prdVal = 0.01F;
  for (const auto& [begin, end] : states) {
    c.pulseStates[c.numStates] = {true, begin, end};
    ++c.numStates;
  }
  return c;
}

TEST(PulseConfigCompareTest, EqualWithinSinglePrecisionEpsilon) {
  const struct {
    float a, b;
    bool equal, less, greater;
  } cases[] = {
      {1.0F, 1.0F, true, false, false},
      {1.0F, 1.0F + kEps, true, false, false},
      {1000.0F, std::nextafter(1000.0F, 2000.0F), true, false, false},
      {1.0F, 1.0F + 4 * kEps, false, true, false},
      {0.0F, 1.0e-8F, true, false, false},  // below epsilon near zero
      {0.0009F, 0.000901F, false, true, false},
      {-0.0009F, -0.0009F, true, false, false},
      {2.0F, 1.0F, false, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.a) + " vs " + std::to_string(c.b));
    EXPECT_EQ(equal(c.a, c.b), c.equal);
    EXPECT_EQ(less(c.a, c.b), c.less);
    EXPECT_EQ(greater(c.a, c.b), c.greater);
  }
}

TEST(PulseConfigValidationTest, GateLimitsOfBothVariants) {
  const struct {
    float begin, end;
    bool valid;
    PulseField focus;
    const char* message;
  } cases[] = {
      {0.0009F, 0.0F, true, pulseFieldNone, ""},
      {0.000901F, 0.0F, false, pulseFieldGateBegin,
       "The gate begin delay value must be between 0.000000 and 900.000000 us."},
      {-0.000001F, 0.0F, false, pulseFieldGateBegin,
       "The gate begin delay value must be between 0.000000 and 900.000000 us."},
      {0.0F, -0.0009F, true, pulseFieldNone, ""},
      {0.0F, 0.000001F, false, pulseFieldGateEnd,
       "The gate end delay value must be between -900.000000 and 0.000000 us."},
      {0.0F, -0.000901F, false, pulseFieldGateEnd,
       "The gate end delay value must be between -900.000000 and 0.000000 us."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.begin) + " / " + std::to_string(c.end));
    SENSOR_CONFIGS config = gateConfig(c.begin, c.end);
    for (const PulseValidation& v :
         {validatePulseConfigurationP803(config, limits()), validatePulseConfigurationP804(config, limits(), 0.1F)}) {
      EXPECT_EQ(v.valid, c.valid);
      EXPECT_EQ(v.focus.field, c.focus);
      EXPECT_EQ(v.text(), c.message);
    }
  }
}

TEST(PulseConfigValidationTest, FrequencyIsCheckedOnlyWhenNotAutomatic) {
  SENSOR_CONFIGS c = gateConfig(0.0F, 0.0F);
  c.freqVal = 5.0e9F;
  EXPECT_TRUE(validatePulseConfigurationP803(c, limits()).valid);  // Auto: not validated
  c.bAutoFrequency = false;
  const PulseValidation v = validatePulseConfigurationP803(c, limits());
  EXPECT_FALSE(v.valid);
  EXPECT_EQ(v.focus.field, pulseFieldFrequency);
  EXPECT_EQ(v.text(), "The frequency value must be between 1000000.000000 and 4000000000.000000 Hz.");
  c.freqVal = std::nextafter(4.0e9F, 5.0e9F);  // on the limit within epsilon
  EXPECT_TRUE(validatePulseConfigurationP803(c, limits()).valid);
  c.freqVal = 1.0e6F;
  EXPECT_TRUE(validatePulseConfigurationP804(c, limits(), 0.1F).valid);
}

TEST(PulseConfigValidationTest, P804TimingAndTriggerLimits) {
  const struct {
    const char* name;
    void (*change)(SENSOR_CONFIGS&);
    PulseField focus;
    const char* message;
  } cases[] = {
      {"period below", [](SENSOR_CONFIGS& c) { c.bAutoPeriod = false; c.prdVal = 5.0e-6F; }, pulseFieldPeriod,
       "The pulse period value must be between 0.000006 and 1.000000 s."},
      {"period auto", [](SENSOR_CONFIGS& c) { c.prdVal = 5.0F; }, pulseFieldNone, ""},
      {"level above", [](SENSOR_CONFIGS& c) { c.bAutoTriggerLevel = false; c.trigLevelVal = 1001.0F; },
       pulseFieldLevel, "The trigger level value must be between 0.000000 and 1000.000000 W."},
      {"level negative", [](SENSOR_CONFIGS& c) { c.bAutoTriggerLevel = false; c.trigLevelVal = -0.5F; },
       pulseFieldLevel, "The trigger level value must be between 0.000000 and 1000.000000 W."},
      {"delay", [](SENSOR_CONFIGS& c) { c.trigDelayVal = 1.5F; }, pulseFieldDelay,
       "The trigger delay value must be between -1.000000 and 1.000000 s."},
      {"delay at limit", [](SENSOR_CONFIGS& c) { c.trigDelayVal = -1.0F; }, pulseFieldNone, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SENSOR_CONFIGS config = gateConfig(0.0F, 0.0F);
    c.change(config);
    const PulseValidation v = validatePulseConfigurationP804(config, limits(), 0.1F);
    EXPECT_EQ(v.valid, c.focus == pulseFieldNone);
    EXPECT_EQ(v.focus.field, c.focus);
    EXPECT_EQ(v.text(), c.message);
  }
}

TEST(PulseConfigValidationTest, TriggeredGatesStateChecks) {
  const struct {
    const char* name;
    SENSOR_CONFIGS config;
    float typedPeriod;
    std::vector<std::string> messages;
    int focusState;
  } cases[] = {
      {"two good states", statesConfig({{0.0F, 0.0001F}, {0.0001F, 0.0002F}}), 0.01F, {}, 0},
      {"end before begin", statesConfig({{0.00001F, 0.000005F}}), 0.01F,
       {"The ending value of state 1 must\nbe greater than the beginning value."}, 0},
      {"begin out of the period", statesConfig({{0.0F, 0.0001F}, {-1.5F, 0.0001F}}), 0.01F,
       {"The begin value of state 2 must\nbe between -1.000000 and 1.000000 s.",
        "The aggregate width of all the states must\nbe less than 0.010000 s."},
       0},
      {"too wide", statesConfig({{-0.9F, 0.9F}}), 2.0F,
       {"The state width of state 1 may not\nbe greater than 1.000000 s."}, 0},
      {"aggregate wider than the period", statesConfig({{0.0F, 0.004F}, {0.004F, 0.008F}}), 0.005F,
       {"The aggregate width of all the states must\nbe less than 0.005000 s."}, 0},
      {"loop failure then aggregate", statesConfig({{0.0F, 0.004F}, {0.008F, 0.006F}}), 0.005F,
       {"The ending value of state 2 must\nbe greater than the beginning value.",
        "The aggregate width of all the states must\nbe less than 0.005000 s."},
       0},
  };
  for (auto c : cases) {
    SCOPED_TRACE(c.name);
    const PulseValidation v = validatePulseConfigurationP804(c.config, limits(), c.typedPeriod);
    EXPECT_EQ(v.valid, c.messages.empty());
    EXPECT_EQ(v.messages, c.messages);
    if (!c.messages.empty()) {
      EXPECT_EQ(v.focus.field, pulseFieldStateBegin);
    }
  }
  // The failing state is the one focused.
  SENSOR_CONFIGS second = statesConfig({{0.0F, 0.0001F}, {0.0003F, 0.0002F}});
  EXPECT_EQ(validatePulseConfigurationP804(second, limits(), 0.01F).focus.state, 1);
}

TEST(PulseConfigValidationTest, UnusedStatesGetTheIdleWindowWithoutLeavingTheArray) {
  SENSOR_CONFIGS two = statesConfig({{0.0F, 0.0001F}, {0.0001F, 0.0002F}});
  ASSERT_TRUE(validatePulseConfigurationP804(two, limits(), 0.01F).valid);
  for (std::size_t i : {2U, 3U}) {
    EXPECT_FLOAT_EQ(two.pulseStates[i].begin, 0.0F);
    EXPECT_FLOAT_EQ(two.pulseStates[i].end, 0.001F);
  }
  EXPECT_FLOAT_EQ(two.pulseStates[1].end, 0.0002F);
  // Four states (and a corrupt count above four) touch only the four entries.
  SENSOR_CONFIGS four = statesConfig({{0.0F, 0.0001F}, {0.0001F, 0.0002F}, {0.0002F, 0.0003F}, {0.0003F, 0.0004F}});
  EXPECT_TRUE(validatePulseConfigurationP804(four, limits(), 0.01F).valid);
  EXPECT_FLOAT_EQ(four.pulseStates[3].end, 0.0004F);
  four.numStates = 7;
  PulseConfig_disableUnusedStates(four);
  EXPECT_TRUE(four.pulseStates[3].bEnabled);
  four.numStates = 2;
  PulseConfig_disableUnusedStates(four);
  EXPECT_TRUE(four.pulseStates[1].bEnabled);
  EXPECT_FALSE(four.pulseStates[2].bEnabled);
  EXPECT_FALSE(four.pulseStates[3].bEnabled);
}

TEST(PulseConfigStatesTest, AddFollowsThePreviousStateAndDeleteMovesTheRestUp) {
  SENSOR_CONFIGS c = initializePulseConfig();
  ASSERT_TRUE(PulseConfig_addState(c));
  EXPECT_TRUE(c.pulseStates[0].bEnabled);
  EXPECT_FLOAT_EQ(c.pulseStates[0].begin, 0.0F);
  EXPECT_FLOAT_EQ(c.pulseStates[0].end, 0.0001F);
  ASSERT_TRUE(PulseConfig_addState(c));
  EXPECT_FLOAT_EQ(c.pulseStates[1].begin, 0.0001F);
  EXPECT_FLOAT_EQ(c.pulseStates[1].end, 0.0002F);
  ASSERT_TRUE(PulseConfig_addState(c));
  ASSERT_TRUE(PulseConfig_addState(c));
  EXPECT_FALSE(PulseConfig_addState(c));
  EXPECT_EQ(c.numStates, 4);
  ASSERT_TRUE(PulseConfig_deleteState(c, 1));
  EXPECT_EQ(c.numStates, 3);
  EXPECT_FLOAT_EQ(c.pulseStates[1].begin, 0.0002F);  // the old third state
  EXPECT_FLOAT_EQ(c.pulseStates[2].begin, 0.0003F);
  EXPECT_FALSE(c.pulseStates[3].bEnabled);
  EXPECT_FLOAT_EQ(c.pulseStates[3].end, 0.0F);
  EXPECT_FALSE(PulseConfig_deleteState(c, 3));
  EXPECT_FALSE(PulseConfig_deleteState(c, -1));
}

TEST(PulseConfigUnitsTest, FactorsAndCycles) {
  EXPECT_DOUBLE_EQ(PulseUnits_frequencyFactor("KHz"), 1000.0);
  EXPECT_DOUBLE_EQ(PulseUnits_frequencyFactor("mhz"), 1.0e6);
  EXPECT_DOUBLE_EQ(PulseUnits_frequencyFactor("Hz"), 1.0);
  EXPECT_DOUBLE_EQ(PulseUnits_timeFactor("us"), 1.0e-6);
  EXPECT_DOUBLE_EQ(PulseUnits_timeFactor("ms"), 0.001);
  EXPECT_DOUBLE_EQ(PulseUnits_timeFactor("s"), 1.0);
  EXPECT_DOUBLE_EQ(PulseUnits_powerFactor("mW"), 0.001);
  EXPECT_DOUBLE_EQ(PulseUnits_powerFactor("kW"), 1000.0);
  EXPECT_STREQ(PulseUnits_nextFrequency("Hz"), "KHz");
  EXPECT_STREQ(PulseUnits_nextFrequency("MHz"), "Hz");
  EXPECT_STREQ(PulseUnits_nextTime("us"), "ms");
  EXPECT_STREQ(PulseUnits_nextTime("s"), "us");
  std::uint32_t level = 2;
  std::string seen;
  for (int i = 0; i < 4; ++i) {
    level = PulseUnits_nextLevelIndex(level);
    seen += std::string(PulseUnits_levelLabel(level)) + " ";
  }
  EXPECT_EQ(seen, "W kW dBm mW ");
  EXPECT_NEAR(cvtDBm2Watt(30.0F), 1.0F, 1e-6F);
  EXPECT_NEAR(cvtWatt2dBm(0.001F), 0.0F, 1e-5F);
}

TEST(PulseConfigNumbersTest, AnEntryWithoutANumberIsRefusedNotReadAsZero) {
  EXPECT_FALSE(PulseConfig_parseNumber(""));
  EXPECT_FALSE(PulseConfig_parseNumber("   "));
  EXPECT_FALSE(PulseConfig_parseNumber("abc"));
  EXPECT_FALSE(PulseConfig_parseNumber("-"));
  EXPECT_DOUBLE_EQ(*PulseConfig_parseNumber("12.5us"), 12.5);  // trailing text is ignored
  EXPECT_DOUBLE_EQ(*PulseConfig_parseNumber(" -3"), -3.0);
  EXPECT_EQ(PulseConfig_missingNumberMessage({pulseFieldGateBegin, 0}),
            "The gate begin delay field holds no number.\nPlease enter a value.");
  EXPECT_EQ(PulseConfig_missingNumberMessage({pulseFieldStateEnd, 2}),
            "The end value of state 3 field holds no number.\nPlease enter a value.");
}

TEST(PulseConfigTextTest, RejectionTextIsCutAt320CharactersSkippingLinesThatDoNotFit) {
  const std::string header = "Parameter Errors occured in the sensor.\n\rSee the manual for valid parmaeter ranges:\n\r";
  EXPECT_EQ(PulseConfig_rejectionText(std::vector<std::string>{"Freq is not valid"}),
            header + "  Freq is not valid\n\r");
  const std::string longLine(250, 'x');
  const std::string text =
      PulseConfig_rejectionText(std::vector<std::string>{"Gate End is not valid", longLine, "Period is not valid"});
  EXPECT_LE(text.size(), kRejectionTextLimit);
  EXPECT_EQ(text, header + "  Gate End is not valid\n\r  Period is not valid\n\r");
  std::vector<std::string> many(20, "Trigger Level Auto is not valid");
  EXPECT_LE(PulseConfig_rejectionText(many).size(), kRejectionTextLimit);
  // A corrupt count in the sensor's list never reads past its five entries.
  USBTMC_PARAM_ERRORS errors;
  errors.count = 99;
  EXPECT_LE(PulseConfig_rejectionText(errors).size(), kRejectionTextLimit);
}

TEST(PulseConfigSensorTest, OnlyTheSameReadySensorOnTheSamePortCounts) {
  SENSOR_INFORMATION_DATA info;
  info.sensorIdentity.sensorModel = {'P', '8', '0', '4'};
  info.serialNumber = {'8', '0', '4', '1', '2', '3', '4', '5'};
  const PulseSensorStamp stamp = PulseConfig_stampOf(sensorPort_USB1, info);
  EXPECT_TRUE(PulseConfig_sameSensor(stamp, sensorPort_USB1, isReady, info));
  EXPECT_FALSE(PulseConfig_sameSensor(stamp, sensorPort_USB2, isReady, info));
  EXPECT_FALSE(PulseConfig_sameSensor(stamp, sensorPort_USB1, notReady, info));
  SENSOR_INFORMATION_DATA other = info;
  other.serialNumber[7] = '6';
  EXPECT_FALSE(PulseConfig_sameSensor(stamp, sensorPort_USB1, isReady, other));
  SENSOR_INFORMATION_DATA p803 = info;
  p803.sensorIdentity.sensorModel[3] = '3';
  EXPECT_FALSE(PulseConfig_sameSensor(stamp, sensorPort_USB1, isReady, p803));
}

}  // namespace
